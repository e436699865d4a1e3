#include "Dialogs.h"

#include "HiClass.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
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
        return QMessageBox::question(
                   parent, call.caption, call.text, QMessageBox::Yes | QMessageBox::No,
                   call.defaultNo ? QMessageBox::No : QMessageBox::Yes) == QMessageBox::Yes;
    case TDialogCall::Error:
        QMessageBox::critical(parent, call.caption, call.text);
        return {};
    case TDialogCall::Info:
        QMessageBox::information(parent, call.caption, call.text);
        return {};
    case TDialogCall::Input: {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, call.caption, call.text,
                                                   QLineEdit::Normal, call.value, &ok);
        if (!ok)
            return QVariant(QString());
        // OK on an untouched field gives a null text, which would read as Cancel.
        return QVariant(text.isNull() ? QStringLiteral("") : text);
    }
    case TDialogCall::SaveFile:
        return QFileDialog::getSaveFileName(parent, call.caption, call.value, call.text);
    case TDialogCall::OpenFile:
        return QFileDialog::getOpenFileName(parent, call.caption, call.value, call.text);
    }
    return {};
}

bool TDialogs::Ask(QWidget *parent, const QString &text, bool defaultYes)
{
    return dispatch({TDialogCall::Question, confirmCaption(), text, {}, !defaultYes}, parent)
        .toBool();
}

void TDialogs::Error(QWidget *parent, const QString &text)
{
    dispatch({TDialogCall::Error, errorCaption(), text, {}}, parent);
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

QString TDialogs::SaveFileName(QWidget *parent, const QString &caption, const QString &filter,
                               const QString &suggested)
{
    return dispatch({TDialogCall::SaveFile, caption, filter, suggested}, parent).toString();
}

QString TDialogs::OpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    return dispatch({TDialogCall::OpenFile, caption, filter, {}}, parent).toString();
}

void TDialogs::ShowException(QWidget *parent, const std::exception &e)
{
    const auto *err = dynamic_cast<const TError *>(&e);
    Error(parent, err ? err->text() : QString::fromUtf8(e.what()));
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
