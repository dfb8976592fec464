#pragma once

#include "CDecAVIAudio.h"

// Reader of an audio-only source: a WAV file, or any AVI file with an audio
// stream (video is not needed and not kept). The last audio stream wins.
class CDecWAV : public CDecAVIAudio {
  public:
    CDecWAV();
    ~CDecWAV() override;

    int32_t Open(const std::string& path) override;
    // Sets the read position (in audio samples).
    void SetPosition(int32_t sample);
};
