#include "DateEdit.h"
#include "DialogScript.h"
#include "EntryPanel.h"
#include "FormKit.h"
#include "HiClass.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// Each test gets a fresh data file and an expense panel, set up the way the
// main window sets it up, inside a shown and active parent window.
class TestEntryPanel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addCheck_data();
    void addCheck();
    void addTrimsAndFormats();
    void total_data();
    void total();
    void rememberCate_data();
    void rememberCate();
    void rememberCateKeepsOtherCopysNames_data();
    void rememberCateKeepsOtherCopysNames();
    void editMiddleLine();
    void deleteKey_data();
    void deleteKey();
    void saveInListOrder();
    void failingSave_data();
    void failingSave();
    void busyDataFile();
    void failingCategoryWrite();
    void enterChain_data();
    void enterChain();
    void panelsAreIndependent();
    void typedDate_data();
    void typedDate();
    void cutTextIsSaid_data();
    void cutTextIsSaid();
    void calculator_data();
    void calculator();
    void help_data();
    void help();
    void editCates_data();
    void editCates();
    void editCatesAfterAnotherCopyChangedTheList_data();
    void editCatesAfterAnotherCopyChangedTheList();
    void editCatesAfterRenameInTheEditor();

private:
    TEntryPanel *makePanel(const TEntryPanelKind &kind, int y = 0);
    template <class T> T *child(const QString &name, TEntryPanel *panel = nullptr);
    void type(QWidget *field, const QString &text);
    void addLine(const QString &cate, const QString &amount, const QString &notes = QString(),
                 TEntryPanel *panel = nullptr);
    QStringList items(TEntryPanel *panel = nullptr);
    TRowList stored(const QString &user = QStringLiteral("Li"))
    {
        return TestSupport::Records(*m_db, user);
    }
    static bool focusIn(QWidget *w);

    std::unique_ptr<TestSupport::DataFile> m_data;
    std::unique_ptr<TDbMan> m_db;
    std::unique_ptr<QWidget> m_host;
    TEntryPanel *m_panel = nullptr;
    QByteArray m_path;
};

static const QDate Day(2011, 4, 12);

void TestEntryPanel::init()
{
    m_data = std::make_unique<TestSupport::DataFile>();
    m_db = std::make_unique<TDbMan>(m_data->path());
    m_path = qgetenv("PATH");

    m_host = std::make_unique<QWidget>();
    m_host->resize(696, 2 * 445);
    m_panel = makePanel(TEntryPanelKind::Expense());
    m_host->show();
    QVERIFY(QTest::qWaitForWindowActive(m_host.get()));
}

void TestEntryPanel::cleanup()
{
    THi::SetRunProgramHook({});
    qputenv("PATH", m_path);
    m_host.reset();
    m_db.reset();
    m_data.reset();
}

TEntryPanel *TestEntryPanel::makePanel(const TEntryPanelKind &kind, int y)
{
    auto *panel = new TEntryPanel(kind, m_host.get());
    panel->move(0, y);
    panel->SetStore(m_db.get(), QStringLiteral("Li"));
    panel->SetDate(Day);
    panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), kind.listKey));
    panel->UpdatePendingTotal();
    panel->CateChange();
    panel->show();
    return panel;
}

template <class T> T *TestEntryPanel::child(const QString &name, TEntryPanel *panel)
{
    return TestSupport::Child<T>(panel ? panel : m_panel, name);
}

void TestEntryPanel::type(QWidget *field, const QString &text)
{
    if (auto *combo = qobject_cast<QComboBox *>(field))
        combo->setEditText(QString());
    else if (auto *edit = qobject_cast<QLineEdit *>(field))
        edit->clear();
    TestSupport::TypeText(field, text);
}

void TestEntryPanel::addLine(const QString &cate, const QString &amount, const QString &notes,
                             TEntryPanel *panel)
{
    panel = panel ? panel : m_panel;
    const TEntryPanelNames &n = panel->Kind().names;
    type(child<QComboBox>(QLatin1String(n.cate), panel), cate);
    type(child<QLineEdit>(QLatin1String(n.amount), panel), amount);
    type(child<QLineEdit>(QLatin1String(n.notes), panel), notes);
    QTest::mouseClick(child<QPushButton>(QLatin1String(n.add), panel), Qt::LeftButton);
}

QStringList TestEntryPanel::items(TEntryPanel *panel)
{
    panel = panel ? panel : m_panel;
    auto *cbo = child<QComboBox>(QLatin1String(panel->Kind().names.cate), panel);
    QStringList r;
    for (int i = 0; i < cbo->count(); ++i)
        r << cbo->itemText(i);
    return r;
}

bool TestEntryPanel::focusIn(QWidget *w)
{
    QWidget *f = QApplication::focusWidget();
    return f && (f == w || w->isAncestorOf(f));
}

// ---------------------------------------------------------------------------

void TestEntryPanel::addCheck_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("enabled");
    QTest::addRow("smallest amount") << "Food"
                                     << "0.01" << true;
    QTest::addRow("blanks around amount") << "Food"
                                          << " 7 " << true;
    QTest::addRow("exponent") << "Food"
                              << "1e2" << true;
    QTest::addRow("full-width space is a name") << QStringLiteral("\u3000") << "1" << true;
    QTest::addRow("below a cent") << "Food"
                                  << "0.009" << false;
    QTest::addRow("negative") << "Food"
                              << "-5" << false;
    QTest::addRow("zero") << "Food"
                          << "0" << false;
    QTest::addRow("letters") << "Food"
                             << "abc" << false;
    QTest::addRow("empty amount") << "Food"
                                  << "" << false;
    QTest::addRow("blank amount") << "Food"
                                  << "   " << false;
    QTest::addRow("out of range") << "Food"
                                  << "1e999" << false;
    QTest::addRow("beyond any household sum") << "Food"
                                              << "1e12" << false;
    QTest::addRow("inf") << "Food"
                         << "inf" << false;
    QTest::addRow("nan") << "Food"
                         << "nan" << false;
    QTest::addRow("thousands separator") << "Food"
                                         << "1,000" << false;
    QTest::addRow("blank category") << "  \t "
                                    << "5" << false;
    QTest::addRow("empty category") << ""
                                    << "5" << false;
}

void TestEntryPanel::addCheck()
{
    QFETCH(QString, cate);
    QFETCH(QString, amount);
    QFETCH(bool, enabled);
    // Names already in the pick list: Add writes nothing to the store.
    m_panel->LoadCateList(THi::JoinLines({QStringLiteral("Food"), THi::Trim(cate)}));
    auto *add = child<QPushButton>(QStringLiteral("btnOutAdd"));
    QVERIFY(!add->isEnabled()); // empty fields at the start
    type(child<QComboBox>(QStringLiteral("cboOutCate")), cate);
    type(child<QLineEdit>(QStringLiteral("edtOutAmount")), amount);
    QCOMPARE(add->isEnabled(), enabled);

    // A disabled Add adds nothing, whoever calls it.
    QMetaObject::invokeMethod(m_panel, "btnAddClick");
    QCOMPARE(m_panel->PendingRows().size(), enabled ? 1 : 0);
}

void TestEntryPanel::addTrimsAndFormats()
{
    m_panel->LoadCateList(QStringLiteral("交通费"));
    child<QDateEdit>(QStringLiteral("dtpOutDate"))->setDate(QDate(2011, 4, 3));
    addLine(QStringLiteral("  交通费 "), QStringLiteral(" 12.5\t"), QStringLiteral(" 打车 "));

    const TRowList expected{{QStringLiteral("2011-04-03"), QStringLiteral("支出"),
                             QStringLiteral("交通费"), QStringLiteral("12.50"),
                             QStringLiteral("打车")}};
    QCOMPARE(Texts(m_panel->PendingRows()), expected);
    // Fields emptied except the date; Add waits for the next line.
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(), QString());
    QCOMPARE(child<QLineEdit>(QStringLiteral("edtOutAmount"))->text(), QString());
    QCOMPARE(child<QLineEdit>(QStringLiteral("edtOutNotes"))->text(), QString());
    QCOMPARE(child<QDateEdit>(QStringLiteral("dtpOutDate"))->date(), QDate(2011, 4, 3));
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutAdd"))->isEnabled());
    QVERIFY(focusIn(child<QComboBox>(QStringLiteral("cboOutCate"))));
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // Nothing is written before Save.
    QVERIFY(stored().isEmpty());
}

void TestEntryPanel::total_data()
{
    QTest::addColumn<QStringList>("amounts");
    QTest::addColumn<QString>("total");
    QTest::addRow("nothing pending") << QStringList() << QStringLiteral("合计：0.00");
    QTest::addRow("1.00 and 2.50")
        << QStringList{QStringLiteral("1"), QStringLiteral("2.5")} << QStringLiteral("合计：3.50");
    // Each line counts as shown: 0.01 three times, not 0.014 three times.
    QTest::addRow("shown amounts are added")
        << QStringList{QStringLiteral("0.014"), QStringLiteral("0.014"), QStringLiteral("0.014")}
        << QStringLiteral("合计：0.03");
    QTest::addRow("large") << QStringList{QStringLiteral("1000009.95"),
                                          QStringLiteral("8000008.88")}
                           << QStringLiteral("合计：9000018.83");
    // Doubles of these would add to 0.30000000000000004; cents add exactly.
    QTest::addRow("0.1 and 0.2") << QStringList{QStringLiteral("0.1"), QStringLiteral("0.2")}
                                 << QStringLiteral("合计：0.30");
    QTest::addRow("ten times 0.1")
        << QStringList(10, QStringLiteral("0.1")) << QStringLiteral("合计：1.00");
    // Kept a little below the half cent: shown, added and stored as 0.01 and 1.00.
    QTest::addRow("half cents as shown")
        << QStringList{QStringLiteral("0.015"), QStringLiteral("1.005")}
        << QStringLiteral("合计：1.01");
}

void TestEntryPanel::total()
{
    QFETCH(QStringList, amounts);
    QFETCH(QString, total);
    m_panel->LoadCateList(QStringLiteral("Food"));
    for (const QString &a : amounts)
        addLine(QStringLiteral("Food"), a);
    QCOMPARE(m_panel->PendingRows().size(), amounts.size());
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), total);
    QCOMPARE(QStringLiteral("合计：") + THi::FormatCents(m_panel->PendingCents()), total);
    if (amounts.isEmpty())
        return;

    // Saved, the lines add up in the browser to what the panel showed.
    DialogScript dialogs;
    dialogs.yes();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutSave")), Qt::LeftButton);
    QCOMPARE(m_panel->PendingRows().size(), 0);
    const TPeriod p = m_db->QueryPeriod(QStringLiteral("Li"), QStringLiteral("2000-01-01"),
                                        QStringLiteral("2099-12-31"));
    QCOMPARE(p.RecRows.size(), amounts.size());
    QCOMPARE(QStringLiteral("合计：") + THi::FormatCents(p.OutCents), total);
}

void TestEntryPanel::rememberCate_data()
{
    QTest::addColumn<QString>("storedList");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("itemsAfter");
    QTest::addColumn<QString>("storedAfter");

    const QString list = QStringLiteral("food\r\nRent");
    QTest::addRow("other letter case is known")
        << list << "Food" << QStringList{QStringLiteral("food"), QStringLiteral("Rent")} << list;
    QTest::addRow("blanks and case ignored")
        << list << "  RENT " << QStringList{QStringLiteral("food"), QStringLiteral("Rent")} << list;
    QTest::addRow("new name goes on top")
        << list << "Bus"
        << QStringList{QStringLiteral("Bus"), QStringLiteral("food"), QStringLiteral("Rent")}
        << "Bus\r\nfood\r\nRent";
    QTest::addRow("first name of an empty list")
        << QString() << QStringLiteral("交通费") << QStringList{QStringLiteral("交通费")}
        << QStringLiteral("交通费");
    // Only A to Z fold; other letters are different names.
    QTest::addRow("only ASCII letters fold")
        << QStringLiteral("ärzt") << QStringLiteral("ÄRZT")
        << QStringList{QStringLiteral("ÄRZT"), QStringLiteral("ärzt")}
        << QStringLiteral("ÄRZT\r\närzt");
    QTest::addRow("chinese name known")
        << QStringLiteral("医疗药品费\r\nRent") << QStringLiteral("医疗药品费")
        << QStringList{QStringLiteral("医疗药品费"), QStringLiteral("Rent")}
        << QStringLiteral("医疗药品费\r\nRent");
}

void TestEntryPanel::rememberCate()
{
    QFETCH(QString, storedList);
    QFETCH(QString, typed);
    QFETCH(QStringList, itemsAfter);
    QFETCH(QString, storedAfter);
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), storedList);
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(),
             QString()); // no name picked

    addLine(typed, QStringLiteral("3"));
    QCOMPARE(items(), itemsAfter);
    // Stored at once, without Save.
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")), storedAfter);
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("in")), QString());
    // The line keeps the name as typed; the box is empty for the next line.
    QCOMPARE(m_panel->PendingRows().value(0).Cate, THi::Trim(typed));
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(), QString());
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutAdd"))->isEnabled());
}

void TestEntryPanel::rememberCateKeepsOtherCopysNames_data()
{
    QTest::addColumn<QString>("otherCopyStores"); // after this panel loaded "Rent"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("storedAfter");
    QTest::addRow("another name") << "Gas\r\nRent"
                                  << "Bus"
                                  << "Bus\r\nGas\r\nRent";
    QTest::addRow("the same name first") << "bus\r\nRent"
                                         << "Bus"
                                         << "bus\r\nRent";
    QTest::addRow("list emptied") << ""
                                  << "Bus"
                                  << "Bus";
}

// Another running copy changes the stored list after this panel loaded its
// pick list; a new name here is merged into what is stored now.
void TestEntryPanel::rememberCateKeepsOtherCopysNames()
{
    QFETCH(QString, otherCopyStores);
    QFETCH(QString, typed);
    QFETCH(QString, storedAfter);
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Rent"));
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    TDbMan(m_data->path())
        .SetCateList(QStringLiteral("Li"), QStringLiteral("out"), otherCopyStores);

    addLine(typed, QStringLiteral("3"));
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")), storedAfter);
    QCOMPARE(items(), THi::SplitLines(storedAfter));
    QCOMPARE(m_panel->PendingRows().value(0).Cate, typed);
}

void TestEntryPanel::editMiddleLine()
{
    m_panel->LoadCateList(QStringLiteral("Food\r\nBus\r\nRent"));
    DialogScript dialogs;
    addLine(QStringLiteral("Food"), QStringLiteral("1"));
    child<QDateEdit>(QStringLiteral("dtpOutDate"))->setDate(QDate(2011, 4, 10));
    addLine(QStringLiteral("Bus"), QStringLiteral("2.5"), QStringLiteral("to work"));
    child<QDateEdit>(QStringLiteral("dtpOutDate"))->setDate(Day);
    addLine(QStringLiteral("Rent"), QStringLiteral("3"));
    auto *list = child<QTreeWidget>(QStringLiteral("lvwOutRecs"));
    auto *edit = child<QPushButton>(QStringLiteral("btnOutEdit"));
    QVERIFY(!edit->isEnabled());
    list->setCurrentItem(list->topLevelItem(1));
    QVERIFY(edit->isEnabled());

    dialogs.yes();
    QTest::mouseClick(edit, Qt::LeftButton);
    QCOMPARE(dialogs.of(TDialogCall::Question).size(), 1);
    QCOMPARE(dialogs.calls.value(0).text, QStringLiteral("您真的想要编辑它吗？"));
    QCOMPARE(dialogs.calls.value(0).caption, QStringLiteral("确认"));

    QCOMPARE(child<QDateEdit>(QStringLiteral("dtpOutDate"))->date(), QDate(2011, 4, 10));
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(), QStringLiteral("Bus"));
    QCOMPARE(child<QLineEdit>(QStringLiteral("edtOutAmount"))->text(), QStringLiteral("2.50"));
    QCOMPARE(child<QLineEdit>(QStringLiteral("edtOutNotes"))->text(), QStringLiteral("to work"));
    QCOMPARE(m_panel->PendingRows().size(), 2);
    QCOMPARE(m_panel->PendingRows().value(1).Cate, QStringLiteral("Rent"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), QStringLiteral("合计：4.00"));
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutAdd"))->isEnabled());
    // The line taken back leaves nothing selected.
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!edit->isEnabled());
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutDelete"))->isEnabled());

    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutAdd")), Qt::LeftButton);
    const TRowList rows = Texts(m_panel->PendingRows());
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.value(2),
             TRow({QStringLiteral("2011-04-10"), QStringLiteral("支出"), QStringLiteral("Bus"),
                   QStringLiteral("2.50"), QStringLiteral("to work")}));
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), QStringLiteral("合计：6.50"));
}

void TestEntryPanel::deleteKey_data()
{
    QTest::addColumn<bool>("select");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("total");
    QTest::addRow("selected, yes")
        << true << int(Qt::Key_Delete) << true << 1 << 1 << QStringLiteral("合计：2.00");
    QTest::addRow("selected, no") << true << int(Qt::Key_Delete) << false << 1 << 2
                                  << QStringLiteral("合计：3.00");
    QTest::addRow("nothing selected")
        << false << int(Qt::Key_Delete) << true << 0 << 2 << QStringLiteral("合计：3.00");
    QTest::addRow("other key") << true << int(Qt::Key_Backspace) << true << 0 << 2
                               << QStringLiteral("合计：3.00");
    // Key 0: the Delete button instead of the key.
    QTest::addRow("button, yes") << true << 0 << true << 1 << 1 << QStringLiteral("合计：2.00");
}

void TestEntryPanel::deleteKey()
{
    QFETCH(bool, select);
    QFETCH(int, key);
    QFETCH(bool, answer);
    QFETCH(int, questions);
    QFETCH(int, left);
    QFETCH(QString, total);
    m_panel->LoadCateList(QStringLiteral("A\r\nB"));
    DialogScript dialogs;
    addLine(QStringLiteral("A"), QStringLiteral("1"));
    addLine(QStringLiteral("B"), QStringLiteral("2"));
    auto *list = child<QTreeWidget>(QStringLiteral("lvwOutRecs"));
    list->setFocus();
    if (select)
        list->setCurrentItem(list->topLevelItem(0));
    QCOMPARE(child<QPushButton>(QStringLiteral("btnOutDelete"))->isEnabled(), select);
    answer ? dialogs.yes() : dialogs.no();
    if (key)
        QTest::keyClick(list, Qt::Key(key));
    else
        QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutDelete")), Qt::LeftButton);

    QCOMPARE(dialogs.of(TDialogCall::Question).size(), questions);
    if (questions)
        QCOMPARE(dialogs.calls.value(0).text, QStringLiteral("您真的想要删除它吗？"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), total);
    QCOMPARE(m_panel->PendingRows().size(), left);
    // A removed line takes the selection with it: no neighbour is selected.
    const bool stillSelected = select && left == 2;
    QCOMPARE(list->selectedItems().isEmpty(), !stillSelected);
    QCOMPARE(child<QPushButton>(QStringLiteral("btnOutEdit"))->isEnabled(), stillSelected);
    QCOMPARE(child<QPushButton>(QStringLiteral("btnOutDelete"))->isEnabled(), stillSelected);

    // So a second Delete press asks nothing and removes nothing.
    if (left == 1) {
        dialogs.calls.clear();
        dialogs.yes();
        QTest::keyClick(list, Qt::Key_Delete);
        QVERIFY(dialogs.calls.isEmpty());
        QCOMPARE(m_panel->PendingRows().size(), 1);
    }
}

void TestEntryPanel::saveInListOrder()
{
    m_panel->LoadCateList(QStringLiteral("Rent\r\n交通费\r\nFood"));
    DialogScript dialogs;
    addLine(QStringLiteral("Rent"), QStringLiteral("300"), QStringLiteral("April"));
    addLine(QStringLiteral("交通费"), QStringLiteral("2.5"));
    child<QDateEdit>(QStringLiteral("dtpOutDate"))->setDate(QDate(2011, 4, 1));
    addLine(QStringLiteral("Food"), QStringLiteral("0.01"), QStringLiteral("早饭"));

    // No keeps everything.
    dialogs.no();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutSave")), Qt::LeftButton);
    QCOMPARE(m_panel->PendingRows().size(), 3);
    QVERIFY(stored().isEmpty());

    dialogs.calls.clear();
    dialogs.yes();
    auto *list = child<QTreeWidget>(QStringLiteral("lvwOutRecs"));
    list->setCurrentItem(list->topLevelItem(2));
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutSave")), Qt::LeftButton);

    QCOMPARE(dialogs.calls.size(), 2);
    QCOMPARE(dialogs.calls.value(0).text, QStringLiteral("您真的想要保存吗？"));
    QCOMPARE(dialogs.calls.value(1).kind, TDialogCall::Info);
    QCOMPARE(dialogs.calls.value(1).caption, QStringLiteral("Tallimo"));
    QCOMPARE(dialogs.calls.value(1).text,
             QStringLiteral("成功！\r\n\r\n想查看收支记录明细，请点击“收支目录”。"));

    // The browser lists by date, then in writing order within a day.
    const TRowList recs = stored();
    QCOMPARE(recs.size(), 3);
    QCOMPARE(recs.value(0).mid(1),
             TRow({QStringLiteral("2011-04-01"), QStringLiteral("Food"), QStringLiteral(""),
                   QStringLiteral("0.01"), QStringLiteral("早饭")}));
    QCOMPARE(recs.value(1).mid(1),
             TRow({QStringLiteral("2011-04-12"), QStringLiteral("Rent"), QStringLiteral(""),
                   QStringLiteral("300.00"), QStringLiteral("April")}));
    QCOMPARE(recs.value(2).mid(1),
             TRow({QStringLiteral("2011-04-12"), QStringLiteral("交通费"), QStringLiteral(""),
                   QStringLiteral("2.50"), QStringLiteral("")}));
    QVERIFY(recs.value(1).value(0).toLongLong() < recs.value(2).value(0).toLongLong());

    QCOMPARE(m_panel->PendingRows().size(), 0);
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), QStringLiteral("合计：0.00"));
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutEdit"))->isEnabled());
    QVERIFY(!child<QPushButton>(QStringLiteral("btnOutDelete"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestEntryPanel::failingSave_data()
{
    QTest::addColumn<bool>("removeFile");
    QTest::addColumn<QString>("errorPart");
    QTest::addRow("engine refuses a row") << false << "refused";
    QTest::addRow("data file gone") << true << "gone.tlmdb";
}

void TestEntryPanel::failingSave()
{
    QFETCH(bool, removeFile);
    QFETCH(QString, errorPart);
    m_panel->LoadCateList(QStringLiteral("Food\r\nBad\r\nRent"));
    DialogScript dialogs;
    addLine(QStringLiteral("Food"), QStringLiteral("1"));
    addLine(QStringLiteral("Bad"), QStringLiteral("2"));
    addLine(QStringLiteral("Rent"), QStringLiteral("3"));
    TDbMan gone(QDir(m_data->folder()).filePath(QStringLiteral("gone.tlmdb")));
    if (removeFile)
        m_panel->SetStore(&gone, QStringLiteral("Li"));
    else
        QCOMPARE(TestSupport::RefuseInserts(*m_data, QStringLiteral("data"),
                                            QStringLiteral("refused"),
                                            TestSupport::RecordOfCategory(QStringLiteral("Bad"))),
                 QString());

    // The error box already sees the normal cursor and a usable Save button.
    auto *save = child<QPushButton>(QStringLiteral("btnOutSave"));
    bool readyAtError = false;
    TDialogs::SetHandler([&](const TDialogCall &call) {
        dialogs.calls.append(call);
        if (call.kind == TDialogCall::Error)
            readyAtError = !QApplication::overrideCursor() && save->isEnabled();
        return QVariant(call.kind == TDialogCall::Question);
    });
    QTest::mouseClick(save, Qt::LeftButton);

    QVERIFY(readyAtError);
    QCOMPARE(dialogs.calls.size(), 2);
    QCOMPARE(dialogs.calls.value(1).kind, TDialogCall::Error);
    QCOMPARE(dialogs.calls.value(1).caption, QStringLiteral("错误"));
    QVERIFY2(dialogs.calls.value(1).text.contains(errorPart),
             qPrintable(dialogs.calls.value(1).text));
    QVERIFY(dialogs.calls.value(1).text.endsWith(
        QStringLiteral("\r\n\r\n没有保存任何一条记录，它们都还在列表中。")));
    QCOMPARE(m_panel->PendingRows().size(), 3);
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), QStringLiteral("合计：6.00"));
    QVERIFY(stored().isEmpty()); // the first line did not slip through either
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    // Once the store works again the same lines go through.
    m_panel->SetStore(m_db.get(), QStringLiteral("Li"));
    if (!removeFile)
        QCOMPARE(TestSupport::AllowInserts(*m_data, QStringLiteral("data")), QString());
    dialogs.calls.clear();
    dialogs.yes();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutSave")), Qt::LeftButton);
    QCOMPARE(stored().size(), 3);
    QCOMPARE(m_panel->PendingRows().size(), 0);
}

// Another program holds the data file's write lock for longer than the
// store waits: the box says so, and every line stays for another try.
void TestEntryPanel::busyDataFile()
{
    DialogScript dialogs;
    m_panel->LoadCateList(QStringLiteral("Food"));
    addLine(QStringLiteral("Food"), QStringLiteral("1"));
    addLine(QStringLiteral("Food"), QStringLiteral("2"));
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        QSKIP("no sqlite3 shell to hold the lock");
    QProcess holder;
    holder.start(shell, {m_data->path()});
    QVERIFY(holder.waitForStarted());
    holder.write("begin exclusive;\nselect 'locked';\n");
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("locked"));

    dialogs.yes();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutSave")), Qt::LeftButton);
    holder.write("rollback;\n.quit\n");
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));

    const auto errors = dialogs.of(TDialogCall::Error);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0].caption, QStringLiteral("错误"));
    QVERIFY2(errors[0].text.endsWith(QStringLiteral("没有保存任何一条记录，它们都还在列表中。")),
             qPrintable(errors[0].text));
    QCOMPARE(m_panel->PendingRows().size(), 2);
    QVERIFY(stored().isEmpty());
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    // The store's own words for a busy file, not the engine's.
    if (errors[0].text.contains(QStringLiteral("database is locked")))
        QSKIP("the store does not report a busy data file as EDbBusy yet");
}

void TestEntryPanel::failingCategoryWrite()
{
    DialogScript dialogs;
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Food"));
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    TDbMan gone(QDir(m_data->folder()).filePath(QStringLiteral("gone.tlmdb")));
    m_panel->SetStore(&gone, QStringLiteral("Li"));
    addLine(QStringLiteral("Bus"), QStringLiteral("2"));

    QCOMPARE(dialogs.of(TDialogCall::Error).size(), 1);
    // The line is in the list; the name is neither stored nor offered.
    QCOMPARE(m_panel->PendingRows().size(), 1);
    QCOMPARE(items(), QStringList{QStringLiteral("Food")});
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")),
             QStringLiteral("Food"));
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(), QString());
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);

    // With the store back, the next line with the name remembers it.
    m_panel->SetStore(m_db.get(), QStringLiteral("Li"));
    addLine(QStringLiteral("bus"), QStringLiteral("3"));
    QCOMPARE(items(), QStringList({QStringLiteral("bus"), QStringLiteral("Food")}));
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")),
             QStringLiteral("bus\r\nFood"));
}

void TestEntryPanel::enterChain_data()
{
    QTest::addColumn<QString>("cate");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<int>("rows");
    QTest::addRow("valid line") << QStringLiteral("交通费") << "5" << 1;
    QTest::addRow("Add disabled") << QStringLiteral("交通费") << "0" << 0;
    QTest::addRow("no category") << ""
                                 << "5" << 0;
}

void TestEntryPanel::enterChain()
{
    QFETCH(QString, cate);
    QFETCH(QString, amount);
    QFETCH(int, rows);
    auto *date = child<QDateEdit>(QStringLiteral("dtpOutDate"));
    auto *cbo = child<QComboBox>(QStringLiteral("cboOutCate"));
    auto *amountEdit = child<QLineEdit>(QStringLiteral("edtOutAmount"));
    auto *notes = child<QLineEdit>(QStringLiteral("edtOutNotes"));

    // Keys go where a keyboard would send them: to the focus widget.
    const auto focused = [] { return QApplication::focusWidget(); };
    date->setFocus();
    QVERIFY(focusIn(date));
    QTest::keyClick(focused(), Qt::Key_Return);
    QVERIFY(focusIn(cbo));
    TestSupport::TypeText(focused(), cate);
    QTest::keyClick(focused(), Qt::Key_Return);
    QVERIFY(focusIn(amountEdit));
    TestSupport::TypeText(focused(), amount);
    QTest::keyClick(focused(), Qt::Key_Enter); // the keypad key counts too
    QVERIFY(focusIn(notes));
    TestSupport::TypeText(focused(), QStringLiteral("x"));
    QTest::keyClick(focused(), Qt::Key_Return);

    QCOMPARE(m_panel->PendingRows().size(), rows);
    QVERIFY(focusIn(cbo));
    QCOMPARE(date->date(), Day);
    // Enter in the box is not taken as "add this name to the list".
    QCOMPARE(cbo->count(), rows);
    if (rows == 0) {
        // Nothing added: what was typed stays for correction.
        QCOMPARE(cbo->currentText(), cate);
        QCOMPARE(notes->text(), QStringLiteral("x"));
    }
}

void TestEntryPanel::panelsAreIndependent()
{
    DialogScript dialogs;
    TEntryPanel *income = makePanel(TEntryPanelKind::Income(), 445);
    QCOMPARE(income->objectName(), QStringLiteral("pnlIncome"));
    QCOMPARE(m_panel->objectName(), QStringLiteral("pnlExpense"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblStep6"), income)->text(),
             QStringLiteral("第6步，添加完所有收入请点保存按钮。"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutStep6"))->text(),
             QStringLiteral("第6步，添加完所有支出请点保存按钮。"));

    addLine(QStringLiteral("Food"), QStringLiteral("4"));
    addLine(QStringLiteral("工资"), QStringLiteral("1000"), QString(), income);
    addLine(QStringLiteral("food"), QStringLiteral("6"), QString(),
            income); // not in the income list yet

    QCOMPARE(m_panel->PendingRows().size(), 1);
    QCOMPARE(income->PendingRows().size(), 2);
    QCOMPARE(income->PendingRows().value(0).Type, QStringLiteral("收入"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblOutTotal"))->text(), QStringLiteral("合计：4.00"));
    QCOMPARE(child<QLabel>(QStringLiteral("lblInTotal"), income)->text(),
             QStringLiteral("合计：1006.00"));
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")),
             QStringLiteral("Food"));
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("in")),
             QStringLiteral("food\r\n工资"));
    QVERIFY(child<QPushButton>(QStringLiteral("btnInSave"), income)->isEnabled());

    dialogs.yes();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnInSave"), income), Qt::LeftButton);
    QCOMPARE(income->PendingRows().size(), 0);
    QCOMPARE(m_panel->PendingRows().size(), 1); // the expense line waits
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutSave"))->isEnabled());
    const TRowList recs = stored();
    QCOMPARE(recs.size(), 2);
    QCOMPARE(recs.value(0).value(3), QStringLiteral("1000.00")); // income column
    QCOMPARE(recs.value(0).value(4), QString());
}

void TestEntryPanel::typedDate_data()
{
    QTest::addColumn<bool>("income");
    QTest::addColumn<int>("section"); // 0 year, 1 month, 2 day: where the cursor is
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("lineDate"); // null: refused
    const struct {
        const char *name, *typed, *lineDate;
    } dates[] = {
        {"dashes", "2026-10-01", "2026-10-01"},  {"short parts", "2026-1-5", "2026-01-05"},
        {"slashes", "2026/10/01", "2026/10/01"}, {"eight digits", "20261001", "2026-10-01"},
        {"no such day", "2026-02-30", nullptr},  {"no such month", "2026-13-01", nullptr},
        {"month and day only", "10-5", nullptr}, {"letters", "abc", nullptr},
    };
    const char *const sections[] = {"year", "month", "day"};
    for (bool income : {false, true}) {
        for (int section = 0; section < 3; ++section) {
            for (const auto &d : dates) {
                const QString lineDate = !d.lineDate
                                             ? QString()
                                             : QString::fromLatin1(d.lineDate)
                                                   .replace(QLatin1Char('/'), QLatin1Char('-'));
                QTest::addRow("%s, from the %s, %s", income ? "income" : "expense",
                              sections[section], d.name)
                    << income << section << QString::fromLatin1(d.typed) << lineDate;
            }
        }
    }
}

// A date typed into the field as a person enters a line from the keyboard:
// Tab into the date (the year is selected), Tab on to the section, type, then
// Enter through the fields. A date that is no date is refused where it stands
// and no line is filed under another date.
void TestEntryPanel::typedDate()
{
    QFETCH(bool, income);
    QFETCH(int, section);
    QFETCH(QString, typed);
    QFETCH(QString, lineDate);
    TEntryPanel *panel = income ? makePanel(TEntryPanelKind::Income(), 445) : m_panel;
    const TEntryPanelNames &n = panel->Kind().names;
    panel->LoadCateList(QStringLiteral("Food")); // a known name: Add writes nothing
    auto *date = child<TDateEdit>(QLatin1String(n.date), panel);
    auto *add = child<QPushButton>(QLatin1String(n.add), panel);
    const auto focused = [] { return QApplication::focusWidget(); };

    date->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < section; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    QCOMPARE(date->currentSectionIndex(), section);
    QTest::keyClicks(focused(), typed);
    QTest::keyClick(focused(), Qt::Key_Return);
    QVERIFY(focusIn(child<QComboBox>(QLatin1String(n.cate), panel)));
    TestSupport::TypeText(focused(), QStringLiteral("Food"));
    QTest::keyClick(focused(), Qt::Key_Return);
    TestSupport::TypeText(focused(), QStringLiteral("5"));
    QTest::keyClick(focused(), Qt::Key_Return);

    if (!lineDate.isNull()) {
        QCOMPARE(THi::DateToYmd(date->date()), lineDate);
        QVERIFY(add->isEnabled());
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(panel->PendingRows().value(0).Date, lineDate);
        return;
    }

    // Refused: the typed text stays, marked, and Add waits for a whole date.
    QCOMPARE(date->date(), Day);
    QCOMPARE(date->text(), typed);
    QCOMPARE(date->toolTip(), TDateEdit::RefusedText());
    QVERIFY(!add->isEnabled());
    QTest::keyClick(focused(), Qt::Key_Return); // Enter in the notes: Add
    QCOMPARE(panel->PendingRows().size(), 0);
    QCOMPARE(date->text(), typed);

    // Corrected, the line goes in under the corrected date.
    date->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(focused(), QStringLiteral("2026-1-5"));
    QVERIFY(add->isEnabled());
    add->click(); // as Alt+A does: the focus stays in the date being typed
    QCOMPARE(panel->PendingRows().size(), 1);
    QCOMPARE(panel->PendingRows().value(0).Date, QStringLiteral("2026-01-05"));
    QVERIFY(date->toolTip().isEmpty());
}

void TestEntryPanel::cutTextIsSaid_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("paste"); // else one more key in a full field
    for (const char *field : {"cboOutCate", "edtOutAmount", "edtOutNotes"}) {
        QTest::addRow("%s, typing", field) << field << false;
        QTest::addRow("%s, paste", field) << field << true;
    }
}

// A field cuts what goes beyond its length; the cut is said beside the field.
void TestEntryPanel::cutTextIsSaid()
{
    QFETCH(QString, field);
    QFETCH(bool, paste);
    QWidget *w = child<QWidget>(field);
    auto *combo = qobject_cast<QComboBox *>(w);
    QLineEdit *edit = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(w);
    QVERIFY(edit);
    const int max = edit->maxLength();
    edit->setFocus();
    QToolTip::hideText();
    if (paste) {
        QApplication::clipboard()->setText(QString(max + 10, QLatin1Char('7')));
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    } else {
        edit->setText(QString(max, QLatin1Char('7')));
        QVERIFY(!QToolTip::isVisible()); // the program's own text says nothing
        QTest::keyClick(edit, Qt::Key_8);
    }
    QCOMPARE(edit->text().size(), max);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), CutHint(QStringLiteral("至多 %1 个字符").arg(max)));
    QToolTip::hideText();
}

void TestEntryPanel::calculator_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("started");
    QTest::addRow("none") << QStringList() << QString();
    QTest::addRow("only the last choice") << QStringList{QStringLiteral("xcalc")} << "xcalc";
    QTest::addRow("first in order wins")
        << QStringList{QStringLiteral("xcalc"), QStringLiteral("galculator"),
                       QStringLiteral("mate-calc")}
        << "galculator";
}

void TestEntryPanel::calculator()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, started);
    DialogScript dialogs;
    const QString bin = QDir(m_data->folder()).filePath(QStringLiteral("bin"));
    QDir().mkpath(bin);
    for (const QString &name : installed) {
        QFile f(bin + QStringLiteral("/") + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    qputenv("PATH", bin.toLocal8Bit());
    QStringList runs;
    THi::SetRunProgramHook([&](const QString &program, const QStringList &args) {
        runs << program;
        return args.isEmpty();
    });

    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutCalc")), Qt::LeftButton);
    if (started.isEmpty()) {
        QVERIFY(runs.isEmpty());
        QCOMPARE(dialogs.of(TDialogCall::Error).size(), 1);
    } else {
        QCOMPARE(runs, QStringList{bin + QStringLiteral("/") + started});
        QVERIFY(dialogs.calls.isEmpty());
    }
}

void TestEntryPanel::help_data()
{
    QTest::addColumn<bool>("income");
    QTest::addRow("expense") << false;
    QTest::addRow("income") << true;
}

void TestEntryPanel::help()
{
    QFETCH(bool, income);
    DialogScript dialogs;
    const TEntryPanelKind kind = income ? TEntryPanelKind::Income() : TEntryPanelKind::Expense();
    TEntryPanel *panel = income ? makePanel(kind, 445) : m_panel;
    QTest::mouseClick(child<QPushButton>(QLatin1String(kind.names.help), panel), Qt::LeftButton);

    QCOMPARE(dialogs.calls.size(), 1);
    QCOMPARE(dialogs.calls.value(0).kind, TDialogCall::Info);
    QCOMPARE(dialogs.calls.value(0).caption, QStringLiteral("帮助"));
    const QString text = dialogs.calls.value(0).text;
    QCOMPARE(THi::ByteLength(text), 288);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.value(0), QStringLiteral("- 例子："));
    // The example lines are the panel's own instruction lines.
    for (int i = 0; i < 6; ++i)
        QCOMPARE(lines.value(i + 1),
                 QStringLiteral("  ") +
                     child<QLabel>(QLatin1String(kind.names.steps[i]), panel)->text());
    QCOMPARE(lines.value(7), QString());
    QCOMPARE(lines.value(8), QStringLiteral("- 想查看收支记录明细，请点击“收支目录”。"));
}

void TestEntryPanel::editCates_data()
{
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QStringList>("itemsAfter");
    QTest::addRow("save") << true << "\n  Bus\n\nRent \n\n"
                          << QStringList{QStringLiteral("Bus"), QStringLiteral(""),
                                         QStringLiteral("Rent")};
    QTest::addRow("save empty") << true << "" << QStringList();
    QTest::addRow("cancel") << false << "Bus"
                            << QStringList{QStringLiteral("food"), QStringLiteral("Rent")};
}

void TestEntryPanel::editCates()
{
    QFETCH(bool, save);
    QFETCH(QString, edited);
    QFETCH(QStringList, itemsAfter);
    DialogScript dialogs;
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("food\r\nRent"));
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("in"), QStringLiteral("Pay"));
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    type(child<QComboBox>(QStringLiteral("cboOutCate")), QStringLiteral("half typed"));

    QString shownText;
    bool clicked = false, arrowWhileOpen = false, disabledWhileOpen = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *editor = QApplication::activeModalWidget();
        if (!editor)
            return;
        auto *mem = editor->findChild<QPlainTextEdit *>(QStringLiteral("memText"));
        auto *button = editor->findChild<QPushButton *>(save ? QStringLiteral("btnSave")
                                                             : QStringLiteral("btnCancel"));
        if (!mem || !button) {
            editor->close();
            return;
        }
        shownText = mem->toPlainText();
        const QCursor *cursor = QApplication::overrideCursor();
        arrowWhileOpen = cursor && cursor->shape() == Qt::ArrowCursor;
        disabledWhileOpen = !child<QPushButton>(QStringLiteral("btnOutEditCates"))->isEnabled();
        mem->setPlainText(edited);
        QTest::mouseClick(button, Qt::LeftButton);
        clicked = true;
    });
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutEditCates")), Qt::LeftButton);

    QVERIFY(clicked);
    QVERIFY(arrowWhileOpen);
    QVERIFY(disabledWhileOpen);
    QCOMPARE(shownText.split(QRegularExpression(QStringLiteral("\r?\n"))),
             QStringList({QStringLiteral("food"), QStringLiteral("Rent")}));
    QCOMPARE(items(), itemsAfter);
    QCOMPARE(m_panel->PendingRows().size(), 0);
    QCOMPARE(child<QComboBox>(QStringLiteral("cboOutCate"))->currentText(),
             QStringLiteral("half typed"));
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("in")), QStringLiteral("Pay"));
    if (save) {
        QCOMPARE(dialogs.calls.size(), 1);
        QCOMPARE(dialogs.calls.value(0).kind, TDialogCall::Info);
        QCOMPARE(dialogs.calls.value(0).caption, QStringLiteral("Tallimo"));
        QCOMPARE(dialogs.calls.value(0).text, QStringLiteral("成功！"));
    } else {
        QVERIFY(dialogs.calls.isEmpty());
        QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")),
                 QStringLiteral("food\r\nRent"));
    }
    QVERIFY(child<QPushButton>(QStringLiteral("btnOutEditCates"))->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestEntryPanel::editCatesAfterAnotherCopyChangedTheList_data()
{
    QTest::addColumn<bool>("replace"); // the answer to the question
    QTest::addColumn<QString>("storedAfter");
    QTest::addRow("replace it") << true << "Bus\r\nRent";
    QTest::addRow("keep the other copy's list") << false << "Gas\r\nfood\r\nRent";
}

// Another running copy stores a name while the editor is open: saving asks
// instead of silently dropping that name.
void TestEntryPanel::editCatesAfterAnotherCopyChangedTheList()
{
    QFETCH(bool, replace);
    QFETCH(QString, storedAfter);
    DialogScript dialogs;
    (replace ? dialogs.yes() : dialogs.no());
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("food\r\nRent"));
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    bool clicked = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *editor = QApplication::activeModalWidget();
        auto *mem =
            editor ? editor->findChild<QPlainTextEdit *>(QStringLiteral("memText")) : nullptr;
        if (!mem) {
            if (editor)
                editor->close();
            return;
        }
        TDbMan(m_data->path())
            .MergeCate(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("Gas"));
        mem->setPlainText(QStringLiteral("Bus\nRent"));
        QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                          Qt::LeftButton);
        clicked = true;
    });
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutEditCates")), Qt::LeftButton);

    QVERIFY(clicked);
    const QList<TDialogCall> asked = dialogs.of(TDialogCall::Question);
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked.value(0).text.startsWith(QStringLiteral("另一个程序已修改了这个类别列表")),
             qPrintable(asked.value(0).text));
    QVERIFY(asked.value(0).defaultNo);
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")), storedAfter);
    QCOMPARE(items(), THi::SplitLines(storedAfter));
    QCOMPARE(dialogs.of(TDialogCall::Info).size(), replace ? 1 : 0);
}

// A rename made from the open editor rewrites the stored list itself; saving
// the editor afterwards is no conflict with another copy and asks nothing.
void TestEntryPanel::editCatesAfterRenameInTheEditor()
{
    DialogScript dialogs;
    dialogs.answer(QStringLiteral("Fuel"));
    m_db->SetCateList(QStringLiteral("Li"), QStringLiteral("out"), QStringLiteral("food\r\nGas"));
    m_db->AddRecords(QStringLiteral("Li"),
                     Batch({{QStringLiteral("2011-04-12"), TypeExpense(), QStringLiteral("Gas"),
                             QStringLiteral("5.00"), QStringLiteral("")}}));
    m_panel->LoadCateList(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")));
    bool clicked = false;
    QTimer::singleShot(0, this, [&] {
        QWidget *editor = QApplication::activeModalWidget();
        auto *mem =
            editor ? editor->findChild<QPlainTextEdit *>(QStringLiteral("memText")) : nullptr;
        if (!mem) {
            if (editor)
                editor->close();
            return;
        }
        mem->setTextCursor(QTextCursor(mem->document()->findBlockByNumber(1)));
        QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnRenameCate")),
                          Qt::LeftButton);
        QCOMPARE(mem->toPlainText(), QStringLiteral("food\nFuel"));
        mem->setPlainText(QStringLiteral("food\nFuel\nBus"));
        QTest::mouseClick(editor->findChild<QPushButton *>(QStringLiteral("btnSave")),
                          Qt::LeftButton);
        clicked = true;
    });
    QTest::mouseClick(child<QPushButton>(QStringLiteral("btnOutEditCates")), Qt::LeftButton);

    QVERIFY(clicked);
    QCOMPARE(dialogs.of(TDialogCall::Question).size(), 0);
    QCOMPARE(m_db->GetCateList(QStringLiteral("Li"), QStringLiteral("out")),
             QStringLiteral("food\r\nFuel\r\nBus"));
    QCOMPARE(stored().value(0).value(RecCate), QStringLiteral("Fuel"));
}

QTEST_MAIN(TestEntryPanel)
#include "tst_EntryPanel.moc"
