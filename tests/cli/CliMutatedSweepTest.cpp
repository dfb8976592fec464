// Damaged files through every reading command of trelvan-cli: a few real
// files, each made into many corrupted copies (bits flipped in the headers,
// cut short at many offsets, chunk sizes set to 0 and 0xFFFFFFFF, counts set
// huge, chunks duplicated). Every run must end within seconds with exit 0 or
// the clean failure code 1 (never a signal, a hang or a usage error), and no
// source may change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

struct SweepSource {
    const char* name;
    const char* args;
    const char* ext;
};

// The fourcc of a four-letter id given at run time (ids of the tables below).
uint32_t Id(const char* s) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24;
}

// Offsets just past every chunk or list header whose id is in `ids`: the
// position of its 32-bit size field.
std::vector<size_t> SizeFields(const std::vector<uint8_t>& b) {
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

size_t FindId(const std::vector<uint8_t>& b, const char* id) {
    for (size_t i = 0; i + 8 <= b.size(); ++i) {
        if (bytes::GetLE32(b.data() + i) == Id(id)) {
            return i;
        }
    }
    return b.size();
}

// A deterministic set of damaged copies of `b`.
std::vector<std::vector<uint8_t>> Mutants(const std::vector<uint8_t>& b, int per_kind) {
    std::mt19937 rng(0x7e1a);
    std::vector<std::vector<uint8_t>> out;
    const size_t head = std::min<size_t>(b.size(), 1024);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };

    for (int k = 0; k < per_kind; ++k) {  // bit flips in the headers
        auto m = b;
        for (int f = 0; f < 1 + k % 4; ++f) {
            m[pick(head)] ^= static_cast<uint8_t>(1u << pick(8));
        }
        out.push_back(std::move(m));
    }
    for (int k = 0; k < per_kind; ++k) {  // cut short, densely in the headers
        const size_t at = k % 2 == 0 ? pick(head) : pick(b.size());
        out.emplace_back(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
    const std::vector<size_t> sizes = SizeFields(b);
    for (int k = 0; k < per_kind && !sizes.empty(); ++k) {  // sizes 0, 0xFFFFFFFF, odd
        auto m = b;
        static const uint32_t kValues[] = {0, 0xFFFFFFFF, 0x7FFFFFFF, 1, 0x80000000};
        bytes::PutLE32(m.data() + sizes[pick(sizes.size())], kValues[k % 5]);
        out.push_back(std::move(m));
    }
    for (int k = 0; k < per_kind; ++k) {  // counts and rates in the stream headers set huge
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
    for (int k = 0; k < per_kind && !sizes.empty(); ++k) {  // a chunk duplicated
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
    const std::string out_avi = dir + "/out.avi";
    const std::string out_wav = dir + "/out.wav";

    const auto mutants = Mutants(original, 20);
    int runs = 0;
    for (size_t i = 0; i < mutants.size(); ++i) {
        const std::string bad = dir + "/bad" + std::to_string(i) + "." + src.ext;
        test::WriteBytes(bad, mutants[i]);
        const std::vector<std::vector<std::string>> commands = {
            {cli, "info", bad},
            {cli, "avi-extract", bad, "-o", out_avi, "--quiet"},
            {cli, "avi-link", bad, partner, "-o", out_avi, "--quiet"},
            {cli, "audio-extract", bad, "-o", out_wav, "--quiet"},
            {cli, "audio-link", partner, bad, "-o", out_wav, "--quiet"},
        };
        for (const auto& argv : commands) {
            SCOPED_TRACE(argv[1] + " on mutant " + std::to_string(i));
            const test::CommandResult r = test::RunCommand(argv, 20);
            ++runs;
            EXPECT_FALSE(r.signaled) << r.err;
            EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code << "\n" << r.err;
            std::filesystem::remove(out_avi);
            std::filesystem::remove(out_wav);
        }
        EXPECT_EQ(test::ReadBytes(bad), mutants[i]) << "mutant " << i << " was changed";
        std::filesystem::remove(bad);
        if (HasFailure()) {
            break;
        }
    }
    EXPECT_EQ(test::ReadBytes(partner), original);
    RecordProperty("mutants", static_cast<int>(mutants.size()));
    RecordProperty("runs", runs);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MutatedFileSweep,
    ::testing::Values(
        SweepSource{"sweep-mjpeg-pcm",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=8000 "
                    "-c:v mjpeg -c:a pcm_s16le -f avi",
                    "avi"},
        SweepSource{"sweep-mpeg4-mp3",
                    "-f lavfi -i testsrc=d=1:s=32x24:r=10 -f lavfi -i sine=f=400:d=1:r=22050 "
                    "-c:v mpeg4 -g 4 -c:a libmp3lame -b:a 32k -f avi",
                    "avi"},
        SweepSource{"sweep-adpcm", "-f lavfi -i sine=f=400:d=1:r=8000 -c:a adpcm_ms -f wav",
                    "wav"}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::replace(n.begin(), n.end(), '-', '_');
        return n;
    });

}  // namespace
}  // namespace trelvan
