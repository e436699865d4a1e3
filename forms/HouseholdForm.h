#pragma once

// 家庭汇总: for a period, the asking account and every account that lets the
// others see its records: each member's expense, income and balance, the
// categories by member, and all their records in one list with a member
// column. Only for looking: nothing here changes a record.

#include "HouseholdStore.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;
class QTableView;
class TDateEdit;

// One of the window's three tables over a household: texts made at display time.
class THouseholdModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TPart { Members, Cates, Records };
    THouseholdModel(TPart part, QObject *parent);
    void SetHousehold(std::shared_ptr<const THousehold> household);
    // The record list: only this member's records (its index in Members),
    // or everybody's (-1).
    void ShowMember(int member);
    int ShownMember() const { return m_member; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString Text(int row, int col) const;
    bool IsAmount(int col) const;
    bool IsTotal(int row) const;
    // The amount behind a cell, for the balance's colour.
    qint64 Balance(int row, int col) const;

    TPart m_part;
    std::shared_ptr<const THousehold> m_household;
    int m_member = -1;
    std::vector<int> m_rows; // the records shown while one member is chosen
};

class TfrmHousehold : public QDialog {
    Q_OBJECT
public:
    TfrmHousehold(QWidget *owner, TDbMan &db, const QString &user, const QDate &start,
                  const QDate &end);
    ~TfrmHousehold() override;

    const THousehold &Household() const { return *m_household; }
    // Reads the period in the date fields; false when the store failed
    // (what was shown stays).
    bool btnHouseSearchClick();

private:
    void UpdateButtons();
    // A member's row chosen in lvwHouseMembers: the record list shows that
    // member's records; the household's row, or none, shows everybody's.
    void lvwHouseMembersSelect();

    TDbMan &m_db;
    QString m_user;
    std::shared_ptr<const THousehold> m_household;

    TDateEdit *dtpHouseDate1 = nullptr, *dtpHouseDate2 = nullptr;
    QPushButton *btnHouseSearch = nullptr, *btnHouseClose = nullptr;
    QLabel *lblHouseTotal = nullptr, *lblHouseNote = nullptr;
    QTableView *lvwHouseMembers = nullptr, *lvwHouseCates = nullptr, *lvwHouseRecs = nullptr;
    THouseholdModel *mdlHouseMembers = nullptr, *mdlHouseCates = nullptr, *mdlHouseRecs = nullptr;
};
