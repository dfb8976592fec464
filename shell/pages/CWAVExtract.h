#pragma once

#include "AudioExtract.h"
#include "CBaseExtractPage.h"

// The audio extract page: a time range of the audio of a WAV or AVI file
// into a new WAV file in the source's own format. The page runs the audio
// extract operation on its fields and shows the result.
class CWAVExtract : public CBaseExtractPage {
    Q_OBJECT
  public:
    explicit CWAVExtract(QWidget* owner);

  protected:
    // Start 0, end: the length of the audio.
    int32_t ReadSourceRange() override;
    void RunExtract() override;
    // The span written (start, end, duration) and its sample count.
    bool MakePreview(CutPreview* preview) override;

  private:
    // The extract job of the fields as read.
    trelvan::AudioExtractJob Job() const;
};
