#include "AudioExtract.h"

#include <algorithm>

#include "AudioBlockReader.h"
#include "AviAudioUnits.h"
#include "ByteOrder.h"
#include "CDecWAV.h"
#include "CWaveFileACM.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "MemBuffBase.h"
#include "OutputNames.h"
#include "StagedOutput.h"
#include "WaveFormatEx.h"

namespace trelvan {

AudioTime AudioTime::FromMs(int64_t ms) {
    if (ms < 0) {
        ms = 0;
    }
    AudioTime t;
    t.hours = ms / 3600000;
    t.minutes = ms / 60000 % 60;
    t.seconds = ms / 1000 % 60;
    t.milliseconds = ms % 1000;
    return t;
}

uint32_t AudioTimeToPosition(const AudioTime& t, uint32_t perSecond, uint32_t seconds) {
    if (perSecond == 0 || seconds == 0) {
        return 0;
    }
    const double s = static_cast<double>((t.hours * 60 + t.minutes) * 60 + t.seconds) +
                     static_cast<double>(t.milliseconds) / 1000.0;
    const double position = s * perSecond / seconds;
    // Truncated toward zero to 64 bits; the low 32 bits are the position.
    if (!(position < 9.2e18) || !(position > -9.2e18)) {
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(position)));
}

AudioTime AudioDuration(uint32_t samples, uint32_t perSecond, uint32_t seconds) {
    AudioTime t;
    if (perSecond == 0) {
        return t;
    }
    const double x = static_cast<double>(seconds) * samples / perSecond;
    const auto s = static_cast<uint64_t>(x);
    t.hours = static_cast<int64_t>(s / 3600);
    t.minutes = static_cast<int64_t>(s % 3600 / 60);
    t.seconds = static_cast<int64_t>(s % 60);
    t.milliseconds = static_cast<int64_t>(static_cast<uint64_t>(x * 1000) % 1000);
    return t;
}

bool AudioClockOf(CDecWAV& reader, AudioClock* clock) {
    *clock = {};
    const uint8_t* bytes = reader.GetAudioFormat();
    const int32_t size = reader.GetAudioFormatSize();
    WAVEFORMATEX format{};
    if (bytes == nullptr || size < 16 ||
        !ReadWaveFormat(bytes, static_cast<size_t>(size), &format)) {
        return false;
    }
    const AviStream* stream = reader.GetAudioStream();
    if (stream != nullptr && stream->SampleSize() == 0) {
        // One chunk is one sample: the stream's rate and scale time them.
        const AviStreamInfo& info = stream->Info();
        clock->perSecond = info.dwRate;
        clock->seconds = info.dwScale;
    } else {
        clock->perSecond = format.nAvgBytesPerSec;
        clock->seconds = format.nBlockAlign;
        if (clock->perSecond == 0 && stream != nullptr) {
            // MPEG audio without a byte rate: the one its frames give (the
            // stream's rate below assumes one block per sample period).
            clock->perSecond = MpegStreamByteRate(*reader.GetAudioStream());
        }
        if (clock->perSecond == 0 && stream != nullptr && format.nBlockAlign != 0) {
            // No byte rate in the format: the one its stream's rate implies.
            const AviStreamInfo& info = stream->Info();
            if (info.dwRate != 0 && info.dwScale != 0) {
                const double perSecond =
                    static_cast<double>(info.dwRate) / info.dwScale * format.nBlockAlign;
                if (perSecond >= 1 && perSecond < 4e9) {
                    clock->perSecond = static_cast<uint32_t>(perSecond + 0.5);
                }
            }
        }
    }
    return clock->perSecond != 0 && clock->seconds != 0;
}

namespace {

// A format tag of 0 names no format at all: nothing can be written in it.
bool HasFormatTag(CDecWAV& reader) {
    const uint8_t* bytes = reader.GetAudioFormat();
    return bytes != nullptr && reader.GetAudioFormatSize() >= 2 && bytes::GetLE16(bytes) != 0;
}

// The sample positions the copy runs between: the range's positions on the
// clock, the first moved to the stream's start when it starts late, and for
// frames stored as bytes both moved to frame boundaries.
void CutPositions(CDecWAV& reader, const AudioExtractJob& job, const AudioClock& clock,
                  uint32_t* first, uint32_t* last) {
    *last = AudioTimeToPosition(job.end, clock.perSecond, clock.seconds);
    *first = AudioTimeToPosition(job.start, clock.perSecond, clock.seconds);
    // A stream that starts late (an AVI audio stream whose first sample is
    // not 0) has nothing before its start to read.
    if (reader.GetAudioStart() > 0 && *first < static_cast<uint32_t>(reader.GetAudioStart())) {
        *first = static_cast<uint32_t>(reader.GetAudioStart());
    }
    // Frames stored as bytes are cut between frames, never inside one.
    if (AviStream* stream = reader.GetAudioStream(); stream != nullptr && *first < *last) {
        *first = static_cast<uint32_t>(AudioCutPosition(*stream, static_cast<int32_t>(*first)));
        *last = static_cast<uint32_t>(
            AudioCutPosition(*stream, static_cast<int32_t>(std::min<uint32_t>(*last, INT32_MAX))));
    }
}

}  // namespace

int32_t PlanAudioExtract(const AudioExtractJob& job, AudioExtractPlan* plan) {
    *plan = {};
    CDecWAV reader;
    int32_t code = reader.Open(job.source);
    if (code == 0 && !HasFormatTag(reader)) {
        code = err::kUnsupportedFormat;
    }
    if (code == 0 && !AudioClockOf(reader, &plan->clock)) {
        code = err::kStreamFormat;
    }
    if (code != 0) {
        return code;
    }
    uint32_t first = 0, last = 0;
    CutPositions(reader, job, plan->clock, &first, &last);
    // The copy reads from the first position up to the last or the end of
    // the stream, whichever comes first.
    uint32_t end = last;
    if (const AviStream* stream = reader.GetAudioStream()) {
        const int64_t streamEnd = static_cast<int64_t>(stream->Start()) + stream->Length();
        end = static_cast<uint32_t>(std::clamp<int64_t>(streamEnd, 0, last));
    }
    plan->firstSample = first;
    plan->endSample = std::max(first, end);
    plan->samples = plan->endSample - first;
    const AudioClock& c = plan->clock;
    plan->start = AudioDuration(plan->firstSample, c.perSecond, c.seconds);
    plan->end = AudioDuration(plan->endSample, c.perSecond, c.seconds);
    plan->duration = AudioDuration(plan->samples, c.perSecond, c.seconds);
    return 0;
}

int32_t ReadAudioDuration(const std::string& source, AudioTime* length) {
    *length = {};
    CDecWAV reader;
    const int32_t code = reader.Open(source);
    if (code != 0) {
        return code;
    }
    if (!HasFormatTag(reader)) {
        return err::kUnsupportedFormat;
    }
    AudioClock clock;
    if (!AudioClockOf(reader, &clock)) {
        return err::kStreamFormat;  // no rate: the length cannot be told in time
    }
    *length = AudioDuration(static_cast<uint32_t>(reader.GetAudioLength()), clock.perSecond,
                            clock.seconds);
    return 0;
}

AudioExtractResult RunAudioExtract(const AudioExtractJob& job, OpContext& ctx,
                                   const std::function<void()>& onBegin) {
    AudioExtractResult result;
    // An output that is the source itself would be deleted below.
    if (SameFile(job.source, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    // The source is opened before the old output goes, so a start that
    // cannot read its source leaves an existing output alone.
    CDecWAV reader;
    reader.SetFileOpener(ctx.opener);
    result.code = reader.Open(job.source);
    if (result.code != 0) {
        result.sourceInDetail = true;
        return result;
    }
    if (!HasFormatTag(reader)) {
        result.code = err::kUnsupportedFormat;
        result.sourceInDetail = true;
        return result;
    }
    AudioClock clock;
    if (!AudioClockOf(reader, &clock)) {
        // Without a rate the range cannot be turned into positions.
        result.code = err::kStreamFormat;
        result.sourceInDetail = true;
        return result;
    }
    uint32_t first = 0, last = 0;
    CutPositions(reader, job, clock, &first, &last);
    reader.SetPosition(static_cast<int32_t>(first));

    CWaveFileACM wave;
    wave.SetFileOpener(ctx.opener);
    if (job.riffSizeLimit != 0) {
        wave.SetRiffSizeLimit(job.riffSizeLimit);
    }
    wave.SetFileFormat(reader.GetAudioFormat(), static_cast<size_t>(reader.GetAudioFormatSize()));
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(job.output);
    if (!staged.Ready() || !wave.OpenWrite(staged.Path())) {
        result.code = err::kFileDoesNotOpen;
        return result;
    }
    wave.SetTrailingChunks(WavKeptChunks(reader));

    // The work begins.
    ctx.BeginWork(first, last);
    result.started = true;
    if (onBegin) {
        onBegin();
    }

    WAVEFORMATEX format{};
    ReadWaveFormat(reader.GetAudioFormat(), static_cast<size_t>(reader.GetAudioFormatSize()),
                   &format);
    const uint32_t block = std::max<uint32_t>(format.nBlockAlign, 1);
    const uint32_t blockBytes = job.blockBytes < block ? block : job.blockBytes;
    CMemBuffBase<unsigned char> buffer;
    unsigned char* data = buffer.GetBuffer(static_cast<int32_t>(blockBytes));
    if (data == nullptr) {
        result.code = err::kMemory;
    }
    AudioBlockReader blocks(reader, buffer, last);
    auto position = [&reader] { return static_cast<uint32_t>(reader.GetReadPosition()); };
    while (result.code == 0 && position() < last) {
        ctx.current = position();
        int32_t bytes = 0;
        int32_t samples = 0;
        const int32_t readCode = blocks.Next(&bytes, &samples);
        if (readCode != 0) {
            result.code = readCode;  // shown: the output would end short unnoticed
            break;
        }
        data = buffer.Data();  // a long chunk may have moved the buffer
        if (samples < 1) {
            break;  // the end of the stream came before the end of the range
        }
        if (bytes > 0 && wave.WriteRaw(data, bytes) < 1) {
            result.code = err::kOutput;  // disk full, or the WAV size limit
            break;
        }
        if (ctx.StopRequested()) {
            break;
        }
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
    }
    ctx.current = position();
    if (result.code != 0) {
        ctx.stop = 1;  // a failed run shows no 100 %
    }
    wave.Close();
    if (result.code == 0 && !wave.WriteComplete()) {
        // What was buffered could not be written when the file was closed
        // (a full disk): the file ends early, which must not pass as done.
        result.code = err::kOutput;
        ctx.stop = 1;
    }
    if (result.code == 0 && !staged.Commit()) {
        result.code = err::kFileDoesNotOpen;
        ctx.stop = 1;
    }
    reader.Close();
    return result;
}

}  // namespace trelvan
