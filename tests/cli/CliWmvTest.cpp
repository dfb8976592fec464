// trelvan-cli wmv-separate, wmv-unite, wmv-link and wmv-extract, run as a
// program on small WMV/WMA files.
#include <gtest/gtest.h>

#include <filesystem>

#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;

// 2 s of video (10 frames a second, a key frame every 5) with audio, and
// 3 s of audio alone.
std::string Movie() {
    return test::MakeMedia(
        "cli-wmv-movie",
        "-f lavfi -i testsrc=d=2:s=64x48:r=10 -f lavfi -i sine=f=400:d=2:r=22050 "
        "-c:v wmv2 -g 5 -c:a wmav2 -b:a 32k",
        "wmv");
}
std::string Sound() {
    return test::MakeMedia("cli-wmv-sound",
                           "-f lavfi -i sine=f=600:d=3:r=22050 -c:a wmav2 -b:a 32k", "wma");
}

// What ffprobe finds: one "kind,packets" line per stream, in file order.
std::string Streams(const std::string& path) {
    const test::CommandResult r =
        test::RunCommand({"ffprobe", "-v", "error", "-count_packets", "-show_entries",
                          "stream=codec_type,nb_read_packets", "-of", "csv=p=0", path});
    EXPECT_EQ(r.exit_code, 0) << path << ": " << r.err;
    return r.out;
}

struct Fixture {
    std::string dir = test::ScratchDir();
    std::string movie = test::CopyFile(Movie(), dir);
    std::string sound = test::CopyFile(Sound(), dir);
    std::string stem = movie.substr(0, movie.size() - 4);
    std::string cli = test::BuiltProgram("trelvan-cli");

    test::CommandResult Run(std::vector<std::string> args) const {
        args.insert(args.begin(), cli);
        return test::RunCommand(args, 60);
    }
};

TEST(CliWmv, EachCommandWritesItsDefaultOutput) {
    const Fixture f;
    const std::string movieStreams = Streams(f.movie);
    ASSERT_EQ(movieStreams, "video,20\naudio,44\n");
    ASSERT_EQ(Streams(f.sound), "audio,65\n");
    struct Case {
        std::vector<std::string> args;
        std::string output;
        std::string streams;
        std::string out;  // standard output
    };
    const Case cases[] = {
        {{"wmv-separate", "--video", f.movie}, f.stem + "_cut.wmv", "video,20\n", ""},
        // The extension follows the kind, whatever -o says.
        {{"wmv-separate", f.movie, "--audio", "-o", f.dir + "/sound.wmv"},
         f.dir + "/sound.wma",
         "audio,44\n",
         ""},
        {{"wmv-unite", f.movie, f.sound, "--quiet"},
         f.stem + "_comb.wmv",
         "video,20\naudio,65\n",
         ""},
        {{"wmv-link", f.movie, f.movie}, f.stem + "_link.wmv", "video,40\naudio,88\n", ""},
        {{"wmv-extract", f.movie},
         f.stem + "_extr.wmv",
         movieStreams,
         "first key frame 0:00:00.046\n"},
        // Not cut at key frames: from the frame at 0.646 s on; the key frame
        // of 1.046 s comes 0.4 s into the output.
        {{"wmv-extract", f.movie, "--start", "0.6", "--end", "1.3", "-o", f.dir + "/r.wmv"},
         f.dir + "/r.wmv",
         "video,7\naudio,16\n",
         "first key frame 0:00:00.446\n"},
        // Audio alone: no key frame line.
        {{"wmv-extract", f.sound, "--end", "0:0:1"},
         f.dir + "/" + fs::path(f.sound).stem().string() + "_extr.wmv",
         "audio,22\n",
         ""},
    };
    for (const Case& c : cases) {
        const auto r = f.Run(c.args);
        SCOPED_TRACE(c.args[0] + " -> " + c.output);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(Streams(c.output), c.streams);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(CliWmv, ExtractWarnsOfARangeWithoutKeyFrame) {
    const Fixture f;
    const auto r =
        f.Run({"wmv-extract", f.movie, "--start", "0.6", "--end", "0.9", "--lang", "en"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no video key frame"), std::string::npos) << r.err;
}

TEST(CliWmv, DryRunPrintsThePlanAndWritesNothing) {
    const Fixture f;
    const std::string out = f.dir + "/plan.wmv";
    const auto r = f.Run(
        {"wmv-extract", f.movie, "--start", "0.6", "--end", "1.3", "-o", out, "--dry-run"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    // The same key frame line as the run itself; 7 frames and 16 audio
    // samples.
    EXPECT_EQ(r.out.rfind("first key frame 0:00:00.446\nsamples 23\n", 0), 0u) << r.out;
    EXPECT_FALSE(fs::exists(out));
    const auto none = f.Run({"wmv-extract", f.movie, "--start", "0.6", "--end", "0.9",
                             "--dry-run", "--lang", "en"});
    EXPECT_EQ(none.exit_code, 0);
    EXPECT_NE(none.err.find("no video key frame"), std::string::npos) << none.err;
}

TEST(CliWmv, VerbosePrintsTheCopyEngineDiagnostics) {
    const Fixture f;
    for (const bool verbose : {false, true}) {
        std::vector<std::string> args = {"wmv-separate", "--audio", f.movie};
        if (verbose) {
            args.push_back("--verbose");
        }
        const auto r = f.Run(args);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err.find("trelvan-cli: Creating the Reader...\n") != std::string::npos, verbose)
            << r.err;
    }
}

TEST(CliWmv, FailuresAndUsageErrors) {
    const Fixture f;
    const std::string missing = f.dir + "/missing.wmv";
    const std::string out = f.dir + "/out.wmv";
    struct Case {
        std::vector<std::string> args;
        int exit;
        const char* message;
    };
    const Case cases[] = {
        {{"wmv-separate", f.movie}, 2, "one of --video and --audio"},
        {{"wmv-separate", "--video", "--audio", f.movie}, 2, "one of --video and --audio"},
        {{"wmv-separate", "--video", f.movie, f.sound}, 2, "exactly one SRC"},
        {{"wmv-unite", f.movie}, 2, "VIDEO and an AUDIO"},
        {{"wmv-link", "-o", out}, 2, "at least one SRC"},
        {{"wmv-extract", f.movie, "--start", "1:x"}, 2, "invalid time"},
        {{"wmv-extract", f.movie, "--frames", "3"}, 2, "--frames"},
        {{"wmv-separate", "--video", missing}, 1, "(error 8201)"},
        {{"wmv-unite", f.movie, missing, "-o", out}, 1, "(error 8201)"},
        {{"wmv-link", f.movie, missing, "-o", out}, 1, "(error 8201)"},
        {{"wmv-extract", missing}, 1, "(error 8201)"},
        {{"wmv-extract", missing, "--end", "1", "-o", out}, 1, "(error 8201)"},
        {{"wmv-separate", "--video", f.sound, "-o", out}, 1, "(error 8204)"},
        {{"wmv-unite", f.sound, f.movie, "-o", out}, 1, "(error 8204)"},
        // Files whose streams differ are refused unless forced.
        {{"wmv-link", f.movie, f.sound, "-o", out}, 1, "--force joins them"},
        // An output that names a source (however spelled) is refused before
        // anything is deleted.
        {{"wmv-separate", "--video", f.movie, "-o", f.movie}, 1, "(error 6006)"},
        {{"wmv-unite", f.movie, f.sound, "-o",
          f.dir + "/./" + fs::path(f.sound).filename().string()},
         1,
         "(error 6006)"},
        {{"wmv-link", f.movie, f.movie, "-o", f.movie}, 1, "(error 6006)"},
        {{"wmv-extract", f.movie, "-o", f.movie}, 1, "(error 6006)"},
    };
    const auto movieBytes = test::ReadBytes(f.movie);
    const auto soundBytes = test::ReadBytes(f.sound);
    for (const Case& c : cases) {
        const auto r = f.Run(c.args);
        EXPECT_EQ(r.exit_code, c.exit) << c.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args[0] << " " << r.err;
    }
    // The check compares Windows Media files as the link does.
    auto r = f.Run({"check", f.movie, f.sound, "--human"});
    EXPECT_EQ(r.exit_code, 1) << r.err;
    EXPECT_NE(r.out.find("stream 1"), std::string::npos) << r.out;
    r = f.Run({"check", f.movie, f.movie});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(test::ReadBytes(f.movie), movieBytes);
    EXPECT_EQ(test::ReadBytes(f.sound), soundBytes);
}

}  // namespace
}  // namespace trelvan
