#include <gtest/gtest.h>

#include <cmath>

#include "AudioFrameMath.h"
#include "ByteOrder.h"
#include "CMMio.h"
#include "CWaveFileACM.h"
#include "Fixtures.h"
#include "MpegFrameCounter.h"
#include "Probe.h"
#include "Process.h"
#include "WaveFormatEx.h"

namespace {

using namespace trelvan;
using trelvan::test::MakeMedia;
using trelvan::test::ScratchDir;

struct WavParts {
    std::vector<uint8_t> format;  // the whole format chunk
    std::vector<uint8_t> data;
};

// The format chunk and data bytes of a WAV file, read through CMMio.
WavParts ReadParts(const std::string& path) {
    WavParts w;
    CMMio m;
    EXPECT_TRUE(m.OpenRead(path)) << path;
    w.format.resize(m.GetFormatSize());
    EXPECT_EQ(m.Read(w.format.data(), static_cast<int32_t>(w.format.size())),
              static_cast<int32_t>(w.format.size()));
    EXPECT_TRUE(m.DescendToData());
    w.data.resize(m.GetDataSize());
    if (!w.data.empty()) {
        EXPECT_EQ(m.Read(w.data.data(), static_cast<int32_t>(w.data.size())),
                  static_cast<int32_t>(w.data.size()));
    }
    return w;
}

// Copies audio bytes as the audio pages do: raw writes in copy-buffer pieces.
std::string CopyRaw(const WavParts& src, const std::string& path, size_t piece) {
    CWaveFileACM w;
    w.SetFileFormat(src.format.data(), src.format.size());
    EXPECT_NE(w.OpenWrite(path), 0);
    for (size_t off = 0; off < src.data.size(); off += piece) {
        const auto n = static_cast<int32_t>(std::min(piece, src.data.size() - off));
        EXPECT_EQ(w.WriteRaw(src.data.data() + off, n), n);
    }
    w.Close();
    return path;
}

uint32_t FactOf(const std::string& path) {
    const auto f = test::ReadBytes(path);
    size_t pos = 12;
    while (pos + 12 <= f.size()) {
        const uint32_t size = bytes::GetLE32(&f[pos + 4]);
        if (bytes::GetLE32(&f[pos]) == bytes::FourCC("fact")) {
            return bytes::GetLE32(&f[pos + 8]);
        }
        pos += 8 + size + (size & 1);
    }
    ADD_FAILURE() << "no fact chunk in " << path;
    return 0;
}

// Sample frames ffmpeg decodes from a file (mixed down to one channel).
size_t DecodedFrames(const std::string& path) {
    const auto r = test::RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-ac", "1",
                                     "-f", "s16le", "-c:a", "pcm_s16le", "pipe:1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out.size() / 2;
}

std::vector<int16_t> DecodeS16(const std::string& path) {
    const auto r = test::RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "s16le",
                                     "-c:a", "pcm_s16le", "pipe:1"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<int16_t> s(r.out.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] =
            static_cast<int16_t>(bytes::GetLE16(reinterpret_cast<const uint8_t*>(&r.out[2 * i])));
    }
    return s;
}

// Every format the pages may copy: the file written by raw copies holds the
// source's format chunk and data bytes as ffprobe reads them, and its fact
// value is the number of sample frames ffmpeg decodes from it.
TEST(AudioCodecTest, RawCopiesKeepFormatAndBytesAndCountTheFrames) {
    struct Case {
        const char* name;
        const char* codec;  // ffmpeg arguments after the sine source
    };
    const Case cases[] = {
        {"pcm16", "-ac 2 -ar 44100 -c:a pcm_s16le"},
        {"pcm8odd", "-ac 1 -ar 11025 -t 0.9999 -c:a pcm_u8"},
        {"pcm24", "-ac 2 -ar 48000 -c:a pcm_s24le"},
        {"float", "-ac 2 -ar 44100 -c:a pcm_f32le"},
        {"alaw", "-ac 2 -ar 8000 -c:a pcm_alaw"},
        {"mulaw", "-ac 1 -ar 8000 -c:a pcm_mulaw"},
        {"ima", "-ac 2 -ar 44100 -c:a adpcm_ima_wav"},
        {"ima_mono_256", "-ac 1 -ar 22050 -c:a adpcm_ima_wav -block_size 256"},
        {"msadpcm", "-ac 2 -ar 44100 -c:a adpcm_ms"},
        {"mp3", "-ac 2 -ar 44100 -c:a libmp3lame -b:a 128k"},
        {"mp3_lsf", "-ac 1 -ar 22050 -c:a libmp3lame -b:a 32k"},
        {"mp2", "-ac 2 -ar 48000 -c:a mp2 -b:a 192k"},
        {"ac3", "-ac 2 -ar 44100 -c:a ac3 -b:a 192k"},
        {"gsm", "-ac 1 -ar 8000 -c:a libgsm_ms"},
        {"yamaha", "-ac 2 -ar 44100 -c:a adpcm_yamaha"},
        {"g726", "-ac 1 -ar 8000 -c:a g726 -b:a 32k"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src =
            MakeMedia(std::string("wavsrc_") + c.name,
                      std::string("-f lavfi -i sine=frequency=440:duration=1.3 ") + c.codec, "wav");
        const WavParts in = ReadParts(src);
        const std::string out = CopyRaw(in, ScratchDir() + "/" + c.name + ".wav", 48000);
        const WavParts back = ReadParts(out);
        const size_t fmt_size = in.format.size() >= 18 && bytes::GetLE16(in.format.data()) != 1
                                    ? 18 + bytes::GetLE16(in.format.data() + 16)
                                    : 16;
        EXPECT_EQ(back.format,
                  std::vector<uint8_t>(in.format.begin(), in.format.begin() + fmt_size));
        std::vector<uint8_t> probed;
        for (const auto& p : test::ProbePackets(out, "a:0")) {
            probed.insert(probed.end(), p.data.begin(), p.data.end());
        }
        EXPECT_TRUE(probed == in.data) << probed.size() << " vs " << in.data.size();
        const std::vector<std::string> fields = {"codec_name", "sample_rate", "channels"};
        EXPECT_EQ(test::ProbeStream(out, "a:0", fields), test::ProbeStream(src, "a:0", fields));
        EXPECT_EQ(FactOf(out), DecodedFrames(out));
    }
}

TEST(AudioCodecTest, RawCopiesOfRealFiles) {
    for (const char* name : {"wav/tinytag_adpcm.wav", "wav/tinytag_gsm_6_10.wav"}) {
        SCOPED_TRACE(name);
        const WavParts in = ReadParts(test::SamplePath(name));
        const std::string out = CopyRaw(in, ScratchDir() + "/real.wav", 400000);
        std::vector<uint8_t> probed;
        for (const auto& p : test::ProbePackets(out, "a:0")) {
            probed.insert(probed.end(), p.data.begin(), p.data.end());
        }
        EXPECT_TRUE(probed == in.data);
        EXPECT_EQ(FactOf(out), DecodedFrames(out));
    }
}

// Frames per block and per byte count, from the ADPCM block layouts.
TEST(AudioCodecTest, FrameArithmeticOfBlockFormats) {
    struct Case {
        uint16_t tag, ch, align, bits;
        uint64_t bytes, frames;
    };
    const Case cases[] = {
        {kWaveFormatImaAdpcm, 1, 256, 4, 256, 505},
        {kWaveFormatImaAdpcm, 1, 512, 4, 512, 1017},
        {kWaveFormatImaAdpcm, 2, 1024, 4, 1024, 1017},
        {kWaveFormatImaAdpcm, 2, 1024, 4, 3 * 1024 + 8 + 16,
         3 * 1017 + 1 + 16},                                        // short last block
        {kWaveFormatImaAdpcm, 2, 1024, 4, 3 * 1024 + 5, 3 * 1017},  // no whole header
        {kWaveFormatAdpcm, 1, 256, 4, 256, 500},
        {kWaveFormatAdpcm, 2, 512, 4, 512, 500},
        {kWaveFormatAdpcm, 2, 2048, 4, 2 * 2048, 2 * 2036},
        {kWaveFormatGsm610, 1, 65, 0, 65 * 10 + 64, 3200},
        {kWaveFormatPcm, 2, 4, 16, 1000, 250},
        {kWaveFormatAlaw, 2, 2, 8, 1001, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tag << "/" << c.align << "/" << c.bytes);
        std::vector<uint8_t> f(18);
        WriteWaveFormat({c.tag, c.ch, 44100, 22000, c.align, c.bits, 0}, f.data());
        audio::FrameMath m;
        ASSERT_TRUE(audio::DescribeFormat(f, &m));
        EXPECT_EQ(audio::FramesInBytes(m, c.bytes), c.frames);
        // Enough bytes for the frames hold at least them.
        EXPECT_GE(audio::FramesInBytes(m, audio::BytesForFrames(m, c.frames)), c.frames);
        // The same format inside an extensible record counts the same.
        std::vector<uint8_t> ext(18 + 22);
        WriteWaveFormat({kWaveFormatExtensible, c.ch, 44100, 22000, c.align, c.bits, 22},
                        ext.data());
        static const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                              0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        bytes::PutLE16(ext.data() + 24, c.tag);
        std::copy(std::begin(kGuidTail), std::end(kGuidTail), ext.begin() + 28);
        audio::FrameMath e;
        ASSERT_TRUE(audio::DescribeFormat(ext, &e));
        EXPECT_EQ(audio::FramesInBytes(e, c.bytes), c.frames);
    }
}

std::vector<uint8_t> SinePcm(const std::string& name, const std::string& layout) {
    const std::string path = MakeMedia(
        name, "-f lavfi -i sine=frequency=440:duration=1.5 " + layout + " -c:a pcm_s16le", "wav");
    return ReadParts(path).data;
}

double SnrDb(const std::vector<int16_t>& ref, const std::vector<int16_t>& got) {
    double sig = 0;
    double err = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        sig += double(ref[i]) * ref[i];
        const double d = double(ref[i]) - got[i];
        err += d * d;
    }
    return 10 * std::log10(sig / std::max(err, 1.0));
}

std::vector<int16_t> AsS16(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<int16_t>(bytes::GetLE16(&b[2 * i]));
    }
    return s;
}

// PCM written through the converting write into ADPCM and read back through
// the decoding read: ffmpeg reads the file, the fact value counts the padded
// last block, and the samples come back within ADPCM's error. The two-step
// case writes mono data into a stereo file (data -> stereo PCM -> ADPCM).
TEST(AudioCodecTest, ConvertingWriteAndDecodingReadRoundTripThroughAdpcm) {
    const std::vector<uint8_t> ima_format =
        ReadParts(MakeMedia("ima_format",
                            "-f lavfi -i sine=duration=0.1 -ac 2 -ar 44100 -c:a adpcm_ima_wav",
                            "wav"))
            .format;
    const std::vector<uint8_t> ms_format =
        ReadParts(MakeMedia("ms_format",
                            "-f lavfi -i sine=duration=0.1 -ac 2 -ar 44100 -c:a adpcm_ms", "wav"))
            .format;
    const std::vector<uint8_t> stereo = SinePcm("sine_stereo", "-ac 2 -ar 44100");
    const std::vector<uint8_t> mono = SinePcm("sine_mono", "-ac 1 -ar 44100");
    struct Case {
        const char* name;
        const std::vector<uint8_t>* format;
        size_t block_frames;
        const std::vector<uint8_t>* pcm;
        uint16_t channels;
    };
    const Case cases[] = {
        {"ima one step", &ima_format, 1017, &stereo, 2},
        {"ima two steps", &ima_format, 1017, &mono, 1},
        {"ms one step", &ms_format, 1012, &stereo, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t>& file_format = *c.format;
        const std::string path = ScratchDir() + "/ima_rt.wav";
        CWaveFileACM w;
        w.SetDataFormat({kWaveFormatPcm, c.channels, 44100, 44100u * 2 * c.channels,
                         static_cast<uint16_t>(2 * c.channels), 16, 0});
        w.SetFileFormat(file_format.data(), file_format.size());
        ASSERT_NE(w.OpenWrite(path), 0);
        const std::vector<uint8_t>& pcm = *c.pcm;
        for (size_t off = 0; off < pcm.size(); off += 4001) {
            const auto n = static_cast<int32_t>(std::min<size_t>(4001, pcm.size() - off));
            ASSERT_EQ(w.Write(pcm.data() + off, n), n);
        }
        w.Close();

        const size_t frames = pcm.size() / (2 * c.channels);
        const size_t blocks = (frames + c.block_frames - 1) / c.block_frames;
        EXPECT_EQ(FactOf(path), blocks * c.block_frames);
        EXPECT_TRUE(test::DecodesCleanly(path));
        EXPECT_EQ(DecodedFrames(path), blocks * c.block_frames);
        EXPECT_EQ(ReadParts(path).format, file_format);

        CWaveFileACM r;
        ASSERT_NE(r.OpenRead(path), 0);
        EXPECT_EQ(r.GetDataFormat().wFormatTag, kWaveFormatPcm);
        EXPECT_EQ(r.GetDataFormat().nChannels, 2);
        std::vector<uint8_t> back;
        std::vector<uint8_t> buf(7000);
        for (;;) {
            const int32_t n = r.Read(buf.data(), static_cast<int32_t>(buf.size()));
            ASSERT_GE(n, 0);
            if (n == 0) {
                break;
            }
            back.insert(back.end(), buf.begin(), buf.begin() + n);
        }
        r.Close();
        ASSERT_EQ(back.size(), blocks * c.block_frames * 4);
        // Our decoding read gives what ffmpeg decodes from the same file.
        const std::vector<int16_t> got = AsS16(back);
        EXPECT_TRUE(got == DecodeS16(path));
        // Left channel against the source's first channel.
        std::vector<int16_t> ref = AsS16(pcm);
        std::vector<int16_t> left(frames);
        std::vector<int16_t> src_left(frames);
        for (size_t i = 0; i < frames; ++i) {
            left[i] = got[2 * i];
            src_left[i] = ref[c.channels * i];
        }
        EXPECT_GT(SnrDb(src_left, left), 20.0);
    }
}

// The decoding read of compressed files made elsewhere gives ffmpeg's samples.
TEST(AudioCodecTest, DecodingReadMatchesFfmpeg) {
    const std::vector<std::string> files = {
        test::SamplePath("wav/tinytag_adpcm.wav"),
        MakeMedia("dec_mp3",
                  "-f lavfi -i sine=duration=1 -ac 2 -ar 44100 -c:a libmp3lame -b:a 128k", "wav"),
        MakeMedia("dec_gsm", "-f lavfi -i sine=duration=1 -ac 1 -ar 8000 -c:a libgsm_ms", "wav"),
    };
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        CWaveFileACM r;
        ASSERT_NE(r.OpenRead(f), 0);
        std::vector<uint8_t> back;
        std::vector<uint8_t> buf(100000);
        int32_t n;
        while ((n = r.Read(buf.data(), static_cast<int32_t>(buf.size()))) > 0) {
            back.insert(back.end(), buf.begin(), buf.begin() + n);
        }
        EXPECT_EQ(n, 0);
        EXPECT_TRUE(AsS16(back) == DecodeS16(f)) << back.size() / 2;
    }
}

}  // namespace

// A format with a decoder but no encoder (TrueSpeech) can still be copied
// raw; only the converting write fails, and the file is finished all the same.
TEST(AudioCodecTest, FormatWithoutEncoderTakesRawWritesButNotConvertingOnes) {
    std::vector<uint8_t> fmt(18 + 32);
    WriteWaveFormat({0x0022, 1, 8000, 1067, 32, 1, 32}, fmt.data());
    const std::string path = ScratchDir() + "/ts.wav";
    CWaveFileACM w;
    w.SetFileFormat(fmt.data(), fmt.size());
    ASSERT_NE(w.OpenWrite(path), 0);
    EXPECT_EQ(w.GetDataFormat().wFormatTag, kWaveFormatPcm);
    std::vector<uint8_t> pcm(32000);
    EXPECT_EQ(w.Write(pcm.data(), 32000), -1);
    std::vector<uint8_t> blocks(3200, 0);
    EXPECT_EQ(w.WriteRaw(blocks.data(), 3200), 3200);
    w.Close();
    const auto back = ReadParts(path);
    EXPECT_EQ(back.format, fmt);
    EXPECT_EQ(back.data, blocks);
    // 3200 bytes at 1067 bytes a second: an estimate from the byte rate.
    EXPECT_NEAR(FactOf(path), 3200.0 * 8000 / 1067, 1.0);
}

// Damaged files: every byte of the header area and random bytes of the data
// changed in turn. Reading and re-writing them ends cleanly (no crash, no
// endless read, no more bytes than a bounded decode can give).
TEST(AudioCodecTest, DamagedFilesReadAndCopyCleanly) {
    const std::vector<std::string> sources = {
        MakeMedia("dmg_ima", "-f lavfi -i sine=duration=0.2 -ac 2 -ar 22050 -c:a adpcm_ima_wav",
                  "wav"),
        MakeMedia("dmg_ms", "-f lavfi -i sine=duration=0.2 -ac 1 -ar 22050 -c:a adpcm_ms", "wav"),
        MakeMedia("dmg_mp3",
                  "-f lavfi -i sine=duration=0.3 -ac 1 -ar 44100 -c:a libmp3lame -b:a 64k", "wav"),
    };
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (const std::string& src : sources) {
        SCOPED_TRACE(src);
        const std::vector<uint8_t> good = test::ReadBytes(src);
        for (int round = 0; round < 60; ++round) {
            std::vector<uint8_t> bad = good;
            const size_t at =
                round < 40 ? static_cast<size_t>(round) * 2 % 80 : next() % bad.size();
            bad[at] = static_cast<uint8_t>(next());
            bad[(at + 1) % bad.size()] = static_cast<uint8_t>(next() >> 8);
            const std::string path = ScratchDir() + "/bad.wav";
            test::WriteBytes(path, bad);
            CWaveFileACM r;
            if (r.OpenRead(path) == 0) {
                continue;
            }
            std::vector<uint8_t> buf(65536);
            size_t total = 0;
            int32_t n;
            int reads = 0;
            while ((n = r.Read(buf.data(), static_cast<int32_t>(buf.size()))) > 0 &&
                   ++reads < 4000) {
                total += static_cast<size_t>(n);
            }
            EXPECT_GE(n, -1);
            EXPECT_LT(reads, 4000);
            r.Close();
            // The damaged format copied raw: OpenWrite either refuses it or
            // writes a file ffprobe can open.
            const WavParts parts = ReadParts(path);
            CWaveFileACM w;
            w.SetFileFormat(parts.format.data(), parts.format.size());
            const std::string out = ScratchDir() + "/copy.wav";
            if (w.OpenWrite(out) != 0) {
                w.WriteRaw(parts.data.data(), static_cast<int32_t>(parts.data.size()));
                w.Close();
                EXPECT_EQ(ReadParts(out).data, parts.data);
            }
        }
    }
}

// A copy that ends inside a block (a cut source, a stopped copy): the fact
// value counts the samples the short last block holds, as a decoder does.
TEST(AudioCodecTest, ShortLastBlockCountsLikeTheDecoder) {
    struct Case {
        const char* name;
        const char* codec;
        size_t cut;  // bytes of the last block kept
    };
    const Case cases[] = {
        {"ima", "-ac 2 -ar 44100 -c:a adpcm_ima_wav", 100},
        {"ima_mono", "-ac 1 -ar 22050 -c:a adpcm_ima_wav -block_size 512", 37},
        {"ms", "-ac 2 -ar 44100 -c:a adpcm_ms", 301},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src =
            MakeMedia(std::string("short_") + c.name,
                      std::string("-f lavfi -i sine=frequency=440:duration=0.5 ") + c.codec, "wav");
        WavParts in = ReadParts(src);
        const uint16_t align = bytes::GetLE16(in.format.data() + 12);
        in.data.resize(in.data.size() - align + c.cut);
        const std::string out = CopyRaw(in, ScratchDir() + "/short.wav", 48000);
        EXPECT_EQ(FactOf(out), DecodedFrames(out));
    }
}

// MPEG audio is counted from its frame headers: variable bit rates and
// records without a byte rate get the fact value of the frames written.
TEST(AudioCodecTest, Mp3FactCountsTheFramesAtAnyBitRate) {
    struct Case {
        const char* name;
        const char* codec;
        uint32_t frame_samples;
    };
    const Case cases[] = {
        {"vbr", "-ac 2 -ar 44100 -c:a libmp3lame -q:a 2", 1152},
        {"no_byte_rate", "-ac 1 -ar 48000 -c:a libmp3lame", 1152},
        {"lsf_vbr", "-ac 1 -ar 16000 -c:a libmp3lame -q:a 6", 576},
        {"layer2", "-ac 2 -ar 32000 -c:a mp2 -b:a 128k", 1152},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src =
            MakeMedia(std::string("mpegfact_") + c.name,
                      std::string("-f lavfi -i sine=frequency=300:duration=2.1 ") + c.codec, "wav");
        const WavParts in = ReadParts(src);
        const std::string out = CopyRaw(in, ScratchDir() + "/m.wav", 48000);
        EXPECT_EQ(FactOf(out), DecodedFrames(out));
        EXPECT_EQ(FactOf(out) % c.frame_samples, 0u);
    }
}

// Frame headers counted across piece boundaries, past junk, and only for
// complete frames.
TEST(AudioCodecTest, MpegFrameCounterCountsCompleteFramesOnly) {
    std::vector<uint8_t> stream = {'I', 'D', '3', 0xFF, 0xFF};  // junk, with a false sync
    auto frame = [&stream](uint8_t b2, size_t length) {
        const uint8_t head[4] = {0xFF, 0xFB, b2, 0xC4};
        stream.insert(stream.end(), head, head + 4);
        stream.resize(stream.size() + length - 4, 0x55);
    };
    frame(0x92, 418);        // 128 kbit/s, padded
    frame(0x90, 417);        // 128 kbit/s
    frame(0xE0, 1044);       // 320 kbit/s
    stream.push_back(0x00);  // a stray byte
    frame(0x50, 208);        // 64 kbit/s
    const size_t whole = stream.size();
    frame(0x92, 418);
    stream.resize(stream.size() - 10);  // the last frame is cut short
    for (size_t piece : {size_t{1}, size_t{3}, size_t{417}, stream.size()}) {
        SCOPED_TRACE(piece);
        audio::MpegFrameCounter c(44100);
        for (size_t off = 0; off < stream.size(); off += piece) {
            c.Feed(stream.data() + off, std::min(piece, stream.size() - off));
        }
        EXPECT_EQ(c.Samples(), 4u * 1152);
        EXPECT_EQ(c.Bytes(), stream.size());
        audio::MpegFrameCounter exact(44100);
        exact.Feed(stream.data(), whole);
        EXPECT_EQ(exact.Samples(), 4u * 1152);
    }
    // Frames of another sample rate are no frames of this stream.
    audio::MpegFrameCounter other(48000);
    other.Feed(stream.data(), stream.size());
    EXPECT_EQ(other.Samples(), 0u);
}
