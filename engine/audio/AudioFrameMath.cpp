#include "AudioFrameMath.h"

#include <algorithm>

namespace trelvan::audio {

namespace {

using U128 = unsigned __int128;

// The sub-format of an extensible record: the first two bytes of its GUID are
// the classic format tag.
bool ExtensibleTag(std::span<const uint8_t> f, uint16_t* tag) {
    if (f.size() < 40 || bytes::GetLE16(f.data() + 16) < 22) {
        return false;
    }
    *tag = bytes::GetLE16(f.data() + 24);
    return true;
}

// Frames of one ADPCM block (or of a short last block) of n bytes, counted
// the way decoders do.
uint64_t FramesInBlock(const FrameMath& m, uint64_t n) {
    const uint64_t ch = m.channels;
    if (m.tag == kWaveFormatImaAdpcm) {
        // A 4-byte header per channel (holding the first sample), then
        // words of `bits` bytes per channel with 8 samples each.
        if (n < 4 * ch) {
            return 0;
        }
        return 1 + (n - 4 * ch) / (m.bits * ch) * 8;
    }
    if (m.tag == kWaveFormatAdpcm) {
        // A 7-byte header per channel (holding two samples), then 4 bits a sample.
        if (n < 7 * ch) {
            return 0;
        }
        return 2 + (n - 7 * ch) * 2 / ch;
    }
    return n == m.bytes_per_unit ? m.frames_per_unit : 0;
}

bool Bitrate(FrameMath* out, uint32_t samples_per_frame, uint32_t avg_bytes, uint32_t rate,
             bool exact) {
    if (avg_bytes == 0) {
        return false;
    }
    out->kind = FrameMath::Kind::Bitrate;
    out->frames_per_unit = samples_per_frame;
    out->avg_bytes = avg_bytes;
    out->rate = rate;
    out->exact = exact;
    return true;
}

// Whether the arithmetic can work with what a record gave: no unit of 0
// bytes or 0 frames (a GSM block shorter than one frame, say), no bit rate
// without bytes or samples. Anything else would divide by zero.
bool Usable(const FrameMath& m) {
    if (m.frames_per_unit == 0) {
        return false;
    }
    if (m.kind == FrameMath::Kind::Bitrate) {
        return m.avg_bytes != 0 && m.rate != 0;
    }
    return m.bytes_per_unit != 0;
}

bool DescribeKnownFormat(std::span<const uint8_t> format, FrameMath* out) {
    WAVEFORMATEX f{};
    if (!ReadWaveFormat(format.data(), format.size(), &f)) {
        return false;
    }
    if (format.size() >= kWaveFormatExSize && f.cbSize > format.size() - kWaveFormatExSize) {
        return false;  // the extra bytes would lie past the block
    }
    if (f.nChannels == 0 || f.nSamplesPerSec == 0 || f.nBlockAlign == 0) {
        return false;
    }
    const uint8_t* extra = format.data() + kWaveFormatExSize;
    const uint32_t extra_size = format.size() >= kWaveFormatExSize ? f.cbSize : 0;
    const uint32_t ch = f.nChannels;
    *out = FrameMath{};
    out->tag = f.wFormatTag;
    out->channels = ch;
    out->bits = f.wBitsPerSample;
    uint16_t tag = f.wFormatTag;
    if (tag == kWaveFormatExtensible && !ExtensibleTag(format, &tag)) {
        return false;
    }
    out->tag = tag;  // the block arithmetic goes by the format inside
    switch (tag) {
        case kWaveFormatPcm:
        case kWaveFormatIeeeFloat:
        case kWaveFormatAlaw:
        case kWaveFormatMulaw:
            // Whole blocks of one sample per channel.
            out->kind = FrameMath::Kind::Linear;
            out->bytes_per_unit = f.nBlockAlign;
            out->frames_per_unit = 1;
            return true;
        case kWaveFormatYamahaAdpcm:
            // 4 bits a sample, channels interleaved by nibble.
            out->kind = FrameMath::Kind::Linear;
            out->bytes_per_unit = ch;
            out->frames_per_unit = 2;
            return true;
        case kWaveFormatG726:
        case kWaveFormatG726Adpcm:
            if (f.wBitsPerSample < 2 || f.wBitsPerSample > 5) {
                return false;
            }
            out->kind = FrameMath::Kind::Linear;
            out->bytes_per_unit = f.wBitsPerSample * ch;
            out->frames_per_unit = 8;
            return true;
        case kWaveFormatImaAdpcm:
            if (f.wBitsPerSample < 2 || f.wBitsPerSample > 5 || f.nBlockAlign <= 4 * ch) {
                return false;
            }
            out->kind = FrameMath::Kind::Blocks;
            out->bytes_per_unit = f.nBlockAlign;
            out->frames_per_unit = static_cast<uint32_t>(FramesInBlock(*out, f.nBlockAlign));
            return true;
        case kWaveFormatAdpcm:
            if (f.nBlockAlign <= 7 * ch) {
                return false;
            }
            out->kind = FrameMath::Kind::Blocks;
            out->bytes_per_unit = f.nBlockAlign;
            out->frames_per_unit = static_cast<uint32_t>(FramesInBlock(*out, f.nBlockAlign));
            return true;
        case kWaveFormatGsm610:
            // 320 samples in 65 bytes (two 160-sample frames packed together).
            if (f.nBlockAlign % 65 != 0) {
                return false;
            }
            out->kind = FrameMath::Kind::Blocks;
            out->bytes_per_unit = f.nBlockAlign;
            out->frames_per_unit = 320u * (f.nBlockAlign / 65u);
            return true;
        case kWaveFormatMpeg: {
            // The layer and bit rate of the stream header, when the record has them.
            uint32_t layer = 2;
            uint32_t avg = f.nAvgBytesPerSec;
            if (extra_size >= 2) {
                const uint16_t head_layer = bytes::GetLE16(extra);
                layer = head_layer == 1 ? 1 : head_layer == 4 ? 3 : 2;
            }
            if (extra_size >= 6 && bytes::GetLE32(extra + 2) != 0) {
                avg = bytes::GetLE32(extra + 2) / 8;
            }
            const uint32_t spf = layer == 1                                 ? 384
                                 : (layer == 3 && f.nSamplesPerSec < 32000) ? 576
                                                                            : 1152;
            // No byte rate in the record: sized as the highest bit rate (the
            // frame headers give the true count, see MpegFrameCounter).
            return Bitrate(out, spf, avg != 0 ? avg : 448000 / 8, f.nSamplesPerSec, avg != 0);
        }
        case kWaveFormatMpegLayer3:
            // MPEG-1 frames hold 1152 samples, MPEG-2/2.5 (rates below 32 kHz) 576.
            return Bitrate(out, f.nSamplesPerSec < 32000 ? 576 : 1152,
                           f.nAvgBytesPerSec != 0 ? f.nAvgBytesPerSec : 320000 / 8,
                           f.nSamplesPerSec, f.nAvgBytesPerSec != 0);
        case kWaveFormatAc3:
            return Bitrate(out, 1536, f.nAvgBytesPerSec, f.nSamplesPerSec, true);
        case kWaveFormatDts:
            return Bitrate(out, 512, f.nAvgBytesPerSec, f.nSamplesPerSec, false);
        case kWaveFormatAac:
        case kWaveFormatHeAac:
            return Bitrate(out, 1024, f.nAvgBytesPerSec, f.nSamplesPerSec, false);
        default:
            return false;
    }
}

}  // namespace

bool DescribeFormat(std::span<const uint8_t> format, FrameMath* out) {
    return DescribeKnownFormat(format, out) && Usable(*out);
}

// A format known only to the codec library: sized by its average byte rate.
bool DescribeByAverageRate(std::span<const uint8_t> format, FrameMath* out) {
    WAVEFORMATEX f{};
    if (!ReadWaveFormat(format.data(), format.size(), &f) || f.nChannels == 0 ||
        f.nSamplesPerSec == 0 || f.nBlockAlign == 0) {
        return false;
    }
    if (format.size() >= kWaveFormatExSize && f.cbSize > format.size() - kWaveFormatExSize) {
        return false;
    }
    *out = FrameMath{};
    out->tag = f.wFormatTag;
    out->channels = f.nChannels;
    out->bits = f.wBitsPerSample;
    return Bitrate(out, 1, f.nAvgBytesPerSec, f.nSamplesPerSec, false) && Usable(*out);
}

uint64_t FramesInBytes(const FrameMath& m, uint64_t bytes) {
    switch (m.kind) {
        case FrameMath::Kind::Linear:
            return static_cast<uint64_t>(U128(bytes) * m.frames_per_unit / m.bytes_per_unit);
        case FrameMath::Kind::Blocks:
            return bytes / m.bytes_per_unit * m.frames_per_unit +
                   std::min<uint64_t>(FramesInBlock(m, bytes % m.bytes_per_unit),
                                      m.frames_per_unit);
        case FrameMath::Kind::Bitrate: {
            // Whole frames, rounded to the nearest: with the standard padding
            // the average frame length is exact, so this counts CBR frames.
            const U128 den = U128(m.avg_bytes) * m.frames_per_unit * 2;
            const U128 units = (U128(bytes) * m.rate * 2 + den / 2) / den;
            return static_cast<uint64_t>(units * m.frames_per_unit);
        }
    }
    return 0;
}

uint64_t BytesForFrames(const FrameMath& m, uint64_t frames) {
    switch (m.kind) {
        case FrameMath::Kind::Linear:
            return static_cast<uint64_t>((U128(frames) * m.bytes_per_unit + m.frames_per_unit - 1) /
                                         m.frames_per_unit);
        case FrameMath::Kind::Blocks:
            return (frames + m.frames_per_unit - 1) / m.frames_per_unit * m.bytes_per_unit;
        case FrameMath::Kind::Bitrate: {
            const U128 units = (U128(frames) + m.frames_per_unit - 1) / m.frames_per_unit;
            return static_cast<uint64_t>((units * m.frames_per_unit * m.avg_bytes + m.rate - 1) /
                                         m.rate);
        }
    }
    return 0;
}

}  // namespace trelvan::audio
