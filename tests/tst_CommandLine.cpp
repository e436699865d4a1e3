#include "CommandLine.h"
#include "DataFormat.h"
#include "DbClass.h"
#include "HiClass.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QDir>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using CommandLine::TStartOptions;

namespace {

const QString WorkDir = QStringLiteral("/home/li/下载");

// The built program, beside this test in bin/.
QString program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tallimo");
}

// What one run of the program did.
struct TRun {
    int exitCode = -1;
    bool finished = false;
    QString out, err;
};

// A run of the program with data and settings folders of its own and no
// display at all: a platform that needs one (xcb) and nothing to connect to,
// so a window the program tried to open would end it at once.
class ProgramRun {
public:
    ProgramRun()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_process.setProcessEnvironment(env);
    }

    // input: what the program reads on standard input (a password).
    TRun run(const QStringList &arguments, const QByteArray &input = QByteArray())
    {
        TRun r;
        m_process.start(program(), arguments);
        if (m_process.waitForStarted(30000)) {
            m_process.write(input);
            m_process.closeWriteChannel();
        }
        r.finished = m_process.waitForFinished(60000);
        if (!r.finished) {
            m_process.kill();
            m_process.waitForFinished();
        }
        r.exitCode = m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
        r.out = QString::fromUtf8(m_process.readAllStandardOutput());
        r.err = QString::fromUtf8(m_process.readAllStandardError());
        return r;
    }

    // The data file the program places, made here from the template.
    QString dataFile() const { return m_data.filePath(QStringLiteral("Tallimo/db.tlmdb")); }

    // True when the program left no trace in the user's folders.
    bool changedNothing() const
    {
        return QDir(m_data.path())
                   .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) &&
               QDir(m_config.path())
                   .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // The data file the program uses, made from the template.
    QString makeDataFile() const
    {
        const QString folder = m_data.filePath(QStringLiteral("Tallimo"));
        QDir().mkpath(folder);
        const QString file = folder + QStringLiteral("/db.tlmdb");
        QFile::copy(Placement::TemplateFile(), file);
        QFile(file).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return file;
    }

private:
    QTemporaryDir m_data, m_config;
    QProcess m_process;
};

// The entries of one section of the help text: each entry's first line
// (two blanks in) and the lines under it (six blanks in).
QMap<QString, QStringList> helpEntries(const QString &help)
{
    QMap<QString, QStringList> entries;
    QString current;
    for (const QString &line : help.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("      ")) && !current.isEmpty())
            entries[current] << line.trimmed();
        else if (line.startsWith(QStringLiteral("  ")))
            entries[current = line.trimmed()];
        else
            current.clear();
    }
    return entries;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void parse_data();
    void parse();
    void badCommandLine_data();
    void badCommandLine();
    void helpGivesEveryOptionAnExample_data();
    void helpGivesEveryOptionAnExample();
    void helpFitsATerminal();
    void desktopEntryOpensBackups_data();
    void desktopEntryOpensBackups();
    void restartArgumentsPassUnchanged_data();
    void restartArgumentsPassUnchanged();
    void restartReopensTheSameLedger_data();
    void restartReopensTheSameLedger();

    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void badOptionExitsWithTwoAndChangesNothing_data();
    void badOptionExitsWithTwoAndChangesNothing();
    void relativeBackupIsImported();
    void importsABillWithoutAWindow_data();
    void importsABillWithoutAWindow();
    void reportOptions_data();
    void reportOptions();
    void reportPrintsTheYearAsCsv();
    void reportMonthOptions_data();
    void reportMonthOptions();
    void reportPrintsTheMonthAsCsv_data();
    void reportPrintsTheMonthAsCsv();
    void reportRefusesAWrongLogin_data();
    void reportRefusesAWrongLogin();

private:
    QTemporaryDir m_mimeHome;
};

void TestCommandLine::initTestCase()
{
    // The file type of backups as the package installs it, and nothing else
    // of this machine's: read by the first QMimeDatabase of this process.
    QVERIFY(m_mimeHome.isValid());
    const QString packages = m_mimeHome.filePath(QStringLiteral("mime/packages"));
    QVERIFY(QDir().mkpath(packages));
    QVERIFY(QFile::copy(QStringLiteral(TALLIMO_SOURCE_DIR "/dist/tallimo-mime.xml"),
                        packages + QStringLiteral("/tallimo.xml")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(m_mimeHome.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_mimeHome.filePath(QStringLiteral("home"))));
}

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("copyTo");
    QTest::addColumn<QString>("copyFrom");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("flag"); // help, version or empty

    const QString url = QStringLiteral("postgresql://ledger@nas.local/tallimo");
    const QString none;
    QTest::addRow("nothing") << QStringList() << none << none << none << false << none << none;
    QTest::addRow("relative backup, taken where it was typed")
        << QStringList{QStringLiteral("备份.tlmdb")} << none << none << none << false
        << WorkDir + QStringLiteral("/备份.tlmdb") << none;
    QTest::addRow("relative backup in a parent folder")
        << QStringList{QStringLiteral("../备份 五月.tlmdb")} << none << none << none << false
        << QStringLiteral("/home/li/备份 五月.tlmdb") << none;
    QTest::addRow("absolute backup")
        << QStringList{QStringLiteral("/srv/ledger/a.tlmdb")} << none << none << none << false
        << QStringLiteral("/srv/ledger/a.tlmdb") << none;
    QTest::addRow("backup after --, dash and all")
        << QStringList{QStringLiteral("--"), QStringLiteral("-x.tlmdb")} << none << none << none
        << false << WorkDir + QStringLiteral("/-x.tlmdb") << none;
    QTest::addRow("server and a backup")
        << QStringList{QStringLiteral("--database"), url, QStringLiteral("b.tlmdb")} << url << none
        << none << false << WorkDir + QStringLiteral("/b.tlmdb") << none;
    QTest::addRow("value after =") << QStringList{QStringLiteral("--database=") + url} << url
                                   << none << none << false << none << none;
    QTest::addRow("one dash for a long option") << QStringList{QStringLiteral("-database"), url}
                                                << url << none << none << false << none << none;
    QTest::addRow("copy to, replacing")
        << QStringList{QStringLiteral("--copy-to"), url, QStringLiteral("--replace")} << none << url
        << none << true << none << none;
    QTest::addRow("copy from, blanks around the URL")
        << QStringList{QStringLiteral("--copy-from"),
                       QStringLiteral(" ") + url + QStringLiteral(" ")}
        << none << none << url << false << none << none;
    QTest::addRow("--help wins over the rest")
        << QStringList{QStringLiteral("--replace"), QStringLiteral("--help")} << none << none
        << none << false << none << QStringLiteral("help");
    QTest::addRow("-h") << QStringList{QStringLiteral("-h")} << none << none << none << false
                        << none << QStringLiteral("help");
    QTest::addRow("-v") << QStringList{QStringLiteral("-v")} << none << none << none << false
                        << none << QStringLiteral("version");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(QString, database);
    QFETCH(QString, copyTo);
    QFETCH(QString, copyFrom);
    QFETCH(bool, replace);
    QFETCH(QString, backup);
    QFETCH(QString, flag);
    const TStartOptions o = CommandLine::Parse(args, WorkDir);
    QCOMPARE(o.Error, QString());
    QCOMPARE(o.Help, flag == QLatin1String("help"));
    QCOMPARE(o.Version, flag == QLatin1String("version"));
    QCOMPARE(o.Database, database);
    QCOMPARE(o.CopyTo, copyTo);
    QCOMPARE(o.CopyFrom, copyFrom);
    QCOMPARE(o.Replace, replace);
    QCOMPARE(o.Backup, backup);
}

void TestCommandLine::badCommandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    const QString url = QStringLiteral("postgresql://ledger@nas.local/tallimo");
    const QString needsUrl = QStringLiteral("“%1”后面要跟一个数据库网址，例如 "
                                            "postgresql://用户@主机/数据库。");
    QTest::addRow("unknown option") << QStringList{QStringLiteral("--databse"), url}
                                    << QStringLiteral("没有“--databse”这个选项。");
    QTest::addRow("unknown short option")
        << QStringList{QStringLiteral("-x")} << QStringLiteral("没有“-x”这个选项。");
    QTest::addRow("URL missing at the end")
        << QStringList{QStringLiteral("--copy-to")} << needsUrl.arg(QStringLiteral("--copy-to"));
    QTest::addRow("an option where the URL belongs")
        << QStringList{QStringLiteral("--database"), QStringLiteral("--replace")}
        << needsUrl.arg(QStringLiteral("--database"));
    QTest::addRow("empty URL") << QStringList{QStringLiteral("--copy-from=")}
                               << needsUrl.arg(QStringLiteral("--copy-from"));
    QTest::addRow("blank URL") << QStringList{QStringLiteral("--database"), QStringLiteral("  ")}
                               << needsUrl.arg(QStringLiteral("--database"));
    QTest::addRow("a value for a switch") << QStringList{QStringLiteral("--replace=yes")}
                                          << QStringLiteral("“--replace”后面不跟值。");
    QTest::addRow("two backups") << QStringList{QStringLiteral("a.tlmdb"),
                                                QStringLiteral("b.tlmdb")}
                                 << QStringLiteral("一次只能导入一个备份文件，却给了 2 个。");
    QTest::addRow("both directions")
        << QStringList{QStringLiteral("--copy-to"), url, QStringLiteral("--copy-from"), url}
        << QStringLiteral("--copy-to 和 --copy-from 一次只能用一个。");
    QTest::addRow("--replace alone")
        << QStringList{QStringLiteral("--replace")}
        << QStringLiteral("--replace 只和 --copy-to 或 --copy-from 一起用。");
    QTest::addRow("a copy and a backup")
        << QStringList{QStringLiteral("--copy-from"), url, QStringLiteral("a.tlmdb")}
        << QStringLiteral("复制账本时不能同时导入备份文件。");
    QTest::addRow("a report kind there is none of")
        << QStringList{QStringLiteral("--report"), QStringLiteral("week"), QStringLiteral("--user"),
                       QStringLiteral("Li")}
        << QStringLiteral("没有“week”这种报表；可以用的是 year（一年各月的收支表）和 month");
    QTest::addRow("a month that is none")
        << QStringList{u"--report"_qs, u"month"_qs,  u"--month"_qs,
                       u"2026-13"_qs,  u"--user"_qs, u"Li"_qs}
        << QStringLiteral("“2026-13”不是月份；--month 后面要跟年和月，例如 2026-12。");
    QTest::addRow("a month of one digit")
        << QStringList{u"--report"_qs, u"month"_qs,  u"--month"_qs,
                       u"2026-1"_qs,   u"--user"_qs, u"Li"_qs}
        << QStringLiteral("“2026-1”不是月份");
    QTest::addRow("a day for a month") << QStringList{u"--report"_qs,   u"month"_qs,  u"--month"_qs,
                                                      u"2026-12-01"_qs, u"--user"_qs, u"Li"_qs}
                                       << QStringLiteral("“2026-12-01”不是月份");
    QTest::addRow("month value missing")
        << QStringList{u"--report"_qs, u"month"_qs, u"--user"_qs, u"Li"_qs, u"--month"_qs}
        << QStringLiteral("“--month”后面要跟一个月份，例如 2026-12。");
    QTest::addRow("a month for the year's report")
        << QStringList{u"--report"_qs, u"year"_qs,   u"--month"_qs,
                       u"2026-12"_qs,  u"--user"_qs, u"Li"_qs}
        << QStringLiteral("--month 只和 --report month 一起用。");
    QTest::addRow("a year for the month's report")
        << QStringList{u"--report"_qs, u"month"_qs,  u"--year"_qs,
                       u"2026"_qs,     u"--user"_qs, u"Li"_qs}
        << QStringLiteral("--year 只和 --report year 一起用。");
    QTest::addRow("a month without a report")
        << QStringList{u"--month"_qs, u"2026-12"_qs}
        << QStringLiteral("--month 只和 --report month 一起用。");
    QTest::addRow("month report without a user")
        << QStringList{u"--report"_qs, u"month"_qs, u"--month"_qs, u"2026-12"_qs}
        << QStringLiteral("--report 要和 --user 用户名 一起用");
    QTest::addRow("report kind missing")
        << QStringList{QStringLiteral("--report")}
        << QStringLiteral("“--report”后面要跟报表的种类，例如 year。");
    QTest::addRow("a year that is no number")
        << QStringList{QStringLiteral("--report"), QStringLiteral("year"),
                       QStringLiteral("--year"),   QStringLiteral("二〇二六"),
                       QStringLiteral("--user"),   QStringLiteral("Li")}
        << QStringLiteral("“二〇二六”不是年份");
    QTest::addRow("year zero") << QStringList{QStringLiteral("--report"), QStringLiteral("year"),
                                              QStringLiteral("--year"),   QStringLiteral("0"),
                                              QStringLiteral("--user"),   QStringLiteral("Li")}
                               << QStringLiteral("“0”不是年份");
    QTest::addRow("report without a user")
        << QStringList{QStringLiteral("--report"), QStringLiteral("year")}
        << QStringLiteral("--report 要和 --user 用户名 一起用");
    QTest::addRow("a year without a report")
        << QStringList{QStringLiteral("--year"), QStringLiteral("2026")}
        << QStringLiteral("--year 只和 --report 一起用。");
    QTest::addRow("a report and a backup")
        << QStringList{QStringLiteral("--report"), QStringLiteral("year"), QStringLiteral("--user"),
                       QStringLiteral("Li"), QStringLiteral("a.tlmdb")}
        << QStringLiteral("--report 不能和复制账本或导入备份一起用。");
}

void TestCommandLine::badCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    const TStartOptions o = CommandLine::Parse(args, WorkDir);
    QVERIFY2(o.Error.startsWith(error), qPrintable(o.Error));
    // Nothing of a bad command line is acted on.
    QVERIFY(o.Backup.isEmpty());
    QVERIFY(!o.Help && !o.Version);
}

void TestCommandLine::helpGivesEveryOptionAnExample_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("option");
    QTest::addRow("backup file") << QStringLiteral("备份文件.tlmdb") << QString();
    QTest::addRow("--database") << QStringLiteral("--database 网址") << QStringLiteral("database");
    QTest::addRow("--copy-to") << QStringLiteral("--copy-to 网址") << QStringLiteral("copy-to");
    QTest::addRow("--copy-from") << QStringLiteral("--copy-from 网址")
                                 << QStringLiteral("copy-from");
    QTest::addRow("--replace") << QStringLiteral("--replace") << QStringLiteral("replace");
    QTest::addRow("--report") << QStringLiteral("--report year --year 年份 --user 用户名")
                              << QStringLiteral("report");
    QTest::addRow("--report month")
        << QStringLiteral("--report month --month 年-月 --user 用户名") << QStringLiteral("month");
    QTest::addRow("--help") << QStringLiteral("-h, --help") << QStringLiteral("help");
    QTest::addRow("--version") << QStringLiteral("-v, --version") << QStringLiteral("version");
}

void TestCommandLine::helpGivesEveryOptionAnExample()
{
    QFETCH(QString, entry);
    QFETCH(QString, option);
    const QString help = CommandLine::HelpText();
    QVERIFY(help.startsWith(CommandLine::UsageLine() + QLatin1Char('\n')));
    const QMap<QString, QStringList> entries = helpEntries(help);
    QVERIFY2(entries.contains(entry), qPrintable(help));
    const QStringList lines = entries.value(entry);
    QVERIFY(lines.size() >= 2); // what it does, and the example
    const QString prefix = QStringLiteral("例：tallimo ");
    QVERIFY2(lines.last().startsWith(prefix), qPrintable(lines.last()));

    // The example is a command line that works as it stands, using the option.
    const QStringList args = QProcess::splitCommand(lines.last().mid(prefix.size()));
    const TStartOptions o = CommandLine::Parse(args, WorkDir);
    QCOMPARE(o.Error, QString());
    if (option.isEmpty()) {
        QVERIFY(!o.Backup.isEmpty());
    } else {
        QVERIFY(args.contains(QStringLiteral("--") + option));
        const QString url = QStringLiteral("postgresql://");
        const bool set = option == QLatin1String("database")    ? o.Database.startsWith(url)
                         : option == QLatin1String("copy-to")   ? o.CopyTo.startsWith(url)
                         : option == QLatin1String("copy-from") ? o.CopyFrom.startsWith(url)
                         : option == QLatin1String("replace")   ? o.Replace
                         : option == QLatin1String("report")    ? o.Report == u"year"
                         : option == QLatin1String("month")     ? o.Report == u"month"
                         : option == QLatin1String("help")      ? o.Help
                                                                : o.Version;
        QVERIFY(set);
    }
}

void TestCommandLine::helpFitsATerminal()
{
    // Chinese characters take two columns of a terminal.
    for (const QString &line : CommandLine::HelpText().split(QLatin1Char('\n'))) {
        int columns = 0;
        for (const QChar c : line)
            columns += c.unicode() >= 0x1100 ? 2 : 1;
        QVERIFY2(columns <= 80, qPrintable(line));
    }
}

void TestCommandLine::desktopEntryOpensBackups_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("database"); // an SQLite file, not just its name
    QTest::addRow("a backup") << QStringLiteral("备份.tlmdb") << true;
    QTest::addRow("capital extension") << QStringLiteral("MAY.TLMDB") << true;
    QTest::addRow("named only") << QStringLiteral("empty.tlmdb") << false;
}

void TestCommandLine::desktopEntryOpensBackups()
{
    QFETCH(QString, fileName);
    QFETCH(bool, database);
    QFile entry(QStringLiteral(TALLIMO_SOURCE_DIR "/dist/tallimo.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(entry.readAll()).split(QLatin1Char('\n'));
    // The desktop hands a double-clicked file over as one argument.
    QVERIFY(lines.contains(QStringLiteral("Exec=tallimo %f")));
    QVERIFY(lines.contains(QStringLiteral("MimeType=application/x-tallimo-ledger;")));

    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    if (database) {
        TestSupport::DataFile backup;
        QVERIFY(QFile::copy(backup.path(), path));
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(QMimeDatabase().mimeTypeForFile(path).name(),
             QStringLiteral("application/x-tallimo-ledger"));
    // What the desktop runs then is an ordinary start with a backup.
    const TStartOptions o = CommandLine::Parse({path}, WorkDir);
    QCOMPARE(o.Error, QString());
    QCOMPARE(o.Backup, path);
}

void TestCommandLine::restartArgumentsPassUnchanged_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addRow("nothing") << QStringList();
    QTest::addRow("blanks and quotes")
        << QStringList{QStringLiteral("/srv/ledger/my \"old\" one.tlmdb")};
    QTest::addRow("a lone quote and a backslash")
        << QStringList{QStringLiteral("/srv/ledger/it's 5\" \\ wide.tlmdb")};
    QTest::addRow("server and a backup")
        << QStringList{QStringLiteral("--database"),
                       QStringLiteral("postgresql://ledger@nas.local/t?sslmode=require"),
                       QStringLiteral("/srv/ledger/b \"\"\" c.tlmdb")};
}

void TestCommandLine::restartArgumentsPassUnchanged()
{
    QFETCH(QStringList, arguments);
    QStringList seen;
    THi::SetRunProgramHook([&](const QString &, const QStringList &args) {
        seen = args;
        return true;
    });
    const bool started = THi::RunProgram(program(), arguments, 1, QString());
    THi::SetRunProgramHook({});
    QVERIFY(started);
    QCOMPARE(seen, arguments);
}

void TestCommandLine::restartReopensTheSameLedger_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("backup");
    QTest::addColumn<QString>("database"); // what the new copy's --database holds
    const QString file = QStringLiteral("/home/li/.local/share/Tallimo/db.tlmdb");
    const QString url =
        QStringLiteral("postgresql://ledger@nas.local:5433/家里 账本?sslmode=require");
    const QString backup = QStringLiteral("/home/li/下载/my \"old\" --one.tlmdb");
    QTest::addRow("data file") << file << QString() << QString();
    QTest::addRow("data file, restoring") << file << backup << QString();
    QTest::addRow("server") << url << QString() << url;
    QTest::addRow("server, restoring") << url << backup << url;
    QTest::addRow("postgres:// server") << QStringLiteral("postgres://nas.local/t") << backup
                                        << QStringLiteral("postgres://nas.local/t");
}

void TestCommandLine::restartReopensTheSameLedger()
{
    QFETCH(QString, location);
    QFETCH(QString, backup);
    QFETCH(QString, database);
    const QStringList arguments =
        TDbMan(location).RestartArguments(backup.isEmpty() ? QStringList() : QStringList{backup});
    // The new copy reads them as the same ledger and the same backup, each
    // whole: a URL with a blank is one argument, not two.
    const TStartOptions o = CommandLine::Parse(arguments, WorkDir);
    QCOMPARE(o.Error, QString());
    QCOMPARE(o.Database, database);
    QCOMPARE(o.Backup, backup);
    QVERIFY(o.CopyTo.isEmpty() && o.CopyFrom.isEmpty());
}

void TestCommandLine::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected");
    QTest::addRow("--help") << QStringLiteral("--help") << CommandLine::HelpText();
    QTest::addRow("-h") << QStringLiteral("-h") << CommandLine::HelpText();
    QTest::addRow("--version") << QStringLiteral("--version")
                               << CommandLine::VersionText(DataFormatVersion);
}

void TestCommandLine::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, expected);
    ProgramRun p;
    const TRun r = p.run({option});
    QVERIFY(r.finished);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, expected);
    QVERIFY(p.changedNothing());
}

void TestCommandLine::badOptionExitsWithTwoAndChangesNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("error");
    QTest::addRow("unknown option")
        << QStringList{QStringLiteral("--bogus")} << QStringLiteral("没有“--bogus”这个选项。");
    QTest::addRow("missing URL") << QStringList{QStringLiteral("--database")}
                                 << QStringLiteral("“--database”后面要跟一个数据库网址");
    QTest::addRow("two backups") << QStringList{QStringLiteral("a.tlmdb"),
                                                QStringLiteral("b.tlmdb")}
                                 << QStringLiteral("一次只能导入一个备份文件");
}

void TestCommandLine::badOptionExitsWithTwoAndChangesNothing()
{
    QFETCH(QStringList, args);
    QFETCH(QString, error);
    ProgramRun p;
    const TRun r = p.run(args);
    QVERIFY(r.finished);
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.startsWith(QStringLiteral("tallimo：") + error), qPrintable(r.err));
    QVERIFY2(r.err.contains(CommandLine::UsageLine()), qPrintable(r.err));
    QVERIFY(p.changedNothing());
}

void TestCommandLine::relativeBackupIsImported()
{
    // cd ~/下载 && tallimo 备份.tlmdb: the backup holds an account the fresh
    // data file lacks, so the account showing up in the data file shows the
    // import happened.
    TestSupport::DataFile backup;
    QVERIFY(TDbMan(backup.path()).AddUser(QStringLiteral("Wang"), QStringLiteral("pw")));
    QTemporaryDir home, config;
    const QString downloads = home.filePath(QStringLiteral("下载"));
    QVERIFY(QDir().mkpath(downloads));
    QVERIFY(QFile::copy(backup.path(), downloads + QStringLiteral("/备份.tlmdb")));

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(downloads);
    process.start(program(), {QStringLiteral("备份.tlmdb")});
    QVERIFY(process.waitForStarted());

    // After the import the program waits at its login window; the data file
    // is read beside it and the program ended once the account is there.
    const QString dataFile = home.filePath(QStringLiteral("data/Tallimo/db.tlmdb"));
    const auto imported = [&] {
        if (!QFileInfo(dataFile).isFile())
            return false;
        TestSupport::Raw raw(dataFile, TestSupport::RawReadOnly);
        return raw.value(QStringLiteral("select count(*) from \"users\"")) == QLatin1String("1");
    };
    bool done = false;
    for (int i = 0; i < 300 && !done && process.state() == QProcess::Running; ++i) {
        QTest::qWait(100);
        done = imported();
    }
    const bool ranOn = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    QVERIFY2(ranOn, qPrintable(QString::fromUtf8(process.readAllStandardError())));
    QVERIFY(done);
    QVERIFY(TDbMan(dataFile).UserExists(QStringLiteral("Wang")));
}

void TestCommandLine::importsABillWithoutAWindow_data()
{
    QTest::addColumn<QString>("bill");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<qint64>("records");
    const QStringList sums = {QStringLiteral("支出 4 笔，合计 262.50"),
                              QStringLiteral("收入 2 笔，合计 5200.00")};
    QTest::addRow("import") << "alipay-current.csv" << QStringList() << QByteArray("pw\n") << 0
                            << sums << "" << qint64(6);
    QTest::addRow("password without a newline") << "alipay-current.csv" << QStringList()
                                                << QByteArray("pw") << 0 << sums << "" << qint64(6);
    QTest::addRow("dry run changes nothing")
        << "alipay-current.csv" << QStringList{QStringLiteral("--dry-run")} << QByteArray("pw\n")
        << 0 << (sums + QStringList{QStringLiteral("试运行")}) << "" << qint64(0);
    QTest::addRow("wrong password") << "alipay-current.csv" << QStringList() << QByteArray("nope\n")
                                    << 1 << QStringList() << "密码不对" << qint64(0);
    QTest::addRow("no password") << "alipay-current.csv" << QStringList() << QByteArray() << 1
                                 << QStringList() << "密码不对" << qint64(0);
    QTest::addRow("table without a remembered mapping")
        << "bank-gbk.csv" << QStringList() << QByteArray("pw\n") << 1 << QStringList() << "没有记住"
        << qint64(0);
    QTest::addRow("missing file") << "no-such-bill.csv" << QStringList() << QByteArray("pw\n") << 1
                                  << QStringList() << "no-such-bill.csv" << qint64(0);
}

void TestCommandLine::importsABillWithoutAWindow()
{
    QFETCH(QString, bill);
    QFETCH(QStringList, extra);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    QFETCH(qint64, records);
    ProgramRun program;
    QVERIFY(QDir().mkpath(QFileInfo(program.dataFile()).absolutePath()));
    QVERIFY(QFile::copy(Placement::TemplateFile(), program.dataFile()));
    QFile(program.dataFile()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QVERIFY(TDbMan(program.dataFile()).AddUser(QStringLiteral("小李"), QStringLiteral("pw")));
    const QString path = QStringLiteral(TALLIMO_SOURCE_DIR "/tests/fixtures/bills/") + bill;
    const TRun r = program.run(QStringList{QStringLiteral("--import"), path,
                                           QStringLiteral("--user"), QStringLiteral("小李")} +
                                   extra,
                               input);
    QVERIFY(r.finished);
    QCOMPARE(r.exitCode, exitCode);
    for (const QString &line : out)
        QVERIFY2(r.out.contains(line), qPrintable(r.out + r.err));
    if (err.isEmpty())
        QCOMPARE(r.err, QString());
    else
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
    TDbMan db(program.dataFile());
    QCOMPARE(db.Counts().Records, records);
    if (exitCode != 0 || records == 0)
        return;
    // The same bill again imports nothing, and says why.
    const TRun again = program.run(
        {QStringLiteral("--import"), path, QStringLiteral("--user"), QStringLiteral("小李")},
        input);
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.out.contains(QStringLiteral("支出 0 笔，合计 0.00")), qPrintable(again.out));
    QVERIFY2(again.out.contains(QStringLiteral("跳过（已导入过）7 笔")), qPrintable(again.out));
    QCOMPARE(TDbMan(program.dataFile()).Counts().Records, records);
}

void TestCommandLine::reportOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("database");
    const QString url = QStringLiteral("postgresql://ledger@nas.local/tallimo");
    QTest::addRow("year and user")
        << QStringList{QStringLiteral("--report"), QStringLiteral("year"),
                       QStringLiteral("--year"),   QStringLiteral("2026"),
                       QStringLiteral("--user"),   QStringLiteral("小李")}
        << 2026 << QStringLiteral("小李") << QString();
    QTest::addRow("no year: this year")
        << QStringList{QStringLiteral("--report=year"), QStringLiteral("--user=小李")}
        << QDate::currentDate().year() << QStringLiteral("小李") << QString();
    QTest::addRow("on a server")
        << QStringList{QStringLiteral("--database"), url,
                       QStringLiteral("--report"),   QStringLiteral("year"),
                       QStringLiteral("--year"),     QStringLiteral("1999"),
                       QStringLiteral("--user"),     QStringLiteral("Li Wei")}
        << 1999 << QStringLiteral("Li Wei") << url;
}

void TestCommandLine::reportOptions()
{
    QFETCH(QStringList, args);
    QFETCH(int, year);
    QFETCH(QString, user);
    QFETCH(QString, database);
    const TStartOptions o = CommandLine::Parse(args, WorkDir);
    QCOMPARE(o.Error, QString());
    QCOMPARE(o.Report, QStringLiteral("year"));
    QCOMPARE(o.Year, year);
    QCOMPARE(o.User, user);
    QCOMPARE(o.Database, database);
}

void TestCommandLine::reportPrintsTheYearAsCsv()
{
    ProgramRun p;
    {
        TDbMan db(p.makeDataFile());
        db.AddUser(QStringLiteral("小李"), QStringLiteral("密码 1"));
        db.AddRecord(QStringLiteral("小李"), QStringLiteral("2026-02-03"), TypeExpense(),
                     QStringLiteral("水电,煤气"), 12345, QString());
        db.AddRecord(QStringLiteral("小李"), QStringLiteral("2026-02-28"), TypeIncome(),
                     QStringLiteral("工资"), 500000, QString());
        db.AddRecord(QStringLiteral("小李"), QStringLiteral("2025-02-03"), TypeExpense(),
                     QStringLiteral("旧年"), 100, QString());
    }
    const TRun r =
        p.run({QStringLiteral("--report"), QStringLiteral("year"), QStringLiteral("--year"),
               QStringLiteral("2026"), QStringLiteral("--user"), QStringLiteral("小李")},
              QByteArray("密码 1\n"));
    QVERIFY(r.finished);
    QCOMPARE(r.err, QString()); // no prompt when the password comes through a pipe
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out,
             QStringLiteral("类型,项目,1月,2月,3月,4月,5月,6月,7月,8月,9月,10月,11月,12月,全年\n"
                            "支出,\"水电,煤气\",,123.45,,,,,,,,,,,123.45\n"
                            "收入,工资,,5000.00,,,,,,,,,,,5000.00\n"
                            ",支出合计,,123.45,,,,,,,,,,,123.45\n"
                            ",收入合计,,5000.00,,,,,,,,,,,5000.00\n"
                            ",结余,,4876.55,,,,,,,,,,,4876.55\n"));
}

void TestCommandLine::reportMonthOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QDate>("month");
    const QDate today = QDate::currentDate();
    QTest::addRow("a month") << QStringList{u"--report"_qs, u"month"_qs,  u"--month"_qs,
                                            u"2026-12"_qs,  u"--user"_qs, u"小李"_qs}
                             << QDate(2026, 12, 1);
    QTest::addRow("with blanks, as --month=")
        << QStringList{u"--report=month"_qs, u"--month= 1999-01 "_qs, u"--user=小李"_qs}
        << QDate(1999, 1, 1);
    QTest::addRow("no month: this month")
        << QStringList{u"--report"_qs, u"month"_qs, u"--user"_qs, u"小李"_qs}
        << QDate(today.year(), today.month(), 1);
}

void TestCommandLine::reportMonthOptions()
{
    QFETCH(QStringList, args);
    QFETCH(QDate, month);
    const TStartOptions o = CommandLine::Parse(args, WorkDir);
    QCOMPARE(o.Error, QString());
    QCOMPARE(o.Report, QStringLiteral("month"));
    QCOMPARE(o.Month, month);
    QCOMPARE(o.User, QStringLiteral("小李"));
}

void TestCommandLine::reportPrintsTheMonthAsCsv_data()
{
    QTest::addColumn<bool>("budgets");
    QTest::addColumn<QString>("month");
    QTest::addColumn<QString>("csv");

    QTest::addRow("without budgets") << false << u"2026-12"_qs
                                     << u"类型,项目,数量,金额,比例\n"
                                        "支出,餐饮,2,1350.00,79.41%\n"
                                        "支出,\"水电,煤气\",1,350.00,20.59%\n"
                                        "收入,工资,1,5000.00,100.00%\n"
                                        ",支出合计,3,1700.00,\n"
                                        ",收入合计,1,5000.00,\n"
                                        ",结余,,3300.00,\n"_qs;
    // Food has its own 1,500.00 in December, utilities 300.00 every month,
    // books 100.00 not yet spent on, all expenses 2,000.00.
    QTest::addRow("with budgets") << true << u"2026-12"_qs
                                  << u"类型,项目,数量,金额,比例,预算,剩余,已用\n"
                                     "支出,餐饮,2,1350.00,79.41%,1500.00,150.00,90%\n"
                                     "支出,\"水电,煤气\",1,350.00,20.59%,300.00,-50.00,116%\n"
                                     "支出,书籍,0,0.00,0.00%,100.00,100.00,0%\n"
                                     "收入,工资,1,5000.00,100.00%,,,\n"
                                     ",支出合计,3,1700.00,,2000.00,300.00,85%\n"
                                     ",收入合计,1,5000.00,,,,\n"
                                     ",结余,,3300.00,,,,\n"_qs;
    QTest::addRow("a month without records") << true << u"2027-02"_qs
                                             << u"类型,项目,数量,金额,比例,预算,剩余,已用\n"
                                                "支出,书籍,0,0.00,0.00%,100.00,100.00,0%\n"
                                                "支出,\"水电,煤气\",0,0.00,0.00%,300.00,300.00,0%\n"
                                                "支出,餐饮,0,0.00,0.00%,2000.00,2000.00,0%\n"
                                                ",支出合计,0,0.00,,2000.00,2000.00,0%\n"
                                                ",收入合计,0,0.00,,,,\n"
                                                ",结余,,0.00,,,,\n"_qs;
}

void TestCommandLine::reportPrintsTheMonthAsCsv()
{
    QFETCH(bool, budgets);
    QFETCH(QString, month);
    QFETCH(QString, csv);
    ProgramRun p;
    {
        TDbMan db(p.makeDataFile());
        const QString li = QStringLiteral("小李");
        db.AddUser(li, QStringLiteral("密码 1"));
        db.AddRecords(li, {{u"2026-12-01"_qs, TypeExpense(), u"餐饮"_qs, 100000, {}},
                           {u"2026-12-31"_qs, TypeExpense(), u"餐饮"_qs, 35000, {}},
                           {u"2026-12-15"_qs, TypeExpense(), u"水电,煤气"_qs, 35000, {}},
                           {u"2026-12-10"_qs, TypeIncome(), u"工资"_qs, 500000, {}},
                           {u"2026-11-30"_qs, TypeExpense(), u"餐饮"_qs, 999, {}},
                           {u"2027-01-01"_qs, TypeExpense(), u"餐饮"_qs, 999, {}}});
        if (budgets) {
            db.SetDefaultBudget(li, u"餐饮"_qs, 200000);
            db.SetMonthBudget(li, u"餐饮"_qs, QDate(2026, 12, 1), 150000);
            db.SetDefaultBudget(li, u"水电,煤气"_qs, 30000);
            db.SetDefaultBudget(li, u"书籍"_qs, 10000);
            db.SetDefaultBudget(li, TBudgetPlan::AllExpenses, 200000);
        }
    }
    const TRun r =
        p.run({u"--report"_qs, u"month"_qs, u"--month"_qs, month, u"--user"_qs, u"小李"_qs},
              QByteArray("密码 1\n"));
    QVERIFY(r.finished);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, csv);
}

void TestCommandLine::reportRefusesAWrongLogin_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QByteArray>("input");
    QTest::addRow("wrong password") << QStringLiteral("小李") << QByteArray("密码 2\n");
    QTest::addRow("no password at all") << QStringLiteral("小李") << QByteArray();
    QTest::addRow("unknown user") << QStringLiteral("小张") << QByteArray("密码 1\n");
}

void TestCommandLine::reportRefusesAWrongLogin()
{
    QFETCH(QString, user);
    QFETCH(QByteArray, input);
    ProgramRun p;
    {
        TDbMan db(p.makeDataFile());
        db.AddUser(QStringLiteral("小李"), QStringLiteral("密码 1"));
        db.AddRecord(QStringLiteral("小李"), QStringLiteral("2026-02-03"), TypeExpense(),
                     QStringLiteral("餐饮"), 100, QString());
    }
    const TRun r =
        p.run({QStringLiteral("--report"), QStringLiteral("year"), QStringLiteral("--year"),
               QStringLiteral("2026"), QStringLiteral("--user"), user},
              input);
    QVERIFY(r.finished);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QString());
    QVERIFY2(r.err.contains(QStringLiteral("或密码不对，没有输出报表。")), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
