#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "MovieModel.h"

// How much compressed sound a decoder must be fed before the first packet
// it is to present, so that this packet decodes as it does in the whole
// stream: a cut or a join stores these packets and skips them with its
// edit. Packets of a transform codec overlap their neighbours (AAC, AC-3:
// the packet before); an MP3 frame takes part of its data from earlier
// frames (as far back as its `main_data_begin` says) and overlaps the frame
// before those; Opus converges after its pre-roll of 80 ms.
namespace trelvan::mov {

// The sound coding of a description entry (whole entry): its format, or for
// 'mp4a' the object type its 'esds' names (AAC, or MPEG audio layers).
enum class SoundCoding { Other, Aac, Alac, Mp3, Opus };
SoundCoding SoundCodingOf(std::span<const uint8_t> entry);

// The packets of `track` (compressed sound, one sample per packet) to store
// before packet `first`; at most `first`. Sound kept as runs of frames
// (PCM and other fixed-rate sound) needs none. Reads MP3 frame headers
// from the movie's sources; an unreadable one counts as one packet.
size_t PrerollPackets(const Movie& movie, const Track& track, size_t first);

}  // namespace trelvan::mov
