// The MOV link operation: what it writes and the edge cases of its page
// (one entry, a non-movie source, a stop, an output that is a source, a
// failing disk, the companion file).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "ErrorCodes.h"
#include "Fixtures.h"
#include "MovFixtures.h"
#include "MovLink.h"
#include "MovProbe.h"
#include "MovieReader.h"
#include "Probe.h"
#include "Process.h"

namespace trelvan {
namespace {

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

mov::Movie Read(const std::string& path) {
    mov::Movie m;
    EXPECT_EQ(mov::ReadMovieFile(path, m, DiskFileOpener()), mov::kNoErr) << path;
    return m;
}

TEST(MovLink, OneEntryGivesAFlattenedCopy) {
    const std::string src = mov::test::Make(mov::test::kH264Aac);
    const std::string out = test::ScratchDir() + "/copy.mov";
    OpContext ctx;
    const MovLinkResult r = RunMovLink({{src}, out}, ctx);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_TRUE(r.message.empty());
    EXPECT_FALSE(ctx.StopRequested());
    const mov::Movie a = Read(src), b = Read(out);
    ASSERT_EQ(a.tracks.size(), b.tracks.size());
    for (size_t t = 0; t < a.tracks.size(); ++t) {
        EXPECT_EQ(mov::test::ModelFrames(a, t), mov::test::ModelFrames(b, t));
        EXPECT_EQ(a.tracks[t].edits.size(), b.tracks[t].edits.size());
    }
    EXPECT_TRUE(test::DecodesCleanly(out));
}

TEST(MovLink, JoinsInListOrderWithDefaultName) {
    const std::string dir = test::ScratchDir();
    const std::string a = test::CopyFile(mov::test::Make(mov::test::kH264Aac), dir);
    const std::string b = test::CopyFile(mov::test::Make(mov::test::kOtherLevel), dir);
    const std::string out = MovLinkDefaultOutput(a);
    EXPECT_EQ(out, a.substr(0, a.size() - 4) + "_link.mov");
    OpContext ctx;
    int pumps = 0;
    ctx.pump = [&] { ++pumps; };
    const MovLinkResult r = RunMovLink({{a, b, a}, out}, ctx);
    ASSERT_EQ(r.code, 0) << r.message;
    EXPECT_EQ(pumps, 2);  // once before each added entry
    const mov::Movie ma = Read(a), mb = Read(b), joined = Read(out);
    // Every video frame; the sound of the later entries without their
    // priming packet (one AAC packet each), and at most one packet of sound
    // that ran into the next entry left out per join.
    EXPECT_EQ(joined.tracks[0].samples.size(),
              2 * ma.tracks[0].samples.size() + mb.tracks[0].samples.size());
    const size_t sound = 2 * ma.tracks[1].samples.size() + mb.tracks[1].samples.size() - 2;
    EXPECT_LE(joined.tracks[1].samples.size(), sound);
    EXPECT_GE(joined.tracks[1].samples.size(), sound - 2);
}

TEST(MovLink, ANonMovieSourceStopsWithItsMessageAndNoOutput) {
    const std::string dir = test::ScratchDir();
    const std::string src = mov::test::Make(mov::test::kH264Aac);
    const std::string wav = test::CopyFile(test::SamplePath("wav/taglib_alaw.wav"), dir);
    const std::string out = dir + "/out.mov";
    test::WriteBytes(out, {1, 2, 3});  // an old output stays
    OpContext ctx;
    const MovLinkResult r = RunMovLink({{src, wav}, out}, ctx);
    EXPECT_EQ(r.message, wav + "\nファイルOPENエラー");
    EXPECT_EQ(r.icon, MovLinkIcon::Stop);
    EXPECT_TRUE(ctx.StopRequested());
    EXPECT_EQ(test::ReadBytes(out), std::vector<uint8_t>({1, 2, 3}));
    // The same for the first entry.
    const MovLinkResult first = RunMovLink({{wav, src}, out}, ctx);
    EXPECT_EQ(first.message, wav + "\nファイルOPENエラー");
    EXPECT_EQ(test::ReadBytes(out), std::vector<uint8_t>({1, 2, 3}));
}

TEST(MovLink, StopBeforeTheThirdOfFiveSavesNothing) {
    const std::string src = mov::test::Make(mov::test::kMjpegRaw);
    const std::string out = test::ScratchDir() + "/stopped.mov";
    OpContext ctx;
    std::vector<int32_t> items;
    ctx.pump = [&] {
        items.push_back(ctx.item.load());
        if (ctx.item.load() == 2) {
            ctx.stop = 1;  // Stop pressed while the third entry is next
        }
    };
    const MovLinkResult r = RunMovLink({{src, src, src, src, src}, out}, ctx);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(items, (std::vector<int32_t>{1, 2}));  // the fourth is never opened
    EXPECT_TRUE(ctx.StopRequested());
    EXPECT_FALSE(Exists(out));
}

// An output that names a source (however spelled) is refused before
// anything is deleted.
TEST(MovLink, OutputThatIsASourceIsRefusedFirst) {
    const std::string dir = test::ScratchDir();
    const std::string src = test::CopyFile(mov::test::Make(mov::test::kMjpegRaw), dir);
    const auto before = test::ReadBytes(src);
    OpContext ctx;
    const std::string spelled = dir + "/./" + std::filesystem::path(src).filename().string();
    const MovLinkResult r = RunMovLink({{src, src}, spelled}, ctx);
    // The save message the page shows (no numeric code), with the stop icon.
    EXPECT_EQ(r.code, mov::kCantCreateSingleForkFile);
    EXPECT_EQ(r.message, std::string("ムービーを保存中にエラーが発生しました。\n\n詳細：\n") +
                             "cantCreateSingleForkFile");
    EXPECT_EQ(r.icon, MovLinkIcon::Stop);
    EXPECT_FALSE(r.started);
    EXPECT_EQ(test::ReadBytes(src), before);
    EXPECT_EQ(RunMovLink({{}, dir + "/x.mov"}, ctx).code, err::kNoFrame);
}

// A disk that fills up while saving: the save message with the result's
// name, and no output left.
TEST(MovLink, FullDiskGivesTheSaveMessageAndNoOutput) {
    const std::string src = mov::test::Make(mov::test::kH264Aac);
    const std::string out = test::ScratchDir() + "/full.mov";
    OpContext ctx;
    ctx.opener = [&](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto f = OpenDiskFile(path, mode);
        if (!f || mode == OpenMode::Read) {
            return f;
        }
        return std::make_unique<FaultyFile>(std::move(f), 20000);
    };
    const MovLinkResult r = RunMovLink({{src, src}, out}, ctx);
    EXPECT_EQ(r.message,
              "ムービーを保存中にエラーが発生しました。\n\n詳細：\ndataNotOpenForWrite");
    EXPECT_TRUE(ctx.StopRequested());
    EXPECT_FALSE(Exists(out));
}

TEST(MovLink, CompanionResourceFileIsDeleted) {
    const std::string src = mov::test::Make(mov::test::kMjpegRaw);
    const std::string out = test::ScratchDir() + "/res.mov";
    test::WriteBytes(out + ".#res", {0});
    OpContext ctx;
    ASSERT_EQ(RunMovLink({{src}, out}, ctx).code, 0);
    EXPECT_TRUE(Exists(out));
    EXPECT_FALSE(Exists(out + ".#res"));
}

TEST(MovLink, ProgressCountsEntries) {
    OpContext ctx;
    ctx.items = 4;
    ctx.item = 1;
    const ProgressInput in = MovLinkProgress(ctx, false);
    EXPECT_EQ(in.item, 2);
    EXPECT_EQ(in.items, 4);
    EXPECT_EQ(FormatProgress(in).bar, 25);
}

// Subtitle cues keep their times in every entry: the time between an
// entry's last cue and the next entry is an empty sample, not the last cue
// held (nor a gap that would bring the next entry's cues early).
TEST(MovLink, SubtitleCuesKeepTheirTimes) {
    const std::string dir = test::ScratchDir();
    const std::string srt = dir + "/cues.srt";
    const std::string text =
        "1\n00:00:00,200 --> 00:00:00,600\nHello\n\n2\n00:00:01,000 --> 00:00:01,400\nWorld\n";
    test::WriteBytes(srt, {text.begin(), text.end()});
    const std::string src = dir + "/cues.mp4";
    ASSERT_EQ(test::RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                "testsrc=size=64x48:rate=25:duration=2", "-i", srt, "-c:v", "mjpeg",
                                "-c:s", "mov_text", src})
                  .exit_code,
              0);
    const std::string out = dir + "/cues.mov";
    OpContext ctx;
    ASSERT_EQ(RunMovLink({{src, src}, out}, ctx).code, 0);
    const auto r =
        test::RunCommand({"ffprobe", "-v", "error", "-select_streams", "s", "-show_entries",
                          "packet=pts_time,size", "-of", "csv=p=0", out});
    // The cues (5 bytes of text after the length) where each entry has them.
    std::vector<double> cues;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        double at = 0;
        int size = 0;
        if (std::sscanf(line.c_str(), "%lf,%d", &at, &size) == 2 && size > 2) {
            cues.push_back(at);
        }
    }
    const std::vector<double> want = {0.2, 1.0, 2.2, 3.0};
    ASSERT_EQ(cues.size(), want.size()) << r.out;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(cues[i], want[i], 0.001) << "cue " << i;
    }
}

}  // namespace
}  // namespace trelvan
