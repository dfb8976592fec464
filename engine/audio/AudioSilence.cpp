#include "AudioSilence.h"

#include <algorithm>

#include "AudioFrameMath.h"
#include "ByteOrder.h"
#include "MpegFrameCounter.h"
#include "WaveFormatEx.h"

namespace trelvan::audio {
namespace {

// The format tag that decides the sample coding: an extensible format's
// sub-format (its GUID begins with the tag), else the tag itself.
uint16_t CodingTag(const WAVEFORMATEX& f, std::span<const uint8_t> format) {
    if (f.wFormatTag == kWaveFormatExtensible && f.cbSize >= 22 && format.size() >= 18 + 22) {
        return bytes::GetLE16(format.data() + 18 + 6);
    }
    return f.wFormatTag;
}

}  // namespace

bool AudioSilence::Init(std::span<const uint8_t> format, std::span<const uint8_t> streamHead) {
    *this = {};
    WAVEFORMATEX f{};
    if (!ReadWaveFormat(format.data(), format.size(), &f) || f.nChannels == 0 ||
        f.nSamplesPerSec == 0) {
        return false;
    }
    m_rate = f.nSamplesPerSec;
    const uint16_t tag = CodingTag(f, format);
    if (tag == kWaveFormatMpeg || tag == kWaveFormatMpegLayer3) {
        m_byteRate = f.nAvgBytesPerSec;
        return InitMpeg(f.nSamplesPerSec, streamHead);
    }
    if (f.nBlockAlign == 0) {
        return false;
    }
    uint8_t zero = 0;
    switch (tag) {
        case kWaveFormatPcm:
            if (f.wBitsPerSample == 0 || f.wBitsPerSample > 64) {
                return false;
            }
            zero = f.wBitsPerSample <= 8 ? 0x80 : 0x00;
            break;
        case kWaveFormatIeeeFloat:
            break;
        case kWaveFormatAlaw:
            zero = 0xD5;
            break;
        case kWaveFormatMulaw:
            zero = 0xFF;
            break;
        case kWaveFormatImaAdpcm:
        case kWaveFormatAdpcm:
            break;
        default:
            return false;
    }
    FrameMath math;
    if (!DescribeFormat(format, &math)) {
        return false;
    }
    const uint64_t frames = FramesInBytes(math, f.nBlockAlign);
    if (frames == 0 || frames > UINT32_MAX) {
        return false;
    }
    m_unitFrames = static_cast<uint32_t>(frames);
    m_unit.assign(f.nBlockAlign, zero);
    return true;
}

bool AudioSilence::InitMpeg(uint32_t rate, std::span<const uint8_t> streamHead) {
    // The first frame header of the stream: two frames in a row, so a stray
    // sync pattern in other data is not taken for one.
    for (size_t at = 0; at + 4 <= streamHead.size(); ++at) {
        uint32_t length = 0, samples = 0;
        const uint8_t* h = streamHead.data() + at;
        if (!MpegFrameCounter::ParseHeader(h, rate, &length, &samples)) {
            continue;
        }
        if (at + length + 4 <= streamHead.size()) {
            uint32_t l2 = 0, s2 = 0;
            if (!MpegFrameCounter::ParseHeader(h + length, rate, &l2, &s2)) {
                continue;
            }
        }
        uint8_t head[4] = {h[0], static_cast<uint8_t>(h[1] | 0x01),  // no CRC
                           static_cast<uint8_t>(h[2] & ~0x02),        // no padding
                           h[3]};
        if (!MpegFrameCounter::ParseHeader(head, rate, &length, &samples)) {
            return false;
        }
        m_mpeg = true;
        m_unitFrames = samples;
        m_unit.assign(length, 0);
        std::copy(head, head + 4, m_unit.begin());
        head[2] |= 0x02;
        uint32_t paddedLength = 0;
        if (MpegFrameCounter::ParseHeader(head, rate, &paddedLength, &samples) &&
            paddedLength > length) {
            m_padded.assign(paddedLength, 0);
            std::copy(head, head + 4, m_padded.begin());
        }
        return true;
    }
    return false;
}

std::vector<uint8_t> AudioSilence::Unit(uint64_t index) const {
    if (!m_mpeg || m_padded.empty() || m_byteRate == 0) {
        return m_unit;
    }
    // Frame `index` is padded when an unpadded one would fall behind the
    // bytes the format's average byte rate gives for the time played.
    const auto bytesAt = [this](uint64_t frames) {
        return frames * m_unitFrames * m_byteRate / m_rate;
    };
    const uint64_t before = bytesAt(index);
    const uint64_t after = bytesAt(index + 1);
    return after - before > m_unit.size() ? m_padded : m_unit;
}

void AudioSilence::Append(uint64_t unitsBefore, uint64_t units, std::vector<uint8_t>* out) const {
    for (uint64_t i = 0; i < units; ++i) {
        const std::vector<uint8_t> u = Unit(unitsBefore + i);
        out->insert(out->end(), u.begin(), u.end());
    }
}

}  // namespace trelvan::audio
