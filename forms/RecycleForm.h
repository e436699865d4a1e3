#pragma once

// 回收站…: the account's deleted and edited records as they were, newest
// first, and 恢复 for those selected. The window lists and hands the chosen
// entries to its restore callback, which stores them and answers with a line
// saying what happened and the bin as it is now.

#include "RecycleStore.h"

#include <QAbstractTableModel>
#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTreeView;

class TRecycleModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColDate, ColType, ColCate, ColAmount, ColNotes, ColWhat, ColTime, ColEnd };

    explicit TRecycleModel(QObject *parent = nullptr) : QAbstractTableModel(parent) {}
    void SetEntries(QList<TRecycleEntry> entries);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TRecycleEntry &Entry(int row) const { return m_entries.at(row); }
    // 删除 or 修改.
    static QString WhatText(const QString &what);

private:
    QList<TRecycleEntry> m_entries;
};

class TfrmRecycle : public QDialog {
    Q_OBJECT
public:
    // Restores the entries; gives the outcome line and the bin read again.
    using TRestore =
        std::function<QString(const QList<qint64> &entries, QList<TRecycleEntry> &binNow)>;
    TfrmRecycle(QWidget *owner, QList<TRecycleEntry> entries, TRestore restore);
    ~TfrmRecycle() override;

    // Whether anything was restored while the window was open.
    bool Restored() const { return m_restored; }

private slots:
    void UpdateButtons();
    void btnRestoreClick();

private:
    void ShowEntries(QList<TRecycleEntry> entries);

    TRestore m_restore;
    TRecycleModel *m_model = nullptr;
    QTreeView *lvwRecycle = nullptr;
    QLabel *lblHint = nullptr;
    QPushButton *btnRestore = nullptr;
    QPushButton *btnClose = nullptr;
    bool m_restored = false;
};
