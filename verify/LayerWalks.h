#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "SampleWalk.h"

namespace trelvan {
class AviFile;
namespace asf {
class AsfReader;
}
namespace mov {
struct Movie;
}
}  // namespace trelvan

// The walks of the container layers, each in a file of its own. Internal to
// the verify library: MediaFile picks the stream and hands them out.
namespace trelvan::verify {

// Stream `stream` of an AVI or WAV file. A video chunk is one sample; audio
// chunks are handed out in pieces of at most a megabyte (a WAV file's data
// is indexed in pieces of up to a gigabyte).
std::unique_ptr<SampleWalk> WalkAviStream(std::shared_ptr<AviFile> file, int stream);

// Stream number `stream` of an ASF file, read by `reader` from its first
// data packet; `data_packets_at` is the file offset of the first packet.
std::unique_ptr<SampleWalk> WalkAsfStream(std::unique_ptr<asf::AsfReader> reader, uint16_t stream,
                                          uint64_t data_packets_at);

// Track `track` (an index into its tracks) of a movie.
std::unique_ptr<SampleWalk> WalkMovieTrack(std::shared_ptr<const mov::Movie> movie, size_t track);

}  // namespace trelvan::verify
