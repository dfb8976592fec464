#include "TrackSilence.h"

#include "Atoms.h"
#include "AudioSilence.h"
#include "ByteOrder.h"
#include "SampleDescription.h"
#include "SoundLayout.h"
#include "WaveFormatEx.h"

namespace trelvan::mov {
namespace {

constexpr size_t kSoundFixedV0 = 36;
constexpr size_t kSoundFixedV2 = 72;

// Bits of an AudioSpecificConfig, most significant first; reads past the
// end give zeros and set `over`.
struct BitReader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
    bool over = false;
    uint32_t Get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i, ++at) {
            const size_t byte = at / 8;
            over = over || byte >= bytes.size();
            const uint32_t bit = over ? 0 : (bytes[byte] >> (7 - at % 8)) & 1;
            v = v << 1 | bit;
        }
        return v;
    }
};

struct BitWriter {
    std::vector<uint8_t> bytes;
    size_t at = 0;
    void Put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i, ++at) {
            if (at % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<uint8_t>(((v >> i) & 1) << (7 - at % 8));
        }
    }
};

// A channel's stream with no spectral data: a global gain, then (unless
// the pair shares it) a long window's info with no scale factor bands, and
// no pulse, TNS or gain control data.
void EmptyChannel(BitWriter& w, bool ownInfo) {
    w.Put(100, 8);  // global_gain (nothing is scaled by it)
    if (ownInfo) {
        w.Put(0, 1);  // ics_reserved_bit
        w.Put(0, 2);  // window_sequence: ONLY_LONG
        w.Put(0, 1);  // window_shape
        w.Put(0, 6);  // max_sfb
        w.Put(0, 1);  // predictor_data_present
    }
    w.Put(0, 3);  // pulse, tns, gain control
}

// The byte value of zero in uncompressed frames, for the codings whose
// tables count frames; nothing for the others.
std::optional<uint8_t> ZeroByte(std::span<const uint8_t> e) {
    if (e.size() < kSoundFixedV0) {
        return std::nullopt;
    }
    const uint32_t format = bytes::GetBE32(e.data() + 4);
    const uint16_t bits = bytes::GetBE16(e.data() + 26);
    switch (format) {
        case atom::kRaw:
        case atom::Type("NONE"):
            return bits <= 8 ? 0x80 : 0x00;  // 8 bits: offset binary
        case atom::kUlaw:
            return 0xFF;
        case atom::kAlaw:
            return 0xD5;
        case atom::kTwos:
        case atom::kSowt:
        case atom::kIn24:
        case atom::kIn32:
        case atom::kFl32:
        case atom::kFl64:
        case atom::kIma4:  // a zero header and zero steps decode to zeros
            return 0x00;
        case atom::kLpcm: {
            if (e.size() < kSoundFixedV2) {
                return std::nullopt;
            }
            const uint32_t flags = bytes::GetBE32(e.data() + 60);
            const uint32_t width = bytes::GetBE32(e.data() + 56);
            const bool signedOrFloat = (flags & 0x5) != 0;  // float, signed integer
            return !signedOrFloat && width <= 8 ? 0x80 : 0x00;
        }
        default:
            return std::nullopt;
    }
}

// A silent MPEG audio frame in the stream's own header (read from the
// track's first sample).
std::vector<uint8_t> MpegSilentFrame(const Movie& movie, const Track& track, uint32_t rate,
                                     uint16_t channels) {
    const Sample& first = track.samples.front();
    if (first.source >= movie.sources.size() || !movie.sources[first.source].file) {
        return {};
    }
    std::vector<uint8_t> head(std::min<uint32_t>(first.size, 4096));
    if (movie.sources[first.source].file->ReadAt(first.offset, head.data(), head.size()) !=
        static_cast<int64_t>(head.size())) {
        return {};
    }
    std::vector<uint8_t> format(kWaveFormatExSize, 0);
    bytes::PutLE16(format.data(), kWaveFormatMpegLayer3);
    bytes::PutLE16(format.data() + 2, channels);
    bytes::PutLE32(format.data() + 4, rate);
    bytes::PutLE16(format.data() + 12, 1);
    audio::AudioSilence silence;
    if (!silence.Init(format, head) || !silence.FramedUnits()) {
        return {};
    }
    return silence.Unit(0);
}

}  // namespace

std::vector<uint8_t> AacSilentPacket(std::span<const uint8_t> config) {
    BitReader r{config};
    uint32_t objectType = r.Get(5);
    if (objectType == 31) {
        objectType = 32 + r.Get(6);
    }
    if (r.Get(4) == 0xF) {
        r.Get(24);  // an explicit sampling rate
    }
    const uint32_t channels = r.Get(4);
    const uint32_t frameLength960 = r.Get(1);
    const uint32_t dependsOnCore = r.Get(1);
    r.Get(1);  // extension flag
    // Main, LC and LTP share the syntax of a packet without prediction.
    if (r.over || (objectType != 1 && objectType != 2 && objectType != 4) || frameLength960 != 0 ||
        dependsOnCore != 0 || channels < 1 || channels > 7) {
        return {};
    }
    enum Element { kSce = 0, kCpe = 1, kLfe = 3 };
    static const std::vector<Element> kLayouts[] = {
        {kSce},
        {kCpe},
        {kSce, kCpe},
        {kSce, kCpe, kSce},
        {kSce, kCpe, kCpe},
        {kSce, kCpe, kCpe, kLfe},
        {kSce, kCpe, kCpe, kCpe, kLfe},
    };
    BitWriter w;
    uint32_t tags[4] = {};
    for (const Element e : kLayouts[channels - 1]) {
        w.Put(e, 3);
        w.Put(tags[e]++, 4);
        if (e == kCpe) {
            w.Put(1, 1);  // common_window: one window info for the pair
            w.Put(0, 1);
            w.Put(0, 2);
            w.Put(0, 1);
            w.Put(0, 6);
            w.Put(0, 1);
            w.Put(0, 2);  // ms_mask_present
            EmptyChannel(w, false);
            EmptyChannel(w, false);
        } else {
            EmptyChannel(w, true);
        }
    }
    w.Put(7, 3);  // END
    return w.bytes;
}

std::optional<TrackSilence> SilenceAfter(const Movie& movie, const Track& track) {
    if (track.handler != atom::kSoun || track.samples.empty()) {
        return std::nullopt;
    }
    const Sample& last = track.samples.back();
    if (last.desc == 0 || last.desc > track.descriptions.size()) {
        return std::nullopt;
    }
    const std::vector<uint8_t>& entry = track.descriptions[last.desc - 1];
    if (entry.size() < kSoundFixedV0) {
        return std::nullopt;
    }
    TrackSilence s;
    s.desc = last.desc;
    if (track.frameRuns) {
        const std::optional<uint8_t> zero = ZeroByte(entry);
        if (!zero || last.count == 0 || last.duration % last.count != 0) {
            return std::nullopt;
        }
        // One packet of frames (version 2: one table sample of the table's
        // size).
        const FramePacking packing = FramePackingOf(entry);
        const bool packed = packing.bytesPerPacket != 0;
        s.count = packed ? packing.framesPerPacket : 1;
        s.duration = last.duration / last.count * s.count;
        s.unit.assign(packed ? packing.bytesPerPacket : track.frameTableSize, *zero);
        return s.unit.empty() || s.duration == 0 ? std::nullopt : std::optional(s);
    }
    // Packets: one of the track's own length (its most usual one: the first
    // and the last may be shorter).
    s.duration = track.samples[track.samples.size() / 2].duration;
    const uint32_t format = bytes::GetBE32(entry.data() + 4);
    const uint16_t version = bytes::GetBE16(entry.data() + 16);
    const uint16_t channels = bytes::GetBE16(entry.data() + 24);
    const uint32_t rate = version < 2 ? bytes::GetBE32(entry.data() + 32) >> 16 : track.timescale;
    const std::optional<EsdsDecoderInfo> esds = EsdsDecoderInfoOf(entry);
    if (format == atom::Type("mp4a") && esds && esds->objectType == 0x40) {
        s.unit = AacSilentPacket(esds->config);
        // One packet plays 1024 frames.
        if (rate != 0 && static_cast<uint64_t>(s.duration) * rate != 1024ull * track.timescale) {
            return std::nullopt;
        }
    } else if (format == atom::Type(".mp3") || format == 0x6D730055 ||
               (format == atom::Type("mp4a") && esds &&
                (esds->objectType == 0x6B || esds->objectType == 0x69))) {
        s.unit = MpegSilentFrame(movie, track, rate, channels);
    }
    return s.unit.empty() || s.duration == 0 ? std::nullopt : std::optional(s);
}

}  // namespace trelvan::mov
