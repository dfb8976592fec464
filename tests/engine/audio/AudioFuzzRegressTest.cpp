// Inputs the WAV and codec-layer fuzz targets found once, replayed through the
// calls of their targets: each must open or be refused, and decode or fail,
// without a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <vector>

#include "AudioConversion.h"
#include "AudioFrameMath.h"
#include "ByteOrder.h"
#include "CWaveFileACM.h"
#include "Fixtures.h"
#include "WaveFormatEx.h"

namespace trelvan {
namespace {

void DecodeWaveFile(const std::string& path) {
    CWaveFileACM wave;
    if (wave.OpenRead(path) == 0) {
        return;
    }
    std::vector<uint8_t> buf(1 << 16);
    for (int i = 0; i < 4096; ++i) {
        const int32_t n = wave.Read(buf.data(), static_cast<int32_t>(buf.size()));
        if (n <= 0) {
            break;
        }
    }
    wave.Close();
}

// u8 n | format record (n bytes) | u8 flags | audio bytes.
void DecodeFormatInput(const std::vector<uint8_t>& in) {
    ASSERT_GE(in.size(), 2u);
    const size_t n = std::min<size_t>(in[0], in.size() - 1);
    const std::span<const uint8_t> format(in.data() + 1, n);
    const std::span<const uint8_t> audio =
        n + 2 <= in.size() ? std::span<const uint8_t>(in.data() + 2 + n, in.size() - 2 - n)
                           : std::span<const uint8_t>();
    // The frame arithmetic of the record, with counts from the input.
    audio::FrameMath m;
    if (audio::DescribeFormat(format, &m) || audio::DescribeByAverageRate(format, &m)) {
        const uint64_t n = audio.size() >= 8 ? bytes::GetLE64(audio.data()) : audio.size();
        (void)audio::FramesInBytes(m, n);
        (void)audio::BytesForFrames(m, n >> 20);
        (void)audio::BytesForFrames(m, audio.size());
    }
    WAVEFORMATEX pcm{};
    if (!AudioConversion::SuggestPcm(format, &pcm)) {
        return;
    }
    uint8_t pcm_bytes[kWaveFormatExSize];
    WriteWaveFormat(pcm, pcm_bytes);
    auto dec = AudioConversion::Open(format, std::span<const uint8_t>(pcm_bytes));
    if (!dec) {
        return;
    }
    std::vector<uint8_t> dst(1 << 16);
    const auto size = static_cast<uint32_t>(audio.size());
    uint32_t used = 0;
    uint32_t made = 0;
    if (!dec->Convert(audio.data(), size, &used, dst.data(), static_cast<uint32_t>(dst.size()),
                      &made, false)) {
        return;
    }
    uint32_t rest = 0;
    if (!dec->Convert(audio.data() + used, size - used, &rest, dst.data(),
                      static_cast<uint32_t>(dst.size()), &made, true)) {
        return;
    }
    for (int i = 0; i < 4096 && dec->HasPendingOutput(); ++i) {
        uint32_t none = 0;
        if (!dec->Convert(nullptr, 0, &none, dst.data(), static_cast<uint32_t>(dst.size()), &made,
                          false)) {
            return;
        }
    }
}

TEST(AudioFuzzRegressTest, FoundInputsDecodeOrFailCleanly) {
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(TRELVAN_AUDIO_REGRESS_DIR)) {
        SCOPED_TRACE(e.path().string());
        if (e.path().extension() == ".wav") {
            DecodeWaveFile(e.path().string());
            ++files;
        } else if (e.path().extension() == ".fmt") {
            DecodeFormatInput(test::ReadBytes(e.path().string()));
            ++files;
        }
    }
    EXPECT_GE(files, 2);
}

// A record may declare any rate: sizes are still answered, but no codec is
// opened for a rate or channel count no audio has (it would only eat memory).
TEST(AudioFuzzRegressTest, CodecsRefuseNonsensicalRatesAndChannels) {
    struct Case {
        uint32_t rate;
        uint16_t channels;
        bool opens;
    };
    const Case cases[] = {{44100, 2, true},
                          {768000, 2, true},
                          {768001, 2, false},
                          {1718842436, 1, false},
                          {44100, 65, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz, " + std::to_string(c.channels) + " ch");
        WAVEFORMATEX ima{kWaveFormatImaAdpcm, c.channels, c.rate, c.rate / 2, 0, 4, 2};
        ima.nBlockAlign = static_cast<uint16_t>(256 * c.channels);
        uint8_t rec[kWaveFormatExSize + 2] = {};
        WriteWaveFormat(ima, rec);
        bytes::PutLE16(rec + kWaveFormatExSize,
                       static_cast<uint16_t>((256 - 4 * c.channels) * 2 / c.channels + 1));
        WAVEFORMATEX pcm{};
        ASSERT_TRUE(AudioConversion::SuggestPcm(rec, &pcm));
        uint8_t pcm_bytes[kWaveFormatExSize];
        WriteWaveFormat(pcm, pcm_bytes);
        auto conv = AudioConversion::Open(rec, std::span<const uint8_t>(pcm_bytes));
        ASSERT_NE(conv, nullptr);
        uint32_t out = 0;
        EXPECT_TRUE(conv->Size(256u * c.channels, AudioConversion::SizeFrom::Source, &out));
        EXPECT_EQ(conv->Prepare(), c.opens);
    }
}

// The rate a record declares is what decoded audio is converted to; a record
// far from the rate the stream decodes at (fuzzing found 1 Hz over 44.1 kHz
// MPEG frames, which took a gigabyte of resampling filter) is refused when
// decoding, while an ordinary conversion still works.
TEST(AudioFuzzRegressTest, RecordRateFarFromTheStreamsIsRefusedWhenDecoding) {
    const std::string mp3 = test::MakeMedia(
        "regress-mp3-44k", "-f lavfi -i sine=d=1:r=44100 -c:a libmp3lame -f wav", "wav");
    const std::vector<uint8_t> original = test::ReadBytes(mp3);
    ASSERT_EQ(bytes::GetLE16(original.data() + 20), kWaveFormatMpegLayer3);
    struct Case {
        uint32_t rate;
        bool decodes;
    };
    const Case cases[] = {{44100, true}, {8000, true}, {1000, true}, {600, false}, {1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " Hz declared");
        std::vector<uint8_t> b = original;
        bytes::PutLE32(b.data() + 24, c.rate);
        const std::string path = test::ScratchDir() + "/declared.wav";
        test::WriteBytes(path, b);
        CWaveFileACM wave;
        if (wave.OpenRead(path) == 0) {
            EXPECT_FALSE(c.decodes);  // refused at once: as good as refused later
            continue;
        }
        std::vector<uint8_t> buf(1 << 16);
        int64_t total = 0;
        int32_t n = 0;
        while ((n = wave.Read(buf.data(), static_cast<int32_t>(buf.size()))) > 0) {
            total += n;
        }
        wave.Close();
        if (c.decodes) {
            EXPECT_EQ(n, 0);
            // One second at the declared rate, 16-bit mono, give or take the
            // codec's padding.
            EXPECT_NEAR(static_cast<double>(total), 2.0 * c.rate, 0.1 * c.rate + 4096);
        } else {
            EXPECT_EQ(n, -1);
            EXPECT_EQ(total, 0);
        }
    }
}

}  // namespace
}  // namespace trelvan
