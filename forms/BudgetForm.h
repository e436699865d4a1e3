#pragma once

// 预算 (account menu): one month of the account's budgets. A table of the
// expense categories (all expenses first) with the default budget and the
// month's own, the budget that applies, what was spent so far, what is left
// and a bar of the use; the two budget columns are edited in place and
// stored at once. Exported as .xlsx and CSV.

#include "DbClass.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>

class QDateEdit;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;

enum TBudgetCol { BudName, BudDefault, BudOverride, BudBudget, BudSpent, BudLeft, BudBar, BudCols };

class TBudgetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Stores an edited cell; false (the cell keeps its value) when refused.
    using TWrite = std::function<bool(int row, int column, const QString &text)>;

    TBudgetModel(QObject *parent, TWrite write);
    void SetRows(const QList<TBudgetRow> &rows);
    const TBudgetRow &Row(int row) const { return m_rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<TBudgetRow> m_rows;
    TWrite m_write;
};

class TfrmBudget : public QDialog {
    Q_OBJECT
public:
    TfrmBudget(QWidget *owner, TDbMan &db, const QString &user, const QDate &month);
    ~TfrmBudget() override;

    const TBudgetMonth &Month() const { return m_month; }
    // Shows another month (the month chooser); false when the store failed.
    bool ShowMonth(const QDate &month);
    // Stores a typed budget: the default (BudDefault) or the month's own
    // (BudOverride) of the table's row. A bad amount gets a message and
    // stores nothing; false then.
    bool SetBudgetText(int row, int column, const QString &text);

    void mnuBudgetExport_ToXlsClick();
    void mnuBudgetExport_ToCsvClick();

private:
    enum class TFormat { Xlsx, Csv };
    void Export(TFormat format);

    TDbMan &m_db;
    QString m_user;
    TBudgetMonth m_month;

    QDateEdit *dtpBudgetMonth = nullptr;
    QPushButton *btnBudgetPrev = nullptr, *btnBudgetNext = nullptr;
    QPushButton *btnBudgetExport = nullptr, *btnBudgetClose = nullptr;
    QMenu *mnuBudgetExport = nullptr;
    QTableView *lvwBudget = nullptr;
    TBudgetModel *mdlBudget = nullptr;
    QLabel *lblBudgetTotal = nullptr, *lblBudgetHint = nullptr;
};
