#include "HiClass.h"
#include "RecordFilter.h"

#include <QtTest>

#include <limits>

class TestRecordFilter : public QObject {
    Q_OBJECT

private slots:
    void fold_data();
    void fold();
    void foldIsStable();
    void changedUnitsFoldAsFold();
    void readCents_data();
    void readCents();
    void terms_data();
    void terms();
    void match_data();
    void match();
    void highlights_data();
    void highlights();
    void amountMatches();
    void foldedTexts();
    void storedTextsDecodeAsShown_data();
    void storedTextsDecodeAsShown();
    void randomBytesDecodeAsShown();
};

void TestRecordFilter::fold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");

    QTest::addRow("full-width Latin letters") << u"ＡＢＣａｂｃ"_qs << u"abcabc"_qs;
    QTest::addRow("full-width digits and punctuation")
        << u"１２．５％，（）！？"_qs << u"12.5%,()!?"_qs;
    QTest::addRow("full-width hyphen and tilde") << u"－～"_qs << u"-~"_qs;
    QTest::addRow("ideographic space") << u"午餐\u3000KFC"_qs << u"午餐 kfc"_qs;
    QTest::addRow("full-width yen") << u"￥１２"_qs << u"¥12"_qs;
    QTest::addRow("half-width katakana") << u"ｶﾀｶﾅ"_qs << u"カタカナ"_qs;
    QTest::addRow("Latin letters beyond ASCII") << u"ÉÀÇ"_qs << u"éàç"_qs;
    QTest::addRow("Chinese unchanged") << u"电费水费"_qs << u"电费水费"_qs;
    // What NFKC would change but a search must not.
    QTest::addRow("circled digits stay") << u"①②"_qs << u"①②"_qs;
    QTest::addRow("superscripts stay") << u"m²"_qs << u"m²"_qs;
    QTest::addRow("unit signs stay") << u"㎏㎡℃"_qs << u"㎏㎡℃"_qs;
    QTest::addRow("trade mark and ligature stay") << u"™ﬁ"_qs << u"™ﬁ"_qs;
    QTest::addRow("Roman numerals stay") << u"Ⅻ"_qs << u"Ⅻ"_qs;
    QTest::addRow("CJK full stop stays") << u"。、"_qs << u"。、"_qs;
    QTest::addRow("no-break space stays") << u"a\u00A0b"_qs << u"a\u00A0b"_qs;
    QTest::addRow("compatibility ideograph stays") << u"\uF900"_qs << u"\uF900"_qs;
    QTest::addRow("Greek not folded") << u"Σ"_qs << u"Σ"_qs;
    QTest::addRow("surrogate pair kept") << u"😀A"_qs << u"😀a"_qs;
}

void TestRecordFilter::fold()
{
    QFETCH(QString, text);
    QFETCH(QString, folded);
    const QString got = TTextFold::Fold(text);
    QCOMPARE(got, folded);
    QCOMPARE(got.size(), text.size());
}

void TestRecordFilter::foldIsStable()
{
    // Folding a folded text changes nothing, or a typed text folded once
    // would miss a stored one folded once (Ａ must reach a, not stop at A).
    for (int c = 0; c < 0x10000; ++c) {
        const QChar once = TTextFold::Fold(QChar(c));
        if (TTextFold::Fold(once) != once)
            QFAIL(qPrintable(QStringLiteral("U+%1 folds to U+%2, which folds on")
                                 .arg(c, 4, 16, QChar(u'0'))
                                 .arg(once.unicode(), 4, 16, QChar(u'0'))));
    }
}

void TestRecordFilter::changedUnitsFoldAsFold()
{
    // A query that folds with translate() must find what the program finds.
    QString from, to;
    TTextFold::ChangedUnits(&from, &to);
    QCOMPARE(from.size(), to.size());
    QVERIFY(from.contains(u'Ａ') && from.contains(u'A') && from.contains(u'\u3000'));
    QVERIFY(!from.contains(u'①') && !from.contains(u'a') && !from.contains(u'电'));
    for (int i = 0; i < from.size(); ++i)
        QCOMPARE(to.at(i), TTextFold::Fold(from.at(i)));
    int changed = 0;
    for (int c = 0; c < 0x10000; ++c)
        changed += TTextFold::Fold(QChar(c)) != QChar(c);
    QCOMPARE(from.size(), changed);
}

void TestRecordFilter::readCents_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("cents");

    QTest::addRow("a cent") << u"0.01"_qs << true << qint64(1);
    QTest::addRow("whole yuan") << u"12"_qs << true << qint64(1200);
    QTest::addRow("one decimal") << u"12.5"_qs << true << qint64(1250);
    QTest::addRow("two decimals") << u"12.05"_qs << true << qint64(1205);
    QTest::addRow("trailing point") << u"12."_qs << true << qint64(1200);
    QTest::addRow("leading point") << u".5"_qs << true << qint64(50);
    QTest::addRow("zeros past the cents") << u"12.500"_qs << true << qint64(1250);
    QTest::addRow("part of a cent") << u"12.505"_qs << false << qint64(0);
    QTest::addRow("grouped thousands") << u"1,234,567.89"_qs << true << qint64(123456789);
    QTest::addRow("short group") << u"1,23"_qs << false << qint64(0);
    QTest::addRow("long group") << u"12,3456"_qs << false << qint64(0);
    QTest::addRow("leading comma") << u",123"_qs << false << qint64(0);
    QTest::addRow("yen sign") << u"¥12.5"_qs << true << qint64(1250);
    QTest::addRow("full-width yen sign") << u"￥12.5"_qs << true << qint64(1250);
    QTest::addRow("yuan after") << u"12.5元"_qs << true << qint64(1250);
    QTest::addRow("sign alone") << u"¥"_qs << false << qint64(0);
    QTest::addRow("empty") << QString() << false << qint64(0);
    QTest::addRow("point alone") << u"."_qs << false << qint64(0);
    QTest::addRow("thirteen digits of yuan")
        << u"9999999999999"_qs << true << qint64(999999999999900);
    QTest::addRow("fourteen digits of yuan") << u"99999999999999"_qs << false << qint64(0);
    QTest::addRow("leading zeros do not count") << u"00000000000000012"_qs << true << qint64(1200);
    QTest::addRow("negative") << u"-5"_qs << false << qint64(0);
    QTest::addRow("exponent") << u"1e3"_qs << false << qint64(0);
    QTest::addRow("letters") << u"12abc"_qs << false << qint64(0);
}

void TestRecordFilter::readCents()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, cents);
    qint64 got = -1;
    QCOMPARE(TRecordFilter::ReadCents(text, &got), ok);
    if (ok)
        QCOMPARE(got, cents);
}

void TestRecordFilter::terms_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("terms");   // folded texts, "|" between them
    QTest::addColumn<QString>("amounts"); // "lo..hi" per term, "-" for text only

    const QString any = QString::number(std::numeric_limits<qint64>::max());
    const QString none = QString::number(std::numeric_limits<qint64>::min());
    QTest::addRow("blanks only") << u" \u3000\t"_qs << QString() << QString();
    QTest::addRow("one word") << u"电费"_qs << u"电费"_qs << u"-"_qs;
    QTest::addRow("two words") << u"电费  KFC"_qs << u"电费|kfc"_qs << u"-|-"_qs;
    QTest::addRow("split at ideographic space")
        << u"电费\u3000水费"_qs << u"电费|水费"_qs << u"-|-"_qs;
    QTest::addRow("repeated word once") << u"a A ａ"_qs << u"a"_qs << u"-"_qs;
    QTest::addRow("amount") << u"12.5"_qs << u"12.5"_qs << u"1250..1250"_qs;
    QTest::addRow("range") << u"100-500"_qs << u"100-500"_qs << u"10000..50000"_qs;
    QTest::addRow("spaced range") << u"100 - 500"_qs << u"100 - 500"_qs << u"10000..50000"_qs;
    QTest::addRow("range spaced on one side")
        << u"100 -500 电费"_qs << u"100 -500|电费"_qs << u"10000..50000|-"_qs;
    QTest::addRow("spaced comparison") << u"> 1000"_qs << u"> 1000"_qs << u"100001.."_qs + any;
    QTest::addRow("comparison then a number")
        << u"> 100 200"_qs << u"> 100|200"_qs << u"10001..%1|20000..20000"_qs.arg(any);
    QTest::addRow("spaced yen sign") << u"￥ 12.5"_qs << u"¥12.5"_qs << u"1250..1250"_qs;
    QTest::addRow("two numbers stay two")
        << u"12 13"_qs << u"12|13"_qs << u"1200..1200|1300..1300"_qs;
    QTest::addRow("less than") << u"<50"_qs << u"<50"_qs << none + u"..4999"_qs;
    QTest::addRow("at most") << u"≤50"_qs << u"≤50"_qs << none + u"..5000"_qs;
    QTest::addRow("reversed range is text") << u"2019-12"_qs << u"2019-12"_qs << u"-"_qs;
    QTest::addRow("operator alone is text") << u">"_qs << u">"_qs << u"-"_qs;
}

void TestRecordFilter::terms()
{
    QFETCH(QString, typed);
    QFETCH(QString, terms);
    QFETCH(QString, amounts);
    const TRecordFilter f(typed);
    QStringList texts, spans;
    for (const TRecordFilter::TTerm &t : f.terms()) {
        texts.append(t.Text);
        spans.append(t.HasAmounts ? QStringLiteral("%1..%2").arg(t.Lo).arg(t.Hi)
                                  : QStringLiteral("-"));
    }
    QCOMPARE(texts.join(u'|'), terms);
    QCOMPARE(spans.join(u'|'), amounts);
    QCOMPARE(f.isEmpty(), terms.isEmpty());
}

void TestRecordFilter::match_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("cate");
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<bool>("matches");

    QTest::addRow("empty filter") << u"  "_qs << u"x"_qs << u"y"_qs << qint64(1) << true;
    QTest::addRow("in the notes") << u"电费"_qs << u"缴电费"_qs << u"水电"_qs << qint64(1) << true;
    QTest::addRow("in the category") << u"水电"_qs << u""_qs << u"水电煤"_qs << qint64(1) << true;
    QTest::addRow("in neither") << u"燃气"_qs << u"缴电费"_qs << u"水电"_qs << qint64(1) << false;
    QTest::addRow("Latin case") << u"kfc"_qs << u"KFC 午餐"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("full-width typed") << u"ＫＦＣ"_qs << u"kfc"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("full-width stored")
        << u"kfc"_qs << u"买ＫＦＣ"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("full-width punctuation")
        << u"(二楼)"_qs << u"会议室（二楼）"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("accented letters") << u"café"_qs << u"CAFÉ"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("every word must match")
        << u"电费 2020"_qs << u"电费2019"_qs << u""_qs << qint64(1) << false;
    QTest::addRow("words across notes and category")
        << u"水电 2019"_qs << u"2019 年"_qs << u"水电"_qs << qint64(1) << true;
    QTest::addRow("circled digit is no digit")
        << u"1"_qs << u"①"_qs << u""_qs << qint64(5) << false;
    QTest::addRow("square metre is no m2") << u"m2"_qs << u"㎡"_qs << u""_qs << qint64(5) << false;

    // Amounts.
    QTest::addRow("whole amount") << u"12"_qs << u""_qs << u""_qs << qint64(1200) << true;
    QTest::addRow("whole amount, cents differ")
        << u"12"_qs << u""_qs << u""_qs << qint64(1250) << false;
    QTest::addRow("amount with one decimal")
        << u"12.5"_qs << u""_qs << u""_qs << qint64(1250) << true;
    QTest::addRow("amount with two decimals")
        << u"12.50"_qs << u""_qs << u""_qs << qint64(1250) << true;
    QTest::addRow("cents are cents") << u"12.05"_qs << u""_qs << u""_qs << qint64(1205) << true;
    QTest::addRow("12.5 is not 12.05") << u"12.5"_qs << u""_qs << u""_qs << qint64(1205) << false;
    QTest::addRow("amount below a cent")
        << u"12.505"_qs << u""_qs << u""_qs << qint64(1250) << false;
    QTest::addRow("yen sign") << u"￥12.5"_qs << u""_qs << u""_qs << qint64(1250) << true;
    QTest::addRow("full-width digits")
        << u"１２．５"_qs << u""_qs << u""_qs << qint64(1250) << true;
    QTest::addRow("grouped amount") << u"1,200"_qs << u""_qs << u""_qs << qint64(120000) << true;
    QTest::addRow("number in the notes")
        << u"2019"_qs << u"修车 2019"_qs << u""_qs << qint64(50000) << true;
    QTest::addRow("full-width number in the notes")
        << u"2019"_qs << u"修车２０１９"_qs << u""_qs << qint64(50000) << true;
    QTest::addRow("number and word")
        << u"电费 12.5"_qs << u"电费"_qs << u""_qs << qint64(1250) << true;

    // Ranges and comparisons.
    QTest::addRow("range low end") << u"100-500"_qs << u""_qs << u""_qs << qint64(10000) << true;
    QTest::addRow("range high end") << u"100-500"_qs << u""_qs << u""_qs << qint64(50000) << true;
    QTest::addRow("range a cent above")
        << u"100-500"_qs << u""_qs << u""_qs << qint64(50001) << false;
    QTest::addRow("range a cent below")
        << u"100-500"_qs << u""_qs << u""_qs << qint64(9999) << false;
    QTest::addRow("range with tilde") << u"100~500"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("range with full-width hyphen")
        << u"100－500"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("range with full-width tilde")
        << u"１００～５００"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("range with wave dash")
        << u"100〜500"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("range with 至") << u"100至500"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("spaced range") << u"100 - 500"_qs << u""_qs << u""_qs << qint64(30000) << true;
    QTest::addRow("range with cents") << u"0.5-1.25"_qs << u""_qs << u""_qs << qint64(125) << true;
    QTest::addRow("range is not a number in the notes")
        << u"100-500"_qs << u"100"_qs << u""_qs << qint64(1) << false;
    QTest::addRow("range as text in the notes")
        << u"100-500"_qs << u"型号100-500"_qs << u""_qs << qint64(1) << true;
    QTest::addRow("reversed range matches no amount")
        << u"500-100"_qs << u""_qs << u""_qs << qint64(30000) << false;
    QTest::addRow("above, at the bound")
        << u">1000"_qs << u""_qs << u""_qs << qint64(100000) << false;
    QTest::addRow("above, a cent over")
        << u">1000"_qs << u""_qs << u""_qs << qint64(100001) << true;
    QTest::addRow("at least, at the bound")
        << u">=1000"_qs << u""_qs << u""_qs << qint64(100000) << true;
    QTest::addRow("full-width above")
        << u"＞１０００"_qs << u""_qs << u""_qs << qint64(100001) << true;
    QTest::addRow("at least sign") << u"≥1000"_qs << u""_qs << u""_qs << qint64(100000) << true;
    QTest::addRow("below, at the bound") << u"<50"_qs << u""_qs << u""_qs << qint64(5000) << false;
    QTest::addRow("below") << u"<50"_qs << u""_qs << u""_qs << qint64(4999) << true;
    QTest::addRow("at most, at the bound")
        << u"<=50"_qs << u""_qs << u""_qs << qint64(5000) << true;
    QTest::addRow("spaced comparison")
        << u"> 1000"_qs << u""_qs << u""_qs << qint64(200000) << true;
    QTest::addRow("equals") << u"=12.5"_qs << u""_qs << u""_qs << qint64(1250) << true;
    QTest::addRow("word and comparison")
        << u"电费 >100"_qs << u"电费"_qs << u""_qs << qint64(20000) << true;
    QTest::addRow("word and comparison, too small")
        << u"电费 >100"_qs << u"电费"_qs << u""_qs << qint64(5000) << false;
}

void TestRecordFilter::match()
{
    QFETCH(QString, typed);
    QFETCH(QString, notes);
    QFETCH(QString, cate);
    QFETCH(qint64, cents);
    QFETCH(bool, matches);
    const TRecordFilter f(typed);
    QCOMPARE(f.match(notes, cate, cents), matches);

    // The path for long lists (texts folded once, the category's terms
    // found once) must agree with the plain one.
    TFoldedTexts folded;
    folded.append(notes);
    folded.append(cate);
    const quint32 cateTerms = f.termsInFolded(folded.at(1));
    QCOMPARE(cateTerms, f.termsIn(cate));
    QCOMPARE(f.matchFolded(folded.at(0), cateTerms, cents), matches);
}

void TestRecordFilter::highlights_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("spans"); // "start:length" in order

    QTest::addRow("nothing typed") << QString() << u"电费"_qs << QString();
    QTest::addRow("no match") << u"水费"_qs << u"电费"_qs << QString();
    QTest::addRow("full-width text at its own places")
        << u"kfc"_qs << u"买ＫＦＣ套餐"_qs << u"1:3"_qs;
    QTest::addRow("every occurrence") << u"ab"_qs << u"ab AB ab"_qs << u"0:2,3:2,6:2"_qs;
    QTest::addRow("overlapping words merge") << u"abc bcd"_qs << u"xabcdx"_qs << u"1:4"_qs;
    QTest::addRow("touching words merge") << u"ab cd"_qs << u"abcd"_qs << u"0:4"_qs;
    QTest::addRow("after a pair of surrogates") << u"电费"_qs << u"😀电费"_qs << u"2:2"_qs;
    QTest::addRow("number in the text") << u"2019"_qs << u"修车 2019 年"_qs << u"3:4"_qs;
    QTest::addRow("full-width number") << u"2019"_qs << u"修车２０１９"_qs << u"2:4"_qs;
    QTest::addRow("range as text") << u"100-500"_qs << u"100-500型号"_qs << u"0:7"_qs;
    QTest::addRow("words in any order") << u"午餐 kfc"_qs << u"KFC午餐"_qs << u"0:5"_qs;
}

void TestRecordFilter::highlights()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(QString, spans);
    QStringList got;
    for (const TTextSpan &s : TRecordFilter(typed).highlights(text))
        got.append(QStringLiteral("%1:%2").arg(s.Start).arg(s.Length));
    QCOMPARE(got.join(u','), spans);
}

void TestRecordFilter::amountMatches()
{
    const TRecordFilter f(u"电费 100-500"_qs);
    QVERIFY(f.amountMatches(20000));
    QVERIFY(!f.amountMatches(60000));
    QVERIFY(!TRecordFilter(u"电费"_qs).amountMatches(20000));
}

void TestRecordFilter::foldedTexts()
{
    TFoldedTexts texts;
    QCOMPARE(texts.append(u"ＡＢ"_qs), 0);
    QCOMPARE(texts.append(QString()), 1);
    QCOMPARE(texts.append(u"Cd"_qs), 2);
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts.at(0).toString(), u"ab"_qs);
    QVERIFY(texts.at(1).isEmpty());
    QCOMPARE(texts.at(2).toString(), u"cd"_qs);
    texts.clear();
    QCOMPARE(texts.size(), 0);
}

void TestRecordFilter::storedTextsDecodeAsShown_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("ASCII") << u"KFC lunch"_qs;
    QTest::addRow("Chinese") << u"缴电费（二楼）"_qs;
    QTest::addRow("four-byte characters") << u"😀电费𠀀"_qs;
    QTest::addRow("full-width letters") << u"ＡＢＣ 12"_qs;
}

void TestRecordFilter::storedTextsDecodeAsShown()
{
    // Every cut of the bytes: the column must hold the shown text folded, or
    // highlight positions found in it would fall beside the words.
    QFETCH(QString, text);
    const QByteArray whole = THi::ToBytes(text);
    TFoldedTexts column;
    for (int cut = 0; cut <= whole.size(); ++cut) {
        const QByteArray b64 = whole.left(cut).toBase64();
        const int i = column.appendStored(b64);
        QCOMPARE(column.at(i).toString(), TTextFold::Fold(THi::Base64DecodeBytes(b64)));
    }
    // Older releases broke base64 into lines.
    QByteArray broken = whole.toBase64();
    broken.insert(4, "\r\n");
    const int i = column.appendStored(broken);
    QCOMPARE(column.at(i).toString(), TTextFold::Fold(text));
}

void TestRecordFilter::randomBytesDecodeAsShown()
{
    QRandomGenerator rng(22);
    TFoldedTexts column;
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        const int n = int(rng.bounded(1, 12));
        for (int k = 0; k < n; ++k) {
            // Mostly lead and trail ranges, so that whole, cut and invalid
            // sequences all come up.
            const quint32 pick = rng.bounded(4);
            bytes.append(char(pick == 0   ? rng.bounded(0x30, 0x3A)
                              : pick == 1 ? rng.bounded(0x20, 0x7F)
                                          : rng.bounded(0x80, 0x100)));
        }
        const QByteArray b64 = bytes.toBase64();
        const int i = column.appendStored(b64);
        if (column.at(i).toString() != TTextFold::Fold(THi::Base64DecodeBytes(b64)))
            QFAIL(qPrintable(QStringLiteral("bytes %1 decode otherwise")
                                 .arg(QString::fromLatin1(bytes.toHex(' ')))));
    }
}

QTEST_GUILESS_MAIN(TestRecordFilter)
#include "tst_RecordFilter.moc"
