#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "IoFile.h"
#include "OpContext.h"
#include "ProgressText.h"

// Separate, unite and extract of QuickTime and MP4 movies, on the movie
// layer's model (no re-encoding: every stored sample is copied unchanged,
// with its time, composition offset, description and sync flag). Each run
// reads its sources, builds the output movie and flattens it into one
// self-contained file, as MOV link does. The desktop pages and trelvan-cli
// both run them.
//
// Threads and context: each Run* call blocks until its work has ended and
// calls the context's pump hook after every unit of work (each source read,
// each chunk written). `stop` is cleared when the work begins and set again
// when it ends; a stop request ends the run at the next unit and leaves no
// output. Positions: `first` 0, `current` the media bytes written, `last`
// their total. The reader's warnings about a source (damage read around)
// go to the warn hook, led by the source's path.
//
// Failures leave no output (a save that fails removes what it began); an
// output that names a source (however spelled) fails before anything is
// written; the output is written under a temporary name beside it and
// replaces an existing output only once it is whole.
namespace trelvan {

enum class MovTrackKind { Video, Sound };

struct MovOpResult {
    // 0, -1 (nothing to do: no source named), or the movie layer's result
    // code of the failing step (mov::kCantCreateSingleForkFile for an
    // output that names a source or cannot be created, kProgressProcAborted
    // for a stop, kInvalidDuration for a range outside the movie, kInvalidTrack
    // when the wanted kind of track is missing).
    int32_t code = 0;
    // Whether the work began (`onBegin` was called).
    bool started = false;
    // The output name the run used.
    std::string output;
    // Stored samples written (a frame run of sound counts once).
    uint64_t samples = 0;
    // Whether a stop request ended the run (no output then).
    bool stopped = false;
};

// The message for a failed run, one line, in the user's language: what
// failed, the file it concerns and the movie layer's code (its name too).
std::string MovOpErrorText(const MovOpResult& result, const std::string& file, bool japanese);

// ---- Separate -------------------------------------------------------------

struct MovSeparateJob {
    std::string source;
    // Empty: the source's stem + "_cut" + ".mov" for video; for sound
    // ".m4a" when every sound track is AAC or ALAC, ".mov" otherwise.
    std::string output;
    MovTrackKind kind = MovTrackKind::Video;
};

std::string MovSeparateOutputName(const MovSeparateJob& job,
                                  const FileOpener& opener = DiskFileOpener());

// Keeps every track of the wanted kind (video: 'vide' and its timecode or
// chapter companions that it references; sound: 'soun' and the chapter
// tracks it references), with their edits,
// descriptions, references among them and track metadata; the movie's own
// metadata stays. kInvalidTrack when the source has no track of that kind.
MovOpResult RunMovSeparate(const MovSeparateJob& job, OpContext& ctx,
                           const std::function<void()>& onBegin = {});

// ---- Unite ----------------------------------------------------------------

struct MovUniteJob {
    std::string video;   // the video track(s) of this movie ...
    std::string audio;   // ... and the sound track(s) of this one
    std::string output;  // empty: the video source's stem + "_comb.mov"
};

std::string MovUniteDefaultOutput(const std::string& videoSource);

// Both sets of tracks from time 0 side by side (new track ids where they
// clash), in the video movie's time scale with its metadata; the movie is
// as long as the longer of the two. kInvalidTrack when either kind is
// missing.
MovOpResult RunMovUnite(const MovUniteJob& job, OpContext& ctx,
                        const std::function<void()>& onBegin = {});

// ---- Extract --------------------------------------------------------------

struct MovExtractJob {
    std::string source;
    std::string output;  // empty: the source's stem + "_extr" + its extension
    uint64_t start = 0;           // 100 ns, movie (presentation) time
    uint64_t end = UINT64_MAX;    // 100 ns; UINT64_MAX: to the end of the movie
    // Presentation starts at the sync sample at or before the start instead
    // of exactly at the start (for players that ignore edits).
    bool keyframeStart = false;
};

std::string MovExtractDefaultOutput(const std::string& source);

// The movie's duration (100 ns): 0, or the movie layer's code.
int32_t MovSourceDuration(const std::string& path, uint64_t* duration,
                          const FileOpener& opener = DiskFileOpener());

// What an extract writes, found without writing (--dry-run, the preview).
struct MovExtractPlan {
    // Whether the output holds video and sound: a kind whose tracks show
    // nothing in the range is left out.
    bool hasVideo = false;
    bool hasSound = false;
    // Source movie times, 100 ns: the first stored video sample (the sync
    // sample at or before the start), the first presented frame, the end.
    uint64_t firstStored = 0;
    uint64_t firstPresented = 0;
    uint64_t end = 0;
    // The output's duration (100 ns), stored samples and their bytes.
    uint64_t duration = 0;
    uint64_t samples = 0;
    uint64_t bytes = 0;
};

// 0, or the movie layer's code (kInvalidDuration: the range lies outside
// the movie or is empty).
int32_t PlanMovExtract(const MovExtractJob& job, MovExtractPlan* plan,
                       const FileOpener& opener = DiskFileOpener(),
                       const std::function<void(const std::string&)>& warn = {});

// The plan as the command line's --dry-run prints it and the preview shows
// it, several lines.
std::string FormatMovExtractPlan(const MovExtractPlan& plan, bool japanese);

// Video: the stored samples from the sync sample at or before the start
// through every sample the frames before the end need, and edits so that
// presentation begins at the first frame at or after the start (or at that
// sync sample with keyframeStart) and ends at the end. Sound: whole packets
// covering the range (AAC priming kept before it), trimmed by the edit.
// Other tracks (text, timecode, chapters): their samples that overlap the
// range.
MovOpResult RunMovExtract(const MovExtractJob& job, OpContext& ctx,
                          const std::function<void()>& onBegin = {});

// The two pictures of the preview: the first presented frame of the range
// and the last one, packed as the AVI frame decoder packs them (a 40-byte
// BITMAPINFOHEADER, 24-bit bottom-up rows padded to 4 bytes); empty when a
// frame cannot be decoded.
struct MovRangePictures {
    bool hasVideo = false;
    int64_t firstTime = -1;  // source movie time, 100 ns; -1: none
    int64_t lastTime = -1;
    std::vector<uint8_t> first;
    std::vector<uint8_t> last;
};
int32_t DecodeMovRangePictures(const std::string& path, uint64_t start, uint64_t end,
                               MovRangePictures* pictures,
                               const FileOpener& opener = DiskFileOpener());

// ---- Progress -------------------------------------------------------------

// The Info line's input from the context's positions ("%3.0f %%" with
// elapsed and remaining time), as the WMV pages show it.
ProgressInput MovRangeProgress(const OpContext& ctx, bool japanese);

}  // namespace trelvan
