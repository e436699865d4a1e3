#pragma once

// The category list editor: the whole list as plain text, one name a line.
// Beside Save and Cancel, 重命名类别 renames the category on the cursor's
// line in all the records too (once the store is given).

#include "EditDialog.h"

class QPushButton;
class QPlainTextEdit;
class QFrame;
class TDbMan;

class TfrmEditCate : public TEditDialog {
    Q_OBJECT
public:
    explicit TfrmEditCate(QWidget *owner);
    ~TfrmEditCate() override;

    QString CateText; // in before showing; out after Save

    // Where 重命名类别 renames: the store, the user and the records' type
    // (TypeExpense or TypeIncome). Without it the button stays hidden.
    void SetRenameStore(TDbMan *db, const QString &user, const QString &type);

protected:
    void FormShow() override;

private slots:
    void memTextChange();
    void btnSaveClick();
    void btnCancelClick();
    void btnRenameCateClick();

private:
    void UpdateRename();

    QFrame *bvlRect = nullptr;
    QPlainTextEdit *memText = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;
    QPushButton *btnRenameCate = nullptr;
    TDbMan *m_db = nullptr;
    QString m_user, m_type;
};
