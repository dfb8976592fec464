#pragma once

#include <array>
#include <cstdint>

#include "CEncAVI.h"

// The variant of the compressing mode that compresses each frame itself and
// writes the result to the file's video stream. With the only handler there
// is ("DIB "), compressing a frame is storing it as it is.
class CEncAVI_Comp : public CEncAVI {
  public:
    CEncAVI_Comp();
    ~CEncAVI_Comp() override;

    int32_t WriteFrame(const void* bits, int32_t bytes) override;
    int32_t Open(const std::string& path) override;
    int32_t PrepareCompressor() override;
    void ReleaseCompressor() override;

  protected:
    // The frames-information record of a compression sequence (64 bytes),
    // zeroed at construction.
    std::array<uint8_t, 64> m_framesInfo{};
    bool m_sequenceStarted = false;
};
