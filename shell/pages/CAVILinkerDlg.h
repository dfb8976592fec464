#pragma once

#include "CBaseLinkPage.h"

// The AVI "Movie Link" page: joins the AVI files of its source list, in list
// order, into one new AVI file without recompressing. The page runs the AVI
// link operation and shows its progress (source number of how many, and the
// percent of that source).
class CAVILinkerDlg : public CBaseLinkPage {
    Q_OBJECT
  public:
    explicit CAVILinkerDlg(QWidget* owner);

  protected:
    void RunLink(const QStringList& sources) override;
    trelvan::ProgressInput ProgressNow() const override;
    // A part's audio is copied after its video.
    bool AudioFollowsVideo() const override { return true; }
};
