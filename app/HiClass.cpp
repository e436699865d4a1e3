#include "HiClass.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringConverter>
#include <QTranslator>
#include <QVarLengthArray>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

EInOutError::EInOutError(Action action, const QString &path, int code)
    : TError(Describe(action, path, code)), m_code(code), m_path(path)
{
}

QString EInOutError::Describe(Action action, const QString &path, int code)
{
    const QString file = QDir::toNativeSeparators(path);
    QString what;
    switch (action) {
    case Read:
        what = QStringLiteral("无法读取文件“%1”。").arg(file);
        break;
    case Write:
        what = QStringLiteral("无法写入文件“%1”。").arg(file);
        break;
    case CreateFolder:
        what = QStringLiteral("无法创建文件夹“%1”。").arg(file);
        break;
    case Other:
        what = file.isEmpty() ? QStringLiteral("文件读写失败。")
                              : QStringLiteral("文件“%1”读写失败。").arg(file);
        break;
    }
    // What to do depends most on the cause; the action gives the fallback.
    QString todo;
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        todo = action == Read ? QStringLiteral("该文件不存在或已被移走，请确认它的位置。")
                              : QStringLiteral("路径中的文件夹不存在，请选择一个已有的文件夹。");
        break;
    case EISDIR:
        todo = QStringLiteral("这是一个文件夹而不是文件，请选择或输入一个文件名。");
        break;
    case EACCES:
    case EPERM:
        todo = QStringLiteral("您没有相应的权限，请检查该文件和所在文件夹的权限。");
        break;
    case EROFS:
        todo = QStringLiteral("该位置只能读不能写，请换一个位置。");
        break;
    case ENOSPC:
    case EDQUOT:
        todo = QStringLiteral("磁盘空间已满，请腾出空间后再试。");
        break;
    case EEXIST:
        todo = QStringLiteral("同名的文件已经存在，请换一个名称。");
        break;
    default:
        todo = action == Read ? QStringLiteral("请确认该文件完好并且您有读取它的权限。")
                              : QStringLiteral("请确认磁盘还有空间，并且您有写入的权限。");
        break;
    }
    return QStringLiteral("%1\n%2\n\n详细信息：%3（I/O error %4）")
        .arg(what, todo, qt_error_string(code))
        .arg(code);
}

// ---------------------------------------------------------------------------
// Stored text form

namespace {

enum Gb18030Form { Gb18030Whole, Gb18030Invalid, Gb18030Cut };

// GB18030 is one byte below 0x80; two bytes, a lead 81-FE and a trail 40-7E
// or 80-FE; or four bytes 81-FE 30-39 81-FE 30-39, of which only the ranges
// for U+0080..U+FFFF and U+10000..U+10FFFF are characters.
Gb18030Form gb18030Scan(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    auto lead = [](unsigned b) { return b >= 0x81 && b <= 0xFE; };
    auto digit = [](unsigned b) { return b >= 0x30 && b <= 0x39; };
    for (qsizetype i = 0; i < n;) {
        const unsigned b1 = p[i];
        if (b1 < 0x80) {
            ++i;
            continue;
        }
        if (!lead(b1))
            return Gb18030Invalid;
        if (i + 1 >= n)
            return Gb18030Cut;
        const unsigned b2 = p[i + 1];
        if ((b2 >= 0x40 && b2 <= 0x7E) || (b2 >= 0x80 && b2 <= 0xFE)) {
            i += 2;
            continue;
        }
        if (!digit(b2))
            return Gb18030Invalid;
        if (i + 2 >= n)
            return Gb18030Cut;
        const unsigned b3 = p[i + 2];
        if (!lead(b3))
            return Gb18030Invalid;
        if (i + 3 >= n)
            return Gb18030Cut;
        const unsigned b4 = p[i + 3];
        if (!digit(b4))
            return Gb18030Invalid;
        const long linear =
            ((long(b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
        constexpr long lastBmp = 39419;      // 84 31 A4 39 is U+FFFF
        constexpr long firstPlane1 = 189000; // 90 30 81 30 is U+10000
        if (linear > lastBmp && (linear < firstPlane1 || linear >= firstPlane1 + 0x100000))
            return Gb18030Invalid;
        i += 4;
    }
    return Gb18030Whole;
}

} // namespace

QByteArray THi::ToBytes(const QString &text)
{
    // Pure ASCII is the common case (and identical in GB18030); skip the converter.
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return text.toLatin1();
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

QString THi::FromBytes(const QByteArray &bytes)
{
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(bytes);
    QStringDecoder decoder("GB18030");
    QString text = decoder.decode(bytes);
    // The decoder keeps a cut last character for more bytes that never come;
    // show that something was there.
    if (gb18030Scan(bytes) == Gb18030Cut)
        text += QChar(QChar::ReplacementCharacter);
    return text;
}

bool THi::IsGb18030(QByteArrayView bytes)
{
    return gb18030Scan(bytes) == Gb18030Whole;
}

QString THi::Base64Encode(const QString &text)
{
    // Qt writes no line breaks, which is exactly the stored form.
    return QString::fromLatin1(ToBytes(text).toBase64());
}

QString THi::Base64Decode(const QString &text)
{
    return Base64DecodeBytes(text.toLatin1());
}

namespace {
// 0..63 for the alphabet, 64 for '=', -1 for everything that is skipped.
struct DecodeTable {
    int v[256];
    DecodeTable()
    {
        std::memset(v, -1, sizeof v);
        const char *abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            v[static_cast<unsigned char>(abc[i])] = i;
        v[static_cast<unsigned char>('=')] = 64;
    }
};
const DecodeTable decodeTable;
} // namespace

bool THi::IsStoredText(QByteArrayView base64)
{
    // Groups of four alphabet characters; "=" only to fill the last group,
    // and the bits it leaves unused are zero, as every encoder writes them.
    // Called for every imported text: short ones decode without the heap.
    QVarLengthArray<char, 256> bytes;
    bytes.reserve(base64.size() * 3 / 4 + 3);
    int group[4];
    int n = 0, pad = 0;
    for (char ch : base64) {
        if (ch == '\r' || ch == '\n')
            continue;
        const int v = decodeTable.v[static_cast<unsigned char>(ch)];
        if (v < 0)
            return false;
        if (v == 64) {
            if (n < 2)
                return false;
            ++pad;
            group[n++] = 0;
        } else {
            if (pad > 0)
                return false;
            group[n++] = v;
        }
        if (n == 4) {
            const unsigned bits =
                unsigned(group[0] << 18 | group[1] << 12 | group[2] << 6 | group[3]);
            bytes.append(char(bits >> 16));
            if (pad < 2)
                bytes.append(char(bits >> 8 & 0xff));
            if (pad < 1)
                bytes.append(char(bits & 0xff));
            if ((pad == 1 && (bits & 0xff) != 0) || (pad == 2 && (bits & 0xffff) != 0))
                return false;
            n = 0;
            if (pad > 0)
                break;
        }
    }
    if (n != 0)
        return false;
    // Nothing may follow the padding but line breaks.
    if (pad > 0) {
        const qsizetype end = base64.size();
        qsizetype i = base64.lastIndexOf('=') + 1;
        for (; i < end; ++i) {
            if (base64[i] != '\r' && base64[i] != '\n')
                return false;
        }
    }
    return IsGb18030(QByteArrayView(bytes.constData(), bytes.size()));
}

QString THi::Base64DecodeBytes(const QByteArray &base64)
{
    QByteArray out;
    out.reserve(base64.size() * 3 / 4 + 3);
    int group[4];
    int n = 0;
    auto flush = [&](int count) {
        // A group yields up to three bytes; '=' in the third or fourth place ends it early.
        auto val = [&](int i) { return group[i] == 64 ? 0 : group[i]; };
        if (count < 2 || group[0] == 64 || group[1] == 64)
            return;
        out.append(char((val(0) << 2) | (val(1) >> 4)));
        if (count < 3 || group[2] == 64)
            return;
        out.append(char(((val(1) & 0x0f) << 4) | (val(2) >> 2)));
        if (count < 4 || group[3] == 64)
            return;
        out.append(char(((val(2) & 0x03) << 6) | val(3)));
    };
    for (char ch : base64) {
        const int v = decodeTable.v[static_cast<unsigned char>(ch)];
        if (v < 0)
            continue;
        group[n++] = v;
        if (n == 4) {
            flush(4);
            n = 0;
        }
    }
    if (n > 0)
        flush(n);
    return FromBytes(out);
}

// ---------------------------------------------------------------------------
// Dates

QDate THi::StrToDateFmt(const QString &text, const QString &format, const QString &separator)
{
    const auto fail = [&]() {
        return EConvertError(QStringLiteral("'%1' is not a valid date").arg(text));
    };
    const QChar sep = separator.isEmpty() ? QLatin1Char('-') : separator.at(0);

    // The order of year, month and day comes from the format's letters.
    QString order;
    for (QChar c : format.toLower()) {
        if ((c == QLatin1Char('y') || c == QLatin1Char('m') || c == QLatin1Char('d')) &&
            !order.contains(c))
            order.append(c);
    }
    if (order.size() != 3)
        throw fail();

    const QStringList parts = Trim(text).split(sep);
    if (parts.size() != 3)
        throw fail();
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 3; ++i) {
        const QString &p = parts.at(i);
        const int maxLen = order.at(i) == QLatin1Char('y') ? 4 : 2;
        if (p.isEmpty() || p.size() > maxLen)
            throw fail();
        for (QChar c : p) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                throw fail();
        }
        const int v = p.toInt();
        if (order.at(i) == QLatin1Char('y'))
            y = v;
        else if (order.at(i) == QLatin1Char('m'))
            m = v;
        else
            d = v;
    }
    const QDate date(y, m, d);
    if (y < 1 || !date.isValid())
        throw fail();
    return date;
}

QDate THi::YmdToDate(const QString &text)
{
    return StrToDateFmt(text, QStringLiteral("yyyy-mm-dd"), QStringLiteral("-"));
}

QString THi::DateToYmd(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate THi::TypedDate(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^([0-9]{4})([0-9]{2})([0-9]{2})$"));
    static const QRegularExpression parts(
        QStringLiteral("^([0-9]{4})([-/.])([0-9]{1,2})\\2([0-9]{1,2})$"));
    const QString t = Trim(text);
    QRegularExpressionMatch m = digits.match(t);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    m = parts.match(t);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    return QDate();
}

// ---------------------------------------------------------------------------
// Files and folders

QByteArray THi::LoadFile(const QString &fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError(EInOutError::Read, fileName, errno);
    QByteArray data;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw EInOutError(EInOutError::Read, fileName, err);
        }
        if (n == 0)
            break;
        data.append(buf, n);
    }
    ::close(fd);
    return data;
}

void THi::SaveFile(const QString &fileName, const QByteArray &content)
{
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw EInOutError(EInOutError::Write, fileName, errno);
    const char *p = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            throw EInOutError(EInOutError::Write, fileName, err);
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0)
        throw EInOutError(EInOutError::Write, fileName, errno);
}

QString THi::AppDir()
{
    return QCoreApplication::applicationDirPath();
}

QString THi::AppPath()
{
    return AppDir() + QLatin1Char('/');
}

QString THi::ShippedFile(const QString &name)
{
    return AppPath() + name;
}

QByteArray THi::ResourceText(const QString &name)
{
    QFile f(QStringLiteral(":/rcdata/") + name);
    if (!f.open(QIODevice::ReadOnly))
        throw EResNotFound(QStringLiteral("Resource %1 not found").arg(name));
    return f.readAll();
}

QString THi::SpecialFolder(int csidl)
{
    QStandardPaths::StandardLocation loc;
    switch (csidl) {
    case CSIDL_APPDATA:
        loc = QStandardPaths::GenericDataLocation;
        break;
    case CSIDL_PERSONAL:
        loc = QStandardPaths::DocumentsLocation;
        break;
    default:
        return QString();
    }
    return QStandardPaths::writableLocation(loc);
}

QString THi::AppDataDir(const QString &name)
{
    const QString base = SpecialFolder(CSIDL_APPDATA);
    if (base.isEmpty())
        return QString();
    const QString folder =
        base + QLatin1Char('/') + (name.isEmpty() ? QCoreApplication::applicationName() : name);
    // The whole path is made: on a fresh account even ~/.local/share may be missing.
    errno = 0;
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        throw EInOutError(EInOutError::CreateFolder, folder, errno ? errno : EACCES);
    return QFileInfo(folder).isDir() ? folder : QString();
}

QStringList THi::SplitParams(const QString &params)
{
    return QProcess::splitCommand(params);
}

namespace {
THi::RunHook &runHook()
{
    static THi::RunHook hook;
    return hook;
}
} // namespace

void THi::SetRunProgramHook(RunHook hook)
{
    runHook() = std::move(hook);
}

bool THi::RunProgram(const QString &fileName, const QString &params, int showCmd,
                     const QString &workDir)
{
    return RunProgram(fileName, SplitParams(params), showCmd, workDir);
}

bool THi::RunProgram(const QString &fileName, const QStringList &arguments, int showCmd,
                     const QString &workDir)
{
    Q_UNUSED(showCmd); // window placement is the desktop's business here
    QString program = fileName;
    program.remove(QLatin1Char('"'));
    if (runHook())
        return runHook()(program, arguments);
    const QString dir = QFileInfo(workDir).isDir() ? workDir : QString();
    return QProcess::startDetached(program, arguments, dir);
}

namespace {
// Qt 6.4's Chinese catalog still keeps the file dialog's type texts ("Folder",
// "Drive", "%1 File") under the contexts they had in Qt 5; the file list asks
// for them under QAbstractFileIconProvider. This looks them up there.
class TFileTypeTexts : public QTranslator {
public:
    explicit TFileTypeTexts(const QTranslator *qt) : m_qt(qt) {}
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0 &&
            qstrcmp(context, "QFileIconProvider") != 0)
            return QString();
        for (const char *old : {"QFileDialog", "QFileSystemModel", "QFileIconProvider"}) {
            QString text = m_qt->translate(old, source, disambiguation, n);
            if (text.isEmpty())
                text = m_qt->translate(old, source, nullptr, n);
            if (!text.isEmpty())
                return text;
        }
        return QString();
    }

private:
    const QTranslator *m_qt;
};
} // namespace

bool THi::UseChineseLocale()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // Live as long as the program; installed once.
    static QTranslator *qtTranslator = nullptr;
    if (qtTranslator)
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    qtTranslator = translator.release();
    // Asked before the catalog itself (the last installed is asked first).
    static QTranslator *const fileTypes = new TFileTypeTexts(qtTranslator);
    QCoreApplication::installTranslator(fileTypes);
    return true;
}

void THi::UseChineseSystemLocale()
{
    // Qt reads the system locale from the environment once, at its first
    // use, and keeps it; the C library reads it when the application object
    // is made, after the environment is back.
    const bool had = qEnvironmentVariableIsSet("LC_ALL");
    const QByteArray before = qgetenv("LC_ALL");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    QLocale::system();
    if (had)
        qputenv("LC_ALL", before);
    else
        qunsetenv("LC_ALL");
}

bool THi::IsWin2000OrLater()
{
    // Every platform this program builds for is a supported one.
    return true;
}

void THi::CheckWindowsVersion()
{
    if (IsWin2000OrLater())
        return;
    // No window exists yet and the utilities know no widgets: say it on the terminal.
    std::fputs("Error: this program must be run under Windows 2000 or later.\n", stderr);
    std::exit(0);
}

// ---------------------------------------------------------------------------
// Text rules

QString THi::Trim(const QString &text)
{
    qsizetype b = 0, e = text.size();
    while (b < e && text.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && text.at(e - 1).unicode() <= 0x20)
        --e;
    return (b == 0 && e == text.size()) ? text : text.mid(b, e - b);
}

QString THi::CateName(const QString &typed)
{
    QString name = Trim(typed);
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return QString();
    return name;
}

QString THi::VisibleText(const QString &text)
{
    const auto hidden = [](char16_t c) {
        return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || (c >= 0x7F && c <= 0x9F);
    };
    qsizetype i = 0;
    while (i < text.size() && !hidden(text.at(i).unicode()))
        ++i;
    if (i == text.size())
        return text; // the usual case: nothing to copy
    QString r = text;
    for (; i < r.size(); ++i) {
        const char16_t c = r.at(i).unicode();
        if (!hidden(c))
            continue;
        r[i] = c < 0x20    ? QChar(0x2400 + c)
               : c == 0x7F ? QChar(0x2421)
                           : QChar(QChar::ReplacementCharacter);
    }
    return r;
}

QString THi::LowerAscii(const QString &text)
{
    QString r = text;
    for (QChar &c : r) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    return r;
}

QString THi::FormatFloat(double value)
{
    return QString::asprintf("%0.2f", value);
}

QString THi::FormatCents(qint64 cents)
{
    const bool neg = cents < 0;
    const quint64 a = neg ? quint64(-(cents + 1)) + 1 : quint64(cents);
    char buf[32];
    char *p = buf + sizeof buf;
    *--p = char('0' + a % 10);
    *--p = char('0' + (a / 10) % 10);
    *--p = '.';
    quint64 whole = a / 100;
    do {
        *--p = char('0' + whole % 10);
        whole /= 10;
    } while (whole);
    if (neg)
        *--p = '-';
    return QString::fromLatin1(p, buf + sizeof buf - p);
}

qint64 THi::AmountCents(double value)
{
    // From the digits FormatFloat prints, not llround(value * 100): 0.015 is
    // kept as a little less, which prints as 0.01 while times 100 rounds to 2.
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return 0; // no amount that IsAmount lets through
    const QString shown = FormatFloat(value);
    qint64 cents = 0;
    for (QChar c : shown) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            cents = cents * 10 + (c.unicode() - '0');
    }
    return shown.startsWith(QLatin1Char('-')) ? -cents : cents;
}

double THi::SharePercent(qint64 part, qint64 total)
{
    return total == 0 ? 0.0 : double(part) * 100.0 / double(total);
}

QString THi::FormatShare(qint64 part, qint64 total)
{
    return FormatFloat(SharePercent(part, total)) + QLatin1Char('%');
}

bool THi::IsNumber(const QString &text, double *value)
{
    // Optional sign, digits with at most one point, optional exponent; nothing else.
    const qsizetype n = text.size();
    qsizetype i = 0;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        ++i;
    int digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            ++digits;
        else if (c == QLatin1Char('.') && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
            ++i;
        int expDigits = 0;
        for (; i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9'); ++i)
            ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;

    // from_chars ignores the locale that QApplication switches on, unlike strtod.
    QByteArray ascii = text.toLatin1();
    if (ascii.startsWith('+'))
        ascii.remove(0, 1);
    double v = 0;
    const auto res = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), v);
    if (res.ec != std::errc() || res.ptr != ascii.constData() + ascii.size() || !std::isfinite(v))
        return false;
    if (value)
        *value = v;
    return true;
}

bool THi::IsAmount(const QString &text, double *value)
{
    double v = 0;
    if (!IsNumber(Trim(text), &v) || v < 0.01)
        return false;
    // The bound holds for the amount as it is kept, in cents: 9999999999.995
    // would be stored as 10000000000.00, which no save accepts.
    double kept = 0;
    if (!IsNumber(FormatFloat(v), &kept) || kept >= MaxAmount)
        return false;
    if (value)
        *value = v;
    return true;
}

QStringList THi::SplitLines(const QString &text)
{
    if (text.isEmpty())
        return {};
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = text.split(breaks);
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString THi::JoinLines(const QStringList &lines)
{
    return lines.join(QStringLiteral("\r\n"));
}
