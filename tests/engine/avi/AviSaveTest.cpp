#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "AviFile.h"
#include "AviSave.h"
#include "AviTestUtil.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
namespace fs = std::filesystem;

const std::string kVideo = "-f lavfi -i testsrc=d=3:s=160x120:r=25";
const std::string kTone = "-f lavfi -i sine=d=3:f=440:r=44100";

std::string VideoAudioSource() {
    return test::MakeMedia("save-mpeg4-pcm",
                           kVideo + " " + kTone + " -c:v mpeg4 -bf 2 -g 12 -c:a pcm_s16le -f avi",
                           "avi");
}

struct Opened {
    std::shared_ptr<AviFile> file;
    AviStream* video = nullptr;
    AviStream* audio = nullptr;
};

Opened Open(const std::string& path) {
    Opened o;
    int32_t error = 0;
    o.file = AviFile::Open(path, &error);
    EXPECT_TRUE(o.file) << path << ": " << error;
    for (int i = 0; o.file && i < o.file->StreamCount(); ++i) {
        AviStream& s = o.file->Stream(i);
        if (s.IsVideo() && !o.video) {
            o.video = &s;
        } else if (s.IsAudio() && !o.audio) {
            o.audio = &s;
        }
    }
    return o;
}

std::vector<uint8_t> Concat(const std::vector<test::ProbedPacket>& p) {
    std::vector<uint8_t> all;
    for (const auto& x : p) {
        all.insert(all.end(), x.data.begin(), x.data.end());
    }
    return all;
}

void ExpectSame(const std::vector<test::ProbedPacket>& want,
                const std::vector<test::ProbedPacket>& got, const std::string& what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].data, got[i].data) << what << " " << i;
        ASSERT_EQ(want[i].key, got[i].key) << what << " " << i;
    }
}

// The operation the unite page relies on: the video of one file and the
// audio of another, in one interleaved file, samples unchanged.
TEST(AviSaveTest, UniteWritesBothStreamsInterleavedAndUnchanged) {
    struct Case {
        const char* name;
        std::string audio_args;
        std::string ext;
    } cases[] = {
        {"pcm", kTone + " -c:a pcm_s16le -f avi", "avi"},
        {"mp3vbr", kTone + " -c:a libmp3lame -q:a 4 -f avi", "avi"},
        {"adpcm-wav", kTone + " -c:a adpcm_ms", "wav"},
    };
    const std::string video_src = VideoAudioSource();
    for (const Case& c : cases) {
        const std::string audio_src =
            test::MakeMedia(std::string("save-audio-") + c.name, c.audio_args, c.ext);
        Opened v = Open(video_src);
        Opened a = Open(audio_src);
        ASSERT_TRUE(v.video && a.audio) << c.name;
        const std::string out = test::ScratchDir() + "/clip.mpg";  // any name but .wav: AVI
        std::string written;
        std::vector<int32_t> percents;
        const int32_t rc = SaveStreams(
            out, {{v.video, nullptr}, {a.audio, nullptr}},
            [&](int32_t p) {
                percents.push_back(p);
                return 0;
            },
            &written);
        ASSERT_EQ(rc, 0) << c.name;
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(fs::path(written).parent_path(), fs::path(out).parent_path());
        EXPECT_FALSE(fs::exists(out));  // the caller moves the file over the output

        ExpectSame(test::ProbePackets(video_src, "v:0"), test::ProbePackets(written, "v:0"),
                   std::string(c.name) + " video");
        const auto want_audio = test::ProbePackets(audio_src, "a:0");
        const auto got_audio = test::ProbePackets(written, "a:0");
        EXPECT_EQ(Concat(want_audio), Concat(got_audio)) << c.name;
        if (a.audio->SampleSize() == 0) {
            ExpectSame(want_audio, got_audio, std::string(c.name) + " audio");
        }
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(written, &errors)) << c.name << errors;

        // Interleaved: audio and video chunks alternate all along the file
        // (never more than about a frame's worth of one before the other).
        const auto order = test::RunCommand({"ffprobe", "-v", "error", "-show_entries",
                                             "packet=stream_index", "-of", "csv=p=0", written});
        // (The ADPCM source's header rate makes its audio longer than the
        // video; only the part where both streams run is looked at.)
        int longest_run = 0, run = 0;
        char last = 0;
        const std::string both = order.out.substr(0, order.out.size() * 2 / 3);
        for (char ch : both) {
            if (ch == '\n') {
                continue;
            }
            run = ch == last ? run + 1 : 1;
            last = ch;
            longest_run = std::max(longest_run, run);
        }
        EXPECT_LE(longest_run, 4) << c.name;
        const test::WalkedAvi res = test::WalkAvi(written);
        EXPECT_NE(res.avihFlags & 0x100, 0u);  // AVIF_ISINTERLEAVED

        // Percent: from 0, never falling, ending at 100.
        ASSERT_GE(percents.size(), 3u);
        EXPECT_EQ(percents.front(), 0);
        EXPECT_EQ(percents.back(), 100);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_LE(*std::max_element(percents.begin(), percents.end() - 1), 99);
    }
}

// The separate page's two commands: the video alone into an AVI file, the
// audio alone into a WAV file in its own format.
TEST(AviSaveTest, SeparateWritesOneStreamAviOrWav) {
    const std::string src = VideoAudioSource();
    Opened o = Open(src);
    const std::string dir = test::ScratchDir();
    std::string written;
    AVICOMPRESSOPTIONS vopt;
    vopt.fccType = o.video->Info().fccType;
    vopt.dwKeyFrameEvery = 0xFFFFFFFF;
    vopt.dwQuality = 0xFFFFFFFF;
    vopt.dwFlags = AVICOMPRESSF_VALID | AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_DATARATE;
    vopt.dwInterleaveEvery = 1;
    ASSERT_EQ(SaveStreams(dir + "/v.avi", {{o.video, &vopt}}, nullptr, &written), 0);
    EXPECT_EQ(test::ProbeStreamCount(written, 'a'), 0);
    ExpectSame(test::ProbePackets(src, "v:0"), test::ProbePackets(written, "v:0"), "video");

    for (const char* codec : {"pcm_s16le", "adpcm_ms", "libmp3lame"}) {
        const std::string asrc = test::MakeMedia(std::string("save-sep-") + codec,
                                                 kTone + " -c:a " + codec + " -f avi", "avi");
        Opened a = Open(asrc);
        AVICOMPRESSOPTIONS aopt;
        aopt.fccType = a.audio->Info().fccType;
        aopt.dwFlags = AVICOMPRESSF_VALID;
        aopt.dwInterleaveEvery = 1;
        aopt.format = a.audio->Format();
        ASSERT_EQ(SaveStreams(dir + "/a.WAV", {{a.audio, &aopt}}, nullptr, &written), 0) << codec;
        const auto head = test::ReadBytes(written);
        ASSERT_GE(head.size(), 12u);
        EXPECT_EQ(bytes::GetLE32(&head[8]), bytes::FourCC("WAVE")) << codec;
        EXPECT_EQ(Concat(test::ProbePackets(asrc, "a:0")),
                  Concat(test::ProbePackets(written, "a:0")))
            << codec;
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(written, &errors)) << codec << errors;
        // The fact chunk counts the sample frames: what the decoder gives.
        const auto out = test::ReadBytes(written);
        size_t p = 12;
        uint32_t fact = 0;
        while (p + 8 <= out.size()) {
            const uint32_t size = bytes::GetLE32(&out[p + 4]);
            if (bytes::GetLE32(&out[p]) == bytes::FourCC("fact")) {
                fact = bytes::GetLE32(&out[p + 8]);
            }
            p += 8 + size + (size & 1);
        }
        const auto pcm =
            test::RunCommand({"ffmpeg", "-v", "error", "-i", asrc, "-f", "s16le", "-ac", "1", "-"});
        EXPECT_EQ(fact, pcm.out.size() / 2) << codec;
    }
}

TEST(AviSaveTest, StopFromTheCallbackAbortsAndLeavesAReadableFile) {
    const std::string src = VideoAudioSource();
    Opened o = Open(src);
    std::string written;
    int calls = 0;
    const int32_t rc = SaveStreams(
        test::ScratchDir() + "/stop.avi", {{o.video, nullptr}, {o.audio, nullptr}},
        [&](int32_t p) { return ++calls, p >= 40 ? 1 : 0; }, &written);
    EXPECT_EQ(rc, kAviErrUserAbort);
    ASSERT_FALSE(written.empty());
    const auto got = test::ProbePackets(written, "v:0");
    const auto want = test::ProbePackets(src, "v:0");
    EXPECT_GT(got.size(), want.size() / 4);
    EXPECT_LT(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].data, want[i].data);
    }
    // A stop at the first call.
    EXPECT_EQ(SaveStreams(
                  test::ScratchDir() + "/stop0.avi", {{o.video, nullptr}},
                  [](int32_t) { return 1; }, &written),
              kAviErrUserAbort);
}

TEST(AviSaveTest, UncreatableFilesAndRefusedRequests) {
    Opened o = Open(VideoAudioSource());
    const std::string dir = test::ScratchDir();
    std::string written = "stale";
    EXPECT_EQ(SaveStreams(dir + "/missing/out.avi", {{o.video, nullptr}}, nullptr, &written),
              kAviErrFileOpen);
    EXPECT_TRUE(written.empty());
    // The opener refuses: the name made for it does not stay behind.
    const std::string sub = dir + "/refused";
    fs::create_directory(sub);
    FileOpener refuse = [](const std::string&, OpenMode) { return std::unique_ptr<IoFile>(); };
    EXPECT_EQ(SaveStreams(sub + "/out.avi", {{o.video, nullptr}}, nullptr, &written, refuse),
              kAviErrFileOpen);
    EXPECT_EQ(SaveStreams(sub + "/out.wav", {{o.audio, nullptr}}, nullptr, &written, refuse),
              kAviErrFileOpen);
    EXPECT_TRUE(fs::is_empty(sub));

    AVICOMPRESSOPTIONS compressor;
    compressor.fccHandler = bytes::FourCC("XVID");
    AVICOMPRESSOPTIONS other_format;
    other_format.format = {1, 0, 2, 0};
    struct Case {
        const char* what;
        std::string name;
        std::vector<AviSaveStream> streams;
        int32_t expected;
    } cases[] = {
        {"no streams", "x.avi", {}, kAviErrBadParam},
        {"null stream", "x.avi", {{nullptr, nullptr}}, kAviErrBadParam},
        {"a compressor named", "x.avi", {{o.video, &compressor}}, kAviErrNoCompressor},
        {"another audio format", "x.avi", {{o.audio, &other_format}}, kAviErrBadFormat},
        {"video into WAV", "x.wav", {{o.video, nullptr}}, kAviErrBadFormat},
        {"two streams into WAV",
         "x.wav",
         {{o.audio, nullptr}, {o.audio, nullptr}},
         kAviErrBadParam},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SaveStreams(sub + "/" + c.name, c.streams, nullptr, &written), c.expected)
            << c.what;
        EXPECT_TRUE(written.empty()) << c.what;
    }
    EXPECT_TRUE(fs::is_empty(sub));
}

// Two runs never share a temporary name, and the working folder is never
// written to.
TEST(AviSaveTest, TemporaryNamesAreUniqueAndBesideTheOutput) {
    Opened o = Open(VideoAudioSource());
    const std::string cwd = test::ScratchDir();
    const std::string out_dir = test::ScratchDir();
    const fs::path before = fs::current_path();
    fs::current_path(cwd);
    std::string first, second;
    EXPECT_EQ(SaveStreams(out_dir + "/same.avi", {{o.video, nullptr}}, nullptr, &first), 0);
    EXPECT_EQ(SaveStreams(out_dir + "/same.avi", {{o.video, nullptr}}, nullptr, &second), 0);
    fs::current_path(before);
    EXPECT_NE(first, second);
    EXPECT_TRUE(fs::exists(first));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(fs::path(first).parent_path(), fs::path(out_dir));
    EXPECT_TRUE(fs::is_empty(cwd));
    // The file gets ordinary permissions, not the private ones of a
    // temporary name.
    struct stat st {};
    ASSERT_EQ(::stat(first.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

}  // namespace

namespace {

// Files nobody on the team wrote: every stream saved into a new AVI file
// reads back with the same samples; the broken ones end with a code, never a
// crash.
TEST(AviSaveTest, ThirdPartySamplesSaveUnchanged) {
    for (const std::string& path : test::SamplesIn("avi")) {
        int32_t error = 0;
        auto file = AviFile::Open(path, &error);
        if (!file) {
            continue;  // the reader refuses it: nothing to save
        }
        std::vector<AviSaveStream> streams;
        for (int i = 0; i < file->StreamCount(); ++i) {
            streams.push_back({&file->Stream(i), nullptr});
        }
        std::string written;
        const int32_t rc =
            SaveStreams(test::ScratchDir() + "/sample.avi", streams, nullptr, &written);
        const bool broken = path.find("exiftool_") != std::string::npos;
        if (broken) {
            continue;  // headers only: whatever the result, it came back
        }
        ASSERT_EQ(rc, 0) << path;
        for (const char* sel : {"v:0", "a:0"}) {
            const auto want = test::ProbePackets(path, sel);
            const auto got = test::ProbePackets(written, sel);
            EXPECT_EQ(Concat(want), Concat(got)) << path << " " << sel;
            if (std::string(sel) == "v:0") {
                ExpectSame(want, got, path);
            }
        }
    }
}

}  // namespace
