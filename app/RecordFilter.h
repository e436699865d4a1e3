#pragma once

// The browser's filter box: what a person types, read once into terms, then
// matched against many records (notes, category, amount) without allocating.
//
// Folding (TTextFold) maps every UTF-16 code unit to exactly one code unit,
// so a folded text has the length of the original and a position found in
// one is the same position in the other: highlights need no mapping back.

#include <QList>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <vector>

// Width and case folding for matching, one code unit to one code unit:
// - full-width ASCII (U+FF01-U+FF5E) to ASCII, the ideographic space U+3000
//   to a space, the other full-width signs (U+FFE0-U+FFE6: ￠￡￢￤￥￦) to their
//   narrow forms and half-width katakana and hangul to their usual forms;
// - then Latin letters to their case-folded form (A-Z, Ａ-Ｚ, À, Ǆ ...).
// Nothing else changes: circled and superscript digits, ㎏, ™, ligatures,
// Roman numerals, 。 and other CJK punctuation, compatibility ideographs and
// the no-break space stay as they are (a full NFKC would turn ① into 1 and
// ㎡ into m2, and change lengths).
class TTextFold {
public:
    TTextFold() = delete;
    static QChar Fold(QChar c) { return QChar(Table()[c.unicode()]); }
    static QString Fold(QStringView text);
    // The 65,536-entry table behind Fold, built once (thread-safe).
    static const char16_t *Table();
    // Every code unit that folds to another, and what it folds to, at the
    // same positions: for an engine that matches in its own query (the
    // server's translate(text, from, to) folds as Fold does).
    static void ChangedUnits(QString *from, QString *to);
};

// Texts folded once and kept in one buffer, e.g. the decoded notes of a
// period: each keystroke then matches views into it, with no decoding,
// folding or allocation per record.
class TFoldedTexts {
public:
    void reserve(int count, int totalChars);
    // Appends text folded; returns its index.
    int append(QStringView text);
    // Appends a stored text (base64 of GB18030) decoded and folded, as
    // THi::Base64DecodeBytes would decode it (a cut last character shows as
    // U+FFFD), so positions found here are positions in the shown notes.
    // About four times faster than decoding through THi: one decoder for
    // all texts, straight into the buffer.
    int appendStored(QByteArrayView base64);
    int size() const { return int(m_ends.size()); }
    QStringView at(int i) const
    {
        const int begin = i == 0 ? 0 : m_ends[size_t(i) - 1];
        return QStringView(m_chars).mid(begin, m_ends[size_t(i)] - begin);
    }
    void clear();

private:
    void foldFrom(qsizetype at);

    QString m_chars;
    std::vector<int> m_ends;
    std::unique_ptr<QStringDecoder> m_decoder;
};

// A stretch of a text to highlight, in positions of the original text.
struct TTextSpan {
    int Start = 0;
    int Length = 0;
    bool operator==(const TTextSpan &o) const { return Start == o.Start && Length == o.Length; }
};

// The filter box's text, read once.
//
// The text is split at blanks (spaces, tabs, U+3000) into terms; a record
// matches when it matches every term (so "电费 2019" narrows). A term
// matches when its folded text is contained in the notes or the category.
// A term that reads as an amount also matches records of exactly that
// amount; a range or a comparison matches the amounts in it:
//   12  12.5  12.50  ¥12.5  ￥１２.５  12.5元  1,200      the amount exactly
//   100-500  100~500  100－500  100～500  100至500       both ends included
//   >1000  >=1000  <50  <=50  ≥ ≤  =12.5               the comparison
// A whole text such as "100 - 500" or "> 1000" is one term. A range whose
// first end is above the second ("2019-12") reads as text only. Amounts
// carry at most two decimals (more only when they are zeros: "12.500").
// Every term matches as text too, so 2019 finds "修车 2019" as well as a
// record of 2019.00.
//
// At most MaxTerms distinct terms are kept; further ones are ignored.
class TRecordFilter {
public:
    static constexpr int MaxTerms = 32;

    TRecordFilter() = default; // matches everything
    explicit TRecordFilter(QStringView typed);

    // Nothing but blanks was typed: every record matches.
    bool isEmpty() const { return m_terms.empty(); }
    int termCount() const { return int(m_terms.size()); }
    // All terms as a mask: a record matches when the masks of its parts
    // together give this.
    quint32 allTerms() const { return m_all; }

    // One call per record. The notes and category are folded on the fly.
    bool match(QStringView notes, QStringView category, qint64 cents) const;

    // The same in parts, for lists that share texts: fold each distinct
    // category once (termsInFolded over TTextFold::Fold of it, or over a
    // TFoldedTexts), then per record only the amount and the notes.
    quint32 termsForAmount(qint64 cents) const;
    // The terms whose text is in text; only the terms in `wanted` are looked
    // for (others stay 0), so a record already matched by category and
    // amount costs nothing more.
    quint32 termsIn(QStringView text, quint32 wanted = ~0u) const;
    quint32 termsInFolded(QStringView folded, quint32 wanted = ~0u) const;
    bool matchFolded(QStringView foldedNotes, quint32 categoryTerms, qint64 cents) const
    {
        const quint32 have = categoryTerms | termsForAmount(cents);
        if (have == m_all)
            return true;
        return (have | termsInFolded(foldedNotes, m_all & ~have)) == m_all;
    }

    // Where the terms occur in text (notes or category as shown), merged and
    // in order; positions are those of the original text.
    QList<TTextSpan> highlights(QStringView text) const;
    // True when some term matches this amount (the amount cell is highlighted).
    bool amountMatches(qint64 cents) const { return termsForAmount(cents) != 0; }

    // Reads one term as an amount, range or comparison; false when it is
    // none. lo and hi are inclusive cents. Exposed for tests and for the
    // search over every record, which hands ranges to the store.
    static bool ReadAmounts(QStringView foldedTerm, qint64 *lo, qint64 *hi);
    // Reads an amount in cents ("12", "12.5", "¥1,200.00", "12元"); false otherwise.
    static bool ReadCents(QStringView foldedText, qint64 *cents);

    // The terms as read (folded text and whether it has amounts), for tests
    // and for a store query.
    struct TTerm {
        QString Text; // folded
        bool HasAmounts = false;
        qint64 Lo = 0, Hi = 0;
    };
    const std::vector<TTerm> &terms() const { return m_terms; }

private:
    std::vector<TTerm> m_terms;
    quint32 m_all = 0;
    quint32 m_amountTerms = 0;
};
