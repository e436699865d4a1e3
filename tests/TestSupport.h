#pragma once

// Shared by the tests: a fresh data file made from the template (or an emptied
// PostgreSQL database), a temporary data home, statements run beside the
// store (a trigger that makes writes fail, a row count), controls found by
// objectName, and typing text that QTest::keyClicks cannot (it only knows
// Latin-1).

#include "DbClass.h"
#include "HiClass.h"
#include "Placement.h"
#include "RawDb.h"
#include "RowTexts.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#ifdef QT_WIDGETS_LIB // the store's tests build without widgets
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTimer>
#endif

namespace TestSupport {

// The test cluster's URL when the test runs against PostgreSQL: ctest's pg
// fixture writes it into the file that TALLIMO_TEST_PG_URL_FILE names. Empty
// for a run on data files; error says why a named file gives no URL.
inline QString PgTestUrl(QString *error)
{
    error->clear();
    const QString name = qEnvironmentVariable("TALLIMO_TEST_PG_URL_FILE");
    if (name.isEmpty())
        return QString();
    QFile file(name);
    QString url;
    if (file.open(QIODevice::ReadOnly))
        url = QString::fromUtf8(file.readAll()).trimmed();
    if (!IsPgLocation(url))
        *error = QStringLiteral("TALLIMO_TEST_PG_URL_FILE names %1, which holds no postgresql:// "
                                "URL; the pg_cluster_start test (scripts/pgcluster.sh) must run "
                                "first")
                     .arg(name);
    return error->isEmpty() ? url : QString();
}

// What a test's store works on, with a folder of its own beside it: a
// writable copy of the template data file, or an emptied PostgreSQL database.
class DataFile {
public:
    DataFile() : m_path(m_dir.filePath(QStringLiteral("db.tlmdb")))
    {
        if (!QFile::copy(Placement::TemplateFile(), m_path))
            qFatal("cannot copy the template data file %s", qPrintable(Placement::TemplateFile()));
        QFile(m_path).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    // The database at pgUrl, emptied: the store makes its tables on its first
    // connection, as it does on a new server.
    explicit DataFile(const QString &pgUrl) : m_path(pgUrl) { clear(); }

    // The data file's path or the database's URL: what TDbMan takes.
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    bool isPg() const { return IsPgLocation(m_path); }

    // Drops everything in the database (tables, triggers, functions).
    void clear() const
    {
        const QString error =
            exec(QStringLiteral("drop schema public cascade; create schema public"));
        if (!error.isEmpty())
            qFatal("cannot empty the test database %s: %s", qPrintable(m_path), qPrintable(error));
    }

    // Runs statements on a connection of their own, beside the store; the
    // engine's error text when they fail.
    QString exec(const QString &statement) const
    {
        return Raw(m_path, RawReadWrite).exec(statement);
    }

    // The rows of a table; -1 when it cannot be read.
    int count(const QString &table) const
    {
        const QString n = Raw(m_path, RawReadOnly)
                              .value(QStringLiteral("select count(*) from \"%1\"").arg(table));
        bool ok = false;
        const int rows = n.toInt(&ok);
        return ok ? rows : -1;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Makes inserts into a table fail with the given message: every insert, or
// only those for which the SQL condition `when` holds (see RecordOfCategory).
inline QString RefuseInserts(const DataFile &file, const QString &table,
                             const QString &message = QStringLiteral("refused"),
                             const QString &when = QString())
{
    if (file.isPg()) {
        const QString condition =
            when.isEmpty() ? QString() : QStringLiteral(" when (") + when + QStringLiteral(")");
        return file.exec(QStringLiteral("create function \"refuse_%1\"() returns trigger "
                                        "language plpgsql as $$begin raise exception '%2'; "
                                        "end$$; create trigger \"refuse_%1\" before insert on "
                                        "\"%1\" for each row%3 execute function \"refuse_%1\"()")
                             .arg(table, message, condition));
    }
    const QString condition = when.isEmpty() ? QString() : QStringLiteral(" when ") + when;
    return file.exec(QStringLiteral("create trigger \"refuse_%1\" before insert on \"%1\"%3 "
                                    "begin select raise(abort,'%2'); end")
                         .arg(table, message, condition));
}

// Lets inserts into the table through again.
inline QString AllowInserts(const DataFile &file, const QString &table)
{
    if (file.isPg())
        return file.exec(QStringLiteral("drop trigger \"refuse_%1\" on \"%1\"; "
                                        "drop function \"refuse_%1\"()")
                             .arg(table));
    return file.exec(QStringLiteral("drop trigger \"refuse_%1\"").arg(table));
}

// The condition for RefuseInserts on "data" that picks the records of one category.
inline QString RecordOfCategory(const QString &cate)
{
    return QStringLiteral("new.\"cate\"='%1'").arg(THi::Base64Encode(cate));
}

// The record rows of a user, as the browser gets them.
inline TRowList Records(TDbMan &db, const QString &user,
                        const QString &start = QStringLiteral("2000-01-01"),
                        const QString &end = QStringLiteral("2099-12-31"))
{
    const TPeriod p = db.QueryPeriod(user, start, end);
    TRowList recs;
    for (int i = 0; i < p.RecRows.size(); ++i)
        recs << p.RecRows.Row(i);
    return recs;
}

template <class T> T *Child(const QObject *root, const QString &name)
{
    T *c = root->findChild<T *>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}
template <class T> T *Child(const QObject *root, const char *name)
{
    return Child<T>(root, QString::fromLatin1(name));
}
template <class T> T *Child(const QObject *root, const QByteArray &name)
{
    return Child<T>(root, QString::fromLatin1(name));
}

#ifdef QT_WIDGETS_LIB
// The progress window while it shows, else nullptr; tests poll it from a
// timer, since the window repaints through events while the work runs.
inline QProgressDialog *VisibleProgress()
{
    for (QWidget *top : QApplication::topLevelWidgets()) {
        auto *d = qobject_cast<QProgressDialog *>(top);
        if (d && d->objectName() == QLatin1String("frmProgress") && d->isVisible())
            return d;
    }
    return nullptr;
}

// Runs trigger; body gets the modal window that trigger opens, once its event
// loop runs. False when no event loop ran: the body never will.
inline bool WithModal(const std::function<void()> &trigger,
                      const std::function<void(QWidget *)> &body)
{
    QTimer timer;
    timer.setSingleShot(true);
    bool ran = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ran = true;
        body(QApplication::activeModalWidget());
    });
    timer.start(0);
    trigger();
    timer.stop();
    return ran;
}

// Sends each character as a key event carrying its text. A line edit takes no
// control characters from the keyboard, so those are inserted directly; other
// fields get "\n" as the Return key.
inline void TypeText(QWidget *field, const QString &text)
{
    auto *combo = qobject_cast<QComboBox *>(field);
    QLineEdit *line = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(field);
    for (QChar c : text) {
        if (!c.isPrint() && line) {
            line->insert(QString(c));
            continue;
        }
        if (c == QLatin1Char('\n')) {
            QTest::keyClick(field, Qt::Key_Return);
            continue;
        }
        QTest::sendKeyEvent(QTest::Press, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}
#endif

// A temporary XDG_DATA_HOME, where the program places its data folder; the
// previous value comes back with the fixture's end.
class DataHome {
public:
    DataHome()
        : m_old(qgetenv("XDG_DATA_HOME")), m_hadOld(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
    }
    ~DataHome()
    {
        if (m_hadOld)
            qputenv("XDG_DATA_HOME", m_old);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    DataHome(const DataHome &) = delete;
    DataHome &operator=(const DataHome &) = delete;
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_hadOld;
};

} // namespace TestSupport
