#pragma once

#include "CAVIBase.h"

// A page whose operation is not in this build yet. It has its layout and
// colour but every command is disabled, and its page button says it is
// coming; it never pretends to work.
class CComingPage : public CAVIBase {
    Q_OBJECT
  public:
    CComingPage(int templateId, QWidget* owner, QColor background);

    // The tooltip of the page button.
    static QString ComingText();

  protected:
    bool OnInitDialog() override;
};
