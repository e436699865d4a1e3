#include "DateEdit.h"

#include "HiClass.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace {

bool IsDateChar(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
           c == QLatin1Char('/') || c == QLatin1Char('.');
}

// Text that no further key can turn into another date.
bool IsComplete(const QString &typed)
{
    static const QRegularExpression complete(
        QStringLiteral("^[0-9]{8}$|^[0-9]{4}([-/.])[0-9]{2}\\1[0-9]{2}$"));
    return complete.match(typed).hasMatch();
}

} // namespace

TDateEdit::TDateEdit(QWidget *parent) : QDateEdit(parent)
{
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setCalendarPopup(true);
}

void TDateEdit::StartTyping()
{
    m_typing = true;
    m_typed.clear();
    m_before = date();
    // While typing, the half-typed text is not a value: no dateChanged for it.
    m_tracking = keyboardTracking();
    setKeyboardTracking(false);
}

void TDateEdit::ShowTyped(const QString &text)
{
    m_typed = text;
    // Unannounced: the spin box would read the text as sections and write
    // its last date back at once.
    const QSignalBlocker quiet(lineEdit());
    lineEdit()->setText(text);
    lineEdit()->setCursorPosition(int(text.size()));
    lineEdit()->update();
}

void TDateEdit::FinishTyping()
{
    if (!m_typing)
        return;
    m_typing = false;
    setKeyboardTracking(m_tracking);
    const QDate typed = THi::TypedDate(m_typed);
    const bool ok = typed.isValid() && typed >= minimumDate() && typed <= maximumDate();
    // Setting the date also writes the field's text in its own format again.
    setDate(ok ? typed : m_before);
}

void TDateEdit::CancelTyping()
{
    m_typed.clear();
    FinishTyping();
}

void TDateEdit::keyPressEvent(QKeyEvent *event)
{
    // Something else set the text meanwhile (the program set a date): that
    // ends the typing without taking it.
    if (m_typing && lineEdit()->text() != m_typed) {
        m_typing = false;
        setKeyboardTracking(m_tracking);
    }

    const QString text = event->text();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    const bool printable = plain && !text.isEmpty() && text.at(0).isPrint();
    const bool erase =
        plain && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete);
    const QLineEdit *edit = lineEdit();
    const bool allSelected = !edit->text().isEmpty() && edit->selectedText() == edit->text();

    if (!m_typing && allSelected && (printable || erase))
        StartTyping();

    if (m_typing) {
        if (printable) {
            QString next = m_typed;
            for (QChar c : text) {
                if (IsDateChar(c))
                    next.append(c);
            }
            ShowTyped(next);
            if (IsComplete(m_typed))
                FinishTyping();
            event->accept();
            return;
        }
        if (erase) {
            ShowTyped(m_typed.left(m_typed.size() - 1));
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            // Back to the date before typing; the key goes no further.
            CancelTyping();
            event->accept();
            return;
        }
        // Enter, Tab, arrows and the rest first take what was typed.
        FinishTyping();
    }
    QDateEdit::keyPressEvent(event);
}

QValidator::State TDateEdit::validate(QString &input, int &pos) const
{
    // The spin box's own check would rewrite a half-typed date at once.
    if (m_typing)
        return QValidator::Intermediate;
    return QDateEdit::validate(input, pos);
}

void TDateEdit::fixup(QString &input) const
{
    if (!m_typing)
        QDateEdit::fixup(input);
}

bool TDateEdit::focusNextPrevChild(bool next)
{
    // Tab after a whole typed date goes on to the next field, not to a section.
    if (m_typing) {
        FinishTyping();
        return QWidget::focusNextPrevChild(next);
    }
    return QDateEdit::focusNextPrevChild(next);
}

void TDateEdit::focusOutEvent(QFocusEvent *event)
{
    FinishTyping();
    QDateEdit::focusOutEvent(event);
}

void TDateEdit::mousePressEvent(QMouseEvent *event)
{
    FinishTyping();
    QDateEdit::mousePressEvent(event);
}

void TDateEdit::wheelEvent(QWheelEvent *event)
{
    FinishTyping();
    QDateEdit::wheelEvent(event);
}
