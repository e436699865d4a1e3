#include "EditRecForm.h"

#include "DateEdit.h"
#include "Dialogs.h"
#include "FormKit.h"
#include "HiClass.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QValidator>

#include <algorithm>
#include <exception>
#include <limits>

// Input limit of the text fields, counted in the stored bytes (GB18030), so a
// Chinese character takes two. It refuses any edit that would make the text
// longer than the limit. A longer value the program puts in stays whole and
// becomes that field's limit, so typing can never make it longer still.
class TByteLimit : public QValidator {
public:
    TByteLimit(int maxBytes, QObject *parent)
        : QValidator(parent), m_max(maxBytes), m_allow(maxBytes)
    {
    }

    // Called before the program sets a text of its own.
    void Allow(const QString &text) { m_allow = std::max(m_max, THi::ByteLength(text)); }

    State validate(QString &input, int &) const override
    {
        // An Invalid edit is undone by the line edit, typing and pasting alike.
        return THi::ByteLength(input) <= m_allow ? Acceptable : Invalid;
    }

private:
    const int m_max;
    int m_allow;
};

namespace {
const int MaxInputBytes = 100;
}

TfrmEditRec::TfrmEditRec(QWidget *owner) : TEditDialog(owner)
{
    setObjectName(QStringLiteral("frmEditRec"));
    setWindowTitle(QStringLiteral("编辑"));
    setFixedSize(380, 196);

    // Created first so that it lies beneath the fields.
    bvlRect = Make<QFrame>(this, "bvlRect", QRect(8, 8, 362, 146));
    bvlRect->setFrameStyle(QFrame::Box | QFrame::Sunken);

    auto label = [this](const char *name, const QString &text, int y) {
        auto *l = Make<QLabel>(this, name, QRect(20, y, 40, 21));
        l->setText(text);
        l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };
    lblDate = label("lblDate", QStringLiteral("日期："), 22);
    lblCate = label("lblCate", QStringLiteral("项目："), 54);
    lblAmount = label("lblAmount", QStringLiteral("金额："), 86);
    lblNotes = label("lblNotes", QStringLiteral("备注："), 118);

    dtpDate = Make<TDateEdit>(this, "dtpDate", QRect(60, 22, 298, 21));
    // As wide as the widget allows, so a record's date is shown, not clamped.
    dtpDate->setDateRange(QDate(100, 1, 1), QDate(9999, 12, 31));

    auto edit = [this](const char *name, int y, TByteLimit *&limit) {
        auto *e = Make<QLineEdit>(this, name, QRect(60, y, 298, 21));
        // The byte limit is the validator's; no count of characters may cut a caller's value.
        e->setMaxLength(std::numeric_limits<int>::max());
        limit = new TByteLimit(MaxInputBytes, e);
        e->setValidator(limit);
        SayWhenCut(e, QStringLiteral("至多 %1 个字节（一个汉字算两个）").arg(MaxInputBytes));
        connect(e, &QLineEdit::textChanged, this, &TfrmEditRec::edtCateChange);
        return e;
    };
    edtCate = edit("edtCate", 54, m_cateLimit);
    edtAmount = edit("edtAmount", 86, m_amountLimit);
    edtNotes = edit("edtNotes", 118, m_notesLimit);

    MakeSaveCancel(113, 163, btnSave, btnCancel);

    setTabOrder(dtpDate, edtCate);
    setTabOrder(edtCate, edtAmount);
    setTabOrder(edtAmount, edtNotes);
    setTabOrder(edtNotes, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(dtpDate, &TDateEdit::wholeChanged, this, &TfrmEditRec::dtpDateWholeChange);
    connect(btnSave, &QPushButton::clicked, this, &TfrmEditRec::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditRec::btnCancelClick);
}

TfrmEditRec::~TfrmEditRec() = default;

void TfrmEditRec::FormShow()
{
    std::exception_ptr dateError;
    try {
        dtpDate->setDate(THi::YmdToDate(RecDate));
    } catch (...) {
        dateError = std::current_exception();
    }

    m_cateLimit->Allow(RecCate);
    edtCate->setText(RecCate);
    m_amountLimit->Allow(RecAmount);
    edtAmount->setText(RecAmount);
    m_notesLimit->Allow(RecNotes);
    edtNotes->setText(RecNotes);
    m_fieldsSavable = false;
    btnSave->setEnabled(false);

    if (dateError) {
        // A record whose date cannot be read cannot be edited: report it and
        // leave as Cancel does. Queued, because exec() has not started its loop yet.
        QMetaObject::invokeMethod(
            this,
            [this, dateError] {
                TDialogs::Guard(this, [&] { std::rethrow_exception(dateError); });
                reject();
            },
            Qt::QueuedConnection);
    }
}

void TfrmEditRec::edtCateChange()
{
    m_fieldsSavable = !THi::Trim(edtCate->text()).isEmpty() && THi::IsAmount(edtAmount->text());
    dtpDateWholeChange();
}

void TfrmEditRec::dtpDateWholeChange()
{
    btnSave->setEnabled(m_fieldsSavable && dtpDate->IsWhole());
}

void TfrmEditRec::btnSaveClick()
{
    // Alt+S leaves the focus in a date being typed: take it first.
    if (!dtpDate->Commit()) {
        dtpDateWholeChange();
        dtpDate->setFocus();
        dtpDate->selectAll(); // typing replaces the refused text
        return;
    }
    double amount = 0;
    if (!btnSave->isEnabled() || !THi::IsAmount(edtAmount->text(), &amount))
        return;
    RecDate = THi::DateToYmd(dtpDate->date());
    RecCate = THi::Trim(edtCate->text());
    RecCents = THi::AmountCents(amount);
    RecAmount = THi::FormatCents(RecCents);
    RecNotes = THi::Trim(edtNotes->text());
    accept();
}

void TfrmEditRec::btnCancelClick()
{
    reject();
}
