#include "CNumberEditBox.h"

#include <QKeyEvent>

CNumberEditBox::CNumberEditBox(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CNumberEditBox::AcceptsTyped(const QString& typed) {
    for (const QChar c : typed) {
        const bool ok = (c >= u'0' && c <= u'9') || c == u'\b' || c == u'\t';
        if (!ok) {
            return false;
        }
    }
    return true;
}

void CNumberEditBox::keyPressEvent(QKeyEvent* event) {
    // Backspace and Tab arrive as keys with a control character or none.
    const int key = event->key();
    if (key == Qt::Key_Backspace || key == Qt::Key_Tab || key == Qt::Key_Backtab) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QString typed = event->text();
    const bool typesText = !typed.isEmpty() && typed.at(0).isPrint();
    if (typesText && !AcceptsTyped(typed)) {
        event->accept();  // swallowed
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CNumberEditBox::focusInEvent(QFocusEvent* event) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
    QLineEdit::focusInEvent(event);
}
