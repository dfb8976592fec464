#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "AviFile.h"
#include "AviTestUtil.h"
#include "ByteOrder.h"
#include "CEncAVIAudio.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"

namespace {

using namespace trelvan;

const std::string kVideo25 = "-f lavfi -i testsrc=d=2:s=160x120:r=25 ";
const std::string kTone = "-f lavfi -i sine=d=2:f=440:r=44100 ";

struct Source {
    const char* name;
    std::string args;
};

const Source kSources[] = {
    {"mpeg4-bframes-pcm", kVideo25 + kTone + "-c:v mpeg4 -bf 2 -g 12 -c:a pcm_s16le"},
    {"h264-mp3cbr", kVideo25 + kTone + "-c:v libx264 -g 10 -bf 2 -c:a libmp3lame -b:a 128k"},
    {"mjpeg-ac3", kVideo25 + kTone + "-c:v mjpeg -c:a ac3"},
    {"raw-adpcm", "-f lavfi -i testsrc=d=1:s=64x48:r=10 " + kTone +
                      "-c:v rawvideo -pix_fmt bgr24 -c:a adpcm_ms"},
    {"mpeg4-mp3vbr", kVideo25 + kTone + "-c:v mpeg4 -c:a libmp3lame -q:a 4"},
};

std::string MakeSource(const Source& s) {
    return test::MakeMedia(s.name, s.args + " -f avi", "avi");
}

// Keeps the codec settings of these tests out of the user's folder.
class EncAviTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = test::ScratchDir();
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    }
    std::string dir;
};

struct Opened {
    std::shared_ptr<AviFile> file;
    AviStream* video = nullptr;
    AviStream* audio = nullptr;
};

Opened OpenSource(const std::string& path, const FileOpener& opener = DiskFileOpener()) {
    Opened o;
    int32_t error = 0;
    o.file = AviFile::Open(path, &error, opener);
    EXPECT_TRUE(o.file) << error;
    if (!o.file) {
        return o;
    }
    for (int i = 0; i < o.file->StreamCount(); ++i) {
        if (o.file->Stream(i).IsVideo() && o.video == nullptr) {
            o.video = &o.file->Stream(i);
        } else if (o.file->Stream(i).IsAudio()) {
            o.audio = &o.file->Stream(i);
        }
    }
    return o;
}

// The extract page's order: video frames [first, last], then the audio of the
// same span.
int32_t CopyLikeExtract(CEncAVIAudio& w, const std::string& out, Opened& src, int32_t first,
                        int32_t last, int32_t audio_first, int32_t audio_end) {
    const auto& vf = src.video->Format();
    int32_t rc = w.OpenForCopy(out, src.video->Info(), vf.data(), static_cast<int32_t>(vf.size()));
    if (rc == 0 && src.audio != nullptr) {
        rc = w.AddAudioStream(src.audio->Format(), src.audio->Info(), "");
    }
    std::vector<uint8_t> buf;
    for (int32_t f = first; f <= last && rc == 0;) {
        int64_t bytes = 0;
        int32_t samples = 0;
        rc = src.video->Read(f, kReadConvenient, nullptr, 0, &bytes, &samples);
        buf.resize(static_cast<size_t>(bytes));
        if (rc == 0 && bytes > 0) {
            rc = src.video->Read(f, kReadConvenient, buf.data(), bytes, &bytes, &samples);
        }
        if (rc == 0) {
            rc = w.WriteSamples(samples, buf.data(), static_cast<int32_t>(bytes),
                                src.video->IsKeyFrame(f));
        }
        f += std::max(samples, 1);
    }
    if (rc == 0 && src.audio != nullptr) {
        rc = w.CopyAudioRange(audio_first, audio_end, src.audio);
    }
    const int32_t closed = w.Close();
    return rc != 0 ? rc : closed;
}

void ExpectSame(const std::vector<test::ProbedPacket>& want,
                const std::vector<test::ProbedPacket>& got, const char* what) {
    ASSERT_EQ(want.size(), got.size()) << what;
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].data, got[i].data) << what << " " << i;
        ASSERT_EQ(want[i].key, got[i].key) << what << " " << i;
    }
}

std::vector<uint8_t> Concat(const std::vector<test::ProbedPacket>& p) {
    std::vector<uint8_t> all;
    for (const auto& x : p) {
        all.insert(all.end(), x.data.begin(), x.data.end());
    }
    return all;
}

class EncAviCopy : public EncAviTest, public ::testing::WithParamInterface<Source> {};

TEST_P(EncAviCopy, WholeSourceCopiesEverySample) {
    const std::string in = MakeSource(GetParam());
    Opened src = OpenSource(in);
    ASSERT_NE(src.video, nullptr);
    ASSERT_NE(src.audio, nullptr);
    const std::string out = dir + "/copy.avi";
    CEncAVIAudio w;
    ASSERT_EQ(CopyLikeExtract(w, out, src, 0, src.video->Length() - 1, 0, INT32_MAX), 0);
    EXPECT_EQ(w.GetVideoPosition(), 0);  // Close zeroes the positions
    EXPECT_FALSE(w.HasAudio());

    ExpectSame(test::ProbePackets(in, "v:0"), test::ProbePackets(out, "v:0"), "video");
    // The audio is stored in blocks of the writer's choosing; the bytes of the
    // stream, and for one-frame-per-chunk audio each packet, are the source's.
    const auto want_audio = test::ProbePackets(in, "a:0");
    const auto got_audio = test::ProbePackets(out, "a:0");
    EXPECT_EQ(Concat(want_audio), Concat(got_audio));
    if (src.audio->SampleSize() == 0) {
        ExpectSame(want_audio, got_audio, "audio");
    }
    std::string errors;
    EXPECT_TRUE(test::DecodesCleanly(out, &errors)) << errors;
    // Every sample arrives, empty audio chunks (the ffmpeg tool writes some
    // for MP3) included: an empty chunk does not end the audio copy.
    const test::WalkedAvi res = test::WalkAvi(out);
    ASSERT_EQ(res.streams.size(), 2u);
    EXPECT_EQ(res.streams[0].length, static_cast<uint32_t>(src.video->Length()));
    EXPECT_EQ(res.streams[1].length, static_cast<uint32_t>(src.audio->Length()));
}

INSTANTIATE_TEST_SUITE_P(Codecs, EncAviCopy, ::testing::ValuesIn(kSources), [](const auto& info) {
    std::string n = info.param.name;
    std::replace(n.begin(), n.end(), '-', '_');
    return n;
});

// The last block of a range stops at its end (a read of "as much as fits"
// would run past it).
TEST_F(EncAviTest, AudioRangesAreHalfOpenAndClampedToTheSource) {
    const std::string in = MakeSource(kSources[0]);
    Opened src = OpenSource(in);
    ASSERT_NE(src.audio, nullptr);
    const int32_t len = src.audio->Length();
    const uint32_t block = src.audio->SampleSize();
    ASSERT_GT(block, 0u);
    const auto all = Concat(test::ProbePackets(in, "a:0"));
    struct Case {
        int32_t first, end;
        int64_t samples;  // expected in the output
        int32_t from;     // first sample copied
    } cases[] = {
        {100, 100, 0, 0},   {500, 100, 0, 0},
        {0, 1000, 1000, 0}, {len - 50, len + 1000, 50, len - 50},
        {250, 251, 1, 250},
    };
    for (const Case& c : cases) {
        CEncAVIAudio w;
        const std::string out = dir + "/range.avi";
        ASSERT_EQ(CopyLikeExtract(w, out, src, 0, 0, c.first, c.end), 0);
        const test::WalkedAvi res = test::WalkAvi(out);
        ASSERT_EQ(res.streams.size(), 2u);
        EXPECT_EQ(res.streams[1].length, c.samples) << c.first << ".." << c.end;
        if (c.samples > 0) {
            const auto got = Concat(test::ProbePackets(out, "a:0"));
            const auto from = all.begin() + c.from * block;
            EXPECT_EQ(got, std::vector<uint8_t>(from, from + c.samples * block));
        }
    }
}

// A failed audio read asks the user: OK ends the copy, Cancel skips one sample.
TEST_F(EncAviTest, FailedAudioReadsAskWhetherToDiscontinue) {
    const std::string in = MakeSource(kSources[4]);  // one sample per chunk: one read each
    for (bool ok : {true, false}) {
        // Reads of the source fail once it is open.
        int reads = 0;
        FileOpener opener = [&](const std::string& p, OpenMode m) -> std::unique_ptr<IoFile> {
            auto f = OpenDiskFile(p, m);
            return f ? std::make_unique<FaultyFile>(std::move(f), FaultyFile::kNoLimit, reads)
                     : nullptr;
        };
        OpContext ctx;
        int asked = 0, pumped = 0;
        std::string question;
        ctx.ask = [&](const std::string&, const std::string& text) {
            ++asked;
            question = text;
            return ok;
        };
        ctx.pump = [&] { ++pumped; };
        // How many reads opening takes: those are allowed, no more.
        struct Counting : IoFile {
            std::unique_ptr<IoFile> f;
            int* n;
            int64_t ReadAt(uint64_t o, void* b, size_t k) override {
                ++*n;
                return f->ReadAt(o, b, k);
            }
            bool WriteAt(uint64_t, const void*, size_t) override { return false; }
            int64_t Size() override { return f->Size(); }
            bool Truncate(uint64_t) override { return false; }
            bool Close() override { return f->Close(); }
        };
        int open_reads = 0;
        FileOpener counting = [&](const std::string& p, OpenMode m) -> std::unique_ptr<IoFile> {
            auto c = std::make_unique<Counting>();
            c->f = OpenDiskFile(p, m);
            c->n = &open_reads;
            return c->f ? std::move(c) : nullptr;
        };
        OpenSource(in, counting);
        reads = open_reads;
        Opened src = OpenSource(in, opener);
        ASSERT_NE(src.audio, nullptr);
        CEncAVIAudio w;
        w.SetContext(&ctx);
        const std::string out = dir + "/ask.avi";
        ASSERT_EQ(w.OpenForCopy(out, src.video->Info(), src.video->Format().data(),
                                static_cast<int32_t>(src.video->Format().size())),
                  0);
        ASSERT_EQ(w.AddAudioStream(src.audio->Format(), src.audio->Info(), ""), 0);
        EXPECT_EQ(w.CopyAudioRange(10, 20, src.audio), 0);
        EXPECT_EQ(asked, ok ? 1 : 10);
        EXPECT_EQ(pumped, ok ? 1 : 10);
        EXPECT_EQ(question, "The Audio was failed in reading. \nDo you discontinue it?");
        EXPECT_EQ(w.GetAudioPosition(), 0);
        EXPECT_EQ(w.Close(), 0);
    }
}

// A source header counting 1-byte units at the format's byte rate over a
// block of 2 bytes: the written stream counts blocks, so its rate and scale
// must count blocks too (keeping them made the output claim half its
// length).
TEST_F(EncAviTest, WrittenAudioHeaderDescribesItsData) {
    Opened src = OpenSource(MakeSource(kSources[0]));
    ASSERT_NE(src.audio, nullptr);
    const uint32_t block = bytes::GetLE16(src.audio->Format().data() + 12);
    const uint32_t perSecond = bytes::GetLE32(src.audio->Format().data() + 8);
    ASSERT_GT(block, 1u);
    AviStreamInfo bytesHeader = src.audio->Info();
    bytesHeader.dwSampleSize = 1;
    bytesHeader.dwRate = perSecond;
    bytesHeader.dwScale = 1;
    CEncAVIAudio w;
    const std::string out = dir + "/units.avi";
    ASSERT_EQ(w.OpenForCopy(out, src.video->Info(), src.video->Format().data(),
                            static_cast<int32_t>(src.video->Format().size())),
              0);
    ASSERT_EQ(w.AddAudioStream(src.audio->Format(), bytesHeader, ""), 0);
    ASSERT_EQ(w.CopyAudioRange(0, src.audio->Length(), src.audio), 0);
    ASSERT_EQ(w.Close(), 0);
    Opened got = OpenSource(out);
    ASSERT_NE(got.audio, nullptr);
    const AviStreamInfo& h = got.audio->Info();
    EXPECT_EQ(h.dwSampleSize, block);
    EXPECT_EQ(uint64_t{h.dwLength} * h.dwSampleSize, got.audio->TotalBytes());
    EXPECT_NEAR(double{h.dwLength} * h.dwScale / h.dwRate,
                static_cast<double>(got.audio->TotalBytes()) / perSecond, 1e-9);
}

TEST_F(EncAviTest, RefusalsAndFailuresGiveTheirCodes) {
    const std::string in = MakeSource(kSources[0]);
    Opened src = OpenSource(in);
    const auto& vf = src.video->Format();
    const auto& af = src.audio->Format();
    const int32_t vsize = static_cast<int32_t>(vf.size());
    {
        CEncAVIAudio w;
        EXPECT_EQ(w.OpenForCopy(dir + "/no/such/dir.avi", src.video->Info(), vf.data(), vsize),
                  err::kSaveCreate);
        EXPECT_EQ(w.WriteSamples(1, "x", 1, 1), err::kStreamWrite);
        EXPECT_EQ(w.AddAudioStream(af, src.audio->Info(), ""), err::kVideoStreamMake);
        EXPECT_EQ(w.AddAudioStream(af, src.audio->Info(), dir + "/no/such/a.avi"),
                  err::kSaveCreate);
        EXPECT_EQ(w.OpenForCopy(dir + "/v.avi", src.video->Info(), vf.data(), 39), err::kFormatSet);
        EXPECT_EQ(w.OpenForCopy(dir + "/v.avi", src.video->Info(), vf.data(), vsize), 0);
        EXPECT_EQ(w.AddAudioStream(std::vector<uint8_t>(af.begin(), af.begin() + 15),
                                   src.audio->Info(), ""),
                  err::kFormatSet);
        // Without an audio stream nothing can be appended.
        EXPECT_EQ(w.CopyAudioRange(0, 10, src.audio), err::kStreamWrite);
        EXPECT_EQ(w.Close(), 0);
        EXPECT_EQ(w.Close(), 0);
    }
    {
        // The disk fills up during the video: 2006, and the file holds the
        // frames written before.
        CEncAVIAudio w;
        w.SetFileOpener([](const std::string& p, OpenMode m) -> std::unique_ptr<IoFile> {
            auto f = OpenDiskFile(p, m);
            return f ? std::make_unique<FaultyFile>(std::move(f), 30000) : nullptr;
        });
        trelvan::AviWriterLimits small;
        small.bufferBytes = 4096;
        w.SetWriterLimits(small);
        const std::string out = dir + "/full.avi";
        EXPECT_EQ(CopyLikeExtract(w, out, src, 0, src.video->Length() - 1, 0, INT32_MAX),
                  err::kStreamWrite);
        const auto got = test::ProbePackets(out, "v:0");
        const auto want = test::ProbePackets(in, "v:0");
        ASSERT_GT(got.size(), 3u);
        ASSERT_LT(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].data, want[i].data);
        }
    }
}

TEST_F(EncAviTest, OpenForCopyReplacesAReadOnlyFile) {
    const std::string in = MakeSource(kSources[0]);
    Opened src = OpenSource(in);
    const std::string out = dir + "/ro.avi";
    test::WriteBytes(out, std::vector<uint8_t>(100, 'x'));
    ::chmod(out.c_str(), 0444);
    CEncAVIAudio w;
    ASSERT_EQ(CopyLikeExtract(w, out, src, 0, 9, 0, 0), 0);
    EXPECT_EQ(test::ProbePackets(out, "v:0").size(), 10u);
}

// A stream that starts late (dwStart 100) holds samples 100..start+length-1;
// a range up to "the end" copies all of them.
TEST_F(EncAviTest, LateStartingAudioIsCopiedToItsLastSample) {
    std::vector<uint8_t> bih(40, 0);
    bytes::PutLE32(&bih[0], 40);
    bytes::PutLE32(&bih[4], 8);
    bytes::PutLE32(&bih[8], 8);
    std::vector<uint8_t> wfx = {1, 0, 1, 0, 0x40, 0x1f, 0, 0, 0x80, 0x3e, 0, 0, 2, 0, 16, 0, 0, 0};
    const std::string src_path = dir + "/late.avi";
    {
        AviWriter w;
        ASSERT_EQ(w.Create(src_path), 0);
        AviWriterStreamInfo v, a;
        v.fccType = bytes::FourCC("vids");
        v.dwScale = 1;
        v.dwRate = 25;
        a.fccType = bytes::FourCC("auds");
        a.dwScale = 2;
        a.dwRate = 16000;
        a.dwSampleSize = 2;
        a.dwStart = 100;
        ASSERT_EQ(w.AddStream(v, bih, nullptr), 0);
        ASSERT_EQ(w.AddStream(a, wfx, nullptr), 0);
        std::vector<uint8_t> sound(640);
        for (int i = 0; i < 10; ++i) {
            ASSERT_EQ(w.WriteChunk(0, "frame", 5, true), 0);
            std::fill(sound.begin(), sound.end(), static_cast<uint8_t>(i));
            ASSERT_EQ(w.WriteChunk(1, sound.data(), 640, true), 0);
        }
        ASSERT_EQ(w.Close(), 0);
    }
    Opened src = OpenSource(src_path);
    ASSERT_NE(src.audio, nullptr);
    ASSERT_EQ(src.audio->Start(), 100);
    ASSERT_EQ(src.audio->Length(), 3200);
    CEncAVIAudio w;
    ASSERT_EQ(CopyLikeExtract(w, dir + "/late-out.avi", src, 0, 9, 100, INT32_MAX), 0);
    EXPECT_EQ(test::WalkAvi(dir + "/late-out.avi").streams[1].length, 3200u);
}

TEST_F(EncAviTest, CloseIsHarmlessAnyTime) {
    CEncAVIAudio w;
    EXPECT_EQ(w.Close(), 0);
    EXPECT_EQ(w.Close(), 0);
    EXPECT_EQ(w.GetVideoPosition(), 0);
    EXPECT_EQ(w.GetAudioPosition(), 0);
    EXPECT_FALSE(w.HasAudio());
}

// The compressing mode stores uncompressed frames with the "DIB " handler and
// has no other compressor.
TEST_F(EncAviTest, CompressingModeStoresDibFramesOnly) {
    std::vector<uint8_t> bih(40, 0);
    bytes::PutLE32(&bih[0], 40);
    bytes::PutLE32(&bih[4], 16);
    bytes::PutLE32(&bih[8], 8);
    bytes::PutLE16(&bih[12], 1);
    bytes::PutLE16(&bih[14], 24);
    bytes::PutLE32(&bih[20], 16 * 8 * 3);
    AviStreamInfo header;
    header.dwScale = 1;
    header.dwRate = 10;
    const std::string out = dir + "/dib.avi";
    {
        CEncAVIAudio w;
        EXPECT_EQ(w.Settings().m_handler, CEncAVISetting::kHandlerDib);
        w.SetInputFormat(header, bih);
        ASSERT_EQ(w.PrepareCompressor(), 0);
        ASSERT_EQ(w.Open(out), 0);
        std::vector<uint8_t> frame(16 * 8 * 3);
        for (int i = 0; i < 5; ++i) {
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(i * 40));
            ASSERT_EQ(w.WriteFrame(frame.data(), static_cast<int32_t>(frame.size())), 0);
        }
        EXPECT_EQ(w.GetVideoPosition(), 5);
        EXPECT_EQ(w.Close(), 0);
    }
    const auto got = test::ProbePackets(out, "v:0");
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[3].data, std::vector<uint8_t>(16 * 8 * 3, 120));
    EXPECT_TRUE(got[3].key);
    EXPECT_TRUE(test::DecodesCleanly(out));

    CEncAVI_Comp other;
    other.Settings().m_handler = bytes::FourCC("XVID");
    other.SetInputFormat(header, bih);
    EXPECT_EQ(other.PrepareCompressor(), err::kCodecSelect);
    EXPECT_EQ(other.Open(dir + "/x.avi"), err::kCodecSelect);
    EXPECT_EQ(other.WriteFrame(bih.data(), 40), err::kCodecSelect);
    other.Settings().m_handler = CEncAVISetting::kHandlerDib;  // keep the store as it was
}

}  // namespace
