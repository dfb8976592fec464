#pragma once

#include <QColor>
#include <QRect>

#include "CBaseDialog.h"
#include "CMemBmpDC.h"

// A window that paints its own border and caption strip in one colour (the
// main window: the colour of the selected page). The caption shows an icon,
// the window title in bold and, from the right, close, maximise and minimise
// buttons drawn from images. A caption button acts only when the mouse is
// released over the button it was pressed on; maximise does nothing.
// Dragging the caption (or any empty background) moves the window.
class CBaseFrameColorDialog : public CBaseDialog {
    Q_OBJECT
  public:
    enum CaptionButton { kClose = 0, kMaximise = 1, kMinimise = 2, kNone = 3 };

    CBaseFrameColorDialog(int templateId, QWidget* owner, bool sysMenu, bool child);

    // The area inside the frame where the dialog's controls live.
    QWidget* Client() const { return m_client; }
    void SetClientSize(int width, int height);

    virtual void LoadFrameImages() {}
    virtual QColor GetCaptionTextColour() const { return QColor(0, 0, 0); }
    virtual QColor GetFrameColour() const { return QColor(255, 255, 255); }

    // Geometry of the caption in window coordinates (tests press these).
    QRect CaptionRect() const;
    QRect ButtonRect(int button) const;
    QRect IconRect() const;
    bool HasButton(int button) const;
    int PressedButton() const { return m_pressed; }
    int HotButton() const { return m_hot; }

    static constexpr int kBorder = 3;
    static constexpr int kCaptionHeight = 22;
    static constexpr int kButtonWidth = 18;

  protected:
    bool OnInitDialog() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    // Images: close, maximise, minimise (grey 128,128,128 is transparent)
    // and the caption icon (black is transparent).
    CMemBmpDC m_buttonImages[3];
    CMemBmpDC m_captionIcon;

  private:
    int ButtonAt(const QPoint& p) const;
    void SetHot(int button);
    void SetPressed(int button);
    void ActOn(int button);

    QWidget* m_client;
    int m_pressed = kNone;
    int m_hot = kNone;
    bool m_capture = false;
};
