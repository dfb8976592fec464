#include "CExtTitleTip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

CExtTitleTip::CExtTitleTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::WindowTransparentForInput) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName("CExtTitleTip");
}

void CExtTitleTip::CreateTip(QWidget* owner) {
    m_owner = owner;
    if (owner) {
        setFont(owner->font());
    }
}

QRect CExtTitleTip::MeasureText(const QString& text) const {
    const QFontMetrics fm(m_owner ? m_owner->font() : font());
    return QRect(0, 0, fm.horizontalAdvance(text) + 1, fm.height() + 3);
}

bool CExtTitleTip::ShowTip(const QRect& entryRect, const QString& text, bool evenInactive) {
    if (isVisible() || text.isEmpty() || !m_owner) {
        return isVisible();
    }
    if (!evenInactive && QGuiApplication::applicationState() != Qt::ApplicationActive) {
        return false;
    }
    m_entry = entryRect;
    m_text = text;
    setFont(m_owner->font());
    const QRect need = MeasureText(text);
    QPoint at = m_owner->mapToGlobal(entryRect.topLeft());
    // Back onto the screen when the left or top edge would be off it.
    const QScreen* screen = m_owner->screen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 15, 1 << 15);
    at.setX(qMax(at.x(), area.left()));
    at.setY(qMax(at.y(), area.top()));
    setGeometry(QRect(at, QSize(need.width() + 2, need.height() + 2)));
    show();
    raise();
    return true;
}

void CExtTitleTip::HideTip() {
    if (isVisible()) {
        hide();
    }
}

void CExtTitleTip::RelayMouse(QMouseEvent* event) {
    HideTip();
    QWidget* under = QApplication::widgetAt(event->globalPosition().toPoint());
    if (!under || under == this) {
        return;
    }
    QMouseEvent relayed(event->type(), under->mapFromGlobal(event->globalPosition()),
                        event->globalPosition(), event->button(), event->buttons(),
                        event->modifiers());
    QApplication::sendEvent(under, &relayed);
}

void CExtTitleTip::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    const QPalette tip = QToolTip::palette();
    dc.fillRect(rect(), tip.color(QPalette::ToolTipBase));
    dc.setPen(tip.color(QPalette::ToolTipText).darker(150));
    dc.drawRect(rect().adjusted(0, 0, -1, -1));
    dc.setPen(tip.color(QPalette::ToolTipText));
    dc.drawText(rect().adjusted(1, 1, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                m_text);
}

void CExtTitleTip::mouseMoveEvent(QMouseEvent* event) {
    if (!m_owner) {
        return;
    }
    const QPoint p = m_owner->mapFromGlobal(event->globalPosition().toPoint());
    if (!m_entry.contains(p)) {
        RelayMouse(event);
    }
}

void CExtTitleTip::mousePressEvent(QMouseEvent* event) {
    RelayMouse(event);
}
void CExtTitleTip::mouseReleaseEvent(QMouseEvent* event) {
    RelayMouse(event);
}
