#include "AviExtract.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "AviAudioUnits.h"
#include "ByteOrder.h"
#include "CDecAVIAudio.h"
#include "CEncAVIAudio.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "Language.h"
#include "OutputNames.h"
#include "StagedOutput.h"
#include "VideoSampleCopy.h"

namespace trelvan {

AviTime AviTime::FromMs(int64_t ms) {
    if (ms < 0) {
        ms = 0;
    }
    AviTime t;
    t.hours = ms / 3600000;
    t.minutes = ms / 60000 % 60;
    t.seconds = ms / 1000 % 60;
    t.milliseconds = ms % 1000;
    return t;
}

int64_t AviTime::ToMs() const {
    return ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
}

AviTime FrameTime(int32_t frames, double rate) {
    AviTime t;
    if (!(rate > 0)) {
        return t;  // no rate: the length cannot be told in time
    }
    const double x = frames / rate;
    if (!(x >= 0) || x >= 9.0e15) {
        return t;
    }
    const auto s = static_cast<int64_t>(x);
    t.hours = s / 3600;
    t.minutes = s % 3600 / 60;
    t.seconds = s % 60;
    t.milliseconds = static_cast<int64_t>(x * 1000) % 1000;
    return t;
}

int32_t TimeToFrame(const AviTime& t, double rate) {
    const int64_t whole = (t.hours * 60 + t.minutes) * 60 + t.seconds;
    const double frame =
        (static_cast<double>(whole) + static_cast<double>(t.milliseconds) / 1000.0) * rate + 0.5;
    if (!(frame >= 0)) {
        return 0;
    }
    if (frame >= 2147483647.0) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(frame);
}

int32_t ReadAviRange(const std::string& source, AviRange* range) {
    *range = {};
    CDecAVIAudio reader;
    const int32_t code = reader.Open(source);
    if (code != 0) {
        return code;
    }
    range->rate = reader.GetFrameRate();
    range->start = FrameTime(reader.GetVideoStart(), range->rate);
    // A stream that starts late (its first frame is not 0) ends later too.
    range->end = FrameTime(
        static_cast<int32_t>(std::min<int64_t>(
            static_cast<int64_t>(reader.GetVideoStart()) + reader.GetLength(), INT32_MAX)),
        range->rate);
    return 0;
}

namespace {

// An audio position of a video frame: trunc(frame * vScale * aRate / vRate /
// aScale), evaluated in that order in floating point; held to 0..INT32_MAX.
// 0 when a divisor is 0 (a header without rates).
int32_t AudioPosition(int64_t frame, const AviStreamInfo& video, const AviStreamInfo& audio) {
    if (video.dwRate == 0 || audio.dwScale == 0) {
        return 0;
    }
    const double x =
        static_cast<double>(frame) * video.dwScale * audio.dwRate / video.dwRate / audio.dwScale;
    if (!(x >= 0)) {
        return 0;
    }
    if (x >= 2147483647.0) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(x);
}

// 0 when the audio stream can be cut to a span of time: its format names a
// format (tag not 0) and its header gives rate and scale.
int32_t CheckAudioCanBeCut(const AviStream& audio) {
    const std::vector<uint8_t>& format = audio.Format();
    if (format.size() < 2 || bytes::GetLE16(format.data()) == 0) {
        return err::kUnsupportedFormat;
    }
    if (audio.Info().dwRate == 0 || audio.Info().dwScale == 0) {
        return err::kStreamFormat;
    }
    return 0;
}

// The frame the output starts on: the next key frame at or after `start`
// but not past `end`; when the range holds none, the key frame before
// `start`, so that the output still decodes from its first frame and holds
// the asked range. The stream's first frame counts as a key frame without
// asking; a start past the end stays where it is (nothing is written).
int32_t MoveToKeyFrame(CDecAVI& reader, int32_t start, int32_t end, int32_t first,
                       bool* inRange) {
    *inRange = true;
    if (start > end) {
        return start;
    }
    for (int32_t f = start; f <= end; ++f) {
        if (f == first || reader.IsKeyFrame(f)) {
            return f;
        }
    }
    *inRange = false;
    const int32_t before = reader.GetVideoStream()->FindPrevKeyFrame(start);
    return before < first ? first : before;
}

// The range of `job` on an open reader (see AviExtractPlan).
AviExtractPlan Plan(CDecAVI& reader, const AviExtractJob& job) {
    AviExtractPlan plan;
    const double rate = job.rate > 0 ? job.rate : reader.GetFrameRate();
    // Frames are numbered from the stream's first one, which is not 0 in a
    // stream that starts late: nothing lies before it, and the last frame
    // is as far after it as the stream is long.
    const int32_t firstFrame = reader.GetVideoStart();
    const int64_t lastFrame = static_cast<int64_t>(firstFrame) + reader.GetLength() - 1;
    int32_t end = TimeToFrame(job.end, rate);
    if (end >= lastFrame) {
        end = static_cast<int32_t>(std::max<int64_t>(lastFrame, -1));
    }
    plan.wantedFrame = std::max(TimeToFrame(job.start, rate), firstFrame);
    plan.startFrame = MoveToKeyFrame(reader, plan.wantedFrame, end, firstFrame, &plan.keyFound);
    plan.endFrame = end;
    plan.rate = reader.GetFrameRate();
    plan.start = FrameTime(plan.startFrame, plan.rate);
    plan.end = FrameTime(static_cast<int32_t>(std::min<int64_t>(int64_t{end} + 1, INT32_MAX)),
                         plan.rate);
    plan.durationMs = plan.endFrame >= plan.startFrame ? plan.end.ToMs() - plan.start.ToMs() : 0;
    return plan;
}

// Frees the sample buffer the reader grows with realloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

}  // namespace

std::string NoKeyFrameWarning(const AviTime& start) {
    char at[32];
    std::snprintf(at, sizeof at, "%lld:%02lld:%02lld.%03lld", static_cast<long long>(start.hours),
                  static_cast<long long>(start.minutes), static_cast<long long>(start.seconds),
                  static_cast<long long>(start.milliseconds));
    return SelectLanguageText(
        std::string("The range holds no key frame: the output starts earlier, at the key frame "
                    "before it (") +
            at + "), so that it can be decoded from its first frame.",
        std::string("範囲にキーフレームがありません。先頭からデコードできるよう、出力はその前の"
                    "キーフレーム(") +
            at + ")から始まります。");
}

int32_t PlanAviExtract(const AviExtractJob& job, AviExtractPlan* plan) {
    *plan = {};
    CDecAVIAudio reader;
    const int32_t code = reader.Open(job.source);
    if (code != 0) {
        return code;
    }
    *plan = Plan(reader, job);
    return 0;
}

AviExtractResult RunAviExtract(const AviExtractJob& job, OpContext& ctx,
                               const std::function<void()>& onBegin,
                               const std::function<void(const AviTime&)>& onStart) {
    AviExtractResult result;
    // An output that is the source itself would be deleted below.
    if (SameFile(job.source, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    // The source is opened before the old output goes, so a start that
    // cannot read its source leaves an existing output alone.
    CDecAVIAudio reader;
    reader.SetFileOpener(ctx.opener);
    result.code = reader.Open(job.source);
    if (result.code != 0) {
        return result;
    }
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(job.output);
    if (!staged.Ready()) {
        result.code = err::kSaveCreate;
        return result;
    }

    uint8_t* formatBytes = nullptr;
    int32_t formatSize = 0;
    result.code = reader.ReadVideoFormat(&formatBytes, &formatSize);
    const std::unique_ptr<uint8_t, FreeDeleter> format(formatBytes);
    if (result.code != 0) {
        return result;
    }
    AviStream* video = reader.GetVideoStream();
    CEncAVIAudio writer;
    writer.SetFileOpener(ctx.opener);
    writer.SetContext(&ctx);
    // The stream's own header: the handler code as stored (the reader's copy
    // names a zero handler for display).
    result.code = writer.OpenForCopy(staged.Path(), video->Info(), format.get(), formatSize);
    AviStream* audio = reader.HasAudio() ? reader.GetAudioStream() : nullptr;
    if (result.code == 0 && audio != nullptr) {
        // Audio that names no format, or that nothing tells the time of,
        // cannot be cut to the video's span: refused rather than written
        // as an empty stream.
        result.code = CheckAudioCanBeCut(*audio);
    }
    if (result.code == 0 && audio != nullptr) {
        const uint8_t* a = reader.GetAudioFormat();
        const std::vector<uint8_t> audioFormat(a,
                                               a == nullptr ? a : a + reader.GetAudioFormatSize());
        result.code = writer.AddAudioStream(audioFormat, audio->Info(), "");
    }
    if (result.code != 0) {
        writer.Close();
        return result;
    }
    writer.SetDescriptiveChunks(AviKeptChunks(reader));

    // The work begins.
    ctx.BeginWork();
    result.started = true;
    if (onBegin) {
        onBegin();
    }

    const AviExtractPlan plan = Plan(reader, job);
    const int32_t start = plan.startFrame;
    const int32_t end = plan.endFrame;
    result.rate = plan.rate;
    result.start = plan.start;
    result.startFrame = start;
    result.endFrame = end;
    result.keyFound = plan.keyFound;
    if (!plan.keyFound) {
        ctx.Warn(NoKeyFrameWarning(plan.start));
    }
    if (onStart) {
        onStart(result.start);
    }

    ctx.timer.ClearTotal();
    ctx.timer.Start();
    ctx.first = start;
    ctx.current = start;
    ctx.last = end;

    void* sampleBytes = nullptr;
    int32_t current = start;
    bool stopped = false;
    while (current <= end) {
        int32_t samples = 0;
        const int32_t code =
            CopyVideoSample(reader, writer, current, job.directCopyBytes, &sampleBytes, &samples);
        if (code != 0) {
            ctx.stop = 1;
            result.code = code;
            break;
        }
        current += samples;
        ctx.current = current;
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
        if (ctx.StopRequested()) {
            stopped = true;
            break;
        }
    }
    std::free(sampleBytes);

    if (result.code == 0 && !stopped && audio != nullptr) {
        const int32_t first = AudioPosition(start, video->Info(), audio->Info());
        const int32_t last =
            AudioPosition(static_cast<int64_t>(end) + 1, video->Info(), audio->Info());
        result.code = writer.CopyAudioRange(AudioCutPosition(*audio, first),
                                            AudioCutPosition(*audio, last), audio);
    }
    // Audio that could not be read and that nobody was asked about makes
    // the output short of audio: the run says so.
    result.audioTrouble = writer.ReadTrouble();
    if (result.code == 0 && result.audioTrouble.unanswered) {
        result.code = err::kStreamRead;
    }
    // A file that could not be completed is a failure too, unless one was
    // reported already.
    const int32_t closed = writer.Close();
    if (result.code == 0 && closed != 0) {
        result.code = closed;
    }
    if (result.code == 0 && !staged.Commit()) {
        result.code = err::kOutputCannotBeMade;
    }
    if (result.code != 0) {
        ctx.stop = 1;  // a failed run shows no 100 %, also when closing failed
    }
    reader.Close();
    return result;
}

ProgressInput AviExtractProgress(const OpContext& ctx, bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Range;
    in.elapsedMs = ctx.timer.GetTotal();
    in.japanese = japanese;
    const int64_t first = ctx.first.load();
    const int64_t last = ctx.last.load();
    int64_t current = ctx.current.load();
    if (current > last) {
        current = last;  // past the last frame: the audio is being copied
    }
    if (first == last) {
        // One frame: shown as done, no division by zero.
        in.first = 0;
        in.current = 1;
        in.last = 1;
        return in;
    }
    in.first = static_cast<uint32_t>(first);
    in.current = static_cast<uint32_t>(current);
    in.last = static_cast<uint32_t>(last);
    return in;
}

}  // namespace trelvan
