#pragma once

// What the store answers for the household view (TDbMan's household block in
// DbClass.h, store/HouseholdStore.cpp): the asking account's own records and
// those of every account that lets the others see its records, for one
// period, as typed rows in cents. Only read: nothing here writes to another
// account's records.

#include "DbClass.h"

#include <QList>
#include <QString>

#include <vector>

class TConn;

// The key of the per-account setting in table settings ("1" while the account
// lets the others see its records; absent, or anything else, is off).
inline const char *HouseholdShareKey()
{
    return "household_share";
}

// One member: the asking account (Self), or an account that allows it.
enum THouseMemberCol { MemberName, MemberOut, MemberIn, MemberBalance, MemberCount, MemberCols };
struct THouseMember {
    QString Name;
    bool Self = false;
    qint64 OutCents = 0, InCents = 0;
    qint64 Count = 0; // records in the period, of either type

    qint64 Balance() const { return InCents - OutCents; }
    QString Text(int col) const;
};

// A line of the category table: a category of one type with each member's
// sum (in THousehold::Members' order; 0 when the member has none), or the
// type's total line.
struct THouseCateLine {
    enum TKind { Cate, Total };
    TKind Kind = Cate;
    QString Type; // TypeExpense() or TypeIncome()
    QString Name; // the category, or "支出合计" / "收入合计"
    std::vector<qint64> Cents;
    qint64 TotalCents = 0;

    // Column 0 the type, 1 the name, then one per member, then the total; a
    // member without records of the category gives an empty cell.
    QString Text(int col) const;
};

// The combined record list's columns (no record id: the view edits nothing).
enum THouseRecCol {
    HouseRecMember,
    HouseRecDate,
    HouseRecCate,
    HouseRecIn,
    HouseRecOut,
    HouseRecNotes,
    HouseRecCols
};

struct THousehold {
    QString Start, End; // "yyyy-mm-dd"
    // The asking account first, then the accounts that allow it, by name.
    QList<THouseMember> Members;
    qint64 OutCents = 0, InCents = 0; // over all members

    // Expense categories (largest sum first), 支出合计, income categories, 收入合计.
    QList<THouseCateLine> CateLines;
    // Column captions of the category table: 类型, 项目, the members, 合计.
    QStringList CateColumns() const;
    int CateColumnCount() const { return 3 + int(Members.size()); }

    // The combined records, by date, then member, then expense before income, then id.
    int RecordCount() const { return int(m_order.size()); }
    int MemberOf(int i) const { return m_order[size_t(i)].Member; }
    QString RecordText(int i, THouseRecCol col) const;
    QStringList RecordRow(int i) const;
    static QStringList RecordColumns();

    // Filled by the store: each member's records (index as in Members).
    std::vector<TRecordList> Lists;
    void AddToOrder(int member, int row) { m_order.push_back({member, row}); }

private:
    struct TRef {
        int Member, Row;
    };
    std::vector<TRef> m_order;
};

// Removes the account's sharing (its account row is being deleted: a new
// account by that name must give its own consent).
void ForgetHouseholdShare(TConn &c, const QByteArray &encUser);
