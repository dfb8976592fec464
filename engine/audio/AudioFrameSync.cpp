#include "AudioFrameSync.h"

#include <algorithm>
#include <vector>

#include "MpegFrameCounter.h"
#include "WaveFormatEx.h"

namespace trelvan::audio {
namespace {

// AC-3 frame sizes in 16-bit words at 48 kHz and 32 kHz by bit-rate code
// (frmsizecod / 2); 44.1 kHz frames hold bitrate * 96000 / 44100 words, one
// more when the code is odd.
constexpr uint16_t kAc3Kbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                   192, 224, 256, 320, 384, 448, 512, 576, 640};

uint32_t Ac3FrameLength(const uint8_t* h, size_t n, uint32_t sample_rate) {
    if (n < 6 || h[0] != 0x0B || h[1] != 0x77) {
        return 0;
    }
    const uint32_t bsid = h[5] >> 3;
    if (bsid <= 10) {  // AC-3
        const uint32_t fscod = h[4] >> 6;
        const uint32_t code = h[4] & 0x3F;
        if (fscod == 3 || code >= 38) {
            return 0;
        }
        static constexpr uint32_t kRates[3] = {48000, 44100, 32000};
        if (sample_rate != 0 && kRates[fscod] != sample_rate) {
            return 0;
        }
        const uint32_t kbps = kAc3Kbps[code / 2];
        uint32_t words = 0;
        if (fscod == 0) {
            words = kbps * 2;
        } else if (fscod == 2) {
            words = kbps * 3;
        } else {
            words = kbps * 96000 / 44100 + (code & 1);
        }
        return words * 2;
    }
    if (bsid > 10 && bsid <= 16) {  // E-AC-3: the frame size is in the header
        const uint32_t words = ((h[2] & 0x07u) << 8 | h[3]) + 1;
        return words >= 4 ? words * 2 : 0;
    }
    return 0;
}

}  // namespace

bool HasFrameHeaders(uint16_t tag) {
    return tag == kWaveFormatMpeg || tag == kWaveFormatMpegLayer3 || tag == kWaveFormatAc3;
}

uint32_t FrameLengthAt(uint16_t tag, uint32_t sample_rate, const uint8_t* h, size_t n) {
    if (tag == kWaveFormatAc3) {
        return Ac3FrameLength(h, n, sample_rate);
    }
    if ((tag == kWaveFormatMpeg || tag == kWaveFormatMpegLayer3) && n >= 4) {
        uint32_t length = 0;
        uint32_t samples = 0;
        static constexpr uint32_t kAnyRate[] = {44100, 48000, 32000, 22050, 24000,
                                                16000, 11025, 12000, 8000};
        if (sample_rate != 0) {
            return MpegFrameCounter::ParseHeader(h, sample_rate, &length, &samples) ? length : 0;
        }
        for (uint32_t r : kAnyRate) {
            if (MpegFrameCounter::ParseHeader(h, r, &length, &samples)) {
                return length;
            }
        }
    }
    return 0;
}

uint64_t NextFrameBoundary(uint16_t tag, uint32_t sample_rate, const StreamBytesReader& read,
                           uint64_t total, uint64_t pos) {
    if (pos >= total) {
        return total;
    }
    if (!HasFrameHeaders(tag)) {
        return pos;
    }
    // Room to search 64 KiB and follow three frames (at most 8 KiB each)
    // from the last place searched.
    constexpr uint64_t kSearch = 64 << 10;
    constexpr uint64_t kFollow = 3 * (8 << 10) + 8;
    const uint64_t span = std::min<uint64_t>(kSearch + kFollow, total - pos);
    std::vector<uint8_t> buf(static_cast<size_t>(span));
    if (!read(pos, buf.data(), buf.size())) {
        return pos;
    }
    const uint64_t end_of_buf = pos + span;
    auto length_at = [&](uint64_t at) -> uint32_t {
        const size_t i = static_cast<size_t>(at - pos);
        return FrameLengthAt(tag, sample_rate, buf.data() + i, buf.size() - i);
    };
    const uint64_t last = pos + std::min<uint64_t>(kSearch, span);
    for (uint64_t q = pos; q < last; ++q) {
        uint64_t at = q;
        int frames = 0;
        for (; frames < 3; ++frames) {
            if (at == total) {
                break;  // a frame that ends the stream ends the chain
            }
            if (at >= end_of_buf) {
                break;  // the chain runs past what was read: good enough
            }
            const uint32_t len = length_at(at);
            if (len == 0) {
                break;
            }
            at += len;
        }
        const bool chained = frames == 3 || (frames > 0 && (at == total || at >= end_of_buf));
        if (chained) {
            return q;
        }
    }
    return pos;
}

}  // namespace trelvan::audio
