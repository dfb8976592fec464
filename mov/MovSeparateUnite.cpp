#include <algorithm>
#include <cctype>
#include <set>

#include "Atoms.h"
#include "ByteOrder.h"
#include "MovOpSupport.h"
#include "MovOperations.h"
#include "MovieReader.h"
#include "OutputNames.h"
#include "SoundPreroll.h"

// Separate and unite: the output movie is made of whole tracks of the
// sources (their sample lists, edits, descriptions and track atoms as
// read), so every stored sample is written unchanged.
namespace trelvan {
namespace {

using mov::Movie;
using mov::Track;

constexpr uint32_t kTimecodeRef = mov::atom::Type("tmcd");
constexpr uint32_t kChapterRef = mov::atom::Type("chap");

// Indexes of the tracks a kind keeps, in file order: every track of its
// handler, and the companions those reference that are neither picture nor
// sound: for video its timecode and chapter tracks, for sound its chapter
// tracks (an audiobook keeps its chapters).
std::vector<size_t> TracksOfKind(const Movie& movie, MovTrackKind kind) {
    const bool video = kind == MovTrackKind::Video;
    const uint32_t handler = video ? mov::atom::kVide : mov::atom::kSoun;
    std::set<uint32_t> companions;
    for (const Track& t : movie.tracks) {
        if (t.handler != handler) {
            continue;
        }
        for (const mov::TrackReference& r : t.references) {
            if (r.type == kChapterRef || (video && r.type == kTimecodeRef)) {
                companions.insert(r.ids.begin(), r.ids.end());
            }
        }
    }
    std::vector<size_t> kept;
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        const Track& t = movie.tracks[i];
        if (t.handler == handler ||
            (companions.count(t.id) != 0 && t.handler != mov::atom::kSoun &&
             t.handler != mov::atom::kVide)) {
            kept.push_back(i);
        }
    }
    return kept;
}

bool HasHandler(const Movie& movie, uint32_t handler) {
    return std::any_of(movie.tracks.begin(), movie.tracks.end(),
                       [handler](const Track& t) { return t.handler == handler; });
}

// The tracks at `indexes`, with references to tracks left behind dropped.
std::vector<Track> TakeTracks(Movie& movie, const std::vector<size_t>& indexes) {
    std::vector<Track> tracks;
    std::set<uint32_t> ids;
    for (const size_t i : indexes) {
        ids.insert(movie.tracks[i].id);
        tracks.push_back(std::move(movie.tracks[i]));
    }
    for (Track& t : tracks) {
        for (mov::TrackReference& r : t.references) {
            std::erase_if(r.ids, [&ids](uint32_t id) { return ids.count(id) == 0; });
        }
        std::erase_if(t.references, [](const mov::TrackReference& r) { return r.ids.empty(); });
    }
    return tracks;
}

// Whether every sound track holds only AAC or ALAC (what an .m4a file
// carries: MPEG audio of layer 3 in 'mp4a' is not); false without sound.
bool IsM4aSound(const std::vector<Track>& tracks) {
    bool any = false;
    for (const Track& t : tracks) {
        if (t.handler != mov::atom::kSoun) {
            continue;
        }
        any = true;
        for (const std::vector<uint8_t>& d : t.descriptions) {
            const mov::SoundCoding coding = mov::SoundCodingOf(d);
            if (coding != mov::SoundCoding::Aac && coding != mov::SoundCoding::Alac) {
                return false;
            }
        }
    }
    return any;
}

// .m4a for AAC and ALAC; other sound in the family of its source: .mp4
// from an ISO file, .mov from a QuickTime movie.
std::string SoundExtension(const std::vector<Track>& tracks, uint32_t sourceBrand) {
    if (IsM4aSound(tracks)) {
        return ".m4a";
    }
    return sourceBrand == 0 || sourceBrand == mov::atom::kQt ? ".mov" : ".mp4";
}

// A track without edits whose first frame is shown after media time 0 (the
// composition delay of B-frames, as fragmented files store it) gets the
// edits that say so: an empty one for the delay, then its media from the
// first frame shown to the last one's end. Players then present it as
// before, and the movie lasts until that end (without the edits its
// duration is the stored length, and GStreamer's demuxer leaves out the
// frames shown past it).
void EditCompositionDelay(Track& t, uint32_t movieScale) {
    if (t.hasEdits || t.samples.empty() || t.timescale == 0) {
        return;
    }
    int64_t first = INT64_MAX, dts = 0;
    for (const mov::Sample& s : t.samples) {
        first = std::min(first, dts + s.cts);
        dts += s.duration;
    }
    if (first <= 0) {
        return;
    }
    const uint64_t end = t.PresentationEnd();
    if (end <= static_cast<uint64_t>(first)) {
        return;
    }
    const uint64_t delay = mov::Rescale(static_cast<uint64_t>(first), t.timescale, movieScale);
    const uint64_t shown = mov::Rescale(end, t.timescale, movieScale) - delay;
    t.edits.clear();
    if (delay > 0) {
        t.edits.push_back({delay, -1, 0x10000});
    }
    t.edits.push_back({shown, first, 0x10000});
    t.hasEdits = true;
    t.duration = delay + shown;
}

void EditCompositionDelays(Movie& movie) {
    for (Track& t : movie.tracks) {
        EditCompositionDelay(t, movie.timescale);
    }
}

uint64_t CountSamples(const Movie& movie) {
    uint64_t n = 0;
    for (const Track& t : movie.tracks) {
        n += t.samples.size();
    }
    return n;
}

// What a run does once its names are checked: the work state is
// entered, `build` reads the sources and makes the output movie (0, or the
// layer's code), and the movie is saved. The stop flag is set again at the
// end.
MovOpResult RunBuilt(MovOpResult r, const std::vector<std::string>& sources, OpContext& ctx,
                     const std::function<void()>& onBegin,
                     const std::function<mov::MovResult(Movie&, std::string&)>& build) {
    ctx.BeginWork();
    r.started = true;
    if (onBegin) {
        onBegin();
    }
    const auto finish = [&ctx, &r](mov::MovResult code) {
        r.code = code;
        r.stopped = code == mov::kProgressProcAborted;
        ctx.stop = 1;
        return r;
    };
    Movie out;
    if (const mov::MovResult rc = build(out, r.output); rc != mov::kNoErr) {
        return finish(rc);
    }
    // A default name is known only now: it must not be a source either.
    if (movop::NamesASource(r.output, sources)) {
        return finish(mov::kCantCreateSingleForkFile);
    }
    if (ctx.StopRequested()) {
        return finish(mov::kProgressProcAborted);
    }
    r.samples = CountSamples(out);
    const mov::MovResult rc = movop::SaveMovie(out, r.output, ctx);
    if (rc != mov::kNoErr) {
        r.samples = 0;
    }
    return finish(rc);
}

// Reads one source for a run; a stop request during the read ends it.
mov::MovResult ReadForRun(const std::string& path, OpContext& ctx, Movie& movie) {
    const mov::MovResult rc = movop::ReadSource(path, ctx, movie);
    if (rc != mov::kNoErr) {
        return rc;
    }
    return ctx.StopRequested() ? mov::kProgressProcAborted : mov::kNoErr;
}

}  // namespace

// ---- Separate -------------------------------------------------------------

std::string MovSeparateOutputName(const MovSeparateJob& job, const FileOpener& opener) {
    if (!job.output.empty()) {
        return job.output;
    }
    std::string ext = ".mov";
    if (job.kind == MovTrackKind::Sound) {
        Movie movie;
        if (mov::ReadMovieFile(job.source, movie, opener) == mov::kNoErr) {
            ext = SoundExtension(TakeTracks(movie, TracksOfKind(movie, job.kind)), movie.brand);
        }
    }
    return DefaultOutputName(job.source, "_cut", ext);
}

MovOpResult RunMovSeparate(const MovSeparateJob& job, OpContext& ctx,
                           const std::function<void()>& onBegin) {
    MovOpResult r;
    r.output = job.output;
    if (!job.output.empty() && movop::NamesASource(job.output, {job.source})) {
        r.code = mov::kCantCreateSingleForkFile;
        return r;
    }
    return RunBuilt(r, {job.source}, ctx, onBegin, [&](Movie& out, std::string& output) {
        if (const mov::MovResult rc = ReadForRun(job.source, ctx, out); rc != mov::kNoErr) {
            return rc;
        }
        const std::vector<size_t> kept = TracksOfKind(out, job.kind);
        if (!HasHandler(out,
                        job.kind == MovTrackKind::Video ? mov::atom::kVide : mov::atom::kSoun)) {
            return mov::kInvalidTrack;
        }
        // The movie keeps its header, metadata and sources; its duration
        // follows from the tracks left.
        out.tracks = TakeTracks(out, kept);
        EditCompositionDelays(out);
        if (output.empty()) {
            output = DefaultOutputName(
                job.source, "_cut",
                job.kind == MovTrackKind::Sound ? SoundExtension(out.tracks, out.brand) : ".mov");
        }
        return mov::kNoErr;
    });
}

// ---- Unite ----------------------------------------------------------------

std::string MovUniteDefaultOutput(const std::string& videoSource) {
    return DefaultOutputName(videoSource, "_comb", ".mov");
}

MovOpResult RunMovUnite(const MovUniteJob& job, OpContext& ctx,
                        const std::function<void()>& onBegin) {
    MovOpResult r;
    r.output = job.output.empty() ? MovUniteDefaultOutput(job.video) : job.output;
    if (movop::NamesASource(r.output, {job.video, job.audio})) {
        r.code = mov::kCantCreateSingleForkFile;
        return r;
    }
    return RunBuilt(r, {job.video, job.audio}, ctx, onBegin, [&](Movie& out, std::string&) {
        Movie sound;
        mov::MovResult rc = ReadForRun(job.video, ctx, out);
        if (rc == mov::kNoErr) {
            rc = ReadForRun(job.audio, ctx, sound);
        }
        if (rc != mov::kNoErr) {
            return rc;
        }
        if (!HasHandler(out, mov::atom::kVide) || !HasHandler(sound, mov::atom::kSoun)) {
            return mov::kInvalidTrack;
        }
        out.tracks = TakeTracks(out, TracksOfKind(out, MovTrackKind::Video));
        std::vector<Track> added = TakeTracks(sound, TracksOfKind(sound, MovTrackKind::Sound));

        // Ids of the sound tracks that clash with a video track's get new
        // ones past every id in use; their references among themselves
        // follow.
        std::set<uint32_t> used;
        uint64_t next = out.nextTrackId;
        for (const Track& t : out.tracks) {
            used.insert(t.id);
            next = std::max<uint64_t>(next, uint64_t{t.id} + 1);
        }
        for (const Track& t : added) {
            next = std::max<uint64_t>(next, uint64_t{t.id} + 1);
        }
        std::vector<std::pair<uint32_t, uint32_t>> renamed;
        for (Track& t : added) {
            if (used.count(t.id) != 0) {
                if (next > UINT32_MAX) {
                    return mov::kInvalidTrack;  // no id left
                }
                renamed.emplace_back(t.id, static_cast<uint32_t>(next));
                t.id = static_cast<uint32_t>(next++);
            }
            used.insert(t.id);
        }
        const uint16_t sourceBase = static_cast<uint16_t>(out.sources.size());
        for (Track& t : added) {
            for (mov::TrackReference& ref : t.references) {
                for (uint32_t& id : ref.ids) {
                    for (const auto& [from, to] : renamed) {
                        if (id == from) {
                            id = to;
                            break;
                        }
                    }
                }
            }
            // Edits count movie time: into the video movie's time scale.
            for (mov::Edit& e : t.edits) {
                e.duration = mov::Rescale(e.duration, sound.timescale, out.timescale);
            }
            for (mov::Sample& s : t.samples) {
                s.source = static_cast<uint16_t>(s.source + sourceBase);
            }
            out.tracks.push_back(std::move(t));
        }
        out.nextTrackId = static_cast<uint32_t>(std::min<uint64_t>(next, UINT32_MAX));
        EditCompositionDelays(out);
        for (mov::Source& s : sound.sources) {
            out.sources.push_back(std::move(s));
        }
        return mov::kNoErr;
    });
}

}  // namespace trelvan
