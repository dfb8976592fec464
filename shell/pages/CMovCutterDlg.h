#pragma once

#include "CBaseSeparatePage.h"
#include "CMovPage.h"

// The MOV separate page ("V-A Separate"): the video tracks of a QuickTime or
// MP4 movie alone into a MOV file (Video Cut), or its sound tracks into an
// M4A file (AAC or ALAC sound) or a MOV file (Audio Cut), every sample copied
// as stored. The cut runs on the window thread.
class CMovCutterDlg : public CMovPage<CBaseSeparatePage> {
    Q_OBJECT
  public:
    explicit CMovCutterDlg(QWidget* owner);

  protected:
    void RunCut(bool audio) override;
};
