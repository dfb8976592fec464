#pragma once

#include "AviSeparate.h"
#include "CBaseSeparatePage.h"

// The AVI separate page ("V-A Separate"): the video of an AVI file alone
// into an AVI file (Video Cut), or its audio into a WAV file in its own
// format (Audio Cut). The page runs the separate operation on its fields and
// shows the result; the progress is the save's percent.
class CAVICutterDlg : public CBaseSeparatePage {
    Q_OBJECT
  public:
    explicit CAVICutterDlg(QWidget* owner);

    // Not idle while a save is on its way back after a stop request: the
    // window must not close under it.
    int IsIdle() const override { return m_saving ? 0 : CBaseSeparatePage::IsIdle(); }

  protected:
    void RunCut(bool audio) override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    bool m_saving = false;
};
