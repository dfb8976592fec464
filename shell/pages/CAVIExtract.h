#pragma once

#include "AviExtract.h"
#include "CBaseExtractPage.h"

// The AVI extract page ("Movie Extra"): a time range of an AVI file into a
// new AVI file without recompressing, starting at a key frame. The page runs
// the AVI extract operation on its fields and shows the result; when the run
// begins it rewrites the start fields with the start really used.
class CAVIExtract : public CBaseExtractPage {
    Q_OBJECT
  public:
    explicit CAVIExtract(QWidget* owner);

    // Frames per second recorded when the range was loaded (0 without one).
    double FrameRate() const { return m_rate; }

  protected:
    // Start: the source's first frame, end: the time after its last.
    int32_t ReadSourceRange() override;
    void RunExtract() override;
    trelvan::ProgressInput ProgressNow() const override;
    // A part's audio is copied after its video.
    bool AudioFollowsVideo() const override { return true; }
    // The first frame written (the key frame the start moves to, and where
    // it moved from), the last frame, their pictures, the span and duration.
    bool MakePreview(CutPreview* preview) override;

  private:
    // The extract job of the fields as read.
    trelvan::AviExtractJob Job() const;

    double m_rate = 0;
};
