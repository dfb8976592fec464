#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "CEncAVIAudio.h"
#include "OpContext.h"
#include "ProgressText.h"
#include "VideoSampleCopy.h"

// AVI extract: copies a time range of an AVI file into a new AVI file
// without recompressing. The video samples of the range are copied one by
// one as stored, with their key-frame flags, starting at a key frame; then
// the audio samples of the same span of time follow (the streams are written
// one after the other, not interleaved). The desktop page and trelvan-cli
// both run it.
namespace trelvan {

// A time as the range fields hold it.
struct AviTime {
    int64_t hours = 0;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t milliseconds = 0;

    static AviTime FromMs(int64_t ms);
    int64_t ToMs() const;
};

// The time of frame `frames` at `rate` frames per second as the range
// fields show it: whole seconds trunc(frames / rate) split into hours,
// minutes and seconds, milliseconds trunc(frames / rate * 1000) mod 1000.
// All zero without a rate.
AviTime FrameTime(int32_t frames, double rate);

// The frame a time falls on: trunc((h*3600 + m*60 + s + ms/1000) * rate +
// 0.5). The whole seconds are counted in 64 bits (the fields allow hours up
// to 2^31 - 1) and the result is held to 0..INT32_MAX, so no field value can
// make a negative or wrapped frame number.
int32_t TimeToFrame(const AviTime& t, double rate);

// What loading the range of a source finds: the start field shows the
// first frame's time, the end field the time just after the last frame.
struct AviRange {
    AviTime start;
    AviTime end;
    double rate = 0;  // frames per second of the video stream
};

// Opens the source's video and gives its range. 0 or the reader's code.
int32_t ReadAviRange(const std::string& source, AviRange* range);

struct AviExtractJob {
    std::string source;
    std::string output;
    AviTime start;
    AviTime end;
    // Frames per second recorded when the range was loaded; 0 takes the
    // source's own.
    double rate = 0;
    // Video samples of at least this many bytes go from file to file without
    // passing through this process (inside the kernel between disk files);
    // smaller ones are read and written through buffers, which costs fewer
    // system calls for them.
    uint32_t directCopyBytes = kDirectCopyBytes;
};

struct AviExtractResult {
    int32_t code = 0;
    // Whether the work began (the running state was entered).
    bool started = false;
    // The frames of the run: the start after moving it to a key frame, and
    // the last frame (inclusive). Valid once `started`.
    int32_t startFrame = 0;
    int32_t endFrame = 0;
    // The time of the adjusted start, as the start fields are rewritten.
    AviTime start;
    double rate = 0;
    // Audio blocks that could not be read (the first, how many were
    // skipped, whether the copy ended there).
    CEncAVIAudio::AudioReadTrouble audioTrouble;
    // False when the range held no key frame and the start moved back to
    // the one before it (the context's warn hook was told).
    bool keyFound = true;
};

// What an extract of a job would write, worked out without writing: the
// frames and times of the range after the start moved to a key frame, and
// whether there was a key frame to move to.
struct AviExtractPlan {
    int32_t startFrame = 0;  // the first frame written (a key frame when keyFound)
    int32_t endFrame = 0;    // the last frame written (inclusive)
    int32_t wantedFrame = 0; // the frame the start time falls on
    double rate = 0;         // frames per second
    AviTime start;           // time of startFrame
    AviTime end;             // time just after endFrame
    int64_t durationMs = 0;  // what will be written
    // False when the range holds no key frame: the start then moved back
    // to the key frame before it, so the output begins earlier than asked.
    bool keyFound = true;
};

// The plan of `job` on its source. 0, or the reader's code.
int32_t PlanAviExtract(const AviExtractJob& job, AviExtractPlan* plan);

// The warning given when a range holds no key frame and the start moved
// back to `start`, the key frame before it (through the context's warn
// hook, on the command line's standard error, on the preview).
std::string NoKeyFrameWarning(const AviTime& start);

// Runs the extract against `ctx`:
//  - refuses an output that is the source itself (6006); opens the source
//    (the reader's code), reads the video format (1009 / 501), creates the
//    output under a temporary name beside it (2001 when the folder cannot
//    take it) with
//    the source's video stream header and format and, when the source has
//    audio, its audio stream (the writer's 2001 / 2003 / 2005);
//  - enters the running state (stop flag 0, working time cleared and
//    started, `onBegin` called);
//  - turns the range into frames (end held to the last frame), moves the
//    start forward to the next key frame (never past the end; the first
//    frame and a start after the end stay) or, when the range holds none,
//    back to the key frame before it (warning through the context's warn
//    hook), calls `onStart` with the time of the adjusted start, and
//    restarts the working time;
//  - copies the video samples start..end one by one with their key flags,
//    pumping after each; the context's positions are first = start frame,
//    current = the next frame to copy, last = end frame. A stop request
//    ends the copy without audio; a failed read (1007 / 501) or write
//    (2006) ends it with that code and sets the stop flag;
//  - copies the source's audio samples of the same span (2006 when a block
//    cannot be written; a block that cannot be read asks through the
//    context's ask hook, and without one ends the audio there and the run
//    with 1007); audio stored as MPEG or AC-3 bytes is cut at frame
//    boundaries. Audio with format tag 0 (-3) or without rate and scale
//    (1009) is refused before the work begins.
// The output is always closed with what was written; a failure to complete
// it is reported (2006) when nothing failed before. A run without a code (a
// stop included) puts the file in place of the output (6006 when that
// fails); a failed one deletes it, leaving an existing output as it was.
AviExtractResult RunAviExtract(const AviExtractJob& job, OpContext& ctx,
                               const std::function<void()>& onBegin = {},
                               const std::function<void(const AviTime&)>& onStart = {});

// What the progress display shows for a running extract: the range form over
// the context's frames. A range of one frame (start and end the same) shows
// 100 % rather than dividing by zero, and after the last frame (while the
// audio is copied) the display stays at 100 % with no time remaining.
ProgressInput AviExtractProgress(const OpContext& ctx, bool japanese);

}  // namespace trelvan
