#pragma once

#include "CBaseExtractPage.h"
#include "CMovPage.h"

// The MOV extract page ("Movie Extra"): a time range of a QuickTime or MP4
// movie into a new movie, samples copied as stored: the video from the sync
// sample at or before the start, with an edit so that it is shown from the
// start; the sound in whole packets trimmed by its edit. The extract runs
// on the window thread.
class CMovExtract : public CMovPage<CBaseExtractPage> {
    Q_OBJECT
  public:
    explicit CMovExtract(QWidget* owner);

  protected:
    // Start 0, end: the movie's duration.
    int32_t ReadSourceRange() override;
    void ShowSourceError(int32_t code, const QString& source) override;
    void RunExtract() override;
    // The first and last frames shown with their times in the source and
    // pictures, and the plan's lines (times, duration, samples, bytes).
    bool MakePreview(CutPreview* preview) override;

  private:
    // The extract job of the fields as read.
    trelvan::MovExtractJob Job() const;
};
