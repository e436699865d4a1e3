#include "UndoStack.h"

#include <utility>

namespace {

QString recordText(const TRecordVersion &r)
{
    return QStringLiteral("%1 %2 %3").arg(r.Date, r.Cate, THi::FormatCents(r.Cents));
}

QString refused(const QString &verb, const QString &name, const QString &why)
{
    return QStringLiteral("无法%1%2：%3，没有改动任何数据。").arg(verb, name, why);
}

} // namespace

TUndoStack::TUndoStack(TDbMan &db) : m_db(db)
{
    m_db.SetChangeHook([this](const TStoreChange &change) { Heard(change); });
}

TUndoStack::~TUndoStack()
{
    m_db.SetChangeHook({});
}

void TUndoStack::Notify()
{
    if (Changed)
        Changed();
}

void TUndoStack::Heard(const TStoreChange &change)
{
    if (m_replaying) {
        m_captured = change;
        return;
    }
    TAction a{change, {}};
    if (change.Kind == TStoreChange::Delete || change.Kind == TStoreChange::Edit) {
        // The content before is in the bin; without it the step cannot be
        // named or made again, so it is not offered.
        try {
            a.Old = m_db.RecycleEntry(change.Entry).Record;
        } catch (const TError &) {
            return;
        }
        if (a.Old.Id == 0)
            return;
    }
    m_undo << a;
    m_redo.clear();
    Notify();
}

std::optional<TStoreChange> TUndoStack::Replay(const std::function<void()> &body)
{
    m_replaying = true;
    m_captured.reset();
    try {
        body();
    } catch (...) {
        m_replaying = false;
        throw;
    }
    m_replaying = false;
    return std::exchange(m_captured, std::nullopt);
}

QString TUndoStack::Name(const TAction &a)
{
    const TStoreChange &c = a.Change;
    switch (c.Kind) {
    case TStoreChange::Save:
        if (c.Records.size() == 1)
            return QStringLiteral("保存记录（%1）").arg(recordText(c.Records.first()));
        return QStringLiteral("保存 %1 条记录").arg(c.Records.size());
    case TStoreChange::Delete:
        return QStringLiteral("删除记录（%1）").arg(recordText(a.Old));
    case TStoreChange::Edit:
        return QStringLiteral("修改记录（%1）").arg(recordText(a.Old));
    case TStoreChange::Rename:
        return QStringLiteral("把类别“%1”改名为“%2”").arg(c.From, c.To);
    case TStoreChange::BillImport:
        return QStringLiteral("导入账单“%1”").arg(c.FileName);
    }
    return QString();
}

QString TUndoStack::UndoName() const
{
    return m_undo.isEmpty() ? QString() : Name(m_undo.last());
}

QString TUndoStack::RedoName() const
{
    return m_redo.isEmpty() ? QString() : Name(m_redo.last());
}

QString TUndoStack::UndoQuestion()
{
    if (m_undo.isEmpty() || m_undo.last().Change.Kind != TStoreChange::Save)
        return QString();
    const TStoreChange &c = m_undo.last().Change;
    const QList<bool> same = m_db.RecordsUnchanged(c.User, c.Records);
    const auto kept = same.count(false);
    if (kept == 0 || kept == same.size())
        return QString();
    return QStringLiteral("保存的 %1 条记录中有 %2 条后来被修改或删除过（可能是在另一台电脑上）。"
                          "\n撤销只删除其余 %3 条，修改过的保留原样。要撤销吗？")
        .arg(same.size())
        .arg(kept)
        .arg(same.size() - kept);
}

QString TUndoStack::Undo()
{
    if (m_undo.isEmpty())
        return QString();
    TAction a = m_undo.last();
    TStoreChange &c = a.Change;
    const QString name = Name(a);
    const QString verb = QStringLiteral("撤销");
    QString line, note;
    bool done = false;
    switch (c.Kind) {
    case TStoreChange::Save: {
        const QList<TRecordVersion> removed = m_db.RemoveRecordsIf(c.User, c.Records);
        done = !removed.isEmpty();
        if (!done) {
            line = refused(verb, name, QStringLiteral("这些记录已在别处修改或删除"));
            break;
        }
        if (removed.size() < c.Records.size()) {
            note = QStringLiteral("另有 %1 条已在别处修改或删除，保留原样。")
                       .arg(c.Records.size() - removed.size());
        }
        c.Records = removed;
        break;
    }
    case TStoreChange::Delete:
        done = m_db.RestoreRecycledIf(c.User, c.Entry, nullptr);
        if (!done)
            line =
                refused(verb, name, QStringLiteral("这条记录已在别处恢复（可能是在另一台电脑上）"));
        break;
    case TStoreChange::Edit:
        done = m_db.RestoreRecycledIf(c.User, c.Entry, &c.Records.first());
        if (!done)
            line = refused(verb, name, QStringLiteral("这条记录已在别处再次修改、删除或恢复"));
        break;
    case TStoreChange::Rename: {
        const TRenameUndo u =
            m_db.UndoRename(c.User, c.Type, c.From, c.To, c.Renamed, c.ListBefore, c.ListAfter);
        done = u.Restored > 0 || u.ListRestored;
        if (!done) {
            line = refused(verb, name, QStringLiteral("这些记录和类别列表已在别处改动"));
            break;
        }
        if (u.Changed > 0)
            note = QStringLiteral("另有 %1 条记录已在别处改动，保留原样。").arg(u.Changed);
        break;
    }
    case TStoreChange::BillImport: {
        std::optional<TBillBatch> batch;
        for (const TBillBatch &b : m_db.BillBatches(c.User)) {
            if (b.Id == c.Batch)
                batch = b;
        }
        if (!batch || batch->Undone != 0) {
            line = refused(verb, name, QStringLiteral("这次导入已经撤销过了"));
            break;
        }
        if (batch->Remaining == batch->Edited) {
            line = refused(verb, name, QStringLiteral("这些记录已在别处修改或删除"));
            break;
        }
        const TBillUndo u = m_db.UndoBillBatch(c.User, c.Batch, false);
        done = true;
        note = QStringLiteral("删除了 %1 条记录。").arg(u.Removed);
        if (u.EditedKept > 0)
            note += QStringLiteral("另有 %1 条导入后被修改过，保留原样。").arg(u.EditedKept);
        break;
    }
    }
    m_undo.removeLast();
    if (done) {
        m_redo << a;
        line = QStringLiteral("已撤销：%1").arg(name);
        if (!note.isEmpty())
            line += QStringLiteral("。") + note;
    }
    Notify();
    return line;
}

QString TUndoStack::Redo()
{
    if (m_redo.isEmpty())
        return QString();
    TAction a = m_redo.last();
    TStoreChange &c = a.Change;
    const QString name = Name(a);
    const QString verb = QStringLiteral("重做");
    QString line, note;
    bool done = false;
    switch (c.Kind) {
    case TStoreChange::Save:
        done = m_db.InsertRecordsWithIds(c.User, c.Records);
        if (!done)
            line = refused(verb, name, QStringLiteral("这些记录已在别处恢复"));
        break;
    case TStoreChange::Delete: {
        const qint64 entry = m_db.DeleteRecordIf(c.User, a.Old);
        done = entry != 0;
        if (done)
            c.Entry = entry;
        else
            line = refused(verb, name, QStringLiteral("这条记录已在别处修改或删除"));
        break;
    }
    case TStoreChange::Edit: {
        const TRecycleEdit e = m_db.ReplaceRecordIf(c.User, a.Old, c.Records.first());
        done = e.Successor != 0;
        if (done) {
            c.Records.first().Id = e.Successor;
            c.Entry = e.Entry;
        } else {
            line = refused(verb, name, QStringLiteral("这条记录已在别处修改或删除"));
        }
        break;
    }
    case TStoreChange::Rename: {
        const auto heard = Replay([&] { m_db.RenameCate(c.User, c.Type, c.From, c.To); });
        done = true;
        if (heard) {
            c.Renamed = heard->Renamed;
            c.ListBefore = heard->ListBefore;
            c.ListAfter = heard->ListAfter;
        } else {
            c.Renamed.clear();
            c.ListBefore = c.ListAfter = QString();
        }
        break;
    }
    case TStoreChange::BillImport: {
        TBillImportResult r;
        const auto heard =
            Replay([&] { r = m_db.ImportBill(c.User, c.Source, c.FileName, c.Lines); });
        done = heard.has_value();
        if (!done) {
            line = refused(verb, name, QStringLiteral("这些账单行已在别处再次导入"));
            break;
        }
        c.Batch = heard->Batch;
        note = QStringLiteral("导入了 %1 条记录。").arg(r.Imported);
        if (r.Duplicates > 0)
            note += QStringLiteral("另有 %1 条已在别处导入，已跳过。").arg(r.Duplicates);
        break;
    }
    }
    m_redo.removeLast();
    if (done) {
        m_undo << a;
        line = QStringLiteral("已重做：%1").arg(name);
        if (!note.isEmpty())
            line += QStringLiteral("。") + note;
    }
    Notify();
    return line;
}
