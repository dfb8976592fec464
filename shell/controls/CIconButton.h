#pragma once

#include <QIcon>

#include "CColorButton.h"

// A coloured button with an icon at its left: the icon 16 pixels from the
// left edge, vertically centred, the text in the part that starts 32 pixels
// from the left edge.
class CIconButton : public CColorButton {
    Q_OBJECT
  public:
    explicit CIconButton(QWidget* parent = nullptr, int edgeStyle = 0);

    // Loads the icon (and uses it greyed for the disabled state) from a
    // resource path; false when there is no such image.
    bool SetIconResource(const QString& path);
    void SetIcons(const QIcon& normal, const QIcon& disabled);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QIcon m_normal;
    QIcon m_disabledIcon;
};
