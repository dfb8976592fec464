#include "CIconButton.h"

#include <QPainter>
#include <QPixmap>

CIconButton::CIconButton(QWidget* parent, int edgeStyle) : CColorButton(parent, edgeStyle) {}

bool CIconButton::SetIconResource(const QString& path) {
    QPixmap pixmap(path);
    if (pixmap.isNull()) {
        return false;
    }
    QIcon icon(pixmap);
    SetIcons(icon, QIcon(icon.pixmap(pixmap.size(), QIcon::Disabled)));
    return true;
}

void CIconButton::SetIcons(const QIcon& normal, const QIcon& disabled) {
    m_normal = normal;
    m_disabledIcon = disabled;
    update();
}

void CIconButton::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    const QRect r = rect();
    dc.fillRect(r, FaceColour());
    const QIcon& icon = isEnabled() ? m_normal : m_disabledIcon;
    if (!icon.isNull()) {
        const int size = qMin(32, r.height());
        icon.paint(&dc, QRect(16, (r.height() - size) / 2, size, size));
    }
    DrawButtonText(dc, r.adjusted(32, 0, 0, 0));
    DrawButtonEdge(dc, r);
}
