#include "EditCateForm.h"

#include "HiClass.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

namespace {

// The stored list separates names by CR LF; the editor works with "\n".
QString ToEditorText(const QString &listText)
{
    return THi::SplitLines(listText).join(QLatin1Char('\n'));
}

QString ToListText(const QPlainTextEdit *edit)
{
    // toPlainText() would turn no-break spaces into plain ones; the list keeps
    // what was typed, so read the raw text and map only the block breaks.
    QString text = edit->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return THi::JoinLines(THi::SplitLines(THi::Trim(text)));
}

} // namespace

TfrmEditCate::TfrmEditCate(QWidget *owner) : TEditDialog(owner)
{
    setObjectName(QStringLiteral("frmEditCate"));
    setWindowTitle(QStringLiteral("编辑"));
    setFixedSize(392, 273);

    // Created first so that it lies beneath the text field.
    bvlRect = new QFrame(this);
    bvlRect->setObjectName(QStringLiteral("bvlRect"));
    bvlRect->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bvlRect->setGeometry(8, 8, 376, 223);

    memText = new QPlainTextEdit(this);
    memText->setObjectName(QStringLiteral("memText"));
    memText->setGeometry(19, 21, 354, 198);
    memText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memText->setTabChangesFocus(true);

    MakeSaveCancel(119, 240, btnSave, btnCancel);

    setTabOrder(memText, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(memText, &QPlainTextEdit::textChanged, this, &TfrmEditCate::memTextChange);
    connect(btnSave, &QPushButton::clicked, this, &TfrmEditCate::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditCate::btnCancelClick);
}

TfrmEditCate::~TfrmEditCate() = default;

void TfrmEditCate::FormShow()
{
    memText->setPlainText(ToEditorText(CateText));
    // Filling the field counts as a change; Save waits for the user's own.
    btnSave->setEnabled(false);
}

void TfrmEditCate::memTextChange()
{
    btnSave->setEnabled(true);
}

void TfrmEditCate::btnSaveClick()
{
    if (!btnSave->isEnabled())
        return;
    CateText = ToListText(memText);
    accept();
}

void TfrmEditCate::btnCancelClick()
{
    reject();
}
