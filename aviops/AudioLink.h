#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "JoinCheck.h"
#include "OpContext.h"

// Audio link: joins the audio of several WAV or AVI files (each file's last
// audio stream), in list order, into one WAV file. Every source's audio bytes
// are copied unchanged, one after the other; the output is described by the
// first source's format, so the sources are expected to share one format
// (nothing is compared or converted). The desktop page and trelvan-cli both
// run it.
namespace trelvan {

struct AudioLinkJob {
    // Source paths in link order. Any number: one reader per entry.
    std::vector<std::string> sources;
    std::string output;
    // Bytes read and written per unit of work (raised to hold at least one
    // sample of every source).
    uint32_t blockBytes = 48000;
    // Largest RIFF size of the output; 0 keeps the WAV format's own limit
    // (tests lower it to reach the limit with small files).
    uint64_t riffSizeLimit = 0;
    // Compare the entries' audio formats before anything is deleted or
    // written, and ask the context's ask hook (OK joins anyway) when they
    // differ.
    bool checkJoin = false;
};

struct AudioLinkResult {
    int32_t code = 0;
    // Whether the work began (the running state was entered).
    bool started = false;
    // The entry whose reader gave `code` while opening (0-based), or -1.
    int32_t failedSource = -1;
    // The join check's findings (checkJoin), and whether the question about
    // them was answered Cancel (then nothing was deleted or written).
    JoinReport join;
    bool cancelled = false;
};

// Runs the link against `ctx`:
// - an empty source list gives -1 (err::kNoFrame) and touches nothing;
// - an output that is one of the sources (the same file, however spelled)
//   gives 6006 before anything is deleted;
// - every source is opened, in order, each by its own reader; the first
//   failure's code is the result and nothing is deleted or written;
// - a first source without an audio format record gives 1009;
// - the output is created under a temporary name beside it, in the first
//   source's format (-5 when that fails);
// - then the context's `items` becomes the source count, `item` the source
//   being copied (0-based), the stop flag is cleared, the working-time
//   counter started and `onBegin` called, and each source's audio is copied
//   block by block, pumping after each block, until the last source ends, the
//   stop flag is set or a failure happens.
// The output is always finished valid with what was written. A refused write
// (disk full, the WAV 32-bit size limit) ends the run with 502, a read error
// with the reader's code; both set the stop flag, so no 100 % is shown.
// A run without a code (a stop included) puts the file in place of the
// output (-5 when that fails); a failed one deletes it, leaving an existing
// output as it was.
AudioLinkResult RunAudioLink(const AudioLinkJob& job, OpContext& ctx,
                             const std::function<void()>& onBegin = {});

}  // namespace trelvan
