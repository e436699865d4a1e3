#pragma once

// What the two small edit dialogs share: a fixed dialog frame with a close
// box, FormShow on the first show, and an Escape key that closes nothing
// (only Cancel and the close box throw an edit away).

#include "FormKit.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QShowEvent>

class TEditDialog : public QDialog {
    Q_OBJECT
public:
    explicit TEditDialog(QWidget *owner)
        : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                             Qt::MSWindowsFixedSizeDialogHint)
    {
    }

protected:
    virtual void FormShow() = 0;

    // Save and Cancel side by side, 74 x 23 with a gap of 6. Neither is a
    // default button: Enter belongs to the fields.
    void MakeSaveCancel(int x, int y, QPushButton *&save, QPushButton *&cancel)
    {
        save = MakeButton(this, "btnSave", QStringLiteral("保存(&S)"), x, y);
        cancel = MakeButton(this, "btnCancel", QStringLiteral("取消(&C)"),
                            x + ButtonSize.width() + 6, y);
        for (QPushButton *b : {save, cancel}) {
            b->setAutoDefault(false);
            b->setDefault(false);
        }
    }

    void showEvent(QShowEvent *event) override
    {
        QDialog::showEvent(event);
        if (!m_shown) {
            m_shown = true;
            FormShow();
        }
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    bool m_shown = false;
};
