#include "MpegFrameCounter.h"

#include <algorithm>
#include <cstring>

namespace trelvan::audio {

namespace {

// Bit rates in kbit/s by bit-rate index 1..14: MPEG-1 layers 1, 2, 3, then
// MPEG-2/2.5 layer 1 and layers 2/3.
constexpr uint16_t kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
// Sample rates by index 0..2: MPEG-1, MPEG-2, MPEG-2.5.
constexpr uint32_t kRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

bool MpegFrameCounter::ParseHeader(const uint8_t* h, uint32_t sample_rate, uint32_t* length,
                                   uint32_t* samples) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) {
        return false;
    }
    const uint32_t version_bits = (h[1] >> 3) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    const uint32_t layer_bits = (h[1] >> 1) & 3;    // 1 layer 3, 2 layer 2, 3 layer 1
    const uint32_t rate_index = h[2] >> 4;
    const uint32_t freq_index = (h[2] >> 2) & 3;
    const uint32_t padding = (h[2] >> 1) & 1;
    if (version_bits == 1 || layer_bits == 0 || rate_index == 0 || rate_index == 15 ||
        freq_index == 3) {
        return false;  // reserved values; free-format streams are not counted
    }
    const bool mpeg1 = version_bits == 3;
    const uint32_t layer = 4 - layer_bits;
    const uint32_t rate = kRates[mpeg1 ? 0 : version_bits == 2 ? 1 : 2][freq_index];
    if (rate != sample_rate) {
        return false;
    }
    const uint32_t table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    const uint32_t bitrate = kBitrates[table][rate_index - 1] * 1000u;
    if (layer == 1) {
        *length = (12 * bitrate / rate + padding) * 4;
        *samples = 384;
    } else if (layer == 2 || mpeg1) {
        *length = 144 * bitrate / rate + padding;
        *samples = 1152;
    } else {
        *length = 72 * bitrate / rate + padding;
        *samples = 576;
    }
    return *length > 4;
}

void MpegFrameCounter::Feed(const uint8_t* p, size_t n) {
    m_bytes += n;
    while (n > 0) {
        if (m_skip > 0) {
            const size_t k = std::min<size_t>(m_skip, n);
            m_skip -= static_cast<uint32_t>(k);
            p += k;
            n -= k;
            if (m_skip == 0) {
                m_samples += m_frameSamples;  // the frame is complete
            }
            continue;
        }
        m_head[m_headLen++] = *p++;
        --n;
        if (m_headLen < 4) {
            continue;
        }
        uint32_t length = 0;
        uint32_t samples = 0;
        if (ParseHeader(m_head, m_rate, &length, &samples)) {
            m_skip = length - 4;
            m_frameSamples = samples;
            m_headLen = 0;
        } else {
            // No frame starts here: look one byte further.
            std::memmove(m_head, m_head + 1, 3);
            m_headLen = 3;
        }
    }
}

}  // namespace trelvan::audio
