#pragma once

#include <cstddef>
#include <cstdint>

namespace trelvan::audio {

// Counts the complete MPEG audio frames (layers 1 to 3) in a byte stream fed
// in pieces, from each frame's header: its length follows from bit rate,
// sample rate and padding, its samples from version and layer. Bytes that do
// not start a frame of the expected sample rate are skipped one by one until
// a header is found again. Works for constant and variable bit rates alike.
class MpegFrameCounter {
  public:
    explicit MpegFrameCounter(uint32_t sample_rate) : m_rate(sample_rate) {}

    void Feed(const uint8_t* p, size_t n);

    // Bytes fed so far, and the sample frames of the complete audio frames
    // among them.
    uint64_t Bytes() const { return m_bytes; }
    uint64_t Samples() const { return m_samples; }

    // Length in bytes and samples of the frame whose header starts at `h`
    // (4 bytes); false when it is no header of a frame at `sample_rate`.
    static bool ParseHeader(const uint8_t* h, uint32_t sample_rate, uint32_t* length,
                            uint32_t* samples);

  private:
    uint32_t m_rate;
    uint64_t m_bytes = 0;
    uint64_t m_samples = 0;
    uint8_t m_head[4] = {};
    uint32_t m_headLen = 0;
    uint32_t m_skip = 0;          // bytes of the current frame still to come
    uint32_t m_frameSamples = 0;  // counted once the frame is complete
};

}  // namespace trelvan::audio
