#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "JoinCheck.h"
#include "OpContext.h"
#include "ProgressText.h"

// The four WMV/WMA operations: separate (one stream into a file of its own),
// unite (the video of one file with the audio of another), link (files one
// after the other) and extract (a time range). No sample is re-encoded: each
// compressed sample is copied unchanged with its time, duration and key
// flag. The desktop pages and trelvan-cli both run them.
//
// Threads. Each Run* call blocks until the work has ended. The samples
// arrive on the reader's own thread (unite: one reader per source, each on
// its own worker thread, paced against each other (a handler whose sample
// lies ahead of the other reader sleeps until that one's time moves) so that
// the writer receives them roughly in time order); the writer takes them one at
// a time. Run* never calls the context's pump hook: a front end that wants
// to show progress reads the context's atomic positions from a timer or a
// thread of its own, and a desktop page calls Run* on a worker thread.
//
// Context. `stop` is cleared when the work begins and set again when it
// ends (after a failure or a stop too); a stop request set by another
// thread ends the run at the next sample, and the output is ended properly
// with what was written. Positions are in 100-ns units: `first` 0, `current`
// the time reached, `last` the total (see each operation). `item`/`items`
// count the link's entries. The context's opener opens the sources and the
// output (tests put faults in there); its warn hook gets the copy engine's
// diagnostic lines and the operations' warnings, one call at a time but not
// always on the calling thread (the readers' threads report too).
//
// An output that names a source (however spelled: relative paths, links)
// gives 6006 before anything is written; an empty source name gives 8201
// before anything happens. The output is written under a temporary name
// beside it (8302 when the folder cannot take one) and put in place when
// the run ends without a code, a stop included; a failed run deletes it and
// leaves an existing output as it was.
namespace trelvan {

enum class WmvStreamKind { Video, Audio };

struct WmvOpResult {
    // 0, or the program's code: 8201 (a source cannot be opened), 8202
    // (header data not transferred), 8203 (a reader run failed, a write
    // refused included), 8204 (the wanted stream is not there), 8205 (the
    // output could not be prepared), 8301/8302 (the writer could not begin
    // or be opened), 6006 (the output names a source), -1 (nothing to do).
    int32_t code = 0;
    // Whether the work began (`onBegin` was called, the running state entered).
    bool started = false;
    // The output name the run used (separate replaces its extension).
    std::string output;
    // Compressed samples written.
    uint64_t samples = 0;
    // Extract: the time in the output (100 ns) of the first video key frame
    // written; -1 when no key frame was written (the range holds none, or
    // the source has no video).
    int64_t firstKeyTime = -1;
    // Extract: whether the source has a video stream.
    bool hasVideo = false;
    // Whether a stop request ended the run before its end (the output then
    // holds what was written, ended properly).
    bool stopped = false;
    // Link: the join check's findings (checkJoin), and whether the question
    // about them was answered Cancel (then nothing was deleted or written).
    JoinReport join;
    bool cancelled = false;
};

// ---- Separate -------------------------------------------------------------

struct WmvSeparateJob {
    std::string source;
    // Empty: the source's stem + "_cut". Its extension is replaced in every
    // case: ".wmv" for video, ".wma" for audio.
    std::string output;
    WmvStreamKind kind = WmvStreamKind::Video;
};

// The output name the separate writes for `job` (see the job's output).
std::string WmvSeparateOutputName(const WmvSeparateJob& job);

// Copies the last stream of the wanted kind (in profile order) to stream 1
// of a new file with that stream's attributes (now under number 1), the
// file's attributes and the codec descriptions of that kind. Positions:
// current = the time of the last sample seen (any stream), last = the
// source's duration.
WmvOpResult RunWmvSeparate(const WmvSeparateJob& job, OpContext& ctx,
                           const std::function<void()>& onBegin = {});

// ---- Unite ----------------------------------------------------------------

struct WmvUniteJob {
    std::string video;   // the last video stream of this file ...
    std::string audio;   // ... and the last audio stream of this one
    std::string output;  // empty: the video source's stem + "_comb.wmv"
};

std::string WmvUniteDefaultOutput(const std::string& videoSource);

// Writes video as stream 1 and audio as stream 2 (each with its stream's
// attributes under the new number; the audio source's file attributes),
// running to the end of the longer source. Nothing begins (no onBegin, an
// existing output kept) until both sources are open with their streams
// found. Positions: current = the earlier of the two readers' times (a
// finished reader no longer counts), last = the longer duration. A reader
// whose run fails, or a write refused, ends the unite with 8203 (no
// "100 %"); the other reader stops at its next sample. The writer is ended
// once, after both readers have returned.
WmvOpResult RunWmvUnite(const WmvUniteJob& job, OpContext& ctx,
                        const std::function<void()>& onBegin = {});

// ---- Link -----------------------------------------------------------------

struct WmvLinkJob {
    std::vector<std::string> sources;  // in link order
    std::string output;                // empty: the first source's stem + "_link.wmv"
    // Compare the files before anything is deleted or written, and ask the
    // context's ask hook (OK joins anyway) when they differ.
    bool checkJoin = false;
};

std::string WmvLinkDefaultOutput(const std::string& firstSource);

// Where each entry of a WMV link is placed: on its earliest sample time, and
// a stream whose first sample lies past the entry's length (video that
// GStreamer's asfmux stamps 1000 hours from zero beside sound from zero) on
// its own first time (`bases`, per stream number, 100 ns); each entry runs
// for `lengths`, at least its Duration attribute counted from its earliest
// time (`floors`); `fits` false
// when together they pass what the format's times can hold (the link is
// then refused before anything is written, and the join check says so).
// A file that cannot be read ends the measuring (`fits` stays true: the
// link reports it).
struct WmvLinkPlacing {
    std::vector<std::map<uint16_t, uint64_t>> bases;
    std::vector<uint64_t> floors;
    std::vector<uint64_t> lengths;
    bool fits = true;
};
WmvLinkPlacing PlaceWmvLinkEntries(const std::vector<std::string>& sources);

// Writes the entries one after the other into a file configured from the
// first (its profile, attributes, codec descriptions, scripts). Each entry
// is read from its start; its samples keep their stream numbers and land at
// their own time less their base (PlaceWmvLinkEntries) plus the exact end of
// the entries before: for each entry, per stream, its latest sample's time
// plus that sample's duration (estimated where the file gives none:
// asf::AsfStreamEnds), its Duration attribute as a floor. Entries that
// together would end past the output's 32-bit millisecond times are refused
// with 8203 before anything is deleted or written. The profiles are compared only with checkJoin
// (before anything is deleted; Cancel ends there). Positions: item/items the entry, current = the
// latest sample time of the entry, last = where its data ends; the lap timer restarts with each
// entry.
WmvOpResult RunWmvLink(const WmvLinkJob& job, OpContext& ctx,
                       const std::function<void()>& onBegin = {});

// ---- Extract --------------------------------------------------------------

struct WmvExtractJob {
    std::string source;
    std::string output;  // empty: the source's stem + "_extr.wmv"
    uint64_t start = 0;  // 100 ns
    // 100 ns; not checked against the start or the duration. 0 is the time
    // 0 like any other end (only samples at 0 are copied), not "no end";
    // UINT64_MAX reads to the end of the source.
    uint64_t end = 0;
};

std::string WmvExtractDefaultOutput(const std::string& source);

// The warning of an extract whose range holds no video key frame.
std::string WmvNoKeyFrameWarning();

// Start and end times of the range fields (hours, minutes, seconds,
// milliseconds) in 100 ns; a time beyond what 64 bits hold gives UINT64_MAX.
uint64_t WmvRangeTime(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t millis);

// The source's duration (100 ns), its "Duration" attribute: 0, or 8201.
int32_t WmvSourceDuration(const std::string& path, uint64_t* duration,
                          const FileOpener& opener = DiskFileOpener());
// Where the source's samples end (100 ns): the end of its latest sample,
// its duration where that is later (headers from other writers often say
// less than their data holds). The extract page's end fields: 0, or 8201.
int32_t WmvSourceEnd(const std::string& path, uint64_t* end,
                     const FileOpener& opener = DiskFileOpener());

// Copies the samples from `start` (dropped before it, shifted by it after)
// to the first sample past `end`, with all the source's header data. Not
// cut at key frames. Positions: current = the last sample's time relative
// to the start, last = end - start (an end past the source's data counts
// as where its data ends, WmvSourceEnd). A source with video whose range holds
// no video key frame gets a warning through the context's warn hook (the
// output's video starts without one).
WmvOpResult RunWmvExtract(const WmvExtractJob& job, OpContext& ctx,
                          const std::function<void()>& onBegin = {});

// What an extract of `job` would write, found by reading the range without
// writing anything (the command line's --dry-run, the cut preview).
struct WmvExtractPlan {
    bool hasVideo = false;
    // Time in the output (100 ns) of the first video key frame; -1: none.
    int64_t firstKeyTime = -1;
    uint64_t samples = 0;
    uint64_t bytes = 0;
    // The end of the latest sample (time + duration) in the output, 100 ns.
    uint64_t duration = 0;
};

// 0, or 8201 (the source cannot be opened) / 8203 (it cannot be read).
int32_t PlanWmvExtract(const WmvExtractJob& job, WmvExtractPlan* plan);

// ---- Progress -------------------------------------------------------------

// The Info line's input for each page, from the context's positions:
// "%3.0f %%" with elapsed/remaining for separate, unite and extract; the
// link form (entry of entries, percent of the entry) for link.
ProgressInput WmvRangeProgress(const OpContext& ctx, bool japanese);
ProgressInput WmvLinkProgress(const OpContext& ctx, bool japanese);

}  // namespace trelvan
