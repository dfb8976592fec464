// The MOV link under faults: a disk that fills at any point of the output,
// sources that stop being readable after any number of reads, and damaged
// copies of real movies through the command line (truncated, bytes flipped)
// under a memory limit. Every run ends with a clear result, leaves no
// output when it failed, and leaves the sources as they were.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovLink.h"
#include "MovieReader.h"
#include "Process.h"

namespace trelvan {
namespace {

class MovLinkFullDisk : public ::testing::TestWithParam<uint64_t> {};

TEST_P(MovLinkFullDisk, FailsWithoutOutput) {
    const std::string src = mov::test::Make(mov::test::kMpeg4Pcm);
    const auto before = test::ReadBytes(src);
    const std::string out = test::ScratchDir() + "/full.mov";
    OpContext ctx;
    const uint64_t limit = GetParam();
    ctx.opener = [limit](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto f = OpenDiskFile(path, mode);
        if (!f || mode == OpenMode::Read) {
            return f;
        }
        return std::make_unique<FaultyFile>(std::move(f), limit);
    };
    const MovLinkResult r = RunMovLink({{src, src}, out}, ctx);
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(r.message.rfind("ムービーを保存中にエラーが発生しました。", 0), 0u) << r.message;
    EXPECT_TRUE(ctx.StopRequested());
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(test::ReadBytes(src), before);
}

// The header, the media data's start, its middle, and the movie atom at
// the end (the joined file is about 150 kB).
INSTANTIATE_TEST_SUITE_P(Offsets, MovLinkFullDisk,
                         ::testing::Values(0, 20, 40, 4096, 60000, 140000));

// Sources that stop being readable after n reads, for every n until the
// link needs no more: each run before that fails with a message and leaves
// no output.
TEST(MovLinkFailingRead, EveryReadCountFailsWithoutOutput) {
    const std::string src = mov::test::Make(mov::test::kMpeg4Pcm);
    const std::string out = test::ScratchDir() + "/reads.mov";
    uint64_t reads = 0;
    for (;; ++reads) {
        ASSERT_LT(reads, 500u) << "the link never succeeded";
        OpContext ctx;
        ctx.opener = [reads](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
            auto f = OpenDiskFile(path, mode);
            if (!f || mode != OpenMode::Read) {
                return f;
            }
            return std::make_unique<FaultyFile>(std::move(f), FaultyFile::kNoLimit, reads);
        };
        const MovLinkResult r = RunMovLink({{src, src}, out}, ctx);
        if (r.code == 0 && r.message.empty()) {
            break;
        }
        SCOPED_TRACE("reads allowed: " + std::to_string(reads));
        EXPECT_FALSE(r.message.empty());
        EXPECT_FALSE(std::filesystem::exists(out));
    }
    EXPECT_GE(reads, 2u);  // the runs before failed (small files: a window or two)
    EXPECT_TRUE(std::filesystem::exists(out));
}

// Damaged copies of the shared samples through every movie command of
// trelvan-cli, with the address space limited to 512 MiB (not in the
// sanitizer build, whose shadow memory needs far more): exit 0 or 1, never a
// signal or a hang; what was written reads back.
TEST(MovMutatedSweep, CommandLineSurvivesDamagedMovies) {
    const std::string dir = test::ScratchDir();
    int runs = 0;
    for (const std::string& sample : test::SamplesIn("mov")) {
        const std::vector<uint8_t> whole = test::ReadBytes(sample);
        std::vector<std::vector<uint8_t>> variants;
        for (size_t cut : {whole.size() / 3, whole.size() / 2, whole.size() - 7}) {
            variants.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
        }
        uint32_t seed = 12345;
        for (int v = 0; v < 3; ++v) {
            std::vector<uint8_t> bytes = whole;
            for (int k = 0; k < 24; ++k) {
                seed = seed * 1103515245 + 12345;
                bytes[seed % bytes.size()] ^= static_cast<uint8_t>(seed >> 16) | 1;
            }
            variants.push_back(std::move(bytes));
        }
        // Every movie command, each variant as every source.
        const char* const commands[] = {"mov-link \"$1\" \"$1\"", "mov-separate --video \"$1\"",
                                        "mov-separate --audio \"$1\"", "mov-unite \"$1\" \"$1\"",
                                        "mov-extract \"$1\" --start 0.3 --end 1.1"};
        for (size_t v = 0; v < variants.size(); ++v) {
            for (const char* command : commands) {
                const std::string in = dir + "/in.mov";
                const std::string out = dir + "/out.mov";
                test::WriteBytes(in, variants[v]);
                std::filesystem::remove(out);
                const auto r = test::RunCommand(
                    {"bash", "-c",
                     std::string(TRELVAN_LIMIT_ADDRESS_SPACE ? "ulimit -v 524288; " : "") +
                         "exec \"$0\" " + command + " -o \"$2\" --quiet",
                     test::BuiltProgram("trelvan-cli"), in, out},
                    30);
                ++runs;
                SCOPED_TRACE(sample + " variant " + std::to_string(v) + ": " + command);
                ASSERT_FALSE(r.signaled) << r.err;
                ASSERT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code << r.err;
                if (r.exit_code == 0) {
                    mov::Movie m;
                    EXPECT_EQ(mov::ReadMovieFile(out, m, DiskFileOpener()), mov::kNoErr);
                } else {
                    EXPECT_FALSE(std::filesystem::exists(out));
                }
            }
        }
    }
    EXPECT_GT(runs, 300);
}

}  // namespace
}  // namespace trelvan
