#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Independent views of a media file through the ffprobe and ffmpeg tools, for
// comparing what the program reads or writes with what another reader sees.
namespace trelvan::test {

struct ProbedPacket {
    std::vector<uint8_t> data;
    bool key = false;
};

// Every packet of one stream ("v:0", "a:0", "a:1", ...) with its bytes and key
// flag, in file order: sizes and flags from ffprobe, bytes from
// `ffmpeg -c copy -f data`.
std::vector<ProbedPacket> ProbePackets(const std::string& path, const std::string& stream);

// The named fields of one stream as ffprobe prints them (e.g. "codec_name",
// "sample_rate", "nb_frames"); missing fields are absent from the map.
std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& stream,
                                               const std::vector<std::string>& fields);

// Number of streams of a kind ('v' or 'a') ffprobe finds.
int ProbeStreamCount(const std::string& path, char kind);

// Decodes every stream of the file to nothing; true when ffmpeg reports no
// error.
bool DecodesCleanly(const std::string& path, std::string* errors = nullptr);

}  // namespace trelvan::test
