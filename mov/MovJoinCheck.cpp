#include "MovJoinCheck.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "Atoms.h"
#include "ByteOrder.h"
#include "MovieEditor.h"
#include "MovieReader.h"
#include "SampleDescription.h"

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
    return std::to_string(width >> 16) + "×" + std::to_string(height >> 16);
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

std::string Codec(const Track& t) {
    return t.descriptions.empty() || t.descriptions.front().size() < 8
               ? "none"
               : FourCc(bytes::GetBE32(t.descriptions.front().data() + 4));
}

// The first field on which a track that is not pasted into `a` differs
// from it (the fields of PastesInto, in the order a user knows them).
void CompareKind(JoinReport& report, int32_t entry, const std::string& stream, const Track& a,
                 const Track& b) {
    const size_t before = report.differences.size();
    report.Compare(entry, stream, "frame size", Size(a.width, a.height), Size(b.width, b.height));
    report.Compare(entry, stream, "time scale", std::to_string(a.timescale),
                   std::to_string(b.timescale));
    if (!mov::SameLanguage(a.language, b.language)) {
        report.Compare(entry, stream, "language", Language(a.language), Language(b.language));
    }
    report.Compare(entry, stream, "matrix", Matrix(a.matrix), Matrix(b.matrix));
    report.Compare(entry, stream, "alternate group", std::to_string(a.alternateGroup),
                   std::to_string(b.alternateGroup));
    report.Compare(entry, stream, "sound layout", Layout(a), Layout(b));
    if (report.differences.size() == before) {
        // Nothing a user sets apart: still a track of its own.
        report.Compare(entry, stream, "track", KindOf(a) + " (" + Codec(a) + ")",
                       "a track of its own (" + Codec(b) + ")");
    }
    report.differences.resize(std::min(report.differences.size(), before + 1));
}

// A description `b` that decodes unlike every one of the first movie's
// track, against that track's first description: the first field that
// differs, in words.
void CompareDescription(JoinReport& report, int32_t entry, const std::string& stream,
                        const Track& track, const std::vector<uint8_t>& a,
                        const std::vector<uint8_t>& b) {
    const std::vector<mov::DescriptionField> fa = mov::DecoderFields(track.handler, a);
    const std::vector<mov::DescriptionField> fb = mov::DecoderFields(track.handler, b);
    for (size_t i = 0; i < std::max(fa.size(), fb.size()); ++i) {
        const std::string name = i < fa.size() ? fa[i].name : fb[i].name;
        const std::string va = i < fa.size() ? fa[i].value : "none";
        const std::string vb = i < fb.size() && fb[i].name == name ? fb[i].value : "none";
        if (va != vb) {
            report.Compare(entry, stream, name, va, vb);
            return;
        }
    }
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
            if (std::none_of(a.descriptions.begin(), a.descriptions.end(), [&](const auto& x) {
                    return mov::SameForDecoders(a.handler, x, d);
                })) {
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

JoinReport CheckMovieJoin(const std::vector<std::string>& sources, const FileOpener& opener,
                          const std::function<void(const std::string&)>& warn) {
    std::vector<std::unique_ptr<mov::Movie>> movies;
    std::vector<const mov::Movie*> read;
    for (size_t i = 0; i < sources.size(); ++i) {
        auto movie = std::make_unique<mov::Movie>();
        mov::WarnHook said;
        if (warn) {
            said = [&](const std::string& text) { warn(sources[i] + ": " + text); };
        }
        const mov::MovResult rc = mov::ReadMovieFile(sources[i], *movie, opener, said);
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
