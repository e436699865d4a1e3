#pragma once

// What the two small edit dialogs share: a fixed dialog frame with a close
// box, FormShow on the first show, and an Escape key that closes nothing
// (only Cancel and the close box throw an edit away).

#include <QDialog>
#include <QKeyEvent>
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
