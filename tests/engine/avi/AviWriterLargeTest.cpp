#include <gtest/gtest.h>

#include <filesystem>

#include "AviFile.h"
#include "AviTestUtil.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "Probe.h"

namespace {

using namespace trelvan;
using bytes::FourCC;

// One real file just over 1 GiB with the writer's own limits: a first RIFF
// that stays under 1 GiB with its idx1, then an AVIX, OpenDML indexes. The
// file is made in the scratch folder and deleted at the end.
TEST(AviWriterLargeTest, OpenDmlFileOverOneGiBReadsBackWhole) {
    constexpr int kWidth = 512, kHeight = 512;
    constexpr uint32_t kFrameBytes = kWidth * kHeight * 3;
    constexpr int kFrames = 1450;  // 1.14 GB of video
    constexpr uint32_t kAudioBytes = 44100 * 2 / 25;
    const std::string path = test::ScratchDir() + "/large.avi";

    std::vector<uint8_t> bih(40, 0);
    bytes::PutLE32(&bih[0], 40);
    bytes::PutLE32(&bih[4], kWidth);
    bytes::PutLE32(&bih[8], kHeight);
    bytes::PutLE16(&bih[12], 1);
    bytes::PutLE16(&bih[14], 24);
    bytes::PutLE32(&bih[20], kFrameBytes);
    std::vector<uint8_t> wfx(18, 0);
    bytes::PutLE16(&wfx[0], 1);
    bytes::PutLE16(&wfx[2], 1);
    bytes::PutLE32(&wfx[4], 44100);
    bytes::PutLE32(&wfx[8], 88200);
    bytes::PutLE16(&wfx[12], 2);
    bytes::PutLE16(&wfx[14], 16);
    AviWriterStreamInfo v;
    v.fccType = FourCC("vids");
    v.dwScale = 1;
    v.dwRate = 25;
    AviWriterStreamInfo a;
    a.fccType = FourCC("auds");
    a.dwScale = 2;
    a.dwRate = 88200;
    a.dwSampleSize = 2;

    std::vector<test::CrcPacket> want_video;
    std::vector<uint8_t> want_audio;
    {
        AviWriter w;
        ASSERT_EQ(w.Create(path), 0);
        int vi = -1, ai = -1;
        ASSERT_EQ(w.AddStream(v, bih, &vi), 0);
        ASSERT_EQ(w.AddStream(a, wfx, &ai), 0);
        std::vector<uint8_t> frame(kFrameBytes), sound(kAudioBytes);
        for (int i = 0; i < kFrames; ++i) {
            for (uint32_t k = 0; k < kFrameBytes; k += 4096) {
                frame[k] = static_cast<uint8_t>(i);
                frame[k + 1] = static_cast<uint8_t>(i >> 8);
            }
            ASSERT_EQ(w.WriteChunk(vi, frame.data(), kFrameBytes, true), 0) << i;
            want_video.push_back({kFrameBytes, test::Adler32(frame.data(), kFrameBytes), true});
            for (uint32_t k = 0; k < kAudioBytes; ++k) {
                sound[k] = static_cast<uint8_t>(i * 7 + k);
            }
            ASSERT_EQ(w.WriteChunk(ai, sound.data(), kAudioBytes, true), 0) << i;
            want_audio.insert(want_audio.end(), sound.begin(), sound.end());
        }
        EXPECT_EQ(w.RiffCount(), 2);
        ASSERT_EQ(w.Close(), 0);
    }
    ASSERT_GT(std::filesystem::file_size(path), (1ull << 30) + (1ull << 26));

    const test::WalkedAvi res = test::WalkAvi(path);
    ASSERT_TRUE(res.ok);
    ASSERT_EQ(res.riffForms, (std::vector<uint32_t>{FourCC("AVI "), FourCC("AVIX")}));
    EXPECT_LE(res.riffSizes[0], 1ull << 30);
    EXPECT_TRUE(res.hasOdml);
    EXPECT_EQ(res.dmlhFrames, static_cast<uint32_t>(kFrames));
    EXPECT_LT(res.avihTotalFrames, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(res.idx1Entries, 2 * res.avihTotalFrames);
    EXPECT_EQ(res.streams[0].length, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(res.streams[1].length, static_cast<uint32_t>(kFrames) * kAudioBytes / 2);
    EXPECT_EQ(res.ixChunks, 4);

    // ffmpeg reads every packet, across the RIFF boundary (the audio in
    // packets of its own size: compared as one byte stream).
    EXPECT_EQ(test::FrameCrcs(path, "v:0"), want_video);
    std::vector<uint8_t> audio;
    for (const auto& p : test::ProbePackets(path, "a:0")) {
        audio.insert(audio.end(), p.data.begin(), p.data.end());
    }
    EXPECT_TRUE(audio == want_audio) << audio.size() << " of " << want_audio.size() << " bytes";

    // And the program's own reader finds every chunk through the indexes.
    int32_t error = 0;
    auto file = AviFile::Open(path, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->IndexSource(), AviIndexSource::OpenDml);
    ASSERT_EQ(file->StreamCount(), 2);
    EXPECT_EQ(file->Stream(0).ChunkCount(), kFrames);
    EXPECT_EQ(file->Stream(1).ChunkCount(), kFrames);
    EXPECT_EQ(file->Stream(0).Length(), kFrames);
    file.reset();

    std::filesystem::remove(path);
}

}  // namespace
