#include "CommandLine.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDir>

namespace CommandLine {

namespace {

const QString Program = QStringLiteral("tallimo");
const QString ExampleUrl = QStringLiteral("postgresql://ledger@nas.local/tallimo");

// One entry of the help text: the names as typed, what it does, one example.
struct TEntry {
    QString names;
    QStringList text;
    QString example;
};

QList<TEntry> argumentEntries()
{
    return {
        {QStringLiteral("备份文件.tlmdb"),
         {QStringLiteral("先把这个备份导入账本，再打开登录窗口；导入之前，当前的数据文件"),
          QStringLiteral("自动复制到 backups/ 里。相对路径从输入命令时所在的文件夹找起。")},
         Program + QStringLiteral(" ~/下载/备份.tlmdb")},
    };
}

QList<TEntry> optionEntries()
{
    return {
        {QStringLiteral("--database 网址"),
         {QStringLiteral("使用 PostgreSQL 服务器上的账本，而不是本机的数据文件；不给时用"),
          QStringLiteral("设置文件里 [database] 一节的 url。密码不写进网址，写进 ~/.pgpass。")},
         Program + QStringLiteral(" --database ") + ExampleUrl},
        {QStringLiteral("--copy-to 网址"),
         {QStringLiteral("把本机数据文件里的整个账本复制到服务器上，说明复制了多少，"),
          QStringLiteral("然后结束，不打开窗口。服务器上的数据库已有内容时不复制，"),
          QStringLiteral("除非加 --replace。")},
         Program + QStringLiteral(" --copy-to ") + ExampleUrl},
        {QStringLiteral("--copy-from 网址"),
         {QStringLiteral("把服务器上的整个账本复制到本机数据文件，然后结束，不打开窗口。"),
          QStringLiteral("本机的数据文件已有内容时不复制，除非加 --replace。")},
         Program + QStringLiteral(" --copy-from ") + ExampleUrl},
        {QStringLiteral("--replace"),
         {QStringLiteral("与 --copy-to 或 --copy-from 一起用：替换目标里已有的全部"),
          QStringLiteral("内容；原来的内容先存进 backups/ 里的自动备份。")},
         Program + QStringLiteral(" --copy-from ") + ExampleUrl + QStringLiteral(" --replace")},
        {QStringLiteral("--import 账单文件 --user 用户名"),
         {QStringLiteral("把支付宝、微信支付的账单（或记住了各列含义的其他表格）导入这个"),
          QStringLiteral("用户的账本，不打开窗口。密码从标准输入读（在终端上不显示）。"),
          QStringLiteral("每种类型输出一行笔数和合计，每种跳过的原因一行。")},
         Program + QStringLiteral(" --import ~/下载/支付宝交易明细.csv --user 小李")},
        {QStringLiteral("--dry-run"),
         {QStringLiteral("与 --import 一起用：只显示会导入什么，不改动账本。")},
         Program + QStringLiteral(" --import 账单.csv --user 小李 --dry-run")},
        {QStringLiteral("--report year --year 年份 --user 用户名"),
         {QStringLiteral("不打开窗口，把这个用户这一年的年度概览按 CSV 格式写到标准输出："),
          QStringLiteral("每个项目一行，各月一列，最后是支出合计、收入合计和结余；没有记录的"),
          QStringLiteral("月份留空。密码从标准输入读（在终端上输入时不显示）。不给 --year"),
          QStringLiteral("时是今年。可以和 --database 一起用。")},
         Program + QStringLiteral(" --report year --year 2026 --user 小明")},
        {QStringLiteral("--report month --month 年-月 --user 用户名"),
         {QStringLiteral("不打开窗口，把这个用户这个月的收支排名按 CSV 格式写到标准输出；"),
          QStringLiteral("设了预算时每行后面加上预算、剩余和已用比例。密码从标准输入读。"),
          QStringLiteral("不给 --month 时是本月。可以和 --database 一起用。")},
         Program + QStringLiteral(" --report month --month 2026-12 --user 小明")},
        {QStringLiteral("-h, --help"),
         {QStringLiteral("显示这份说明，然后结束。")},
         Program + QStringLiteral(" --help")},
        {QStringLiteral("-v, --version"),
         {QStringLiteral("显示程序的版本和数据格式的版本，然后结束。")},
         Program + QStringLiteral(" --version")},
    };
}

void appendEntries(QString &out, const QList<TEntry> &entries)
{
    for (const TEntry &e : entries) {
        out += QStringLiteral("  ") + e.names + QLatin1Char('\n');
        for (const QString &line : e.text)
            out += QStringLiteral("      ") + line + QLatin1Char('\n');
        out += QStringLiteral("      例：") + e.example + QLatin1Char('\n');
    }
}

bool isUrlOption(const QString &arg)
{
    for (const char *name :
         {"--database", "--copy-to", "--copy-from", "--report", "--year", "--month", "--user"}) {
        if (arg == QLatin1String(name))
            return true;
    }
    return false;
}

// "--replace=yes": the switch, when one was given a value.
QString switchWithValue(const QStringList &arguments)
{
    for (const QString &arg : arguments) {
        QString name = arg.section(QLatin1Char('='), 0, 0);
        for (const char *option : {"--replace", "--dry-run", "--help", "--version"}) {
            if (arg.contains(QLatin1Char('=')) && name == QLatin1String(option))
                return name;
        }
    }
    return QString();
}

QString missingValue(const QString &option)
{
    if (option == QLatin1String("--report"))
        return QStringLiteral("“--report”后面要跟报表的种类，例如 year。");
    if (option == QLatin1String("--year"))
        return QStringLiteral("“--year”后面要跟一个年份，例如 2026。");
    if (option == QLatin1String("--month"))
        return QStringLiteral("“--month”后面要跟一个月份，例如 2026-12。");
    if (option == QLatin1String("--user"))
        return QStringLiteral("“--user”后面要跟一个用户名。");
    return QStringLiteral("“%1”后面要跟一个数据库网址，例如 "
                          "postgresql://用户@主机/数据库。")
        .arg(option);
}

// The option as it was typed: Qt hands names back without their dashes.
QString dashed(const QString &name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// --report, --year, --month and --user into o; false with o.Error set when they do not fit.
bool parseReport(const QCommandLineParser &parser, const QCommandLineOption &report,
                 const QCommandLineOption &year, const QCommandLineOption &month, TStartOptions &o)
{
    if (!parser.isSet(report)) {
        if (parser.isSet(year))
            o.Error = QStringLiteral("--year 只和 --report 一起用。");
        else if (parser.isSet(month))
            o.Error = QStringLiteral("--month 只和 --report month 一起用。");
        return o.Error.isEmpty();
    }
    const QString kind = parser.value(report).trimmed();
    if (kind.isEmpty() || kind.startsWith(QLatin1Char('-'))) {
        o.Error = missingValue(QStringLiteral("--report"));
        return false;
    }
    if (kind != QLatin1String("year") && kind != QLatin1String("month")) {
        o.Error = QStringLiteral("没有“%1”这种报表；可以用的是 year（一年各月的收支表）和 "
                                 "month（一个月的排名和预算）。")
                      .arg(kind);
        return false;
    }
    o.Report = kind;
    const bool isYear = kind == QLatin1String("year");
    if (isYear && parser.isSet(month)) {
        o.Error = QStringLiteral("--month 只和 --report month 一起用。");
        return false;
    }
    if (!isYear && parser.isSet(year)) {
        o.Error = QStringLiteral("--year 只和 --report year 一起用。");
        return false;
    }
    const QDate today = QDate::currentDate();
    if (isYear) {
        o.Year = today.year();
    } else {
        o.Month = QDate(today.year(), today.month(), 1);
    }
    if (parser.isSet(year)) {
        bool ok = false;
        const int y = parser.value(year).trimmed().toInt(&ok);
        if (!ok || y < 1 || y > 9999) {
            o.Error = QStringLiteral("“%1”不是年份；--year 后面要跟 1 到 9999 之间的年份，"
                                     "例如 2026。")
                          .arg(parser.value(year));
            return false;
        }
        o.Year = y;
    }
    if (parser.isSet(month)) {
        // Strictly "yyyy-mm": a day or a single-digit month is a typing slip.
        const QString text = parser.value(month).trimmed();
        const QDate m = QDate::fromString(text, QStringLiteral("yyyy-MM"));
        if (text.size() != 7 || !m.isValid()) {
            o.Error = QStringLiteral("“%1”不是月份；--month 后面要跟年和月，例如 2026-12。")
                          .arg(parser.value(month));
            return false;
        }
        o.Month = m;
    }
    if (o.User.isEmpty()) {
        o.Error = QStringLiteral("--report 要和 --user 用户名 一起用：报表是哪个用户的。");
        return false;
    }
    return true;
}

} // namespace

QString ProgramVersion()
{
    return QStringLiteral(TALLIMO_VERSION);
}

QString UsageLine()
{
    return QStringLiteral("用法：") + Program + QStringLiteral(" [选项] [备份文件.tlmdb]");
}

QString HelpText()
{
    QString out = UsageLine() + QLatin1Char('\n');
    out += QStringLiteral("\n"
                          "Tallimo 是家庭收支记账本：几个用户共用一个账本，各自记录支出和收入，\n"
                          "按日期浏览、给类别排名、打印、导出，备份和恢复数据。不带参数时打开\n"
                          "登录窗口。\n"
                          "\n"
                          "参数：\n");
    appendEntries(out, argumentEntries());
    out += QStringLiteral("\n选项：\n");
    appendEntries(out, optionEntries());
    out += QStringLiteral("\n"
                          "文件：\n"
                          "  ~/.local/share/Tallimo/db.tlmdb\n"
                          "      数据文件，只有本人能读写（设了 XDG_DATA_HOME 时在它下面）。\n"
                          "  ~/.local/share/Tallimo/backups/\n"
                          "      恢复或导入之前自动保存的副本，保留最新的十个。\n"
                          "  ~/.config/Tallimo/tallimo.conf\n"
                          "      设置：上次备份和导出的文件夹，服务器账本的网址（设了\n"
                          "      XDG_CONFIG_HOME 时在它下面）。\n"
                          "\n"
                          "退出状态：\n"
                          "  0\n"
                          "      正常结束，包括取消登录。\n"
                          "  1\n"
                          "      出错，例如数据文件夹无法建立、复制没有完成、导入账单时\n"
                          "      密码不对。\n"
                          "  2\n"
                          "      命令行有误，什么都没有改动。\n");
    return out;
}

QString VersionText(int dataFormatVersion)
{
    return QStringLiteral("Tallimo %1\n数据格式版本 %2\n")
        .arg(ProgramVersion())
        .arg(dataFormatVersion);
}

QString ErrorText(const QString &error)
{
    return Program + QStringLiteral("：") + error + QLatin1Char('\n') + UsageLine() +
           QStringLiteral("\n运行“") + Program + QStringLiteral(" --help”查看全部选项。\n");
}

TStartOptions Parse(const QStringList &arguments, const QString &workDir)
{
    TStartOptions o;
    QCommandLineParser parser;
    const QCommandLineOption database(QStringLiteral("database"), QString(), QStringLiteral("url"));
    const QCommandLineOption copyTo(QStringLiteral("copy-to"), QString(), QStringLiteral("url"));
    const QCommandLineOption copyFrom(QStringLiteral("copy-from"), QString(),
                                      QStringLiteral("url"));
    const QCommandLineOption replace(QStringLiteral("replace"));
    const QCommandLineOption import(QStringLiteral("import"), QString(), QStringLiteral("file"));
    const QCommandLineOption user(QStringLiteral("user"), QString(), QStringLiteral("name"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption report(QStringLiteral("report"), QString(), QStringLiteral("kind"));
    const QCommandLineOption year(QStringLiteral("year"), QString(), QStringLiteral("year"));
    const QCommandLineOption month(QStringLiteral("month"), QString(), QStringLiteral("month"));
    parser.addOptions({database, copyTo, copyFrom, replace, import, user, dryRun, help, version,
                       report, year, month});
    // "-database" is taken as "--database", not as "-d -a -t ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);

    if (!parser.parse(QStringList{Program} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            o.Error = QStringLiteral("没有“%1”这个选项。").arg(dashed(unknown.first()));
        else if (!arguments.isEmpty() && arguments.last() == QLatin1String("--import"))
            o.Error = QStringLiteral("“--import”后面要跟一个账单文件。");
        else if (!arguments.isEmpty() && arguments.last() == QLatin1String("--user"))
            o.Error = QStringLiteral("“--user”后面要跟一个用户名。");
        else if (!arguments.isEmpty() && isUrlOption(arguments.last()))
            o.Error = missingValue(arguments.last());
        else if (const QString s = switchWithValue(arguments); !s.isEmpty())
            o.Error = QStringLiteral("“%1”后面不跟值。").arg(s);
        else
            o.Error = QStringLiteral("命令行有误（%1）。").arg(parser.errorText());
        return o;
    }

    // Asking for help is never an error, whatever else was typed.
    o.Help = parser.isSet(help);
    o.Version = parser.isSet(version);
    if (o.Help || o.Version)
        return o;

    struct {
        const QCommandLineOption &option;
        QString &value;
    } const urls[] = {{database, o.Database}, {copyTo, o.CopyTo}, {copyFrom, o.CopyFrom}};
    for (const auto &u : urls) {
        if (!parser.isSet(u.option))
            continue;
        // "--database --replace" would otherwise take the next option for the URL.
        const QString value = parser.value(u.option).trimmed();
        if (value.isEmpty() || value.startsWith(QLatin1Char('-'))) {
            o.Error = missingValue(dashed(u.option.names().constFirst()));
            return o;
        }
        u.value = value;
    }
    o.Replace = parser.isSet(replace);
    o.DryRun = parser.isSet(dryRun);
    if (parser.isSet(import)) {
        const QString file = parser.value(import);
        if (file.isEmpty() || file.startsWith(QLatin1Char('-'))) {
            o.Error = QStringLiteral("“--import”后面要跟一个账单文件。");
            return o;
        }
        o.Import = QDir::cleanPath(QDir(workDir).absoluteFilePath(file));
    }
    if (parser.isSet(user)) {
        o.User = parser.value(user).trimmed();
        if (o.User.isEmpty() || o.User.startsWith(QLatin1Char('-'))) {
            o.Error = QStringLiteral("“--user”后面要跟一个用户名。");
            return o;
        }
    }
    if (!parseReport(parser, report, year, month, o))
        return o;
    if (!o.Import.isEmpty() && o.User.isEmpty())
        o.Error = QStringLiteral("导入账单要用 --user 指定导入哪个用户的账本。");
    else if (!o.Import.isEmpty() && !o.Report.isEmpty())
        o.Error = QStringLiteral("导入账单和报表不能同时做。");
    else if (o.Import.isEmpty() && o.Report.isEmpty() && !o.User.isEmpty())
        o.Error = QStringLiteral("--user 只和 --import 或 --report 一起用。");
    else if (o.Import.isEmpty() && o.DryRun)
        o.Error = QStringLiteral("--dry-run 只和 --import 一起用。");
    else if (!o.Import.isEmpty() && (!o.CopyTo.isEmpty() || !o.CopyFrom.isEmpty()))
        o.Error = QStringLiteral("导入账单和复制账本不能同时做。");
    if (!o.Error.isEmpty())
        return o;

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        o.Error = QStringLiteral("一次只能导入一个备份文件，却给了 %1 个。").arg(files.size());
        return o;
    }
    if (!o.CopyTo.isEmpty() && !o.CopyFrom.isEmpty())
        o.Error = QStringLiteral("--copy-to 和 --copy-from 一次只能用一个。");
    else if (o.Replace && o.CopyTo.isEmpty() && o.CopyFrom.isEmpty())
        o.Error = QStringLiteral("--replace 只和 --copy-to 或 --copy-from 一起用。");
    else if (!files.isEmpty() && (!o.CopyTo.isEmpty() || !o.CopyFrom.isEmpty()))
        o.Error = QStringLiteral("复制账本时不能同时导入备份文件。");
    else if (!files.isEmpty() && !o.Import.isEmpty())
        o.Error = QStringLiteral("导入账单时不能同时导入备份文件。");
    else if (!o.Report.isEmpty() &&
             (!files.isEmpty() || !o.CopyTo.isEmpty() || !o.CopyFrom.isEmpty()))
        o.Error = QStringLiteral("--report 不能和复制账本或导入备份一起用。");
    if (!o.Error.isEmpty())
        return o;

    // Taken against the folder the command was typed in, before the program
    // changes its current folder.
    if (!files.isEmpty() && !files.first().isEmpty())
        o.Backup = QDir::cleanPath(QDir(workDir).absoluteFilePath(files.first()));
    return o;
}

} // namespace CommandLine
