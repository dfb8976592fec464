#pragma once

#include "CBaseSeparatePage.h"

// The WMV separate page ("V-A Separate"): the video stream of a Windows
// Media file alone into a WMV file (Video Cut), or its audio stream into a
// WMA file (Audio Cut), samples copied unchanged. The cut runs on a worker
// thread; the page shows its progress and its result.
class CWMVCutterDlg : public CBaseSeparatePage {
    Q_OBJECT
  public:
    explicit CWMVCutterDlg(QWidget* owner);

  protected:
    void RunCut(bool audio) override;
    trelvan::ProgressInput ProgressNow() const override;
};
