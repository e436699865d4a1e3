#pragma once

// The browser's exports: a web page filled from a template beside the
// program, an .xlsx workbook and a CSV file. Each takes what the last search
// found (TSearchResult: the rankings or the records, by TExportKind) and writes either to a device
// (the core, which tests feed a buffer) or to a file name, which is replaced atomically: the name
// holds the old file or the complete new one, never a half-written one.
//
// No widgets here: the menu handlers in the browser ask for the file name,
// call these and show the outcome.

#include "Progress.h"
#include "SearchResult.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QIODevice;

enum class TExportKind {
    Cates, // the two rankings, incomes then expenses
    Trans  // the record list
};

namespace Exports {

// How many data rows an export of kind writes.
int RowCount(TExportKind kind, const TSearchResult &result);

// The chosen name with ext (".html") appended unless its extension (from the
// last dot of the file name part on) already is ext, compared ignoring A-Z case.
QString WithExtension(const QString &fileName, const QString &ext);

// Column names of the workbook's and the CSV's header row.
QStringList ColumnNames(TExportKind kind);

// One typed cell of a workbook or CSV row.
struct TCell {
    enum Type { Empty, Text, Count, Amount, Share, Date };
    Type type = Empty;
    QString text;      // Text; the shown text for the other types
    double number = 0; // Count, Amount; Share as a fraction; Date as days since 1899-12-30
};
using TCells = std::vector<TCell>;

// Calls sink for every row below the header: the data rows, then (with
// totals) the title row and the three total rows with only the 项目 column
// filled. Texts are written as THi::VisibleText gives them. Reports
// progress in data rows every ProgressEvery rows and at the end; raises
// ECancelled when it says stop.
enum class TTotals { With, Without };
void ForEachRow(TExportKind kind, const TSearchResult &result,
                const std::function<void(const TCells &)> &sink, TTotals totals = TTotals::With,
                const TProgress &progress = {});
constexpr int ProgressEvery = 2048;

// Writes through a sibling temporary that is renamed over fileName once write
// succeeded; raises TError / EInOutError naming fileName and leaves it
// untouched on failure or when cancelled. The file gets the mode the umask gives.
void SaveAtomic(const QString &fileName, const std::function<void(const QString &tempPath)> &write);
// The same for writers of a device: an open file on the temporary, flushed; a
// write the system refused is reported with its cause (a full disk, a quota).
void SaveAtomic(const QString &fileName, const std::function<void(QIODevice &out)> &write);

} // namespace Exports

// The web page: a template cut into head, row and foot at "<!-- - -->",
// placeholders filled (head "#top", foot "#bottom", row placeholders by kind),
// every inserted text escaped for HTML. Bytes in and out are GB18030.
class THtmlExport {
public:
    static const QString Marker; // "<!-- - -->"

    // The template's trimmed pieces between separators: a piece empty before
    // trimming is dropped, a blank one is kept as empty, a trailing separator
    // adds nothing.
    static QStringList SplitText(const QString &text, const QString &separator);
    // &, <, >, " and ' as entities.
    static QString Escape(const QString &text);
    // A text of the ledger as the page shows it: visible (THi::VisibleText), then escaped.
    static QString Cell(const QString &text);
    // The template file for kind beside the program ("cates.html", "trans.html").
    static QString TemplateFile(TExportKind kind);
    // Test seam: look for the templates in folder instead (empty: beside the program).
    static void SetTemplateFolder(const QString &folder);

    // From template text; raises TError naming sourceName when it has fewer than three pieces.
    THtmlExport(TExportKind kind, const QString &templateText, const QString &sourceName);
    // Reads the file; raises TError naming it when it is missing, unreadable or short of pieces.
    static THtmlExport FromFile(TExportKind kind, const QString &templateFile);

    // Raises EInOutError when the device refuses bytes, ECancelled when progress says stop.
    void Write(QIODevice &out, const TSearchResult &result, const TProgress &progress = {}) const;
    void Save(const QString &fileName, const TSearchResult &result,
              const TProgress &progress = {}) const;

    // A piece cut at its placeholders: literal texts with the numbers of the
    // placeholders between them. Placeholders are searched one after the
    // other in the given order, letter case ignored, and only in the
    // template's own text, never in what a row inserts.
    struct TPiece {
        QStringList literals;    // one more than places
        std::vector<int> places; // index into the placeholder list
    };
    static TPiece Compile(const QString &piece, const QStringList &placeholders);

private:
    TExportKind m_kind;
    TPiece m_head, m_row, m_foot;
};

// The .xlsx workbook: one sheet "Sheet1", a bold and frozen header row, typed
// cells, widths fitted to the content; written row by row (constant memory).
class TXlsxExport {
public:
    // Writes a whole workbook to path (which is created or truncated); raises
    // TError naming shownAs (path when empty), ECancelled when progress says stop.
    static void Write(const QString &path, TExportKind kind, const TSearchResult &result,
                      const TProgress &progress = {}, const QString &shownAs = QString());
    static void Save(const QString &fileName, TExportKind kind, const TSearchResult &result,
                     const TProgress &progress = {});
};

// CSV: the table only (header and data rows, no title or totals), UTF-8 with
// a byte-order mark, CR LF line ends, fields quoted when they hold a comma, a
// quote or a line break, numbers with a dot and two decimals. A text that a
// spreadsheet would run as a formula starts with an apostrophe.
class TCsvExport {
public:
    static void Write(QIODevice &out, TExportKind kind, const TSearchResult &result,
                      const TProgress &progress = {});
    static void Save(const QString &fileName, TExportKind kind, const TSearchResult &result,
                     const TProgress &progress = {});
    static QString Quote(const QString &field);
    // A text cell that starts with =, +, -, @, a tab or a carriage return gets
    // a leading apostrophe; others are returned as they are.
    static QString Defuse(const QString &text);
};
