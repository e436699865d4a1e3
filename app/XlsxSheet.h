#pragma once

// The first worksheet of an .xlsx workbook as a table of texts, the way a CSV
// file of the same sheet would read: libzip opens the container, Qt's XML
// stream reader reads the parts. Shared and inline strings become their text,
// numbers their stored digits (a date typed into a spreadsheet is its serial
// day number), cells left out become empty texts; merged cells give their
// text to the first cell only, as the file stores them.

#include "BillCsv.h"

namespace XlsxSheet {

// No part of a workbook is unpacked beyond this many bytes: a small file that
// unpacks to gigabytes is refused, whatever its directory claims.
constexpr qint64 MaxPartBytes = 200LL * 1024 * 1024;

// True for bytes that begin like a zip container.
bool LooksLikeZip(const QByteArray &bytes);

// Throws EBillError: Unreadable for a damaged or foreign container or XML,
// TooLarge beyond MaxPartBytes or BillCsv::MaxCells.
TBillTable ReadFirstSheet(const QByteArray &bytes);

} // namespace XlsxSheet
