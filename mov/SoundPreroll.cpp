#include "SoundPreroll.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "Atoms.h"
#include "SampleDescription.h"

namespace trelvan::mov {
namespace {

constexpr uint64_t kOpusPrerollMicros = 80000;

// An MPEG audio layer III frame's reservoir fields: how many bytes of main
// data it takes from earlier frames, and how many of its own bytes are
// main data (what a later frame may take).
struct Mp3Frame {
    bool ok = false;
    uint32_t dataBegin = 0;
    uint32_t ownData = 0;
};

Mp3Frame ReadMp3Frame(const Movie& m, const Sample& s) {
    Mp3Frame f;
    std::array<uint8_t, 8> h{};
    if (s.source >= m.sources.size() || !m.sources[s.source].file || s.size < h.size() ||
        m.sources[s.source].file->ReadAt(s.offset, h.data(), h.size()) !=
            static_cast<int64_t>(h.size())) {
        return f;
    }
    // Header: sync (11 bits), version (2), layer (2), no-CRC bit, ...,
    // channel mode in the top two bits of the fourth byte.
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || ((h[1] >> 1) & 3) != 1) {
        return f;  // not layer III: frames stand alone
    }
    const bool mpeg1 = ((h[1] >> 3) & 3) == 3;
    const bool mono = (h[3] >> 6) == 3;
    const size_t crc = (h[1] & 1) ? 0 : 2;
    const size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const size_t at = 4 + crc;
    f.dataBegin = mpeg1 ? (uint32_t{h[at]} << 1) | (h[at + 1] >> 7) : h[at];
    const size_t fixed = at + sideInfo;
    f.ownData = s.size > fixed ? static_cast<uint32_t>(s.size - fixed) : 0;
    f.ok = true;
    return f;
}

// The frames before `at` whose main data hold the bytes frame `at` borrows.
size_t Mp3Reach(const Movie& m, const Track& t, size_t at) {
    const Mp3Frame f = ReadMp3Frame(m, t.samples[at]);
    uint64_t reached = 0;
    size_t back = 0;
    while (f.ok && reached < f.dataBegin && back < at) {
        ++back;
        const Mp3Frame earlier = ReadMp3Frame(m, t.samples[at - back]);
        reached += earlier.ok ? earlier.ownData : t.samples[at - back].size;
    }
    return back;
}

// What the first frame borrows, and the frame before it whole (its
// transform overlaps the first one's, and the synthesis filter bank
// carries the one before that): that frame with what it borrows, plus one.
size_t Mp3Preroll(const Movie& m, const Track& t, size_t first) {
    if (!ReadMp3Frame(m, t.samples[first]).ok) {
        return 1;
    }
    return std::max(Mp3Reach(m, t, first), 1 + Mp3Reach(m, t, first - 1)) + 1;
}

size_t OpusPreroll(const Track& t, size_t first) {
    const uint64_t wanted = uint64_t{t.timescale} * kOpusPrerollMicros / 1000000;
    uint64_t covered = 0;
    size_t back = 0;
    while (covered < wanted && back < first) {
        ++back;
        covered += t.samples[first - back].duration;
    }
    return back;
}

}  // namespace

SoundCoding SoundCodingOf(std::span<const uint8_t> entry) {
    std::string codec, config;
    for (const DescriptionField& f : DecoderFields(atom::kSoun, entry)) {
        if (f.name == "codec") {
            codec = f.value;
        } else if (f.name == "codec configuration" && config.empty()) {
            config = f.value;
        }
    }
    if (codec == "Opus") {
        return SoundCoding::Opus;
    }
    if (codec == "alac") {
        return SoundCoding::Alac;
    }
    if (codec == ".mp3" || codec == "mp3 " || codec == "ms?U") {
        return SoundCoding::Mp3;
    }
    if (codec != "mp4a") {
        return SoundCoding::Other;
    }
    // Object types 0x69 and 0x6B: MPEG-2 and MPEG-1 audio; 0x40 and
    // 0x66-0x68: MPEG-4 and MPEG-2 AAC (an entry without 'esds' is AAC too).
    const std::string_view c(config);
    if (c.starts_with("object type 0x69") || c.starts_with("object type 0x6b")) {
        return SoundCoding::Mp3;
    }
    return c.starts_with("object type") && !c.starts_with("object type 0x40") &&
                   !c.starts_with("object type 0x66") && !c.starts_with("object type 0x67") &&
                   !c.starts_with("object type 0x68")
               ? SoundCoding::Other
               : SoundCoding::Aac;
}

size_t PrerollPackets(const Movie& movie, const Track& track, size_t first) {
    if (first == 0 || first >= track.samples.size() || track.frameRuns) {
        return 0;
    }
    const uint16_t desc = track.samples[first].desc;
    if (desc < 1 || desc > track.descriptions.size()) {
        return 1;
    }
    size_t packets = 1;
    switch (SoundCodingOf(track.descriptions[desc - 1])) {
        case SoundCoding::Mp3:
            packets = Mp3Preroll(movie, track, first);
            break;
        case SoundCoding::Opus:
            packets = OpusPreroll(track, first);
            break;
        default:
            break;
    }
    return std::min(packets, first);
}

}  // namespace trelvan::mov
