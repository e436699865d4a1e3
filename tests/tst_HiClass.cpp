#include "HiClass.h"
#include "SafeFile.h"

#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

class TestHiClass : public QObject {
    Q_OBJECT

private slots:
    void base64Encode_data();
    void base64Encode();
    void base64Decode_data();
    void base64Decode();
    void base64RoundTrip_data();
    void base64RoundTrip();
    void cutCharacterShows_data();
    void cutCharacterShows();
    void isStoredText_data();
    void isStoredText();
    void gb18030CheckAgreesWithTheDecoder();
    void dates_data();
    void dates();
    void typedDate_data();
    void typedDate();
    void trim_data();
    void trim();
    void lowerAscii();
    void visibleText_data();
    void visibleText();
    void cateName_data();
    void cateName();
    void umaskMode_data();
    void umaskMode();
    void isNumber_data();
    void isNumber();
    void isAmount_data();
    void isAmount();
    void amountCents_data();
    void amountCents();
    void shares_data();
    void shares();
    void formatting_data();
    void formatting();
    void files();
    void fileErrors_data();
    void fileErrors();
    void fileErrorWithoutAFile();
    void splitParams_data();
    void splitParams();
    void appDataDir();
    void chineseLocale_data();
    void chineseLocale();
};

void TestHiClass::base64Encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addRow("empty") << QString() << QString();
    QTest::addRow("one byte pads ==") << "A"
                                      << "QQ==";
    QTest::addRow("two bytes pad =") << "AB"
                                     << "QUI=";
    QTest::addRow("three bytes no pad") << "ABC"
                                        << "QUJD";
    QTest::addRow("quote") << "O'Neil"
                           << "TydOZWls";
    // GB18030 bytes D6 D0 CE C4: two bytes a character, as GBK.
    QTest::addRow("chinese") << QStringLiteral("中文") << "1tDOxA==";
}

void TestHiClass::base64Encode()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(THi::Base64Encode(text), expected);
}

void TestHiClass::base64Decode_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::addRow("plain") << "QUJD"
                           << "ABC";
    QTest::addRow("padding") << "QQ=="
                             << "A";
    QTest::addRow("line breaks and blanks skipped") << "QU\r\nJD IE\tRF"
                                                    << "ABC DE";
    QTest::addRow("foreign characters skipped") << "Q*U!J-D"
                                                << "ABC";
    QTest::addRow("chinese") << "1tDOxA==" << QStringLiteral("中文");
    QTest::addRow("empty") << QString() << QString();
}

void TestHiClass::base64Decode()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QCOMPARE(THi::Base64Decode(stored), expected);
}

void TestHiClass::base64RoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("encodedLength");
    QTest::addRow("57 bytes: exactly one old line") << QString(57, QLatin1Char('x')) << 76;
    QTest::addRow("58 bytes: 80 chars ending ==") << QString(58, QLatin1Char('x')) << 80;
    QTest::addRow("long text") << QString(500, QLatin1Char('q')) << 668;
    QTest::addRow("chinese is two bytes a char") << QString(30, QChar(0x4E2D)) << 80;
    QTest::addRow("emoji outside GBK") << QString::fromUtf8("记账 😀 ok") << 16;
    QTest::addRow("full-width letters") << QString::fromUtf8("ＡＢＣ") << 8;
}

void TestHiClass::base64RoundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, encodedLength);
    const QString stored = THi::Base64Encode(text);
    QCOMPARE(stored.size(), encodedLength);
    QVERIFY(!stored.contains(QLatin1Char('\r')) && !stored.contains(QLatin1Char('\n')));
    QCOMPARE(THi::Base64Decode(stored), text);

    // The same text broken into 76-character lines decodes the same.
    QString broken;
    for (int i = 0; i < stored.size(); i += 76)
        broken += stored.mid(i, 76) + QStringLiteral("\r\n");
    QCOMPARE(THi::Base64Decode(broken), text);
}

void TestHiClass::cutCharacterShows_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    const QChar bad(QChar::ReplacementCharacter);
    // 中 is D6 D0; U+20000 is 95 32 82 36.
    QTest::addRow("two-byte character cut")
        << QByteArray("A\xD6\xD0\xD6") << QStringLiteral("A中") + bad;
    QTest::addRow("only a lead byte") << QByteArray("\x95") << QString(bad);
    QTest::addRow("four-byte character cut after 3")
        << QByteArray("x\x95\x32\x82") << QStringLiteral("x") + bad;
    QTest::addRow("whole four-byte character")
        << QByteArray("x\x95\x32\x82\x36")
        << QStringLiteral("x") + QString::fromUcs4(U"\U00020000");
    QTest::addRow("whole text") << QByteArray("\xD6\xD0\xCE\xC4") << QStringLiteral("中文");
}

void TestHiClass::cutCharacterShows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(THi::FromBytes(bytes), shown);
    QCOMPARE(THi::Base64Decode(QString::fromLatin1(bytes.toBase64())), shown);
    QCOMPARE(THi::IsGb18030(bytes), !shown.contains(QChar(QChar::ReplacementCharacter)));
}

void TestHiClass::isStoredText_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<bool>("sound");
    QTest::addRow("empty") << QByteArray() << true;
    QTest::addRow("ascii") << QByteArray("QUJD") << true;
    QTest::addRow("chinese") << QByteArray("1tDOxA==") << true;
    QTest::addRow("one pad") << QByteArray("QUI=") << true;
    QTest::addRow("old 76-character lines")
        << (QByteArray(57, 'x').toBase64().insert(76, "\r\n") + QByteArray("eA==\r\n")) << true;
    QTest::addRow("cut character") << QByteArray("1tDO") << false;
    QTest::addRow("cut four-byte character") << QByteArray("lTKC") << false;
    QTest::addRow("byte 0x80") << QByteArray("gA==") << false;
    QTest::addRow("beyond U+10FFFF") << QByteArray("/jn+OQ==") << false;
    QTest::addRow("blank inside") << QByteArray("QU JD") << false;
    QTest::addRow("foreign character") << QByteArray("Q*UJD") << false;
    QTest::addRow("missing padding") << QByteArray("QQ") << false;
    QTest::addRow("padding too early") << QByteArray("QQ==QUJD") << false;
    QTest::addRow("three pads") << QByteArray("Q===") << false;
    QTest::addRow("unused bits set") << QByteArray("QR==") << false;
    QTest::addRow("text with a quote") << QByteArray("it's") << false;
}

void TestHiClass::isStoredText()
{
    QFETCH(QByteArray, stored);
    QFETCH(bool, sound);
    QCOMPARE(THi::IsStoredText(stored), sound);
}

void TestHiClass::gb18030CheckAgreesWithTheDecoder()
{
    // Every two-byte form, and every four-byte form of the first planes and
    // around their ends: the quick check and the converter agree.
    auto decoderSays = [](const QByteArray &b) {
        QStringDecoder d("GB18030", QStringDecoder::Flag::Stateless);
        const QString s = d.decode(b);
        // 84 31 A4 37 is U+FFFD itself.
        return !d.hasError() && (!s.contains(QChar(QChar::ReplacementCharacter)) ||
                                 b == QByteArray("\x84\x31\xA4\x37"));
    };
    int checked = 0;
    for (int b1 = 0x80; b1 <= 0xFF; ++b1) {
        for (int b2 = 0x30; b2 <= 0xFF; ++b2) {
            const QByteArray b{char(b1), char(b2)};
            if (b2 <= 0x39)
                continue;
            QVERIFY2(THi::IsGb18030(b) == decoderSays(b), b.toHex().constData());
            ++checked;
        }
    }
    auto four = [](long linear) {
        QByteArray b(4, '\0');
        b[3] = char(0x30 + linear % 10);
        linear /= 10;
        b[2] = char(0x81 + linear % 126);
        linear /= 126;
        b[1] = char(0x30 + linear % 10);
        b[0] = char(0x81 + linear / 10);
        return b;
    };
    for (long linear = 0; linear < 39420 + 200; ++linear) {
        const QByteArray b = four(linear);
        QVERIFY2(THi::IsGb18030(b) == decoderSays(b), b.toHex().constData());
        ++checked;
    }
    for (long linear = 189000 - 50; linear < 189000 + 0x110000 + 50; linear += 997) {
        const QByteArray b = four(linear);
        QVERIFY2(THi::IsGb18030(b) == decoderSays(b), b.toHex().constData());
        ++checked;
    }
    QVERIFY(checked > 60000);
}

void TestHiClass::dates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: must raise
    QTest::addRow("ordinary") << "2011-04-12" << QDate(2011, 4, 12);
    QTest::addRow("leap day") << "2012-02-29" << QDate(2012, 2, 29);
    QTest::addRow("single digits") << "2011-4-2" << QDate(2011, 4, 2);
    QTest::addRow("slashes") << "2011/04/12" << QDate();
    QTest::addRow("no leap day") << "2011-02-29" << QDate();
    QTest::addRow("month 13") << "2011-13-01" << QDate();
    QTest::addRow("day 0") << "2011-01-00" << QDate();
    QTest::addRow("trailing junk") << "2011-04-12x" << QDate();
    QTest::addRow("time part") << "2011-04-12 10:00" << QDate();
    QTest::addRow("day first") << "12-04-2011" << QDate();
    QTest::addRow("sign") << "+2011-04-12" << QDate();
    QTest::addRow("empty") << "" << QDate();
}

void TestHiClass::dates()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    if (expected.isValid()) {
        QCOMPARE(THi::YmdToDate(text), expected);
        return;
    }
    try {
        THi::YmdToDate(text);
        QFAIL("no error raised");
    } catch (const EConvertError &e) {
        QCOMPARE(e.text(), QStringLiteral("'%1' is not a valid date").arg(text));
    }
}

void TestHiClass::typedDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid: not a date
    QTest::addRow("eight digits") << "20261201" << QDate(2026, 12, 1);
    QTest::addRow("dashes") << "2026-12-01" << QDate(2026, 12, 1);
    QTest::addRow("single digits") << "2026-1-5" << QDate(2026, 1, 5);
    QTest::addRow("slashes") << "2026/12/01" << QDate(2026, 12, 1);
    QTest::addRow("dots") << "2026.12.1" << QDate(2026, 12, 1);
    QTest::addRow("blanks around") << " 20120229 " << QDate(2012, 2, 29);
    QTest::addRow("no leap day") << "20110229" << QDate();
    QTest::addRow("month 13") << "2026-13-01" << QDate();
    QTest::addRow("day 0") << "20261200" << QDate();
    QTest::addRow("mixed separators") << "2026-12/01" << QDate();
    QTest::addRow("seven digits") << "2026121" << QDate();
    QTest::addRow("nine digits") << "202612011" << QDate();
    QTest::addRow("year only") << "2026" << QDate();
    QTest::addRow("two-digit year") << "26-12-01" << QDate();
    QTest::addRow("three-digit day") << "2026-12-001" << QDate();
    QTest::addRow("full-width digits") << QStringLiteral("２０２６１２０１") << QDate();
    QTest::addRow("letters") << "2026-de-01" << QDate();
    QTest::addRow("empty") << "" << QDate();
}

void TestHiClass::typedDate()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);
    const QDate d = THi::TypedDate(text);
    QCOMPARE(d.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(d, expected);
}

void TestHiClass::trim_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addRow("blanks") << "  a b  "
                            << "a b";
    QTest::addRow("controls") << "\t\r\na\x01"
                              << "a";
    QTest::addRow("full-width space stays")
        << QString::fromUtf8("\u3000a\u3000") << QString::fromUtf8("\u3000a\u3000");
    QTest::addRow("only blanks") << " \t "
                                 << "";
    QTest::addRow("nbsp stays") << QString::fromUtf8("\u00a0x") << QString::fromUtf8("\u00a0x");
}

void TestHiClass::trim()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(THi::Trim(text), expected);
}

void TestHiClass::lowerAscii()
{
    QCOMPARE(THi::LowerAscii(QStringLiteral("TOM Li")), QStringLiteral("tom li"));
    // Only A-Z fold: full-width and accented capitals stay.
    QCOMPARE(THi::LowerAscii(QString::fromUtf8("ＴＯＭ Ä 中")), QString::fromUtf8("ＴＯＭ Ä 中"));
}

void TestHiClass::isNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::addRow("integer") << "12" << true << 12.0;
    QTest::addRow("decimal") << "12.5" << true << 12.5;
    QTest::addRow("leading point") << ".5" << true << 0.5;
    QTest::addRow("trailing point") << "5." << true << 5.0;
    QTest::addRow("signs") << "-3.25" << true << -3.25;
    QTest::addRow("plus sign") << "+7" << true << 7.0;
    QTest::addRow("exponent") << "1.5e2" << true << 150.0;
    QTest::addRow("negative exponent") << "25E-1" << true << 2.5;
    QTest::addRow("empty") << "" << false << 0.0;
    QTest::addRow("point only") << "." << false << 0.0;
    QTest::addRow("sign only") << "-" << false << 0.0;
    QTest::addRow("two points") << "1.2.3" << false << 0.0;
    QTest::addRow("letters") << "abc" << false << 0.0;
    QTest::addRow("trailing junk") << "12a" << false << 0.0;
    QTest::addRow("inner blank") << "1 2" << false << 0.0;
    QTest::addRow("inf") << "inf" << false << 0.0;
    QTest::addRow("nan") << "nan" << false << 0.0;
    QTest::addRow("hex") << "0x10" << false << 0.0;
    QTest::addRow("thousands separator") << "1,000" << false << 0.0;
    QTest::addRow("comma decimal") << "1,5" << false << 0.0;
    QTest::addRow("bare exponent") << "1e" << false << 0.0;
    QTest::addRow("overflow") << "1e999" << false << 0.0;
    QTest::addRow("underflow") << "1e-999" << false << 0.0;
    QTest::addRow("full-width digits") << QString::fromUtf8("１２") << false << 0.0;
}

void TestHiClass::isNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(double, value);
    double v = -1;
    QCOMPARE(THi::IsNumber(text, &v), ok);
    if (ok)
        QCOMPARE(v, value);
}

void TestHiClass::isAmount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addRow("one cent") << "0.01" << true;
    QTest::addRow("blanks around") << "  12.5 " << true;
    QTest::addRow("below a cent") << "0.009" << false;
    QTest::addRow("zero") << "0" << false;
    QTest::addRow("negative") << "-5" << false;
    QTest::addRow("largest") << "9999999999.99" << true;
    QTest::addRow("ten billion") << "1e10" << false;
    // Checked as kept, in cents.
    QTest::addRow("rounds up to ten billion") << "9999999999.995" << false;
    QTest::addRow("rounds down below the bound") << "9999999999.994" << true;
    QTest::addRow("largest with more decimals") << "9999999999.9949" << true;
    QTest::addRow("rounds up to ten billion, exponent") << "9.9999999999995e9" << false;
    QTest::addRow("below a cent though it rounds up") << "0.0051" << false;
    QTest::addRow("blank") << "  " << false;
}

void TestHiClass::isAmount()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QCOMPARE(THi::IsAmount(text), ok);
}

void TestHiClass::amountCents_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint64>("cents");
    QTest::addRow("whole") << "12" << qint64(1200);
    QTest::addRow("one decimal") << "0.1" << qint64(10);
    // Times 100 these round up; as kept (a little below the half cent) they print down.
    QTest::addRow("0.015 prints as 0.01") << "0.015" << qint64(1);
    QTest::addRow("1.005 prints as 1.00") << "1.005" << qint64(100);
    QTest::addRow("2.675 prints as 2.67") << "2.675" << qint64(267);
    QTest::addRow("exactly half a cent rounds up") << "0.125" << qint64(13);
    QTest::addRow("above half a cent") << "0.0051" << qint64(1);
    QTest::addRow("largest") << "9999999999.99" << qint64(999999999999);
    QTest::addRow("negative") << "-3.456" << qint64(-346);
    QTest::addRow("exponent") << "1.5e3" << qint64(150000);
}

void TestHiClass::amountCents()
{
    QFETCH(QString, typed);
    QFETCH(qint64, cents);
    double v = 0;
    QVERIFY(THi::IsNumber(typed, &v));
    QCOMPARE(THi::AmountCents(v), cents);
    // What is kept is what was shown.
    QCOMPARE(THi::FormatCents(THi::AmountCents(v)), THi::FormatFloat(v));
}

void TestHiClass::shares_data()
{
    QTest::addColumn<qint64>("part");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("shown");
    QTest::addRow("whole") << qint64(3000) << qint64(4000) << "75.00%";
    QTest::addRow("a third") << qint64(1) << qint64(3) << "33.33%";
    QTest::addRow("zero total") << qint64(5) << qint64(0) << "0.00%";
    QTest::addRow("zero part") << qint64(0) << qint64(700) << "0.00%";
    QTest::addRow("an exact half rounds up") << qint64(1) << qint64(32) << "3.13%";
    QTest::addRow("negative part") << qint64(-500) << qint64(500) << "-100.00%";
}

void TestHiClass::shares()
{
    QFETCH(qint64, part);
    QFETCH(qint64, total);
    QFETCH(QString, shown);
    QCOMPARE(THi::FormatShare(part, total), shown);
    QCOMPARE(THi::FormatFloat(THi::SharePercent(part, total)) + QLatin1Char('%'), shown);
}

void TestHiClass::formatting_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<QString>("expected");
    QTest::addRow("no thousands separator") << 1234.5 << qint64(123450) << "1234.50";
    QTest::addRow("zero") << 0.0 << qint64(0) << "0.00";
    QTest::addRow("one cent") << 0.01 << qint64(1) << "0.01";
    QTest::addRow("negative") << -3.07 << qint64(-307) << "-3.07";
    QTest::addRow("negative below one") << -0.5 << qint64(-50) << "-0.50";
    QTest::addRow("large") << 98765432.1 << qint64(9876543210) << "98765432.10";
}

void TestHiClass::formatting()
{
    QFETCH(double, value);
    QFETCH(qint64, cents);
    QFETCH(QString, expected);
    QCOMPARE(THi::FormatFloat(value), expected);
    QCOMPARE(THi::FormatCents(cents), expected);
}

void TestHiClass::files()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("page.html"));
    const QByteArray bytes("\xd6\xd0\x00\xff tail", 8);
    THi::SaveFile(name, bytes);
    QCOMPARE(THi::LoadFile(name), bytes);
    THi::SaveFile(name, "x"); // truncates
    QCOMPARE(THi::LoadFile(name), QByteArray("x"));

    QVERIFY_THROWS_EXCEPTION(EResNotFound, THi::ResourceText(QStringLiteral("RES_NOTHING")));
}

void TestHiClass::fileErrors_data()
{
    QTest::addColumn<QString>("operation"); // load, save or folder
    QTest::addColumn<QString>("target");    // relative to a temporary folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("what"); // the first sentence, %1 the path
    QTest::addColumn<QString>("todo"); // a phrase of the advice
    QTest::addRow("missing file") << "load"
                                  << "missing.html" << ENOENT
                                  << QStringLiteral("无法读取文件“%1”。")
                                  << QStringLiteral("不存在");
    QTest::addRow("a folder read as a file")
        << "load"
        << "folder" << EISDIR << QStringLiteral("无法读取文件“%1”。") << QStringLiteral("文件夹");
    QTest::addRow("save into a missing folder")
        << "save"
        << "no/such/dir/page.html" << ENOENT << QStringLiteral("无法写入文件“%1”。")
        << QStringLiteral("文件夹不存在");
    QTest::addRow("save over a folder")
        << "save"
        << "folder" << EISDIR << QStringLiteral("无法写入文件“%1”。") << QStringLiteral("文件夹");
    QTest::addRow("data folder under a file")
        << "folder"
        << "plain-file/share" << ENOTDIR << QStringLiteral("无法创建文件夹“%1”。")
        << QStringLiteral("文件夹不存在");
}

void TestHiClass::fileErrors()
{
    QFETCH(QString, operation);
    QFETCH(QString, target);
    QFETCH(int, code);
    QFETCH(QString, what);
    QFETCH(QString, todo);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    THi::SaveFile(dir.filePath(QStringLiteral("plain-file")), "x");
    QString path = dir.filePath(target);

    try {
        if (operation == QStringLiteral("load")) {
            THi::LoadFile(path);
        } else if (operation == QStringLiteral("save")) {
            THi::SaveFile(path, "x");
        } else {
            qputenv("XDG_DATA_HOME", QFile::encodeName(path));
            path += QStringLiteral("/Tallimo");
            THi::AppDataDir(QStringLiteral("Tallimo"));
        }
        QFAIL("no error raised");
    } catch (const EInOutError &e) {
        QCOMPARE(e.code(), code);
        QCOMPARE(e.path(), path);
        // What happened to which file, what to do, then the system's own words.
        const QStringList lines = e.text().split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), what.arg(path));
        QVERIFY2(lines.value(1).contains(todo), qPrintable(lines.value(1)));
        QCOMPARE(lines.value(2), QString());
        QCOMPARE(lines.value(3), QStringLiteral("详细信息：%1（I/O error %2）")
                                     .arg(QString::fromLocal8Bit(std::strerror(code)))
                                     .arg(code));
    }
}

void TestHiClass::fileErrorWithoutAFile()
{
    // Errors that know no file (raised by other parts) still speak Chinese.
    const EInOutError e(ENOSPC);
    QVERIFY(e.text().startsWith(QStringLiteral("文件读写失败。\n磁盘空间已满")));
    QVERIFY(e.text().endsWith(QStringLiteral("（I/O error %1）").arg(ENOSPC)));
}

void TestHiClass::splitParams_data()
{
    QTest::addColumn<QString>("params");
    QTest::addColumn<QStringList>("args");
    QTest::addRow("empty") << "" << QStringList();
    QTest::addRow("quoted path with blanks")
        << "\"/home/li/my backups/may.tlmdb\""
        << QStringList{QStringLiteral("/home/li/my backups/may.tlmdb")};
    QTest::addRow("two words") << "a b" << QStringList{QStringLiteral("a"), QStringLiteral("b")};
}

void TestHiClass::splitParams()
{
    QFETCH(QString, params);
    QFETCH(QStringList, args);
    QCOMPARE(THi::SplitParams(params), args);
}

void TestHiClass::appDataDir()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("deep/share"))));
    QCoreApplication::setApplicationName(QStringLiteral("TitleOfApp"));
    // The base folder may not exist yet on a fresh account.
    QCOMPARE(THi::AppDataDir(QStringLiteral("Tallimo")),
             home.filePath(QStringLiteral("deep/share/Tallimo")));
    QVERIFY(QFileInfo(home.filePath(QStringLiteral("deep/share/Tallimo"))).isDir());
    QCOMPARE(THi::AppDataDir(QString()), home.filePath(QStringLiteral("deep/share/TitleOfApp")));
}

void TestHiClass::chineseLocale_data()
{
    // Qt's own texts as the widgets ask for them, whatever the system locale.
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::addRow("dialog button") << "QPlatformTheme"
                                   << "Cancel" << QStringLiteral("取消");
    QTest::addRow("file dialog") << "QFileDialog"
                                 << "Look in:" << QStringLiteral("查找范围：");
    QTest::addRow("file list column") << "QFileSystemModel"
                                      << "Name" << QStringLiteral("名称");
    // Kept by Qt 6.4's catalog under the file dialog's old context.
    QTest::addRow("file type of a folder") << "QAbstractFileIconProvider"
                                           << "Folder" << QStringLiteral("文件夹");
    QTest::addRow("file type of a suffix") << "QAbstractFileIconProvider"
                                           << "%1 File" << QStringLiteral("%1 文件");
}

void TestHiClass::chineseLocale()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QVERIFY2(THi::UseChineseLocale(), "qtbase_zh_CN.qm is missing (package qt6-translations-l10n)");
    QVERIFY(THi::UseChineseLocale()); // a second call is harmless
    QCOMPARE(QLocale().name(), QStringLiteral("zh_CN"));
    // The calendar popup's day names come from the default locale.
    QCOMPARE(QLocale().dayName(1, QLocale::ShortFormat), QStringLiteral("周一"));
    QCOMPARE(QCoreApplication::translate(context.toLatin1(), source.toLatin1()), expected);
}

void TestHiClass::visibleText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addRow("plain text unchanged")
        << QStringLiteral("餐饮 abc") << QStringLiteral("餐饮 abc");
    QTest::addRow("NUL") << QString(QStringLiteral("a") + QChar(0) + QStringLiteral("b"))
                         << QStringLiteral("a\u2400b");
    QTest::addRow("C0 controls") << QStringLiteral("\x01\x07\x1B\x1F")
                                 << QStringLiteral("\u2401\u2407\u241B\u241F");
    QTest::addRow("tab and line breaks kept")
        << QStringLiteral("a\tb\r\nc") << QStringLiteral("a\tb\r\nc");
    QTest::addRow("DEL") << QStringLiteral("x\x7Fy") << QStringLiteral("x\u2421y");
    QTest::addRow("C1 controls") << QStringLiteral("\u0080\u0085\u009F")
                                 << QStringLiteral("\uFFFD\uFFFD\uFFFD");
    QTest::addRow("next to them unchanged")
        << QStringLiteral("\u00A0\u00FF ~") << QStringLiteral("\u00A0\u00FF ~");
    QTest::addRow("empty") << QString() << QString();
}

void TestHiClass::visibleText()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(THi::VisibleText(text), shown);
}

void TestHiClass::cateName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("name"); // empty: refused
    QTest::addRow("plain") << QStringLiteral("餐饮") << QStringLiteral("餐饮");
    QTest::addRow("trimmed") << QStringLiteral("  餐饮\t") << QStringLiteral("餐饮");
    QTest::addRow("inner blank kept") << QStringLiteral("Eating out") << "Eating out";
    QTest::addRow("blank") << QStringLiteral(" \t ") << QString();
    QTest::addRow("line break") << QStringLiteral("a\nb") << QString();
    QTest::addRow("carriage return") << QStringLiteral("a\rb") << QString();
}

void TestHiClass::cateName()
{
    QFETCH(QString, typed);
    QFETCH(QString, name);
    QCOMPARE(THi::CateName(typed), name);
}

void TestHiClass::umaskMode_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("mode");
    QTest::addRow("private") << 077 << 0600;
    QTest::addRow("usual") << 022 << 0644;
    QTest::addRow("group") << 002 << 0664;
    QTest::addRow("none") << 0 << 0666;
}

void TestHiClass::umaskMode()
{
    QFETCH(int, mask);
    QFETCH(int, mode);
    const mode_t old = ::umask(mode_t(mask));
    const QFileDevice::Permissions p = TSafeFile::UmaskMode();
    ::umask(old);
    const struct {
        int bit;
        QFileDevice::Permission flag;
    } bits[] = {{0400, QFileDevice::ReadOwner}, {0200, QFileDevice::WriteOwner},
                {0040, QFileDevice::ReadGroup}, {0020, QFileDevice::WriteGroup},
                {0004, QFileDevice::ReadOther}, {0002, QFileDevice::WriteOther}};
    for (const auto &b : bits)
        QCOMPARE(p.testFlag(b.flag), (mode & b.bit) != 0);
    QVERIFY(!(p & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther)));
    QCOMPARE(::umask(old), old); // left as it was
}

QTEST_GUILESS_MAIN(TestHiClass)
#include "tst_HiClass.moc"
