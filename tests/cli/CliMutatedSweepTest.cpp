// Damaged files through every reading command of trelvan-cli: a few real
// files, each made into many corrupted copies (bits flipped in the headers,
// cut short at many offsets, chunk, object and atom sizes set to 0 and
// 0xFFFFFFFF, counts set huge, chunks duplicated). Movies and ASF files are
// also damaged field by field: every table's entry count set to 0, to one
// more than it holds and to 0xFFFFFFFF, time scales, durations, sizes and
// the sound and picture fields of the descriptions set to 0 and to all ones,
// every header atom's size cut by 4 and the file cut in its middle. Every
// run must end within seconds with exit 0 or the clean failure code 1 (never
// a signal, a hang or a usage error), and no source may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "AsfGuid.h"
#include "ByteOrder.h"
#include "CommandDriver.h"
#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

// The container families, by how their headers are laid out.
enum class Family { Riff, Asf, Movie };

struct SweepSource {
    const char* name;
    const char* args;
    const char* ext;
    Family family;
    int perKind;  // mutants of each kind
    // The commands run on each mutant: "BAD" is the mutant, "PARTNER" an
    // undamaged copy, "OUT.<ext>" an output in the scratch folder.
    std::vector<std::vector<std::string>> commands;
};

void PrintTo(const SweepSource& s, std::ostream* os) {
    *os << s.name;
}

// The fourcc of a four-letter id given at run time (ids of the tables below).
uint32_t Id(const char* s) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// RIFF: offsets just past every chunk or list header whose id is in the
// table: the position of its 32-bit size field.
std::vector<size_t> RiffSizeFields(const std::vector<uint8_t>& b) {
    static const char* const kIds[] = {"RIFF", "LIST", "avih", "strh", "strf", "idx1", "indx",
                                       "fmt ", "data", "fact", "00dc", "00db", "01wb", "JUNK"};
    std::vector<size_t> out;
    for (size_t i = 0; i + 8 <= b.size(); ++i) {
        for (const char* id : kIds) {
            if (bytes::GetLE32(b.data() + i) == Id(id)) {
                out.push_back(i + 4);
                break;
            }
        }
    }
    return out;
}

// ASF: the 64-bit size after the GUID of the header object, of each object
// in it and of the data object (their low halves are set).
std::vector<size_t> AsfSizeFields(const std::vector<uint8_t>& b) {
    std::vector<size_t> out;
    if (b.size() < 30) {
        return out;
    }
    out.push_back(16);
    const uint64_t header = std::min<uint64_t>(bytes::GetLE64(b.data() + 16), b.size());
    for (uint64_t at = 30; at + 24 <= header;) {
        out.push_back(at + 16);
        const uint64_t size = bytes::GetLE64(b.data() + at + 16);
        if (size < 24) {
            break;
        }
        at += size;
    }
    if (header + 24 <= b.size()) {
        out.push_back(header + 16);
    }
    return out;
}

// Movies: every atom's 32-bit size, through the containers, and the entry
// count of each sample table.
void MovieSizeFields(const std::vector<uint8_t>& b, size_t from, size_t to,
                     std::vector<size_t>& out) {
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl",
                                              "edts", "dinf", "udta", "mvex"};
    static const char* const kTables[] = {"stts", "stss", "stsc", "stsz", "stco", "ctts", "elst"};
    for (size_t at = from; at + 8 <= to;) {
        out.push_back(at);
        const uint32_t size = bytes::GetBE32(b.data() + at);
        const uint8_t* type = b.data() + at + 4;
        if (size < 8 || size > to - at) {
            break;
        }
        for (const char* c : kContainers) {
            if (std::memcmp(type, c, 4) == 0) {
                MovieSizeFields(b, at + 8, at + size, out);
            }
        }
        for (const char* t : kTables) {
            if (std::memcmp(type, t, 4) == 0 && size >= 20) {
                out.push_back(at + (std::memcmp(t, "stsz", 4) == 0 ? 16 : 12));
            }
        }
        at += size;
    }
}

std::vector<size_t> SizeFields(const std::vector<uint8_t>& b, Family family) {
    switch (family) {
        case Family::Riff:
            return RiffSizeFields(b);
        case Family::Asf:
            return AsfSizeFields(b);
        case Family::Movie: {
            std::vector<size_t> out;
            MovieSizeFields(b, 0, b.size(), out);
            return out;
        }
    }
    return {};
}

// Where the headers are: the first kilobyte of a RIFF file, the ASF header
// object, the movie atom (written after the media data).
std::pair<size_t, size_t> HeaderRange(const std::vector<uint8_t>& b, Family family) {
    const size_t kilo = std::min<size_t>(b.size(), 1024);
    if (family == Family::Asf && b.size() >= 24) {
        return {0, std::min<uint64_t>(bytes::GetLE64(b.data() + 16), b.size())};
    }
    if (family == Family::Movie) {
        for (size_t at = 0; at + 8 <= b.size();) {
            const uint32_t size = bytes::GetBE32(b.data() + at);
            if (size < 8 || size > b.size() - at) {
                break;
            }
            if (std::memcmp(b.data() + at + 4, "moov", 4) == 0) {
                return {at, size};
            }
            at += size;
        }
    }
    return {0, kilo};
}

size_t FindId(const std::vector<uint8_t>& b, const char* id) {
    for (size_t i = 0; i + 8 <= b.size(); ++i) {
        if (bytes::GetLE32(b.data() + i) == Id(id)) {
            return i;
        }
    }
    return b.size();
}

// A header field that the systematic mutants set: where, how many bytes,
// what it is (for the trace), and whether it counts a table's entries.
struct Field {
    size_t at;
    int width;  // 2, 4 or 8
    std::string name;
    bool count = false;
    bool container = false;  // a size (width 0) of atoms or objects
};

// Movies: the fields of every header atom under `from`..`to` whose damage
// the readers must refuse or read around. `handler` is that of the track
// being walked (its `hdlr` comes before its sample table).
void MovieFields(const std::vector<uint8_t>& b, size_t from, size_t to, const std::string& path,
                 std::string& handler, std::vector<Field>& out) {
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "edts"};
    static const char* const kTables[] = {"stsd", "stts", "stss", "stsc", "stsz",
                                          "stco", "co64", "ctts", "elst", "stps"};
    for (size_t at = from; at + 8 <= to;) {
        const uint32_t size = bytes::GetBE32(b.data() + at);
        if (size < 8 || size > to - at) {
            break;
        }
        const std::string type(reinterpret_cast<const char*>(b.data()) + at + 4, 4);
        const std::string name = path + "/" + type + "@" + std::to_string(at);
        const bool v1 = size > 8 && b[at + 8] == 1;
        auto add = [&](size_t off, int width, const char* what, bool count = false) {
            if (off + static_cast<size_t>(width) <= size) {
                out.push_back({at + off, width, name + " " + what, count});
            }
        };
        if (std::find(std::begin(kContainers), std::end(kContainers), type) !=
            std::end(kContainers)) {
            MovieFields(b, at + 8, at + size, name, handler, out);
        } else if (std::find(std::begin(kTables), std::end(kTables), type) != std::end(kTables)) {
            add(type == "stsz" ? 16 : 12, 4, "entry count", true);
            if (type == "stsz") {
                add(12, 4, "sample size");
            }
        } else if (type == "mvhd" || type == "mdhd") {
            add(v1 ? 28 : 20, 4, "time scale");
            add(v1 ? 32 : 24, v1 ? 8 : 4, "duration");
        } else if (type == "tkhd") {
            add(v1 ? 36 : 28, v1 ? 8 : 4, "duration");
        } else if (type == "hdlr") {
            handler = size >= 20 ? std::string(reinterpret_cast<const char*>(b.data()) + at + 16, 4)
                                 : handler;
        }
        if (type == "stsd") {  // the first description
            add(16, 4, "description size");
            if (handler == "soun") {
                add(16 + 16, 2, "sound version");
                add(16 + 24, 2, "channels");
                add(16 + 26, 2, "sample size");
                add(16 + 28, 2, "compression id");
                add(16 + 32, 4, "sample rate");
                add(16 + 36, 4, "samples per packet");
                add(16 + 40, 4, "bytes per packet");
                add(16 + 44, 4, "bytes per frame");
            } else if (handler == "vide") {
                add(16 + 32, 2, "width");
                add(16 + 34, 2, "height");
                add(16 + 48, 2, "frames per sample");
            }
        }
        if (path.find("moov") != std::string::npos && type != "udta") {
            const bool container = std::find(std::begin(kContainers), std::end(kContainers),
                                             type) != std::end(kContainers);
            out.push_back({at, 0, name, false, container});  // width 0: the atom's size
        }
        at += size;
    }
}

// ASF: the counts, sizes and format fields of the header objects, the
// data object and the simple index.
std::vector<Field> AsfFields(const std::vector<uint8_t>& b) {
    using asf::Guid;
    std::vector<Field> out;
    auto object = [&](size_t at, const Guid& g) {
        return at + 24 <= b.size() && std::equal(g.b.begin(), g.b.end(), b.begin() + at);
    };
    auto walk = [&](size_t from, size_t to, auto& self) -> void {
        for (size_t at = from; at + 24 <= to;) {
            const uint64_t size = bytes::GetLE64(b.data() + at + 16);
            if (size < 24 || size > to - at) {
                return;
            }
            const std::string name = "object@" + std::to_string(at);
            auto add = [&](size_t off, int width, const char* what, bool count = false) {
                if (off + static_cast<size_t>(width) <= size) {
                    out.push_back({at + off, width, name + " " + what, count});
                }
            };
            if (object(at, asf::guid::kHeader)) {
                add(24, 4, "header object count", true);
                self(at + 30, at + size, self);
            } else if (object(at, asf::guid::kFileProperties)) {
                add(40, 8, "file size");
                add(56, 8, "data packets", true);
                add(64, 8, "play duration");
                add(80, 8, "preroll");
                add(92, 4, "minimum packet size");
                add(96, 4, "maximum packet size");
            } else if (object(at, asf::guid::kStreamProperties)) {
                add(64, 4, "type-specific length");
                add(68, 4, "error correction length");
                const bool audio = std::equal(asf::guid::kAudioMedia.b.begin(),
                                              asf::guid::kAudioMedia.b.end(), b.begin() + at + 24);
                if (audio) {
                    add(80, 2, "channels");
                    add(82, 4, "sample rate");
                    add(86, 4, "bytes per second");
                    add(90, 2, "block align");
                    add(94, 2, "extra size");
                } else {
                    add(78, 4, "width");
                    add(82, 4, "height");
                    add(87, 2, "format size");
                    add(89, 4, "header size");
                }
            } else if (object(at, asf::guid::kCodecList)) {
                add(40, 4, "codec count", true);
            } else if (object(at, asf::guid::kHeaderExtension)) {
                add(42, 4, "extension size");
                self(at + 46, at + size, self);
            } else if (object(at, asf::guid::kExtendedStreamProperties)) {
                add(76, 8, "time per frame");
                add(84, 2, "stream name count", true);
                add(86, 2, "payload extension count", true);
            } else if (object(at, asf::guid::kData)) {
                add(40, 8, "data packets", true);
            } else if (object(at, asf::guid::kSimpleIndex)) {
                add(40, 8, "entry interval");
                add(48, 4, "packet count");
                add(52, 4, "entry count", true);
            }
            out.push_back(
                {at + 16, 0, name, false,
                 object(at, asf::guid::kHeader) || object(at, asf::guid::kHeaderExtension)});
            at += size;
        }
    };
    walk(0, b.size(), walk);
    return out;
}

struct Mutant {
    std::string what;
    std::vector<uint8_t> bytes;
};

// Every field of `fields` damaged in turn: a count set to 0, to one more
// than the table holds and to all ones; another field set to 0 and to all
// ones; a size (width 0) cut by 4, and the file cut in the middle of what it
// sizes.
std::vector<Mutant> FieldMutants(const std::vector<uint8_t>& b, const std::vector<Field>& fields,
                                 Family family) {
    const bool big = family == Family::Movie;
    auto get = [&](size_t at, int width) -> uint64_t {
        uint64_t v = 0;
        for (int i = 0; i < width; ++i) {
            const uint64_t byte = b[at + static_cast<size_t>(big ? i : width - 1 - i)];
            v = v << 8 | byte;
        }
        return v;
    };
    auto set = [&](std::vector<uint8_t>& m, size_t at, int width, uint64_t v) {
        for (int i = 0; i < width; ++i) {
            m[at + static_cast<size_t>(big ? width - 1 - i : i)] =
                static_cast<uint8_t>(v >> (8 * i));
        }
    };
    std::vector<Mutant> out;
    for (const Field& f : fields) {
        if (f.width == 0) {  // the atom's or object's size
            const int width = big ? 4 : 8;
            const uint64_t size = get(f.at, width);
            auto m = b;
            set(m, f.at, width, size - 4);
            out.push_back({f.name + " size cut by 4", std::move(m)});
            if (f.container) {
                continue;  // its last child is cut in the middle
            }
            const size_t start = big ? f.at : f.at - 16;
            out.push_back({f.name + " cut in its middle",
                           std::vector<uint8_t>(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(
                                                                           start + size / 2))});
            continue;
        }
        const uint64_t ones = f.width == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * f.width)) - 1;
        std::vector<std::pair<uint64_t, const char*>> values = {{0, "0"}, {ones, "all ones"}};
        if (f.count) {
            values.emplace_back(get(f.at, f.width) + 1, "one more");
        }
        for (const auto& [v, text] : values) {
            auto m = b;
            set(m, f.at, f.width, v);
            out.push_back({f.name + " = " + text, std::move(m)});
        }
    }
    return out;
}

// A deterministic set of damaged copies of `b`.
std::vector<std::vector<uint8_t>> Mutants(const std::vector<uint8_t>& b, Family family,
                                          int per_kind) {
    std::mt19937 rng(0x7e1a);
    std::vector<std::vector<uint8_t>> out;
    const auto [headAt, head] = HeaderRange(b, family);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    auto put32 = [family](uint8_t* p, uint32_t v) {
        family == Family::Movie ? bytes::PutBE32(p, v) : bytes::PutLE32(p, v);
    };

    for (int k = 0; k < per_kind; ++k) {  // bit flips in the headers
        auto m = b;
        for (int f = 0; f < 1 + k % 4; ++f) {
            m[headAt + pick(head)] ^= static_cast<uint8_t>(1u << pick(8));
        }
        out.push_back(std::move(m));
    }
    for (int k = 0; k < per_kind; ++k) {  // cut short, densely in the headers
        const size_t at = k % 2 == 0 ? headAt + pick(head) : pick(b.size());
        out.emplace_back(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
    const std::vector<size_t> sizes = SizeFields(b, family);
    for (int k = 0; k < per_kind && !sizes.empty(); ++k) {  // sizes 0, 0xFFFFFFFF, odd
        auto m = b;
        static const uint32_t kValues[] = {0, 0xFFFFFFFF, 0x7FFFFFFF, 1, 0x80000000};
        put32(m.data() + sizes[pick(sizes.size())], kValues[k % 5]);
        out.push_back(std::move(m));
    }
    for (int k = 0; k < per_kind && family == Family::Riff; ++k) {
        // counts and rates in the stream headers set huge
        auto m = b;
        for (const char* id : {"avih", "strh", "fmt ", "strf", "fact"}) {
            const size_t at = FindId(m, id);
            if (at + 8 + 56 <= m.size() && pick(2) == 0) {
                const size_t field = at + 8 + 4 * pick(14);
                bytes::PutLE32(m.data() + field, k % 2 == 0 ? 0xFFFFFFFF : 0x7FFFFFF0);
            }
        }
        out.push_back(std::move(m));
    }
    for (int k = 0; k < per_kind && family == Family::Riff && !sizes.empty(); ++k) {
        // a chunk duplicated
        const size_t at = sizes[pick(sizes.size())] - 4;
        const size_t len = std::min<size_t>(8 + bytes::GetLE32(b.data() + at + 4), b.size() - at);
        auto m = b;
        m.insert(m.begin() + static_cast<std::ptrdiff_t>(at + len),
                 b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + std::min<size_t>(len, 65536)));
        out.push_back(std::move(m));
    }
    return out;
}

class MutatedFileSweep : public ::testing::TestWithParam<SweepSource> {};

TEST_P(MutatedFileSweep, EveryCommandEndsCleanly) {
    const SweepSource& src = GetParam();
    const std::string good = test::MakeMedia(src.name, src.args, src.ext);
    const std::vector<uint8_t> original = test::ReadBytes(good);
    ASSERT_GT(original.size(), 1024u);
    const std::string dir = test::ScratchDir();
    const std::string partner = test::CopyFile(good, dir);
    const std::string cli = test::BuiltProgram("trelvan-cli");

    std::vector<Mutant> mutants;
    for (auto& m : Mutants(original, src.family, src.perKind)) {
        mutants.push_back({"mutant " + std::to_string(mutants.size()), std::move(m)});
    }
    if (src.family != Family::Riff) {
        std::vector<Field> fields;
        std::string handler;
        if (src.family == Family::Movie) {
            MovieFields(original, 0, original.size(), "", handler, fields);
        } else {
            fields = AsfFields(original);
        }
        for (auto& m : FieldMutants(original, fields, src.family)) {
            mutants.push_back(std::move(m));
        }
    }
    int runs = 0;
    for (size_t i = 0; i < mutants.size(); ++i) {
        const std::string bad = dir + "/bad" + std::to_string(i) + "." + src.ext;
        test::WriteBytes(bad, mutants[i].bytes);
        for (const auto& words : src.commands) {
            std::vector<std::string> argv = {cli};
            for (const std::string& w : words) {
                argv.push_back(w == "BAD"                ? bad
                               : w == "PARTNER"          ? partner
                               : w == "OUT"              ? dir + "/out." + src.ext
                               : w.rfind("OUT.", 0) == 0 ? dir + "/out" + w.substr(3)
                                                         : w);
            }
            SCOPED_TRACE(words[0] + " on " + mutants[i].what);
            const test::CommandResult r = test::RunCommand(argv, 20);
            ++runs;
            EXPECT_FALSE(r.signaled) << r.err;
            EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code << "\n" << r.err;
            for (const auto& e : std::filesystem::directory_iterator(dir)) {
                if (e.path().stem() == "out") {
                    std::filesystem::remove(e.path());
                }
            }
        }
        EXPECT_EQ(test::ReadBytes(bad), mutants[i].bytes) << mutants[i].what << ": changed";
        std::filesystem::remove(bad);
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(test::ReadBytes(partner), original);
    RecordProperty("mutants", static_cast<int>(mutants.size()));
    RecordProperty("runs", runs);
}

using Commands = std::vector<std::vector<std::string>>;

const Commands kRiffCommands = {
    {"info", "BAD"},
    {"avi-extract", "BAD", "-o", "OUT.avi", "--quiet"},
    {"avi-link", "BAD", "PARTNER", "-o", "OUT.avi", "--quiet"},
    {"audio-extract", "BAD", "-o", "OUT.wav", "--quiet"},
    {"audio-link", "PARTNER", "BAD", "-o", "OUT.wav", "--quiet"},
};
// What the fuzz targets of the operations run (info, check, the link both
// ways, verify, extract), then the family's other commands.
Commands OperationsAnd(fuzz::Family family, const Commands& more) {
    Commands all = fuzz::OperationCommands(family);
    all.insert(all.end(), more.begin(), more.end());
    return all;
}
const Commands kMovieCommands =
    OperationsAnd(fuzz::Family::Movie,
                  {
                      {"mov-separate", "--audio", "BAD", "-o", "OUT.mov", "--quiet", "--verify"},
                      {"mov-unite", "BAD", "PARTNER", "-o", "OUT.mov", "--quiet", "--verify"},
                  });

INSTANTIATE_TEST_SUITE_P(
    Sources, MutatedFileSweep,
    ::testing::Values(
        SweepSource{"sweep-mjpeg-pcm",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=8000 "
                    "-c:v mjpeg -c:a pcm_s16le -f avi",
                    "avi", Family::Riff, 20, kRiffCommands},
        SweepSource{"sweep-mpeg4-mp3",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=22050 "
                    "-c:v mpeg4 -g 4 -c:a libmp3lame -b:a 32k -f avi",
                    "avi", Family::Riff, 20, kRiffCommands},
        SweepSource{"sweep-adpcm", "-f lavfi -i sine=f=400:d=1:r=8000 -c:a adpcm_ms -f wav", "wav",
                    Family::Riff, 20, kRiffCommands},
        // Windows Media: a few packets of video and audio, and audio alone.
        SweepSource{
            "sweep-wmv",
            "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=22050 "
            "-c:v wmv2 -g 4 -c:a wmav2 -b:a 32k",
            "wmv", Family::Asf, 6,
            OperationsAnd(fuzz::Family::Asf,
                          {
                              {"wmv-separate", "--video", "BAD", "-o", "OUT.wmv", "--quiet"},
                              {"wmv-unite", "BAD", "PARTNER", "-o", "OUT.wmv", "--quiet"},
                          })},
        SweepSource{
            "sweep-wma", "-f lavfi -i sine=f=400:d=1:r=22050 -c:a wmav2 -b:a 32k", "wma",
            Family::Asf, 6,
            OperationsAnd(fuzz::Family::Asf,
                          {
                              {"wmv-separate", "--audio", "BAD", "-o", "OUT.wma", "--quiet"},
                          })},
        // Movies: MOV with MPEG-4 video and PCM, MP4 with H.264 and AAC.
        SweepSource{"sweep-mov",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=8000 "
                    "-c:v mpeg4 -g 4 -c:a pcm_s16le",
                    "mov", Family::Movie, 6, kMovieCommands},
        SweepSource{"sweep-mp4",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=22050 "
                    "-c:v libx264 -g 4 -pix_fmt yuv420p -c:a aac -b:a 32k",
                    "mp4", Family::Movie, 6, kMovieCommands}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

}  // namespace
}  // namespace trelvan
