#include "RecordFilter.h"

#include <algorithm>
#include <limits>

// ---------------------------------------------------------------------------
// Folding

namespace {

struct FoldTable {
    char16_t t[0x10000];
    FoldTable()
    {
        for (int c = 0; c < 0x10000; ++c) {
            char16_t f = char16_t(c);
            if (c >= 0xD800 && c <= 0xDFFF) {
                t[c] = f; // halves of a pair are compared as they are
                continue;
            }
            if (c == 0x3000) {
                f = u' ';
            } else if (c >= 0xFF01 && c <= 0xFF5E) {
                f = char16_t(c - 0xFEE0);
            } else if (c >= 0xFF5F && c <= 0xFFEE) {
                // The rest of the width block: NFKC where it gives one code
                // unit (half-width katakana, ￥ to ¥); the combining marks
                // some map to would change lengths.
                const QString n = QString(QChar(c)).normalized(QString::NormalizationForm_KC);
                if (n.size() == 1)
                    f = n.at(0).unicode();
            }
            const QChar q(f);
            if (q.isLetter() && q.script() == QChar::Script_Latin)
                f = q.toCaseFolded().unicode();
            t[c] = f;
        }
    }
};

// First position at or after from where needle (folded) occurs in hay
// (folded here, code unit by code unit); -1 when it does not.
qsizetype IndexOfFolding(QStringView hay, QStringView needle, qsizetype from)
{
    const char16_t *fold = TTextFold::Table();
    const qsizetype n = hay.size(), m = needle.size();
    if (m == 0)
        return from <= n ? from : -1;
    const char16_t first = needle.at(0).unicode();
    const char16_t *h = reinterpret_cast<const char16_t *>(hay.data());
    const char16_t *nd = reinterpret_cast<const char16_t *>(needle.data());
    for (qsizetype i = from; i + m <= n; ++i) {
        if (fold[h[i]] != first)
            continue;
        qsizetype k = 1;
        while (k < m && fold[h[i + k]] == nd[k])
            ++k;
        if (k == m)
            return i;
    }
    return -1;
}

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// Characters that make a term a range or a comparison.
bool IsOperator(QChar c)
{
    switch (c.unicode()) {
    case u'>':
    case u'<':
    case u'=':
    case u'-':
    case u'~':
    case u'\u2265': // ≥
    case u'\u2264': // ≤
    case u'\u301C': // 〜 wave dash, what some input methods give for ～
    case u'\u81F3': // 至
    case u'\u5230': // 到
        return true;
    default:
        return false;
    }
}

bool IsRangeSeparator(QChar c)
{
    return c == u'-' || c == u'~' || c == u'\u301C' || c == u'\u81F3' || c == u'\u5230';
}

enum class AmountKind { None, Exact, Span };

constexpr qint64 Lowest = std::numeric_limits<qint64>::min();
constexpr qint64 Highest = std::numeric_limits<qint64>::max();

AmountKind ReadKind(QStringView t, qint64 *lo, qint64 *hi)
{
    if (t.isEmpty())
        return AmountKind::None;
    qint64 c = 0;
    // Comparisons: the operator, then an amount.
    struct Op {
        QStringView text;
        int kind; // 0 >=, 1 >, 2 <=, 3 <, 4 =
    };
    static const Op ops[] = {{u">=", 0},     {u"\u2265", 0}, {u">", 1},  {u"<=", 2},
                             {u"\u2264", 2}, {u"<", 3},      {u"==", 4}, {u"=", 4}};
    for (const Op &op : ops) {
        if (!t.startsWith(op.text))
            continue;
        if (!TRecordFilter::ReadCents(t.mid(op.text.size()), &c))
            return AmountKind::None;
        switch (op.kind) {
        case 0:
            *lo = c, *hi = Highest;
            break;
        case 1:
            *lo = c + 1, *hi = Highest;
            break;
        case 2:
            *lo = Lowest, *hi = c;
            break;
        case 3:
            *lo = Lowest, *hi = c - 1;
            break;
        default:
            *lo = *hi = c;
            break;
        }
        return AmountKind::Span;
    }
    // A range: two amounts around a separator (not in first place).
    for (qsizetype i = 1; i + 1 < t.size(); ++i) {
        if (!IsRangeSeparator(t.at(i)))
            continue;
        qint64 a = 0, b = 0;
        if (!TRecordFilter::ReadCents(t.left(i), &a) || !TRecordFilter::ReadCents(t.mid(i + 1), &b))
            return AmountKind::None;
        if (a > b)
            return AmountKind::None;
        *lo = a, *hi = b;
        return AmountKind::Span;
    }
    if (!TRecordFilter::ReadCents(t, &c))
        return AmountKind::None;
    *lo = *hi = c;
    return AmountKind::Exact;
}

// True when the joint between two typed pieces touches an operator, so
// "100", "-", "500" or ">", "1000" may be one term but "12", "13" may not.
bool JoinsAtOperator(const QString &left, const QString &right)
{
    return IsOperator(left.back()) || IsOperator(right.front());
}

// True when GB18030 bytes end in the middle of a character and hold no
// invalid sequence before that: the case THi::FromBytes marks with U+FFFD.
bool EndsCut(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    auto lead = [](unsigned b) { return b >= 0x81 && b <= 0xFE; };
    auto digit = [](unsigned b) { return b >= 0x30 && b <= 0x39; };
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        if (!lead(p[i]))
            return false;
        if (i + 1 >= n)
            return true;
        const unsigned b2 = p[i + 1];
        if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
            i += 2;
            continue;
        }
        if (!digit(b2))
            return false;
        if (i + 2 >= n)
            return true;
        if (!lead(p[i + 2]))
            return false;
        if (i + 3 >= n)
            return true;
        if (!digit(p[i + 3]))
            return false;
        const long linear =
            ((long(p[i] - 0x81) * 10 + (b2 - 0x30)) * 126 + (p[i + 2] - 0x81)) * 10 +
            (p[i + 3] - 0x30);
        constexpr long lastBmp = 39419;      // 84 31 A4 39 is U+FFFF
        constexpr long firstPlane1 = 189000; // 90 30 81 30 is U+10000
        if (linear > lastBmp && (linear < firstPlane1 || linear >= firstPlane1 + 0x100000))
            return false;
        i += 4;
    }
    return false;
}

} // namespace

const char16_t *TTextFold::Table()
{
    static const FoldTable table;
    return table.t;
}

void TTextFold::ChangedUnits(QString *from, QString *to)
{
    const char16_t *fold = Table();
    from->clear();
    to->clear();
    for (int c = 0; c < 0x10000; ++c) {
        if (fold[c] != c) {
            from->append(QChar(c));
            to->append(QChar(fold[c]));
        }
    }
}

QString TTextFold::Fold(QStringView text)
{
    const char16_t *fold = Table();
    QString out(text.size(), Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    const char16_t *in = reinterpret_cast<const char16_t *>(text.data());
    for (qsizetype i = 0; i < text.size(); ++i)
        o[i] = fold[in[i]];
    return out;
}

// ---------------------------------------------------------------------------
// Folded texts in one buffer

void TFoldedTexts::reserve(int count, int totalChars)
{
    m_ends.reserve(size_t(count));
    m_chars.reserve(totalChars);
}

int TFoldedTexts::append(QStringView text)
{
    const qsizetype at = m_chars.size();
    m_chars.append(text);
    foldFrom(at);
    m_ends.push_back(int(m_chars.size()));
    return int(m_ends.size()) - 1;
}

int TFoldedTexts::appendStored(QByteArrayView base64)
{
    const QByteArray bytes = QByteArray::fromBase64(base64.toByteArray());
    const qsizetype at = m_chars.size();
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        m_chars.append(QLatin1StringView(bytes));
    } else {
        // Stateless: each text stands alone, a cut last character is dropped
        // (and marked below, as THi does).
        if (!m_decoder)
            m_decoder =
                std::make_unique<QStringDecoder>("GB18030", QStringDecoder::Flag::Stateless);
        m_chars.resize(at + m_decoder->requiredSpace(bytes.size()));
        QChar *end = m_decoder->appendToBuffer(m_chars.data() + at, bytes);
        m_chars.resize(end - m_chars.constData());
        if (EndsCut(bytes))
            m_chars.append(QChar(QChar::ReplacementCharacter));
    }
    foldFrom(at);
    m_ends.push_back(int(m_chars.size()));
    return int(m_ends.size()) - 1;
}

void TFoldedTexts::foldFrom(qsizetype at)
{
    const char16_t *fold = TTextFold::Table();
    char16_t *c = reinterpret_cast<char16_t *>(m_chars.data());
    for (qsizetype i = at; i < m_chars.size(); ++i)
        c[i] = fold[c[i]];
}

void TFoldedTexts::clear()
{
    m_chars.clear();
    m_ends.clear();
}

// ---------------------------------------------------------------------------
// Reading the filter text

bool TRecordFilter::ReadCents(QStringView t, qint64 *cents)
{
    if (t.endsWith(u'\u5143') || t.endsWith(u'\u5757')) // 元, 块
        t.chop(1);
    if (t.startsWith(u'\u00A5') || t.startsWith(u'\uFFE5')) // ¥, ￥
        t = t.mid(1);
    if (t.isEmpty())
        return false;

    qsizetype i = 0;
    const qsizetype n = t.size();
    auto digit = [&](qsizetype k) { return t.at(k) >= u'0' && t.at(k) <= u'9'; };
    qint64 whole = 0;
    int significant = 0, digits = 0, group = 0;
    bool grouped = false;
    for (; i < n; ++i) {
        if (digit(i)) {
            const int d = t.at(i).unicode() - u'0';
            if (whole != 0 || d != 0)
                ++significant;
            // Beyond 13 digits of yuan no household amount goes (and cents still fit).
            if (significant > 13)
                return false;
            whole = whole * 10 + d;
            ++digits;
            ++group;
        } else if (t.at(i) == u',') {
            // Grouping as people write it: 1,200 and 12,345,678, nothing else.
            if (digits == 0 || group == 0 || group > 3 || (grouped && group != 3))
                return false;
            grouped = true;
            group = 0;
        } else {
            break;
        }
    }
    if (grouped && group != 3)
        return false;
    qint64 frac = 0;
    int fracDigits = 0;
    if (i < n && t.at(i) == u'.') {
        for (++i; i < n && digit(i); ++i, ++fracDigits) {
            const int d = t.at(i).unicode() - u'0';
            if (fracDigits < 2)
                frac = frac * 10 + d;
            else if (d != 0)
                return false; // a part of a cent
        }
    }
    if (i != n || digits + fracDigits == 0)
        return false;
    if (fracDigits == 1)
        frac *= 10;
    *cents = whole * 100 + frac;
    return true;
}

bool TRecordFilter::ReadAmounts(QStringView foldedTerm, qint64 *lo, qint64 *hi)
{
    return ReadKind(foldedTerm, lo, hi) != AmountKind::None;
}

TRecordFilter::TRecordFilter(QStringView typed)
{
    const QString folded = TTextFold::Fold(typed);

    QStringList pieces;
    QString piece;
    for (const QChar c : folded) {
        if (IsBlank(c)) {
            // "¥ 12" is one amount.
            if (piece.size() == 1 && piece.at(0) == u'\u00A5')
                continue;
            if (!piece.isEmpty())
                pieces.append(piece);
            piece.clear();
        } else {
            piece.append(c);
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);

    for (int i = 0; i < pieces.size(); ++i) {
        TTerm term;
        term.Text = pieces.at(i);
        // "100 - 500" and "> 1000" are one term: take the longest run of up
        // to three pieces, joined at operators, that reads as a range or a
        // comparison.
        for (int take = std::min<int>(3, int(pieces.size()) - i); take >= 1; --take) {
            QString joined = pieces.at(i);
            QString shown = pieces.at(i);
            bool joins = true;
            for (int k = 1; k < take && joins; ++k) {
                joins = JoinsAtOperator(pieces.at(i + k - 1), pieces.at(i + k));
                joined += pieces.at(i + k);
                shown += QChar(u' ');
                shown += pieces.at(i + k);
            }
            qint64 lo = 0, hi = 0;
            if (!joins)
                continue;
            const AmountKind kind = ReadKind(joined, &lo, &hi);
            if (take > 1 && kind != AmountKind::Span)
                continue;
            term.Text = shown;
            term.HasAmounts = kind != AmountKind::None;
            term.Lo = lo;
            term.Hi = hi;
            i += take - 1;
            break;
        }
        const bool seen = std::any_of(m_terms.begin(), m_terms.end(),
                                      [&](const TTerm &t) { return t.Text == term.Text; });
        if (seen)
            continue;
        if (int(m_terms.size()) == MaxTerms)
            break;
        const quint32 bit = 1u << m_terms.size();
        m_all |= bit;
        if (term.HasAmounts)
            m_amountTerms |= bit;
        m_terms.push_back(std::move(term));
    }
}

// ---------------------------------------------------------------------------
// Matching

quint32 TRecordFilter::termsForAmount(qint64 cents) const
{
    quint32 have = 0;
    for (quint32 left = m_amountTerms; left != 0; left &= left - 1) {
        const int k = __builtin_ctz(left);
        const TTerm &t = m_terms[size_t(k)];
        if (cents >= t.Lo && cents <= t.Hi)
            have |= 1u << k;
    }
    return have;
}

quint32 TRecordFilter::termsIn(QStringView text, quint32 wanted) const
{
    quint32 have = 0;
    for (quint32 left = wanted & m_all; left != 0; left &= left - 1) {
        const int k = __builtin_ctz(left);
        if (IndexOfFolding(text, m_terms[size_t(k)].Text, 0) >= 0)
            have |= 1u << k;
    }
    return have;
}

quint32 TRecordFilter::termsInFolded(QStringView folded, quint32 wanted) const
{
    quint32 have = 0;
    for (quint32 left = wanted & m_all; left != 0; left &= left - 1) {
        const int k = __builtin_ctz(left);
        if (folded.contains(m_terms[size_t(k)].Text))
            have |= 1u << k;
    }
    return have;
}

bool TRecordFilter::match(QStringView notes, QStringView category, qint64 cents) const
{
    quint32 have = termsForAmount(cents);
    if (have == m_all)
        return true;
    have |= termsIn(category, m_all & ~have);
    if (have == m_all)
        return true;
    return (have | termsIn(notes, m_all & ~have)) == m_all;
}

QList<TTextSpan> TRecordFilter::highlights(QStringView text) const
{
    QList<TTextSpan> spans;
    for (const TTerm &t : m_terms) {
        const qsizetype len = t.Text.size();
        for (qsizetype at = IndexOfFolding(text, t.Text, 0); at >= 0;
             at = IndexOfFolding(text, t.Text, at + len))
            spans.append({int(at), int(len)});
    }
    std::sort(spans.begin(), spans.end(),
              [](const TTextSpan &a, const TTextSpan &b) { return a.Start < b.Start; });
    QList<TTextSpan> merged;
    for (const TTextSpan &s : spans) {
        if (!merged.isEmpty() && s.Start <= merged.back().Start + merged.back().Length) {
            TTextSpan &m = merged.back();
            m.Length = std::max(m.Length, s.Start + s.Length - m.Start);
        } else {
            merged.append(s);
        }
    }
    return merged;
}
