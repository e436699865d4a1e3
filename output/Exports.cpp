#include "Exports.h"

#include "HiClass.h"
#include "SafeFile.h"
#include "XlsxKit.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <xlsxwriter.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

namespace {

const QString WordIn = QStringLiteral("收入");
const QString Nbsp = QStringLiteral("&nbsp;");

QString shownPath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

// Days since 1899-12-30: the workbook's date numbers.
double serialDate(const QDate &date)
{
    static const QDate epoch(1899, 12, 30);
    return double(epoch.daysTo(date));
}

Exports::TCell text(const QString &t)
{
    Exports::TCell c;
    if (!t.isEmpty()) {
        c.type = Exports::TCell::Text;
        c.text = THi::VisibleText(t);
    }
    return c;
}

Exports::TCell count(qint64 n)
{
    Exports::TCell c;
    c.type = Exports::TCell::Count;
    c.text = QString::number(n);
    c.number = double(n);
    return c;
}

Exports::TCell amount(qint64 cents)
{
    Exports::TCell c;
    c.type = Exports::TCell::Amount;
    c.text = THi::FormatCents(cents);
    c.number = double(cents) / 100.0;
    return c;
}

// The share as the ranking shows it, and as the fraction of what it shows:
// "6.31%" is 0.0631, not the nearest double of 6.31 / 100.
Exports::TCell share(const TRankRow &row)
{
    const double percent = THi::SharePercent(row.Cents, row.TypeCents);
    Exports::TCell c;
    c.type = Exports::TCell::Share;
    c.text = THi::FormatFloat(percent) + QLatin1Char('%');
    // Past what hundredths of a percent can count (only refunds make such
    // shares), the plain fraction.
    c.number =
        std::fabs(percent) < 1e12 ? double(THi::AmountCents(percent)) / 10000.0 : percent / 100.0;
    return c;
}

Exports::TCell date(const QString &t)
{
    const QDate d = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (!d.isValid())
        return text(t);
    Exports::TCell c;
    c.type = Exports::TCell::Date;
    c.text = t;
    c.number = serialDate(d);
    return c;
}

// Placeholder matching ignores the case of A-Z only, as every comparison here does.
bool matchesAt(const QString &text, int at, const QString &needle)
{
    if (at + needle.size() > text.size())
        return false;
    for (int i = 0; i < needle.size(); ++i) {
        ushort a = text.at(at + i).unicode(), b = needle.at(i).unicode();
        if (a >= 'A' && a <= 'Z')
            a = ushort(a + 32);
        if (b >= 'A' && b <= 'Z')
            b = ushort(b + 32);
        if (a != b)
            return false;
    }
    return true;
}

// Collects GB18030 bytes and hands them to the device in large blocks.
class TGbWriter {
public:
    explicit TGbWriter(QIODevice &out) : m_out(out), m_encoder("GB18030")
    {
        m_buf.reserve(BlockSize + 4096);
    }
    void add(const QString &s)
    {
        bool ascii = true;
        for (QChar c : s) {
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        }
        if (ascii)
            m_buf.append(s.toLatin1());
        else
            m_buf.append(m_encoder.encode(s));
        if (m_buf.size() >= BlockSize)
            flush();
    }
    void add(const QByteArray &bytes)
    {
        m_buf.append(bytes);
        if (m_buf.size() >= BlockSize)
            flush();
    }
    void flush()
    {
        if (!m_buf.isEmpty() && m_out.write(m_buf) != m_buf.size())
            throw EInOutError(EIO, QStringLiteral("写入失败：%1").arg(m_out.errorString()));
        m_buf.clear();
    }

private:
    static constexpr int BlockSize = 1 << 20;
    QIODevice &m_out;
    QStringEncoder m_encoder;
    QByteArray m_buf;
};

const QStringList &rowPlaceholders(TExportKind kind)
{
    static const QStringList cates{QStringLiteral("#type"), QStringLiteral("#category"),
                                   QStringLiteral("#qty"),  QStringLiteral("#in"),
                                   QStringLiteral("#out"),  QStringLiteral("#ratio")};
    static const QStringList trans{QStringLiteral("#date"), QStringLiteral("#category"),
                                   QStringLiteral("#in"), QStringLiteral("#out"),
                                   QStringLiteral("#notes")};
    return kind == TExportKind::Cates ? cates : trans;
}

// The text itself, escaped, or the blank cell mark when it is blank.
QString orNbsp(const QString &t)
{
    return THi::Trim(t).isEmpty() ? Nbsp : THtmlExport::Cell(t);
}

void writePiece(TGbWriter &w, const THtmlExport::TPiece &piece, const QStringList &values)
{
    for (size_t i = 0; i < piece.places.size(); ++i) {
        w.add(piece.literals.at(int(i)));
        w.add(values.at(piece.places[i]));
    }
    w.add(piece.literals.last());
}

} // namespace

// ---------------------------------------------------------------------------
// What is exported

int Exports::RowCount(TExportKind kind, const TSearchResult &result)
{
    if (kind == TExportKind::Cates)
        return int(result.InCateRows.size() + result.OutCateRows.size());
    return result.RecRows.size();
}

QString Exports::WithExtension(const QString &fileName, const QString &ext)
{
    const QString name = QFileInfo(fileName).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString current = dot < 0 ? QString() : name.mid(dot);
    return THi::LowerAscii(current) == THi::LowerAscii(ext) ? fileName : fileName + ext;
}

QStringList Exports::ColumnNames(TExportKind kind)
{
    if (kind == TExportKind::Cates)
        return {QStringLiteral("类别"), QStringLiteral("项目"), QStringLiteral("数量"),
                QStringLiteral("收入"), QStringLiteral("支出"), QStringLiteral("比例")};
    return {QStringLiteral("日期"), QStringLiteral("项目"), QStringLiteral("收入"),
            QStringLiteral("支出"), QStringLiteral("备注")};
}

void Exports::ForEachRow(TExportKind kind, const TSearchResult &result,
                         const std::function<void(const TCells &)> &sink, TTotals totals,
                         const TProgress &progress)
{
    const int columns = int(ColumnNames(kind).size());
    const qint64 total = RowCount(kind, result);
    TCells cells(static_cast<size_t>(columns));
    qint64 done = 0;
    const auto step = [&] {
        if (++done % ProgressEvery == 0)
            ReportProgress(progress, done, total);
    };
    if (kind == TExportKind::Cates) {
        for (const TRankRow &r : result.CateRows()) {
            const bool isIn = r.Type == WordIn;
            cells[0] = text(r.Type);
            cells[1] = text(r.Cate);
            cells[2] = count(r.Count);
            cells[3] = isIn ? amount(r.Cents) : TCell();
            cells[4] = isIn ? TCell() : amount(r.Cents);
            cells[5] = share(r);
            sink(cells);
            step();
        }
    } else {
        // Many records share a date and a category: each is converted once.
        const TRecordList &recs = result.RecRows;
        std::vector<std::optional<TCell>> dates, cates;
        for (int i = 0; i < recs.size(); ++i) {
            const TRecordList::TRecord &r = recs.at(i);
            const size_t d = size_t(r.Date), k = size_t(r.Cate);
            if (d >= dates.size())
                dates.resize(d + 1);
            if (!dates[d])
                dates[d] = date(recs.Date(i));
            if (k >= cates.size())
                cates.resize(k + 1);
            if (!cates[k])
                cates[k] = text(recs.Cate(i));
            const TCell money = r.Kind != TRecordList::Other ? amount(r.Cents) : TCell();
            cells[0] = *dates[d];
            cells[1] = *cates[k];
            cells[2] = r.Kind == TRecordList::Income ? money : TCell();
            cells[3] = r.Kind == TRecordList::Expense ? money : TCell();
            cells[4] = text(recs.Notes(i));
            sink(cells);
            step();
        }
    }
    ReportProgress(progress, total, total);
    if (totals == TTotals::Without)
        return;
    const QString lines[] = {
        result.Title(),
        QStringLiteral("收入合计：%1").arg(THi::FormatCents(result.InCents)),
        QStringLiteral("支出合计：%1").arg(THi::FormatCents(result.OutCents)),
        QStringLiteral("结余合计：%1").arg(THi::FormatCents(result.BalanceCents())),
    };
    for (const QString &t : lines) {
        std::fill(cells.begin(), cells.end(), TCell());
        cells[1] = text(t);
        sink(cells);
    }
}

void Exports::SaveAtomic(const QString &fileName,
                         const std::function<void(const QString &tempPath)> &write)
{
    // Exports are the user's own files, to pass on: the umask decides who may read them.
    TSafeFile file(fileName, TSafeFile::UmaskMode());
    write(file.TempPath());
    file.Commit();
}

void Exports::SaveAtomic(const QString &fileName, const std::function<void(QIODevice &out)> &write)
{
    SaveAtomic(fileName, [&](const QString &temp) {
        TFileSink out(temp, shownPath(fileName));
        try {
            write(out);
        } catch (const EInOutError &) {
            // The writer saw the device refuse; the system's reason is better words.
            if (out.Error() != 0)
                throw EInOutError(EInOutError::Write, shownPath(fileName), out.Error());
            throw;
        }
        out.Finish();
    });
}

// ---------------------------------------------------------------------------
// Web page

const QString THtmlExport::Marker = QStringLiteral("<!-- - -->");

QStringList THtmlExport::SplitText(const QString &text, const QString &separator)
{
    QStringList pieces;
    const QString t = THi::Trim(text);
    if (t.isEmpty() || separator.isEmpty())
        return t.isEmpty() ? pieces : QStringList{t};
    int from = 0;
    int pos = t.indexOf(separator, from);
    while (pos >= 0) {
        if (pos > from)
            pieces.append(THi::Trim(t.mid(from, pos - from)));
        from = pos + int(separator.size());
        pos = t.indexOf(separator, from);
    }
    if (from < t.size())
        pieces.append(THi::Trim(t.mid(from)));
    return pieces;
}

QString THtmlExport::Escape(const QString &text)
{
    // Qt leaves the apostrophe alone; an attribute in single quotes needs it too.
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;"));
}

QString THtmlExport::Cell(const QString &text)
{
    return Escape(THi::VisibleText(text));
}

namespace {
QString &templateFolder()
{
    static QString folder;
    return folder;
}
} // namespace

void THtmlExport::SetTemplateFolder(const QString &folder)
{
    templateFolder() = folder;
}

QString THtmlExport::TemplateFile(TExportKind kind)
{
    const QString name =
        kind == TExportKind::Cates ? QStringLiteral("cates.html") : QStringLiteral("trans.html");
    return templateFolder().isEmpty() ? THi::ShippedFile(name)
                                      : templateFolder() + QLatin1Char('/') + name;
}

THtmlExport::TPiece THtmlExport::Compile(const QString &piece, const QStringList &placeholders)
{
    // Items are literal texts (slot < 0) or placeholders already found.
    struct TItem {
        int slot;
        QString literal;
    };
    std::vector<TItem> items{{-1, piece}};
    for (int k = 0; k < placeholders.size(); ++k) {
        const QString &ph = placeholders.at(k);
        std::vector<TItem> next;
        for (const TItem &item : items) {
            if (item.slot >= 0) {
                next.push_back(item);
                continue;
            }
            const QString &lit = item.literal;
            int from = 0;
            for (int i = 0; i + ph.size() <= lit.size();) {
                if (matchesAt(lit, i, ph)) {
                    next.push_back({-1, lit.mid(from, i - from)});
                    next.push_back({k, QString()});
                    i += int(ph.size());
                    from = i;
                } else {
                    ++i;
                }
            }
            next.push_back({-1, lit.mid(from)});
        }
        items = std::move(next);
    }
    TPiece p;
    p.literals.append(QString());
    for (const TItem &item : items) {
        if (item.slot < 0) {
            p.literals.last() += item.literal;
        } else {
            p.places.push_back(item.slot);
            p.literals.append(QString());
        }
    }
    return p;
}

THtmlExport::THtmlExport(TExportKind kind, const QString &templateText, const QString &sourceName)
    : m_kind(kind)
{
    const QStringList pieces = SplitText(templateText, Marker);
    if (pieces.size() < 3)
        throw TError(QStringLiteral("网页模板文件不完整：%1\n"
                                    "它应由“%2”分为表头、表行和表尾三段，现在只有 %3 段。")
                         .arg(sourceName, Marker)
                         .arg(pieces.size()));
    m_head = Compile(pieces.at(0), {QStringLiteral("#top")});
    m_row = Compile(pieces.at(1), rowPlaceholders(kind));
    m_foot = Compile(pieces.at(2), {QStringLiteral("#bottom")});
}

THtmlExport THtmlExport::FromFile(TExportKind kind, const QString &templateFile)
{
    QByteArray bytes;
    try {
        bytes = THi::LoadFile(templateFile);
    } catch (const EInOutError &e) {
        const QString why = e.code() == ENOENT ? QStringLiteral("找不到网页模板文件：%1")
                                               : QStringLiteral("无法读取网页模板文件：%1");
        throw TError(why.arg(shownPath(templateFile)) +
                     QStringLiteral("\n(%1)").arg(QString::fromLocal8Bit(std::strerror(e.code()))));
    }
    return THtmlExport(kind, THi::FromBytes(bytes), shownPath(templateFile));
}

void THtmlExport::Write(QIODevice &out, const TSearchResult &result,
                        const TProgress &progress) const
{
    TGbWriter w(out);
    writePiece(w, m_head, {Cell(result.Title())});
    QStringList values;
    const qint64 total = Exports::RowCount(m_kind, result);
    qint64 done = 0;
    const auto step = [&] {
        if (++done % Exports::ProgressEvery == 0)
            ReportProgress(progress, done, total);
    };
    if (m_kind == TExportKind::Cates) {
        for (const TRankRow &r : result.CateRows()) {
            const bool isIn = r.Type == WordIn;
            values = {Cell(r.Text(RankType)),
                      Cell(r.Text(RankCate)),
                      Cell(r.Text(RankCount)),
                      isIn ? Cell(r.Text(RankSum)) : Nbsp,
                      isIn ? Nbsp : Cell(r.Text(RankSum)),
                      Cell(r.Text(RankShare))};
            writePiece(w, m_row, values);
            step();
        }
    } else {
        const TRecordList &recs = result.RecRows;
        for (int i = 0; i < recs.size(); ++i) {
            values = {Cell(recs.Date(i)), Cell(recs.Cate(i)), orNbsp(recs.Text(i, RecIn)),
                      orNbsp(recs.Text(i, RecOut)), orNbsp(recs.Notes(i))};
            writePiece(w, m_row, values);
            step();
        }
    }
    ReportProgress(progress, total, total);
    writePiece(w, m_foot,
               {QStringLiteral("收入合计：%1&nbsp;&nbsp;支出合计：%2&nbsp;&nbsp;结余合计：%3")
                    .arg(THi::FormatCents(result.InCents), THi::FormatCents(result.OutCents),
                         THi::FormatCents(result.BalanceCents()))});
    w.flush();
}

void THtmlExport::Save(const QString &fileName, const TSearchResult &result,
                       const TProgress &progress) const
{
    Exports::SaveAtomic(fileName, [&](QIODevice &out) { Write(out, result, progress); });
}

// ---------------------------------------------------------------------------
// Workbook

namespace {

// Roughly how many character widths a text takes: CJK and full-width forms two.
int displayWidth(const QString &t)
{
    int w = 0;
    for (QChar c : t)
        w += c.unicode() >= 0x1100 ? 2 : 1;
    return w;
}

} // namespace

void TXlsxExport::Write(const QString &path, TExportKind kind, const TSearchResult &result,
                        const TProgress &progress, const QString &shownAs)
{
    const QString shown = shownPath(shownAs.isEmpty() ? path : shownAs);
    XlsxKit::TBook book(path, shown, true);

    lxw_worksheet *sheet = workbook_add_worksheet(book.get(), "Sheet1");
    lxw_format *bold = workbook_add_format(book.get());
    format_set_bold(bold);
    lxw_format *money = workbook_add_format(book.get());
    format_set_num_format(money, "0.00");
    lxw_format *share = workbook_add_format(book.get());
    format_set_num_format(share, "0.00%");
    lxw_format *day = workbook_add_format(book.get());
    format_set_num_format(day, "yyyy-mm-dd");

    const QStringList names = Exports::ColumnNames(kind);
    std::vector<int> widths(size_t(names.size()), 0);
    for (int c = 0; c < names.size(); ++c) {
        XlsxKit::Check(
            worksheet_write_string(sheet, 0, lxw_col_t(c), names.at(c).toUtf8().constData(), bold),
            shown);
        widths[size_t(c)] = displayWidth(names.at(c));
    }
    worksheet_freeze_panes(sheet, 1, 0);

    lxw_row_t row = 1;
    Exports::ForEachRow(
        kind, result,
        [&](const Exports::TCells &cells) {
            for (size_t c = 0; c < cells.size(); ++c) {
                const Exports::TCell &cell = cells[c];
                const lxw_col_t col = lxw_col_t(c);
                lxw_error err = LXW_NO_ERROR;
                switch (cell.type) {
                case Exports::TCell::Empty:
                    continue;
                case Exports::TCell::Text:
                    err = worksheet_write_string(sheet, row, col, cell.text.toUtf8().constData(),
                                                 nullptr);
                    break;
                case Exports::TCell::Count:
                    err = worksheet_write_number(sheet, row, col, cell.number, nullptr);
                    break;
                case Exports::TCell::Amount:
                    err = worksheet_write_number(sheet, row, col, cell.number, money);
                    break;
                case Exports::TCell::Share:
                    err = worksheet_write_number(sheet, row, col, cell.number, share);
                    break;
                case Exports::TCell::Date:
                    err = worksheet_write_number(sheet, row, col, cell.number, day);
                    break;
                }
                XlsxKit::Check(err, shown);
                widths[c] = std::max(widths[c], displayWidth(cell.text));
            }
            ++row;
        },
        Exports::TTotals::With, progress);

    // Long notes would make the sheet unreadably wide; the cell keeps all of it.
    for (size_t c = 0; c < widths.size(); ++c)
        XlsxKit::Check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c),
                                            std::min(widths[c], 60) + 2, nullptr),
                       shown);

    book.Close();
}

void TXlsxExport::Save(const QString &fileName, TExportKind kind, const TSearchResult &result,
                       const TProgress &progress)
{
    Exports::SaveAtomic(
        fileName, [&](const QString &temp) { Write(temp, kind, result, progress, fileName); });
}

// ---------------------------------------------------------------------------
// CSV

QString TCsvExport::Quote(const QString &field)
{
    for (QChar c : field) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n')) {
            QString q = field;
            q.replace(QLatin1Char('"'), QLatin1String("\"\""));
            return QLatin1Char('"') + q + QLatin1Char('"');
        }
    }
    return field;
}

QString TCsvExport::Defuse(const QString &text)
{
    if (text.isEmpty())
        return text;
    switch (text.at(0).unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return QLatin1Char('\'') + text;
    default:
        return text;
    }
}

void TCsvExport::Write(QIODevice &out, TExportKind kind, const TSearchResult &result,
                       const TProgress &progress)
{
    QByteArray buf("\xEF\xBB\xBF");
    const auto flush = [&out, &buf](bool always) {
        if ((always || buf.size() >= (1 << 20)) && !buf.isEmpty()) {
            if (out.write(buf) != buf.size())
                throw EInOutError(EIO, QStringLiteral("写入失败：%1").arg(out.errorString()));
            buf.clear();
        }
    };
    const QStringList names = Exports::ColumnNames(kind);
    buf += names.join(QLatin1Char(',')).toUtf8() + "\r\n";
    QString line;
    Exports::ForEachRow(
        kind, result,
        [&](const Exports::TCells &cells) {
            line.clear();
            for (size_t c = 0; c < cells.size(); ++c) {
                if (c > 0)
                    line += QLatin1Char(',');
                const Exports::TCell &cell = cells[c];
                switch (cell.type) {
                case Exports::TCell::Empty:
                    break;
                case Exports::TCell::Amount: // two decimals, a dot, no separators
                    line += cell.text;
                    break;
                case Exports::TCell::Text: // a spreadsheet must show it, not run it
                    line += Quote(Defuse(cell.text));
                    break;
                default: // counts, shares and dates as the lists show them
                    line += Quote(cell.text);
                }
            }
            line += QLatin1String("\r\n");
            buf += line.toUtf8();
            flush(false);
        },
        Exports::TTotals::Without, progress);
    flush(true);
}

void TCsvExport::Save(const QString &fileName, TExportKind kind, const TSearchResult &result,
                      const TProgress &progress)
{
    Exports::SaveAtomic(fileName, [&](QIODevice &out) { Write(out, kind, result, progress); });
}
