#include "MovieEditor.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "Atoms.h"
#include "EditList.h"
#include "EntryJoin.h"
#include "SampleDescription.h"
#include "SoundLayout.h"
#include "TrackSilence.h"

namespace trelvan::mov {

bool SameLanguage(uint16_t a, uint16_t b) {
    // "und" (undetermined) and 0x7FFF (unspecified) say the same.
    constexpr uint16_t kUnd = ('u' - 0x60) << 10 | ('n' - 0x60) << 5 | ('d' - 0x60);
    const auto open = [](uint16_t l) { return l == kUnd || l == 0x7FFF; };
    return a == b || (open(a) && open(b));
}

bool PastesInto(const Track& a, const Track& b) {
    // The size table only shapes sound whose tables count frames; video of
    // constant-size frames (a still scene, intra-only codecs) is not
    // another kind of track.
    const bool sameLayout = a.frameRuns == b.frameRuns &&
                            (!a.frameRuns || a.frameTableSize == b.frameTableSize);
    return a.handler == b.handler && a.timescale == b.timescale &&
           SameLanguage(a.language, b.language) && a.width == b.width && a.height == b.height &&
           a.matrix == b.matrix && a.alternateGroup == b.alternateGroup && sameLayout;
}

namespace {

// The index of `source` in `movie`, added when it is not there yet.
std::optional<uint16_t> SourceIndex(Movie& movie, const Source& source) {
    for (size_t i = 0; i < movie.sources.size(); ++i) {
        if (movie.sources[i].file == source.file) {
            return static_cast<uint16_t>(i);
        }
    }
    if (movie.sources.size() >= UINT16_MAX) {
        return std::nullopt;
    }
    movie.sources.push_back(source);
    return static_cast<uint16_t>(movie.sources.size() - 1);
}

}  // namespace

void MovieEditor::SetSelection(uint64_t start, uint64_t duration) {
    m_selStart = start;
    m_selDuration = duration;
    m_current = start;
}

void MovieEditor::SetCurrentTime(uint64_t time) {
    m_current = time;
    m_selStart = time;
    m_selDuration = 0;
}

void MovieEditor::Remember() {
    UndoState u;
    u.tracks = m_movie.tracks.size();
    u.sources = m_movie.sources.size();
    u.nextTrackId = m_movie.nextTrackId;
    for (const Track& t : m_movie.tracks) {
        // A join may drop or change the last few samples.
        const size_t keep = std::min<size_t>(t.samples.size(), 16);
        u.states.push_back(
            {t.samples.size(),
             t.descriptions.size(),
             t.hasEdits,
             t.edits,
             {t.samples.end() - static_cast<std::ptrdiff_t>(keep), t.samples.end()}});
    }
    u.selStart = m_selStart;
    u.selDuration = m_selDuration;
    u.current = m_current;
    m_undo = std::move(u);
}

MovResult MovieEditor::Undo() {
    if (!m_undo) {
        return kNoErr;  // nothing to take back
    }
    const UndoState& u = *m_undo;
    m_movie.tracks.resize(u.tracks);
    for (size_t i = 0; i < u.tracks; ++i) {
        Track& t = m_movie.tracks[i];
        const TrackState& s = u.states[i];
        t.samples.resize(s.samples - s.tail.size());
        t.samples.insert(t.samples.end(), s.tail.begin(), s.tail.end());
        t.descriptions.resize(s.descriptions);
        t.hasEdits = s.hasEdits;
        t.edits = s.edits;
    }
    m_movie.sources.resize(u.sources);
    m_movie.nextTrackId = u.nextTrackId;
    m_selStart = u.selStart;
    m_selDuration = u.selDuration;
    m_current = u.current;
    m_undo.reset();
    m_entryEnd.reset();
    return kNoErr;
}

MovResult MovieEditor::CopySelection(Movie& scrap) const {
    scrap = Movie{};
    scrap.brand = m_movie.brand;
    scrap.minorVersion = m_movie.minorVersion;
    scrap.compatibleBrands = m_movie.compatibleBrands;
    scrap.timescale = m_movie.timescale;
    scrap.rate = m_movie.rate;
    scrap.volume = m_movie.volume;
    scrap.matrix = m_movie.matrix;
    scrap.extras = m_movie.extras;
    scrap.sources = m_movie.sources;
    scrap.nextTrackId = m_movie.nextTrackId;
    if (m_selDuration == 0) {
        return kNoErr;  // an empty selection copies an empty movie
    }
    const bool whole = m_selStart == 0 && m_selDuration >= m_movie.Duration();
    for (const Track& t : m_movie.tracks) {
        Track copy = t;
        if (!whole) {
            copy.edits = TakeEdits(ExplicitEdits(t, m_movie.timescale), m_selStart, m_selDuration,
                                   m_movie.timescale, t.timescale);
            copy.hasEdits = true;
            if (copy.edits.empty()) {
                continue;
            }
        }
        scrap.tracks.push_back(std::move(copy));
    }
    return kNoErr;
}

void MovieEditor::ClearRange(uint64_t start, uint64_t duration) {
    for (Track& t : m_movie.tracks) {
        std::vector<Edit> edits = ExplicitEdits(t, m_movie.timescale);
        if (start >= EditsDuration(edits)) {
            continue;
        }
        RemoveEdits(edits, start, duration, m_movie.timescale, t.timescale);
        t.edits = std::move(edits);
        t.hasEdits = true;
    }
}

MovResult MovieEditor::ClearSelection() {
    if (m_selDuration == 0) {
        return kNoErr;
    }
    Remember();
    ClearRange(m_selStart, m_selDuration);
    SetCurrentTime(m_selStart);
    return kNoErr;
}

MovResult MovieEditor::CutSelection(Movie& scrap) {
    if (const MovResult rc = CopySelection(scrap); rc != kNoErr) {
        return rc;
    }
    return ClearSelection();
}

namespace {

// Sound ending in part of a packet: the packet counts whole, so that media
// appended after it starts where decoders take it to (they decode whole
// packets, whatever the tables say the last one lasts); the track's edits
// still end where its sound did. Frame tables (a source's last chunk) get
// the missing frames, packets of one length that length.
void CompleteLastPacket(Track& a) {
    if (a.handler != atom::kSoun || a.samples.size() < 2 || a.samples.back().desc < 1 ||
        a.samples.back().desc > a.descriptions.size()) {
        return;
    }
    Sample& last = a.samples.back();
    if (!a.frameRuns) {
        // Packets of one length (AAC, MP3, AC-3): the last one decodes as
        // long as the others, whether its table time is shorter (the end of
        // the sound) or longer (a gap after it, which the join closes with
        // silence where it can).
        const uint32_t usual = a.samples[a.samples.size() / 2].duration;
        if (a.samples.size() > 3 && a.samples[1].duration == usual &&
            a.samples[a.samples.size() - 2].duration == usual) {
            last.duration = usual;
        }
        return;
    }
    const uint32_t perPacket = FramePackingOf(a.descriptions[last.desc - 1]).framesPerPacket;
    if (perPacket > 1 && last.count % perPacket != 0 && last.count > 0) {
        const uint32_t missing = perPacket - last.count % perPacket;
        last.duration += missing * (last.duration / last.count);
        last.count += missing;
    }
}

// The track's edits, ending where its last frame shown ends (B-frame video
// shows frames after its decode times end), so that they do not reach into
// media appended after it.
std::vector<Edit> EditsWithinMedia(const Track& a, uint32_t movieScale) {
    std::vector<Edit> edits = PresentedEdits(a, movieScale);
    ClampEditsToMedia(edits, a.PresentationEnd(), movieScale, a.timescale);
    return edits;
}

bool IsText(const Track& t) {
    return t.handler == atom::kText || t.handler == atom::Type("sbtl");
}

}  // namespace

void MovieEditor::CloseGap(Track& a, const TrackJoin& join) {
    // Undo keeps the samples a join drops, however many.
    const auto index = static_cast<size_t>(&a - m_movie.tracks.data());
    if (m_undo && index < m_undo->states.size()) {
        std::vector<Sample>& kept = m_undo->states[index].tail;
        if (join.dropTail + 1 > kept.size() && kept.size() < a.samples.size()) {
            const size_t more = std::min(join.dropTail + 1, a.samples.size()) - kept.size();
            const auto from = a.samples.end() - static_cast<std::ptrdiff_t>(kept.size() + more);
            kept.insert(kept.begin(), from, from + static_cast<std::ptrdiff_t>(more));
        }
    }
    a.samples.resize(a.samples.size() - join.dropTail);
    if (join.fill == 0) {
        return;
    }
    const Sample last = a.samples.back();
    // (A source index is 16 bits: past that, the last sample lasts longer.)
    const bool room = m_movie.sources.size() < UINT16_MAX;
    const std::optional<TrackSilence> silence =
        join.silencePackets > 0 && room ? SilenceAfter(m_movie, a) : std::nullopt;
    if (silence) {
        // Runs of frames: up to half a second of packets per run, all read
        // from one block of silence.
        const uint64_t perRun =
            a.frameRuns ? std::max<uint64_t>(1, a.timescale / 2 / silence->duration) : 1;
        std::vector<uint8_t> bytes;
        for (uint64_t i = 0; i < std::min(perRun, join.silencePackets); ++i) {
            bytes.insert(bytes.end(), silence->unit.begin(), silence->unit.end());
        }
        m_movie.sources.push_back({"", std::make_shared<MemFile>(std::move(bytes))});
        const auto source = static_cast<uint16_t>(m_movie.sources.size() - 1);
        for (uint64_t done = 0; done < join.silencePackets;) {
            const uint64_t n = std::min(perRun, join.silencePackets - done);
            Sample q;
            q.size = static_cast<uint32_t>(n * silence->unit.size());
            q.duration = static_cast<uint32_t>(n * silence->duration);
            q.count = static_cast<uint32_t>(n * silence->count);
            q.desc = silence->desc;
            q.source = source;
            a.samples.push_back(q);
            done += n;
        }
        return;
    }
    if (IsText(a) && last.size > 2 && room) {
        // The last cue ends where it did: an empty sample holds the gap.
        static const uint8_t kEmptyText[2] = {0, 0};
        m_movie.sources.push_back(
            {"", std::make_shared<MemFile>(std::vector<uint8_t>(kEmptyText, kEmptyText + 2))});
        Sample q;
        q.size = 2;
        q.duration = static_cast<uint32_t>(join.fill);
        q.desc = last.desc;
        q.source = static_cast<uint16_t>(m_movie.sources.size() - 1);
        a.samples.push_back(q);
        return;
    }
    Sample& longer = a.samples.back();
    longer.duration = static_cast<uint32_t>(
        std::min<uint64_t>(UINT32_MAX, static_cast<uint64_t>(longer.duration) + join.fill));
}

MovResult MovieEditor::Paste(const Movie& scrap) {
    if (scrap.timescale == 0) {
        return kParamErr;
    }
    Remember();
    uint64_t at = m_current;
    if (m_selDuration > 0) {
        ClearRange(m_selStart, m_selDuration);
        at = m_selStart;
    }
    const uint32_t scale = m_movie.timescale;
    // At the end of the movie the scrap is the next entry, joined end to end
    // with one edit per track. Its start is kept unrounded from entry to
    // entry (`at` is rounded to the movie's time scale).
    const bool append = at > 0 && at >= m_movie.Duration() && !m_movie.tracks.empty();
    double start = static_cast<double>(at);
    if (append && m_entryEnd && std::abs(*m_entryEnd - start) <= 1) {
        start = *m_entryEnd;
    }
    const size_t ownTracks = m_movie.tracks.size();
    std::vector<bool> taken(ownTracks, false);
    std::map<uint32_t, uint32_t> newIds;  // scrap track id → id here
    std::vector<size_t> added;

    // Which track each scrap track goes into (ownTracks: a new one).
    std::vector<size_t> into(scrap.tracks.size(), ownTracks);
    for (size_t bi = 0; bi < scrap.tracks.size(); ++bi) {
        for (size_t i = 0; i < ownTracks && !scrap.tracks[bi].samples.empty(); ++i) {
            if (!taken[i] && PastesInto(m_movie.tracks[i], scrap.tracks[bi])) {
                into[bi] = i;
                taken[i] = true;
                break;
            }
        }
    }
    // The joins of an appended entry; an entry whose video cannot begin as
    // early as the movie ends, or only within a frame, begins later, every
    // track with it.
    std::vector<TrackJoin> joins(scrap.tracks.size());
    for (int pass = 0; append && pass < 3; ++pass) {
        double late = 0;
        for (size_t bi = 0; bi < scrap.tracks.size(); ++bi) {
            if (into[bi] == ownTracks) {
                continue;
            }
            Track& a = m_movie.tracks[into[bi]];
            if (pass == 0) {
                CompleteLastPacket(a);
            }
            const std::optional<TrackSilence> silence = SilenceAfter(m_movie, a);
            joins[bi] =
                PlanTrackJoin(a, EditsWithinMedia(a, scale), scale,
                              {&scrap.tracks[bi], PresentedEdits(scrap.tracks[bi], scrap.timescale),
                               scrap.timescale},
                              start, silence ? silence->duration : 0);
            late = std::max(late, joins[bi].lateBy);
        }
        if (late <= 1e-6) {
            break;
        }
        start += late;
    }
    const uint64_t entryAt = append ? static_cast<uint64_t>(std::llround(start)) : at;
    const uint64_t pasted = Rescale(scrap.Duration(), scrap.timescale, scale);

    for (size_t bi = 0; bi < scrap.tracks.size(); ++bi) {
        const Track& b = scrap.tracks[bi];
        if (b.samples.empty()) {
            continue;  // empty tracks are not carried over
        }
        size_t ai = into[bi];
        if (ai == ownTracks) {
            // A new track with the scrap track's settings and media kind.
            if (m_movie.nextTrackId == UINT32_MAX) {
                Undo();
                return kInvalidTrack;
            }
            Track fresh = b;
            fresh.id = m_movie.nextTrackId++;
            fresh.samples.clear();
            fresh.descriptions.clear();
            fresh.edits.clear();
            fresh.hasEdits = true;
            m_movie.tracks.push_back(std::move(fresh));
            ai = m_movie.tracks.size() - 1;
            added.push_back(ai);
            taken.push_back(true);
        }
        newIds[b.id] = m_movie.tracks[ai].id;
        Track& a = m_movie.tracks[ai];
        const TrackJoin& entry = joins[bi];

        std::vector<Edit> edits;
        std::vector<Edit> inserted;
        JoinPlan join;
        if (entry.single) {
            // One edit: the track's last edit plays on into the entry.
            CloseGap(a, entry);
            edits = PresentedEdits(a, scale);
            edits.back().duration = entry.lastEditDuration;
            join.skip = entry.skipHead;
        } else {
            edits = ExplicitEdits(a, scale);
            // A last sample without duration would share its time with the
            // first pasted one.
            if (!a.samples.empty() && a.samples.back().duration == 0) {
                a.samples.back().duration =
                    a.samples.size() > 1 ? a.samples[a.samples.size() - 2].duration : 1;
            }
            CompleteLastPacket(a);
            ClampEditsToMedia(edits, a.PresentationEnd(), scale, a.timescale);
            // The scrap track's edits, in this movie's time scale.
            inserted = ExplicitEdits(b, scrap.timescale);
            for (Edit& e : inserted) {
                e.duration = Rescale(e.duration, scrap.timescale, scale);
            }
            join = a.samples.empty() ? JoinPlan{}
                                     : PlanJoin(edits, entryAt, a.MediaDuration(), inserted, b,
                                                b.handler == atom::kSoun, scale, a.timescale);
        }
        const auto media = static_cast<int64_t>(a.MediaDuration());

        // Descriptions: an entry that decodes alike (bit rates and labels
        // aside) is shared, another one added.
        std::vector<uint16_t> descMap(b.descriptions.size() + 1, 0);
        for (size_t d = 0; d < b.descriptions.size(); ++d) {
            const auto same =
                std::find_if(a.descriptions.begin(), a.descriptions.end(), [&](const auto& x) {
                    return SameForDecoders(a.handler, x, b.descriptions[d]);
                });
            if (same != a.descriptions.end()) {
                descMap[d + 1] = static_cast<uint16_t>(same - a.descriptions.begin() + 1);
            } else if (a.descriptions.size() < UINT16_MAX) {
                a.descriptions.push_back(b.descriptions[d]);
                descMap[d + 1] = static_cast<uint16_t>(a.descriptions.size());
            } else {
                Undo();
                return kInvalidSampleDescIndex;
            }
        }
        // Samples: appended to the media, their sources and descriptions
        // renumbered.
        std::vector<uint16_t> sourceMap(scrap.sources.size());
        for (size_t s = 0; s < scrap.sources.size(); ++s) {
            const std::optional<uint16_t> index = SourceIndex(m_movie, scrap.sources[s]);
            if (!index) {
                Undo();
                return kParamErr;
            }
            sourceMap[s] = *index;
        }
        a.samples.reserve(a.samples.size() + b.samples.size() - join.skip);
        for (size_t k = join.skip; k < b.samples.size(); ++k) {
            const Sample& s = b.samples[k];
            if (s.desc == 0 || s.desc > b.descriptions.size() || s.source >= sourceMap.size()) {
                Undo();
                return kInvalidSampleTable;
            }
            Sample copy = s;
            copy.desc = descMap[s.desc];
            copy.source = sourceMap[s.source];
            a.samples.push_back(copy);
        }
        if (entry.single) {
            // Not past the media the entry brought (its sound may lie up to
            // half a packet early).
            ClampEditsToMedia(edits, a.PresentationEnd(), scale, a.timescale);
        } else {
            // Edits: the scrap track's, pointing into the appended media.
            // Media that continues the track's last edit extends it (one
            // edit where the entries lie end to end), its movie time kept
            // whole so that the track keeps pace with the movie.
            for (Edit& e : inserted) {
                if (e.mediaTime >= 0) {
                    e.mediaTime += media - static_cast<int64_t>(join.skipped);
                }
            }
            if (join.merge) {
                edits.back().duration += entryAt - EditsDuration(edits) + inserted.front().duration;
                edits.insert(edits.end(), inserted.begin() + 1, inserted.end());
                TrimEdits(edits);
            } else {
                InsertEdits(edits, entryAt, inserted, scale, a.timescale);
            }
        }
        a.edits = std::move(edits);
        a.hasEdits = true;
    }
    // Tracks that got nothing receive empty time where the paste went in.
    for (size_t i = 0; i < ownTracks; ++i) {
        Track& t = m_movie.tracks[i];
        std::vector<Edit> edits = ExplicitEdits(t, m_movie.timescale);
        if (taken[i] || at >= EditsDuration(edits)) {
            continue;
        }
        InsertEdits(edits, at, {Edit{pasted, -1, 0x10000}}, m_movie.timescale, t.timescale);
        t.edits = std::move(edits);
        t.hasEdits = true;
    }
    // References inside new tracks follow the renumbering.
    for (size_t i : added) {
        for (TrackReference& r : m_movie.tracks[i].references) {
            for (uint32_t& id : r.ids) {
                const auto n = newIds.find(id);
                id = n != newIds.end() ? n->second : 0;
            }
            r.ids.erase(std::remove(r.ids.begin(), r.ids.end(), 0u), r.ids.end());
        }
        auto& refs = m_movie.tracks[i].references;
        refs.erase(std::remove_if(refs.begin(), refs.end(),
                                  [](const TrackReference& r) { return r.ids.empty(); }),
                   refs.end());
    }
    if (append) {
        m_entryEnd = start + static_cast<double>(scrap.Duration()) * scale / scrap.timescale;
    } else {
        m_entryEnd.reset();
    }
    m_selStart = entryAt;
    m_selDuration = pasted;
    m_current = entryAt;
    return kNoErr;
}

}  // namespace trelvan::mov
