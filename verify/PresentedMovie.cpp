#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "Atoms.h"
#include "CompareSupport.h"
#include "EditList.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "MovieWriter.h"
#include "PresentedCheck.h"
#include "SoundLayout.h"

// Movies as players present them: what each track's edit list shows of its
// media, entry after entry.
namespace trelvan::verify::presented {
namespace {

using mov::Track;

constexpr double kMsTolerance = 0.001;

std::string Sec(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f s", t);
    return buf;
}

std::shared_ptr<const mov::Movie> MovieOf(MediaFile& file) {
    int32_t r = 0;
    std::string complaint;
    return file.Kind() == Container::Movie ? file.Movie(&r, &complaint) : nullptr;
}

// The track the checks compare (MediaFile::Walk's): the first of its kind.
const Track* TrackOf(const mov::Movie* movie, MediaKind kind) {
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    for (size_t i = 0; movie && i < movie->tracks.size(); ++i) {
        if (movie->tracks[i].handler == handler) {
            return &movie->tracks[i];
        }
    }
    return nullptr;
}

// A sample's decode time and the span it is shown, media units.
struct Shown {
    int64_t dts = 0;
    int64_t pts = 0;
    int64_t end = 0;  // the next later presentation time, or pts + duration
};

std::vector<Shown> ShownOf(const Track& t) {
    std::vector<Shown> s(t.samples.size());
    std::vector<size_t> order(s.size());
    int64_t dts = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        s[i].dts = dts;
        s[i].pts = dts + t.samples[i].cts;
        s[i].end = s[i].pts + t.samples[i].duration;
        dts += t.samples[i].duration;
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&s](size_t a, size_t b) { return s[a].pts < s[b].pts; });
    for (size_t k = 0; k + 1 < order.size(); ++k) {
        if (s[order[k + 1]].pts > s[order[k]].pts) {
            s[order[k]].end = s[order[k + 1]].pts;
        }
    }
    return s;
}

// One edit: the media it shows and where in the movie, media units and
// seconds.
struct Window {
    int64_t from = 0, to = 0;  // media; from < 0: an empty edit
    double at = 0, until = 0;  // movie seconds
    size_t edit = 0;
};

std::vector<Window> WindowsOf(const Track& t, uint32_t movie_scale) {
    std::vector<Window> w;
    uint64_t movie = 0;
    const std::vector<mov::Edit> edits = mov::ExplicitEdits(t, movie_scale);
    for (size_t i = 0; i < edits.size(); ++i) {
        const mov::Edit& e = edits[i];
        const auto media = static_cast<int64_t>(mov::Rescale(e.duration, movie_scale, t.timescale));
        const double at = static_cast<double>(movie) / movie_scale;
        movie += e.duration;
        w.push_back({e.mediaTime, e.mediaTime < 0 ? -1 : e.mediaTime + media, at,
                     static_cast<double>(movie) / movie_scale, i});
    }
    return w;
}

// Whether a window shows sample `s`: at least half of its span, or all of
// a window shorter than that.
bool ShowsIn(const Window& w, const Shown& s) {
    if (w.from < 0) {
        return false;
    }
    const int64_t overlap = std::min(w.to, s.end) - std::max(w.from, s.pts);
    return overlap > 0 && (2 * overlap >= s.end - s.pts || overlap == w.to - w.from);
}

bool Shows(const std::vector<Window>& windows, const Shown& s) {
    return std::any_of(windows.begin(), windows.end(),
                       [&s](const Window& w) { return ShowsIn(w, s); });
}

// Where each entry's samples begin in the output track (decode order), from
// the comparison (video: samples; sound: bytes), or for a run at 0.
std::vector<size_t> EntrySamples(const Facts& f, MediaKind kind, const Track& t) {
    const KindFacts& kf = f.Of(kind);
    if (kf.form == StreamPlan::Form::RunOfOne) {
        return {0};
    }
    std::vector<size_t> starts;
    uint64_t bytes = 0;
    size_t i = 0;
    for (const uint64_t s : kf.outcome.entryStarts) {
        if (kind == MediaKind::Video) {
            starts.push_back(static_cast<size_t>(s));
            continue;
        }
        for (; i < t.samples.size() && bytes + t.samples[i].size <= s; ++i) {
            bytes += t.samples[i].size;
        }
        starts.push_back(i);
    }
    return starts;
}

// The entry (0-based) that decode-order sample `i` belongs to.
size_t EntryAt(const std::vector<size_t>& starts, size_t i) {
    size_t e = 0;
    while (e + 1 < starts.size() && starts[e + 1] <= i) {
        ++e;
    }
    return e;
}

// Every frame an entry's source shows is shown by the output.
std::optional<Placed> FramesShown(const Facts& f, const std::vector<Shown>& shown,
                                  const std::vector<Window>& windows,
                                  const std::vector<size_t>& starts) {
    const KindFacts& v = f.video;
    for (size_t e = 0; e < v.sources.size() && e < starts.size(); ++e) {
        const std::shared_ptr<const mov::Movie> src = MovieOf(*v.sources[e]);
        const Track* st = TrackOf(src.get(), MediaKind::Video);
        if (!st) {
            continue;
        }
        const std::vector<Shown> own = ShownOf(*st);
        const std::vector<Window> own_windows = WindowsOf(*st, src->timescale);
        // Where the output stops showing this entry: the end of the last
        // window that shows any of it.
        const size_t from = starts[e];
        double stops = -1;
        for (const Window& w : windows) {
            for (size_t j = 0; j < own.size() && from + j < shown.size(); ++j) {
                if (ShowsIn(w, shown[from + j])) {
                    stops = std::max(stops, w.until);
                    break;
                }
            }
        }
        for (size_t j = 0; j < own.size(); ++j) {
            if (!Shows(own_windows, own[j])) {
                continue;
            }
            if (from + j >= shown.size() || !Shows(windows, shown[from + j])) {
                // Where the source itself shows it.
                double at = 0;
                for (const Window& w : own_windows) {
                    if (ShowsIn(w, own[j])) {
                        at = w.at + static_cast<double>(std::max(own[j].pts, w.from) - w.from) /
                                        st->timescale;
                        break;
                    }
                }
                VerifyDifference d{
                    "video",
                    static_cast<int64_t>(from + j),
                    -1,
                    "frame shown (" + compare::FileName(*v.sources[e]) + " at " + Sec(at) + ")",
                    "shown by an edit",
                    "shown by none"};
                return f.At(d, f.EntryOf(MediaKind::Video, e), std::max(stops, 0.0));
            }
        }
    }
    return std::nullopt;
}

// Each edit starts on a frame that decodes: a sync sample of the frame's
// own entry at or before it in decode order.
std::optional<Placed> EditsDecodable(const Facts& f, const Track& t,
                                     const std::vector<Shown>& shown,
                                     const std::vector<Window>& windows,
                                     const std::vector<size_t>& starts) {
    for (const Window& w : windows) {
        size_t first = shown.size();
        for (size_t i = 0; i < shown.size(); ++i) {
            if (ShowsIn(w, shown[i]) &&
                (first == shown.size() || shown[i].pts < shown[first].pts)) {
                first = i;
            }
        }
        if (first == shown.size()) {
            continue;
        }
        const size_t e = EntryAt(starts, first);
        int64_t sync = -1;
        for (size_t i = first + 1; i-- > starts[e];) {
            if (t.samples[i].flags & mov::kSampleSync) {
                sync = static_cast<int64_t>(i);
                break;
            }
        }
        if (sync < 0) {
            const KindFacts& v = f.video;
            VerifyDifference d{"video",
                               static_cast<int64_t>(first),
                               -1,
                               "edit " + std::to_string(w.edit + 1) + " first frame decodable",
                               "a sync sample from sample " + std::to_string(starts[e]) + " on",
                               "none"};
            return f.At(d, e < v.sources.size() ? f.EntryOf(MediaKind::Video, e) : 1, w.at);
        }
    }
    return std::nullopt;
}

// The media time where each entry of a kind begins, from the sources'
// tables (the comparison has not run yet): to name an entry.
std::vector<int64_t> EntryMediaStarts(const Facts& f, MediaKind kind, const Track& t) {
    std::vector<int64_t> starts;
    const KindFacts& kf = f.Of(kind);
    uint64_t at = 0;
    for (MediaFile* s : kf.sources) {
        starts.push_back(static_cast<int64_t>(at));
        const std::shared_ptr<const mov::Movie> m = MovieOf(*s);
        if (const Track* st = TrackOf(m.get(), kind)) {
            at += mov::Rescale(st->MediaDuration(), st->timescale, t.timescale);
        }
    }
    return starts;
}

int EntryOfMedia(const Facts& f, MediaKind kind, const std::vector<int64_t>& starts, int64_t m) {
    const KindFacts& kf = f.Of(kind);
    size_t e = 0;
    while (e + 1 < starts.size() && starts[e + 1] <= m) {
        ++e;
    }
    return e < kf.sources.size() ? f.EntryOf(kind, e) : 0;
}

// A join of several entries or a cut of one: the operations that lay out
// their tracks anew (a separate or a unite keeps its source's edits).
bool JoinedOrCut(const Facts& f) {
    for (const MediaKind k : {MediaKind::Video, MediaKind::Audio}) {
        const KindFacts& kf = f.Of(k);
        if (kf.planned && (kf.form == StreamPlan::Form::RunOfOne || kf.sources.size() > 1)) {
            return true;
        }
    }
    return false;
}

// The movie time (seconds) at which media time `m` of a track is shown: in
// the window that shows it, or carried on from the nearest one before it
// (the first one for media before every window).
double MovieTimeOf(const std::vector<Window>& windows, int64_t m, uint32_t media_scale) {
    const Window* near = nullptr;
    for (const Window& w : windows) {
        if (w.from < 0) {
            continue;
        }
        if (m >= w.from && m < w.to) {
            near = &w;
            break;
        }
        if (!near || w.from <= m) {
            near = &w;
        }
    }
    if (!near || media_scale == 0) {
        return static_cast<double>(m) / std::max(media_scale, 1u);
    }
    return near->at + static_cast<double>(m - near->from) / media_scale;
}

// The media time of byte `byte` of a track's samples (in proportion within
// its sample).
int64_t MediaTimeOfByte(const Track& t, uint64_t byte) {
    uint64_t bytes = 0;
    int64_t dts = 0;
    for (const mov::Sample& s : t.samples) {
        if (byte < bytes + s.size) {
            return dts +
                   static_cast<int64_t>(static_cast<double>(byte - bytes) / s.size * s.duration);
        }
        bytes += s.size;
        dts += s.duration;
    }
    return dts;
}

// One sound packet of a track, seconds: a frame run's packet, or the
// middle one of its samples' durations (the first and last packets of an
// entry may be cut short).
double PacketSeconds(const Track& t) {
    if (t.timescale == 0 || t.samples.empty()) {
        return 0;
    }
    if (t.frameRuns && !t.descriptions.empty()) {
        return static_cast<double>(mov::FramePackingOf(t.descriptions.front()).framesPerPacket) /
               t.timescale;
    }
    std::vector<uint32_t> d;
    d.reserve(t.samples.size());
    for (const mov::Sample& s : t.samples) {
        d.push_back(s.duration);
    }
    std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
    return static_cast<double>(d[d.size() / 2]) / t.timescale;
}

// The earliest presentation time of decode-order samples [from, to).
int64_t FirstShown(const std::vector<Shown>& shown, size_t from, size_t to) {
    int64_t first = std::numeric_limits<int64_t>::max();
    for (size_t i = from; i < to && i < shown.size(); ++i) {
        first = std::min(first, shown[i].pts);
    }
    return first == std::numeric_limits<int64_t>::max() ? 0 : first;
}

// A joined or cut track plays with one edit: after the leading empty edit
// of the first entry's own offset, if any, nothing more (players built on
// GStreamer stop at a second edit, and an empty edit between entries shows
// nothing).
std::optional<Placed> OneEditPerTrack(const Facts& f, const mov::Movie& movie) {
    for (size_t n = 0; n < movie.tracks.size(); ++n) {
        const Track& t = movie.tracks[n];
        const std::vector<Window> w = WindowsOf(t, movie.timescale);
        const size_t lead = w.size() > 1 && w.front().from < 0 ? 1 : 0;
        if (w.size() <= lead + 1) {
            continue;
        }
        const MediaKind kind = t.handler == mov::atom::kSoun ? MediaKind::Audio : MediaKind::Video;
        const bool compared = TrackOf(&movie, kind) == &t &&
                              (t.handler == mov::atom::kSoun || t.handler == mov::atom::kVide);
        // The entry that the second edit shows (an empty one: the next that
        // shows something).
        int entry = 0;
        if (compared) {
            const std::vector<int64_t> starts = EntryMediaStarts(f, kind, t);
            for (size_t i = lead + 1; i < w.size() && entry == 0; ++i) {
                entry = w[i].from >= 0 ? EntryOfMedia(f, kind, starts, w[i].from) : 0;
            }
        }
        const std::string name =
            "trak " + std::to_string(n) + (compared ? " " + std::string(KindName(kind)) : "");
        VerifyDifference d{name,
                           -1,
                           -1,
                           "edit " + std::to_string(lead + 2) + " (a second edit inside the track)",
                           lead ? "one edit after the leading empty one" : "one edit",
                           std::to_string(w.size() - lead) + " edits"};
        return f.At(d, entry, w[lead + 1].at);
    }
    return std::nullopt;
}

// Readers that stream the file (GStreamer in push mode) end a track at its
// first sample whose stored presentation time lies at or past the movie's
// end, and then lose their place in the stream: every other sample must lie
// in the file before such a sample of another track, or the last frames of
// the former are never read. Which samples count is the writer's own rule.
std::optional<Placed> ChunkOrder(const Facts& f, const mov::Movie& movie) {
    struct Late {
        uint64_t offset = UINT64_MAX;
        size_t track = 0;
    };
    std::vector<size_t> first_late_of(movie.tracks.size());
    Late first_late;
    for (size_t n = 0; n < movie.tracks.size(); ++n) {
        const Track& t = movie.tracks[n];
        const std::vector<Shown> shown = ShownOf(t);
        size_t i = 0;
        while (i < shown.size() && !mov::ShownPastMovieEnd(shown[i].pts, t.timescale,
                                                           movie.Duration(), movie.timescale)) {
            ++i;
        }
        first_late_of[n] = i;
        for (size_t k = i; k < shown.size(); ++k) {
            if (t.samples[k].offset < first_late.offset) {
                first_late = {t.samples[k].offset, n};
            }
        }
    }
    for (size_t n = 0; n < movie.tracks.size() && first_late.offset != UINT64_MAX; ++n) {
        const Track& t = movie.tracks[n];
        for (size_t i = 0; n != first_late.track && i < first_late_of[n]; ++i) {
            if (t.samples[i].offset > first_late.offset) {
                const MediaKind kind =
                    t.handler == mov::atom::kSoun ? MediaKind::Audio : MediaKind::Video;
                const bool compared = TrackOf(&movie, kind) == &t;
                const std::vector<Shown> shown = ShownOf(t);
                int entry = 0;
                if (compared) {
                    entry = EntryOfMedia(f, kind, EntryMediaStarts(f, kind, t), shown[i].dts);
                }
                VerifyDifference d{"trak " + std::to_string(n) +
                                       (compared ? " " + std::string(KindName(kind)) : ""),
                                   static_cast<int64_t>(i),
                                   -1,
                                   "chunk order (before trak " + std::to_string(first_late.track) +
                                       "'s samples past the movie end)",
                                   "before byte " + std::to_string(first_late.offset),
                                   "at byte " + std::to_string(t.samples[i].offset)};
                return f.At(d, entry,
                            MovieTimeOf(WindowsOf(t, movie.timescale), shown[i].end, t.timescale));
            }
        }
    }
    return std::nullopt;
}

// No two frames of the output's video are shown at one time (a join whose
// entry begins on the previous one's last frame).
std::optional<Placed> NoSharedTimes(const Facts& f, const std::vector<Shown>& shown,
                                    const std::vector<Window>& windows,
                                    const std::vector<size_t>& starts, uint32_t media_scale) {
    std::vector<size_t> order(shown.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&shown](size_t a, size_t b) { return shown[a].pts < shown[b].pts; });
    for (size_t k = 1; k < order.size(); ++k) {
        const Shown& a = shown[order[k - 1]];
        const Shown& b = shown[order[k]];
        if (a.pts != b.pts || !Shows(windows, b)) {
            continue;
        }
        const size_t later = std::max(order[k - 1], order[k]);
        const size_t e = EntryAt(starts, later);
        VerifyDifference d{
            "video",
            static_cast<int64_t>(later),
            -1,
            "presentation time (one frame at a time)",
            "after sample " + std::to_string(std::min(order[k - 1], order[k])) + "'s",
            "the same, media time " + std::to_string(b.pts)};
        return f.At(d, e < f.video.sources.size() ? f.EntryOf(MediaKind::Video, e) : 1,
                    MovieTimeOf(windows, b.pts, media_scale));
    }
    return std::nullopt;
}

// Every entry's sound starts with its video as in its own movie: the offset
// between the two tracks where the entry begins in the output equals the
// source's, within one sound packet (players meet nothing else at a join).
std::optional<Placed> JoinSync(const Facts& f, const mov::Movie& movie,
                               std::vector<std::string>* checked) {
    const KindFacts& v = f.video;
    const KindFacts& a = f.audio;
    const Track* tv = TrackOf(&movie, MediaKind::Video);
    const Track* ta = TrackOf(&movie, MediaKind::Audio);
    if (!v.planned || !a.planned || a.sources.size() < 2 ||
        a.form != StreamPlan::Form::Concatenation || !tv || !ta) {
        return std::nullopt;
    }
    const std::vector<Shown> shown = ShownOf(*tv);
    const std::vector<Window> win_v = WindowsOf(*tv, movie.timescale);
    const std::vector<Window> win_a = WindowsOf(*ta, movie.timescale);
    const std::vector<size_t> vstarts = EntrySamples(f, MediaKind::Video, *tv);
    const double tolerance =
        PacketSeconds(*ta) + 1.0 / std::max(movie.timescale, 1u) + kMsTolerance;
    double worst = 0;
    for (size_t j = 0; j < a.sources.size() && j < a.outcome.entryStarts.size(); ++j) {
        const int vi = Counterpart(a.sources, j, v.sources);
        if (vi < 0 || static_cast<size_t>(vi) >= vstarts.size()) {
            continue;
        }
        const std::shared_ptr<const mov::Movie> src = MovieOf(*a.sources[j]);
        const Track* sv = TrackOf(src.get(), MediaKind::Video);
        const Track* sa = TrackOf(src.get(), MediaKind::Audio);
        if (!sv || !sa || sv->samples.empty() || sa->samples.empty()) {
            continue;
        }
        const size_t e = static_cast<size_t>(vi);
        const size_t vend = e + 1 < vstarts.size() ? vstarts[e + 1] : shown.size();
        const double v_out = MovieTimeOf(win_v, FirstShown(shown, vstarts[e], vend), tv->timescale);
        const double a_out =
            MovieTimeOf(win_a, MediaTimeOfByte(*ta, a.outcome.entryStarts[j]), ta->timescale);
        const std::vector<Shown> own = ShownOf(*sv);
        const double v_src = MovieTimeOf(WindowsOf(*sv, src->timescale),
                                         FirstShown(own, 0, own.size()), sv->timescale);
        const uint64_t resumed = j < a.outcome.entryResumed.size() ? a.outcome.entryResumed[j] : 0;
        const double a_src = MovieTimeOf(WindowsOf(*sa, src->timescale),
                                         MediaTimeOfByte(*sa, resumed), sa->timescale);
        const double off = (a_out - v_out) - (a_src - v_src);
        worst = std::max(worst, std::fabs(off));
        if (std::fabs(off) > tolerance) {
            VerifyDifference d{
                "audio",
                -1,
                static_cast<int64_t>(a.outcome.entryStarts[j]),
                "sound start (with its video as in " + compare::FileName(*a.sources[j]) +
                    ", within " + std::to_string(static_cast<int>(tolerance * 1000 + 0.5)) + " ms)",
                Sec(v_out + a_src - v_src),
                Sec(a_out)};
            return f.At(d, f.EntryOf(MediaKind::Audio, j), v_out);
        }
    }
    checked->push_back("join: every entry's sound with its video (within " +
                       std::to_string(static_cast<int>(worst * 1000 + 0.5)) + " ms)");
    return std::nullopt;
}

// An edit that plays beyond its track's media: one starting at or after the
// media's end, or one running past where its last sample is shown by more
// than rounding allows.
struct Overreach {
    Window window;
    bool beforeMedia = false;  // true: the edit starts outside the media
    int64_t limit = 0;         // the media's end it passes (media units)
};

std::optional<Overreach> FirstOverreach(const Track& t, uint32_t movie_scale, size_t entries) {
    const auto media_end = static_cast<int64_t>(t.PresentationEnd());
    const auto decode_end = static_cast<int64_t>(t.MediaDuration());
    // Each entry's edit may be rounded up to a movie unit, and the last
    // sample or sound packet count whole.
    const mov::FramePacking packing = t.frameRuns && !t.descriptions.empty()
                                          ? mov::FramePackingOf(t.descriptions.front())
                                          : mov::FramePacking{};
    const int64_t last = t.frameRuns         ? packing.framesPerPacket
                         : t.samples.empty() ? 0
                                             : t.samples.back().duration;
    const int64_t tolerance =
        static_cast<int64_t>(std::max<size_t>(entries, 1) *
                             (t.timescale / std::max(movie_scale, 1u) + 1)) +
        last;
    for (const Window& w : WindowsOf(t, movie_scale)) {
        if (w.from < 0) {
            continue;
        }
        if (w.from >= decode_end) {
            return Overreach{w, true, decode_end};
        }
        if (w.to > media_end + tolerance) {
            return Overreach{w, false, media_end};
        }
    }
    return std::nullopt;
}

// Whether a source already has a track of `handler` whose edits play beyond
// its media (files from other writers do): the output copies those edits as
// they are, and players show it as they show the source.
bool SourcesOverreach(const Facts& f, uint32_t handler) {
    for (MediaFile* s : f.entries) {
        const std::shared_ptr<const mov::Movie> m = MovieOf(*s);
        if (!m) {
            continue;
        }
        for (const Track& st : m->tracks) {
            if (st.handler == handler && FirstOverreach(st, m->timescale, 1)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::vector<size_t> JoinTrackRanks(MediaFile& output, MediaKind kind,
                                   const std::vector<MediaFile*>& sources) {
    const std::shared_ptr<const mov::Movie> movie = MovieOf(output);
    if (!movie) {
        return {};
    }
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    std::vector<size_t> ranks;
    for (MediaFile* s : sources) {
        const std::shared_ptr<const mov::Movie> m = MovieOf(*s);
        const Track* own = TrackOf(m.get(), kind);
        size_t rank = 0;
        for (size_t i = 0, r = 0; own && i < movie->tracks.size(); ++i) {
            if (movie->tracks[i].handler != handler) {
                continue;
            }
            if (mov::PastesInto(movie->tracks[i], *own)) {
                rank = r;
                break;
            }
            ++r;
        }
        ranks.push_back(rank);
    }
    return ranks;
}

std::optional<Placed> CheckMovieTables(const Facts& f, std::vector<std::string>* checked) {
    const std::shared_ptr<const mov::Movie> movie = MovieOf(*f.output);
    if (!movie) {
        return std::nullopt;
    }
    if (JoinedOrCut(f)) {
        if (auto d = OneEditPerTrack(f, *movie)) {
            return d;
        }
    }
    if (auto d = ChunkOrder(f, *movie)) {
        return d;
    }
    for (size_t n = 0; n < movie->tracks.size(); ++n) {
        const Track& t = movie->tracks[n];
        const MediaKind kind = t.handler == mov::atom::kSoun ? MediaKind::Audio : MediaKind::Video;
        const bool compared = TrackOf(movie.get(), kind) == &t &&
                              (t.handler == mov::atom::kSoun || t.handler == mov::atom::kVide);
        const std::vector<int64_t> starts =
            compared ? EntryMediaStarts(f, kind, t) : std::vector<int64_t>{};
        auto entry = [&](int64_t m) { return compared ? EntryOfMedia(f, kind, starts, m) : 0; };
        const std::string name =
            "trak " + std::to_string(n) + " " + (compared ? KindName(kind) : "");
        if (const std::optional<Overreach> o = FirstOverreach(t, movie->timescale, f.entries.size());
            o && !SourcesOverreach(f, t.handler)) {
            const Window& w = o->window;
            if (o->beforeMedia) {
                VerifyDifference d{
                    name,
                    -1,
                    -1,
                    "edit " + std::to_string(w.edit + 1) + " media time (inside the media)",
                    "below " + std::to_string(o->limit),
                    std::to_string(w.from)};
                return f.At(d, entry(w.from), w.at);
            }
            VerifyDifference d{name,
                               -1,
                               -1,
                               "edit " + std::to_string(w.edit + 1) +
                                   " end (within the media's presentation, media units)",
                               "at most " + std::to_string(o->limit),
                               std::to_string(w.to)};
            return f.At(d, entry(w.from), w.until);
        }
        // Sound of packets: every chunk whole packets; only an entry's last
        // chunk may end in a part of one (its frames are all the entry has).
        if (!t.frameRuns) {
            continue;
        }
        uint64_t dts = 0;
        for (size_t i = 0; i < t.samples.size(); ++i) {
            const mov::Sample& s = t.samples[i];
            const uint64_t next = dts + s.duration;
            const bool entry_ends =
                i + 1 == t.samples.size() ||
                std::find(starts.begin(), starts.end(), static_cast<int64_t>(next)) != starts.end();
            const size_t d_index = s.desc >= 1 && s.desc <= t.descriptions.size() ? s.desc - 1u : 0;
            const mov::FramePacking p = t.descriptions.empty()
                                            ? mov::FramePacking{}
                                            : mov::FramePackingOf(t.descriptions[d_index]);
            if (p.framesPerPacket > 1 && s.count % p.framesPerPacket != 0 && !entry_ends) {
                VerifyDifference d{name,
                                   static_cast<int64_t>(i),
                                   -1,
                                   "frames of the chunk (whole packets of " +
                                       std::to_string(p.framesPerPacket) + ")",
                                   "a multiple of " + std::to_string(p.framesPerPacket),
                                   std::to_string(s.count)};
                // Placed where the chunk ends inside a packet.
                return f.At(d, entry(static_cast<int64_t>(dts)),
                            t.timescale ? static_cast<double>(next) / t.timescale : -1);
            }
            dts = next;
        }
    }
    checked->push_back(JoinedOrCut(f) ? "one edit per track, edits within their media, chunks in "
                                        "order, sound in whole packets"
                                      : "edits within their media, chunks in order, sound in whole "
                                        "packets");
    return std::nullopt;
}

std::optional<Placed> CheckPresentedMovie(const Facts& f, std::vector<std::string>* checked) {
    const std::shared_ptr<const mov::Movie> movie = MovieOf(*f.output);
    if (!movie) {
        return std::nullopt;
    }
    for (const MediaKind kind : {MediaKind::Video, MediaKind::Audio}) {
        const Track* t = TrackOf(movie.get(), kind);
        const KindFacts& kf = f.Of(kind);
        if (!t || !kf.planned || kf.sources.empty()) {
            continue;
        }
        const std::vector<Shown> shown = ShownOf(*t);
        const std::vector<Window> windows = WindowsOf(*t, movie->timescale);
        const std::vector<size_t> starts = EntrySamples(f, kind, *t);
        if (starts.empty()) {
            continue;
        }
        if (kind != MediaKind::Video) {
            continue;
        }
        if (JoinedOrCut(f)) {
            if (auto d = NoSharedTimes(f, shown, windows, starts, t->timescale)) {
                return d;
            }
        }
        if (kf.form == StreamPlan::Form::Concatenation) {
            if (auto d = FramesShown(f, shown, windows, starts)) {
                return d;
            }
        }
        if (auto d = EditsDecodable(f, *t, shown, windows, starts)) {
            return d;
        }
    }
    if (auto d = JoinSync(f, *movie, checked)) {
        return d;
    }
    checked->push_back("edits show every entry's frames in order, each from a sync sample");
    return std::nullopt;
}

std::optional<Placed> CheckPresented(const Facts& f, std::vector<std::string>* checked) {
    if (f.output->Kind() == Container::Movie) {
        return CheckPresentedMovie(f, checked);
    }
    return CheckPresentedStreams(f, checked);
}

}  // namespace trelvan::verify::presented
