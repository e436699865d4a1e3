#pragma once

// The records of one category over a date range, in a framed list. The
// caller sets the caption and the amount column's caption and fills the rows.

#include "RowListModel.h"

#include <QDialog>

class QFrame;
class QTreeView;

class TfrmMoreInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMoreInfo(QWidget *owner);
    ~TfrmMoreInfo() override;

    // "收入" or "支出": the caption of the amount column.
    void SetAmountCaption(const QString &caption);
    void SetRows(TDetailRows rows);

    const TDetailRowModel &Rows() const { return *m_model; }

private:
    TDetailRowModel *m_model = nullptr;
    QFrame *bvlRect = nullptr;
    QTreeView *lvwRecs = nullptr;
};
