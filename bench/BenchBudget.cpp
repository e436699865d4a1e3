// Budgets beside a ranking search on a large data file (bench/run.sh makes it):
//   tallimo_bench_budget <data file> [runs] [--server URL]
// For the busiest month of the user with the most records: the period query
// of that month alone, against the period query plus the month's budget
// figures as `--report month` makes them (QueryPeriodAndBudgets: the plan read
// on the query's connection, the figures from the ranking's sums). The target:
// budgets add under 10 %. The plan read on a connection of its own, which the
// chart window makes when it opens on a search already done, is timed apart.
// The 预算 window's own read (the plan and the month's spending, without the
// period query) is timed beside it. Runs alternate, so that the file's cache
// and the machine's load weigh on both alike. Figures are medians in ms.
// The user gets a budget for each of the month's ten largest expense
// categories and one for all expenses (written into the data file, replacing
// those of an earlier run).
// With --shots <folder> it instead leaves screenshots of the 预算 window, the
// chart window's bars and the expense panel's line on a small made-up ledger.

#include "BenchKit.h"
#include "BrowserPanel.h"
#include "BudgetForm.h"
#include "DbClass.h"
#include "HiClass.h"
#include "MainForm.h"
#include "Placement.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchKit::die;
using BenchKit::median;
using BenchKit::msOf;

struct TBusiest {
    QString user;
    QDate month;
    qint64 records = 0;
};

TBusiest busiest(const QString &file)
{
    sqlite3 *h = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &h, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        die(QStringLiteral("cannot open %1").arg(file));
    sqlite3_stmt *q = nullptr;
    sqlite3_prepare_v2(h,
                       "select [user], substr([date],1,7), count(*) from [data] "
                       "group by 1, 2 order by 3 desc limit 1",
                       -1, &q, nullptr);
    TBusiest b;
    if (sqlite3_step(q) == SQLITE_ROW) {
        b.user = THi::Base64DecodeBytes(QByteArray(
            reinterpret_cast<const char *>(sqlite3_column_text(q, 0)), sqlite3_column_bytes(q, 0)));
        b.month = QDate::fromString(
            QString::fromLatin1(reinterpret_cast<const char *>(sqlite3_column_text(q, 1))) +
                QStringLiteral("-01"),
            Qt::ISODate);
        b.records = sqlite3_column_int64(q, 2);
    }
    sqlite3_finalize(q);
    sqlite3_close(h);
    if (b.user.isEmpty() || !b.month.isValid())
        die(QStringLiteral("%1 holds no records").arg(file));
    return b;
}

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

template <class T> T *child(QObject *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    if (!c)
        die(QStringLiteral("no %1").arg(QLatin1String(name)));
    return c;
}

int shots(const QString &folder)
{
    QDir().mkpath(folder);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString file = Placement::PlaceDataFile({});
    const QString user = QStringLiteral("家用");
    TDbMan db(file);
    db.AddUser(user, QStringLiteral("1234"));
    const QDate today = QDate::currentDate();
    const QDate month(today.year(), today.month(), 1);
    const auto day = [&](int d) { return THi::DateToYmd(month.addDays(d - 1)); };
    db.SetCateList(user, KindOut(),
                   QStringLiteral("餐饮\r\n交通\r\n水电,燃气\r\n日用品\r\n服装\r\n书籍"));
    db.AddRecords(user, {{day(1), TypeExpense(), u"餐饮"_qs, 62000, {}},
                         {day(3), TypeExpense(), u"餐饮"_qs, 54000, {}},
                         {day(5), TypeExpense(), u"交通"_qs, 34500, {}},
                         {day(2), TypeExpense(), u"水电,燃气"_qs, 18000, {}},
                         {day(4), TypeExpense(), u"日用品"_qs, 9500, {}},
                         {day(6), TypeExpense(), u"服装"_qs, 42000, {}},
                         {day(1), TypeIncome(), u"工资"_qs, 1250000, {}}});
    db.SetDefaultBudget(user, TBudgetPlan::AllExpenses, 400000);
    db.SetDefaultBudget(user, u"餐饮"_qs, 180000);
    db.SetMonthBudget(user, u"餐饮"_qs, month, 140000);
    db.SetDefaultBudget(user, u"交通"_qs, 30000);
    db.SetDefaultBudget(user, u"水电,燃气"_qs, 35000);
    db.SetDefaultBudget(user, u"日用品"_qs, 30000);
    db.SetDefaultBudget(user, u"书籍"_qs, 20000);

    {
        TfrmBudget w(nullptr, db, user, today);
        w.show();
        settle();
        w.grab().save(QDir(folder).filePath(QStringLiteral("budget-window.png")));
    }

    TfrmMain w(file, user);
    w.show();
    settle();
    // The chart of this month's search, with its bars, through the browser.
    child<QRadioButton>(&w, "rdoTransactions")->click();
    w.Browser()->ShowPeriod(month, month.addMonths(1).addDays(-1));
    child<QRadioButton>(&w, "rdoTransCategories")->click();
    settle();
    QTimer::singleShot(800, [&] {
        if (QWidget *chart = QApplication::activeModalWidget()) {
            chart->grab().save(QDir(folder).filePath(QStringLiteral("budget-chart.png")));
            chart->close();
        }
    });
    child<QPushButton>(&w, "btnCatesChart")->click();

    // A save that passes two budgets.
    child<QRadioButton>(&w, "rdoExpense")->click();
    const auto add = [&](const QString &cate, const QString &amount) {
        child<QComboBox>(&w, "cboOutCate")->setEditText(cate);
        child<QLineEdit>(&w, "edtOutAmount")->setText(amount);
        child<QPushButton>(&w, "btnOutAdd")->click();
    };
    add(u"日用品"_qs, u"150"_qs);
    add(u"餐饮"_qs, u"300"_qs);
    // The question and "成功！" are answered by closing them.
    const auto closeBoxes = [&] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            if (auto *yes = box->findChild<QPushButton *>())
                yes->click();
        }
    };
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, closeBoxes);
    boxes.start(200);
    child<QPushButton>(&w, "btnOutSave")->click();
    boxes.stop();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("budget-line.png")));
    std::printf("line: %s\nshots in %s\n", qPrintable(child<QLabel>(&w, "lblOutBudget")->toolTip()),
                qPrintable(folder));
    return 0;
}

// Ten budgets for the month's largest expense categories and one for all expenses.
void setBudgets(TDbMan &db, const TBusiest &b)
{
    const TPeriod p = db.QueryPeriod(b.user, THi::DateToYmd(b.month),
                                     THi::DateToYmd(b.month.addMonths(1).addDays(-1)));
    int n = 0;
    for (const TRankRow &r : p.OutCateRows) {
        if (n++ == 10)
            break;
        db.SetDefaultBudget(b.user, r.Cate, std::max<qint64>(r.Cents * 11 / 10, 1));
        if (n % 3 == 0)
            db.SetMonthBudget(b.user, r.Cate, b.month, std::max<qint64>(r.Cents * 9 / 10, 1));
    }
    db.SetDefaultBudget(b.user, TBudgetPlan::AllExpenses, std::max<qint64>(p.OutCents, 1));
}

void measure(TDbMan &db, const TBusiest &b, int runs, const char *where)
{
    const QString start = THi::DateToYmd(b.month);
    const QString end = THi::DateToYmd(b.month.addMonths(1).addDays(-1));
    std::vector<double> alone, withBudgets, plans, window;
    int figures = 0;
    const auto runAlone = [&] {
        alone.push_back(msOf([&] { db.QueryPeriod(b.user, start, end); }));
    };
    const auto runWith = [&] {
        withBudgets.push_back(msOf([&] {
            TBudgetPlan plan;
            const TPeriod p = db.QueryPeriodAndBudgets(b.user, start, end, plan);
            figures = int(plan.figures(b.month, BudgetSpentOf(p.OutCateRows)).size());
        }));
    };
    for (int i = 0; i < runs; ++i) {
        // Either goes first every other time.
        if (i % 2 == 0) {
            runAlone();
            runWith();
        } else {
            runWith();
            runAlone();
        }
        plans.push_back(msOf([&] { db.BudgetPlan(b.user); }));
        window.push_back(msOf([&] { db.BudgetMonth(b.user, b.month); }));
    }
    const double a = median(alone), w = median(withBudgets);
    const double added = a > 0 ? (w - a) / a * 100.0 : 0;
    std::printf("%s\n", where);
    std::printf("  %-44s %8.2f ms\n", "period query alone", a);
    std::printf("  %-44s %8.2f ms  (%d budget figures)\n", "period query + budget figures", w,
                figures);
    std::printf("  %-44s %+7.1f %%  %s\n", "budgets add", added,
                added < 10 ? "(under 10 %)" : "(OVER 10 %)");
    std::printf("  %-44s %8.3f ms\n", "the plan read alone (the chart window's)", median(plans));
    std::printf("  %-44s %8.2f ms\n", "the budget window's read (plan + spending)", median(window));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--shots") == 0) {
        QApplication gui(argc, argv);
        QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        return shots(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    QString serverUrl;
    if (const int at = int(args.indexOf(QStringLiteral("--server"))); at > 0)
        serverUrl = args.value(at + 1);
    if (args.size() < 2 || args.at(1).startsWith(QLatin1Char('-')))
        die(QStringLiteral("usage: tallimo_bench_budget <data file> [runs] [--server URL]"));
    const QString file = args.at(1);
    const int runs = args.size() > 2 && !args.at(2).startsWith(QLatin1Char('-'))
                         ? std::max(1, args.at(2).toInt())
                         : 15;
    const TBusiest b = busiest(file);
    try {
        TDbMan db(file);
        std::printf("%lld records; %s of the busiest user: %lld records\n",
                    static_cast<long long>(db.Counts().Records),
                    qPrintable(b.month.toString(QStringLiteral("yyyy-MM"))),
                    static_cast<long long>(b.records));
        setBudgets(db, b);
        measure(db, b, runs, "data file");
        if (!serverUrl.isEmpty()) {
            TDbMan srv(serverUrl);
            if (srv.Counts().Records != db.Counts().Records) {
                const double ms = msOf([&] { srv.ImportFrom(file); });
                std::printf("copied the data file to the server in %.1f s\n", ms / 1000.0);
            }
            setBudgets(srv, b);
            measure(srv, b, runs, "server");
        }
    } catch (const TError &e) {
        die(e.text());
    }
    return 0;
}
