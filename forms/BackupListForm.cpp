#include "BackupListForm.h"

#include "FormKit.h"

#include <QDir>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>

TfrmBackupList::TfrmBackupList(QWidget *owner, const QList<TDailyCopy> &copies)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      m_copies(copies)
{
    setObjectName(QStringLiteral("frmBackupList"));
    setWindowTitle(QStringLiteral("从备份中恢复数据"));
    setFixedSize(420, 300);

    lblCopies = MakeLabel(this, "lblCopies",
                          QStringLiteral("每天第一次启动时自动保存的备份（最新的在前）："), 12, 12);

    lvwCopies = Make<QTreeWidget>(this, "lvwCopies", QRect(12, 34, 396, 216));
    lvwCopies->setRootIsDecorated(false);
    lvwCopies->setUniformRowHeights(true);
    lvwCopies->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwCopies->setHeaderLabels(
        {QStringLiteral("日期"), QStringLiteral("大小"), QStringLiteral("记录数")});
    lvwCopies->header()->setSectionsMovable(false);
    lvwCopies->header()->setSectionsClickable(false);
    lvwCopies->setColumnWidth(0, 150);
    lvwCopies->setColumnWidth(1, 110);
    lvwCopies->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    lvwCopies->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    const QLocale locale;
    for (const TDailyCopy &c : m_copies) {
        auto *item = new QTreeWidgetItem(lvwCopies);
        item->setText(0, locale.toString(c.Day, QStringLiteral("yyyy-MM-dd ddd")));
        item->setText(1, locale.formattedDataSize(c.Bytes, 1, QLocale::DataSizeTraditionalFormat));
        item->setText(2, c.Records < 0 ? QStringLiteral("无法读取") : locale.toString(c.Records));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setToolTip(0, QDir::toNativeSeparators(c.Path));
    }

    btnRestore = MakeButton(this, "btnRestore", QStringLiteral("恢复"), 172, 262);
    btnOtherFile = MakeButton(this, "btnOtherFile", QStringLiteral("其他文件…"), 252, 262);
    btnCancel = MakeButton(this, "btnCancel", QStringLiteral("取消"), 334, 262);
    btnRestore->setDefault(true);

    connect(lvwCopies, &QTreeWidget::itemSelectionChanged, this,
            [this] { btnRestore->setEnabled(!lvwCopies->selectedItems().isEmpty()); });
    connect(lvwCopies, &QTreeWidget::itemActivated, this, [this] { restoreSelected(); });
    connect(btnRestore, &QPushButton::clicked, this, [this] { restoreSelected(); });
    connect(btnOtherFile, &QPushButton::clicked, this, [this] { done(OtherFile); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The newest copy is the usual choice.
    if (lvwCopies->topLevelItemCount() > 0)
        lvwCopies->setCurrentItem(lvwCopies->topLevelItem(0));
    btnRestore->setEnabled(!lvwCopies->selectedItems().isEmpty());
    lvwCopies->setFocus();
}

TfrmBackupList::~TfrmBackupList() = default;

void TfrmBackupList::restoreSelected()
{
    const QList<QTreeWidgetItem *> selected = lvwCopies->selectedItems();
    if (selected.isEmpty())
        return;
    const int row = lvwCopies->indexOfTopLevelItem(selected.first());
    if (row < 0 || row >= m_copies.size())
        return;
    m_chosen = m_copies.at(row).Path;
    accept();
}
