// 回收站… and the undo keys of the main window, driven as a person would:
// records deleted from the browser, the bin window's rows selected and
// restored, Ctrl+Z and Ctrl+Shift+Z and the 更多 menu's 撤销 and 重做.

#include "BrowserPanel.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using TestSupport::Child;

namespace {

const QString Li = QStringLiteral("Li");

QStringList notesShown(TfrmMain *w)
{
    QStringList notes;
    const TRecordList &recs = w->Browser()->Result().RecRows;
    for (int i = 0; i < recs.size(); ++i)
        notes << recs.Notes(i);
    return notes;
}

} // namespace

class TestRecycleForm : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void binWindowRestoresTheSelected_data();
    void binWindowRestoresTheSelected();
    void undoAndRedoByKeyAndMenu_data();
    void undoAndRedoByKeyAndMenu();
    void undoOfAnEditedSaveAsksFirst_data();
    void undoOfAnEditedSaveAsksFirst();
    void ctrlZRightAfterSavingPendingLines_data();
    void ctrlZRightAfterSavingPendingLines();

private:
    std::unique_ptr<TfrmMain> open();
    void deleteShown(TfrmMain *w, const QString &notes);
    QAction *action(TfrmMain *w, const char *name) { return Child<QAction>(w, name); }

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
};

void TestRecycleForm::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    m_dataFile = Placement::PlaceDataFile({});
    TDbMan db(m_dataFile);
    db.AddUser(Li, QStringLiteral("1234"));
    for (const char *notes : {"午饭", "公交", "晚饭"})
        db.AddRecord(Li, QStringLiteral("2024-03-01"), TypeExpense(), QStringLiteral("餐饮"), 1250,
                     QString::fromUtf8(notes));
}

void TestRecycleForm::cleanup()
{
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestRecycleForm::open()
{
    auto w = std::make_unique<TfrmMain>(m_dataFile, Li);
    w->show();
    QTest::mouseClick(Child<QRadioButton>(w.get(), "rdoTransactions"), Qt::LeftButton);
    Child<QDateEdit>(w.get(), "dtpTransDate1")->setDate(QDate(2024, 3, 1));
    Child<QDateEdit>(w.get(), "dtpTransDate2")->setDate(QDate(2024, 3, 31));
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnTransSearch"), Qt::LeftButton);
    return w;
}

void TestRecycleForm::deleteShown(TfrmMain *w, const QString &notes)
{
    const TRecordList &recs = w->Browser()->Result().RecRows;
    for (int i = 0; i < recs.size(); ++i) {
        if (recs.Notes(i) == notes)
            w->Browser()->SelectRecord(recs.Id(i));
    }
    DialogScript dialogs;
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w, "btnTransDelete"), Qt::LeftButton);
    QCOMPARE(dialogs.of(TDialogCall::Question).size(), 1);
}

void TestRecycleForm::binWindowRestoresTheSelected_data()
{
    QTest::addColumn<QList<int>>("rows"); // selected in the bin window
    QTest::addColumn<QStringList>("shownAfter");
    QTest::addColumn<int>("leftInBin");
    QTest::addRow("the newest") << QList<int>{0}
                                << QStringList{QStringLiteral("公交"), QStringLiteral("晚饭")} << 1;
    QTest::addRow("both") << QList<int>{0, 1}
                          << QStringList{QStringLiteral("午饭"), QStringLiteral("公交"),
                                         QStringLiteral("晚饭")}
                          << 0;
}

void TestRecycleForm::binWindowRestoresTheSelected()
{
    QFETCH(QList<int>, rows);
    QFETCH(QStringList, shownAfter);
    QFETCH(int, leftInBin);
    auto w = open();
    deleteShown(w.get(), QStringLiteral("午饭"));
    deleteShown(w.get(), QStringLiteral("公交"));
    QCOMPARE(notesShown(w.get()), QStringList{QStringLiteral("晚饭")});

    bool ran = TestSupport::WithModal(
        [&] { action(w.get(), "mnuMenu_Recycle")->trigger(); },
        [&](QWidget *modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("frmRecycle"));
            QCOMPARE(modal->windowTitle(), QStringLiteral("回收站"));
            auto *list = Child<QTreeView>(modal, "lvwRecycle");
            QAbstractItemModel *m = list->model();
            QCOMPARE(m->rowCount(), 2);
            // Newest first, every column a person needs.
            QStringList first;
            for (int c = 0; c < m->columnCount(); ++c)
                first << m->index(0, c).data().toString();
            QCOMPARE(first.mid(0, 6),
                     (QStringList{QStringLiteral("2024-03-01"), TypeExpense(),
                                  QStringLiteral("餐饮"), QStringLiteral("12.50"),
                                  QStringLiteral("公交"), QStringLiteral("删除")}));
            QCOMPARE(first[6].left(10), QDate::currentDate().toString(Qt::ISODate));
            QCOMPARE(m->index(1, 4).data().toString(), QStringLiteral("午饭"));
            list->clearSelection();
            auto *restore = Child<QPushButton>(modal, "btnRestore");
            QVERIFY(!restore->isEnabled());
            for (int row : rows) {
                list->selectionModel()->select(m->index(row, 0), QItemSelectionModel::Select |
                                                                     QItemSelectionModel::Rows);
            }
            QVERIFY(restore->isEnabled());
            QTest::mouseClick(restore, Qt::LeftButton);
            QCOMPARE(Child<QLabel>(modal, "lblHint")->text(),
                     QStringLiteral("恢复了 %1 条记录。").arg(rows.size()));
            QCOMPARE(m->rowCount(), leftInBin);
            Child<QPushButton>(modal, "btnClose")->click();
        });
    QVERIFY(ran);
    // The browser searched again, as after an edit.
    QCOMPARE(notesShown(w.get()), shownAfter);
}

void TestRecycleForm::undoAndRedoByKeyAndMenu_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::addRow("Ctrl+Z, Ctrl+Shift+Z") << true;
    QTest::addRow("更多 menu") << false;
}

void TestRecycleForm::undoAndRedoByKeyAndMenu()
{
    QFETCH(bool, byKey);
    auto w = open();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    QAction *undo = action(w.get(), "mnuTransMore_Undo");
    QAction *redo = action(w.get(), "mnuTransMore_Redo");
    QVERIFY(w->Browser()->MoreMenu()->actions().contains(undo));
    QVERIFY(!undo->isEnabled());
    deleteShown(w.get(), QStringLiteral("公交"));
    QVERIFY(undo->isEnabled());
    QVERIFY(!redo->isEnabled());
    QCOMPARE(undo->toolTip(), QStringLiteral("撤销：删除记录（2024-03-01 餐饮 12.50）"));

    auto *line = Child<QLabel>(w.get(), "lblUndoStatus");
    if (byKey)
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    else
        undo->trigger();
    QCOMPARE(notesShown(w.get()),
             (QStringList{QStringLiteral("午饭"), QStringLiteral("公交"), QStringLiteral("晚饭")}));
    QVERIFY(line->isVisible());
    QCOMPARE(line->toolTip(), QStringLiteral("已撤销：删除记录（2024-03-01 餐饮 12.50）"));
    // The totals line keeps its own text underneath.
    QVERIFY(Child<QLabel>(w.get(), "lblTransTotal")->text().startsWith(QStringLiteral("收入合计")));
    QVERIFY(!undo->isEnabled());
    QVERIFY(redo->isEnabled());

    if (byKey)
        QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    else
        redo->trigger();
    QCOMPARE(notesShown(w.get()), (QStringList{QStringLiteral("午饭"), QStringLiteral("晚饭")}));
    QCOMPARE(line->toolTip(), QStringLiteral("已重做：删除记录（2024-03-01 餐饮 12.50）"));

    // Nothing more to redo: the entry is disabled, the key says so.
    QVERIFY(!redo->isEnabled());
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(line->toolTip(), QStringLiteral("没有可以重做的操作。"));
    QCOMPARE(notesShown(w.get()).size(), 2);
}

void TestRecycleForm::undoOfAnEditedSaveAsksFirst_data()
{
    QTest::addColumn<bool>("agree");
    QTest::addRow("agreed") << true;
    QTest::addRow("declined") << false;
}

void TestRecycleForm::undoOfAnEditedSaveAsksFirst()
{
    QFETCH(bool, agree);
    auto w = open();
    w->DbMan->AddRecords(Li, {TBatchRow{QStringLiteral("2024-03-02"), TypeExpense(),
                                        QStringLiteral("交通"), 300, QStringLiteral("地铁")},
                              TBatchRow{QStringLiteral("2024-03-02"), TypeExpense(),
                                        QStringLiteral("交通"), 500, QStringLiteral("打车")}});
    // Another computer edits one of them.
    TDbMan elsewhere(m_dataFile);
    for (const QStringList &r : TestSupport::Records(elsewhere, Li)) {
        if (r[RecNotes] == QStringLiteral("打车"))
            elsewhere.ReplaceRecord(r[RecId], Li, r[RecDate], TypeExpense(), r[RecCate], 600,
                                    r[RecNotes]);
    }
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnTransSearch"), Qt::LeftButton);
    DialogScript dialogs;
    if (agree)
        dialogs.yes();
    action(w.get(), "mnuTransMore_Undo")->trigger();
    const QList<TDialogCall> asked = dialogs.of(TDialogCall::Question);
    QCOMPARE(asked.size(), 1);
    QVERIFY2(asked[0].text.contains(QStringLiteral("有 1 条后来被修改或删除过")),
             qPrintable(asked[0].text));
    QStringList notes = notesShown(w.get());
    QCOMPARE(notes.contains(QStringLiteral("地铁")), !agree);
    QVERIFY(notes.contains(QStringLiteral("打车")));
    QCOMPARE(action(w.get(), "mnuTransMore_Undo")->isEnabled(), !agree);
}

void TestRecycleForm::ctrlZRightAfterSavingPendingLines_data()
{
    QTest::addColumn<bool>("typedSince"); // the field has its own undo then
    QTest::addRow("nothing typed since") << false;
    QTest::addRow("typed since") << true;
}

void TestRecycleForm::ctrlZRightAfterSavingPendingLines()
{
    QFETCH(bool, typedSince);
    auto w = std::make_unique<TfrmMain>(m_dataFile, Li);
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    auto *cate = Child<QComboBox>(w.get(), "cboOutCate");
    auto *amount = Child<QLineEdit>(w.get(), "edtOutAmount");
    cate->setEditText(QString());
    TestSupport::TypeText(cate, QStringLiteral("书报"));
    TestSupport::TypeText(amount, QStringLiteral("18.8"));
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutAdd"), Qt::LeftButton);
    DialogScript dialogs;
    dialogs.yes();
    QTest::mouseClick(Child<QPushButton>(w.get(), "btnOutSave"), Qt::LeftButton);
    QCOMPARE(TestSupport::Records(*w->DbMan, Li).size(), 4);

    // The cursor stands in the category field, as after adding a line.
    QLineEdit *field = cate->lineEdit();
    field->setFocus();
    if (typedSince)
        TestSupport::TypeText(field, QStringLiteral("x"));
    QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    if (typedSince) {
        // The field's own undo first.
        QCOMPARE(field->text(), QString());
        QCOMPARE(TestSupport::Records(*w->DbMan, Li).size(), 4);
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
    }
    QCOMPARE(TestSupport::Records(*w->DbMan, Li).size(), 3);
    auto *line = Child<QLabel>(w.get(), "lblUndoStatus");
    QVERIFY(line->isVisible());
    QCOMPARE(line->toolTip(), QStringLiteral("已撤销：保存记录（%1 书报 18.80）")
                                  .arg(QDate::currentDate().toString(Qt::ISODate)));
}

QTEST_MAIN(TestRecycleForm)
#include "tst_RecycleForm.moc"
