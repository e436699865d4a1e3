#include "DateEdit.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "EditCateForm.h"
#include "EditRecForm.h"
#include "FormKit.h"
#include "HiClass.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

// Both dialogs are driven through their real widgets, found by object name.
using TestSupport::Child;
using TestSupport::TypeText;

static void clearField(QLineEdit *e)
{
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
}

class TestEditForms : public QObject {
    Q_OBJECT

private slots:
    // Category list editor
    void cateSaveWaitsForChange();
    void cateLineBreaksIn_data();
    void cateLineBreaksIn();
    void cateSavedText_data();
    void cateSavedText();
    void cateEmptyTextSaves();
    void cateKeysDoNotClose();
    void cateCancel_data();
    void cateCancel();
    void cateExecAccepts();
    void cateRename_data();
    void cateRename();
    void cateRenameNeedsStoreAndLine();

    // Record edit dialog
    void recShowFillsAndDisablesSave();
    void recDateAloneKeepsSaveDisabled();
    void recSaveCheck_data();
    void recSaveCheck();
    void recOutputsTrimmed();
    void recTypingLimit_data();
    void recTypingLimit();
    void recPasteLimit_data();
    void recPasteLimit();
    void recKeysDoNotClose();
    void recCancel_data();
    void recCancel();
    void recUnreadableDate();
    void recTypedDate_data();
    void recTypedDate();

    // The date field of every window
    void dateTyping_data();
    void dateTyping();
};

// ---------------------------------------------------------------------------
// Category list editor

void TestEditForms::cateSaveWaitsForChange()
{
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("餐饮\r\n交通");
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    auto *save = Child<QPushButton>(&dlg, "btnSave");
    QVERIFY(!save->isEnabled());

    QTest::mouseClick(save, Qt::LeftButton);
    QVERIFY(dlg.isVisible());

    // A change enables Save, and undoing it by hand does not disable it again.
    QTest::keyClick(mem, Qt::Key_End);
    TypeText(mem, QStringLiteral("x"));
    QVERIFY(save->isEnabled());
    QTest::keyClick(mem, Qt::Key_Backspace);
    QCOMPARE(mem->toPlainText(), QStringLiteral("餐饮\n交通"));
    QVERIFY(save->isEnabled());
}

void TestEditForms::cateLineBreaksIn_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addRow("CR LF") << QStringLiteral("a\r\nb\r\n\r\nc");
    QTest::addRow("LF") << QStringLiteral("a\nb\n\nc");
    QTest::addRow("CR") << QStringLiteral("a\rb\r\rc");
}

void TestEditForms::cateLineBreaksIn()
{
    QFETCH(QString, stored);
    TfrmEditCate dlg(nullptr);
    dlg.CateText = stored;
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    QCOMPARE(mem->toPlainText(), QStringLiteral("a\nb\n\nc"));
    QCOMPARE(mem->document()->blockCount(), 4);

    QTest::keyClick(mem, Qt::Key_End, Qt::ControlModifier);
    TypeText(mem, QStringLiteral("\nd"));
    QTest::mouseClick(Child<QPushButton>(&dlg, "btnSave"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.CateText, QStringLiteral("a\r\nb\r\n\r\nc\r\nd"));
}

void TestEditForms::cateSavedText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addRow("blank lines around dropped, inner kept")
        << QStringLiteral("\n\n餐饮\n\n交通\n\n") << QStringLiteral("餐饮\r\n\r\n交通");
    QTest::addRow("blanks at the ends dropped, inside kept")
        << QStringLiteral("  \n  a b \n c  ") << QStringLiteral("a b \r\n c");
    QTest::addRow("duplicates kept") << QStringLiteral("a\na") << QStringLiteral("a\r\na");
    QTest::addRow("full-width space stays")
        << QStringLiteral("\u3000餐饮\u3000") << QStringLiteral("\u3000餐饮\u3000");
    QTest::addRow("only blank lines") << QStringLiteral(" \n\n  \n") << QString();
}

void TestEditForms::cateSavedText()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    TfrmEditCate dlg(nullptr);
    dlg.show();
    TypeText(Child<QPlainTextEdit>(&dlg, "memText"), typed);
    QTest::mouseClick(Child<QPushButton>(&dlg, "btnSave"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.CateText, expected);
}

void TestEditForms::cateEmptyTextSaves()
{
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("餐饮\r\n交通");
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    mem->selectAll();
    QTest::keyClick(mem, Qt::Key_Delete);
    QTest::mouseClick(Child<QPushButton>(&dlg, "btnSave"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(dlg.CateText.isEmpty());
}

void TestEditForms::cateKeysDoNotClose()
{
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("a");
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    auto *save = Child<QPushButton>(&dlg, "btnSave");

    QTest::keyClick(mem, Qt::Key_End);
    QTest::keyClick(mem, Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    QCOMPARE(mem->toPlainText(), QStringLiteral("a\n"));

    QTest::keyClick(mem, Qt::Key_Escape);
    QTest::keyClick(save, Qt::Key_Escape);
    QTest::keyClick(save, Qt::Key_Return);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), 0);
    QCOMPARE(dlg.CateText, QStringLiteral("a"));
}

void TestEditForms::cateCancel_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::addRow("cancel button") << false;
    QTest::addRow("close box") << true;
}

void TestEditForms::cateCancel()
{
    QFETCH(bool, closeBox);
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("餐饮\r\n交通");
    dlg.show();
    TypeText(Child<QPlainTextEdit>(&dlg, "memText"), QStringLiteral("x\n"));
    if (closeBox)
        QVERIFY(dlg.close());
    else
        QTest::mouseClick(Child<QPushButton>(&dlg, "btnCancel"), Qt::LeftButton);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(dlg.CateText, QStringLiteral("餐饮\r\n交通"));
}

void TestEditForms::cateExecAccepts()
{
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("a");
    QTimer::singleShot(0, &dlg, [&dlg] {
        auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
        QTest::keyClick(mem, Qt::Key_End);
        TypeText(mem, QStringLiteral("\nb"));
        QTest::mouseClick(Child<QPushButton>(&dlg, "btnSave"), Qt::LeftButton);
    });
    QTimer::singleShot(5000, &dlg, [&dlg] { dlg.done(-1); }); // never hang
    QCOMPARE(dlg.exec(), int(QDialog::Accepted));
    QCOMPARE(dlg.CateText, QStringLiteral("a\r\nb"));
}

// ---------------------------------------------------------------------------
// Record edit dialog

struct RecDialog {
    TfrmEditRec dlg{nullptr};
    QDateEdit *date = nullptr;
    QLineEdit *cate = nullptr, *amount = nullptr, *notes = nullptr;
    QPushButton *save = nullptr;

    RecDialog(const QString &d, const QString &c, const QString &a, const QString &n)
    {
        dlg.RecDate = d;
        dlg.RecCate = c;
        dlg.RecAmount = a;
        dlg.RecNotes = n;
        date = Child<QDateEdit>(&dlg, "dtpDate");
        cate = Child<QLineEdit>(&dlg, "edtCate");
        amount = Child<QLineEdit>(&dlg, "edtAmount");
        notes = Child<QLineEdit>(&dlg, "edtNotes");
        save = Child<QPushButton>(&dlg, "btnSave");
    }
    RecDialog()
        : RecDialog(QStringLiteral("2024-03-05"), QStringLiteral("餐饮"), QStringLiteral("12.50"),
                    QStringLiteral("午饭"))
    {
    }

    QLineEdit *field(const QString &name) { return Child<QLineEdit>(&dlg, name); }
    void clickSave() { QTest::mouseClick(save, Qt::LeftButton); }
};

void TestEditForms::recShowFillsAndDisablesSave()
{
    RecDialog r;
    r.dlg.show();
    QCOMPARE(r.date->date(), QDate(2024, 3, 5));
    QCOMPARE(r.date->text(), QStringLiteral("2024-03-05"));
    QCOMPARE(r.cate->text(), QStringLiteral("餐饮"));
    QCOMPARE(r.amount->text(), QStringLiteral("12.50"));
    QCOMPARE(r.notes->text(), QStringLiteral("午饭"));
    // The values pass the check, yet Save waits for a change.
    QVERIFY(!r.save->isEnabled());
    r.clickSave();
    QVERIFY(r.dlg.isVisible());
}

void TestEditForms::recDateAloneKeepsSaveDisabled()
{
    RecDialog r;
    r.dlg.show();
    r.date->setFocus();
    r.date->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(r.date, Qt::Key_Up);
    QCOMPARE(r.date->date(), QDate(2024, 3, 6));
    QVERIFY(!r.save->isEnabled());

    // A text change that passes the check saves the new date with it.
    TypeText(r.notes, QStringLiteral("和晚饭"));
    QVERIFY(r.save->isEnabled());
    r.clickSave();
    QCOMPARE(r.dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.dlg.RecDate, QStringLiteral("2024-03-06"));
    QCOMPARE(r.dlg.RecNotes, QStringLiteral("午饭和晚饭"));
}

void TestEditForms::recSaveCheck_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("saved"); // null: Save stays disabled

    const QString food = QStringLiteral("餐饮");
    QTest::addRow("5") << food << "5"
                       << "5.00";
    QTest::addRow("0.01 is the least") << food << "0.01"
                                       << "0.01";
    QTest::addRow("blanks around") << food << " 7.5 "
                                   << "7.50";
    QTest::addRow("exponent") << food << "1.5e2"
                              << "150.00";
    QTest::addRow("rounds to cents") << food << "2.006"
                                     << "2.01";
    QTest::addRow("0.001") << food << "0.001" << QString();
    QTest::addRow("0.009") << food << "0.009" << QString();
    QTest::addRow("0") << food << "0" << QString();
    QTest::addRow("negative") << food << "-5" << QString();
    QTest::addRow("letters") << food << "abc" << QString();
    QTest::addRow("comma") << food << "12,5" << QString();
    QTest::addRow("empty amount") << food << "" << QString();
    QTest::addRow("blank amount") << food << "   " << QString();
    QTest::addRow("inf") << food << "inf" << QString();
    QTest::addRow("overflow") << food << "1e999" << QString();
    QTest::addRow("beyond any household sum") << food << "1e12" << QString();
    QTest::addRow("blank category") << "   "
                                    << "5" << QString();
    QTest::addRow("empty category") << ""
                                    << "5" << QString();
}

void TestEditForms::recSaveCheck()
{
    QFETCH(QString, cate);
    QFETCH(QString, amount);
    QFETCH(QString, saved);
    RecDialog r;
    r.dlg.show();
    clearField(r.cate);
    TypeText(r.cate, cate);
    clearField(r.amount);
    TypeText(r.amount, amount);
    QCOMPARE(r.save->isEnabled(), !saved.isNull());

    r.clickSave();
    if (saved.isNull()) {
        QVERIFY(r.dlg.isVisible());
        QCOMPARE(r.dlg.RecAmount, QStringLiteral("12.50"));
    } else {
        QCOMPARE(r.dlg.result(), int(QDialog::Accepted));
        QCOMPARE(r.dlg.RecAmount, saved);
    }
}

void TestEditForms::recOutputsTrimmed()
{
    RecDialog r(QStringLiteral("2023-12-31"), QStringLiteral(" \t餐饮 "), QStringLiteral(" 3 "),
                QStringLiteral("\u3000午饭 \t"));
    r.dlg.show();
    QCOMPARE(r.cate->text(), QStringLiteral(" \t餐饮 "));
    TypeText(r.cate, QStringLiteral("  "));
    r.clickSave();
    QCOMPARE(r.dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.dlg.RecDate, QStringLiteral("2023-12-31"));
    QCOMPARE(r.dlg.RecCate, QStringLiteral("餐饮"));
    QCOMPARE(r.dlg.RecAmount, QStringLiteral("3.00"));
    QCOMPARE(r.dlg.RecNotes, QStringLiteral("\u3000午饭")); // a full-width space is text
}

void TestEditForms::recTypingLimit_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    const QString a100 = QString(100, QLatin1Char('a'));
    const QString zh50 = QString(50, QChar(0x4E2D));
    QTest::addRow("120 letters keep 100") << "edtCate"
                                          << "" << QString(120, QLatin1Char('a')) << a100;
    QTest::addRow("60 Chinese keep 50") << "edtNotes"
                                        << "" << QString(60, QChar(0x4E2D)) << zh50;
    QTest::addRow("amount field limited too")
        << "edtAmount"
        << "" << QString(101, QLatin1Char('1')) << QString(100, QLatin1Char('1'));
    QTest::addRow("no half character at 99 bytes")
        << "edtCate" << QString(99, QLatin1Char('a')) << QStringLiteral("中b")
        << QString(99, QLatin1Char('a')) + QStringLiteral("b");
    QTest::addRow("typing adds to the caller's text")
        << "edtNotes" << QString(45, QChar(0x4E2D)) << QString(7, QChar(0x4E2D)) << zh50;
    QTest::addRow("longer caller value shown whole, not extended")
        << "edtCate" << QString(70, QChar(0x6587)) << QStringLiteral("x")
        << QString(70, QChar(0x6587));
    QTest::addRow("longer caller value in the notes")
        << "edtNotes" << QString(150, QLatin1Char('n')) << QStringLiteral("")
        << QString(150, QLatin1Char('n'));
}

void TestEditForms::recTypingLimit()
{
    QFETCH(QString, field);
    QFETCH(QString, given);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    RecDialog r(QStringLiteral("2024-03-05"), QStringLiteral("餐饮"), QStringLiteral("1"),
                QString());
    if (field == QStringLiteral("edtCate"))
        r.dlg.RecCate = given;
    else if (field == QStringLiteral("edtAmount"))
        r.dlg.RecAmount = given;
    else
        r.dlg.RecNotes = given;
    r.dlg.show();
    QLineEdit *e = r.field(field);
    QCOMPARE(e->text(), given);
    e->end(false);
    QToolTip::hideText();
    TypeText(e, typed);
    QCOMPARE(e->text(), expected);
    QVERIFY(THi::ByteLength(e->text()) <= std::max(100, THi::ByteLength(given)));
    // A key refused at the limit is said beside the field.
    const bool cut = e->text() != given + typed;
    QCOMPARE(QToolTip::isVisible(), cut);
    if (cut)
        QCOMPARE(QToolTip::text(), CutHint(QStringLiteral("至多 100 个字节（一个汉字算两个）")));
    QToolTip::hideText();
}

void TestEditForms::recPasteLimit_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("expected");
    QTest::addRow("fits") << QString(50, QLatin1Char('a')) << QString(25, QChar(0x4E2D))
                          << QString(50, QLatin1Char('a')) + QString(25, QChar(0x4E2D));
    QTest::addRow("too long: refused")
        << QString(50, QLatin1Char('a')) << QString(26, QChar(0x4E2D))
        << QString(50, QLatin1Char('a'));
}

void TestEditForms::recPasteLimit()
{
    QFETCH(QString, given);
    QFETCH(QString, pasted);
    QFETCH(QString, expected);
    RecDialog r(QStringLiteral("2024-03-05"), given, QStringLiteral("1"), QString());
    r.dlg.show();
    QApplication::clipboard()->setText(pasted);
    if (QApplication::clipboard()->text() != pasted)
        QSKIP("no clipboard on this platform");
    r.cate->end(false);
    r.cate->paste();
    QCOMPARE(r.cate->text(), expected);
}

void TestEditForms::recKeysDoNotClose()
{
    RecDialog r;
    r.dlg.show();
    TypeText(r.amount, QStringLiteral("5"));
    QVERIFY(r.save->isEnabled());
    for (QWidget *w : std::initializer_list<QWidget *>{r.date, r.cate, r.amount, r.notes, r.save}) {
        QTest::keyClick(w, Qt::Key_Escape);
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
    }
    QVERIFY(r.dlg.isVisible());
    QCOMPARE(r.dlg.result(), 0);
    QCOMPARE(r.dlg.RecAmount, QStringLiteral("12.50"));
}

void TestEditForms::recCancel_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::addRow("cancel button") << false;
    QTest::addRow("close box") << true;
}

void TestEditForms::recCancel()
{
    QFETCH(bool, closeBox);
    RecDialog r;
    r.dlg.show();
    r.date->setDate(QDate(2020, 1, 1));
    TypeText(r.cate, QStringLiteral("x"));
    TypeText(r.amount, QStringLiteral("9"));
    TypeText(r.notes, QStringLiteral("y"));
    QVERIFY(r.save->isEnabled());
    if (closeBox)
        QVERIFY(r.dlg.close());
    else
        QTest::mouseClick(Child<QPushButton>(&r.dlg, "btnCancel"), Qt::LeftButton);
    QVERIFY(!r.dlg.isVisible());
    QCOMPARE(r.dlg.result(), int(QDialog::Rejected));
    QCOMPARE(r.dlg.RecDate, QStringLiteral("2024-03-05"));
    QCOMPARE(r.dlg.RecCate, QStringLiteral("餐饮"));
    QCOMPARE(r.dlg.RecAmount, QStringLiteral("12.50"));
    QCOMPARE(r.dlg.RecNotes, QStringLiteral("午饭"));
}

void TestEditForms::recUnreadableDate()
{
    DialogScript script;
    RecDialog r(QStringLiteral("2024-13-01"), QStringLiteral("餐饮"), QStringLiteral("1"),
                QString());
    QTimer::singleShot(5000, &r.dlg, [&r] { r.dlg.done(-1); }); // never hang
    QCOMPARE(r.dlg.exec(), int(QDialog::Rejected));
    QCOMPARE(script.of(TDialogCall::Error).size(), 1);
    QCOMPARE(r.dlg.RecDate, QStringLiteral("2024-13-01"));
}

void TestEditForms::recTypedDate_data()
{
    QTest::addColumn<int>("section"); // 0 year, 1 month, 2 day: where the cursor is
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved"); // null: refused
    const char *const sections[] = {"year", "month", "day"};
    for (int section = 0; section < 3; ++section) {
        const char *from = sections[section];
        QTest::addRow("from the %s, dashes", from) << section << "2026-11-21"
                                                   << "2026-11-21";
        QTest::addRow("from the %s, short parts", from) << section << "2026-1-5"
                                                        << "2026-01-05";
        QTest::addRow("from the %s, slashes", from) << section << "2026/11/21"
                                                    << "2026-11-21";
        QTest::addRow("from the %s, digits", from) << section << "20261121"
                                                   << "2026-11-21";
        QTest::addRow("from the %s, no such day", from) << section << "2026-02-30" << QString();
        QTest::addRow("from the %s, partial", from) << section << "10-5" << QString();
    }
}

// Typed from the keyboard into the dialog's date, then Tab on to the notes.
void TestEditForms::recTypedDate()
{
    QFETCH(int, section);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    RecDialog r;
    r.dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&r.dlg));
    r.date->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < section; ++i)
        QTest::keyClick(r.date, Qt::Key_Tab);
    QCOMPARE(r.date->currentSectionIndex(), section);
    QTest::keyClicks(r.date, typed);
    QTest::keyClick(r.date, Qt::Key_Tab);
    QTest::keyClick(r.cate, Qt::Key_Tab);
    QTest::keyClick(r.amount, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), r.notes);
    TypeText(r.notes, QStringLiteral("和晚饭"));
    r.clickSave();
    if (saved.isNull()) {
        // Refused: the text stays, the record's date is not replaced, Save waits.
        QCOMPARE(r.date->text(), typed);
        QCOMPARE(r.date->date(), QDate(2024, 3, 5));
        QVERIFY(!r.save->isEnabled());
        QVERIFY(r.dlg.isVisible());
        r.date->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(r.date, QStringLiteral("2026-11-21"));
        QVERIFY(r.save->isEnabled());
        saved = QStringLiteral("2026-11-21");
        r.clickSave();
    }
    QCOMPARE(r.dlg.result(), int(QDialog::Accepted));
    QCOMPARE(r.dlg.RecDate, saved);
}

// ---------------------------------------------------------------------------
// The date field of every window

void TestEditForms::dateTyping_data()
{
    // keys: typed as they stand, except \t Tab, \b Backspace, \x1b Escape,
    // \r Return and | for leaving the field (the focus goes elsewhere).
    QTest::addColumn<QString>("from"); // the selected part: all, year, month or day
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QDate>("expected");
    QTest::addColumn<QString>("shown"); // null: the expected date
    const QDate before(2011, 4, 12);
    const QString all = QStringLiteral("all");
    QTest::addRow("eight digits") << all << "20261201" << QDate(2026, 12, 1) << QString();
    QTest::addRow("dashes") << all << "2026-12-01" << QDate(2026, 12, 1) << QString();
    QTest::addRow("slashes") << all << "2026/12/01" << QDate(2026, 12, 1) << QString();
    QTest::addRow("short parts, Tab") << all << "2026-1-5\t" << QDate(2026, 1, 5) << QString();
    QTest::addRow("short parts, Return") << all << "2026-1-5\r" << QDate(2026, 1, 5) << QString();
    QTest::addRow("short parts, leaving") << all << "2026-1-5|" << QDate(2026, 1, 5) << QString();
    QTest::addRow("corrected with Backspace")
        << all << "2026-12\b\b03-07" << QDate(2026, 3, 7) << QString();
    QTest::addRow("refused, then corrected")
        << all << "20260230\b\b\b\b0301" << QDate(2026, 3, 1) << QString();
    QTest::addRow("Escape goes back") << all << "2026-1-5\x1b" << before << QString();
    QTest::addRow("Escape after a refusal goes back")
        << all << "2026-2-30|\x1b" << before << QString();
    QTest::addRow("same date") << all << "20110412" << before << QString();
    // Refused: the text stays as typed, the date is not replaced.
    QTest::addRow("letters refused") << all << "2026x1201|" << before << "2026x1201";
    QTest::addRow("no such day refused") << all << "20260230" << before << "20260230";
    QTest::addRow("no such month refused") << all << "2026-13-01|" << before << "2026-13-01";
    QTest::addRow("unfinished refused") << all << "2026-12|" << before << "2026-12";
    QTest::addRow("month and day only refused") << all << "10-5\t" << before << "10-5";
    QTest::addRow("word refused") << all << "abc\r" << before << "abc";
    QTest::addRow("cleared refused") << all << "\b|" << before << "";
    QTest::addRow("arrow keeps a refusal") << all << "2026-2-30\x1c" << before << "2026-2-30";
    // Whichever section holds the cursor, the typing is a whole date.
    for (const char *from : {"year", "month", "day"}) {
        const QString f = QLatin1String(from);
        QTest::addRow("%s section, dashes", from)
            << f << "2026-10-01" << QDate(2026, 10, 1) << QString();
        QTest::addRow("%s section, short parts", from)
            << f << "2026-1-5\t" << QDate(2026, 1, 5) << QString();
        QTest::addRow("%s section, slashes", from)
            << f << "2026/10/01" << QDate(2026, 10, 1) << QString();
        QTest::addRow("%s section, digits", from)
            << f << "20261001" << QDate(2026, 10, 1) << QString();
        QTest::addRow("%s section, year only refused", from) << f << "2026|" << before << "2026";
        QTest::addRow("%s section, Backspace works from the end", from)
            << f << "\b\b15\r" << QDate(2011, 4, 15) << QString();
    }
}

void TestEditForms::dateTyping()
{
    QFETCH(QString, from);
    QFETCH(QString, keys);
    QFETCH(QDate, expected);
    QFETCH(QString, shown);
    QWidget host;
    auto *date = new TDateEdit(&host);
    auto *other = new QLineEdit(&host);
    other->move(0, 40);
    date->setDate(QDate(2011, 4, 12));
    host.show();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    // Tab into the field selects the year; Tab again goes on to the month and the day.
    date->setFocus(Qt::TabFocusReason);
    if (from == QLatin1String("all"))
        QTest::keyClick(date, Qt::Key_A, Qt::ControlModifier);
    const QStringList sections{QStringLiteral("year"), QStringLiteral("month"),
                               QStringLiteral("day")};
    for (int i = 0; i < sections.indexOf(from); ++i)
        QTest::keyClick(date, Qt::Key_Tab);
    if (from != QLatin1String("all"))
        QCOMPARE(date->currentSectionIndex(), sections.indexOf(from));
    QSignalSpy changed(date, &QDateEdit::dateChanged);

    for (const QChar c : keys) {
        if (c == QLatin1Char('\t'))
            QTest::keyClick(date, Qt::Key_Tab);
        else if (c == QLatin1Char('\b'))
            QTest::keyClick(date, Qt::Key_Backspace);
        else if (c == QLatin1Char('\x1b'))
            QTest::keyClick(date, Qt::Key_Escape);
        else if (c == QLatin1Char('\x1c'))
            QTest::keyClick(date, Qt::Key_Up);
        else if (c == QLatin1Char('\r'))
            QTest::keyClick(date, Qt::Key_Return);
        else if (c == QLatin1Char('|'))
            other->setFocus();
        else
            QTest::keyClick(date, c.toLatin1());
    }
    QCOMPARE(date->date(), expected);
    const bool refused = !shown.isNull();
    QCOMPARE(date->text(), refused ? shown : THi::DateToYmd(expected));
    QCOMPARE(date->IsWhole(), !refused);
    QCOMPARE(date->toolTip().isEmpty(), !refused);
    // A whole typed date is announced once it is taken, never half-typed;
    // a date typed in vain announces nothing.
    const QDate before(2011, 4, 12);
    QCOMPARE(changed.isEmpty(), expected == before);
    for (const QList<QVariant> &signal : changed)
        QCOMPARE(signal.value(0).toDate(), expected);
    if (!refused)
        return;
    // Refused text is marked with a red frame, and stays when the focus comes back.
    const QImage shot = date->grab().toImage();
    const QColor edge = shot.pixelColor(1, shot.height() / 2);
    QVERIFY2(edge.red() > 150 && edge.green() < 80 && edge.blue() < 80, qPrintable(edge.name()));
    other->setFocus();
    date->setFocus(Qt::TabFocusReason);
    QCOMPARE(date->text(), shown);
    QCOMPARE(date->date(), before);
    // The program setting a date ends the refusal.
    date->setDate(QDate(2020, 2, 2));
    QVERIFY(date->IsWhole());
    QCOMPARE(date->text(), QStringLiteral("2020-02-02"));
    QVERIFY(date->toolTip().isEmpty());
}

void TestEditForms::cateRename_data()
{
    QTest::addColumn<int>("line");         // where the cursor is
    QTest::addColumn<QVariant>("typed");   // the input's answer; a null text cancels
    QTest::addColumn<QVariant>("merge");   // the answer to the merge question, if asked
    QTest::addColumn<QString>("text");     // the field afterwards
    QTest::addColumn<QString>("stored");   // the stored pick list afterwards
    QTest::addColumn<int>("renamedCount"); // records under the new name afterwards
    QTest::addRow("renamed in place")
        << 1 << QVariant(QStringLiteral("公交")) << QVariant() << QStringLiteral("餐饮\n公交\n房租")
        << QStringLiteral("餐饮\r\n公交\r\n房租") << 2;
    QTest::addRow("merged: the line goes")
        << 1 << QVariant(QStringLiteral("餐饮")) << QVariant(true) << QStringLiteral("餐饮\n房租")
        << QStringLiteral("餐饮\r\n房租") << 3;
    QTest::addRow("first line merged")
        << 0 << QVariant(QStringLiteral("房租")) << QVariant(true) << QStringLiteral("交通\n房租")
        << QStringLiteral("交通\r\n房租") << 1;
    QTest::addRow("merge declined")
        << 1 << QVariant(QStringLiteral("餐饮")) << QVariant(false)
        << QStringLiteral("餐饮\n交通\n房租") << QStringLiteral("餐饮\r\n交通\r\n房租") << 1;
    QTest::addRow("cancelled") << 1 << QVariant(QString()) << QVariant()
                               << QStringLiteral("餐饮\n交通\n房租")
                               << QStringLiteral("餐饮\r\n交通\r\n房租") << 0;
}

// 重命名类别 beside the editor renames the category on the cursor's line in
// the records and the stored list at once; the field follows.
void TestEditForms::cateRename()
{
    QFETCH(int, line);
    QFETCH(QVariant, typed);
    QFETCH(QVariant, merge);
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QFETCH(int, renamedCount);
    TestSupport::DataFile file;
    TDbMan db(file.path());
    const QString list = QStringLiteral("餐饮\r\n交通\r\n房租");
    db.SetCateList(QStringLiteral("Li"), KindOut(), list);
    db.AddRecords(QStringLiteral("Li"),
                  Batch({{QStringLiteral("2011-04-01"), TypeExpense(), QStringLiteral("交通"),
                          QStringLiteral("5.00"), QStringLiteral("")},
                         {QStringLiteral("2011-04-02"), TypeExpense(), QStringLiteral("交通"),
                          QStringLiteral("6.00"), QStringLiteral("")},
                         {QStringLiteral("2011-04-02"), TypeExpense(), QStringLiteral("餐饮"),
                          QStringLiteral("7.00"), QStringLiteral("")}}));
    TfrmEditCate dlg(nullptr);
    dlg.CateText = list;
    dlg.SetRenameStore(&db, QStringLiteral("Li"), TypeExpense());
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    auto *rename = Child<QPushButton>(&dlg, "btnRenameCate");
    QCOMPARE(rename->text(), QStringLiteral("重命名类别"));
    QVERIFY(rename->isVisible());
    QTextCursor c(mem->document()->findBlockByNumber(line));
    mem->setTextCursor(c);
    QVERIFY(rename->isEnabled());

    DialogScript script;
    script.answers.enqueue(typed);
    if (merge.isValid())
        script.answers.enqueue(merge);
    QTest::mouseClick(rename, Qt::LeftButton);

    QCOMPARE(script.of(TDialogCall::Question).size(), merge.isValid() ? 1 : 0);
    QCOMPARE(mem->toPlainText(), text);
    QCOMPARE(db.GetCateList(QStringLiteral("Li"), KindOut()), stored);
    if (typed.toString().isEmpty())
        return;
    QCOMPARE(db.CountCate(QStringLiteral("Li"), TypeExpense(), typed.toString()),
             qint64(renamedCount));
    QVERIFY(dlg.isVisible()); // the editor stays open for more
}

void TestEditForms::cateRenameNeedsStoreAndLine()
{
    TfrmEditCate plain(nullptr);
    plain.CateText = QStringLiteral("餐饮");
    plain.show();
    QVERIFY(!Child<QPushButton>(&plain, "btnRenameCate")->isVisible());

    TestSupport::DataFile file;
    TDbMan db(file.path());
    TfrmEditCate dlg(nullptr);
    dlg.CateText = QStringLiteral("餐饮\r\n\r\n交通");
    dlg.SetRenameStore(&db, QStringLiteral("Li"), TypeExpense());
    dlg.show();
    auto *mem = Child<QPlainTextEdit>(&dlg, "memText");
    auto *rename = Child<QPushButton>(&dlg, "btnRenameCate");
    mem->setTextCursor(QTextCursor(mem->document()->findBlockByNumber(1)));
    QVERIFY(!rename->isEnabled()); // a blank line names no category
    mem->setTextCursor(QTextCursor(mem->document()->findBlockByNumber(2)));
    QVERIFY(rename->isEnabled());
}

QTEST_MAIN(TestEditForms)
#include "tst_EditForms.moc"
