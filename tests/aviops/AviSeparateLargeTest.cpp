// Separate of an OpenDML source over 1 GiB: made in the scratch folder at
// test time (with the AVI writer, no encoding) and deleted at the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "AviSeparate.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "Fixtures.h"
#include "Process.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;

// What ffmpeg sees of one stream's packets, one line each: stream, times,
// size, checksum and flags (`-f framecrc`); the header comments left out.
std::string FrameCrc(const std::string& path, const std::string& map) {
    const test::CommandResult r = test::RunCommand(
        {"ffmpeg", "-v", "error", "-i", path, "-map", map, "-c", "copy", "-f", "framecrc", "-"},
        600);
    std::string lines;
    size_t pos = 0;
    while (pos < r.out.size()) {
        size_t end = r.out.find('\n', pos);
        end = end == std::string::npos ? r.out.size() : end + 1;
        if (r.out[pos] != '#') {
            lines.append(r.out, pos, end - pos);
        }
        pos = end;
    }
    return lines;
}

// The checksum of all packet bytes of one stream, whatever their packets.
std::string StreamMd5(const std::string& path, const std::string& map) {
    return test::RunCommand(
               {"ffmpeg", "-v", "error", "-i", path, "-map", map, "-c", "copy", "-f", "md5", "-"},
               600)
        .out;
}

TEST(AviSeparateLargeTest, OpenDmlSourceOverOneGiB) {
    constexpr int kWidth = 512, kHeight = 512;
    constexpr uint32_t kFrameBytes = kWidth * kHeight * 3;
    constexpr int kFrames = 1450;  // 1.14 GB of video
    constexpr uint32_t kAudioBytes = 44100 * 2 / 25;
    const std::string dir = test::ScratchDir();
    const std::string src = dir + "/large.avi";
    {
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
        v.fccType = bytes::FourCC("vids");
        v.dwScale = 1;
        v.dwRate = 25;
        AviWriterStreamInfo a;
        a.fccType = bytes::FourCC("auds");
        a.dwScale = 2;
        a.dwRate = 88200;
        a.dwSampleSize = 2;
        AviWriter w;
        ASSERT_EQ(w.Create(src), 0);
        int vi = -1, ai = -1;
        ASSERT_EQ(w.AddStream(v, bih, &vi), 0);
        ASSERT_EQ(w.AddStream(a, wfx, &ai), 0);
        std::vector<uint8_t> frame(kFrameBytes), sound(kAudioBytes);
        for (int i = 0; i < kFrames; ++i) {
            for (uint32_t k = 0; k < kFrameBytes; k += 4096) {
                frame[k] = static_cast<uint8_t>(i);
                frame[k + 1] = static_cast<uint8_t>(i >> 8);
            }
            ASSERT_EQ(w.WriteChunk(vi, frame.data(), kFrameBytes, i % 10 == 0), 0) << i;
            for (uint32_t k = 0; k < kAudioBytes; ++k) {
                sound[k] = static_cast<uint8_t>(i * 7 + k);
            }
            ASSERT_EQ(w.WriteChunk(ai, sound.data(), kAudioBytes, true), 0) << i;
        }
        ASSERT_EQ(w.RiffCount(), 2);
        ASSERT_EQ(w.Close(), 0);
    }
    ASSERT_GT(fs::file_size(src), (1ull << 30) + (1ull << 26));

    OpContext ctx;
    const std::string video = dir + "/large_cut.avi";
    ASSERT_EQ(RunAviSeparate({src, video, SeparateKind::Video}, ctx).code, 0);
    EXPECT_GT(fs::file_size(video), 1ull << 30);
    const std::string want = FrameCrc(src, "0:v");
    EXPECT_EQ(std::count(want.begin(), want.end(), '\n'), kFrames);
    EXPECT_TRUE(want == FrameCrc(video, "0:v"));  // every frame, its bytes and flags
    fs::remove(video);

    const std::string audio = dir + "/large_cut.wav";
    ASSERT_EQ(RunAviSeparate({src, audio, SeparateKind::Audio}, ctx).code, 0);
    EXPECT_EQ(fs::file_size(audio), 44u + uint64_t{kFrames} * kAudioBytes + 12u);
    EXPECT_EQ(StreamMd5(src, "0:a"), StreamMd5(audio, "0:a"));
    fs::remove(audio);
    fs::remove(src);
}

}  // namespace
}  // namespace trelvan
