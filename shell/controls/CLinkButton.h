#pragma once

#include <QColor>
#include <QPushButton>

// A flat button painted by the program: the face in one colour and the text
// centred on it, in the hover colour while the mouse is over the button and
// in the disabled colour when it cannot be pressed. Used as a link on the
// about box and as the base of the coloured page buttons.
class CLinkButton : public QPushButton {
    Q_OBJECT
  public:
    explicit CLinkButton(QWidget* parent = nullptr);
    CLinkButton(QColor text, QColor face, QColor disabledText, QColor hoverText,
                QWidget* parent = nullptr);

    void SetColours(QColor text, QColor face, QColor disabledText, QColor hoverText);
    QColor TextColour() const { return m_text; }
    QColor FaceColour() const { return m_face; }
    QColor DisabledTextColour() const { return m_disabled; }
    QColor HoverTextColour() const { return m_hover; }
    bool IsHover() const { return m_isHover; }
    // The colour the text is drawn in now: disabled beats hover beats normal.
    QColor CurrentTextColour() const;

  protected:
    virtual void DrawButtonText(QPainter& dc, const QRect& rect);
    // The edge; a plain link button has none.
    virtual void DrawButtonEdge(QPainter& dc, const QRect& rect) {}

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QColor m_text;
    QColor m_face;
    QColor m_disabled;
    QColor m_hover;
    bool m_isHover = false;
};
