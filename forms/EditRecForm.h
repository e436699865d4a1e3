#pragma once

// The record edit dialog: shows, checks and normalises date, category, amount
// and notes of one record. It never touches the store; the caller writes.

#include "EditDialog.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TByteLimit;
class TDateEdit;

class TfrmEditRec : public TEditDialog {
    Q_OBJECT
public:
    explicit TfrmEditRec(QWidget *owner);
    ~TfrmEditRec() override;

    // In before showing, out after Save ("yyyy-mm-dd", trimmed, "%0.2f", trimmed).
    QString RecDate;
    QString RecCate;
    QString RecAmount;
    QString RecNotes;
    // Out after Save: the amount as shown in RecAmount, in cents.
    qint64 RecCents = 0;

protected:
    void FormShow() override;

private slots:
    void edtCateChange();
    void dtpDateWholeChange(); // a date being typed or refused holds Save back
    void btnSaveClick();
    void btnCancelClick();

private:
    bool m_fieldsSavable = false; // what the text fields' check last said
    TByteLimit *m_cateLimit = nullptr, *m_amountLimit = nullptr, *m_notesLimit = nullptr;
    QFrame *bvlRect = nullptr;
    QLabel *lblDate = nullptr, *lblCate = nullptr, *lblAmount = nullptr, *lblNotes = nullptr;
    TDateEdit *dtpDate = nullptr;
    QLineEdit *edtCate = nullptr, *edtAmount = nullptr, *edtNotes = nullptr;
    QPushButton *btnSave = nullptr, *btnCancel = nullptr;
};
