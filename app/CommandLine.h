#pragma once

// The command line: what the program was asked to do, read before anything
// else happens, and the texts that --help, --version and a mistyped command
// line print. The help text is also the source of the manual page.

#include <QDate>
#include <QString>
#include <QStringList>

namespace CommandLine {

struct TStartOptions {
    QString Database, CopyTo, CopyFrom; // libpq URLs
    bool Replace = false;
    // --import FILE --user NAME [--dry-run]: a bill into the account, no
    // window; the file made absolute against the folder it was typed in.
    QString Import, User;
    bool DryRun = false;
    // --report year --year N --user NAME: the year's table as CSV on stdout;
    // --report month --month YYYY-MM --user NAME: the month's ranking with
    // its budgets.
    QString Report; // the report's kind ("year", "month"); empty when none was asked for
    int Year = 0;
    QDate Month; // the first day of the month of --report month
    bool Help = false, Version = false;
    // The backup to import at start-up, made absolute against the folder the
    // command was typed in; empty when none was named.
    QString Backup;
    QString Error; // a malformed command line, as a sentence for the user
};

// arguments: the command line without the program's name. workDir: the
// folder a relative path was typed in.
TStartOptions Parse(const QStringList &arguments, const QString &workDir);

// The program's version ("0.1").
QString ProgramVersion();

// "用法：tallimo [选项] [备份文件.tlmdb]"
QString UsageLine();
// Every option with one example, for --help.
QString HelpText();
// The program's version and the data format's.
QString VersionText(int dataFormatVersion);
// What a malformed command line prints on stderr: the error, the usage line
// and where to read more.
QString ErrorText(const QString &error);

} // namespace CommandLine
