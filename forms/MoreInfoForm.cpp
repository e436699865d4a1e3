#include "MoreInfoForm.h"

#include "FormKit.h"

#include <QFrame>
#include <QTreeView>

namespace {
QList<TColumn> detailColumns(const QString &amountCaption)
{
    return {{QStringLiteral("日期"), 80},
            {QStringLiteral("项目"), 180},
            {amountCaption, 80, Qt::AlignRight},
            {QStringLiteral("备注"), 220}};
}
} // namespace

TfrmMoreInfo::TfrmMoreInfo(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmMoreInfo"));
    setWindowTitle(QStringLiteral("#"));
    setFixedSize(631, 453);

    bvlRect = Make<QFrame>(this, "bvlRect", QRect(8, 8, 615, 432));
    bvlRect->setFrameStyle(QFrame::Box | QFrame::Sunken);

    m_model = new TDetailRowModel(detailColumns(QStringLiteral("支出")), this);
    lvwRecs = MakeRowListView(this, "lvwRecs", m_model);
    lvwRecs->setGeometry(20, 20, 592, 407);
}

TfrmMoreInfo::~TfrmMoreInfo() = default;

void TfrmMoreInfo::SetAmountCaption(const QString &caption)
{
    m_model->SetColumnCaption(DetailAmount, caption);
}

void TfrmMoreInfo::SetRows(TDetailRows rows)
{
    m_model->SetRows(std::move(rows));
}
