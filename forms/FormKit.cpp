#include "FormKit.h"

#include <QPushButton>

void FlatButtons(QWidget *form)
{
    if (!form)
        return;
    for (QPushButton *b : form->findChildren<QPushButton *>())
        b->setFlat(true);
    // Qt draws a flat button as bare text; keep a thin frame so it still reads as a button.
    form->setStyleSheet(
        form->styleSheet() +
        QStringLiteral(
            "QPushButton[flat=\"true\"] { border: 1px solid #9aa7ad; border-radius: 2px;"
            " background: #fafafa; padding: 0 4px; }"
            "QPushButton[flat=\"true\"]:hover { background: #e6f2f4; border-color: #2f6f7e; }"
            "QPushButton[flat=\"true\"]:pressed { background: #cfe3e8; }"
            "QPushButton[flat=\"true\"]:focus { border-color: #2f6f7e; }"
            "QPushButton[flat=\"true\"]:disabled { color: #a0a0a0; border-color: #d0d0d0;"
            " background: #f3f3f3; }"));
}
