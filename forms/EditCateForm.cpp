#include "EditCateForm.h"

#include "CateRename.h"
#include "HiClass.h"

#include <QFrame>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>

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
    bvlRect = Make<QFrame>(this, "bvlRect", QRect(8, 8, 376, 223));
    bvlRect->setFrameStyle(QFrame::Box | QFrame::Sunken);

    memText = Make<QPlainTextEdit>(this, "memText", QRect(19, 21, 354, 198));
    memText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memText->setTabChangesFocus(true);

    MakeSaveCancel(119, 240, btnSave, btnCancel);

    // Left of Save, away from the two that close the editor.
    btnRenameCate = Make<QPushButton>(this, "btnRenameCate", QRect(8, 240, 96, 23));
    btnRenameCate->setText(QStringLiteral("重命名类别"));
    btnRenameCate->setAutoDefault(false);
    btnRenameCate->setVisible(false);

    setTabOrder(memText, btnSave);
    setTabOrder(btnSave, btnCancel);
    setTabOrder(btnCancel, btnRenameCate);

    connect(memText, &QPlainTextEdit::textChanged, this, &TfrmEditCate::memTextChange);
    connect(btnSave, &QPushButton::clicked, this, &TfrmEditCate::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmEditCate::btnCancelClick);
    connect(btnRenameCate, &QPushButton::clicked, this, &TfrmEditCate::btnRenameCateClick);
    connect(memText, &QPlainTextEdit::cursorPositionChanged, this, &TfrmEditCate::UpdateRename);
    connect(memText, &QPlainTextEdit::textChanged, this, &TfrmEditCate::UpdateRename);
}

void TfrmEditCate::SetRenameStore(TDbMan *db, const QString &user, const QString &type)
{
    m_db = db;
    m_user = user;
    m_type = type;
    btnRenameCate->setVisible(db != nullptr);
    UpdateRename();
}

void TfrmEditCate::UpdateRename()
{
    btnRenameCate->setEnabled(m_db && !THi::Trim(memText->textCursor().block().text()).isEmpty());
}

void TfrmEditCate::btnRenameCateClick()
{
    if (!btnRenameCate->isEnabled())
        return;
    QTextCursor line = memText->textCursor();
    const QString from = THi::Trim(line.block().text());
    const QString name = TCateRename::Run(this, *m_db, m_user, m_type, from);
    if (name.isEmpty())
        return;
    // The field follows the store: the line gets the new name, or goes when
    // the new name has a line of its own (a merge).
    bool listed = false;
    for (QTextBlock b = memText->document()->begin(); b.isValid(); b = b.next()) {
        if (b != line.block() && THi::LowerAscii(THi::Trim(b.text())) == THi::LowerAscii(name))
            listed = true;
    }
    line.beginEditBlock();
    line.select(QTextCursor::BlockUnderCursor);
    if (listed) {
        line.removeSelectedText();
        if (line.atStart()) // the first line: its break went with the next one
            line.deleteChar();
    } else {
        line.movePosition(QTextCursor::StartOfBlock);
        line.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        line.insertText(name);
    }
    line.endEditBlock();
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
