#pragma once

// Class-level helpers shared by every part of the program: the stored text
// form (base64 over GB18030 bytes), dates, whole-file I/O, the program's and
// the user's folders, resources, starting programs and the small text rules
// (trimming, ASCII lower-casing, amount formatting and the number check).

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <stdexcept>

// Base of every error the program raises on purpose. The text is what the
// user sees in the error box, so it is kept as a QString as well as UTF-8.
class TError : public std::runtime_error {
public:
    explicit TError(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    // details: a long explanation (a list of bad rows, an engine's report)
    // that the error box keeps in an expandable part, so the box fits the screen.
    TError(const QString &text, const QString &details) : TError(text) { m_details = details; }
    QString text() const { return m_text; }
    QString details() const { return m_details; }

private:
    QString m_text;
    QString m_details;
};

// A text that does not convert (dates).
class EConvertError : public TError {
public:
    using TError::TError;
};

// A failing file or folder operation. Its text tells the user in Chinese what
// failed, on which file, and what to do, with the system's own text as detail;
// it carries the system's error number.
class EInOutError : public TError {
public:
    enum Action { Read, Write, CreateFolder, Other };
    EInOutError(Action action, const QString &path, int code);
    explicit EInOutError(int code) : EInOutError(Other, QString(), code) {}
    // A text of the caller's own, for failures it has already put in words.
    EInOutError(int code, const QString &text) : TError(text), m_code(code) {}
    int code() const { return m_code; }
    QString path() const { return m_path; }

    static QString Describe(Action action, const QString &path, int code);

private:
    int m_code;
    QString m_path;
};

class EResNotFound : public TError {
public:
    using TError::TError;
};

class THi {
public:
    THi() = delete;

    // GB18030 bytes of a text and back; the byte form of every stored text.
    // Bytes that end in the middle of a character decode with a replacement
    // character (U+FFFD) in its place, so a cut text shows that it was cut.
    static QByteArray ToBytes(const QString &text);
    static QString FromBytes(const QByteArray &bytes);
    // True when the bytes are whole GB18030 characters, every one of them mapped.
    static bool IsGb18030(QByteArrayView bytes);
    static int ByteLength(const QString &text) { return ToBytes(text).size(); }

    static QString Base64Encode(const QString &text);
    static QString Base64Decode(const QString &text);
    // Same as Base64Decode, straight from the stored bytes (no detour via QString).
    static QString Base64DecodeBytes(const QByteArray &base64);
    // True when the stored form is sound: base64 (line breaks allowed, as older
    // releases wrote them) whose bytes are whole GB18030 characters. The
    // decoders above read anything; this is the check for imported rows.
    static bool IsStoredText(QByteArrayView base64);

    static QDate StrToDateFmt(const QString &text, const QString &format, const QString &separator);
    static QDate YmdToDate(const QString &text);
    static QString DateToYmd(const QDate &date);
    // A whole date as a person types it: "20261201", or year, month and day
    // with "-", "/" or "." between them ("2026-12-01", "2026/1/5"). Invalid
    // (isValid() false) for anything else, impossible days included.
    static QDate TypedDate(const QString &text);

    static QByteArray LoadFile(const QString &fileName);
    static void SaveFile(const QString &fileName, const QByteArray &content);

    static QString AppDir();
    static QString AppPath();
    // A file that ships beside the program (templates); found the same way
    // whatever the current folder.
    static QString ShippedFile(const QString &name);
    static QByteArray ResourceText(const QString &name);

    enum { CSIDL_PERSONAL = 5, CSIDL_APPDATA = 26 };
    static QString SpecialFolder(int csidl);
    static QString AppDataDir(const QString &name);

    // Starts a program without waiting for it; false when it could not be started.
    static bool RunProgram(const QString &fileName, const QString &params, int showCmd,
                           const QString &workDir);
    // The same with each argument handed over as it stands: nothing to quote,
    // whatever blanks or quotes a path holds.
    static bool RunProgram(const QString &fileName, const QStringList &arguments, int showCmd,
                           const QString &workDir);
    // Test seam: when set, RunProgram hands the program and its arguments here
    // instead of starting anything.
    using RunHook = std::function<bool(const QString &program, const QStringList &args)>;
    static void SetRunProgramHook(RunHook hook);
    // Splits a parameter text the way a shell would (double quotes group blanks).
    static QStringList SplitParams(const QString &params);

    // The program speaks Chinese whatever the system's locale: the default
    // locale becomes zh_CN (calendar names, Qt's number and date texts) and
    // Qt's own texts (dialog buttons, file dialogs) are translated. False when
    // Qt's translation could not be loaded (the texts then stay English).
    static bool UseChineseLocale();
    // Called before the application object exists: Qt's own idea of the
    // system locale, which the file dialog's list uses for its dates and
    // sizes, becomes zh_CN. The environment and the C library's locale stay
    // the user's (programs started from here see no change).
    static void UseChineseSystemLocale();

    static bool IsWin2000OrLater();
    // Ends the process with a message on standard error on an unsupported system.
    static void CheckWindowsVersion();

    // Text rules of the whole program.
    // Lists kept as text hold one item a line, CR LF between lines. A final line
    // break ends the last line rather than starting an empty one; blank lines in
    // between are items. Splitting also takes bare CR or LF.
    static QStringList SplitLines(const QString &text);
    static QString JoinLines(const QStringList &lines);

    static QString Trim(const QString &text); // drops chars <= U+0020 at both ends
    // A category name as entry takes it: trimmed; empty when nothing is left or
    // when it holds a line break (the stored lists keep one name a line).
    static QString CateName(const QString &typed);
    // The text every export and printed report writes: control characters
    // other than tab, line feed and carriage return (NUL, U+0001-U+001F,
    // U+007F) become their visible symbols (U+2400-U+241F, U+2421) and C1
    // controls (U+0080-U+009F) the replacement character, so that no cell or
    // page is cut or carries invisible bytes.
    static QString VisibleText(const QString &text);
    static QString LowerAscii(const QString &text); // only A-Z change
    static QString FormatFloat(double value);       // "%0.2f", C locale
    static QString FormatCents(qint64 cents);       // cents as "%0.2f" would print them
    // The cents FormatFloat shows for value: what a typed amount is kept as,
    // so that a line shows the same figure before and after it is saved.
    static qint64 AmountCents(double value);
    // part's share of total in percent; 0 when total is 0 (only zero or
    // negative amounts would divide by zero).
    static double SharePercent(qint64 part, qint64 total);
    // The share as the rankings show it: "6.31%", "0.00%" for a zero total.
    static QString FormatShare(qint64 part, qint64 total);
    static bool IsNumber(const QString &text, double *value = nullptr);
    // Amounts are kept in whole cents; beyond this no household entry goes,
    // and sums of many such amounts still fit.
    static constexpr double MaxAmount = 1e10;
    // The entry check: trimmed, a number, at least 0.01, and below MaxAmount
    // once rounded to cents.
    static bool IsAmount(const QString &text, double *value = nullptr);
};
