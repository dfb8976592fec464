#include "MovJoinCheck.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Atoms.h"
#include "ByteOrder.h"
#include "MovieEditor.h"
#include "MovieReader.h"

namespace trelvan {

namespace {

using mov::Track;

std::string FourCc(uint32_t type) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>((type >> shift) & 0xFF);
        s += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return s;
}

std::string KindOf(const Track& t) {
    return t.handler == mov::atom::kVide   ? "video"
           : t.handler == mov::atom::kSoun ? "audio"
                                           : FourCc(t.handler);
}

// "video", or "video 2" for the second video track of a movie.
std::string StreamName(const mov::Movie& movie, size_t index) {
    const Track& t = movie.tracks[index];
    int same = 0;
    for (size_t i = 0; i <= index; ++i) {
        same += movie.tracks[i].handler == t.handler ? 1 : 0;
    }
    return same > 1 ? KindOf(t) + " " + std::to_string(same) : KindOf(t);
}

std::string Language(uint16_t packed) {
    if (packed == 0x7FFF) {
        return "unspecified";
    }
    if (packed < 0x400) {
        return std::to_string(packed);  // a QuickTime language number
    }
    std::string s;
    for (int shift = 10; shift >= 0; shift -= 5) {
        s += static_cast<char>(0x60 + ((packed >> shift) & 0x1F));
    }
    return s;
}

std::string Size(uint32_t width, uint32_t height) {
    return std::to_string(width >> 16) + "x" + std::to_string(height >> 16);
}

std::string Matrix(const std::array<uint8_t, 36>& m) {
    if (m == mov::IdentityMatrix()) {
        return "identity";
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, "[%d %d %d %d]", static_cast<int32_t>(bytes::GetBE32(m.data())),
                  static_cast<int32_t>(bytes::GetBE32(m.data() + 4)),
                  static_cast<int32_t>(bytes::GetBE32(m.data() + 12)),
                  static_cast<int32_t>(bytes::GetBE32(m.data() + 16)));
    return buf;
}

std::string Layout(const Track& t) {
    return t.frameRuns ? "frames counted one by one (" + std::to_string(t.frameTableSize) + " bytes)"
                       : "samples";
}

// The first field on which a track that is not pasted into `a` differs
// from it (the fields of PastesInto, in the order a user knows them).
void CompareKind(JoinReport& report, int32_t entry, const std::string& stream, const Track& a,
                 const Track& b) {
    const size_t before = report.differences.size();
    report.Compare(entry, stream, "frame size", Size(a.width, a.height), Size(b.width, b.height));
    report.Compare(entry, stream, "time scale", std::to_string(a.timescale),
                   std::to_string(b.timescale));
    report.Compare(entry, stream, "language", Language(a.language), Language(b.language));
    report.Compare(entry, stream, "matrix", Matrix(a.matrix), Matrix(b.matrix));
    report.Compare(entry, stream, "alternate group", std::to_string(a.alternateGroup),
                   std::to_string(b.alternateGroup));
    report.Compare(entry, stream, "sound layout", Layout(a), Layout(b));
    report.differences.resize(std::min(report.differences.size(), before + 1));
}

uint32_t Be16(const std::vector<uint8_t>& d, size_t at) {
    return at + 2 <= d.size() ? bytes::GetBE16(d.data() + at) : 0;
}

uint32_t Be32(const std::vector<uint8_t>& d, size_t at) {
    return at + 4 <= d.size() ? bytes::GetBE32(d.data() + at) : 0;
}

// A description `b` that the first movie's track lacks, against that
// track's first description: the first field that differs.
void CompareDescription(JoinReport& report, int32_t entry, const std::string& stream,
                        const Track& track, const std::vector<uint8_t>& a,
                        const std::vector<uint8_t>& b) {
    const size_t before = report.differences.size();
    report.Compare(entry, stream, "codec", FourCc(Be32(a, 4)), FourCc(Be32(b, 4)));
    if (track.handler == mov::atom::kVide) {
        report.Compare(entry, stream, "coded frame size",
                       std::to_string(Be16(a, 32)) + "x" + std::to_string(Be16(a, 34)),
                       std::to_string(Be16(b, 32)) + "x" + std::to_string(Be16(b, 34)));
    } else if (track.handler == mov::atom::kSoun) {
        report.Compare(entry, stream, "channels", std::to_string(Be16(a, 24)),
                       std::to_string(Be16(b, 24)));
        report.Compare(entry, stream, "sample size", std::to_string(Be16(a, 26)),
                       std::to_string(Be16(b, 26)));
        report.Compare(entry, stream, "sample rate", std::to_string(Be32(a, 32) >> 16),
                       std::to_string(Be32(b, 32) >> 16));
    }
    if (report.differences.size() == before) {
        // The same codec and layout with other codec data (profile, level,
        // parameter sets...): where the two entries part.
        const auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
        const auto at = static_cast<size_t>(diff.first - a.begin());
        report.Compare(entry, stream, "codec data", std::to_string(a.size()) + " bytes",
                       std::to_string(b.size()) + " bytes, differing from byte " +
                           std::to_string(at));
    }
    report.differences.resize(std::min(report.differences.size(), before + 1));
}

// The track of `first` that a track of the same media type would be
// compared with when nothing pastes: the first one of that type.
const Track* FirstOfKind(const mov::Movie& first, const Track& b) {
    for (const Track& a : first.tracks) {
        if (a.handler == b.handler && !a.samples.empty()) {
            return &a;
        }
    }
    return nullptr;
}

void CompareMovie(JoinReport& report, int32_t entry, const mov::Movie& first,
                  const mov::Movie& movie) {
    std::vector<bool> taken(first.tracks.size(), false);
    for (size_t bi = 0; bi < movie.tracks.size(); ++bi) {
        const Track& b = movie.tracks[bi];
        if (b.samples.empty()) {
            continue;  // not carried over
        }
        const std::string stream = StreamName(movie, bi);
        size_t ai = first.tracks.size();
        for (size_t i = 0; i < first.tracks.size(); ++i) {
            if (!taken[i] && mov::PastesInto(first.tracks[i], b)) {
                ai = i;
                break;
            }
        }
        if (ai == first.tracks.size()) {
            // A track of its own in the output. Only a type the first movie
            // has is a difference: a track the first lacks (sound after a
            // silent opening) starts later and plays.
            if (const Track* a = FirstOfKind(first, b)) {
                CompareKind(report, entry, stream, *a, b);
            }
            continue;
        }
        taken[ai] = true;
        const Track& a = first.tracks[ai];
        if (a.descriptions.empty()) {
            continue;
        }
        for (const auto& d : b.descriptions) {
            if (std::find(a.descriptions.begin(), a.descriptions.end(), d) == a.descriptions.end()) {
                CompareDescription(report, entry, stream, a, a.descriptions.front(), d);
                break;
            }
        }
    }
}

}  // namespace

JoinReport CompareMovieEntries(const std::vector<const mov::Movie*>& movies,
                               const std::vector<std::string>& sources) {
    JoinReport report;
    report.sources = sources;
    for (size_t i = 1; i < movies.size(); ++i) {
        CompareMovie(report, static_cast<int32_t>(i), *movies[0], *movies[i]);
    }
    return report;
}

JoinReport CheckMovieJoin(const std::vector<std::string>& sources, const FileOpener& opener) {
    std::vector<std::unique_ptr<mov::Movie>> movies;
    std::vector<const mov::Movie*> read;
    for (size_t i = 0; i < sources.size(); ++i) {
        auto movie = std::make_unique<mov::Movie>();
        const mov::MovResult rc = mov::ReadMovieFile(sources[i], *movie, opener);
        if (rc != mov::kNoErr) {
            JoinReport report = CompareMovieEntries(read, {sources.begin(), sources.begin() + static_cast<std::ptrdiff_t>(i)});
            report.sources = sources;
            report.unreadable = static_cast<int32_t>(i);
            report.code = static_cast<int32_t>(rc);
            return report;
        }
        read.push_back(movie.get());
        movies.push_back(std::move(movie));
    }
    return CompareMovieEntries(read, sources);
}

}  // namespace trelvan
