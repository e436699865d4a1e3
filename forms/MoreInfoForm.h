#pragma once

// The records of one category over a date range, in a framed list. The
// caller sets the caption and the amount column's caption and fills the rows.

#include "DbClass.h"

#include <QDialog>

class QFrame;
class QTreeView;
class TRowListModel;

class TfrmMoreInfo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMoreInfo(QWidget *owner);
    ~TfrmMoreInfo() override;

    // "收入" or "支出": the caption of the amount column.
    void SetAmountCaption(const QString &caption);
    // Rows of TDetailCol strings.
    void SetRows(TRowList rows);

    const TRowListModel &Rows() const { return *m_model; }

private:
    TRowListModel *m_model = nullptr;
    QFrame *bvlRect = nullptr;
    QTreeView *lvwRecs = nullptr;
};
