#include "DateEdit.h"

#include "HiClass.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QToolTip>

namespace {

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
    // A date picked in the calendar or set by the program ends a refusal.
    connect(this, &QDateEdit::dateChanged, this, [this] {
        Sync();
        Announce();
    });
}

QString TDateEdit::RefusedText()
{
    return QStringLiteral("这不是一个完整的日期。请输入例如 2026-10-01、2026-1-5、"
                          "2026/10/01 或 20261001 这样的日期。");
}

bool TDateEdit::ShowsTyped() const
{
    return m_typing && lineEdit()->text() == m_typed;
}

QDate TDateEdit::TypedValue() const
{
    const QDate typed = THi::TypedDate(m_typed);
    return typed.isValid() && typed >= minimumDate() && typed <= maximumDate() ? typed : QDate();
}

bool TDateEdit::IsWhole() const
{
    return !ShowsTyped() || TypedValue().isValid();
}

void TDateEdit::Sync()
{
    // Something else set the text meanwhile (the program or the calendar set
    // a date): that ends the typing without taking it.
    if (m_typing && !ShowsTyped()) {
        m_typing = false;
        setKeyboardTracking(m_tracking);
        ClearRefusal();
    }
}

void TDateEdit::Announce()
{
    const bool whole = IsWhole();
    if (whole == m_whole)
        return;
    m_whole = whole;
    emit wholeChanged(whole);
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
    if (m_refused && TypedValue().isValid())
        ClearRefusal();
}

bool TDateEdit::FinishTyping()
{
    Sync();
    if (!m_typing)
        return true;
    const QDate typed = TypedValue();
    if (!typed.isValid()) {
        Refuse();
        return false;
    }
    m_typing = false;
    setKeyboardTracking(m_tracking);
    ClearRefusal();
    // Setting the date also writes the field's text in its own format again,
    // also when the date itself stays the same.
    setDate(typed);
    // The cursor stays in the last section, so Tab goes on to the next field.
    setCurrentSection(QDateTimeEdit::DaySection);
    lineEdit()->setCursorPosition(int(lineEdit()->text().size()));
    Announce();
    return true;
}

void TDateEdit::CancelTyping()
{
    m_typing = false;
    setKeyboardTracking(m_tracking);
    ClearRefusal();
    setDate(m_before);
    Announce();
}

bool TDateEdit::Commit()
{
    return FinishTyping();
}

void TDateEdit::Refuse()
{
    m_refused = true;
    setToolTip(RefusedText());
    if (isVisible())
        QToolTip::showText(mapToGlobal(QPoint(0, height())), RefusedText(), this);
    update();
    Announce();
}

void TDateEdit::ClearRefusal()
{
    if (!m_refused)
        return;
    m_refused = false;
    setToolTip(QString());
    QToolTip::hideText();
    update();
}

void TDateEdit::keyPressEvent(QKeyEvent *event)
{
    Sync();
    const QString text = event->text();
    const bool plain = !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    const bool printable = plain && !text.isEmpty() && text.at(0).isPrint();
    const bool erase =
        plain && (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete);
    const QLineEdit *edit = lineEdit();
    const bool allSelected = !edit->text().isEmpty() && edit->selectedText() == edit->text();

    if (event->matches(QKeySequence::Paste)) {
        if (!m_typing)
            StartTyping();
        ShowTyped(THi::Trim(QApplication::clipboard()->text()));
        if (IsComplete(m_typed))
            FinishTyping();
        event->accept();
        Announce();
        return;
    }

    // Whatever section holds the cursor, the first key starts a whole date.
    // Erasing without a selection works from the end of the shown date.
    if (!m_typing && (printable || erase)) {
        const QString shown = edit->text();
        StartTyping();
        if (erase && !allSelected)
            m_typed = shown;
    }

    if (m_typing) {
        if (printable) {
            ShowTyped((allSelected ? QString() : m_typed) + text);
            if (IsComplete(m_typed))
                FinishTyping();
            event->accept();
            Announce();
            return;
        }
        if (erase) {
            ShowTyped(allSelected ? QString() : m_typed.left(m_typed.size() - 1));
            event->accept();
            Announce();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            // Back to the date before typing; the key goes no further.
            CancelTyping();
            event->accept();
            return;
        }
        if (event->matches(QKeySequence::SelectAll)) {
            lineEdit()->selectAll();
            event->accept();
            return;
        }
        // Enter, arrows and the rest first take what was typed. Refused text
        // stays as it is: the spin box would write its last date over it.
        if (!FinishTyping()) {
            const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
            if (enter || !plain)
                event->ignore(); // the dialog's default button or a shortcut
            else
                event->accept();
            return;
        }
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
    // Tab after a typed date goes on to the next field, not to a section; a
    // refused one stays marked in the field.
    if (m_typing) {
        FinishTyping();
        // NOLINTNEXTLINE(bugprone-parent-virtual-call): past the spin box's sections on purpose
        return QWidget::focusNextPrevChild(next);
    }
    return QDateEdit::focusNextPrevChild(next);
}

void TDateEdit::focusInEvent(QFocusEvent *event)
{
    Sync();
    if (!ShowsTyped()) {
        QDateEdit::focusInEvent(event);
        return;
    }
    // Refused text has no sections to select: all of it, so typing replaces it.
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): the date edit would select a section
    QAbstractSpinBox::focusInEvent(event);
    lineEdit()->selectAll();
}

void TDateEdit::focusOutEvent(QFocusEvent *event)
{
    if (FinishTyping()) {
        QDateEdit::focusOutEvent(event);
        return;
    }
    // The spin box would write its last date over the refused text.
    QCoreApplication::sendEvent(lineEdit(), event);
    // NOLINTNEXTLINE(bugprone-parent-virtual-call): the spin box would rewrite the text
    QWidget::focusOutEvent(event);
    Announce();
}

void TDateEdit::mousePressEvent(QMouseEvent *event)
{
    FinishTyping();
    QDateEdit::mousePressEvent(event);
}

void TDateEdit::wheelEvent(QWheelEvent *event)
{
    // Stepping from a date the field does not show would be a guess.
    if (!FinishTyping()) {
        event->accept();
        return;
    }
    QDateEdit::wheelEvent(event);
}

void TDateEdit::paintEvent(QPaintEvent *event)
{
    QDateEdit::paintEvent(event);
    if (!(m_refused && ShowsTyped()))
        return;
    QPainter p(this);
    p.setPen(QPen(QColor(0xD0, 0x10, 0x10), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
}
