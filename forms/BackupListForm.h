#pragma once

// The daily copies offered first by 从备份中恢复数据: date, size and record
// count, newest first. 恢复 takes the selected copy, 其他文件… goes on to the
// file dialog, 取消 does nothing; the restore itself is the caller's.

#include "DailyBackup.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

class TfrmBackupList : public QDialog {
    Q_OBJECT
public:
    // exec() gives Accepted with ChosenFile(), OtherFile, or Rejected.
    static constexpr int OtherFile = 2;

    TfrmBackupList(QWidget *owner, const QList<TDailyCopy> &copies);
    ~TfrmBackupList() override;

    QString ChosenFile() const { return m_chosen; }

private:
    void restoreSelected();

    QList<TDailyCopy> m_copies;
    QString m_chosen;
    QLabel *lblCopies = nullptr;
    QTreeWidget *lvwCopies = nullptr;
    QPushButton *btnRestore = nullptr;
    QPushButton *btnOtherFile = nullptr;
    QPushButton *btnCancel = nullptr;
};
