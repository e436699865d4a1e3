#include "CateRename.h"

#include "DbClass.h"
#include "Dialogs.h"
#include "HiClass.h"

TCateRename &TCateRename::Notifier()
{
    static TCateRename notifier;
    return notifier;
}

QString TCateRename::Run(QWidget *parent, TDbMan &db, const QString &user, const QString &type,
                         const QString &from)
{
    QString typed = from;
    if (!TDialogs::Input(parent, QStringLiteral("重命名类别"),
                         QStringLiteral("“%1”的新名称：").arg(from), typed))
        return QString();
    // The same rule as entering a category: trimmed, not blank, one line.
    const QString name = THi::CateName(typed);
    if (name.isEmpty()) {
        TDialogs::Error(parent, QStringLiteral("类别名称不能是空的，也不能分成几行。"));
        return QString();
    }
    if (name == from)
        return QString();

    QString renamed;
    TDialogs::Guard(parent, [&] {
        TBusy busy(nullptr);
        // Another category by that name (not the same one in other letter
        // case): the two become one, which cannot be undone, so ask first.
        const QString kind = type == TypeIncome() ? KindIn() : KindOut();
        bool exists = db.CountCate(user, type, name) > 0;
        if (!exists && THi::LowerAscii(name) != THi::LowerAscii(THi::Trim(from))) {
            for (const QString &item : THi::SplitLines(db.GetCateList(user, kind)))
                exists = exists || THi::LowerAscii(THi::Trim(item)) == THi::LowerAscii(name);
        }
        if (exists) {
            busy.Done();
            if (!TDialogs::Ask(parent,
                               QStringLiteral("类别“%1”已经有了。\r\n要把“%2”合并到“%1”中吗？")
                                   .arg(name, from),
                               false))
                return;
        }
        db.RenameCate(user, type, from, name);
        renamed = name;
    });
    if (!renamed.isEmpty())
        emit Notifier().renamed(user, type);
    return renamed;
}
