#pragma once

// Bill files as tables: the text of a CSV file in whatever encoding a bank or a
// payment app wrote it, split into rows by the delimiter it uses; the first
// worksheet of a workbook comes to the same table through XlsxSheet. Nothing
// here knows what the columns mean (BillReader does).

#include "HiClass.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A bill that cannot be read. The text is the sentence the person sees; the
// kind lets the caller choose what to offer next (a column mapping for a
// table that is no payment app's bill).
class EBillError : public TError {
public:
    enum Kind {
        TooLarge,   // over the size or cell bounds
        Unreadable, // not text in a known encoding, a damaged workbook, another kind of file
        CutShort,   // ends in the middle of a character, a quoted field or a line
        NotAppBill, // a table, but no payment app's layout: map its columns
        BadLine,    // a line of a recognised bill whose date or amount does not read
        BadMapping, // the column mapping lacks the date or the amount
    };
    EBillError(Kind kind, const QString &text) : TError(text), m_kind(kind) {}
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

enum class BillEncoding { Utf8, Utf8Bom, Gb18030, Utf16Le, Utf16Be, Xlsx };

// Rows of a bill file as cells of text. Unquoted cells are trimmed of spaces
// and tabs (the apps pad their fields); quoted cells keep what stands between
// the quotes. Empty lines are left out; rows may differ in length.
struct TBillTable {
    QList<QStringList> rows;
    QList<int>
        lineNumbers; // per row: its first line in the file, or its row in the sheet (1-based)
    BillEncoding encoding = BillEncoding::Utf8;
    QChar delimiter; // null for a workbook

    // The cell or an empty text where the row is shorter.
    QString cell(int row, int column) const { return rows.value(row).value(column); }
};

namespace BillCsv {

// Files above this are refused before they are read.
constexpr qint64 MaxFileBytes = 200LL * 1024 * 1024;
// A table of more cells than this is refused: no bill comes near it, and it
// keeps a file of nothing but commas from filling the memory.
constexpr qint64 MaxCells = 20'000'000;
// The columns a spreadsheet can have; a line of more is no bill either.
constexpr int MaxColumns = 16384;

// The text of a file: a byte-order mark decides (UTF-8, UTF-16 LE/BE); without
// one, UTF-16 is recognised by its zero bytes, then strict UTF-8, then
// GB18030 (which covers GBK). Throws EBillError (Unreadable, CutShort).
QString DecodeText(const QByteArray &bytes, BillEncoding *encoding = nullptr);

// Comma, semicolon or tab: the one that splits the most of the first lines
// into the same number of cells (quotes respected); ties go to the larger
// count, then to the comma.
QChar DetectDelimiter(QStringView text);

// RFC 4180 splitting with the tolerance bills need: CR LF, LF or CR line ends,
// quoted cells over several lines, doubled quotes, spaces and tabs around
// cells, text after a closing quote kept. A quote left open at the end throws
// EBillError (CutShort); more than MaxCells, or a line of more than
// MaxColumns, throws TooLarge.
TBillTable Split(QStringView text, QChar delimiter);

// DecodeText, DetectDelimiter and Split.
TBillTable ReadCsv(const QByteArray &bytes);

} // namespace BillCsv
