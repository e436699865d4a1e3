#pragma once

// 分类对照: the app's own classes (Alipay's 交易分类, WeChat's 交易类型) and
// the category each becomes, for one source at a time. Every class of the
// built-in table is listed with the account's own entries; a category can be
// chosen or typed, 恢复默认 (or an empty cell) goes back to the built-in one.
// The window takes the tables in and hands the changes out; storing them is
// the caller's.

#include <QDialog>
#include <QHash>
#include <QMap>

class QComboBox;
class QLabel;
class QPushButton;
class QStandardItemModel;
class QTreeView;

// One edited class; an empty category: back to the built-in table.
struct TAppClassChange {
    QString source;
    QString appClass;
    QString category;
};

class TfrmBillClasses : public QDialog {
    Q_OBJECT
public:
    enum Column { ColClass, ColCategory, ColCount };
    // On a category cell: the category in use, and whether it is the
    // account's own rather than the built-in one.
    enum { CategoryRole = Qt::UserRole + 1, OwnRole };

    // tables: per source (alipay, wechat) the table in use (the built-in one
    // overlaid with the account's own); builtIn: the built-in table; the
    // account's pick lists, offered in the category cell; source: shown first.
    TfrmBillClasses(QWidget *owner, const QMap<QString, QHash<QString, QString>> &tables,
                    const QHash<QString, QString> &builtIn, const QStringList &expenseCategories,
                    const QStringList &incomeCategories, const QString &source);
    ~TfrmBillClasses() override;

    // After 确定: what differs from the tables given, by source and class.
    QList<TAppClassChange> Changes() const;

    QString Source() const;
    QStandardItemModel *Model() const { return m_model; }
    // The text a class's cell shows for the built-in category.
    static QString DefaultText();

private slots:
    void cboSourceChange();
    void UpdateButtons();
    void btnDefaultClick();
    void CategoryEdited(int row);

private:
    void Fill();
    // The category in use for a class of the source shown.
    QString Effective(const QString &appClass) const;
    void ShowRow(int row);

    QMap<QString, QHash<QString, QString>> m_given, m_tables;
    QHash<QString, QString> m_builtIn;
    QStringList m_categories;
    QStandardItemModel *m_model = nullptr;
    bool m_filling = false;

    QLabel *lblSource = nullptr;
    QComboBox *cboSource = nullptr;
    QTreeView *lvwClasses = nullptr;
    QLabel *lblHint = nullptr;
    QPushButton *btnDefault = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
};
