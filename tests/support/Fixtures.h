#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trelvan::test {

// A media file made by the ffmpeg tool: `ffmpeg -y <args> <output>`, written
// once into the build tree and reused while the recipe stays the same (the
// file name carries a hash of it). `args` is a whitespace-separated argument
// list; words are not otherwise quoted, so keep paths out of it. Fails the
// test (fatal) when ffmpeg cannot make the file.
std::string MakeMedia(const std::string& name, const std::string& args, const std::string& ext);

// The same made by a GStreamer pipeline (`gst-launch-1.0 -q <pipeline>`),
// whose sink names the output as "location=OUT".
std::string MakeGstMedia(const std::string& name, const std::string& pipeline,
                         const std::string& ext);

// The path of a third-party sample (e.g. "avi/jcodec_test.avi"), read-only.
std::string SamplePath(const std::string& relative);
// All samples of one folder ("avi", "wav", ...), sorted.
std::vector<std::string> SamplesIn(const std::string& folder);

// A fresh empty folder for one test, removed when the process ends.
std::string ScratchDir();
// Copies a file into a folder and returns the new path (writable).
std::string CopyFile(const std::string& from, const std::string& to_dir);

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace trelvan::test
