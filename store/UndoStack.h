#pragma once

// The undo of this session: every save of pending lines, delete, edit,
// category rename and bill import made through one TDbMan since the program
// started, undone one step at a time and made again (redo). The stack hears
// the changes through the store's change hook, so the windows store as they
// always did.
//
// On a server another computer may change the same records meanwhile (on a
// data file, another running copy): an undo or redo changes a record only
// while it is exactly as this session's step left it; what another program
// changed since is left alone, and the line says so. A step whose records
// were all changed elsewhere is dropped from the stack.

#include "DbClass.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class TUndoStack {
public:
    // Listens to db's changes until destroyed; db outlives the stack.
    explicit TUndoStack(TDbMan &db);
    ~TUndoStack();
    TUndoStack(const TUndoStack &) = delete;
    TUndoStack &operator=(const TUndoStack &) = delete;

    bool CanUndo() const { return !m_undo.isEmpty(); }
    bool CanRedo() const { return !m_redo.isEmpty(); }
    // What the next undo or redo would change, e.g. "删除记录（2024-03-05 餐饮 12.50）".
    QString UndoName() const;
    QString RedoName() const;
    // A question to ask before the next undo (a saved record was changed
    // since and would be kept), or empty when there is nothing to ask.
    QString UndoQuestion();
    // Undoes or redoes one step and returns the line that says what was
    // done or why nothing was. A store failure raises and leaves the stack
    // as it was.
    QString Undo();
    QString Redo();

    // Called whenever the stack changes (the windows' actions follow it).
    std::function<void()> Changed;

private:
    struct TAction {
        TStoreChange Change;
        TRecordVersion Old; // Delete and Edit: the record before
    };
    void Heard(const TStoreChange &change);
    static QString Name(const TAction &a);
    // Runs body with the store's changes captured instead of recorded.
    std::optional<TStoreChange> Replay(const std::function<void()> &body);
    void Notify();

    TDbMan &m_db;
    QList<TAction> m_undo, m_redo; // the next step last
    bool m_replaying = false;
    std::optional<TStoreChange> m_captured;
};
