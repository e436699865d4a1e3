#pragma once

// 年度概览: one account's year in a table of categories by month, with the
// totals and the balance, a chart of the monthly totals against last year's,
// exports and printing. A category's cell opens its records; a total's cell
// hands its month (or year) to the browser, which searches it.

#include "YearTable.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>

class QChartView;
class QComboBox;
class QMenu;
class QPushButton;
class QTableView;

// The year table's lines as a list model: texts made at display time.
class TYearModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetTable(const TYearTable &table);
    const TYearLine &Line(int row) const { return m_lines.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<TYearLine> m_lines;
};

class TfrmYear : public QDialog {
    Q_OBJECT
public:
    // Searches the browser over these dates (a total's cell).
    using TSearchDates = std::function<void(const QDate &start, const QDate &end)>;

    TfrmYear(QWidget *owner, TDbMan &db, const QString &user, int year,
             TSearchDates searchDates = {});
    ~TfrmYear() override;

    const TYearTable &Table() const { return m_table; }
    int Year() const { return m_table.Year; }
    // Shows another year (the year chooser); false when the store failed.
    bool ShowYear(int year);

    // The cell at (row, column) of lvwYear opened (double click, Enter).
    void lvwYearActivate(int row, int column);
    void mnuYearExport_ToXlsClick();
    void mnuYearExport_ToHtmlClick();
    void mnuYearExport_ToCsvClick();
    void btnYearPrintClick();

private:
    enum class TFormat { Xlsx, Html, Csv };
    void Export(TFormat format);
    void ShowChart();
    void cboYearSelect(int index);

    TDbMan &m_db;
    QString m_user;
    TSearchDates m_searchDates;
    TYearTable m_table;

    QComboBox *cboYear = nullptr;
    QPushButton *btnYearExport = nullptr, *btnYearPrint = nullptr, *btnYearClose = nullptr;
    QMenu *mnuYearExport = nullptr;
    QTableView *lvwYear = nullptr;
    TYearModel *mdlYear = nullptr;
    QChartView *chtYear = nullptr;
};
