#pragma once

#include "CBaseUnitePage.h"

// The WMV unite page ("V-A Unite"): the video stream of one Windows Media
// file and the audio stream of another into one WMV file, samples copied
// unchanged. The unite runs on a worker thread; the page shows its progress
// and its result.
class CWMVCreatorDlg : public CBaseUnitePage {
    Q_OBJECT
  public:
    explicit CWMVCreatorDlg(QWidget* owner);

  protected:
    void OnUnite() override;
    trelvan::ProgressInput ProgressNow() const override;
};
