#pragma once

#include "CBaseExtractPage.h"
#include "WmvOperations.h"

// The WMV extract page ("Movie Extra"): a time range of a Windows Media file
// into a new file with all its header data, samples copied unchanged from
// the first one at or after the start (not moved to a key frame). The
// extract runs on a worker thread; the page shows its progress and result.
class CWMVExtract : public CBaseExtractPage {
    Q_OBJECT
  public:
    explicit CWMVExtract(QWidget* owner);

  protected:
    // Start 0, end: the source's duration.
    int32_t ReadSourceRange() override;
    void RunExtract() override;
    trelvan::ProgressInput ProgressNow() const override;
    // The first video key frame written and the last video frame, their
    // times in the source and pictures, the duration, samples and bytes.
    bool MakePreview(CutPreview* preview) override;

  private:
    // The extract job of the fields as read.
    trelvan::WmvExtractJob Job() const;
};
