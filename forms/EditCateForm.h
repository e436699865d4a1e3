#pragma once

// The category list editor: the whole list as plain text, one name a line.

#include "EditDialog.h"

class QPushButton;
class QPlainTextEdit;
class QFrame;

class TfrmEditCate : public TEditDialog {
    Q_OBJECT
public:
    explicit TfrmEditCate(QWidget *owner);
    ~TfrmEditCate() override;

    QString CateText; // in before showing; out after Save

protected:
    void FormShow() override;

private slots:
    void memTextChange();
    void btnSaveClick();
    void btnCancelClick();

private:
    QFrame *bvlRect = nullptr;
    QPlainTextEdit *memText = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;
};
