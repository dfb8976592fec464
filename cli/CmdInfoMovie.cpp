#include "CmdInfoMovie.h"

#include <cstdio>
#include <fstream>

#include "Atoms.h"
#include "ByteOrder.h"
#include "CliCommon.h"
#include "MovieReader.h"
#include "QtErrorNames.h"

namespace trelvan::cli {
namespace {

using mov::Movie;
using mov::Track;

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (const unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// A four-character code as its characters (any byte).
std::string Code(uint32_t type) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) {
        s[i] = static_cast<char>(type >> (24 - 8 * i));
    }
    return s;
}

std::string Kind(const Track& t) {
    if (t.handler == mov::atom::kVide) {
        return "video";
    }
    if (t.handler == mov::atom::kSoun) {
        return "audio";
    }
    return Code(t.handler);
}

std::string CodecOf(const Track& t) {
    return t.descriptions.empty() || t.descriptions[0].size() < 8
               ? std::string()
               : Code(bytes::GetBE32(t.descriptions[0].data() + 4));
}

std::string Rate(int32_t fixed) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", fixed / 65536.0);
    std::string s = buf;
    if (s.find_first_of(".e") == std::string::npos) {
        s += ".0";
    }
    return s;
}

// The samples as the file's tables count them, and the sync ones.
void Counts(const Track& t, uint64_t& samples, uint64_t& sync) {
    samples = sync = 0;
    for (const mov::Sample& s : t.samples) {
        samples += s.count;
        sync += (s.flags & mov::kSampleSync) ? s.count : 0;
    }
}

}  // namespace

bool LooksLikeMovie(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t h[8] = {};
    if (!in.read(reinterpret_cast<char*>(h), 8)) {
        return false;
    }
    const uint32_t type = bytes::GetBE32(h + 4);
    for (uint32_t t : {mov::atom::kFtyp, mov::atom::kMoov, mov::atom::kMdat, mov::atom::kFree,
                       mov::atom::kSkip, mov::atom::kWide, mov::atom::kUuid,
                       mov::atom::Type("pnot"), mov::atom::Type("junk")}) {
        if (type == t) {
            return true;
        }
    }
    return false;
}

int PrintMovieInfo(const std::string& path, bool human) {
    Movie movie;
    // Damage the reader read around (a file cut short) on standard error.
    const mov::MovResult rc = mov::ReadMovieFile(path, movie, DiskFileOpener(), [&](const std::string& text) {
        std::fprintf(stderr, "trelvan-cli: %s: %s\n", path.c_str(), text.c_str());
    });
    if (rc != mov::kNoErr) {
        std::fprintf(stderr, "trelvan-cli: %s: %s (%d)\n", path.c_str(),
                     mov::QtErrorName(rc).c_str(), rc);
        return kExitOperationError;
    }
    const std::string brand = movie.brand == 0 ? "" : Code(movie.brand);
    if (human) {
        std::printf("File: %s\nContainer: mov\nBrand: %s\nTime scale: %u\nDuration: %llu\n"
                    "Fragmented: %s\n",
                    path.c_str(), brand.c_str(), movie.timescale,
                    static_cast<unsigned long long>(movie.Duration()),
                    movie.fragmented ? "yes" : "no");
    } else {
        std::printf("{\"file\": %s, \"container\": \"mov\", \"brand\": %s, \"timescale\": %u, "
                    "\"duration\": %llu, \"fragmented\": %s, \"tracks\": [",
                    Quoted(path).c_str(), Quoted(brand).c_str(), movie.timescale,
                    static_cast<unsigned long long>(movie.Duration()),
                    movie.fragmented ? "true" : "false");
    }
    for (size_t i = 0; i < movie.tracks.size(); ++i) {
        const Track& t = movie.tracks[i];
        uint64_t samples = 0, sync = 0;
        Counts(t, samples, sync);
        std::string edits;
        for (size_t k = 0; k < t.edits.size(); ++k) {
            const mov::Edit& e = t.edits[k];
            char buf[96];
            std::snprintf(buf, sizeof buf, human ? "%s(%llu, %lld, %s)" : "%s[%llu, %lld, %s]",
                          k ? ", " : "", static_cast<unsigned long long>(e.duration),
                          static_cast<long long>(e.mediaTime), Rate(e.rate).c_str());
            edits += buf;
        }
        if (human) {
            std::printf("Track %u:\n  %-14s %s\n  %-14s %s\n  %-14s %zu\n  %-14s %u\n"
                        "  %-14s %llu\n  %-14s %llu\n  %-14s %llu\n  %-14s %s\n",
                        t.id, "Kind", Kind(t).c_str(), "Codec", CodecOf(t).c_str(),
                        "Descriptions", t.descriptions.size(), "Time scale", t.timescale,
                        "Duration", static_cast<unsigned long long>(t.MediaDuration()),
                        "Samples", static_cast<unsigned long long>(samples), "Sync samples",
                        static_cast<unsigned long long>(sync), "Edits",
                        t.hasEdits ? edits.c_str() : "none");
        } else {
            std::printf("%s{\"id\": %u, \"kind\": %s, \"codec\": %s, \"descriptions\": %zu, "
                        "\"timescale\": %u, \"duration\": %llu, \"samples\": %llu, "
                        "\"sync_samples\": %llu, \"edits\": [%s]}",
                        i ? ", " : "", t.id, Quoted(Kind(t)).c_str(), Quoted(CodecOf(t)).c_str(),
                        t.descriptions.size(), t.timescale,
                        static_cast<unsigned long long>(t.MediaDuration()),
                        static_cast<unsigned long long>(samples),
                        static_cast<unsigned long long>(sync), edits.c_str());
        }
    }
    if (!human) {
        std::printf("]}\n");
    }
    return kExitOk;
}

}  // namespace trelvan::cli
