#include "CBaseFrameColorDialog.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

CBaseFrameColorDialog::CBaseFrameColorDialog(int templateId, QWidget* owner, bool sysMenu,
                                             bool child)
    : CBaseDialog(templateId, owner, sysMenu, child), m_client(new QWidget(this)) {
    // The frame is ours: no window-manager decoration.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setMouseTracking(true);
    m_client->setObjectName("Client");
    m_client->move(kBorder, kBorder + kCaptionHeight);
}

void CBaseFrameColorDialog::SetClientSize(int width, int height) {
    m_client->resize(width, height);
    setFixedSize(width + 2 * kBorder, height + 2 * kBorder + kCaptionHeight);
}

bool CBaseFrameColorDialog::OnInitDialog() {
    CBaseDialog::OnInitDialog();
    LoadFrameImages();
    // After its own set-up the window opens no menu on a right click.
    m_sysMenu = false;
    return true;
}

QRect CBaseFrameColorDialog::CaptionRect() const {
    return QRect(kBorder, kBorder, width() - 2 * kBorder, kCaptionHeight);
}

bool CBaseFrameColorDialog::HasButton(int button) const {
    const Qt::WindowFlags f = windowFlags();
    switch (button) {
        case kClose:
            return f & Qt::WindowSystemMenuHint;
        case kMaximise:
            return f & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
        case kMinimise:
            return f & Qt::WindowMinimizeButtonHint;
        default:
            return false;
    }
}

QRect CBaseFrameColorDialog::ButtonRect(int button) const {
    const QRect cap = CaptionRect();
    int right = cap.right() + 1;
    for (int b = kClose; b <= kMinimise; ++b) {
        if (!HasButton(b)) {
            continue;
        }
        const QRect cell(right - kButtonWidth, cap.top(), kButtonWidth, cap.height());
        if (b == button) {
            return cell;
        }
        right -= kButtonWidth;
    }
    return {};
}

int CBaseFrameColorDialog::ButtonAt(const QPoint& p) const {
    for (int b = kClose; b <= kMinimise; ++b) {
        if (HasButton(b) && ButtonRect(b).contains(p)) {
            return b;
        }
    }
    return kNone;
}

void CBaseFrameColorDialog::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    const QColor frame = GetFrameColour();
    // Border strips and caption strip.
    dc.fillRect(QRect(0, 0, width(), kBorder + kCaptionHeight), frame);
    dc.fillRect(QRect(0, height() - kBorder, width(), kBorder), frame);
    dc.fillRect(QRect(0, 0, kBorder, height()), frame);
    dc.fillRect(QRect(width() - kBorder, 0, kBorder, height()), frame);

    const QRect cap = CaptionRect();
    int textLeft = cap.left() + 2;
    if (!m_captionIcon.Surface().isNull()) {
        const QSize size = m_captionIcon.GetImageSize();
        const int side = cap.height();
        const QRect cell(cap.left(), cap.top(), side, side);
        const QRect dst(cell.left() + (side - size.width()) / 2,
                        cell.top() + (side - size.height()) / 2, size.width(), size.height());
        m_captionIcon.TransparentTo(dc, dst, QRect(0, 0, 0, 0), QColor(0, 0, 0));
        textLeft = cell.right() + 1 + 2;
    }
    // Bold caption text in the flipped colour, limited to the strip.
    QFont f = font();
    f.setBold(true);
    if (QFontMetrics(f).height() > cap.height()) {
        f.setPixelSize(cap.height() - 2);
    }
    dc.setFont(f);
    dc.setPen(GetCaptionTextColour());
    int textRight = cap.right() - 2;
    for (int b = kClose; b <= kMinimise; ++b) {
        if (HasButton(b)) {
            textRight = qMin(textRight, ButtonRect(b).left() - 2);
        }
    }
    dc.drawText(QRect(QPoint(textLeft, cap.top() + 2), QPoint(textRight, cap.bottom() - 2)),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowTitle());

    for (int b = kClose; b <= kMinimise; ++b) {
        if (!HasButton(b) || m_buttonImages[b].Surface().isNull()) {
            continue;
        }
        const QRect cell = ButtonRect(b);
        const QSize size = m_buttonImages[b].GetImageSize();
        const QRect dst(cell.left() + (cell.width() - size.width()) / 2,
                        cell.top() + (cell.height() - size.height()) / 2, size.width(),
                        size.height());
        m_buttonImages[b].TransparentTo(dc, dst, QRect(0, 0, 0, 0), QColor(128, 128, 128));
    }
}

void CBaseFrameColorDialog::SetHot(int button) {
    if (m_hot != button) {
        m_hot = button;
        update(CaptionRect());
    }
}

void CBaseFrameColorDialog::SetPressed(int button) {
    if (m_pressed != button) {
        m_pressed = button;
        update(CaptionRect());
    }
}

void CBaseFrameColorDialog::ActOn(int button) {
    switch (button) {
        case kClose:
            OnSysClose();
            break;
        case kMinimise:
            showMinimized();
            break;
        default:
            break;  // maximise does nothing: the window has a fixed size
    }
}

QRect CBaseFrameColorDialog::IconRect() const {
    const QRect cap = CaptionRect();
    return QRect(cap.left(), cap.top(), cap.height(), cap.height());
}

void CBaseFrameColorDialog::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (IconRect().contains(p)) {
        event->accept();  // the caption icon opens nothing and drags nothing
        return;
    }
    const int b = ButtonAt(p);
    if (b != kNone) {
        m_capture = true;
        SetHot(b);
        if (event->button() == Qt::LeftButton) {
            SetPressed(b);
        }
        event->accept();
        return;
    }
    CBaseDialog::mousePressEvent(event);
}

void CBaseFrameColorDialog::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    const int b = ButtonAt(p);
    if (m_capture || b != kNone) {
        if (b == kNone) {
            // Off all three cells: nothing pressed, nothing hot, capture gone.
            SetPressed(kNone);
            SetHot(kNone);
            m_capture = false;
        } else {
            m_capture = true;
            SetHot(b);
        }
        event->accept();
        return;
    }
    SetHot(kNone);
    if (IconRect().contains(p)) {
        event->accept();
        return;
    }
    // Dragging the caption or the background moves the window.
    CBaseDialog::mouseMoveEvent(event);
}

void CBaseFrameColorDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const int b = ButtonAt(event->position().toPoint());
        const int pressed = m_pressed;
        SetPressed(kNone);
        m_capture = false;  // every release ends the capture
        if (b != kNone && b == pressed) {
            ActOn(b);
        }
        event->accept();
        return;
    }
    CBaseDialog::mouseReleaseEvent(event);
}

void CBaseFrameColorDialog::leaveEvent(QEvent* event) {
    if (m_pressed == kNone) {
        SetHot(kNone);
    }
    CBaseDialog::leaveEvent(event);
}
