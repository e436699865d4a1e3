#pragma once

// The bill import without a window, shared by the preview window and the
// command line: read the file, map a plain table's columns when a mapping
// was remembered for its header, propose categories and mark what this
// ledger imported before. Nothing is written here; TDbMan::ImportBill stores
// the lines the person keeps.

#include "BillReader.h"

class TDbMan;

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
// How many of the first rows are searched for a remembered header.
constexpr int HeaderRowsSearched = 40;

} // namespace BillImport
