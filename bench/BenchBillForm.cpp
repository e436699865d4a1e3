// The bill preview on a generated 50,000-line Alipay bill: the file read,
// duplicates marked against 50,000 imported keys, categories proposed, then
// the preview window built and shown (offscreen) until its first paint, all
// timed together as a person waits for it. Prints the median of five runs
// (target: under 1 s), and a tick and a category change on the shown window.
//
// With --shots <folder> it instead shows the three bill windows on the
// sample bills (tests/fixtures/bills) and leaves there preview.png (an
// Alipay bill, a skipped line ticked in, a category changed and its rule
// offered), preview-wechat.png, preview-refunded.png (the list shown for one
// reason), preview-editor.png (a category cell being edited),
// mapping.png (a bank statement's columns), classes.png (the app-class
// table, one class moved) and batches.png. Run it under
// xvfb-run to see the windows as on a desktop.
// Usage: tallimo_bench_billform [--shots folder]

#include "BenchKit.h"
#include "BillBatchesForm.h"
#include "BillClassesForm.h"
#include "BillGen.h"
#include "BillImportForm.h"
#include "BillMappingForm.h"
#include "FormKit.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

namespace {

TCategoryContext accountContext()
{
    TCategoryContext c;
    c.appClasses = BillRules::DefaultAppClasses();
    c.expenseCategories = {QStringLiteral("餐饮"), QStringLiteral("交通"), QStringLiteral("日用"),
                           QStringLiteral("缴费"), QStringLiteral("服饰"), QStringLiteral("医疗"),
                           QStringLiteral("其他")};
    c.incomeCategories = {QStringLiteral("工资"), QStringLiteral("红包"), QStringLiteral("其他")};
    return c;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

TBillFile prepared(const QString &path, const TImportedKeys &imported,
                   const TCategoryContext &context)
{
    TBillFile file = BillReader::ReadBillFile(path);
    BillRules::MarkDuplicates(file, imported);
    BillRules::ProposeCategories(file.lines, context);
    return file;
}

int shots(const QString &folder)
{
    QDir().mkpath(folder);
    const QDir out(folder);
    const QDir bills(QStringLiteral(TALLIMO_SOURCE_DIR "/tests/fixtures/bills"));
    const TCategoryContext context = accountContext();
    // One line imported before, so that the duplicate group shows with a
    // line of its own beside the one the file repeats.
    TImportedKeys imported;
    imported.externalIds.insert(BillRules::ExternalKey(
        QStringLiteral("alipay"), QStringLiteral("2026112722001100011234567891")));

    {
        TfrmBillImport w(
            nullptr,
            prepared(bills.filePath(QStringLiteral("alipay-current.csv")), imported, context),
            QStringLiteral("支付宝交易明细(20261101-20261130).csv"), context.expenseCategories,
            context.incomeCategories);
        // As the account menu opens it: 分类对照… on offer.
        w.SetClassEditor([] { return std::optional<TCategoryContext>(); });
        w.show();
        settle();
        auto *view = w.findChild<QTreeView *>(QStringLiteral("lvwLines"));
        QAbstractItemModel *model = view->model();
        // The closed line ticked in, the first line's category changed.
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->index(r, TBillLineModel::ColStatus).data().toString() ==
                BillReader::SkipReasonText(SkipReason::Closed))
                model->setData(model->index(r, 0), Qt::Checked, Qt::CheckStateRole);
        }
        model->setData(model->index(0, TBillLineModel::ColCategory), QStringLiteral("外卖"),
                       Qt::EditRole);
        view->setCurrentIndex(model->index(0, 0));
        settle();
        w.grab().save(out.filePath(QStringLiteral("preview.png")));
        view->setCurrentIndex(model->index(2, TBillLineModel::ColCategory));
        view->edit(model->index(2, TBillLineModel::ColCategory));
        settle();
        if (auto *box = view->findChild<QComboBox *>(QStringLiteral("cboCategory")))
            box->showPopup();
        settle();
        w.grab().save(out.filePath(QStringLiteral("preview-editor.png")));
        if (QWidget *popup = QApplication::activePopupWidget())
            popup->grab().save(out.filePath(QStringLiteral("preview-editor-popup.png")));
        std::printf("preview %dx%d\n", w.width(), w.height());
    }
    {
        TfrmBillImport w(nullptr,
                         prepared(bills.filePath(QStringLiteral("wechat.xlsx")), {}, context),
                         QStringLiteral("微信支付账单(20261101-20261130).xlsx"),
                         context.expenseCategories, context.incomeCategories);
        w.show();
        settle();
        w.grab().save(out.filePath(QStringLiteral("preview-wechat.png")));
        auto *show = w.findChild<QComboBox *>(QStringLiteral("cboShow"));
        show->setCurrentIndex(show->findData(int(SkipReason::Refunded)));
        settle();
        w.grab().save(out.filePath(QStringLiteral("preview-refunded.png")));
    }
    {
        QHash<QString, QString> alipay = context.appClasses;
        alipay.insert(QStringLiteral("交通出行"), QStringLiteral("出行"));
        TfrmBillClasses w(
            nullptr,
            {{QStringLiteral("alipay"), alipay}, {QStringLiteral("wechat"), context.appClasses}},
            BillRules::DefaultAppClasses(), context.expenseCategories, context.incomeCategories,
            QStringLiteral("alipay"));
        w.show();
        settle();
        auto *view = w.findChild<QTreeView *>(QStringLiteral("lvwClasses"));
        for (int r = 0; r < view->model()->rowCount(); ++r) {
            if (view->model()->index(r, 0).data().toString() == u"交通出行")
                view->setCurrentIndex(view->model()->index(r, 0));
        }
        settle();
        w.grab().save(out.filePath(QStringLiteral("classes.png")));
        std::printf("classes %dx%d\n", w.width(), w.height());
    }
    {
        const TBillTable table =
            BillReader::ReadTableFile(bills.filePath(QStringLiteral("bank-gbk.csv")));
        TfrmBillMapping w(nullptr, table, QStringLiteral("青禾银行交易流水.csv"));
        w.show();
        settle();
        w.grab().save(out.filePath(QStringLiteral("mapping.png")));
        std::printf("mapping %dx%d\n", w.width(), w.height());
    }
    {
        const QDateTime t(QDate(2026, 12, 1), QTime(9, 30));
        TfrmBillBatches w(
            nullptr, {{12, t, QStringLiteral("支付宝交易明细(20261101-20261130).csv"),
                       QStringLiteral("alipay"), 6, 26250, 520000, 6, 0},
                      {7, t.addDays(-30), QStringLiteral("微信支付账单(20261001-20261031).xlsx"),
                       QStringLiteral("wechat"), 6, 59350, 30000, 5, 2},
                      {3, t.addDays(-61), QStringLiteral("青禾银行交易流水.csv"),
                       QStringLiteral("csv:ab"), 3, 15550, 600000, 0, 0}});
        w.show();
        settle();
        w.grab().save(out.filePath(QStringLiteral("batches.png")));
    }
    return 0;
}

struct TRun {
    qint64 readMs, windowMs;
    int rows;
};

TRun once(const QString &path, const TImportedKeys &imported, const TCategoryContext &context)
{
    QElapsedTimer timer;
    timer.start();
    TBillFile file = prepared(path, imported, context);
    const qint64 read = timer.elapsed();
    TfrmBillImport w(nullptr, file, QStringLiteral("alipay-50000.csv"), context.expenseCategories,
                     context.incomeCategories);
    w.show();
    settle();
    const qint64 total = timer.elapsed();
    // What a person does next must not wait either.
    QElapsedTimer act;
    act.start();
    QAbstractItemModel *model = w.findChild<QTreeView *>(QStringLiteral("lvwLines"))->model();
    model->setData(model->index(model->rowCount() - 1, 0), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(0, TBillLineModel::ColCategory), QStringLiteral("外卖"),
                   Qt::EditRole);
    w.findChild<QPushButton *>(QStringLiteral("btnRemember"))->click();
    settle();
    static bool said = false;
    if (!said) {
        said = true;
        std::printf("tick + category + rule over 50,000 lines: %lld ms\n",
                    static_cast<long long>(act.elapsed()));
    }
    return {read, total, model->rowCount()};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(ProgramFont());
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == QLatin1String("--shots"))
        return shots(args.value(2, QStringLiteral(".")));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("alipay-50000.csv"));
    {
        const QByteArray bill = alipayBill(50000);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bill) != bill.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    TImportedKeys imported;
    for (int i = 0; i < 50000; ++i)
        imported.externalIds.insert(
            BillRules::ExternalKey(QStringLiteral("alipay"), QStringLiteral("2025%1").arg(i)));
    const TCategoryContext context = accountContext();

    QList<qint64> totals, reads;
    TRun run{};
    for (int i = 0; i < 5; ++i) {
        run = once(path, imported, context);
        totals.append(run.windowMs);
        reads.append(run.readMs);
    }
    std::sort(totals.begin(), totals.end());
    std::sort(reads.begin(), reads.end());
    std::printf("alipay bill, %d lines: read + preview work median %lld ms, shown in the "
                "preview window median %lld ms (runs:",
                run.rows, static_cast<long long>(reads[2]), static_cast<long long>(totals[2]));
    for (qint64 t : totals)
        std::printf(" %lld", static_cast<long long>(t));
    std::printf("), peak %ld kB (target < 1000 ms)\n", PeakMemoryKb());
    return 0;
}
