#pragma once

#include <map>
#include <string>
#include <vector>

#include "Probe.h"

// What the separate and unite tests share: sources made by the ffmpeg tool
// and comparisons of an output with its sources through ffprobe.
namespace trelvan::test {

// Two seconds of a test picture, 160x120 at 25 frames a second.
inline const char* kPicture = "-f lavfi -i testsrc=d=2:s=160x120:r=25";

// The video encoders the sources are made with, by name.
struct VideoCodec {
    const char* name;
    const char* args;
};
const std::vector<VideoCodec>& VideoCodecs();

// The audio encoders, by name; `seconds` long sine tone.
struct AudioCodec {
    const char* name;
    const char* args;  // codec and rate options
};
const std::vector<AudioCodec>& AudioCodecs();
std::string ToneInput(int seconds);

// ProbePackets of a source file that does not change while the tests run
// (a fixture or a shared sample), probed once per process.
const std::vector<ProbedPacket>& SourcePackets(const std::string& path, const std::string& sel);

// All bytes of the packets, in order.
std::vector<uint8_t> Concat(const std::vector<ProbedPacket>& packets);

// Every packet's bytes and key flag equal, and the same count.
void ExpectSamePackets(const std::vector<ProbedPacket>& want, const std::vector<ProbedPacket>& got,
                       const std::string& what);

// Stream headers an independent reader sees, for comparing two files.
std::map<std::string, std::string> VideoHeader(const std::string& path, const std::string& sel);
std::map<std::string, std::string> AudioHeader(const std::string& path, const std::string& sel);

// Names in a folder that start with a dot (the save's temporary files).
std::vector<std::string> HiddenFilesIn(const std::string& dir);

}  // namespace trelvan::test
