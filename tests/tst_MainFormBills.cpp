#include "BillClassesForm.h"
#include "BillImportForm.h"
#include "BrowserPanel.h"
#include "DbClass.h"
#include "DialogScript.h"
#include "MainForm.h"
#include "Placement.h"
#include "SearchResult.h"
#include "TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using TestSupport::Child;

// The account menu's bill import and its undo, driven as a person would:
// the file dialog answered, the preview, mapping and batch windows clicked.
class TestMainFormBills : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void importFromTheMenu_data();
    void importFromTheMenu();
    void plainTableAsksForColumnsOnce();
    void undoFromTheBatchList();
    void cancelledPreviewStoresNothing();
    void classTableFromThePreview();

private:
    std::unique_ptr<TfrmMain> open();
    static QString bill(const char *name)
    {
        return QStringLiteral(TALLIMO_TEST_FIXTURES "/bills/") + QLatin1String(name);
    }
    // Triggers the menu entry; body gets each modal window in turn.
    void importThrough(TfrmMain *w, const std::function<void(QWidget *)> &body);
    qint64 records()
    {
        return TDbMan(m_dataFile)
            .QueryPeriod(QStringLiteral("Li"), QStringLiteral("1900-01-01"),
                         QStringLiteral("2999-12-31"))
            .RecRows.size();
    }
    static QAction *action(TfrmMain *w, const char *name)
    {
        return w->findChild<QAction *>(QLatin1String(name));
    }

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_dataFile;
};

void TestMainFormBills::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(QStringLiteral("config"))));
    m_dataFile = Placement::PlaceDataFile({});
}

void TestMainFormBills::cleanup()
{
    m_home.reset();
}

std::unique_ptr<TfrmMain> TestMainFormBills::open()
{
    TDbMan(m_dataFile).AddUser(QStringLiteral("Li"), QStringLiteral("1234"));
    auto w = std::make_unique<TfrmMain>(m_dataFile, QStringLiteral("Li"));
    w->show();
    return w;
}

void TestMainFormBills::importThrough(TfrmMain *w, const std::function<void(QWidget *)> &body)
{
    // Every window the import opens is handed to body as it comes up.
    QTimer timer;
    timer.setInterval(20);
    QPointer<QWidget> last;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == last)
            return;
        last = modal;
        body(modal);
    });
    timer.start();
    action(w, "mnuMenu_ImportBill")->trigger();
    timer.stop();
}

void TestMainFormBills::importFromTheMenu_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("outCount");
    QTest::addColumn<qint64>("outCents");
    QTest::addColumn<int>("inCount");
    QTest::addColumn<qint64>("inCents");
    QTest::addRow("Alipay") << "alipay-current.csv" << 4 << qint64(26250) << 2 << qint64(520000);
    QTest::addRow("WeChat workbook") << "wechat.xlsx" << -1 << qint64(-1) << -1 << qint64(-1);
}

void TestMainFormBills::importFromTheMenu()
{
    QFETCH(QString, file);
    QFETCH(int, outCount);
    QFETCH(qint64, outCents);
    QFETCH(int, inCount);
    QFETCH(qint64, inCents);
    auto w = open();
    DialogScript script;
    script.answer(bill(file.toLatin1().constData()));
    int previews = 0;
    importThrough(w.get(), [&](QWidget *modal) {
        if (modal->objectName() != QLatin1String("frmBillImport"))
            return;
        ++previews;
        Child<QPushButton>(modal, "btnImport")->click();
    });
    QCOMPARE(previews, 1);
    // One summary box, and the browser shows what came in.
    const QList<TDialogCall> infos = script.of(TDialogCall::Info);
    QCOMPARE(infos.size(), 1);
    QVERIFY2(infos[0].text.startsWith(QStringLiteral("导入了")), qPrintable(infos[0].text));
    const TSearchResult &shown = w->Browser()->Result();
    QVERIFY(shown.Start.isValid());
    QCOMPARE(qint64(shown.RecRows.size()), records());
    if (outCount >= 0) {
        QCOMPARE(shown.OutCents, outCents);
        QCOMPARE(shown.InCents, inCents);
        QCOMPARE(records(), qint64(outCount + inCount));
    }

    // The same file again: every line is a duplicate, so nothing can be imported.
    const qint64 before = records();
    script.answer(bill(file.toLatin1().constData()));
    bool importEnabled = true;
    importThrough(w.get(), [&](QWidget *modal) {
        if (modal->objectName() != QLatin1String("frmBillImport"))
            return;
        importEnabled = Child<QPushButton>(modal, "btnImport")->isEnabled();
        Child<QPushButton>(modal, "btnCancel")->click();
    });
    QVERIFY(!importEnabled);
    QCOMPARE(records(), before);
}

void TestMainFormBills::plainTableAsksForColumnsOnce()
{
    auto w = open();
    DialogScript script;
    QStringList seen;
    const auto accept = [&](QWidget *modal) {
        seen << modal->objectName();
        if (modal->objectName() == QLatin1String("frmBillMapping"))
            Child<QPushButton>(modal, "btnOk")->click();
        else if (modal->objectName() == QLatin1String("frmBillImport"))
            Child<QPushButton>(modal, "btnImport")->click();
    };
    script.answer(bill("bank-gbk.csv"));
    importThrough(w.get(), accept);
    QCOMPARE(seen,
             QStringList({QStringLiteral("frmBillMapping"), QStringLiteral("frmBillImport")}));
    QVERIFY(records() > 0);

    // Next month's statement of the same bank: no questions about columns.
    seen.clear();
    script.answer(bill("bank-gbk.csv"));
    importThrough(w.get(), [&](QWidget *modal) {
        seen << modal->objectName();
        modal->close();
    });
    QCOMPARE(seen, QStringList({QStringLiteral("frmBillImport")}));
}

void TestMainFormBills::undoFromTheBatchList()
{
    auto w = open();
    DialogScript script;
    script.answer(bill("alipay-current.csv"));
    importThrough(w.get(), [&](QWidget *modal) {
        if (modal->objectName() == QLatin1String("frmBillImport"))
            Child<QPushButton>(modal, "btnImport")->click();
    });
    QCOMPARE(records(), qint64(6));

    script.yes(); // the batch window's "undo this import?"
    const bool ran =
        TestSupport::WithModal([&] { action(w.get(), "mnuMenu_BillBatches")->trigger(); },
                               [&](QWidget *modal) {
                                   QCOMPARE(modal->objectName(), QStringLiteral("frmBillBatches"));
                                   Child<QPushButton>(modal, "btnUndo")->click();
                               });
    QVERIFY(ran);
    QCOMPARE(records(), qint64(0));
    // The browser no longer lists the removed records.
    QCOMPARE(w->Browser()->Result().RecRows.size(), 0);
}

void TestMainFormBills::cancelledPreviewStoresNothing()
{
    auto w = open();
    DialogScript script;
    script.answer(bill("alipay-current.csv"));
    importThrough(w.get(), [&](QWidget *modal) {
        if (modal->objectName() == QLatin1String("frmBillImport"))
            Child<QPushButton>(modal, "btnCancel")->click();
    });
    QCOMPARE(records(), qint64(0));
    QVERIFY(script.of(TDialogCall::Info).isEmpty());
    QVERIFY(TDbMan(m_dataFile).BillBatches(QStringLiteral("Li")).isEmpty());
}

void TestMainFormBills::classTableFromThePreview()
{
    auto w = open();
    DialogScript script;
    const QString taxi = QStringLiteral("滴滴出行");
    const QString shop = QStringLiteral("好邻居超市");
    // The preview's row whose notes start with the counterparty (the line to import).
    const auto rowOf = [](QWidget *preview, const QString &party) {
        QAbstractItemModel *m = Child<QTreeView>(preview, "lvwLines")->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            if (m->index(r, TBillLineModel::ColNotes).data().toString().startsWith(party) &&
                m->index(r, TBillLineModel::ColStatus).data().toString() == u"导入")
                return m->index(r, TBillLineModel::ColCategory);
        }
        return QModelIndex();
    };

    // 分类对照… from the preview: 交通出行 becomes 出行, 日用百货 becomes 缴费;
    // the shop's line stays out of this import.
    QStringList seen;
    QString taxiShown, shopShown;
    script.answer(bill("alipay-current.csv"));
    importThrough(w.get(), [&](QWidget *modal) {
        seen << modal->objectName();
        if (modal->objectName() == QLatin1String("frmBillImport")) {
            // Clicked from the event loop: the editor is modal, and the
            // watching timer must be free to see it.
            QTimer::singleShot(0, modal, [&, modal] {
                Child<QPushButton>(modal, "btnClasses")->click(); // returns when closed
                taxiShown = rowOf(modal, taxi).data().toString();
                shopShown = rowOf(modal, shop).data().toString();
                QAbstractItemModel *m = Child<QTreeView>(modal, "lvwLines")->model();
                m->setData(rowOf(modal, shop).siblingAtColumn(TBillLineModel::ColTick),
                           Qt::Unchecked, Qt::CheckStateRole);
                Child<QPushButton>(modal, "btnImport")->click();
            });
        } else if (modal->objectName() == QLatin1String("frmBillClasses")) {
            QAbstractItemModel *m = Child<QTreeView>(modal, "lvwClasses")->model();
            for (int r = 0; r < m->rowCount(); ++r) {
                const QString appClass = m->index(r, TfrmBillClasses::ColClass).data().toString();
                const QModelIndex cell = m->index(r, TfrmBillClasses::ColCategory);
                if (appClass == u"交通出行")
                    m->setData(cell, QStringLiteral("出行"), TfrmBillClasses::CategoryRole);
                else if (appClass == u"日用百货")
                    m->setData(cell, QStringLiteral("缴费"), TfrmBillClasses::CategoryRole);
            }
            Child<QPushButton>(modal, "btnOk")->click();
        }
    });
    QCOMPARE(seen,
             QStringList({QStringLiteral("frmBillImport"), QStringLiteral("frmBillClasses")}));
    QCOMPARE(taxiShown, QStringLiteral("出行"));
    QCOMPARE(shopShown, QStringLiteral("缴费"));

    // The record carries the category the table gave it; the table is kept.
    TDbMan db(m_dataFile);
    const TPeriod all = db.QueryPeriod(QStringLiteral("Li"), QStringLiteral("1900-01-01"),
                                       QStringLiteral("2999-12-31"));
    int taxis = 0;
    for (int i = 0; i < all.RecRows.size(); ++i) {
        if (all.RecRows.Notes(i).contains(taxi)) {
            ++taxis;
            QCOMPARE(all.RecRows.Cate(i), QStringLiteral("出行"));
        }
    }
    QCOMPARE(taxis, 1);
    const TCategoryContext stored =
        db.CategoryContext(QStringLiteral("Li"), QStringLiteral("alipay"));
    QCOMPARE(stored.appClasses.value(QStringLiteral("交通出行")), QStringLiteral("出行"));
    QCOMPARE(stored.appClasses.value(QStringLiteral("日用百货")), QStringLiteral("缴费"));
    // Only for the app whose table was changed.
    QCOMPARE(db.CategoryContext(QStringLiteral("Li"), QStringLiteral("wechat"))
                 .appClasses.value(QStringLiteral("交通出行")),
             QStringLiteral("交通"));

    // The next import proposes from the stored table: the shop, never
    // imported, comes as 缴费 without the editor.
    shopShown.clear();
    script.answer(bill("alipay-current.csv"));
    importThrough(w.get(), [&](QWidget *modal) {
        if (modal->objectName() != QLatin1String("frmBillImport"))
            return;
        shopShown = rowOf(modal, shop).data().toString();
        modal->close();
    });
    QCOMPARE(shopShown, QStringLiteral("缴费"));
}

QTEST_MAIN(TestMainFormBills)
#include "tst_MainFormBills.moc"
