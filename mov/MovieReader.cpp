#include "MovieReader.h"

#include <algorithm>
#include <vector>

#include "AtomIterator.h"
#include "Atoms.h"
#include "ByteCursor.h"
#include "ByteOrder.h"
#include "FragmentAtoms.h"
#include "ReadAheadFile.h"
#include "TrackAtoms.h"

namespace trelvan::mov {
namespace {

struct TopAtom {
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;    // whole atom
    uint32_t header = 8;  // 8 or 16
    bool cut = false;     // the file ends before the size it declares
};

// The top-level atoms of the file. A size that does not fit the file ends
// the walk: the last atom of a file cut short is clamped to its end (media
// data may be cut; a header atom is then incomplete and refused later).
bool WalkTopLevel(IoFile& file, uint64_t fileSize, std::vector<TopAtom>& atoms) {
    uint64_t at = 0;
    while (fileSize - at >= 8) {
        uint8_t h[16];
        const int64_t got = file.ReadAt(at, h, sizeof h);
        if (got < 8) {
            return false;
        }
        TopAtom a;
        a.offset = at;
        a.size = bytes::GetBE32(h);
        a.type = bytes::GetBE32(h + 4);
        if (a.size == 1) {
            if (got < 16) {
                return false;
            }
            a.size = bytes::GetBE64(h + 8);
            a.header = 16;
        } else if (a.size == 0) {
            a.size = fileSize - at;
        }
        if (a.size < a.header) {
            return !atoms.empty();  // trailing garbage after sound atoms
        }
        if (a.size > fileSize - at) {
            a.size = fileSize - at;
            a.cut = true;
            atoms.push_back(a);
            return true;
        }
        atoms.push_back(a);
        at += a.size;
    }
    return true;
}

bool ReadWhole(IoFile& file, const TopAtom& a, std::vector<uint8_t>& out) {
    out.resize(static_cast<size_t>(a.size));
    return file.ReadAt(a.offset, out.data(), out.size()) == static_cast<int64_t>(out.size());
}

void ReadFileType(IoFile& file, const TopAtom& a, Movie& movie) {
    std::vector<uint8_t> bytes;
    if (a.size > 4096 || !ReadWhole(file, a, bytes)) {
        return;
    }
    ByteCursor c(std::span<const uint8_t>(bytes).subspan(a.header));
    movie.brand = c.U32();
    movie.minorVersion = c.U32();
    while (c.Remaining() >= 4) {
        movie.compatibleBrands.push_back(c.U32());
    }
}

// Read-ahead window of a source file (two per file).
constexpr size_t kSourceWindow = 64 << 10;

// The movie family: 'moov' and its direct children, through a table.
class MovieAtoms {
public:
    MovieAtoms(Movie& movie, FragmentAtoms& fragments, uint64_t fileSize, SampleBudget& budget,
               WarnHook warn)
        : m_movie(movie),
          m_fragments(fragments),
          m_fileSize(fileSize),
          m_budget(budget),
          m_warn(std::move(warn)) {}

    MovResult Read(std::span<const uint8_t> moovPayload) {
        struct Entry {
            uint32_t type;
            MovResult (MovieAtoms::*handler)(const AtomView&);
        };
        static const Entry kMoov[] = {
            {atom::kMvhd, &MovieAtoms::Mvhd}, {atom::kTrak, &MovieAtoms::Trak},
            {atom::kMvex, &MovieAtoms::Mvex}, {atom::kCmov, &MovieAtoms::Cmov},
            {atom::kUdta, &MovieAtoms::Keep}, {atom::kMeta, &MovieAtoms::Keep},
        };
        AtomIterator it(moovPayload);
        AtomView child;
        while (it.Next(child)) {
            for (const Entry& e : kMoov) {
                if (e.type == child.type) {
                    if (const MovResult rc = (this->*e.handler)(child); rc != kNoErr) {
                        return rc;
                    }
                }
            }
        }
        if (it.Broken()) {
            return kBadPublicMovieAtom;
        }
        return m_hasHeader ? kNoErr : kInvalidMovie;
    }

private:
    MovResult Mvhd(const AtomView& a) {
        ByteCursor c(a.payload);
        const bool wide = c.U8() == 1;
        c.Skip(3);
        m_movie.created = c.Sized(wide);
        m_movie.modified = c.Sized(wide);
        m_movie.timescale = c.U32();
        c.Sized(wide);  // the duration follows from the tracks
        m_movie.rate = c.S32();
        m_movie.volume = c.U16();
        c.Skip(10);
        const std::span<const uint8_t> m = c.Take(36);
        c.Skip(24);
        m_movie.nextTrackId = c.U32();
        if (!c.Ok() || m_movie.timescale == 0) {
            return kInvalidMovie;
        }
        std::copy(m.begin(), m.end(), m_movie.matrix.begin());
        m_hasHeader = true;
        return kNoErr;
    }
    MovResult Trak(const AtomView& a) {
        Track track;
        TrackAtoms reader(m_fileSize, m_budget, m_warn);
        if (const MovResult rc = reader.Read(a.payload, track); rc != kNoErr) {
            return rc;
        }
        for (const Track& t : m_movie.tracks) {
            if (t.id == track.id) {
                return kInvalidTrack;  // one id twice
            }
        }
        m_movie.tracks.push_back(std::move(track));
        return kNoErr;
    }
    MovResult Mvex(const AtomView& a) {
        m_movie.fragmented = true;
        m_fragments.ReadExtends(a.payload);
        return kNoErr;
    }
    MovResult Cmov(const AtomView&) { return kFeatureUnsupported; }
    MovResult Keep(const AtomView& a) {
        m_movie.extras.push_back({a.type, {a.whole.begin(), a.whole.end()}});
        return kNoErr;
    }

    Movie& m_movie;
    FragmentAtoms& m_fragments;
    uint64_t m_fileSize;
    SampleBudget& m_budget;
    WarnHook m_warn;
    bool m_hasHeader = false;
};

// Every sample must lie inside the file: a track stops before its first
// sample that does not.
MovResult ClampToFile(Movie& movie, uint64_t fileSize, const WarnHook& warn) {
    bool hadSamples = false, keptSamples = false;
    for (Track& t : movie.tracks) {
        hadSamples = hadSamples || !t.samples.empty();
        const auto beyond = std::find_if(t.samples.begin(), t.samples.end(), [&](const Sample& s) {
            return s.offset > fileSize || s.size > fileSize - s.offset;
        });
        if (beyond != t.samples.end()) {
            if (warn) {
                warn("track " + std::to_string(t.id) + ": samples from number " +
                     std::to_string(beyond - t.samples.begin() + 1) +
                     " lie beyond the end of the file and are left out");
            }
            t.samples.erase(beyond, t.samples.end());
            // Giving back the room copies the list: only worth it when most
            // of it went.
            if (t.samples.size() < t.samples.capacity() / 2) {
                t.samples.shrink_to_fit();
            }
        }
        keptSamples = keptSamples || !t.samples.empty();
    }
    return hadSamples && !keptSamples ? kEndOfDataReached : kNoErr;
}

}  // namespace

MovResult ReadMovie(std::shared_ptr<IoFile> file, const std::string& path, Movie& movie,
                    const WarnHook& warn) {
    movie = Movie{};
    movie.matrix = IdentityMatrix();
    const int64_t size = file->Size();
    if (size < 0) {
        return kDataNotOpenForRead;
    }
    const auto fileSize = static_cast<uint64_t>(size);
    std::vector<TopAtom> atoms;
    const bool walked = WalkTopLevel(*file, fileSize, atoms);
    const auto moov = std::find_if(atoms.begin(), atoms.end(),
                                   [](const TopAtom& a) { return a.type == atom::kMoov; });
    if (moov == atoms.end()) {
        return walked ? kNoMovieFound : kBadPublicMovieAtom;
    }
    if (moov->size > kMaxHeaderAtom) {
        return kFileOffsetTooBig;
    }
    if (!atoms.empty() && atoms.front().type == atom::kFtyp) {
        ReadFileType(*file, atoms.front(), movie);
    }
    std::vector<uint8_t> bytes;
    if (!ReadWhole(*file, *moov, bytes)) {
        return kDataNotOpenForRead;
    }
    // A movie atom cut short by the end of the file is incomplete.
    if (moov->cut) {
        return kBadPublicMovieAtom;
    }
    FragmentAtoms fragments;
    // One budget of sample entries for every track and fragment of the file.
    SampleBudget budget(fileSize);
    MovieAtoms reader(movie, fragments, fileSize, budget, warn);
    if (const MovResult rc = reader.Read(std::span<const uint8_t>(bytes).subspan(moov->header));
        rc != kNoErr) {
        return rc;
    }
    for (const TopAtom& a : atoms) {
        if (a.type != atom::kMoof) {
            continue;
        }
        movie.fragmented = true;
        if (a.size > kMaxHeaderAtom || !ReadWhole(*file, a, bytes)) {
            return a.size > kMaxHeaderAtom ? kFileOffsetTooBig : kDataNotOpenForRead;
        }
        if (const MovResult rc = fragments.ReadFragment(
                std::span<const uint8_t>(bytes).subspan(a.header), a.offset, fileSize, budget,
                movie);
            rc != kNoErr) {
            return rc;
        }
    }
    if (const MovResult rc = ClampToFile(movie, fileSize, warn); rc != kNoErr) {
        return rc;
    }
    // New tracks take ids above every one in use (the header's value may be
    // the "search for one" marker 0xFFFFFFFF).
    uint32_t highest = 0;
    for (const Track& t : movie.tracks) {
        highest = std::max(highest, t.id);
    }
    movie.nextTrackId = highest == UINT32_MAX ? UINT32_MAX : highest + 1;
    movie.sources.push_back({path, std::move(file)});
    return kNoErr;
}

MovResult ReadMovieFile(const std::string& path, Movie& movie, const FileOpener& opener,
                        const WarnHook& warn) {
    std::unique_ptr<IoFile> file = opener(path, OpenMode::Read);
    if (!file) {
        return kDataNotOpenForRead;
    }
    // Samples are read one by one when the movie is saved; small ones come
    // from windows read ahead (large ones are copied file to file). The
    // windows are small: a joined movie keeps every source open.
    return ReadMovie(std::make_shared<ReadAheadFile>(std::move(file), kSourceWindow), path, movie,
                     warn);
}

}  // namespace trelvan::mov
