// WMV separate (one stream into a file of its own) and unite (the video of
// one file with the audio of another).

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "ErrorCodes.h"
#include "OutputNames.h"
#include "WmvOpSupport.h"
#include "WmvOperations.h"

namespace trelvan {

using namespace wmvops;

namespace {

// An output profile that holds only `streams` of the reader's profile, each
// renumbered (number in the source, number in the output), in that order.
// The profile is the reader's own, emptied first: it keeps the source's
// packet size and preroll.
bool KeepStreams(CDecCompWMV& reader, const std::vector<wm::StreamConfig>& configs,
                 std::shared_ptr<wm::Profile>* out) {
    std::shared_ptr<wm::Profile> profile = reader.GetProfile();
    if (!profile) {
        return false;
    }
    for (uint16_t n : reader.Engine().StreamNumbers()) {
        if (wm::Failed(profile->RemoveStreamByNumber(n))) {
            return false;
        }
    }
    for (const wm::StreamConfig& c : configs) {
        if (wm::Failed(profile->AddStream(c))) {
            return false;
        }
    }
    *out = std::move(profile);
    return true;
}

bool TakeStream(CDecCompWMV& reader, uint16_t number, uint16_t renumber, wm::StreamConfig* out) {
    std::shared_ptr<wm::Profile> profile = reader.GetProfile();
    return profile && wm::Succeeded(profile->GetStreamByNumber(number, *out)) &&
           wm::Succeeded(out->SetStreamNumber(renumber));
}

// Separate, from the opened source to the begun writer: 0, 8204 or 8205.
int32_t PrepareSeparate(CDecCompWMV& reader, CEncCompWMV& writer, const WmvSeparateJob& job,
                        const std::string& output, uint16_t* selected) {
    if (!LastStreamOf(reader, job.kind, selected)) {
        return err::kWmvInfoGet;
    }
    wm::StreamConfig kept;
    std::shared_ptr<wm::Profile> profile;
    if (!TakeStream(reader, *selected, 1, &kept) || !KeepStreams(reader, {kept}, &profile)) {
        return err::kWmvInfoSet;
    }
    if (writer.OpenOutput(output, *profile) != 0) {
        return err::kWmvInfoSet;
    }
    wm::HeaderInfo* header = writer.GetHeader();
    if (wm::Failed(CopyStreamAttributes(reader, header, *selected, 1)) ||
        wm::Failed(reader.TransferStreamAttributes(header, 0)) ||
        wm::Failed(reader.TransferCodecInfoOfType(header, MajorType(job.kind))) ||
        writer.BeginWriting() != 0) {
        return err::kWmvInfoSet;
    }
    return 0;
}

}  // namespace

WmvOpResult RunWmvSeparate(const WmvSeparateJob& job, OpContext& ctx,
                           const std::function<void()>& onBegin) {
    WmvOpResult r;
    r.output = WmvSeparateOutputName(job);
    if (RefusedBeforeStart({job.source}, r)) {
        return r;
    }
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(r.output);
    if (!staged.Ready()) {
        r.code = err::kWmvOutputMake;
        return r;
    }
    Begin(ctx, r, onBegin);

    WarnSink warn(ctx);
    CDecCompWMV reader;
    CEncCompWMV writer;
    warn.Attach(reader);
    writer.SetOpener(ctx.opener);
    r.code = reader.Open(job.source, 0, 0);
    uint16_t selected = 0;
    if (r.code == 0) {
        ctx.last = static_cast<int64_t>(reader.GetDuration());
        r.code = PrepareSeparate(reader, writer, job, staged.Path(), &selected);
    }
    const bool began = r.code == 0;
    if (began) {
        std::atomic<uint64_t> written{0};
        reader.SetSampleHandler(
            [&](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                const wm::SampleBuffer& sample, void*, void*) -> int {
                ctx.current = static_cast<int64_t>(time);
                // A stop request ends the run at the next sample, kept or not.
                if (ctx.StopRequested()) {
                    return 1;
                }
                if (stream != selected) {
                    return 0;
                }
                const wm::HRESULT hr = writer.WriteSample(1, time, duration, flags, sample);
                if (hr != 0) {
                    return hr;
                }
                ++written;
                return 0;
            },
            nullptr);
        r.code = reader.Run();
        r.samples = written;
    }
    reader.CloseSource();
    EndOutput(writer, began, ctx, r);
    End(ctx, r, staged);
    return r;
}

// ---- Unite ----------------------------------------------------------------

namespace {

constexpr int kVideo = 0;
constexpr int kAudio = 1;

// What the two readers' handlers and workers share.
struct UniteRun {
    UniteRun(OpContext& c, CEncCompWMV& w) : ctx(c), writer(w) {}

    OpContext& ctx;
    CEncCompWMV& writer;
    std::array<uint16_t, 2> selected{};
    // The time of the last sample each reader delivered (any of its streams).
    std::array<std::atomic<uint64_t>, 2> time{};
    std::array<std::atomic<bool>, 2> finished{};
    // A reader whose run failed: the other stops at its next sample.
    std::atomic<bool> failed{false};
    std::atomic<int> workersDone{0};
    std::atomic<uint64_t> written{0};
    wm::HRESULT ended = 0;
    // A handler waiting for the other reader sleeps on `paced`; every move
    // of a reader's time, a finish and a failure wake it. Those are changed
    // under `paceLock` so that no wake-up is lost between its test and its
    // sleep.
    std::mutex paceLock;
    std::condition_variable paced;

    bool Halted() const { return ctx.StopRequested() || failed.load(); }

    // Changes shared pacing state and wakes the waiting handler.
    template <typename F>
    void Pace(F change) {
        {
            std::lock_guard<std::mutex> hold(paceLock);
            change();
        }
        paced.notify_all();
    }

    // The earlier of the readers' times; a finished reader no longer counts.
    void Publish() {
        uint64_t at = UINT64_MAX;
        for (int i : {kVideo, kAudio}) {
            if (!finished[i]) {
                at = std::min(at, time[i].load());
            }
        }
        if (at != UINT64_MAX) {
            ctx.current = static_cast<int64_t>(at);
        }
    }

    // The sample handler of reader `side`: waits while its sample lies
    // later than the other reader's time (unless that one has finished or
    // the run halts), so that the writer receives the two sources' samples
    // roughly in time order. It is woken when the other reader's time moves;
    // a stop request, set from elsewhere without a wake-up, is looked at
    // every 20 ms.
    int OnSample(int side, uint16_t stream, uint64_t t, uint64_t duration, uint32_t flags,
                 const wm::SampleBuffer& sample) {
        Pace([&] { time[side] = t; });
        Publish();
        if (stream != selected[side]) {
            return Halted() ? 1 : 0;
        }
        const int other = 1 - side;
        {
            std::unique_lock<std::mutex> lock(paceLock);
            while (time[side].load() > time[other].load() && !finished[other] && !Halted()) {
                paced.wait_for(lock, std::chrono::milliseconds(20));
            }
        }
        if (Halted()) {
            return 1;
        }
        const wm::HRESULT hr =
            writer.WriteSample(static_cast<uint16_t>(side + 1), t, duration, flags, sample);
        if (hr != 0) {
            return hr;
        }
        ++written;
        return 0;
    }

    // One reader's worker: runs it to its end, marks it finished, and the
    // last of the two to finish ends the writer (exactly once; never while
    // the other reader may still write).
    void Work(int side, CDecCompWMV& reader) {
        const int32_t code = reader.Run();
        reader.CloseSource();
        Pace([&] {
            if (code != 0) {
                failed = true;
            }
            finished[side] = true;
        });
        Publish();
        if (++workersDone == 2) {
            ended = writer.EndWriting();
        }
    }
};

// Unite, from the opened sources to the begun writer: 0, 8204 or 8205.
int32_t PrepareUnite(std::array<CDecCompWMV, 2>& readers, CEncCompWMV& writer,
                     const std::string& output, UniteRun& run) {
    if (!LastStreamOf(readers[kVideo], WmvStreamKind::Video, &run.selected[kVideo]) ||
        !LastStreamOf(readers[kAudio], WmvStreamKind::Audio, &run.selected[kAudio])) {
        return err::kWmvInfoGet;
    }
    wm::StreamConfig video, audio;
    std::shared_ptr<wm::Profile> unused, profile;
    if (!TakeStream(readers[kVideo], run.selected[kVideo], 1, &video) ||
        !TakeStream(readers[kAudio], run.selected[kAudio], 2, &audio) ||
        !KeepStreams(readers[kAudio], {}, &unused) ||
        !KeepStreams(readers[kVideo], {video, audio}, &profile)) {
        return err::kWmvInfoSet;
    }
    if (writer.OpenOutput(output, *profile) != 0) {
        return err::kWmvInfoSet;
    }
    wm::HeaderInfo* header = writer.GetHeader();
    if (wm::Failed(CopyStreamAttributes(readers[kVideo], header, run.selected[kVideo], 1)) ||
        wm::Failed(CopyStreamAttributes(readers[kAudio], header, run.selected[kAudio], 2)) ||
        wm::Failed(readers[kAudio].TransferStreamAttributes(header, 0)) ||
        wm::Failed(readers[kVideo].TransferCodecInfoOfType(header, wm::kMediaTypeVideo)) ||
        wm::Failed(readers[kAudio].TransferCodecInfoOfType(header, wm::kMediaTypeAudio)) ||
        writer.BeginWriting() != 0) {
        return err::kWmvInfoSet;
    }
    return 0;
}

}  // namespace

WmvOpResult RunWmvUnite(const WmvUniteJob& job, OpContext& ctx,
                        const std::function<void()>& onBegin) {
    WmvOpResult r;
    r.output = job.output.empty() ? WmvUniteDefaultOutput(job.video) : job.output;
    if (RefusedBeforeStart({job.video, job.audio}, r)) {
        return r;
    }
    // Written beside the output and put in place when the run is kept.
    StagedOutput staged(r.output);
    if (!staged.Ready()) {
        r.code = err::kWmvOutputMake;
        return r;
    }

    WarnSink warn(ctx);
    std::array<CDecCompWMV, 2> readers;
    CEncCompWMV writer;
    warn.Attach(readers[kVideo]);
    warn.Attach(readers[kAudio]);
    writer.SetOpener(ctx.opener);
    UniteRun run{ctx, writer};

    r.code = readers[kVideo].Open(job.video, 0, 0);
    if (r.code == 0) {
        r.code = readers[kAudio].Open(job.audio, 0, 0);
    }
    if (r.code == 0) {
        r.code = PrepareUnite(readers, writer, staged.Path(), run);
    }
    if (r.code != 0) {
        // Nothing began: the running state was never entered.
        for (CDecCompWMV& reader : readers) {
            reader.CloseSource();
        }
        EndOutput(writer, false, ctx, r);
        ctx.stop = 1;
        return r;
    }

    Begin(ctx, r, onBegin);
    // The longer source sets the total; on equal durations the video's.
    ctx.last = static_cast<int64_t>(
        std::max(readers[kVideo].GetDuration(), readers[kAudio].GetDuration()));
    for (int side : {kVideo, kAudio}) {
        readers[side].SetSampleHandler(
            [&run, side](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                         const wm::SampleBuffer& sample, void*, void*) {
                return run.OnSample(side, stream, time, duration, flags, sample);
            },
            nullptr);
    }
    std::array<std::thread, 2> workers;
    for (int side : {kVideo, kAudio}) {
        try {
            workers[side] = std::thread([&run, &readers, side] { run.Work(side, readers[side]); });
        } catch (const std::system_error&) {
            // No thread to run it: the run fails, and this reader runs here
            // (it halts at its first sample) so that the writer still ends.
            run.failed = true;
            run.Work(side, readers[side]);
        }
    }
    for (std::thread& w : workers) {
        if (w.joinable()) {
            w.join();
        }
    }
    r.samples = run.written;
    if (run.failed) {
        r.code = err::kWmvProcess;
    } else if (wm::Failed(run.ended)) {
        r.code = err::kWmvProcess;
    }
    End(ctx, r, staged);
    return r;
}

}  // namespace trelvan
