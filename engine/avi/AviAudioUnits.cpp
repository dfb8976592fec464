#include "AviAudioUnits.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "AudioFrameSync.h"
#include "ByteOrder.h"
#include "MpegFrameCounter.h"
#include "WaveFormatEx.h"

namespace trelvan {
namespace {

// The tag of the format inside an extensible record (its sub-format GUID
// starts with the tag), or the record's own tag.
uint16_t InnerTag(const std::vector<uint8_t>& format) {
    const uint16_t tag = bytes::GetLE16(format.data());
    if (tag == kWaveFormatExtensible && format.size() >= 18 + 22 &&
        bytes::GetLE16(format.data() + 16) >= 22) {
        return bytes::GetLE16(format.data() + 18 + 6);
    }
    return tag;
}

// The block size an ADPCM format implies from its samples per block (the
// first two bytes of its tail), for records that store a block alignment of
// 0; 0 when it cannot be told.
uint32_t AdpcmBlockFromTail(uint16_t tag, const std::vector<uint8_t>& format) {
    const uint32_t channels = bytes::GetLE16(format.data() + 2);
    if (format.size() < 20 || bytes::GetLE16(format.data() + 16) < 2 || channels == 0 ||
        channels > 8) {
        return 0;
    }
    const uint32_t per_block = bytes::GetLE16(format.data() + 18);
    // IMA: a 4-byte header per channel holds the first sample, then four
    // bits per sample. Microsoft: a 7-byte header holds the first two.
    if (tag == kWaveFormatImaAdpcm && per_block >= 1 && (per_block - 1) % 8 == 0) {
        return 4 * channels + (per_block - 1) / 2 * channels;
    }
    if (tag == kWaveFormatAdpcm && per_block >= 2) {
        return 7 * channels + ((per_block - 2) * channels + 1) / 2;
    }
    return 0;
}

// Samples per block of an ADPCM format (from its tail); 0 for others.
uint32_t SamplesPerAdpcmBlock(uint16_t tag, const std::vector<uint8_t>& format) {
    if ((tag != kWaveFormatImaAdpcm && tag != kWaveFormatAdpcm) || format.size() < 20 ||
        bytes::GetLE16(format.data() + 16) < 2) {
        return 0;
    }
    return bytes::GetLE16(format.data() + 18);
}

// rate / scale reduced to 32-bit values; false when they do not fit.
bool SetRatio(uint64_t rate, uint64_t scale, AviStreamInfo& info) {
    const uint64_t g = std::gcd(rate, scale);
    if (g == 0) {
        return false;
    }
    rate /= g;
    scale /= g;
    if (rate > UINT32_MAX || scale > UINT32_MAX || rate == 0 || scale == 0) {
        return false;
    }
    info.dwRate = static_cast<uint32_t>(rate);
    info.dwScale = static_cast<uint32_t>(scale);
    return true;
}

}  // namespace

bool IsBlockCodedAudio(uint16_t tag) {
    switch (tag) {
        case kWaveFormatPcm:
        case kWaveFormatAdpcm:
        case kWaveFormatIeeeFloat:
        case kWaveFormatAlaw:
        case kWaveFormatMulaw:
        case kWaveFormatImaAdpcm:
        case kWaveFormatYamahaAdpcm:
        case kWaveFormatGsm610:
        case kWaveFormatG726:
        case kWaveFormatG726Adpcm:
            return true;
        default:
            return false;
    }
}

void NormalizeAudioUnits(AviStreamInfo& info, std::vector<uint8_t>& format) {
    if (info.fccType != bytes::FourCC("auds") || format.size() < 16) {
        return;
    }
    const uint16_t tag = InnerTag(format);
    if (!IsBlockCodedAudio(tag)) {
        return;
    }
    uint32_t block = bytes::GetLE16(format.data() + 12);
    uint32_t avg_bytes = bytes::GetLE32(format.data() + 8);
    const uint32_t samples_per_sec = bytes::GetLE32(format.data() + 4);
    if (block == 0) {
        // A record without its block size: the ADPCM tail tells it.
        block = AdpcmBlockFromTail(tag, format);
        if (block == 0 || block > 0xFFFF) {
            return;
        }
        bytes::PutLE16(format.data() + 12, static_cast<uint16_t>(block));
        if (avg_bytes == 0 && samples_per_sec != 0) {
            const uint64_t per_block = bytes::GetLE16(format.data() + 18);
            avg_bytes = static_cast<uint32_t>(
                std::min<uint64_t>(UINT32_MAX, samples_per_sec * uint64_t{block} / per_block));
            bytes::PutLE32(format.data() + 8, avg_bytes);
        }
    }
    const bool timed = info.dwRate != 0 && info.dwScale != 0;
    const uint32_t size = info.dwSampleSize;
    if (timed && size == block) {
        return;  // already counts blocks
    }
    if (!timed) {
        // No timing in the header. An ADPCM block holds a known number of
        // samples, so its sample rate gives blocks per second exactly; for
        // other formats the byte rate does. Without either the stream stays
        // as it is (and untimed).
        const uint32_t per_block = SamplesPerAdpcmBlock(tag, format);
        const bool by_samples = per_block != 0 && samples_per_sec != 0 &&
                                SetRatio(samples_per_sec, per_block, info);
        if (!by_samples && (avg_bytes == 0 || !SetRatio(avg_bytes, block, info))) {
            return;
        }
        info.dwSampleSize = block;
        return;
    }
    if (size == 0) {
        return;  // one chunk per sample: the chunks decide
    }
    // The header counts units of `size` bytes. Its rate either counts those
    // units (then the byte rate is rate * size / scale) or whole blocks (then
    // it is rate * block / scale): whichever matches the format's byte rate
    // decides; with no byte rate to compare, the blocks win, as readers that
    // meet such files assume.
    const double per_unit = static_cast<double>(info.dwRate) * size / info.dwScale;
    const double per_block = static_cast<double>(info.dwRate) * block / info.dwScale;
    const bool rate_counts_units =
        avg_bytes != 0 && std::fabs(std::log(per_unit / avg_bytes)) <
                              std::fabs(std::log(per_block / avg_bytes));
    if (rate_counts_units &&
        !SetRatio(uint64_t{info.dwRate} * size, uint64_t{info.dwScale} * block, info) &&
        !SetRatio(avg_bytes, block, info)) {
        return;
    }
    info.dwSampleSize = block;
}

int32_t AudioCutPosition(AviStream& stream, int32_t pos) {
    const std::vector<uint8_t>& format = stream.Format();
    if (!stream.IsAudio() || stream.SampleSize() != 1 || format.size() < 16) {
        return pos;
    }
    const uint16_t tag = bytes::GetLE16(format.data());
    if (!audio::HasFrameHeaders(tag)) {
        return pos;
    }
    const int64_t start = stream.Start();
    if (pos <= start) {
        return pos;  // the stream's own first byte starts a frame
    }
    const auto read = [&stream, start](uint64_t offset, uint8_t* buf, size_t n) {
        int64_t got = 0;
        return stream.Read(static_cast<int32_t>(start + static_cast<int64_t>(offset)),
                           static_cast<int32_t>(n), buf, static_cast<int64_t>(n), &got,
                           nullptr) == 0 &&
               got == static_cast<int64_t>(n);
    };
    const uint64_t at = audio::NextFrameBoundary(tag, bytes::GetLE32(format.data() + 4), read,
                                                 stream.TotalBytes(),
                                                 static_cast<uint64_t>(pos - start));
    return static_cast<int32_t>(std::min<int64_t>(start + static_cast<int64_t>(at), INT32_MAX));
}

uint32_t MpegStreamByteRate(AviStream& stream) {
    const std::vector<uint8_t>& format = stream.Format();
    if (!stream.IsAudio() || stream.SampleSize() == 0 || format.size() < 16) {
        return 0;
    }
    const uint16_t tag = bytes::GetLE16(format.data());
    const uint32_t rate = bytes::GetLE32(format.data() + 4);
    if ((tag != kWaveFormatMpeg && tag != kWaveFormatMpegLayer3) || rate == 0) {
        return 0;
    }
    const int64_t want = std::min<int64_t>(stream.TotalBytes(), 64 * 1024);
    const int64_t unit = std::max<int64_t>(stream.SampleSize(), 1);
    std::vector<uint8_t> head(static_cast<size_t>(std::max<int64_t>(want, 0)));
    int64_t got = 0;
    const auto samples = static_cast<int32_t>((want + unit - 1) / unit);
    if (head.size() < 4 ||
        stream.Read(stream.Start(), samples, head.data(), static_cast<int64_t>(head.size()), &got,
                    nullptr) != 0) {
        return 0;
    }
    head.resize(static_cast<size_t>(std::clamp<int64_t>(got, 0, want)));
    uint64_t bytes = 0, played = 0;
    for (size_t at = 0; at + 4 <= head.size();) {
        uint32_t length = 0, frame_samples = 0;
        if (!audio::MpegFrameCounter::ParseHeader(&head[at], rate, &length, &frame_samples) ||
            length == 0) {
            ++at;  // not a frame start: look further
            continue;
        }
        if (at + length > head.size()) {
            break;
        }
        bytes += length;
        played += frame_samples;
        at += length;
    }
    return played == 0 ? 0
                       : static_cast<uint32_t>(std::min<uint64_t>(bytes * rate / played, UINT32_MAX));
}

}  // namespace trelvan
