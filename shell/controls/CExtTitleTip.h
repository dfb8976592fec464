#pragma once

#include <QRect>
#include <QWidget>

// The tip that shows the whole text of a list entry over the entry itself,
// in the tooltip colours. It never takes the focus and lets the mouse through
// to the list below, which hides it when the mouse leaves the entry or a
// button is pressed.
class CExtTitleTip : public QWidget {
    Q_OBJECT
  public:
    CExtTitleTip();

    // Makes the tip belong to a list (its font and coordinates).
    void CreateTip(QWidget* owner);
    // Shows the text over the entry rectangle (owner's coordinates). Only when
    // the tip is hidden, the program is active (unless `evenInactive`) and the
    // text is not empty. Returns whether it is shown now.
    bool ShowTip(const QRect& entryRect, const QString& text, bool evenInactive = false);
    void HideTip();
    // Hides the tip and passes a mouse event on to the widget under the cursor.
    void RelayMouse(QMouseEvent* event);

    QRect EntryRect() const { return m_entry; }
    QString Text() const { return m_text; }
    // The rectangle the text needs in the owner's font (width + 1, height + 3).
    QRect MeasureText(const QString& text) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QWidget* m_owner = nullptr;
    QRect m_entry;
    QString m_text;
};
