#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "OpContext.h"

class CDecWAV;

// Audio extract: copies a time range of the audio of a WAV or AVI file (its
// last audio stream) into a new WAV file, byte for byte, in the source's own
// audio format. The desktop page and trelvan-cli both run it.
namespace trelvan {

// A time as the range fields hold it.
struct AudioTime {
    int64_t hours = 0;
    int64_t minutes = 0;
    int64_t seconds = 0;
    int64_t milliseconds = 0;

    static AudioTime FromMs(int64_t ms);
};

// A stream's audio clock: `perSecond` samples every `seconds` seconds. For
// fixed-size samples (WAV files, PCM and ADPCM in AVI, audio stored as
// bytes) these are the format's average bytes per second and its block
// alignment; for AVI audio stored one frame per chunk (MP3, AC-3, AAC as
// most writers store them) the stream's own rate and scale, since a byte
// rate says nothing about how many such samples make a second.
struct AudioClock {
    uint32_t perSecond = 0;
    uint32_t seconds = 0;
};

// The sample position of a time: ((h*60+m)*60 + s + ms/1000) * perSecond /
// seconds in floating point, truncated toward zero; the low 32 bits are the
// position. 0 when the clock has no rate.
uint32_t AudioTimeToPosition(const AudioTime& t, uint32_t perSecond, uint32_t seconds);

// The length of `samples` samples as hours, minutes, seconds and
// milliseconds (seconds and milliseconds truncated).
AudioTime AudioDuration(uint32_t samples, uint32_t perSecond, uint32_t seconds);

// The clock of an open reader's audio; false when it has none (no format,
// or no rate to tell time by).
bool AudioClockOf(CDecWAV& reader, AudioClock* clock);

// Opens the source's audio and gives its length. 0 or the reader's code.
int32_t ReadAudioDuration(const std::string& source, AudioTime* length);

struct AudioExtractJob {
    std::string source;
    std::string output;
    AudioTime start;
    AudioTime end;
    // Bytes read and written per unit of work.
    uint32_t blockBytes = 400000;
    // Largest RIFF size of the output; 0 keeps the WAV format's own limit
    // (tests lower it to reach the limit with small files).
    uint64_t riffSizeLimit = 0;
};

struct AudioExtractResult {
    int32_t code = 0;
    // Whether the work began (the running state was entered).
    bool started = false;
    // Whether the source path belongs in the error box beside the code.
    bool sourceInDetail = false;
};

// What an extract of a job would write, worked out as the extract works it
// out but without writing: the sample positions of the range (moved to the
// stream's start and, for frames stored as bytes, to frame boundaries, as
// the copy moves them), held to the stream's end.
struct AudioExtractPlan {
    uint32_t firstSample = 0;  // the first sample written
    uint32_t endSample = 0;    // just after the last one (firstSample: none written)
    uint32_t samples = 0;      // endSample - firstSample
    AudioClock clock;
    AudioTime start;     // the time of firstSample
    AudioTime end;       // the time of endSample
    AudioTime duration;  // the length of what is written
};

// The plan of `job` on its source: 0, or the code the extract would give
// for its source (the reader's, -3 for a format tag 0, 1009 without a rate).
int32_t PlanAudioExtract(const AudioExtractJob& job, AudioExtractPlan* plan);

// Runs the extract against `ctx`: refuses an output that is the source
// itself (6006) before anything is deleted, opens the source (its code, with
// the source as detail), creates the output under a temporary name beside
// it in the source's format (-5 when that fails), then sets the context's
// positions (first, current, last in audio samples), clears the stop flag,
// starts the working-time counter and calls `onBegin`, and copies block by
// block, pumping after each, until the end position, the stop flag or a
// failure. The output is always closed properly with what was written.
// A refused write (disk full, the WAV size limit) ends the run with 502, a
// read error with the reader's code; both set the stop flag. A run without
// a code (a stop included) puts the file in place of the output (-5 when
// that fails); a failed one deletes it, leaving an existing output as it was.
AudioExtractResult RunAudioExtract(const AudioExtractJob& job, OpContext& ctx,
                                   const std::function<void()>& onBegin = {});

}  // namespace trelvan
