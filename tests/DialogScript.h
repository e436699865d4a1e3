#pragma once

// Answers the program's dialogs in tests: records every call and hands out
// queued answers (Yes/No for questions, texts for input and file dialogs).
// Without a queued answer a question gets No and the other dialogs cancel.

#include "Dialogs.h"

#include <QList>
#include <QQueue>
#include <QVariant>

class DialogScript {
public:
    DialogScript()
    {
        TDialogs::SetHandler([this](const TDialogCall &call) {
            calls.append(call);
            if (answers.isEmpty())
                return call.kind == TDialogCall::Question ? QVariant(false) : QVariant(QString());
            return answers.dequeue();
        });
    }
    ~DialogScript() { TDialogs::SetHandler({}); }
    DialogScript(const DialogScript &) = delete;
    DialogScript &operator=(const DialogScript &) = delete;

    DialogScript &yes()
    {
        answers.enqueue(true);
        return *this;
    }
    DialogScript &no()
    {
        answers.enqueue(false);
        return *this;
    }
    DialogScript &answer(const QString &text)
    {
        answers.enqueue(text);
        return *this;
    }
    DialogScript &cancel()
    {
        answers.enqueue(QString());
        return *this;
    }

    // Calls of one kind, in order.
    QList<TDialogCall> of(TDialogCall::Kind kind) const
    {
        QList<TDialogCall> r;
        for (const TDialogCall &c : calls)
            if (c.kind == kind)
                r.append(c);
        return r;
    }

    QList<TDialogCall> calls;
    QQueue<QVariant> answers;
};
