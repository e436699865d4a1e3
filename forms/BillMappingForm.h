#pragma once

// The column mapping of a table that is no payment app's bill (bank
// statements, other apps, other ledgers): the detected encoding and
// delimiter, the first lines as they were read, and which column holds the
// date, the amount (one signed column, or income and expense apart), the
// type, the category, the notes and the external id, and which row is the
// header. It starts from BillReader::GuessMapping (or a remembered mapping)
// and says below the preview what the mapping reads; 确定 waits for a
// mapping that reads.

#include "BillReader.h"

#include <QAbstractTableModel>
#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableView;

// The first rows of a table as the preview shows them; the header row in
// bold, the mapped columns named in the column captions.
class TBillTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The header is looked for among the first 100 rows; a few data rows
    // below the lowest such header still show.
    static constexpr int MaxHeaderRows = 100;
    static constexpr int MaxRows = MaxHeaderRows + 20;

    explicit TBillTableModel(const TBillTable *table, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetMapping(const TColumnMapping &mapping);

private:
    const TBillTable *m_table;
    int m_columns = 0;
    TColumnMapping m_mapping;
};

class TfrmBillMapping : public QDialog {
    Q_OBJECT
public:
    // table as BillReader::ReadTable gave it; fileName is only shown. The
    // mapping starts from BillReader::GuessMapping.
    TfrmBillMapping(QWidget *owner, const TBillTable &table, const QString &fileName);
    ~TfrmBillMapping() override;

    // Starts from another mapping (a remembered one) instead of the guess.
    void SetMapping(const TColumnMapping &mapping);
    // The mapping the controls show; after 确定 the one chosen.
    TColumnMapping Mapping() const;

    // A name for the encoding and the delimiter, as the window shows them.
    static QString EncodingName(BillEncoding encoding);
    static QString DelimiterName(QChar delimiter);

private slots:
    void MappingChange();
    void HeaderRowChange();
    void NotesChange(QListWidgetItem *item);

private:
    void FillColumns();
    static void SelectColumn(QComboBox *box, int column);

    TBillTable m_table;
    int m_columns = 0;
    TBillTableModel *m_model = nullptr;
    bool m_filling = false;
    // The notes' columns in the order they were ticked: the first is taken
    // as the counterparty.
    QList<int> m_notes;

    QLabel *lblFile = nullptr;
    QLabel *lblEncoding = nullptr;
    QLabel *lblDelimiter = nullptr;
    QSpinBox *spnHeaderRow = nullptr;
    QTableView *tblPreview = nullptr;
    QComboBox *cboDate = nullptr;
    QRadioButton *optSigned = nullptr;
    QRadioButton *optSeparate = nullptr;
    QComboBox *cboAmount = nullptr;
    QComboBox *cboIncome = nullptr;
    QComboBox *cboExpense = nullptr;
    QComboBox *cboType = nullptr;
    QComboBox *cboCategory = nullptr;
    QComboBox *cboExternalId = nullptr;
    QListWidget *lstNotes = nullptr;
    QLabel *lblResult = nullptr;
    QPushButton *btnOk = nullptr;
    QPushButton *btnCancel = nullptr;
};
