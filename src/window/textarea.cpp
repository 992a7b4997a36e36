#include "window/textarea.h"

#include <QPlainTextEdit>

QPlainTextEdit *TextArea::make(QWidget *parent)
{
    auto *box = new QPlainTextEdit(parent);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab leaves the box instead of typing a tab, so the focus order works from
    // every control.
    box->setTabChangesFocus(true);
    return box;
}
