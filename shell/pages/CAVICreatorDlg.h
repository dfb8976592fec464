#pragma once

#include "CBaseUnitePage.h"

// The AVI unite page ("V-A Unite"): the video of one AVI file and the audio
// of another (an AVI or WAV file) into one AVI file, both streams whole and
// unchanged. The page runs the unite operation on its fields and shows the
// result; the progress is the save's percent.
class CAVICreatorDlg : public CBaseUnitePage {
    Q_OBJECT
  public:
    explicit CAVICreatorDlg(QWidget* owner);

    // Not idle while a save is on its way back after a stop request: the
    // window must not close under it.
    int IsIdle() const override { return m_saving ? 0 : CBaseUnitePage::IsIdle(); }

  protected:
    void OnUnite() override;
    trelvan::ProgressInput ProgressNow() const override;

  private:
    bool m_saving = false;
};
