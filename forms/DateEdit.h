#pragma once

// The date field of every window: "yyyy-MM-dd" with a calendar popup. A date
// is typed whole ("2026-10-01", "2026-1-5", "2026/10/01", "20261001")
// whichever section holds the cursor: the first character typed replaces the
// field's text, and the spin box's section-by-section editing, which files
// such typing under another day, never sees it. Text that is no date (or lies
// outside the field's range) is refused where it stands: it stays in the
// field with a red frame and a tooltip, IsWhole() is false until it is
// corrected, and the field's date is never replaced by a guess.

#include <QDate>
#include <QDateEdit>

class TDateEdit : public QDateEdit {
    Q_OBJECT
public:
    explicit TDateEdit(QWidget *parent = nullptr);

    // False while the field shows text that is no whole date: being typed
    // ("2026-1") or refused ("2026-02-30"). The actions that use the date
    // stay disabled meanwhile.
    bool IsWhole() const;
    // Takes a whole typed date now (a shortcut pressed while typing does not
    // move the focus); false, and the text marked as refused, otherwise.
    bool Commit();
    // The tooltip of a refused date.
    static QString RefusedText();

signals:
    void wholeChanged(bool whole);

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // True while the line edit shows our own typed text (the program has not
    // set a date since).
    bool ShowsTyped() const;
    QDate TypedValue() const;
    void Sync();
    void StartTyping();
    void ShowTyped(const QString &text);
    // Takes the typed date; a text that is no date is refused and stays.
    bool FinishTyping();
    void CancelTyping();
    void Refuse();
    void ClearRefusal();
    void Announce();

    bool m_typing = false;
    bool m_refused = false;
    bool m_whole = true; // what wholeChanged last said
    QString m_typed;
    QDate m_before;
    bool m_tracking = true;
};
