#pragma once

#include <QColor>

#include "CBaseDialog.h"

// A dialog painted in one colour: its background, the static texts, group
// boxes and read-only path fields take the background colour and the text
// colour; other controls keep their own colours.
class CBaseColorDialog : public CBaseDialog {
    Q_OBJECT
  public:
    CBaseColorDialog(int templateId, QWidget* owner, QColor background, QColor text, bool sysMenu,
                     bool child);

    QColor BackgroundColour() const { return m_background; }
    QColor TextColour() const { return m_text; }

  protected:
    bool OnInitDialog() override;
    // Gives the controls made so far the dialog's colours.
    void ApplyColours();

  private:
    QColor m_background;
    QColor m_text;
};
