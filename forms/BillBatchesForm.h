#pragma once

// 导入记录…: the bills imported into this account, newest first, and
// 撤销这次导入 for the one selected. The window only lists and asks; the
// caller removes the batch's records (undoRequested, or UndoBatch() after
// the window closed with Accepted).

#include <QAbstractTableModel>
#include <QDateTime>
#include <QDialog>

class QLabel;
class QPushButton;
class QTreeView;

// One import as the list shows it.
struct TBillBatchRow {
    qint64 id = 0;
    QDateTime time;
    QString fileName;
    QString source; // alipay, wechat, csv:…
    int count = 0;  // records the import made
    qint64 expenseCents = 0;
    qint64 incomeCents = 0;
    int remaining = 0; // of those records, still in the ledger
    int edited = 0;    // of those, changed since the import
};

class TBillBatchModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColTime, ColFile, ColSource, ColCount, ColExpense, ColIncome, ColLeft, ColEnd };

    explicit TBillBatchModel(QList<TBillBatchRow> rows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TBillBatchRow &Row(int row) const { return m_rows.at(row); }
    // 支付宝, 微信支付, or 其他账单.
    static QString SourceName(const QString &source);

private:
    QList<TBillBatchRow> m_rows;
};

class TfrmBillBatches : public QDialog {
    Q_OBJECT
public:
    TfrmBillBatches(QWidget *owner, QList<TBillBatchRow> rows);
    ~TfrmBillBatches() override;

    // After the window closed with Accepted: the batch to undo (0: none),
    // and whether its records edited since go too (asked when there are any).
    qint64 UndoBatch() const { return m_undo; }
    bool AlsoEdited() const { return m_alsoEdited; }

signals:
    void undoRequested(qint64 batchId, bool alsoEdited);

private slots:
    void UpdateButtons();
    void btnUndoClick();

private:
    TBillBatchModel *m_model = nullptr;
    QTreeView *lvwBatches = nullptr;
    QLabel *lblHint = nullptr;
    QPushButton *btnUndo = nullptr;
    QPushButton *btnClose = nullptr;
    qint64 m_undo = 0;
    bool m_alsoEdited = false;
};
