// The household view on a large data file (bench/run.sh makes it):
//   tallimo_bench_household <data file> [runs]
// On a copy of the file, where all three generated accounts let the others
// see their records, TDbMan::Household for one month, one year and all ten
// years, asked by the first account: every record of the period of every
// account, merged into one list; beside it, the three accounts' own period
// queries (the browser's) one after another. Figures are medians in milliseconds.
// With --shots <folder> it instead opens 家庭汇总 on a small made-up ledger
// (one of three accounts keeps its records to itself) and leaves screenshots
// of the window, of the account menu with 家庭共享… and of its password prompt.

#include "BenchKit.h"
#include "DbClass.h"
#include "HiClass.h"
#include "HouseholdForm.h"
#include "MainForm.h"
#include "Placement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using BenchKit::die;
using BenchKit::median;
using BenchKit::msOf;

void settle()
{
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

int shots(const QString &folder)
{
    QDir().mkpath(folder);
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const QString file = Placement::PlaceDataFile({});
    TDbMan db(file);
    const QString dad = QStringLiteral("爸爸"), mum = QStringLiteral("妈妈"),
                  kid = QStringLiteral("大儿子");
    for (const QString &name : {dad, mum, kid})
        db.AddUser(name, QStringLiteral("1234"));
    const QString out = TypeExpense(), in = TypeIncome();
    const struct {
        const QString *user;
        const char *cate;
        bool income;
        qint64 cents;
        const char *notes;
    } recs[] = {
        {&dad, "工资", true, 1250000, ""},
        {&dad, "房租", false, 320000, "三月"},
        {&dad, "交通", false, 4200, "地铁"},
        {&dad, "餐饮", false, 3650, "午饭"},
        {&mum, "工资", true, 980000, ""},
        {&mum, "餐饮", false, 12890, "超市"},
        {&mum, "孩子学费", false, 480000, "春季"},
        {&mum, "日用品", false, 6120, ""},
        {&mum, "水电,燃气", false, 31000, ""},
        {&kid, "零花钱", true, 20000, ""},
        {&kid, "游戏", false, 6800, "不想让人看到"},
    };
    int day = 1;
    for (const auto &r : recs) {
        db.AddRecord(*r.user, QStringLiteral("2026-03-%1").arg(day, 2, 10, QLatin1Char('0')),
                     r.income ? in : out, QString::fromUtf8(r.cate), r.cents,
                     QString::fromUtf8(r.notes));
        day = day % 28 + 3;
    }
    db.SetHouseholdShare(mum, QStringLiteral("1234"), true);

    TfrmHousehold w(nullptr, db, dad, QDate(2026, 3, 1), QDate(2026, 3, 31));
    w.show();
    settle();
    w.grab().save(QDir(folder).filePath(QStringLiteral("household-window.png")));
    w.close();

    TfrmMain main(file, mum);
    main.show();
    settle();
    auto *menu = main.findChild<QMenu *>(QStringLiteral("mnuMenu"));
    menu->popup(main.mapToGlobal(QPoint(500, 60)));
    settle();
    menu->grab().save(QDir(folder).filePath(QStringLiteral("household-menu.png")));
    menu->close();

    // The password the entry asks for, typed: dots, never the text.
    QTimer::singleShot(300, [&] {
        if (QWidget *asked = QApplication::activeModalWidget()) {
            if (auto *edit = asked->findChild<QLineEdit *>())
                edit->setText(QStringLiteral("1234"));
            settle();
            asked->grab().save(QDir(folder).filePath(QStringLiteral("household-password.png")));
            asked->close();
        }
    });
    main.findChild<QAction *>(QStringLiteral("mnuMenu_HouseholdShare"))->trigger();
    std::printf("shots in %s\n", qPrintable(folder));
    return 0;
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
    if (args.size() < 2 || args.at(1).startsWith(QLatin1Char('-')))
        die(QStringLiteral("usage: tallimo_bench_household <data file> [runs]"));
    const int runs = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 5;
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("household.tlmdb"));
    if (!QFile::copy(args.at(1), copy))
        die(QStringLiteral("cannot copy %1").arg(args.at(1)));
    try {
        TDbMan db(copy);
        db.Upgrade();
        const QStringList users = THi::SplitLines(db.ListUsers());
        for (const QString &user : users) {
            // The generator's passwords.
            if (!db.SetHouseholdShare(user, QStringLiteral("secret-") + user, true))
                die(QStringLiteral("no password for %1").arg(user));
        }
        const qint64 total = db.Counts().Records;
        const QString asker = users.value(0);
        std::printf("%lld records of %d accounts, all sharing; asked by %s\n",
                    static_cast<long long>(total), int(users.size()), qPrintable(asker));
        std::printf("%-24s %10s %10s %10s\n", "household", "median", "worst", "records");
        const struct {
            const char *name, *start, *end;
        } periods[] = {{"one month", "2020-03-01", "2020-03-31"},
                       {"one year", "2020-01-01", "2020-12-31"},
                       {"ten years", "2015-01-01", "2024-12-31"}};
        for (const auto &p : periods) {
            std::vector<double> ms;
            int records = 0;
            for (int i = 0; i < runs; ++i) {
                ms.push_back(msOf([&] {
                    records = db.Household(asker, QLatin1String(p.start), QLatin1String(p.end))
                                  .RecordCount();
                }));
            }
            std::printf("%-24s %7.1f ms %7.1f ms %10d\n", p.name, median(ms),
                        *std::max_element(ms.begin(), ms.end()), records);
            // For comparison: each account's own browser query of the period.
            std::vector<double> own;
            for (int i = 0; i < runs; ++i) {
                own.push_back(msOf([&] {
                    for (const QString &user : users)
                        db.QueryPeriod(user, QLatin1String(p.start), QLatin1String(p.end));
                }));
            }
            std::printf("%-24s %7.1f ms\n", "  the accounts' own", median(own));
        }
        std::printf("peak memory %ld kB\n", PeakMemoryKb());
    } catch (const TError &e) {
        die(e.text());
    }
    return 0;
}
