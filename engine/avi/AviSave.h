#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AviCompressOptions.h"
#include "AviFile.h"
#include "IoFile.h"
#include "RiffChunkBytes.h"

namespace trelvan {

// Results of SaveStreams besides 0, with the values the AVI file services
// give them (pages compare against kAviErrFileOpen and kAviErrUserAbort).
inline constexpr int32_t kAviErrBadParam = static_cast<int32_t>(0x80044066);
inline constexpr int32_t kAviErrMemory = static_cast<int32_t>(0x80044067);
inline constexpr int32_t kAviErrBadFormat = static_cast<int32_t>(0x80044068);
inline constexpr int32_t kAviErrFileOpen = static_cast<int32_t>(0x8004406F);
inline constexpr int32_t kAviErrNoCompressor = static_cast<int32_t>(0x80044071);
inline constexpr int32_t kAviErrFileRead = static_cast<int32_t>(0x80044073);
inline constexpr int32_t kAviErrFileWrite = static_cast<int32_t>(0x80044074);
inline constexpr int32_t kAviErrUserAbort = static_cast<int32_t>(0x800440C6);

// One stream to save and its options (may be null). No compressor can be
// named (fccHandler must be 0 for video); an audio target format, when
// given, must be the stream's own format.
struct AviSaveStream {
    AviStream* stream = nullptr;
    const AVICOMPRESSOPTIONS* options = nullptr;
};

// Called with the percent done (0 to 100, never falling). A non-zero return
// stops the save with kAviErrUserAbort.
using AviSaveProgress = std::function<int32_t(int32_t percent)>;

// Saves whole streams into a new file. The file type follows the extension
// of `output`: ".wav" (any case) writes a WAV file, which takes exactly one
// audio stream, in its own format; anything else an AVI file with every
// stream, the stored samples copied unchanged and interleaved by time (about
// one video frame of audio per chunk).
//
// The file is written under a new, unique temporary name in the folder of
// `output` and never at `output` itself: *written gets that name, and the
// caller moves it over the output when the run is kept (a stop included)
// or deletes it. Returns 0, kAviErrFileOpen when the temporary file cannot
// be created (*written is then empty), kAviErrUserAbort, or another
// kAviErr* code.
//
// `kept` are chunks that say what the source is (an INFO list, a recording
// date, a broadcast extension), written as stored: in an AVI file between
// the header list and the samples, in a WAV file after the data.
int32_t SaveStreams(const std::string& output, const std::vector<AviSaveStream>& streams,
                    const AviSaveProgress& progress, std::string* written,
                    const FileOpener& opener = DiskFileOpener(),
                    const std::vector<RiffChunkBytes>& kept = {});

}  // namespace trelvan
