#pragma once

// The bill import without a window, shared by the preview window and the
// command line: read the file, map a plain table's columns when a mapping
// was remembered for its header, propose categories and mark what this
// ledger imported before. Nothing is written here; TDbMan::ImportBill stores
// the lines the person keeps.

#include "BillReader.h"

class TDbMan;
class QTextStream;

struct TPreparedBill {
    TBillFile File;
    // A table that is no app's bill and whose header has no remembered
    // mapping: File is empty; Table, HeaderRow and Guess are for the mapping
    // window (BillReader::GuessMapping).
    bool NeedsMapping = false;
    TBillTable Table;
    TColumnMapping Guess;
};

namespace BillImport {

// Raises EBillError for a file that cannot be read (with a sentence for the
// person) and EDbError when the store cannot be read.
TPreparedBill PrepareBill(TDbMan &db, const QString &user, const QString &path);
// The categories and the duplicates for lines read through a mapping the
// person just made (PrepareBill does the same for the rest).
void ProposeAndMark(TDbMan &db, const QString &user, TBillFile &file);
// tallimo --import: reads the bill, checks the account's password, imports
// the lines to import (or only counts them when dryRun) and writes one line
// per type with count and sum and one per skip reason to out; a sentence to
// err and 1 for a wrong password, an unknown account, a file that cannot be
// read or needs a mapping, or a store that fails; nothing is changed then.
int RunCommand(const QString &location, const QString &user, const QString &password,
               const QString &path, bool dryRun, QTextStream &out, QTextStream &err);
// How many of the first rows are searched for a remembered header.
constexpr int HeaderRowsSearched = 40;

} // namespace BillImport
