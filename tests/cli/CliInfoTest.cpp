#include <gtest/gtest.h>

#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan::test;

TEST(CliInfoTest, PrintsTheStreamsTheReadersSelectAsJson) {
    const std::string avi =
        MakeMedia("info_avi",
                  "-f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=sample_rate=44100 "
                  "-t 2 -c:v mpeg4 -g 12 -c:a libmp3lame -b:a 128k",
                  "avi");
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "info", avi});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string& out = r.out;
    EXPECT_EQ(out.rfind("{\"file\": \"" + avi + "\", \"video\": {", 0), 0u) << out;
    for (const char* part :
         {"\"handler\": \"FMP4\"", "\"compression\": \"FMP4\"", "\"type\": \"vids\"",
          "\"rate\": 25", "\"scale\": 1", "\"fps\": 25.0", "\"start\": 0", "\"width\": 320",
          "\"height\": 240", "\"keyframes\": 5", "\"priority\": 0", "\"format_tag\": 85",
          "\"channels\": 1", "\"samples_per_sec\": 44100", "\"extra_size\": 12",
          "\"sample_size\": 0"}) {
        EXPECT_NE(out.find(part), std::string::npos) << part << " in " << out;
    }
    // The key frame count agrees with ffprobe's key packets.
    // Length and key frame count agree with ffprobe.
    int keys = 0;
    const auto packets = ProbePackets(avi, "v:0");
    for (const ProbedPacket& p : packets) {
        keys += p.key ? 1 : 0;
    }
    EXPECT_NE(out.find("\"keyframes\": " + std::to_string(keys)), std::string::npos);
    // (A dropped frame is a frame too; ffprobe counts it in nb_frames only.)
    EXPECT_NE(out.find("\"length\": " + ProbeStream(avi, "v:0", {"nb_frames"}).at("nb_frames")),
              std::string::npos);

    r = RunCommand({BuiltProgram("trelvan-cli"), "info", "--human", avi});
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Video:\n  Handler                    FMP4\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("  Format tag                 85\n"), std::string::npos);
}

TEST(CliInfoTest, AudioOnlyVideoOnlyAndUnreadableFiles) {
    const std::string wav =
        MakeMedia("info_wav", "-f lavfi -i sine=sample_rate=8000 -t 1 -c:a pcm_s16le", "wav");
    auto r = RunCommand({BuiltProgram("trelvan-cli"), "info", wav});
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("\"video\": null, \"audio\": {\"format_tag\": 1, \"channels\": 1, "
                         "\"samples_per_sec\": 8000, \"avg_bytes_per_sec\": 16000, "
                         "\"block_align\": 2, \"bits_per_sample\": 16, \"extra_size\": 0, "
                         "\"rate\": 16000, \"scale\": 2, \"start\": 0, \"length\": 8000, "
                         "\"sample_size\": 2}}\n"),
              std::string::npos)
        << r.out;

    const std::string video = MakeMedia(
        "info_video_only", "-f lavfi -i testsrc=size=64x48:rate=10 -t 1 -c:v mjpeg", "avi");
    r = RunCommand({BuiltProgram("trelvan-cli"), "info", video});
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("\"audio\": null}"), std::string::npos) << r.out;

    const std::string text = ScratchDir() + "/not-media.avi";
    WriteBytes(text, {'h', 'e', 'l', 'l', 'o'});
    for (const std::string& path : {text, ScratchDir() + "/missing.wav", ScratchDir()}) {
        r = RunCommand({BuiltProgram("trelvan-cli"), "info", path, "--lang", "en"});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "trelvan-cli: " + path + ": the file does not open (error 1002)\n");
        EXPECT_EQ(r.out, "");
    }
    r = RunCommand({BuiltProgram("trelvan-cli"), "info"});
    EXPECT_EQ(r.exit_code, 2);
}

}  // namespace
