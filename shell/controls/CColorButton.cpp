#include "CColorButton.h"

#include <QPainter>

CColorButton::CColorButton(QWidget* parent, int edgeStyle)
    : CLinkButton(parent), m_edgeStyle(edgeStyle) {}

void CColorButton::SetEdgeStyle(int style) {
    m_edgeStyle = style;
    update();
}

bool CColorButton::ShowsEdge() const {
    switch (m_edgeStyle) {
        case 0:
            return true;
        case 1:
            return IsHover();
        default:
            return isDown();
    }
}

void CColorButton::DrawButtonText(QPainter& dc, const QRect& rect) {
    CLinkButton::DrawButtonText(dc, isDown() ? rect.translated(1, 1) : rect);
}

void CColorButton::DrawButtonEdge(QPainter& dc, const QRect& rect) {
    if (ShowsEdge()) {
        const bool sunken = isDown();
        const QColor light(255, 255, 255);
        const QColor dark(64, 64, 64);
        const QColor& topLeft = sunken ? dark : light;
        const QColor& bottomRight = sunken ? light : dark;
        const QRect r = rect.adjusted(0, 0, -1, -1);
        dc.setPen(topLeft);
        dc.drawLine(r.topLeft(), r.topRight());
        dc.drawLine(r.topLeft(), r.bottomLeft());
        dc.setPen(bottomRight);
        dc.drawLine(r.bottomLeft(), r.bottomRight());
        dc.drawLine(r.topRight(), r.bottomRight());
    }
    if (m_edgeStyle == 0 && hasFocus()) {
        QPen pen(Qt::black, 1, Qt::DotLine);
        dc.setPen(pen);
        dc.setBrush(Qt::NoBrush);
        dc.drawRect(rect.adjusted(4, 4, -5, -5));
    }
}
