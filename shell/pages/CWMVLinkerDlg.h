#pragma once

#include "CBaseLinkPage.h"

// The WMV "Movie Link" page: the Windows Media files of its source list, in
// list order, one after the other into one file configured from the first,
// samples copied unchanged. The link runs on a worker thread; the page shows
// its progress (entry of how many, and the percent of that entry) and its
// result. Stop leaves Link disabled until the run has ended.
class CWMVLinkerDlg : public CBaseLinkPage {
    Q_OBJECT
  public:
    explicit CWMVLinkerDlg(QWidget* owner);

  protected:
    void RunLink(const QStringList& sources) override;
    trelvan::ProgressInput ProgressNow() const override;
};
