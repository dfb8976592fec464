#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "MovieModel.h"

// Independent views of a movie for the tests: ffmpeg's per-packet checksums
// (framecrc) and GStreamer's qtdemux buffers, beside the same view of the
// movie layer's own model.
namespace trelvan::mov::test {

// One packet: times in the stream's time base, Adler-32 of its bytes (as
// ffmpeg's framecrc computes it, from 0).
struct Frame {
    int64_t dts = 0;
    int64_t pts = 0;
    int64_t duration = 0;
    uint32_t size = 0;
    uint32_t crc = 0;
    bool key = true;
    bool operator==(const Frame&) const = default;
};

uint32_t Adler(const uint8_t* data, size_t n, uint32_t start = 0);

// Every packet of stream `index` through `ffmpeg -c copy -f framecrc`; with
// `rawTimes` the edit lists are ignored (media times as stored).
std::vector<Frame> FfmpegFrames(const std::string& path, int index, bool rawTimes = true);

// The model's samples of one track as packets (bytes read from the sources;
// times from 0 in the media time scale).
std::vector<Frame> ModelFrames(const Movie& movie, size_t track);

// qtdemux's buffers of the named pads ("video_0", "audio_0", ...): sizes,
// key flags (no delta-unit flag), and all their bytes in order.
struct GstStream {
    std::vector<uint32_t> sizes;
    std::vector<bool> keys;
    std::vector<uint8_t> bytes;
    bool ok = false;
    std::string errors;
};
std::map<std::string, GstStream> GstFrames(const std::string& path,
                                           const std::vector<std::string>& pads);

// A copy of a movie (in a scratch folder) whose edit lists are turned into
// free space: readers then deliver every sample of the media once, in
// order, instead of playing edit segments (qtdemux sends the frames around
// a segment boundary in both segments).
std::string WithoutEdits(const std::string& path);

// The edit segments qtdemux builds from a movie's edit lists, per track in
// file order (a track without a list: none), in seconds.
struct EditSegment {
    double time = 0;        // movie time where the segment starts
    double duration = 0;
    double mediaStart = 0;  // media time it starts playing from
};
std::vector<std::vector<EditSegment>> GstEditSegments(const std::string& path);

// Decodes every stream with ffmpeg, edit lists ignored; true when ffmpeg
// reports no error.
bool DecodesCleanlyIgnoringEdits(const std::string& path, std::string* errors);

// What a player presents of a movie: the times (seconds, on the player's
// running clock) of the first video track's frames it shows, the seconds of
// the first sound track it decodes, and whether it ended without error.
struct Presented {
    std::vector<double> frames;
    double sound = 0;
    bool ok = false;
};
// GStreamer: filesrc ! qtdemux (pull mode, as its players read local
// files; with `push`, through a queue, as it reads streams) ! decodebin,
// each buffer clipped to its segment.
Presented GstPresented(const std::string& path, bool push = false);
// ffmpeg decoding with its edit list handling.
Presented FfmpegPresented(const std::string& path);

// Both players present the joined movie as the sources one after another:
// as many frames as the sources (each alone, the larger of the players'
// counts; one more per entry where a source's edit hid its last frame),
// in order, and their sound within one packet
// (`packet`, seconds) and one frame per join.
void ExpectPlaysThrough(const std::vector<std::string>& sources, const std::string& out,
                        double packet);

// The sync at each join as ffmpeg presents the output (edit lists
// applied): for each entry after the first, how much later (seconds) its
// sound plays against its picture than in its source alone. An entry's
// picture is its source's first video packets, its sound the source's
// sound packets from the eighth (past any priming), each found by their
// bytes (the n-th time they occur, for a source that comes again); sound
// stored as frames by its decoded samples.
std::vector<double> JoinSyncErrors(const std::vector<std::string>& sources, const std::string& out);

// ffprobe's duration of a file, seconds.
double ProbeDuration(const std::string& path);

// The bytes of a model track's samples, concatenated.
std::vector<uint8_t> ModelBytes(const Movie& movie, size_t track);

// The same of ffmpeg's packets of stream `index`.
std::vector<uint8_t> FfmpegBytes(const std::string& path, int index);

}  // namespace trelvan::mov::test
