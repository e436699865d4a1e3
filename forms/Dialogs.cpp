#include "Dialogs.h"

#include "Exports.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <stdexcept>

namespace {
TDialogs::Handler &handler()
{
    static TDialogs::Handler h;
    return h;
}

QString confirmCaption()
{
    return QStringLiteral("确认");
}
QString errorCaption()
{
    return QStringLiteral("错误");
}

// A box shows this much of its text at most; the rest goes to the details.
constexpr int ShownLines = 12;
constexpr int ShownChars = 800;

int messageBox(QWidget *parent, QMessageBox::Icon icon, const TDialogCall &call,
               QMessageBox::StandardButtons buttons)
{
    QString text = call.text;
    QString details = call.details;
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > ShownLines || text.size() > ShownChars) {
        // Too long for a box that must fit the screen: the whole text stays
        // readable in the details.
        details = details.isEmpty() ? text : text + QStringLiteral("\n\n") + details;
        text = lines.mid(0, ShownLines).join(QLatin1Char('\n')).left(ShownChars) +
               QStringLiteral("……");
    }
    QMessageBox box(icon, call.caption, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty())
        box.setDetailedText(details);
    if (buttons & QMessageBox::Yes)
        box.setDefaultButton(call.defaultNo ? QMessageBox::No : QMessageBox::Yes);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        box.setMaximumSize(screen->availableGeometry().size());
    return box.exec();
}
} // namespace

void TDialogs::SetHandler(Handler h)
{
    handler() = std::move(h);
}

QVariant TDialogs::dispatch(const TDialogCall &call, QWidget *parent)
{
    if (handler())
        return handler()(call);

    switch (call.kind) {
    case TDialogCall::Question:
        return messageBox(parent, QMessageBox::Question, call,
                          QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    case TDialogCall::Error:
        messageBox(parent, QMessageBox::Critical, call, QMessageBox::Ok);
        return {};
    case TDialogCall::Info:
        messageBox(parent, QMessageBox::Information, call, QMessageBox::Ok);
        return {};
    case TDialogCall::Input: {
        QInputDialog dlg(parent);
        dlg.setWindowTitle(call.caption);
        dlg.setInputMode(QInputDialog::TextInput);
        dlg.setTextEchoMode(call.hidden ? QLineEdit::Password : QLineEdit::Normal);
        dlg.setLabelText(call.text);
        dlg.setTextValue(call.value);
        for (QLabel *label : dlg.findChildren<QLabel *>())
            label->setTextFormat(Qt::PlainText);
        if (auto *edit = dlg.findChild<QLineEdit *>())
            SayWhenCut(edit);
        if (dlg.exec() != QDialog::Accepted)
            return QVariant(QString()); // null: cancelled
        // OK on an untouched field gives a null text; it is an empty answer, not a cancel.
        const QString text = dlg.textValue();
        return QVariant(text.isNull() ? QStringLiteral("") : text);
    }
    case TDialogCall::SaveFile:
        return QFileDialog::getSaveFileName(
            parent, call.caption,
            call.value.isEmpty() ? call.folder : QDir(call.folder).filePath(call.value), call.text);
    case TDialogCall::OpenFile:
        return QFileDialog::getOpenFileName(parent, call.caption, call.folder, call.text);
    }
    return {};
}

bool TDialogs::Ask(QWidget *parent, const QString &text, bool defaultYes)
{
    return dispatch({TDialogCall::Question, confirmCaption(), text, {}, {}, !defaultYes}, parent)
        .toBool();
}

void TDialogs::Error(QWidget *parent, const QString &text, const QString &details)
{
    TDialogCall call{TDialogCall::Error, errorCaption(), text, {}};
    call.details = details;
    dispatch(call, parent);
}

void TDialogs::Info(QWidget *parent, const QString &caption, const QString &text)
{
    dispatch({TDialogCall::Info, caption, text, {}}, parent);
}

bool TDialogs::Input(QWidget *parent, const QString &caption, const QString &prompt, QString &value)
{
    const QString answer =
        dispatch({TDialogCall::Input, caption, prompt, value}, parent).toString();
    if (answer.isNull())
        return false;
    value = answer;
    return true;
}

bool TDialogs::InputPassword(QWidget *parent, const QString &caption, const QString &prompt,
                             QString &value)
{
    TDialogCall call{TDialogCall::Input, caption, prompt, value};
    call.hidden = true;
    const QString answer = dispatch(call, parent).toString();
    if (answer.isNull())
        return false;
    value = answer;
    return true;
}

QString TDialogs::SaveFileName(QWidget *parent, const QString &caption, const QString &filter,
                               const QString &folder, const QString &suggested)
{
    return dispatch({TDialogCall::SaveFile, caption, filter, suggested, folder}, parent).toString();
}

QString TDialogs::SaveFileWithExtension(QWidget *parent, const QString &filter,
                                        const QString &folder, const QString &ext)
{
    const QString chosen = SaveFileName(parent, QString(), filter, folder);
    if (chosen.isEmpty())
        return QString();
    QString target = Exports::WithExtension(chosen, ext);
    if (target != chosen && QFileInfo::exists(target) &&
        !Ask(parent,
             QStringLiteral("%1 已存在。\r\n要替换它吗？").arg(QDir::toNativeSeparators(target))))
        return QString();
    return target;
}

QString TDialogs::OpenFileName(QWidget *parent, const QString &caption, const QString &filter,
                               const QString &folder)
{
    return dispatch({TDialogCall::OpenFile, caption, filter, {}, folder}, parent).toString();
}

QString TDialogs::ExceptionText(const std::exception &e)
{
    const auto *err = dynamic_cast<const TError *>(&e);
    return err ? err->text() : QString::fromUtf8(e.what());
}

QString TDialogs::ExceptionDetails(const std::exception &e)
{
    const auto *err = dynamic_cast<const TError *>(&e);
    return err ? err->details() : QString();
}

void TDialogs::ShowException(QWidget *parent, const std::exception &e)
{
    Error(parent, ExceptionText(e), ExceptionDetails(e));
}

TBusy::TBusy(QWidget *sender) : m_sender(sender)
{
    if (m_sender)
        m_sender->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusy::~TBusy()
{
    Done();
}

void TBusy::Done()
{
    if (!m_active)
        return;
    m_active = false;
    QApplication::restoreOverrideCursor();
    if (m_sender) {
        m_sender->setEnabled(true);
        m_sender->setFocus();
    }
}
