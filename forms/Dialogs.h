#pragma once

// The one seam for message boxes, the input dialog and the file dialogs, and
// the guard every handler that touches the store or a file runs under.
// A person gets QMessageBox and friends; tests install a handler that answers
// instead, so no modal box ever waits for a click in a test. Texts often carry
// what a user typed (names, file names), so every box shows them as plain text.

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <exception>
#include <functional>
#include <stdexcept>

struct TDialogCall {
    enum Kind { Question, Error, Info, Input, SaveFile, OpenFile };
    Kind kind;
    QString caption;
    QString text;           // message, prompt, or the file filter
    QString value;          // input: the text shown; file dialogs: the suggested name
    QString folder = {};    // file dialogs: the folder they open in
    bool defaultNo = false; // question: No is the default button
    QString details = {};   // error: the long part, shown on request below the text
    bool hidden = false;    // input: the typed text shown as dots (a password)
};

class TDialogs {
public:
    TDialogs() = delete;

    // Yes/No box, caption "确认", question icon; true only for Yes. Enter
    // presses Yes, or No for a question whose safe answer is No.
    static bool Ask(QWidget *parent, const QString &text, bool defaultYes = true);
    // details, when given, stay folded away below the text ("显示详细信息"),
    // so that a long list or report never makes the box taller than the screen.
    static void Error(QWidget *parent, const QString &text, const QString &details = QString());
    static void Info(QWidget *parent, const QString &caption, const QString &text);
    // One-line input shown in clear; false when cancelled. value goes in and out.
    static bool Input(QWidget *parent, const QString &caption, const QString &prompt,
                      QString &value);
    // The same for a password: what is typed is shown as dots; false when cancelled.
    static bool InputPassword(QWidget *parent, const QString &caption, const QString &prompt,
                              QString &value);
    // Empty when cancelled. Both open in folder. The save dialog asks before
    // replacing a file.
    static QString SaveFileName(QWidget *parent, const QString &caption, const QString &filter,
                                const QString &folder, const QString &suggested = QString());
    static QString OpenFileName(QWidget *parent, const QString &caption, const QString &filter,
                                const QString &folder);
    // The save dialog for a file of one type (backups, exports, PDFs): ext
    // (".pdf") is appended to a name without it, and since the dialog asked
    // only about the name it returned, a file by the longer name is replaced
    // only after asking. Empty when cancelled or not to be replaced.
    static QString SaveFileWithExtension(QWidget *parent, const QString &filter,
                                         const QString &folder, const QString &ext);

    // Shows the text of an escaped error in an error box, its details folded.
    static void ShowException(QWidget *parent, const std::exception &e);
    // The text the user sees for an error, and its long part (may be empty).
    static QString ExceptionText(const std::exception &e);
    static QString ExceptionDetails(const std::exception &e);

    // Runs a handler body; an exception is shown, never passed to Qt's event loop.
    // Returns false when the body raised.
    template <class F> static bool Guard(QWidget *parent, F &&body)
    {
        try {
            body();
            return true;
        } catch (const std::exception &e) {
            ShowException(parent, e);
        } catch (...) {
            ShowException(parent, std::runtime_error("Unknown error"));
        }
        return false;
    }

    // Test seam: when set, every call goes to the handler instead of a real dialog.
    // Question answers with a bool, Input with a QString (null = cancel), the file
    // dialogs with a QString (empty = cancel); Error and Info ignore the answer.
    using Handler = std::function<QVariant(const TDialogCall &)>;
    static void SetHandler(Handler handler);

private:
    static QVariant dispatch(const TDialogCall &call, QWidget *parent);
};

// The busy state of a handler: the sender disabled and the wait cursor shown
// for as long as the object lives, or until Done(). Restoring happens on every
// path, also when the handler raises.
class TBusy {
public:
    explicit TBusy(QWidget *sender);
    ~TBusy();
    TBusy(const TBusy &) = delete;
    TBusy &operator=(const TBusy &) = delete;

    // Cursor back, sender enabled and focused.
    void Done();

private:
    QPointer<QWidget> m_sender; // the handler may close the window it lives in
    bool m_active = true;
};
