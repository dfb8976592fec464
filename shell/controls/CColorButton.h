#pragma once

#include "CLinkButton.h"

// A coloured button with a raised edge. The edge style decides when the edge
// shows: 0 always (sunken while pressed) with a focus frame, 1 only while the
// mouse is over the button, any other value only while pressed (sunken).
// The text moves one pixel right and down while the button is pressed.
class CColorButton : public CLinkButton {
    Q_OBJECT
  public:
    explicit CColorButton(QWidget* parent = nullptr, int edgeStyle = 0);

    void SetEdgeStyle(int style);
    int EdgeStyle() const { return m_edgeStyle; }
    // Whether an edge is drawn in the present state (for tests and painting).
    bool ShowsEdge() const;

  protected:
    void DrawButtonText(QPainter& dc, const QRect& rect) override;
    void DrawButtonEdge(QPainter& dc, const QRect& rect) override;

  private:
    int m_edgeStyle;
};
