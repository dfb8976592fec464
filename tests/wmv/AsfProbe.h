#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AsfReader.h"

// The samples of an ASF file as three readers see them: ours, ffprobe and
// GStreamer's ASF demuxer; and one comparison helper per kind of check.
namespace trelvan::test {

struct RefSample {
    int64_t timeMs = 0;  // presentation time less preroll, ms
    bool key = false;
    size_t size = 0;
    std::string md5;
};

// Per ASF stream number, in file order.
using SampleMap = std::map<uint16_t, std::vector<RefSample>>;

// Every sample our reader delivers (the open must succeed).
SampleMap ReadOurs(const std::string& path, std::vector<asf::AsfSample>* raw = nullptr);
// ffprobe -show_packets -show_data_hash MD5; streams numbered by the order
// of the file's stream records (`numbers`).
SampleMap ReadFfprobe(const std::string& path, const std::vector<uint16_t>& numbers);
// gst-launch-1.0 with asfdemux and a dumping fakesink, one pad at a time;
// pads are named per kind in the order of the file's stream records.
// `caps`, when given, gets the caps GStreamer gives each stream's pad;
// without `bytes` the samples' bytes are not kept (their hashes stay empty).
SampleMap ReadGstreamer(const std::string& path, const asf::AsfHeader& header,
                        std::map<uint16_t, std::string>* caps = nullptr, bool bytes = true);
// The stream formats as ffprobe prints them (codec, tag, rate, channels, size,
// codec data size), one line per stream.
std::string FfprobeFormats(const std::string& path);

// Same number of samples per stream and, sample by sample, the same bytes,
// time (unless `times` is false) and, for the streams of `key_streams`, key
// flag (the other readers make up audio key flags of their own). `who` names
// the other reader in messages.
void ExpectSameSamples(const SampleMap& ours, const SampleMap& theirs, const std::string& who,
                       const std::set<uint16_t>& key_streams, bool times = true);
// Where the other readers disagree with each other on a sample file (or a
// copy named after it): there GStreamer's times are not compared.
bool GstreamerTimesDiffer(const std::string& path);

// The numbers of the video streams of a header.
std::set<uint16_t> VideoStreams(const asf::AsfHeader& h);

}  // namespace trelvan::test
