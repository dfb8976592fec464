#include "AviLink.h"

#include "AviAudioSync.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "CDecAVIAudio.h"
#include "CEncAVIAudio.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "JoinCheckAvi.h"
#include "OutputNames.h"
#include "StagedOutput.h"
#include "VideoSampleCopy.h"

namespace trelvan {

std::string AviLinkDefaultOutput(const std::string& firstSource) {
    return DefaultOutputName(firstSource, "_link", ".avi");
}

namespace {

using Readers = std::vector<std::unique_ptr<CDecAVIAudio>>;

// The readers as the checks take them (the list keeps owning them).
std::vector<CDecAVIAudio*> Borrowed(const Readers& readers) {
    std::vector<CDecAVIAudio*> out;
    for (const auto& r : readers) {
        out.push_back(r.get());
    }
    return out;
}

// The buffer ReadVideoSample grows with realloc; one for the whole run.
struct SampleBuffer {
    void* data = nullptr;
    SampleBuffer() = default;
    SampleBuffer(const SampleBuffer&) = delete;
    SampleBuffer& operator=(const SampleBuffer&) = delete;
    ~SampleBuffer() { std::free(data); }
};

// Copies one source's video frames into the writer: 0 when they are all
// written or the stop flag was seen, else the failure's code (and the stop
// flag set).
int32_t CopyVideo(CDecAVIAudio& reader, CEncAVIAudio& writer, SampleBuffer& buffer,
                  OpContext& ctx) {
    const int32_t first = reader.GetVideoStart();
    // The frames are first .. first + length - 1: like the audio, a video
    // stream that starts late keeps its last frames.
    const int64_t last = static_cast<int64_t>(first) + reader.GetVideoStream()->Length() - 1;
    ctx.first = first;
    ctx.current = first;
    ctx.last = last;
    ctx.timer.ClearTotal();
    ctx.timer.Start();
    int64_t current = first;
    while (current <= last) {
        int32_t samples = 0;
        const int32_t code = CopyVideoSample(reader, writer, static_cast<int32_t>(current),
                                             kDirectCopyBytes, &buffer.data, &samples);
        if (code != 0) {
            ctx.stop = 1;
            return code;
        }
        current += samples;
        ctx.current = current;
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
        if (ctx.StopRequested()) {
            return 0;
        }
    }
    return 0;
}

// The work from the creation of the output on. The writer is closed by the
// caller.
int32_t Join(const AviLinkJob& job, Readers& readers, CEncAVIAudio& writer, OpContext& ctx,
             const std::function<void()>& onBegin, AviLinkResult& result) {
    CDecAVIAudio& head = *readers.front();
    uint8_t* format = nullptr;
    int32_t formatSize = 0;
    int32_t code = head.ReadVideoFormat(&format, &formatSize);
    if (code != 0) {
        return code;
    }
    code = writer.OpenForCopy(job.output, head.GetVideoStream()->Info(), format, formatSize);
    std::free(format);
    if (code != 0) {
        return code;
    }
    if (head.HasAudio()) {
        std::vector<uint8_t> audioFormat;
        if (const uint8_t* f = head.GetAudioFormat()) {
            audioFormat.assign(f, f + head.GetAudioFormatSize());
        }
        code = writer.AddAudioStream(audioFormat, head.GetAudioStream()->Info(), "");
        if (code != 0) {
            return code;
        }
    }

    writer.SetDescriptiveChunks(AviKeptChunks(head));

    // The work begins.
    ctx.items = static_cast<int32_t>(readers.size());
    ctx.item = 0;
    ctx.BeginWork();
    result.started = true;
    if (onBegin) {
        onBegin();
    }

    // Each entry's audio is held to where its video begins.
    AviAudioSync sync(Borrowed(readers), job.sources);
    if (writer.HasAudio()) {
        for (const std::string& note : sync.Notes()) {
            ctx.Warn(note);
        }
    }

    SampleBuffer buffer;
    for (size_t i = 0; i < readers.size(); ++i) {
        // A stop seen during the previous source's audio ends the run here,
        // before anything of this source is written.
        if (ctx.StopRequested()) {
            return 0;
        }
        CDecAVIAudio& reader = *readers[i];
        ctx.item = static_cast<int32_t>(i);
        code = CopyVideo(reader, writer, buffer, ctx);
        if (code != 0 || ctx.StopRequested()) {
            return code;
        }
        // Only when the output has an audio stream: it has one when the first
        // source had audio; later sources' audio has nowhere to go otherwise.
        if (reader.HasAudio() && writer.HasAudio()) {
            const int32_t first = AviAudioStartOf(reader, reader.GetVideoStart());
            const int32_t end =
                sync.CopyEnd(i, reader, first, AviAudioEndOf(reader), writer.GetAudioPosition());
            code = writer.CopyAudioRange(first, end, reader.GetAudioStream());
            if (code != 0) {
                ctx.stop = 1;  // a failed run shows no 100 %
                return code;
            }
            if (writer.ReadTrouble().firstSample >= 0 && result.audioTroubleSource < 0) {
                result.audioTroubleSource = static_cast<int32_t>(i);
            }
        }
        // Audio shorter than its video, or none: silence up to where the
        // next entry's video begins.
        if (writer.HasAudio()) {
            code = sync.FillAfter(i, writer, &ctx);
            if (code != 0) {
                ctx.stop = 1;
                return code;
            }
        }
        // Done with this source: its index and file go now, so a long list
        // holds at most what the sources not yet copied need.
        reader.Close();
    }
    return 0;
}

// The join check before anything is deleted: entries that differ from the
// first are asked about; Cancel ends the run there.
bool AcceptJoin(const Readers& readers, const std::vector<std::string>& sources, OpContext& ctx,
                AviLinkResult& result) {
    result.join = CompareAviEntries(Borrowed(readers), sources);
    if (result.join.JoinsCleanly() || !ctx.ask || ctx.Ask("", result.join.Question())) {
        return true;
    }
    result.cancelled = true;
    return false;
}

}  // namespace

AviLinkResult RunAviLink(const AviLinkJob& job, OpContext& ctx,
                         const std::function<void()>& onBegin) {
    AviLinkResult result;
    if (job.sources.empty()) {
        result.code = err::kNoFrame;
        return result;
    }
    // An output that is one of the sources would be deleted below.
    for (const std::string& source : job.sources) {
        if (SameFile(source, job.output)) {
            result.code = err::kOutputCannotBeMade;
            return result;
        }
    }
    // One reader per entry, however many. All are opened before the old
    // output goes, so a list with a source that cannot be read leaves an
    // existing output alone and writes nothing.
    Readers readers;
    readers.reserve(job.sources.size());
    for (const std::string& source : job.sources) {
        readers.push_back(std::make_unique<CDecAVIAudio>());
        readers.back()->SetFileOpener(ctx.opener);
        result.code = readers.back()->Open(source);
        if (result.code != 0) {
            return result;
        }
    }
    if (job.checkJoin && !AcceptJoin(readers, job.sources, ctx, result)) {
        return result;
    }
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(job.output);
    if (!staged.Ready()) {
        result.code = err::kSaveCreate;
        return result;
    }
    AviLinkJob beside = job;
    beside.output = staged.Path();

    CEncAVIAudio writer;
    writer.SetFileOpener(ctx.opener);
    writer.SetWriterLimits(job.limits);
    writer.SetContext(&ctx);
    result.code = Join(beside, readers, writer, ctx, onBegin, result);
    // What the writer could not finish on disk (the index, the headers) is a
    // failure too, not a complete file.
    const int32_t closed = writer.Close();
    if (result.code == 0 && closed != 0) {
        result.code = closed;
        ctx.stop = 1;
    }
    // Audio that could not be read and that nobody was asked about: the
    // output lacks it, so the run does not pass as complete.
    result.audioTrouble = writer.ReadTrouble();
    if (result.code == 0 && result.audioTrouble.unanswered) {
        result.code = err::kStreamRead;
        ctx.stop = 1;
    }
    if (result.code == 0 && !staged.Commit()) {
        result.code = err::kOutputCannotBeMade;
        ctx.stop = 1;
    }
    return result;
}

ProgressInput AviLinkProgress(const OpContext& ctx, bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Link;
    in.elapsedMs = ctx.timer.GetTotal();
    in.item = ctx.item.load() + 1;
    in.items = ctx.items.load();
    // Per source: the frame reached of the source's last frame, both counted
    // as the stream numbers them (current x 100 / last), and the elapsed time
    // restarted with every source. After the last frame the position is one
    // past it; the display stays at 100 % while that source's audio is copied.
    const int64_t last = ctx.last.load();
    const int64_t current = std::min(ctx.current.load(), std::max<int64_t>(last, 0));
    if (last > 0) {
        in.done = static_cast<double>(current);
        in.total = static_cast<double>(last);
    } else {
        // A source of one frame (or none): done once its frame is copied.
        const bool copied = last < ctx.first.load() || ctx.current.load() > ctx.first.load();
        in.done = copied ? 1 : 0;
        in.total = 1;
    }
    in.japanese = japanese;
    return in;
}

}  // namespace trelvan
