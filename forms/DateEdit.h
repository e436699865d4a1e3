#pragma once

// The date field of every window: "yyyy-MM-dd" with a calendar popup, and a
// whole date typed over a selected text ("20261201", "2026-12-01") is taken
// as the new date. The spin box's own editing works section by section and
// drops such typing.

#include <QDate>
#include <QDateEdit>

class TDateEdit : public QDateEdit {
public:
    explicit TDateEdit(QWidget *parent = nullptr);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void StartTyping();
    void ShowTyped(const QString &text);
    // Takes the typed date, or goes back to the date before typing when the
    // text is no date (or lies outside the field's range).
    void FinishTyping();
    void CancelTyping();

    bool m_typing = false;
    QString m_typed;
    QDate m_before;
    bool m_tracking = true;
};
