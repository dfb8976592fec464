// WMV link (files one after the other) and extract (a time range).

#include <algorithm>
#include <atomic>
#include <map>
#include <set>

#include "AsfReader.h"
#include "AsfStreamEnds.h"
#include "ErrorCodes.h"
#include "Language.h"
#include "OutputNames.h"
#include "WmvJoinCheck.h"
#include "WmvOpSupport.h"
#include "WmvOperations.h"

namespace trelvan {

using namespace wmvops;

namespace {

// Opens the writer with the reader's profile, takes all of the reader's
// header data, and begins: 0, 8302, 8202 or 8301.
int32_t OpenLikeSource(CDecCompWMV& reader, CEncCompWMV& writer, const std::string& output) {
    const std::shared_ptr<wm::Profile> profile = reader.GetProfile();
    if (!profile || writer.OpenOutput(output, *profile) != 0) {
        return err::kWmvOutputMake;
    }
    const int32_t code = reader.TransferHeaderData(writer.GetHeader());
    if (code != 0) {
        return code;
    }
    return writer.BeginWriting();
}

}  // namespace

// ---- Link -----------------------------------------------------------------

namespace {

// What the link's sample handler keeps of the entry being written. The
// ends are read once the entry's run has returned (its reader's thread has
// ended by then).
struct LinkEntry {
    std::atomic<uint64_t> latestTime{0};
    asf::AsfStreamEnds ends;
    std::map<uint16_t, uint64_t> bases;  // per stream, taken off its times
};

// The stream records of the source's profile, for measuring its samples.
std::vector<asf::StreamInfo> StreamsOf(CDecCompWMV& reader) {
    std::vector<asf::StreamInfo> out;
    if (const std::shared_ptr<wm::Profile> p = reader.GetProfile()) {
        for (uint32_t i = 0; i < p->GetStreamCount(); ++i) {
            wm::StreamConfig c;
            if (p->GetStream(i, c) == wm::hr::kOk) {
                out.push_back(c.Source());
            }
        }
    }
    return out;
}

}  // namespace

WmvLinkPlacing PlaceWmvLinkEntries(const std::vector<std::string>& sources) {
    WmvLinkPlacing p;
    uint64_t total = 0;
    uint64_t prerollMs = 0;
    constexpr uint64_t kPackets = 64;  // read at each end of a file
    for (size_t i = 0; i < sources.size(); ++i) {
        asf::AsfReader reader;
        if (wm::Failed(reader.Open(sources[i]))) {
            return p;  // a file that cannot be read is the link's to report
        }
        if (i == 0) {
            prerollMs = reader.Header().props.prerollMs;
        }
        const uint64_t duration = reader.Duration();
        // Each stream's earliest time among the first packets, and where
        // its samples end among the last.
        std::map<uint16_t, uint64_t> first;
        asf::AsfSample s;
        while (reader.Next(s) == wm::hr::kOk && s.packet < kPackets) {
            const auto [it, fresh] = first.emplace(s.stream, s.time);
            it->second = std::min(it->second, s.time);
        }
        asf::AsfStreamEnds ends(reader.Header().streams);
        reader.SeekPacket(reader.PacketCount() > kPackets ? reader.PacketCount() - kPackets : 0);
        while (reader.Next(s) == wm::hr::kOk) {
            ends.Add(s.stream, s.time, s.duration, s.data.size());
        }
        // The entry starts at its earliest time; its Duration attribute
        // counts from there when it says more (an end time). A stream whose
        // first sample lies past that length (stamped far from the others)
        // starts at its own first time.
        uint64_t earliest = UINT64_MAX;
        for (const auto& [stream, t] : first) {
            earliest = std::min(earliest, t);
        }
        earliest = earliest == UINT64_MAX ? 0 : earliest;
        const uint64_t floor = duration >= earliest ? duration - earliest : duration;
        std::map<uint16_t, uint64_t> bases;
        uint64_t length = floor;
        for (const asf::StreamInfo& info : reader.Header().streams) {
            const auto at = first.find(info.number);
            const uint64_t base =
                at != first.end() && at->second - earliest > floor ? at->second : earliest;
            bases[info.number] = base;
            const uint64_t end = ends.End(info.number);
            length = std::max(length, end > base ? end - base : 0);
        }
        p.bases.push_back(std::move(bases));
        p.floors.push_back(floor);
        p.lengths.push_back(length);
        total += length;
    }
    // Presentation times are 32-bit milliseconds with the preroll added.
    const uint64_t room = (0xFFFFFFFFull - std::min<uint64_t>(prerollMs, 0xFFFFFFFFull)) * 10000;
    p.fits = total <= room;
    return p;
}

WmvOpResult RunWmvLink(const WmvLinkJob& job, OpContext& ctx,
                       const std::function<void()>& onBegin) {
    WmvOpResult r;
    if (job.sources.empty()) {
        r.code = err::kNoFrame;
        r.output = job.output;
        return r;
    }
    r.output = job.output.empty() ? WmvLinkDefaultOutput(job.sources.front()) : job.output;
    if (RefusedBeforeStart(job.sources, r)) {
        return r;
    }
    if (job.checkJoin) {
        // A file that cannot be read is left to the link, which reports it.
        r.join = CheckWmvJoin(job.sources, ctx.opener);
        if (!r.join.differences.empty() && ctx.ask && !ctx.Ask("", r.join.Question())) {
            r.cancelled = true;
            return r;
        }
    }
    // Every entry is placed on its own earliest time (some writers stamp
    // their samples hours from zero); a link whose entries together pass what
    // the format's times hold is refused before anything is written.
    const WmvLinkPlacing placing = PlaceWmvLinkEntries(job.sources);
    if (!placing.fits) {
        r.code = err::kWmvProcess;
        return r;
    }
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(r.output);
    if (!staged.Ready()) {
        r.code = err::kWmvOutputMake;
        return r;
    }
    ctx.items = static_cast<int32_t>(job.sources.size());
    ctx.item = 0;
    Begin(ctx, r, onBegin);

    WarnSink warn(ctx);
    CDecCompWMV reader;
    CEncCompWMV writer;
    warn.Attach(reader);
    writer.SetOpener(ctx.opener);
    LinkEntry entry;
    std::atomic<uint64_t> written{0};
    reader.SetSampleHandler(
        [&](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
            const wm::SampleBuffer& sample, void*, void*) -> int {
            const auto base = entry.bases.find(stream);
            if (base != entry.bases.end()) {
                time = time > base->second ? time - base->second : 0;
            }
            if (time > entry.latestTime) {
                entry.latestTime = time;
                ctx.current = static_cast<int64_t>(time);
            }
            if (ctx.StopRequested()) {
                return 1;
            }
            // Entries whose profile differs from the first one's may carry
            // stream numbers the output lacks: the writer refuses those
            // samples and the link ends with 8203.
            const wm::HRESULT hr = writer.WriteSample(stream, time, duration, flags, sample);
            if (hr != 0) {
                return hr;
            }
            entry.ends.Add(stream, time, duration, sample.size);
            ++written;
            return 0;
        },
        nullptr);

    // The first entry configures the output; every entry, the first too, is
    // read from its time 0.
    r.code = reader.Open(job.sources.front(), 0, 0);
    if (r.code == 0) {
        r.code = OpenLikeSource(reader, writer, staged.Path());
    }
    const bool began = r.code == 0;
    for (size_t i = 0; r.code == 0 && i < job.sources.size() && !ctx.StopRequested(); ++i) {
        ctx.timer.ClearTotal();
        ctx.timer.Start();
        ctx.item = static_cast<int32_t>(i);
        ctx.current = 0;
        entry.latestTime = 0;
        if (i > 0) {
            r.code = reader.Open(job.sources[i], 0, 0);
            if (r.code != 0) {
                break;
            }
        }
        entry.ends.SetStreams(StreamsOf(reader));
        entry.bases = i < placing.bases.size() ? placing.bases[i] : std::map<uint16_t, uint64_t>{};
        const uint64_t duration =
            i < placing.floors.size() ? placing.floors[i] : reader.GetDuration();
        const uint64_t length =
            i < placing.lengths.size() ? placing.lengths[i] : reader.GetDataEnd();
        ctx.last = static_cast<int64_t>(length);
        // Presentation times are 32-bit milliseconds: an entry whose data
        // would end past them at this offset is refused before any of its
        // samples is written (the files were measured before the output was
        // begun: only one that changed since comes here).
        if (length > writer.RoomLeft()) {
            r.code = err::kWmvProcess;
            break;
        }
        r.code = reader.Run();
        // The next entry begins where this one ends: per stream its latest
        // sample's time plus that sample's duration (estimated where the
        // file gives none), the Duration attribute as a floor; to the 100 ns.
        writer.AdvanceOffsetExact(std::max(duration, entry.ends.End()));
        reader.CloseSource();
    }
    r.samples = written;
    reader.CloseSource();
    EndOutput(writer, began, ctx, r);
    End(ctx, r, staged);
    return r;
}

// ---- Extract --------------------------------------------------------------

std::string WmvNoKeyFrameWarning() {
    return SelectLanguageText(
        "The range holds no video key frame: the output's video starts without one, and players "
        "may show nothing of it.",
        "範囲に映像のキーフレームがありません。出力の映像はキーフレームなしで始まるため、"
        "表示されないことがあります。");
}

WmvOpResult RunWmvExtract(const WmvExtractJob& job, OpContext& ctx,
                          const std::function<void()>& onBegin) {
    WmvOpResult r;
    r.output = job.output.empty() ? WmvExtractDefaultOutput(job.source) : job.output;
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
    // Unsigned, as the range is: an end before the start gives a span that
    // the display shows as almost nothing done.
    ctx.last = static_cast<int64_t>(job.end - job.start);

    WarnSink warn(ctx);
    CDecCompWMV reader;
    CEncCompWMV writer;
    warn.Attach(reader);
    writer.SetOpener(ctx.opener);
    // The copy engine takes an end of 0 as "no end"; for the range it is the
    // time 0, past which every later sample lies.
    const bool endsAtZero = job.end == 0;
    std::set<uint16_t> video;
    std::atomic<uint64_t> written{0};
    std::atomic<int64_t> firstKey{-1};
    std::atomic<bool> videoWritten{false};
    reader.SetSampleHandler(
        [&](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
            const wm::SampleBuffer& sample, void*, void*) -> int {
            if (endsAtZero && time + job.start > 0) {
                return 1;
            }
            ctx.current = static_cast<int64_t>(time);
            if (ctx.StopRequested()) {
                return 1;
            }
            const wm::HRESULT hr = writer.WriteSample(stream, time, duration, flags, sample);
            if (hr != 0) {
                return hr;
            }
            ++written;
            if (video.count(stream) != 0) {
                videoWritten = true;
                if (IsKey(flags) && firstKey < 0) {
                    firstKey = static_cast<int64_t>(time);
                }
            }
            return 0;
        },
        nullptr);

    r.code = reader.Open(job.source, job.start, endsAtZero ? 0 : job.end);
    if (r.code == 0) {
        const CWMVCopy& engine = reader.Engine();
        for (uint32_t i = 0; i < engine.StreamCount(); ++i) {
            if (engine.StreamTypes()[i] == wm::kMediaTypeVideo) {
                video.insert(engine.StreamNumbers()[i]);
            }
        }
        r.hasVideo = !video.empty();
        // A range that runs past the source ends with the source's data:
        // the display measures against that, not against an end never
        // reached (UINT64_MAX for "to the end").
        uint64_t end = reader.GetDuration();
        if (job.end > end) {
            end = reader.GetDataEnd();  // read from the last packets only then
        }
        if (job.end > end && job.start < end) {
            ctx.last = static_cast<int64_t>(end - job.start);
        }
        r.code = OpenLikeSource(reader, writer, staged.Path());
        // A frame whose length nothing tells (a one-frame range of a file
        // without a frame time) lasts the source's Duration, at most the
        // range: the output has a length and bit rates.
        writer.SetFallbackDuration(std::min(reader.GetDuration(), job.end - job.start));
    }
    const bool began = r.code == 0;
    if (began) {
        r.code = reader.Run();
    }
    r.samples = written;
    r.firstKeyTime = firstKey;
    reader.CloseSource();
    EndOutput(writer, began, ctx, r);
    if (r.code == 0 && videoWritten && r.firstKeyTime < 0) {
        warn(WmvNoKeyFrameWarning());
    }
    End(ctx, r, staged);
    return r;
}

}  // namespace trelvan
