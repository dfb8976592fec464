#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "AviCompressOptions.h"
#include "AviSave.h"
#include "OpContext.h"
#include "ProgressText.h"

// The part the separate and unite operations share: whole streams saved
// through SaveStreams into a temporary file beside the output, which is then
// moved over the output name.
namespace trelvan {

struct AviSaveRunResult {
    int32_t code = 0;
    // Whether the work began (the running state was entered).
    bool started = false;
};

// Save options of a video stream: no compressor named, so the stored frames
// are written as they are, with their key-frame flags.
AVICOMPRESSOPTIONS SaveOptionsForVideo(const AviStream& stream);
// Save options of an audio stream: its own format as the target format.
AVICOMPRESSOPTIONS SaveOptionsForAudio(const AviStream& stream);

// Enters the running state (stop flag 0, the working-time counter cleared
// and started, percent 0, then `onBegin`), saves `streams` under a
// temporary name and moves the written file over `output` when the save
// went to its end or was stopped (the output then holds what was saved); a
// failed save's file is deleted, so an existing output stays as it was.
//
// The save's progress callback adds a lap, stores min(percent, 99) in the
// context, pumps, restarts the counter and asks the save to stop exactly
// when the stop flag is set. `saveAs` is the name whose extension picks the
// file type and whose folder takes the temporary file (normally `output`).
//
// Codes: 6006 when the temporary file cannot be created, or when the saved
// file cannot be moved to the output name (it is then deleted, not left
// behind under its hidden name); 103 for every other failure of the save,
// a stop included. A failure sets the stop flag, so no 100 % is shown.
// `kept` goes to the save (what the first source says about itself).
AviSaveRunResult SaveAndMoveOver(const std::string& output, const std::string& saveAs,
                                 const std::vector<AviSaveStream>& streams, OpContext& ctx,
                                 const std::function<void()>& onBegin,
                                 const std::vector<RiffChunkBytes>& kept = {});

// What the progress display of a save shows: the percent form, from the
// context's percent and working time.
ProgressInput SavePercentProgress(const OpContext& ctx, bool japanese);

// Moves `from` over `to` when the names differ: an existing `to` is
// replaced in the same step (it stays when the move fails). 0 when it
// worked, 1 on a file error (as the separate page's MoveOverFile reports it).
int MoveOverFile(const std::string& from, const std::string& to);

}  // namespace trelvan
