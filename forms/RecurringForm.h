#pragma once

// 定期收支: the account's recurring entries (rent on the 5th, salary on the
// 10th, a weekly allowance, insurance every year), each with its next due
// date. Picking an entry fills the fields below the list; 添加 stores the
// fields as a new entry, 修改 replaces the picked one, 删除 removes it. The
// window writes through the store itself, one entry at a time.

#include "DbClass.h"

#include <QDate>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class TDateEdit;

class TfrmRecurring : public QDialog {
    Q_OBJECT
public:
    enum Column { ColType, ColCate, ColAmount, ColRule, ColNext, ColNotes, ColCount };

    // The account's pick lists are offered in the category field; today is
    // the day the next due dates count from.
    TfrmRecurring(QWidget *owner, TDbMan &db, const QString &user, const QStringList &outCates,
                  const QStringList &inCates, const QDate &today);
    ~TfrmRecurring() override;

    // The entry the fields describe, or an explanation of what is missing.
    TRecurringEntry FieldsEntry(QString *problem) const;
    const QList<TRecurringEntry> &Entries() const { return m_entries; }

private slots:
    void FieldsChanged();
    void TypeChanged();
    void EntryPicked();
    void btnAddClick();
    void btnReplaceClick();
    void btnDeleteClick();

private:
    void Reload(qint64 select = 0);
    void UpdateButtons();
    void ShowEntry(const TRecurringEntry &e);
    int PickedRow() const;
    void RememberCate(const TRecurringEntry &e);

    TDbMan &m_db;
    QString m_user;
    QStringList m_outCates, m_inCates;
    QDate m_today;
    QList<TRecurringEntry> m_entries;

    QTreeWidget *lvwEntries = nullptr;
    QComboBox *cboType = nullptr;
    QComboBox *cboCate = nullptr;
    QLineEdit *edtAmount = nullptr;
    QLineEdit *edtNotes = nullptr;
    TDateEdit *dtpStart = nullptr;
    QCheckBox *chkEnd = nullptr;
    TDateEdit *dtpEnd = nullptr;
    QSpinBox *spnEvery = nullptr;
    QComboBox *cboUnit = nullptr;
    QComboBox *cboDay = nullptr;
    QLabel *lblRule = nullptr;
    QPushButton *btnAdd = nullptr, *btnReplace = nullptr, *btnDelete = nullptr, *btnClose = nullptr;
};
