#include "BillCsv.h"

#include <QHash>
#include <QStringDecoder>

#include <array>

namespace {

QString binaryText()
{
    return QStringLiteral("这个文件不是文本格式的账单（其中有二进制内容）。");
}

QString cutText()
{
    return QStringLiteral("文件不完整：它在一个字的中间结束，可能在下载或复制时被截断了。"
                          "请重新导出账单后再导入。");
}

// Strict decoding: any byte sequence the encoding does not allow is an error,
// including a character cut off at the end.
bool decodeStrict(QStringConverter::Encoding encoding, QByteArrayView bytes, QString *text)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    *text = decoder.decode(bytes);
    return !decoder.hasError();
}

// A UTF-8 text whose only fault is a sequence begun in its last bytes.
bool isCutUtf8(QByteArrayView bytes)
{
    for (qsizetype k = 1; k <= 3 && k <= bytes.size(); ++k) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - k]);
        if (b >= 0xC0) {
            QString ignored;
            return decodeStrict(QStringConverter::Utf8, bytes.chopped(k), &ignored);
        }
        if (b < 0x80)
            return false;
    }
    return false;
}

// Text of mostly Latin letters, digits and punctuation in UTF-16 without a
// byte-order mark has a zero in every other byte; UTF-8 and GB18030 text
// has none.
enum class Utf16Guess { No, Le, Be };
Utf16Guess guessUtf16(QByteArrayView bytes)
{
    const qsizetype n = qMin<qsizetype>(bytes.size(), 4096) & ~qsizetype(1);
    if (n < 4)
        return Utf16Guess::No;
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < n; i += 2) {
        evenZeros += bytes[i] == 0;
        oddZeros += bytes[i + 1] == 0;
    }
    const qsizetype pairs = n / 2;
    if (oddZeros * 10 > pairs * 3 && evenZeros * 20 < pairs)
        return Utf16Guess::Le;
    if (evenZeros * 10 > pairs * 3 && oddZeros * 20 < pairs)
        return Utf16Guess::Be;
    return Utf16Guess::No;
}

} // namespace

QString BillCsv::DecodeText(const QByteArray &bytes, BillEncoding *encoding)
{
    BillEncoding found;
    QByteArrayView body(bytes);
    QString text;
    bool ok = false;
    if (body.startsWith("\xEF\xBB\xBF")) {
        found = BillEncoding::Utf8Bom;
        body = body.sliced(3);
        ok = decodeStrict(QStringConverter::Utf8, body, &text);
        if (!ok && isCutUtf8(body))
            throw EBillError(EBillError::CutShort, cutText());
    } else if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF") ||
               guessUtf16(body) != Utf16Guess::No) {
        const bool le = body.startsWith("\xFF\xFE") ||
                        (!body.startsWith("\xFE\xFF") && guessUtf16(body) == Utf16Guess::Le);
        found = le ? BillEncoding::Utf16Le : BillEncoding::Utf16Be;
        if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF"))
            body = body.sliced(2);
        if (body.size() % 2 != 0)
            throw EBillError(EBillError::CutShort, cutText());
        ok = decodeStrict(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE, body, &text);
        // A surrogate pair cut in half at the end.
        if (!ok && body.size() >= 2) {
            QString ignored;
            if (decodeStrict(le ? QStringConverter::Utf16LE : QStringConverter::Utf16BE,
                             body.chopped(2), &ignored))
                throw EBillError(EBillError::CutShort, cutText());
        }
    } else if (decodeStrict(QStringConverter::Utf8, body, &text)) {
        found = BillEncoding::Utf8;
        ok = true;
    } else if (THi::IsGb18030(body)) {
        found = BillEncoding::Gb18030;
        QStringDecoder decoder("GB18030");
        text = decoder.decode(body);
        ok = decoder.isValid() && !decoder.hasError();
    } else {
        found = BillEncoding::Gb18030;
        // Cut in the middle of a character: whole once its first bytes are dropped.
        for (qsizetype k = 1; k <= 3 && k < body.size(); ++k) {
            if (THi::IsGb18030(body.chopped(k)))
                throw EBillError(EBillError::CutShort, cutText());
        }
        if (isCutUtf8(body))
            throw EBillError(EBillError::CutShort, cutText());
    }
    if (!ok) {
        if (body.contains('\0'))
            throw EBillError(EBillError::Unreadable, binaryText());
        throw EBillError(EBillError::Unreadable,
                         QStringLiteral("无法识别这个文件的文字编码：它既不是 UTF-8、UTF-16，"
                                        "也不是 GBK/GB18030 文本。"));
    }
    if (text.contains(QChar(0)))
        throw EBillError(EBillError::Unreadable, binaryText());
    if (encoding)
        *encoding = found;
    return text;
}

QChar BillCsv::DetectDelimiter(QStringView text)
{
    const std::array<QChar, 3> candidates = {u',', u'\t', u';'};
    QList<std::array<int, 3>> lines;
    std::array<int, 3> current{};
    bool inQuotes = false;
    bool lineHasText = false;
    const qsizetype end = qMin<qsizetype>(text.size(), 256 * 1024);
    for (qsizetype i = 0; i < end && lines.size() < 64; ++i) {
        const QChar c = text[i];
        if (c == u'"') {
            inQuotes = !inQuotes;
            lineHasText = true;
        } else if (!inQuotes && (c == u'\n' || c == u'\r')) {
            if (lineHasText)
                lines.append(current);
            current = {};
            lineHasText = false;
        } else {
            lineHasText = true;
            if (!inQuotes) {
                for (size_t k = 0; k < candidates.size(); ++k)
                    current[k] += c == candidates[k];
            }
        }
    }
    if (lineHasText && lines.size() < 64)
        lines.append(current);

    int best = 0, bestLines = 0, bestCount = 0;
    for (size_t k = 0; k < candidates.size(); ++k) {
        QHash<int, int> frequency;
        for (const auto &line : lines) {
            if (line[k] > 0)
                ++frequency[line[k]];
        }
        int modeLines = 0, modeCount = 0;
        for (auto it = frequency.cbegin(); it != frequency.cend(); ++it) {
            if (it.value() > modeLines || (it.value() == modeLines && it.key() > modeCount)) {
                modeLines = it.value();
                modeCount = it.key();
            }
        }
        if (modeLines > bestLines || (modeLines == bestLines && modeCount > bestCount)) {
            best = int(k);
            bestLines = modeLines;
            bestCount = modeCount;
        }
    }
    return candidates[size_t(best)];
}

TBillTable BillCsv::Split(QStringView text, QChar delimiter)
{
    TBillTable table;
    table.delimiter = delimiter;
    const QChar *p = text.data();
    const qsizetype n = text.size();
    auto isBlank = [delimiter](QChar c) { return (c == u' ' || c == u'\t') && c != delimiter; };
    auto isLineEnd = [](QChar c) { return c == u'\n' || c == u'\r'; };

    qint64 cells = 0;
    int line = 1;
    int rowLine = 1;
    QStringList row;
    auto finishRow = [&] {
        if (!(row.size() == 1 && row.first().isEmpty())) {
            table.rows.append(row);
            table.lineNumbers.append(rowLine);
        } else {
            --cells; // an empty line holds nothing
        }
        row.clear();
    };
    auto addCell = [&](QString cell) {
        if (++cells > MaxCells)
            throw EBillError(EBillError::TooLarge,
                             QStringLiteral("文件的行列太多（超过 %L1 个单元格），不像一份账单。")
                                 .arg(MaxCells));
        if (row.size() >= MaxColumns)
            throw EBillError(EBillError::TooLarge,
                             QStringLiteral("文件第 %1 行的栏目超过 %L2 个，不像一份账单。")
                                 .arg(rowLine)
                                 .arg(MaxColumns));
        row.append(std::move(cell));
    };

    qsizetype i = 0;
    while (i < n) {
        while (i < n && isBlank(p[i]))
            ++i;
        QString cell;
        if (i < n && p[i] == u'"') {
            const int quoteLine = line;
            ++i;
            for (;;) {
                qsizetype close = i;
                while (close < n && p[close] != u'"') {
                    line += p[close] == u'\n';
                    ++close;
                }
                if (close >= n)
                    throw EBillError(
                        EBillError::CutShort,
                        QStringLiteral("文件不完整：第 %1 行的引号没有结束，文件可能被截断了。")
                            .arg(quoteLine));
                cell += text.sliced(i, close - i);
                if (close + 1 < n && p[close + 1] == u'"') {
                    cell += u'"';
                    i = close + 2;
                    continue;
                }
                i = close + 1;
                break;
            }
            // Whatever follows the closing quote up to the delimiter belongs to the cell.
            const qsizetype start = i;
            while (i < n && p[i] != delimiter && !isLineEnd(p[i]))
                ++i;
            qsizetype stop = i;
            while (stop > start && isBlank(p[stop - 1]))
                --stop;
            if (stop > start)
                cell += text.sliced(start, stop - start);
        } else {
            const qsizetype start = i;
            while (i < n && p[i] != delimiter && !isLineEnd(p[i]))
                ++i;
            qsizetype stop = i;
            while (stop > start && isBlank(p[stop - 1]))
                --stop;
            cell = text.sliced(start, stop - start).toString();
        }
        addCell(std::move(cell));
        if (i < n && p[i] == delimiter) {
            ++i;
            // A delimiter at the very end still closes a cell.
            if (i == n)
                addCell(QString());
            continue;
        }
        finishRow();
        if (i < n) {
            if (p[i] == u'\r' && i + 1 < n && p[i + 1] == u'\n')
                ++i;
            ++i;
            ++line;
            rowLine = line;
        }
    }
    if (!row.isEmpty())
        finishRow();
    return table;
}

TBillTable BillCsv::ReadCsv(const QByteArray &bytes)
{
    BillEncoding encoding;
    const QString text = DecodeText(bytes, &encoding);
    TBillTable table = Split(text, DetectDelimiter(text));
    table.encoding = encoding;
    return table;
}
