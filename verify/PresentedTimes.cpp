#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "CompareSupport.h"
#include "PresentedCheck.h"
#include "Timeline.h"

// Joins and runs of AVI and ASF files in time, as players place their
// samples: AVI by counting the stream header's samples, ASF by the
// presentation times of the payloads.
namespace trelvan::verify::presented {
namespace {

constexpr double kMs = 0.001;

std::string Sec(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", t);
    return buf;
}

std::string Ms(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f ms", t * 1000);
    return buf;
}

// A frame's length from its neighbours where the file does not say.
double FrameLength(const Timeline& tl, size_t i) {
    if (tl[i].duration > 0) {
        return tl[i].duration;
    }
    if (i > 0) {
        return tl[i].time - tl[i - 1].time;
    }
    return i + 1 < tl.size() ? tl[i + 1].time - tl[i].time : 0;
}

// An AVI link starts each entry's audio where its video starts: the audio
// of the earlier entries was cut or filled up to their video's length.
std::optional<Placed> AviSync(const Facts& f, std::vector<std::string>* checked) {
    const KindFacts& v = f.video;
    const KindFacts& a = f.audio;
    if (!v.planned || !a.planned || a.sources.size() < 2) {
        return std::nullopt;
    }
    std::string error;
    const Timeline vt = TimelineOf(*f.output, MediaKind::Video, &error);
    const Timeline at = TimelineOf(*f.output, MediaKind::Audio, &error);
    if (vt.empty() || at.empty()) {
        return std::nullopt;
    }
    auto audio = f.output->Walk(MediaKind::Audio, &error);
    const double rate = audio ? audio->Rate() : 0;
    const uint32_t align = audio ? audio->BlockAlign() : 1;
    double worst = 0;
    for (size_t j = 0; j < a.sources.size() && j < a.outcome.entryStarts.size(); ++j) {
        const int vi = Counterpart(a.sources, j, v.sources);
        if (vi < 0 || static_cast<size_t>(vi) >= v.outcome.entryStarts.size()) {
            continue;
        }
        const uint64_t byte = a.outcome.entryStarts[j];
        const double video_start = vt.TimeOfSample(v.outcome.entryStarts[static_cast<size_t>(vi)]);
        const size_t piece = at.SampleAtByte(byte);
        const double audio_start = at.TimeOfByte(byte);
        // One block (PCM, ADPCM) or, for audio of frames, one frame.
        double tolerance = rate > 0 ? align / rate : 0;
        if (align == 1 && piece < at.size()) {
            tolerance = std::max(tolerance, at[piece].duration);
        }
        // An entry whose audio was cut to nothing holds no start of its own:
        // only one whose video is shorter than a block may be.
        if (j + 1 < a.outcome.entryStarts.size() && a.outcome.entryStarts[j + 1] == byte) {
            const Timeline own =
                TimelineOf(*v.sources[static_cast<size_t>(vi)], MediaKind::Video, &error);
            const double frame = own.empty() ? 0 : FrameLength(own, 0);
            if (own.End() > tolerance + frame + kMs) {
                VerifyDifference d{"audio",
                                   -1,
                                   static_cast<int64_t>(byte),
                                   "the entry's audio (" + Sec(own.End()) + " of video)",
                                   "present",
                                   "missing"};
                return f.At(d, f.EntryOf(MediaKind::Audio, j), video_start);
            }
            continue;
        }
        const double off = audio_start - video_start;
        worst = std::max(worst, std::fabs(off));
        if (std::fabs(off) > tolerance + kMs) {
            VerifyDifference d{"audio",
                               -1,
                               static_cast<int64_t>(byte),
                               "start (with its video, within " + Ms(tolerance) + ")",
                               Sec(video_start),
                               Sec(audio_start)};
            return f.At(d, f.EntryOf(MediaKind::Audio, j), video_start);
        }
    }
    checked->push_back("join: every entry's audio starts with its video (within " + Ms(worst) +
                       ")");
    return std::nullopt;
}

// Each entry's samples of one kind in an ASF link: the earliest time and the
// latest end.
struct Span {
    double first = std::numeric_limits<double>::max();
    double end = 0;
    double frame = 0;  // the length of its last sample
    size_t at = 0;     // its first sample in the output
};

std::vector<Span> Spans(const Timeline& tl, const std::vector<uint64_t>& starts, bool bytes) {
    std::vector<Span> spans;
    for (size_t e = 0; e < starts.size(); ++e) {
        const size_t from = bytes ? tl.SampleAtByte(starts[e]) : static_cast<size_t>(starts[e]);
        const size_t to = e + 1 < starts.size() ? (bytes ? tl.SampleAtByte(starts[e + 1])
                                                         : static_cast<size_t>(starts[e + 1]))
                                                : tl.size();
        Span s;
        s.at = from;
        for (size_t i = from; i < to && i < tl.size(); ++i) {
            s.first = std::min(s.first, tl[i].time);
            s.frame = FrameLength(tl, i);
            s.end = std::max(s.end, tl[i].time + s.frame);
        }
        spans.push_back(s);
    }
    return spans;
}

// An ASF link starts each entry where the one before ends: no stream of it
// before the previous entry's samples of that stream end, and no gap over a
// frame between the entries.
std::optional<Placed> AsfJoin(const Facts& f, std::vector<std::string>* checked) {
    std::vector<Span> kinds[2];
    double frame = 0;
    for (const MediaKind k : {MediaKind::Video, MediaKind::Audio}) {
        const KindFacts& kf = f.Of(k);
        if (!kf.planned || kf.sources.size() < 2) {
            continue;
        }
        std::string error;
        const Timeline tl = TimelineOf(*f.output, k, &error);
        std::vector<Span>& spans = kinds[k == MediaKind::Audio];
        spans = Spans(tl, kf.outcome.entryStarts, k == MediaKind::Audio);
        for (size_t e = 1; e < spans.size() && e < kf.sources.size(); ++e) {
            if (spans[e].first + kMs < spans[e - 1].end) {
                VerifyDifference d{KindName(k),
                                   static_cast<int64_t>(spans[e].at),
                                   -1,
                                   "start (after the previous entry's last sample ends)",
                                   "at least " + Sec(spans[e - 1].end),
                                   Sec(spans[e].first)};
                return f.At(d, f.EntryOf(k, e), spans[e].first);
            }
        }
        if (frame == 0 || k == MediaKind::Video) {
            frame = spans.empty() ? 0 : spans.front().frame;
        }
    }
    // The gap between entries over all their streams.
    const std::vector<Span>& lead = kinds[0].empty() ? kinds[1] : kinds[0];
    const MediaKind lead_kind = kinds[0].empty() ? MediaKind::Audio : MediaKind::Video;
    for (size_t e = 1; e < lead.size(); ++e) {
        double first = lead[e].first, end = lead[e - 1].end;
        const int other = Counterpart(f.video.sources, e, f.audio.sources);
        if (!kinds[0].empty() && other > 0 && static_cast<size_t>(other) < kinds[1].size()) {
            first = std::min(first, kinds[1][static_cast<size_t>(other)].first);
            end = std::max(end, kinds[1][static_cast<size_t>(other) - 1].end);
        }
        if (first > end + frame + kMs) {
            VerifyDifference d{kinds[0].empty() ? "audio" : "video",
                               static_cast<int64_t>(lead[e].at),
                               -1,
                               "start (within a frame of the previous entry's end)",
                               "at most " + Sec(end + frame),
                               Sec(first)};
            return f.At(d, f.EntryOf(lead_kind, e), first);
        }
    }
    if (!lead.empty()) {
        checked->push_back("join: every entry starts where the one before ends");
    }
    return std::nullopt;
}

// The first frame of every entry (a join) or of the cut (a run) is a key
// frame. An ASF extract starts at the first sample of its range whatever it
// is (the operation warns when none is a key frame): its first key frame is
// reported instead.
std::optional<Placed> FirstFrames(const Facts& f, std::vector<std::string>* checked) {
    const KindFacts& v = f.video;
    if (!v.planned) {
        return std::nullopt;
    }
    std::string error;
    const Timeline tl = TimelineOf(*f.output, MediaKind::Video, &error);
    if (tl.empty()) {
        return std::nullopt;
    }
    const bool run = v.form == StreamPlan::Form::RunOfOne;
    if (run && f.output->Kind() == Container::Asf) {
        for (size_t i = 0; i < tl.size(); ++i) {
            if (tl[i].key) {
                checked->push_back("video: first key frame at " + Sec(tl[i].time - tl[0].time));
                break;
            }
        }
        return std::nullopt;
    }
    const std::vector<uint64_t> starts = run ? std::vector<uint64_t>{0} : v.outcome.entryStarts;
    for (size_t e = 0; e < starts.size(); ++e) {
        const size_t i = static_cast<size_t>(starts[e]);
        if (i < tl.size() && !tl[i].key) {
            VerifyDifference d{"video",     static_cast<int64_t>(i), -1, "first frame decodable",
                               "key frame", "not a key frame"};
            return f.At(d, run ? 1 : f.EntryOf(MediaKind::Video, e), tl[i].time - tl[0].time);
        }
    }
    return std::nullopt;
}

// A run of an extract holds every sample of its source up to the end of the
// range (to the end of the source's data without one); an ASF extract
// also every one from its start.
std::optional<Placed> RunEnds(const Facts& f, std::vector<std::string>* checked) {
    if (!f.range) {
        return std::nullopt;
    }
    const bool asf = f.output->Kind() == Container::Asf;
    const double range_end = f.range->end < 0 ? std::numeric_limits<double>::max() : f.range->end;
    double video_end = range_end;  // where the video run ends in its source
    for (const MediaKind k : {MediaKind::Video, MediaKind::Audio}) {
        const KindFacts& kf = f.Of(k);
        if (!kf.planned || kf.form != StreamPlan::Form::RunOfOne || kf.sources.size() != 1 ||
            kf.outcome.start < 0) {
            continue;
        }
        const bool bytes = k == MediaKind::Audio;
        std::string error;
        const Timeline src = TimelineOf(*kf.sources.front(), k, &error);
        const Timeline out = TimelineOf(*f.output, k, &error);
        if (src.empty()) {
            continue;
        }
        const uint64_t first = static_cast<uint64_t>(kf.outcome.start);
        const uint64_t after = first + kf.outcome.matched;
        const size_t i0 = bytes ? src.SampleAtByte(first) : static_cast<size_t>(first);
        const size_t i1 = bytes ? src.SampleAtByte(after) : static_cast<size_t>(after);
        const double shown = out.empty() ? 0 : out.End() - out[0].time;  // the output's length
        const double run_end = bytes ? src.TimeOfByte(after) : src.TimeOfSample(after);
        if (k == MediaKind::Video) {
            video_end = std::min(range_end, run_end);
        }
        // Up to a frame or packet at either end is rounding.
        const double frame = i1 < src.size() ? FrameLength(src, i1) : 0;
        const double limit = k == MediaKind::Audio && !asf ? video_end : range_end;
        if (i1 < src.size() && run_end + frame + kMs < limit) {
            const std::string to =
                limit == std::numeric_limits<double>::max() ? "the end of its data" : Sec(limit);
            VerifyDifference d{KindName(k),
                               -1,
                               -1,
                               "samples of the range (to " + to + ")",
                               "to " + Sec(std::min(limit, src.End())),
                               "to " + Sec(run_end)};
            return f.At(d, 1, shown);
        }
        if (asf && i0 > 0 && src[i0 - 1].time >= f.range->start + kMs) {
            VerifyDifference d{KindName(k),
                               0,
                               -1,
                               "samples of the range (from " + Sec(f.range->start) + ")",
                               "from " + Sec(src[i0 - 1].time),
                               "from " + Sec(src[i0].time)};
            return f.At(d, 1, 0);
        }
    }
    checked->push_back("range: no sample of it left out");
    return std::nullopt;
}

}  // namespace

int Counterpart(const std::vector<MediaFile*>& of, size_t j, const std::vector<MediaFile*>& in) {
    if (j >= of.size()) {
        return -1;
    }
    const auto nth = std::count(of.begin(), of.begin() + static_cast<std::ptrdiff_t>(j), of[j]);
    std::ptrdiff_t seen = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == of[j] && seen++ == nth) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int Facts::EntryOf(MediaKind kind, size_t j) const {
    const int i = Counterpart(Of(kind).sources, j, entries);
    return i < 0 ? 0 : i + 1;
}

Placed Facts::At(VerifyDifference d, int entry, double time) const {
    VerifyPlace place;
    place.entry = entry;
    if (entry > 0 && static_cast<size_t>(entry) <= entries.size()) {
        place.source = compare::FileName(*entries[static_cast<size_t>(entry) - 1]);
    }
    place.time = time;
    return {std::move(d), std::move(place)};
}

VerifyPlace PlaceComparison(const Facts& f, MediaKind kind, const VerifyDifference& d) {
    const KindFacts& kf = f.Of(kind);
    int entry = 0;
    if (kf.form == StreamPlan::Form::RunOfOne) {
        entry = 1;
    } else if (kf.sources.size() > 1 && kf.outcome.entry > 0) {
        entry = f.EntryOf(kind, static_cast<size_t>(kf.outcome.entry) - 1);
    }
    std::string error;
    const Timeline tl = TimelineOf(*f.output, kind, &error);
    double time = -1;
    if (d.sample >= 0) {
        time = tl.TimeOfSample(static_cast<uint64_t>(d.sample));
    } else if (d.offset >= 0 && kind == MediaKind::Audio) {
        time = tl.TimeOfByte(static_cast<uint64_t>(d.offset));
    } else if (d.field.rfind("samples", 0) == 0 || d.field.rfind("bytes", 0) == 0) {
        time = tl.End();  // the output ends too soon, or holds more
    }
    return f.At(d, entry, time).place;
}

std::optional<Placed> CheckPresentedStreams(const Facts& f, std::vector<std::string>* checked) {
    const Container c = f.output->Kind();
    if (c != Container::Avi && c != Container::Asf) {
        return std::nullopt;
    }
    if (auto d = FirstFrames(f, checked)) {
        return d;
    }
    if (auto d = c == Container::Avi ? AviSync(f, checked) : AsfJoin(f, checked)) {
        return d;
    }
    return RunEnds(f, checked);
}

}  // namespace trelvan::verify::presented
