#include "CLinkButton.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

CLinkButton::CLinkButton(QWidget* parent)
    : CLinkButton(QApplication::palette().color(QPalette::ButtonText),
                  QApplication::palette().color(QPalette::Button),
                  QApplication::palette().color(QPalette::Disabled, QPalette::WindowText),
                  QColor(255, 0, 255), parent) {}

CLinkButton::CLinkButton(QColor text, QColor face, QColor disabledText, QColor hoverText,
                         QWidget* parent)
    : QPushButton(parent),
      m_text(text),
      m_face(face),
      m_disabled(disabledText),
      m_hover(hoverText) {
    // Enter in a dialog must not press a button (the pages ignore Enter).
    setAutoDefault(false);
    setAttribute(Qt::WA_Hover);
}

void CLinkButton::SetColours(QColor text, QColor face, QColor disabledText, QColor hoverText) {
    m_text = text;
    m_face = face;
    m_disabled = disabledText;
    m_hover = hoverText;
    update();
}

QColor CLinkButton::CurrentTextColour() const {
    if (!isEnabled()) {
        return m_disabled;
    }
    return m_isHover ? m_hover : m_text;
}

void CLinkButton::DrawButtonText(QPainter& dc, const QRect& rect) {
    dc.setPen(CurrentTextColour());
    dc.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text());
}

void CLinkButton::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    const QRect r = rect();
    dc.fillRect(r, m_face);
    DrawButtonText(dc, r);
    DrawButtonEdge(dc, r);
}

void CLinkButton::enterEvent(QEnterEvent* event) {
    m_isHover = true;
    update();
    QPushButton::enterEvent(event);
}

void CLinkButton::leaveEvent(QEvent* event) {
    m_isHover = false;
    update();
    QPushButton::leaveEvent(event);
}
