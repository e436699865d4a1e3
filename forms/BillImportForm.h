#pragma once

// The preview of a bill before it is imported: every line with its date,
// type, category (editable), amount, notes and status, the skipped lines
// after those to import, grouped by reason, each one tickable; the counts and
// sums of the ticked lines at the foot; 导入 and 取消. Changing a category
// offers, in a line below the list, to remember it as a rule for that
// counterparty. The window takes the lines in and hands the decisions out;
// storing them is the caller's.

#include "BillPreview.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTreeView;

// The preview's lines for a view; the rows are TBillPreview's rows.
class TBillLineModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        ColTick,
        ColDate,
        ColType,
        ColCategory,
        ColAmount,
        ColNotes,
        ColStatus,
        ColCount
    };
    enum { TypeRole = Qt::UserRole + 1, SkipRole, GroupStartRole };

    TBillLineModel(TBillPreview *preview, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Rows whose category changed outside setData (a rule applied).
    void RowsChanged(const QList<int> &rows);
    // The status text of a row: 导入, or why it is skipped.
    static QString StatusText(const TBillLine &line);

signals:
    void ticksChanged();
    // The person chose another category for a row.
    void categoryChosen(int row);

private:
    TBillPreview *m_preview;
};

class TfrmBillImport : public QDialog {
    Q_OBJECT
public:
    // file: its lines with categories proposed and duplicates marked;
    // fileName as the person chose it (shown, not opened); the account's
    // pick lists, offered in the category column by the line's type.
    TfrmBillImport(QWidget *owner, const TBillFile &file, const QString &fileName,
                   const QStringList &expenseCategories, const QStringList &incomeCategories);
    ~TfrmBillImport() override;

    // After 导入: the ticked lines in the file's order with their final
    // categories (skipped ones ticked in come as lines to import), the rules
    // to remember (word → category), and the counts and sums.
    QList<TBillLine> ChosenLines() const { return m_preview.ChosenLines(); }
    QList<TCategoryRule> Rules() const { return m_preview.Rules(); }
    TBillSummary Summary() const { return m_preview.Summary(); }

    // 分类对照…: the caller edits and stores the app-class table and gives
    // back the context read again, or nothing when nothing changed; the
    // lines whose category was not chosen by hand are proposed again. No
    // editor: the button is hidden.
    using ClassEditor = std::function<std::optional<TCategoryContext>()>;
    void SetClassEditor(ClassEditor editor);

    const TBillPreview &Preview() const { return m_preview; }
    TBillLineModel *Model() const { return m_model; }

    // 取消, Escape and the close box ask first when anything was changed.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void UpdateFoot();
    void OfferRule(int row);
    void btnRememberClick();
    void btnNoRuleClick();
    void cboShowChange();
    void btnClassesClick();

private:
    void FillShow();

    TBillPreview m_preview;
    TBillLineModel *m_model = nullptr;
    QSortFilterProxyModel *m_filter = nullptr;
    QStringList m_expense, m_income;

    QLabel *lblFile = nullptr;
    QComboBox *cboShow = nullptr;
    QTreeView *lvwLines = nullptr;
    QLabel *lblRule = nullptr;
    QPushButton *btnRemember = nullptr;
    QPushButton *btnNoRule = nullptr;
    QLabel *lblExpense = nullptr;
    QLabel *lblIncome = nullptr;
    QLabel *lblSkipped = nullptr;
    QPushButton *btnClasses = nullptr;
    QPushButton *btnImport = nullptr;
    QPushButton *btnCancel = nullptr;

    ClassEditor m_classEditor;
    // The rule on offer.
    QString m_ruleWord, m_ruleCategory;
    BillType m_ruleType = BillType::Expense;
};
