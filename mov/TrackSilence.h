#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "MovieModel.h"

// Silence in a sound track's own coding, made without an encoder, so that a
// join can close a gap in the sound with packets instead of an edit:
//   - uncompressed sound of any width and kind, A-law, µ-law and IMA4
//     (tables that count frames): packets of the coding's zero;
//   - AAC (main, LC, LTP; 1024-frame packets; channel layouts 1 to 7): a
//     raw packet whose channel elements carry no spectral data, which
//     decodes to zeros;
//   - MPEG audio: frames with the stream's own header and nothing in them
//     (the engine's AudioSilence).
// Other codings (HE-AAC, AC-3, Opus, ALAC, ...) have none here.
namespace trelvan::mov {

struct TrackSilence {
    std::vector<uint8_t> unit;  // the bytes of one packet
    uint32_t duration = 0;      // media time units of one packet
    uint32_t count = 1;         // table samples one packet stands for (a frame run's frames)
    uint16_t desc = 1;          // the description it is coded in
};

// Silence to follow the last sample of `track` (in that sample's
// description; the track's sources give MPEG audio its frame header), or
// nothing when the coding has none here.
std::optional<TrackSilence> SilenceAfter(const Movie& movie, const Track& track);

// A silent raw AAC packet for an AudioSpecificConfig; empty when the
// configuration is not one of the kinds above.
std::vector<uint8_t> AacSilentPacket(std::span<const uint8_t> audioSpecificConfig);

}  // namespace trelvan::mov
