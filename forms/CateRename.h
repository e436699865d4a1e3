#pragma once

// Renaming a category, from the browser's ranking lists and from the category
// editor: asks for the new name, asks before merging into a category that
// exists already, renames in the store (records and pick list in one
// transaction) and tells every window that shows categories.

#include <QObject>
#include <QString>

class QWidget;
class TDbMan;

class TCateRename : public QObject {
    Q_OBJECT
public:
    // The one notifier the windows listen to.
    static TCateRename &Notifier();

    // Asks for the new name of category from (records of type, TypeExpense or
    // TypeIncome) and renames it. Returns the stored name it now has, or an
    // empty text when nothing changed (cancelled, refused, or a failure that
    // was shown).
    static QString Run(QWidget *parent, TDbMan &db, const QString &user, const QString &type,
                       const QString &from);

signals:
    // A category of user was renamed or merged: pick lists and rankings are stale.
    void renamed(const QString &user, const QString &type);
};
