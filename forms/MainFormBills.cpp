// The account menu's bill imports: 导入账单… (file, column mapping when the
// table is no app's bill, preview, one transaction) and 导入记录… (the
// batches, and undoing one).

#include "MainForm.h"

#include "BillBatchesForm.h"
#include "BillClassesForm.h"
#include "BillImport.h"
#include "BillImportForm.h"
#include "BillMappingForm.h"
#include "BrowserPanel.h"
#include "DbClass.h"
#include "Dialogs.h"
#include "EntryPanel.h"
#include "HiClass.h"
#include "Settings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRadioButton>

#include <optional>

namespace {

QString billFilter()
{
    return QStringLiteral("账单 (*.csv *.CSV *.xlsx *.XLSX);;所有文件 (*)");
}

// "支出 3 笔，共 120.50 元" for the lines of one type, or nothing.
QString typeLine(const QString &word, int count, qint64 cents)
{
    if (count == 0)
        return QString();
    return QStringLiteral("%1 %2 笔，共 %3 元").arg(word).arg(count).arg(THi::FormatCents(cents));
}

} // namespace

void TfrmMain::mnuMenu_ImportBillClick()
{
    const QString fileName =
        TDialogs::OpenFileName(this, QStringLiteral("导入账单"), billFilter(), QString());
    if (fileName.isEmpty())
        return;
    if (DbMan->ReadOnly()) {
        TDialogs::Error(this, TDbMan::ReadOnlyText());
        return;
    }

    TPreparedBill prepared;
    if (!TDialogs::Guard(this, [&] {
            TBusy busy(nullptr);
            prepared = BillImport::PrepareBill(*DbMan, UserName, fileName);
        }))
        return;

    const QString shownName = QFileInfo(fileName).fileName();
    // A plain table: the person names its columns once; the mapping is kept
    // for its header when the import is made.
    std::optional<std::pair<QString, TColumnMapping>> newMapping;
    if (prepared.NeedsMapping) {
        TfrmBillMapping mapping(this, prepared.Table, shownName);
        mapping.SetMapping(prepared.Guess);
        if (mapping.exec() != QDialog::Accepted)
            return;
        const TColumnMapping chosen = mapping.Mapping();
        if (!TDialogs::Guard(this, [&] {
                TBusy busy(nullptr);
                prepared.File = BillReader::ReadMapped(prepared.Table, chosen);
                BillImport::ProposeAndMark(*DbMan, UserName, prepared.File);
            }))
            return;
        newMapping.emplace(BillReader::HeaderKey(prepared.Table.rows.value(chosen.headerRow)),
                           chosen);
    }
    if (prepared.File.lines.isEmpty()) {
        TDialogs::Error(this, QStringLiteral("“%1”中没有可以导入的交易记录。").arg(shownName));
        return;
    }

    TCategoryContext context;
    if (!TDialogs::Guard(this,
                         [&] { context = DbMan->CategoryContext(UserName, prepared.File.source); }))
        return;
    TfrmBillImport preview(this, prepared.File, shownName, context.expenseCategories,
                           context.incomeCategories);
    const QString source = prepared.File.source;
    preview.SetClassEditor([&]() -> std::optional<TCategoryContext> {
        // Both apps' tables, so that the person may fix the other one too.
        QMap<QString, QHash<QString, QString>> tables;
        if (!TDialogs::Guard(&preview, [&] {
                for (const QString &s : {QStringLiteral("alipay"), QStringLiteral("wechat")})
                    tables[s] = s == source ? context.appClasses
                                            : DbMan->CategoryContext(UserName, s).appClasses;
            }))
            return std::nullopt;
        TfrmBillClasses classes(&preview, tables, BillRules::DefaultAppClasses(),
                                context.expenseCategories, context.incomeCategories, source);
        if (classes.exec() != QDialog::Accepted)
            return std::nullopt;
        const QList<TAppClassChange> changes = classes.Changes();
        if (changes.isEmpty())
            return std::nullopt;
        // Kept at once, like any setting: the import may still be cancelled.
        if (!TDialogs::Guard(&preview, [&] {
                for (const TAppClassChange &c : changes)
                    DbMan->SetAppClass(UserName, c.source, c.appClass, c.category);
                context = DbMan->CategoryContext(UserName, source);
            }))
            return std::nullopt;
        return context;
    });
    if (preview.exec() != QDialog::Accepted)
        return;

    TBillImportResult result;
    const QList<TBillLine> chosen = preview.ChosenLines();
    const bool done = TDialogs::Guard(this, [&] {
        TBusy busy(nullptr);
        result = DbMan->ImportBill(UserName, prepared.File.source, shownName, chosen);
        // What the person taught the window is kept once the records are in.
        for (const TCategoryRule &rule : preview.Rules())
            DbMan->SetCategoryRule(UserName, rule.word, rule.category);
        if (newMapping)
            DbMan->SetColumnMapping(newMapping->first, newMapping->second);
    });
    if (!done)
        return;

    // The import may have added categories to the pick lists.
    TDialogs::Guard(this, [&] {
        pnlExpense->LoadCateList(DbMan->GetCateList(UserName, KindOut()));
        pnlIncome->LoadCateList(DbMan->GetCateList(UserName, KindIn()));
    });

    QStringList lines;
    if (result.Imported == 0)
        lines << QStringLiteral("没有导入任何记录。");
    else
        lines << QStringLiteral("导入了 %1 条记录：").arg(result.Imported);
    for (const QString &line : {typeLine(TypeExpense(), result.Count[0], result.Cents[0]),
                                typeLine(TypeIncome(), result.Count[1], result.Cents[1])}) {
        if (!line.isEmpty())
            lines << line;
    }
    if (result.Duplicates > 0)
        lines << QStringLiteral("另有 %1 条在此期间已被导入过，已跳过。").arg(result.Duplicates);
    TDialogs::Info(this, QStringLiteral("导入账单"), lines.join(QLatin1Char('\n')));

    if (result.Imported > 0) {
        rdoTransactions->setChecked(true);
        rdoExpenseClick();
        pnlTransactions->ShowPeriod(THi::YmdToDate(result.FirstDate),
                                    THi::YmdToDate(result.LastDate));
    }
}

void TfrmMain::mnuMenu_BillBatchesClick()
{
    QList<TBillBatch> batches;
    if (!TDialogs::Guard(this, [&] { batches = DbMan->BillBatches(UserName); }))
        return;
    QList<TBillBatchRow> rows;
    for (const TBillBatch &b : batches) {
        TBillBatchRow row;
        row.id = b.Id;
        row.time = QDateTime::fromSecsSinceEpoch(b.Time);
        row.fileName = b.FileName;
        row.source = b.Source;
        row.count = int(b.Count);
        row.expenseCents = b.Cents[0];
        row.incomeCents = b.Cents[1];
        row.remaining = int(b.Remaining);
        row.edited = int(b.Edited);
        rows << row;
    }
    TfrmBillBatches window(this, rows);
    if (window.exec() != QDialog::Accepted || window.UndoBatch() == 0)
        return;

    TBillUndo undo;
    if (!TDialogs::Guard(this, [&] {
            TBusy busy(nullptr);
            undo = DbMan->UndoBillBatch(UserName, window.UndoBatch(), window.AlsoEdited());
        }))
        return;
    QString text = QStringLiteral("删除了这次导入的 %1 条记录。").arg(undo.Removed);
    if (undo.EditedKept > 0)
        text += QStringLiteral("\n导入后改过的 %1 条记录保留未动。").arg(undo.EditedKept);
    TDialogs::Info(this, QStringLiteral("导入记录"), text);
    // The lists shown may hold the removed records.
    const TSearchResult &shown = pnlTransactions->Result();
    if (undo.Removed > 0 && shown.Start.isValid())
        pnlTransactions->ShowPeriod(shown.Start, shown.End);
}
