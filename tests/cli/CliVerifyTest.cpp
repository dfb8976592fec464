// trelvan-cli verify and --verify: clean outputs of every kind of command
// pass, outputs altered in one place fail and name the place.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "AviFile.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "OutputVerify.h"
#include "Process.h"
#include "VerifyWritten.h"

namespace trelvan {
namespace {

// Small sources made once per build tree: AVI (MPEG-4 with stereo 16-bit
// PCM, whose blocks are 4 bytes), WMV, MP4 and a WAV whose data ends inside
// a block.
struct Sources {
    std::string dir = test::ScratchDir();
    std::string aviA = Avi("cli-verify-a", "testsrc", 2);
    std::string aviB = Avi("cli-verify-b", "testsrc2", 1);
    std::string wmvA = Made("cli-verify-wa", "testsrc", 2, "-c:v wmv2 -g 5 -c:a wmav2 -b:a 32k", "wmv");
    std::string wmvB = Made("cli-verify-wb", "testsrc2", 1, "-c:v wmv2 -g 5 -c:a wmav2 -b:a 32k", "wmv");
    std::string movA = Made("cli-verify-ma", "testsrc", 2, "-c:v libx264 -g 5 -c:a aac", "mp4");
    std::string movB = Made("cli-verify-mb", "testsrc", 1, "-c:v libx264 -g 5 -c:a aac", "mp4");
    std::string wav = PartialBlockWav();

    static std::string Made(const std::string& name, const std::string& pattern, int seconds,
                            const std::string& codecs, const std::string& ext) {
        const std::string d = std::to_string(seconds);
        return test::MakeMedia(name,
                               "-f lavfi -i " + pattern + "=d=" + d + ":s=64x48:r=10 -f lavfi -i sine=f=440:d=" +
                                   d + ":r=22050 -ac 2 " + codecs,
                               ext);
    }
    static std::string Avi(const std::string& name, const std::string& pattern, int seconds) {
        return Made(name, pattern, seconds, "-c:v mpeg4 -g 5 -c:a pcm_s16le -f avi", "avi");
    }
    // A stereo 16-bit WAV file cut 2 bytes into its last block.
    std::string PartialBlockWav() const {
        std::vector<uint8_t> b = test::ReadBytes(test::MakeMedia(
            "cli-verify-wav", "-f lavfi -i sine=f=660:d=1:r=22050 -ac 2 -c:a pcm_s16le -f wav", "wav"));
        const auto data = std::search(b.begin(), b.end(), std::begin("data"), std::end("data") - 1);
        const size_t at = static_cast<size_t>(data - b.begin());
        b.resize(b.size() - 2);
        bytes::PutLE32(b.data() + at + 4, static_cast<uint32_t>(b.size() - at - 8));
        bytes::PutLE32(b.data() + 4, static_cast<uint32_t>(b.size() - 8));
        const std::string path = dir + "/partial.wav";
        test::WriteBytes(path, b);
        return path;
    }
};

const Sources& Src() {
    static const Sources s;
    return s;
}

test::CommandResult Cli(std::vector<std::string> args) {
    args.insert(args.begin(), test::BuiltProgram("trelvan-cli"));
    return test::RunCommand(args);
}

std::vector<std::string> Against(const std::string& out, const std::vector<std::string>& sources) {
    std::vector<std::string> args{"verify", out, "--human"};
    if (!sources.empty()) {
        args.push_back("--against");
        args.insert(args.end(), sources.begin(), sources.end());
    }
    return args;
}

// The one check of a caught output: exit 1 and a report that names `says`.
void ExpectCaught(const std::string& file, const std::vector<std::string>& sources,
                  const std::string& says) {
    const test::CommandResult r = Cli(Against(file, sources));
    EXPECT_EQ(r.exit_code, 1) << file << ": " << r.out << r.err;
    EXPECT_NE(r.out.find(says), std::string::npos) << file << ": " << r.out;
}

// A copy of `from` changed by `alter`.
std::string Altered(const std::string& from, const std::string& name,
                    const std::function<void(std::vector<uint8_t>&)>& alter) {
    std::vector<uint8_t> b = test::ReadBytes(from);
    alter(b);
    const std::string path = Src().dir + "/" + name;
    test::WriteBytes(path, b);
    return path;
}

size_t Find(const std::vector<uint8_t>& b, const std::vector<uint8_t>& what, size_t from = 0) {
    const auto it = std::search(b.begin() + static_cast<std::ptrdiff_t>(from), b.end(), what.begin(),
                                what.end());
    EXPECT_NE(it, b.end());
    return static_cast<size_t>(it - b.begin());
}
std::vector<uint8_t> Id(const char (&s)[5]) { return {s, s + 4}; }

// Where a chunk of an AVI stream lies, from the program's reader.
uint64_t ChunkAt(const std::string& path, int stream, int64_t chunk) {
    int32_t error = 0;
    const auto file = AviFile::Open(path, &error);
    return file ? file->Stream(stream).ChunkOffset(chunk) : 0;
}

struct Case {
    const char* name;
    std::vector<std::string> args;  // the command, without -o and --verify
    std::vector<std::string> sources;
    const char* ext;
};

std::vector<Case> Cases() {
    const Sources& s = Src();
    return {
        {"avi-separate-video", {"avi-separate", "--video", s.aviA}, {s.aviA}, "avi"},
        {"avi-separate-audio", {"avi-separate", "--audio", s.aviA}, {s.aviA}, "wav"},
        {"avi-unite", {"avi-unite", s.aviA, s.wav}, {s.aviA, s.wav}, "avi"},
        {"avi-link", {"avi-link", s.aviA, s.aviB, s.aviA}, {s.aviA, s.aviB, s.aviA}, "avi"},
        {"avi-extract", {"avi-extract", s.aviA, "--start", "0:0:0.55", "--end", "0:0:1.5"}, {s.aviA}, "avi"},
        // The first WAV's partial last block is left out at the join.
        {"audio-link", {"audio-link", s.wav, s.wav, s.wav}, {s.wav, s.wav, s.wav}, "wav"},
        {"audio-extract", {"audio-extract", s.aviA, "--start", "0:0:0.3", "--end", "0:0:1.1"}, {s.aviA}, "wav"},
        {"wmv-separate", {"wmv-separate", "--audio", s.wmvA}, {s.wmvA}, "wma"},
        {"wmv-unite", {"wmv-unite", s.wmvB, s.wmvA}, {s.wmvB, s.wmvA}, "wmv"},
        {"wmv-link", {"wmv-link", s.wmvA, s.wmvB}, {s.wmvA, s.wmvB}, "wmv"},
        {"wmv-extract", {"wmv-extract", s.wmvA, "--start", "0:0:0.45", "--end", "0:0:1.3"}, {s.wmvA}, "wmv"},
        {"mov-link", {"mov-link", s.movA, s.movB, "--force"}, {s.movA, s.movB}, "mov"},
    };
}

std::string Output(const Case& c) { return Src().dir + "/" + c.name + "." + c.ext; }

// Every command's clean output passes its own --verify and verify --against.
// The outputs stay for the tests below.
class CliVerify : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const Case& c : Cases()) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"-o", Output(c), "--verify", "--quiet"});
            const test::CommandResult r = Cli(args);
            EXPECT_EQ(r.exit_code, 0) << c.name << ": " << r.err;
        }
    }
};

TEST_F(CliVerify, CleanOutputsPass) {
    for (const Case& c : Cases()) {
        test::CommandResult r = Cli(Against(Output(c), c.sources));
        EXPECT_EQ(r.exit_code, 0) << c.name << ": " << r.out << r.err;
        r = Cli({"verify", Output(c)});
        EXPECT_EQ(r.exit_code, 0) << c.name << ": " << r.out << r.err;
        EXPECT_NE(r.out.find("\"ok\": true"), std::string::npos) << r.out;
    }
}

TEST_F(CliVerify, AlteredOutputsAreCaught) {
    const Sources& s = Src();
    const std::string link = Src().dir + "/avi-link.avi";
    const std::vector<std::string> linked{s.aviA, s.aviB, s.aviA};

    const uint64_t frame = ChunkAt(link, 0, 12) + 20;
    ExpectCaught(Altered(link, "video-byte.avi", [&](auto& b) { b[frame] ^= 0x04; }), linked,
                 "video sample 12, byte 20: bytes (");
    const uint64_t sound = ChunkAt(link, 1, 0) + 1001;
    ExpectCaught(Altered(link, "audio-byte.avi", [&](auto& b) { b[sound] ^= 0x01; }), linked,
                 "audio byte 1001: bytes (");
    ExpectCaught(Altered(link, "total-frames.avi",
                         [](auto& b) {
                             uint8_t* p = b.data() + Find(b, Id("avih")) + 8 + 16;
                             bytes::PutLE32(p, bytes::GetLE32(p) + 1);
                         }),
                 {}, "avih: total frames: expected 50, found 51");
    ExpectCaught(Altered(link, "stream-length.avi",
                         [](auto& b) {
                             uint8_t* p = b.data() + Find(b, Id("strh"), Find(b, Id("strh")) + 4) + 8 + 32;
                             bytes::PutLE32(p, bytes::GetLE32(p) - 1);
                         }),
                 {}, "strh 1 'auds': length");
    ExpectCaught(Altered(link, "cut.avi", [](auto& b) { b.resize(b.size() - 3000); }), {},
                 "RIFF 0: size (the file ends before it)");

    // A flipped byte in the last whole block of the first WAV of the link,
    // just before the partial block that the join leaves out.
    const std::string wavs = Src().dir + "/audio-link.wav";
    ExpectCaught(Altered(wavs, "audio-tail.wav",
                         [](auto& b) { b[Find(b, Id("data")) + 8 + 88193] ^= 0x80; }),
                 {s.wav, s.wav, s.wav}, "audio byte 88193: bytes (partial.wav byte 88193)");

    const std::string wmv = Src().dir + "/wmv-link.wmv";
    const std::vector<uint8_t> file_props{0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    ExpectCaught(Altered(wmv, "packets.wmv",
                         [&](auto& b) {
                             uint8_t* p = b.data() + Find(b, file_props) + 24 + 16 + 16;
                             bytes::PutLE64(p, bytes::GetLE64(p) + 1);
                         }),
                 {}, "file properties: data packets");
    ExpectCaught(Altered(wmv, "cut.wmv", [](auto& b) { b.resize(b.size() - 1000); }), {},
                 "size (the file ends before it)");
    const std::string mov = Src().dir + "/mov-link.mov";
    ExpectCaught(Altered(mov, "cut.mov", [](auto& b) { b.resize(b.size() - 100); }), {},
                 "size (bytes left in the file)");
}

TEST_F(CliVerify, WrongSourcesAreCaught) {
    const Sources& s = Src();
    const std::string dir = Src().dir;
    ExpectCaught(dir + "/avi-extract.avi", {s.aviB}, "video sample 0: found in");
    ExpectCaught(dir + "/avi-link.avi", {s.aviA, s.aviB}, "video: samples");
    ExpectCaught(dir + "/audio-extract.wav", {s.wav}, "audio byte 0: first");
    ExpectCaught(dir + "/wmv-link.wmv", {s.wmvB, s.wmvA}, "video: samples (to the end of");
    ExpectCaught(dir + "/mov-link.mov", {s.movB}, "video");
    EXPECT_EQ(Cli({"verify"}).exit_code, 2);
    EXPECT_EQ(Cli({"verify", dir + "/avi-link.avi", s.aviA}).exit_code, 2);
}

// The plans --verify checks against hold the output to its command's form.
TEST_F(CliVerify, PlansOfTheCommands) {
    const Sources& s = Src();
    const std::string dir = Src().dir;
    const std::string flipped = dir + "/video-byte.avi";
    EXPECT_FALSE(cli::VerifyOutputPlan(flipped, cli::JoinPlan({s.aviA, s.aviB, s.aviA})).Ok());
    EXPECT_TRUE(cli::VerifyOutputPlan(dir + "/avi-unite.avi", cli::WholeStreamsPlan(s.aviA, s.wav)).Ok());
    // A unite's audio is the whole of its source, not any run of it.
    EXPECT_FALSE(cli::VerifyOutputPlan(dir + "/avi-unite.avi", cli::WholeStreamsPlan(s.aviA, s.aviA)).Ok());
    // A separate leaves the other kind out.
    EXPECT_FALSE(cli::VerifyOutputPlan(dir + "/avi-link.avi", cli::WholeStreamsPlan(s.aviA, {})).Ok());
    EXPECT_TRUE(cli::VerifyOutputPlan(dir + "/avi-extract.avi", cli::RunPlan(s.aviA)).Ok());
}

}  // namespace
}  // namespace trelvan
