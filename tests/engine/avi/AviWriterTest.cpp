#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <numeric>

#include "AviFile.h"
#include "AviTestUtil.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"

namespace {

using namespace trelvan;
using bytes::FourCC;

const std::string kVideo25 = "-f lavfi -i testsrc=d=2:s=160x120:r=25 ";
const std::string kTone = "-f lavfi -i sine=d=2:f=440:r=44100 ";

struct Source {
    const char* name;
    std::string args;
};

// Sources in the codecs the program meets in AVI files, made by the ffmpeg tool.
const Source kSources[] = {
    {"mpeg4-bframes-pcm", kVideo25 + kTone + "-c:v mpeg4 -bf 2 -g 12 -c:a pcm_s16le"},
    {"h264-mp3cbr", kVideo25 + kTone + "-c:v libx264 -g 10 -bf 2 -c:a libmp3lame -b:a 128k"},
    {"mjpeg-ac3", kVideo25 + kTone + "-c:v mjpeg -c:a ac3"},
    {"raw-adpcm", "-f lavfi -i testsrc=d=1:s=64x48:r=10 " + kTone +
                      "-c:v rawvideo -pix_fmt bgr24 -c:a adpcm_ms"},
    {"mpeg4-mp3vbr", kVideo25 + kTone + "-c:v mpeg4 -c:a libmp3lame -q:a 4"},
};

struct Packets {
    std::vector<test::ProbedPacket> video, audio;
};

Packets ProbeBoth(const std::string& path) {
    return {test::ProbePackets(path, "v:0"), test::ProbePackets(path, "a:0")};
}

// Writes the packets with the source's headers, video and audio interleaved
// by their share of the stream.
int32_t WriteCopy(AviWriter& w, const test::WalkedAvi& src, const Packets& p) {
    int v = -1, a = -1;
    int32_t rc = w.AddStream(src.streams[0].info, src.streams[0].format, &v);
    if (rc == 0 && src.streams.size() > 1) {
        rc = w.AddStream(src.streams[1].info, src.streams[1].format, &a);
    }
    size_t ai = 0;
    for (size_t i = 0; i < p.video.size() && rc == 0; ++i) {
        rc = w.WriteChunk(v, p.video[i].data.data(), static_cast<uint32_t>(p.video[i].data.size()),
                          p.video[i].key);
        const size_t until = (i + 1) * p.audio.size() / p.video.size();
        for (; a >= 0 && ai < until && rc == 0; ++ai) {
            rc = w.WriteChunk(a, p.audio[ai].data.data(),
                              static_cast<uint32_t>(p.audio[ai].data.size()), true);
        }
    }
    return rc;
}

void ExpectSamePackets(const std::vector<test::ProbedPacket>& want,
                       const std::vector<test::ProbedPacket>& got, const std::string& what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].data, got[i].data) << what << " packet " << i;
        ASSERT_EQ(want[i].key, got[i].key) << what << " packet " << i;
    }
}

class AviWriterRoundTrip : public ::testing::TestWithParam<Source> {};

TEST_P(AviWriterRoundTrip, EverySampleReadsBackIdentical) {
    const std::string in = test::MakeMedia(GetParam().name, GetParam().args + " -f avi", "avi");
    const test::WalkedAvi src = test::WalkAvi(in);
    ASSERT_TRUE(src.ok);
    ASSERT_EQ(src.streams.size(), 2u);
    const Packets want = ProbeBoth(in);
    ASSERT_FALSE(want.video.empty());
    ASSERT_FALSE(want.audio.empty());

    const std::string out = test::ScratchDir() + "/out.avi";
    AviWriter w;
    ASSERT_EQ(w.Create(out), 0);
    ASSERT_EQ(WriteCopy(w, src, want), 0);
    ASSERT_EQ(w.Close(), 0);

    const Packets got = ProbeBoth(out);
    ExpectSamePackets(want.video, got.video, "video");
    ExpectSamePackets(want.audio, got.audio, "audio");
    std::string errors;
    EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;

    // Headers: the source's, with lengths and buffer sizes counted anew.
    const test::WalkedAvi res = test::WalkAvi(out);
    ASSERT_TRUE(res.ok);
    ASSERT_EQ(res.riffForms, std::vector<uint32_t>{FourCC("AVI ")});
    EXPECT_EQ(res.avihTotalFrames, want.video.size());
    EXPECT_EQ(res.idx1Entries, want.video.size() + want.audio.size());
    EXPECT_FALSE(res.hasOdml);
    for (size_t s = 0; s < 2; ++s) {
        EXPECT_EQ(res.streams[s].format, src.streams[s].format);
        EXPECT_EQ(res.streams[s].info.dwRate, src.streams[s].info.dwRate);
        EXPECT_EQ(res.streams[s].info.dwScale, src.streams[s].info.dwScale);
        EXPECT_EQ(res.streams[s].info.dwSampleSize, src.streams[s].info.dwSampleSize);
        // Variable sample size: one sample per chunk; fixed: bytes / sample size.
        const auto& packets = s == 0 ? want.video : want.audio;
        uint64_t length = packets.size();
        if (s == 1 && src.streams[s].info.dwSampleSize != 0) {
            length = 0;
            for (const auto& p : packets) {
                length += p.data.size();
            }
            length /= src.streams[s].info.dwSampleSize;
        }
        EXPECT_EQ(res.streams[s].length, length) << "stream " << s;
        EXPECT_FALSE(res.streams[s].hasIndx);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviWriterRoundTrip, ::testing::ValuesIn(kSources),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// Small RIFF limits make a file of a few hundred kilobytes an OpenDML file of
// many RIFFs; every reader must still see all samples.
TEST(AviWriterTest, OpenDmlPastTheRiffLimitReadsBackWhole) {
    const std::string in = test::MakeMedia(kSources[0].name, kSources[0].args + " -f avi", "avi");
    const test::WalkedAvi src = test::WalkAvi(in);
    const Packets want = ProbeBoth(in);
    const std::string out = test::ScratchDir() + "/odml.avi";
    AviWriterLimits limits;
    limits.riffBytes = 32 * 1024;
    limits.bufferBytes = 8192;
    AviWriter w(limits);
    ASSERT_EQ(w.Create(out), 0);
    ASSERT_EQ(WriteCopy(w, src, want), 0);
    const int riffs = w.RiffCount();
    ASSERT_EQ(w.Close(), 0);
    EXPECT_GT(riffs, 4);

    const Packets got = ProbeBoth(out);
    ExpectSamePackets(want.video, got.video, "video");
    ExpectSamePackets(want.audio, got.audio, "audio");
    std::string errors;
    EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;

    const test::WalkedAvi res = test::WalkAvi(out);
    ASSERT_TRUE(res.ok);
    ASSERT_EQ(static_cast<int>(res.riffForms.size()), riffs);
    for (size_t i = 1; i < res.riffForms.size(); ++i) {
        EXPECT_EQ(res.riffForms[i], FourCC("AVIX"));
    }
    EXPECT_TRUE(res.hasOdml);
    EXPECT_EQ(res.dmlhFrames, want.video.size());
    EXPECT_LT(res.avihTotalFrames, want.video.size());  // the first RIFF's frames only
    EXPECT_GT(res.avihTotalFrames, 0u);
    EXPECT_LT(res.idx1Entries, want.video.size() + want.audio.size());
    for (const auto& s : res.streams) {
        EXPECT_TRUE(s.hasIndx);
        EXPECT_EQ(s.indxEntries, static_cast<uint32_t>(riffs));
    }
    EXPECT_EQ(res.ixChunks, 2 * riffs);
    for (uint64_t size : res.riffSizes) {
        EXPECT_LE(size, limits.riffBytes);  // no RIFF grows past the limit
    }
    EXPECT_EQ(res.streams[0].length, want.video.size());

    // The program's own reader takes the OpenDML indexes and finds every
    // video chunk with its key flag.
    int32_t error = 0;
    auto file = AviFile::Open(out, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->IndexSource(), AviIndexSource::OpenDml);
    AviStream& video = file->Stream(0);
    ASSERT_EQ(video.ChunkCount(), static_cast<int64_t>(want.video.size()));
    for (size_t i = 0; i < want.video.size(); ++i) {
        std::vector<uint8_t> chunk(video.ChunkSize(static_cast<int64_t>(i)));
        ASSERT_EQ(video.ReadChunk(static_cast<int64_t>(i), chunk.data(),
                                  static_cast<int64_t>(chunk.size())),
                  0);
        EXPECT_EQ(chunk, want.video[i].data) << i;
        EXPECT_EQ(video.ChunkIsKey(static_cast<int64_t>(i)), want.video[i].key) << i;
    }
}

// Zero-length chunks are frames too (a repeated frame): they are stored and
// counted, and the frames after them keep their places.
TEST(AviWriterTest, ZeroLengthChunksAreStoredAndCounted) {
    const std::string in = test::MakeMedia(kSources[0].name, kSources[0].args + " -f avi", "avi");
    const test::WalkedAvi src = test::WalkAvi(in);
    const auto video = test::ProbePackets(in, "v:0");
    const std::string out = test::ScratchDir() + "/drop.avi";
    AviWriter w;
    ASSERT_EQ(w.Create(out), 0);
    int v = -1;
    ASSERT_EQ(w.AddStream(src.streams[0].info, src.streams[0].format, &v), 0);
    std::vector<test::CrcPacket> want;
    for (size_t i = 0; i < 12; ++i) {
        int32_t n = -1;
        ASSERT_EQ(w.WriteChunk(v, video[i].data.data(), static_cast<uint32_t>(video[i].data.size()),
                               video[i].key, &n),
                  0);
        EXPECT_EQ(n, 1);
        want.push_back({static_cast<uint32_t>(video[i].data.size()),
                        test::Adler32(video[i].data.data(), video[i].data.size()), video[i].key});
        if (i == 4 || i == 5) {
            ASSERT_EQ(w.WriteChunk(v, nullptr, 0, false, &n), 0);
            EXPECT_EQ(n, 1);
        }
    }
    EXPECT_EQ(w.StreamLength(v), 14);
    ASSERT_EQ(w.Close(), 0);
    const test::WalkedAvi res = test::WalkAvi(out);
    EXPECT_EQ(res.streams[0].length, 14u);
    EXPECT_EQ(res.idx1Entries, 14u);
    // ffmpeg drops empty packets but keeps the time they take.
    const auto got = test::FrameCrcs(out, "v:0");
    EXPECT_EQ(got, want);
    const auto pts = test::ProbeStream(out, "v:0", {"nb_frames", "duration_ts"});
    EXPECT_EQ(pts.at("nb_frames"), "14");
}

TEST(AviWriterTest, RefusedFormatsAndLateStreams) {
    AviWriterStreamInfo vids;
    vids.fccType = FourCC("vids");
    vids.dwScale = 1;
    vids.dwRate = 25;
    AviWriterStreamInfo auds;
    auds.fccType = FourCC("auds");
    auds.dwScale = 1;
    auds.dwRate = 8000;
    auds.dwSampleSize = 1;
    struct Case {
        const char* what;
        const AviWriterStreamInfo& info;
        size_t format_bytes;
        int32_t expected;
    } cases[] = {
        {"video format of 39 bytes", vids, 39, err::kFormatSet},
        {"video format of 40 bytes", vids, 40, 0},
        {"audio format of 15 bytes", auds, 15, err::kFormatSet},
        {"audio format of 16 bytes", auds, 16, 0},
    };
    for (const Case& c : cases) {
        AviWriter w;
        ASSERT_EQ(w.Create(std::make_unique<MemFile>()), 0);
        std::vector<uint8_t> format(c.format_bytes, 0);
        EXPECT_EQ(w.AddStream(c.info, format, nullptr), c.expected) << c.what;
    }
    // Not without a file, not after the first sample, not more than ten.
    AviWriter w;
    EXPECT_EQ(w.AddStream(vids, std::vector<uint8_t>(40), nullptr), err::kVideoStreamMake);
    ASSERT_EQ(w.Create(std::make_unique<MemFile>()), 0);
    for (int i = 0; i < AviWriter::kMaxStreams; ++i) {
        ASSERT_EQ(w.AddStream(auds, std::vector<uint8_t>(16), nullptr), 0);
    }
    EXPECT_EQ(w.AddStream(auds, std::vector<uint8_t>(16), nullptr), err::kVideoStreamMake);
    AviWriter late;
    ASSERT_EQ(late.Create(std::make_unique<MemFile>()), 0);
    ASSERT_EQ(late.AddStream(auds, std::vector<uint8_t>(16), nullptr), 0);
    ASSERT_EQ(late.WriteChunk(0, "ab", 2, true), 0);
    EXPECT_EQ(late.AddStream(auds, std::vector<uint8_t>(16), nullptr), err::kVideoStreamMake);
    EXPECT_EQ(late.WriteChunk(1, "ab", 2, true), err::kStreamWrite);
    EXPECT_EQ(late.WriteChunk(-1, "ab", 2, true), err::kStreamWrite);
    EXPECT_EQ(late.Close(), 0);
    EXPECT_EQ(late.Close(), 0);
}

TEST(AviWriterTest, OutputThatCannotBeMadeIsRefused) {
    const std::string dir = test::ScratchDir();
    const std::string ro = dir + "/readonly";
    std::filesystem::create_directory(ro);
    ::chmod(ro.c_str(), 0555);
    for (const std::string& path : {dir + "/missing/out.avi", ro + "/out.avi", dir}) {
        AviWriter w;
        if (path == ro + "/out.avi" && ::geteuid() == 0) {
            continue;  // root writes anywhere
        }
        EXPECT_EQ(w.Create(path), err::kSaveCreate) << path;
        EXPECT_FALSE(w.IsOpen());
        EXPECT_EQ(w.Close(), 0);
    }
}

// A header with rate or scale 0 has no timing; the file must still be one
// that readers take without complaint.
TEST(AviWriterTest, ZeroRateOrScaleStillMakesAReadableFile) {
    const std::string in = test::MakeMedia(kSources[0].name, kSources[0].args + " -f avi", "avi");
    test::WalkedAvi src = test::WalkAvi(in);
    const Packets want = ProbeBoth(in);
    src.streams[0].info.dwRate = 0;
    src.streams[1].info.dwScale = 0;
    const std::string out = test::ScratchDir() + "/zero.avi";
    AviWriter w;
    ASSERT_EQ(w.Create(out), 0);
    ASSERT_EQ(WriteCopy(w, src, want), 0);
    ASSERT_EQ(w.Close(), 0);
    const Packets got = ProbeBoth(out);
    ExpectSamePackets(want.video, got.video, "video");
    ExpectSamePackets(want.audio, got.audio, "audio");
    std::string errors;
    EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;
    const auto v = test::ProbeStream(out, "v:0", {"r_frame_rate"});
    EXPECT_EQ(v.at("r_frame_rate"), "25/1");
}

// A write that fails (a full disk) is reported, and what reached the disk
// before stays a readable file: whole chunks only, sizes patched.
TEST(AviWriterTest, FullDiskKeepsWhatWasWrittenReadable) {
    const std::string in = test::MakeMedia(kSources[0].name, kSources[0].args + " -f avi", "avi");
    const test::WalkedAvi src = test::WalkAvi(in);
    const Packets want = ProbeBoth(in);
    struct Case {
        const char* what;
        uint64_t riff_bytes;
        uint64_t disk_bytes;
    } cases[] = {
        {"headers do not fit", 1 << 30, 1000},
        {"full in the middle of the data", 1 << 30, 150000},
        {"full in the middle of an AVIX", 48 * 1024, 200000},
    };
    const std::string dir = test::ScratchDir();
    for (const Case& c : cases) {
        AviWriterLimits limits;
        limits.riffBytes = c.riff_bytes;
        limits.bufferBytes = 4096;
        AviWriter w(limits);
        MemFile mem;
        const MemFile* disk = &mem;
        ASSERT_EQ(w.Create(std::make_unique<FaultyFile>(std::make_unique<test::BorrowedFile>(mem),
                                                        c.disk_bytes)),
                  0);
        EXPECT_EQ(WriteCopy(w, src, want), err::kStreamWrite) << c.what;
        EXPECT_EQ(w.WriteChunk(0, "x", 1, true), err::kStreamWrite) << c.what;
        EXPECT_EQ(w.Close(), err::kStreamWrite) << c.what;
        EXPECT_LE(disk->Bytes().size(), c.disk_bytes);
        if (c.disk_bytes < 2000) {
            continue;
        }
        const std::string out = dir + "/full.avi";
        test::WriteBytes(out, disk->Bytes());
        const test::WalkedAvi res = test::WalkAvi(out);
        EXPECT_TRUE(res.ok) << c.what;
        const Packets got = ProbeBoth(out);
        ASSERT_GT(got.video.size(), 5u) << c.what;
        ASSERT_LT(got.video.size(), want.video.size()) << c.what;
        EXPECT_EQ(res.streams[0].length, got.video.size()) << c.what;
        for (size_t i = 0; i < got.video.size(); ++i) {
            ASSERT_EQ(got.video[i].data, want.video[i].data) << c.what << " frame " << i;
        }
        for (size_t i = 0; i < got.audio.size(); ++i) {
            ASSERT_EQ(got.audio[i].data, want.audio[i].data) << c.what << " audio " << i;
        }
    }
}

}  // namespace
