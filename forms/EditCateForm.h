#pragma once

// The category list editor: the whole list as plain text, one name a line.

#include <QDialog>

class QPushButton;
class QPlainTextEdit;
class QFrame;

class TfrmEditCate : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEditCate(QWidget *owner);
    ~TfrmEditCate() override;

    QString CateText; // in before showing; out after Save

protected:
    void showEvent(QShowEvent *event) override; // FormShow
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void memTextChange();
    void btnSaveClick();
    void btnCancelClick();

private:
    void FormShow();

    bool m_shown = false; // FormShow runs for the first show only
    QFrame *bvlRect = nullptr;
    QPlainTextEdit *memText = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;
};
