#pragma once

// What every workbook writer of ours shares: the one message for a failed
// libxlsxwriter call and the A1 names of cells for formulas.

#include <QByteArray>
#include <QString>

#include <xlsxwriter.h>

namespace XlsxKit {

// A failed workbook call as a message naming the chosen file: the system's
// words when it set errno (a full disk), the library's otherwise.
[[noreturn]] void Fail(lxw_error err, int sysErr, const QString &shown);
// Fail without errno, when err is an error.
void Check(lxw_error err, const QString &shown);
// "C7" for row 6 and column 2 (both from 0; columns A to Z).
QByteArray CellName(int row, int col);

// A new workbook at path, named shown in messages. An error or a cancel on
// the way frees it without writing it out (the file is thrown away anyway,
// and writing it could take seconds); Close writes it.
class TBook {
public:
    TBook(const QString &path, const QString &shown, bool constantMemory = false);
    ~TBook();
    TBook(const TBook &) = delete;
    TBook &operator=(const TBook &) = delete;

    lxw_workbook *get() const { return m_book; }
    // Writes the workbook out; raises as Fail does.
    void Close();

private:
    lxw_workbook *m_book = nullptr;
    QString m_shown;
};

} // namespace XlsxKit
