#pragma once

// The one description of the ledger's tables and of how a ledger of an older
// schema version becomes current. Both engines check a ledger's identity
// against it, and the backups, the imports and the copies between the stores
// take their table and column lists from it. store/schema.sql and
// store/schema-pg.sql spell the same tables for the engines (and for an
// administrator to read); tests/tst_DbClass checks them against it.
//
// Version 1 is the schema every release so far has written. A data file
// carries its version in SQLite's header (application_id, user_version); a
// server ledger in the one-row table "tallimo_meta". Each later version is one
// upgrade step, written once against TConn and run in one transaction.

#include "DbConn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// What a column holds, so that an import can check every value of any table
// the same way the program itself writes it.
enum class TColumnKind {
    Id,        // the row's own id: an integer from 1 below TRowReader::IdLimit
    Ref,       // another table's id (the row it names may be gone since), 0 for none
    Text,      // free text: base64 of its GB18030 bytes (THi::IsStoredText), may be empty
    Word,      // plain printable ASCII (a hash, a key, a compact mapping)
    Date,      // "yyyy-mm-dd"
    TypeWord,  // 支出 or 收入
    Amount,    // the records' amount in yuan, a real number of whole cents
    Count,     // an integer, 0 or more
    Cents,     // an integer number of cents, below THi::MaxAmount yuan either way
    Timestamp, // seconds since 1970 (UTC), 0 for none
};

struct TColumnDef {
    const char *Name;
    const char *LiteType; // as the data file declares it
    const char *PgType;   // as the server declares it
    TColumnKind Kind;
};

struct TTableDef {
    const char *Name;
    std::vector<TColumnDef> Columns; // "id" first
};

namespace Schema {

// SQLite's application_id of our data files: "TLMD" in ASCII. Any fixed
// number would do; one that reads as our name in a hex dump is easy to spot
// and clashes with no registered one (SQLite's magic.txt).
constexpr qint32 ApplicationId = 0x544c4d44;
// The server's table that holds the version.
constexpr const char *MetaTable = "tallimo_meta";

// Our tables, in the order backups and imports copy them: the first release's
// three (users, cates, data), which the importer reads with rules of their
// own, then the later ones, read column by column after their kinds.
const std::vector<TTableDef> &Tables();
const TTableDef &Table(const char *name);
// The described table of that name (as the engine spells it), or null.
const TTableDef *FindTable(const QString &name);
// The names of a ledger's tables at a version (sorted; the server's version
// table aside): the first release's three, then what each step adds and drops.
QStringList TableNames(int version);
// The table's columns, double-quoted and comma-separated, "id" first.
QByteArray ColumnList(const TTableDef &t);
// Whether a column of the table is ours (compared with A-Z folded).
bool IsOurColumn(const TTableDef &t, const QString &column);
// The columns of the data file's period index, in order.
const std::vector<const char *> &PeriodIndexColumns();

// The version this program writes: 1 plus the number of upgrade steps.
int CurrentVersion();
// The version store/schema.sql and store/schema-pg.sql spell: the program's
// own steps without the test seam's.
int TemplateVersion();
// Whether a table of ours is part of a ledger at that version.
bool HasTable(int version, const char *table);
// The program's own version, written beside the server's schema version.
QString ProgramVersion();

struct TStep {
    QString What; // for messages and the log
    // Runs inside the step's transaction; pg tells which engine it runs on.
    std::function<void(TConn &c, bool pg)> Run;
    // The tables the step adds and drops, for the identity checks.
    QStringList Adds, Drops;
};

// Brings a ledger up to CurrentVersion(): read() gives its version (read
// again inside each step's transaction, since another copy may upgrade it
// meanwhile); each missing step runs in order, followed by stamp(its
// version), in one transaction per step (perStep) or inside the caller's one
// transaction. Raises EDbTooNew for a version beyond the program's.
void Upgrade(TConn &c, bool pg, const std::function<int()> &read,
             const std::function<void(int)> &stamp, bool perStep);

// The sentence for a ledger newer than this program.
QString TooNewText(const QString &shownName, int version);

// Test seam: appends a step (a new version) after the program's own, or
// drops the appended ones.
void AppendStepForTest(TStep step);
void ClearTestSteps();

} // namespace Schema
