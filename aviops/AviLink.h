#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AviWriter.h"
#include "CEncAVIAudio.h"
#include "JoinCheck.h"
#include "OpContext.h"
#include "ProgressText.h"

// AVI link: joins AVI files, in list order, into one new AVI file without
// recompressing. Every source's stored video samples are appended to one
// video stream (with their key-frame flags) and, right after each source's
// video, its audio samples to one audio stream. The output's stream headers
// and formats are the first source's; the sources are not compared with each
// other. The desktop page and trelvan-cli both run it.
namespace trelvan {

struct AviLinkJob {
    std::vector<std::string> sources;  // in link order
    std::string output;
    // The output's size limits (tests lower the RIFF size to reach the
    // OpenDML form with small files).
    AviWriterLimits limits;
    // Compare the entries before anything is deleted or written, and ask the
    // context's ask hook (OK joins anyway) when they differ.
    bool checkJoin = false;
};

struct AviLinkResult {
    int32_t code = 0;
    // Whether the work began (the running state was entered).
    bool started = false;
    // Audio blocks that could not be read, and the source (index in the
    // list) where the first one was; -1 when every block was read.
    CEncAVIAudio::AudioReadTrouble audioTrouble;
    int32_t audioTroubleSource = -1;
    // The join check's findings (checkJoin), and whether the question about
    // them was answered Cancel (then nothing was deleted or written).
    JoinReport join;
    bool cancelled = false;
};

// The output name the link proposes: the first source's stem + "_link.avi".
std::string AviLinkDefaultOutput(const std::string& firstSource);

// Runs the link against `ctx`:
//  - an empty list gives -1; an output that names one of the sources (the
//    same file, however spelled) gives 6006; both before anything happens;
//  - every source is opened, one reader each (the first failure gives that
//    reader's code and nothing is written or deleted);
//  - the output is created under a temporary name beside it (2001 when
//    the folder cannot take it) with the first
//    source's video header and format (1009, 501, 2001, 2003, 2005) and,
//    when the first source has audio, its audio header and format;
//  - then the context's stop flag is cleared, `onBegin` called, and source by
//    source its video frames are copied (pumping after each; `item` is the
//    source, `first`/`current`/`last` its frames, the working-time counter
//    restarts with each source), then its audio when the output has an
//    audio stream, held to where its video begins: audio running past the
//    next entry's video start is cut there (the last entry keeps all of
//    its audio), and audio that falls short, or is missing, is followed by
//    silence in the stream's own format where one can be written (the
//    context's warn hook is told of each entry that drifts where none can,
//    and of entries without audio). A source's audio is left out when the
//    first source had none. Stop ends the run after the frame being written: the output keeps
//    what was written, closed properly, and holds no audio of the source
//    whose video was being copied.
// A read or write failure ends the run with its code (1007, 501, 2006) and
// sets the stop flag, so no "100 %" is shown. An audio block that cannot be
// read asks the context's ask hook (OK ends that source's audio, Cancel
// skips a sample); without one, that source's audio ends there, the link
// goes on, and the run ends with 1007.
// A run without a code (a stop included) puts the file in place of the
// output (6006 when that fails); a failed one deletes it, leaving an
// existing output as it was.
AviLinkResult RunAviLink(const AviLinkJob& job, OpContext& ctx,
                         const std::function<void()>& onBegin = {});

// The progress display's input for a link running against `ctx`: source
// number (from 1) of how many, and within the source being copied the frame
// reached against its last frame (current x 100 / last; the remaining time
// from elapsed x (last - current) / current). Past the last frame it stays at
// 100 %; a source of one frame shows 0 % before and 100 % after it, and one
// without frames counts as done.
ProgressInput AviLinkProgress(const OpContext& ctx, bool japanese);

}  // namespace trelvan
