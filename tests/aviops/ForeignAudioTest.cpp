// Audio as other programs store it: in AVI one frame per chunk, as plain
// bytes of MPEG or AC-3 frames, counted in units other than the format's
// blocks, without timing, in WAV files whose data ends inside a block. Each
// case here cut or joined the wrong bytes, or lost audio without a word,
// before the AVI layer and the operations learnt to handle it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>

#include "AudioExtract.h"
#include "AudioFrameSync.h"
#include "AudioLink.h"
#include "AviExtract.h"
#include "AviFile.h"
#include "AviLink.h"
#include "AviUnite.h"
#include "ByteOrder.h"
#include "CDecWAV.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"
#include "SaveRunTestUtil.h"

namespace trelvan {
namespace {

using test::Concat;
using Bytes = std::vector<uint8_t>;

// ---- making and reading sources ---------------------------------------------

// Ten seconds of moving picture (MJPEG, every frame a key frame, 25 fps)
// with a tone in the given audio codec.
std::string AviWith(const std::string& name, const std::string& audio, int seconds = 10) {
    const std::string d = std::to_string(seconds);
    return test::MakeMedia(name,
                           "-f lavfi -i testsrc=d=" + d + ":s=64x48:r=25 -f lavfi -i sine=d=" + d +
                               ":r=44100 -c:v mjpeg " + audio,
                           "avi");
}

// Fields of the audio stream's header and format to overwrite.
struct AudioPatch {
    int64_t sampleSize = -1, rate = -1, scale = -1, blockAlign = -1, tag = -1;
    uint32_t lengthTimes = 1;  // the stored length is multiplied by this
};

// A copy of an AVI file whose (first) audio stream header says other things.
std::string Patched(const std::string& src, const std::string& name, const AudioPatch& p) {
    Bytes d = test::ReadBytes(src);
    size_t h = 0;
    for (size_t i = 0; i + 12 < d.size(); ++i) {
        if (std::memcmp(&d[i], "strh", 4) == 0 && std::memcmp(&d[i + 8], "auds", 4) == 0) {
            h = i + 8;
            break;
        }
    }
    EXPECT_NE(h, 0u) << "no audio stream header in " << src;
    size_t f = h;
    while (std::memcmp(&d[f], "strf", 4) != 0) {
        ++f;
    }
    f += 8;
    auto set32 = [&](size_t at, int64_t v) {
        if (v >= 0) {
            bytes::PutLE32(&d[at], static_cast<uint32_t>(v));
        }
    };
    set32(h + 20, p.scale);
    set32(h + 24, p.rate);
    set32(h + 44, p.sampleSize);
    bytes::PutLE32(&d[h + 32], bytes::GetLE32(&d[h + 32]) * p.lengthTimes);
    if (p.blockAlign >= 0) {
        bytes::PutLE16(&d[f + 12], static_cast<uint16_t>(p.blockAlign));
    }
    if (p.tag >= 0) {
        bytes::PutLE16(&d[f], static_cast<uint16_t>(p.tag));
    }
    const std::string out = test::ScratchDir() + "/" + name + ".avi";
    test::WriteBytes(out, d);
    return out;
}

// Byte range [from, to) of one chunk of a RIFF file's top level.
struct Span {
    size_t from = 0, to = 0;
};
Span WavChunk(const Bytes& d, const char* id) {
    for (size_t at = 12; at + 8 <= d.size();) {
        const uint32_t size = bytes::GetLE32(&d[at + 4]);
        if (std::memcmp(&d[at], id, 4) == 0) {
            return {at + 8, std::min<size_t>(d.size(), at + 8 + size)};
        }
        at += 8 + size + (size & 1);
    }
    return {};
}
Bytes WavData(const std::string& path) {
    const Bytes d = test::ReadBytes(path);
    const Span s = WavChunk(d, "data");
    return Bytes(d.begin() + static_cast<std::ptrdiff_t>(s.from),
                 d.begin() + static_cast<std::ptrdiff_t>(s.to));
}

// Presentation times of a stream's packets, as ffprobe gives them.
std::vector<double> PacketTimes(const std::string& path, const std::string& sel) {
    const test::CommandResult r =
        test::RunCommand({"ffprobe", "-v", "error", "-select_streams", sel, "-show_entries",
                          "packet=pts_time", "-of", "csv=p=0", path});
    std::vector<double> t;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        t.push_back(std::stod(line));
    }
    return t;
}

// The audio stream header of an AVI file as stored: rate, scale, length,
// sample size.
struct StoredHeader {
    uint32_t rate = 0, scale = 0, length = 0, sampleSize = 0;
};
StoredHeader AudioHeaderOf(const std::string& path) {
    const Bytes d = test::ReadBytes(path);
    for (size_t i = 0; i + 56 < d.size(); ++i) {
        if (std::memcmp(&d[i], "strh", 4) == 0 && std::memcmp(&d[i + 8], "auds", 4) == 0) {
            const uint8_t* h = &d[i + 8];
            return {bytes::GetLE32(h + 24), bytes::GetLE32(h + 20), bytes::GetLE32(h + 32),
                    bytes::GetLE32(h + 44)};
        }
    }
    ADD_FAILURE() << "no audio stream header in " << path;
    return {};
}

AviExtractResult ExtractAvi(const std::string& src, const std::string& out, int64_t fromMs,
                            int64_t toMs, OpContext& ctx) {
    AviExtractJob job;
    job.source = src;
    job.output = out;
    job.start = AviTime::FromMs(fromMs);
    job.end = AviTime::FromMs(toMs);
    return RunAviExtract(job, ctx);
}

int32_t ExtractAudio(const std::string& src, const std::string& out, int64_t fromMs,
                     int64_t toMs) {
    AudioExtractJob job;
    job.source = src;
    job.output = out;
    job.start = AudioTime::FromMs(fromMs);
    job.end = AudioTime::FromMs(toMs);
    OpContext ctx;
    return RunAudioExtract(job, ctx).code;
}

std::string Out(const std::string& name) {
    return test::ScratchDir() + "/" + name;
}

// True when `part` is a run of whole frames: each starts with a header and
// the last ends exactly at the end.
bool WholeFrames(uint16_t tag, const Bytes& part) {
    size_t at = 0;
    while (at < part.size()) {
        const uint32_t n = audio::FrameLengthAt(tag, 0, &part[at], part.size() - at);
        if (n == 0) {
            return false;
        }
        at += n;
    }
    return at == part.size() && !part.empty();
}

// ---- the cases ----------------------------------------------------------------

// MP3, AC-3 and AAC stored one frame per chunk are timed by the stream's rate
// and scale; a byte rate said nothing about them (2.5-5.0 s of MP3 gave
// 0.91 s taken from 0.9 s). The cut must agree with the frames' own times
// within one frame, and the loaded length with the stream's.
TEST(ForeignAudio, FramedAviAudioIsCutOnItsOwnClock) {
    const struct {
        const char* name;
        const char* audio;
    } cases[] = {
        {"clock-mp3-cbr", "-ac 2 -c:a libmp3lame -b:a 128k"},
        {"clock-mp3-vbr", "-c:a libmp3lame -q:a 4"},
        {"clock-ac3", "-c:a ac3"},
        {"clock-aac", "-c:a aac"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = AviWith(c.name, c.audio, 6);
        const std::vector<test::ProbedPacket> packets = test::SourcePackets(src, "a:0");
        const std::vector<double> times = PacketTimes(src, "a:0");
        ASSERT_EQ(packets.size(), times.size());
        ASSERT_GT(times.size(), 2u);
        const double frame = times[1] - times[0];

        AudioTime length;
        ASSERT_EQ(ReadAudioDuration(src, &length), 0);
        const double seconds = length.hours * 3600.0 + length.minutes * 60.0 + length.seconds +
                               length.milliseconds / 1000.0;
        EXPECT_NEAR(seconds, times.back() + frame, frame + 0.001);

        const std::string out = Out(std::string(c.name) + ".wav");
        ASSERT_EQ(ExtractAudio(src, out, 2500, 5000), 0);
        const Bytes got = WavData(out);
        // The packets the output holds: a contiguous run [i, j).
        size_t i = 0;
        while (i < times.size() && times[i] < 2.5 - 2 * frame) {
            ++i;
        }
        while (i < packets.size() && !std::equal(packets[i].data.begin(), packets[i].data.end(),
                                                 got.begin(), got.begin() + std::min(got.size(), packets[i].data.size()))) {
            ++i;
        }
        ASSERT_LT(i, packets.size()) << "the output starts with no frame of the source";
        size_t j = i;
        size_t bytes = 0;
        while (j < packets.size() && bytes < got.size()) {
            bytes += packets[j++].data.size();
        }
        std::vector<test::ProbedPacket> run(packets.begin() + static_cast<std::ptrdiff_t>(i),
                                            packets.begin() + static_cast<std::ptrdiff_t>(j));
        EXPECT_TRUE(Concat(run) == got) << "not a run of whole source frames";
        EXPECT_NEAR(times[i], 2.5, frame + 0.001);
        const double end = j < times.size() ? times[j] : times.back() + frame;
        EXPECT_NEAR(end, 5.0, frame + 0.001);
    }
}

// PCM and G.711 whose header counts 1- or 2-byte units under a block of 2 or
// 4 bytes (with the rate counting blocks, or counting those units): read,
// timed and cut in whole blocks. Before, the length came out in bytes, AVI
// extract took its audio from half the video's time, and audio extract cut
// inside a stereo block.
TEST(ForeignAudio, BlocksCountedInOtherUnitsAreReadAsBlocks) {
    const std::string pcm = AviWith("units-pcm", "-ac 2 -c:a pcm_s16le");
    const std::string alaw = AviWith("units-alaw", "-ac 2 -c:a pcm_alaw");
    const struct {
        const char* name;
        std::string base;
        uint32_t block;
        AudioPatch patch;
    } cases[] = {
        {"bytes-rate-blocks", pcm, 4, {.sampleSize = 1, .lengthTimes = 4}},
        {"words-rate-blocks", pcm, 4, {.sampleSize = 2, .lengthTimes = 2}},
        {"bytes-rate-bytes", pcm, 4, {.sampleSize = 1, .rate = 176400, .lengthTimes = 4}},
        {"alaw-bytes", alaw, 2, {.sampleSize = 1, .lengthTimes = 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = Patched(c.base, c.name, c.patch);
        const Bytes audio = Concat(test::SourcePackets(c.base, "a:0"));
        const uint32_t blocksPerSecond = 44100;
        const uint32_t perSecond = blocksPerSecond * c.block;

        CDecWAV reader;
        ASSERT_EQ(reader.Open(src), 0);
        EXPECT_EQ(reader.GetAudioLength(), static_cast<int32_t>(audio.size() / c.block));
        reader.Close();

        // AVI extract: frames 83..168 (3.32-6.72 s) and the audio of their span.
        OpContext ctx;
        const std::string avi = Out(std::string(c.name) + ".avi");
        const AviExtractResult r = ExtractAvi(src, avi, 3320, 6720, ctx);
        ASSERT_EQ(r.code, 0);
        const size_t first = size_t{83} * blocksPerSecond / 25 * c.block;
        const size_t last = size_t{169} * blocksPerSecond / 25 * c.block;
        EXPECT_TRUE(Concat(test::ProbePackets(avi, "a:0")) ==
                    Bytes(audio.begin() + static_cast<std::ptrdiff_t>(first),
                          audio.begin() + static_cast<std::ptrdiff_t>(last)))
            << "the audio is not that of the video's span";
        // The written header describes its data, and so cutting the output
        // again cuts the same span as cutting the source.
        const StoredHeader h = AudioHeaderOf(avi);
        EXPECT_EQ(h.sampleSize, c.block);
        EXPECT_EQ(uint64_t{h.length} * h.sampleSize, last - first);
        EXPECT_NEAR(static_cast<double>(h.length) * h.scale / h.rate,
                    double(last - first) / perSecond, 1e-6);
        const std::string again = Out(std::string(c.name) + "-again.wav");
        ASSERT_EQ(ExtractAudio(avi, again, 1000, 2000), 0);
        EXPECT_EQ(WavData(again).size(), size_t{perSecond});

        // Audio extract: 2.5-5.0 s in whole blocks.
        const std::string wav = Out(std::string(c.name) + ".wav");
        ASSERT_EQ(ExtractAudio(src, wav, 2500, 5000), 0);
        EXPECT_TRUE(WavData(wav) == Bytes(audio.begin() + perSecond * 5 / 2,
                                         audio.begin() + perSecond * 5));
    }
}

// IMA ADPCM whose header has rate, scale and sample size 0 and whose format
// stores a block alignment of 0: timed from the format's samples per block
// (it was cut to an empty stream reported as success). A format tag of 0 is
// refused as an unsupported format.
TEST(ForeignAudio, UntimedAudioTakesItsTimingFromTheFormat) {
    const std::string ima = AviWith("untimed-ima", "-ac 2 -ar 22050 -c:a adpcm_ima_wav");
    const std::string src =
        Patched(ima, "untimed", {.sampleSize = 0, .rate = 0, .scale = 0, .blockAlign = 0});
    OpContext ctx;
    const std::string out = Out("untimed.avi");
    ASSERT_EQ(ExtractAvi(src, out, 3320, 6720, ctx).code, 0);
    const size_t blocks = test::ProbePackets(out, "a:0").size() > 0
                              ? Concat(test::ProbePackets(out, "a:0")).size() / 1024
                              : 0;
    EXPECT_NEAR(static_cast<double>(blocks), 3.44 * 22050 / 1017, 1.0);
    EXPECT_TRUE(test::DecodesCleanly(out));

    const std::string noTag = Patched(AviWith("units-pcm", "-ac 2 -c:a pcm_s16le"), "tag0",
                                      {.tag = 0});
    EXPECT_EQ(ExtractAvi(noTag, Out("tag0.avi"), 0, 2000, ctx).code, err::kUnsupportedFormat);
    EXPECT_EQ(ExtractAudio(noTag, Out("tag0.wav"), 0, 2000), err::kUnsupportedFormat);
}

// MPEG audio and AC-3 stored as bytes (sample size 1) are cut at frame
// boundaries: each piece starts with a whole frame and ends with the frame
// that holds its end (before, both ends were broken frames).
TEST(ForeignAudio, FramesStoredAsBytesAreCutBetweenFrames) {
    const std::string tone = "audiotestsrc num-buffers=300 ! audio/x-raw,rate=44100,channels=2";
    const std::string picture =
        "videotestsrc num-buffers=150 ! video/x-raw,width=64,height=48,framerate=25/1 ! jpegenc "
        "! m.";
    const std::string ac3 = test::MakeMedia("bytes-ac3-raw", "-f lavfi -i sine=d=6:r=48000 -c:a ac3", "ac3");
    const struct {
        const char* name;
        std::string pipeline;
        uint16_t tag;
    } cases[] = {
        {"bytes-mp3", "avimux name=m ! filesink location=OUT " + picture + " " + tone +
                          " ! lamemp3enc ! m.", 0x55},
        {"bytes-ac3", "avimux name=m ! filesink location=OUT " + picture + " filesrc location=" +
                          ac3 + " ! ac3parse ! m.", 0x2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string src = test::MakeGstMedia(c.name, c.pipeline, "avi");
        ASSERT_EQ(AudioHeaderOf(src).sampleSize, 1u) << "the muxer no longer stores bytes";
        const Bytes all = Concat(test::SourcePackets(src, "a:0"));

        OpContext ctx;
        const std::string avi = Out(std::string(c.name) + ".avi");
        ASSERT_EQ(ExtractAvi(src, avi, 1000, 3000, ctx).code, 0);
        const std::string wav = Out(std::string(c.name) + ".wav");
        ASSERT_EQ(ExtractAudio(src, wav, 1000, 3000), 0);
        for (const Bytes& part : {Concat(test::ProbePackets(avi, "a:0")), WavData(wav)}) {
            EXPECT_TRUE(WholeFrames(c.tag, part)) << "a cut inside a frame";
            EXPECT_NE(std::search(all.begin(), all.end(), part.begin(), part.end()), all.end());
        }
        std::string errors;
        EXPECT_TRUE(test::DecodesCleanly(wav, &errors)) << errors;
    }
}

// A WAV source whose data is not a whole number of blocks (MP3 stored with
// a block alignment of 1,152): the short last block is stored by a unite and
// must be counted in the stream's length.
TEST(ForeignAudio, ShortLastBlockIsCounted) {
    const std::string mp3 = test::MakeMedia(
        "short-block-mp3", "-f lavfi -i sine=d=2:r=44100 -c:a libmp3lame -b:a 64k -f wav", "wav");
    Bytes d = test::ReadBytes(mp3);
    const Span fmt = WavChunk(d, "fmt ");
    bytes::PutLE16(&d[fmt.from + 12], 1152);
    const std::string audio = Out("short-block.wav");
    test::WriteBytes(audio, d);
    const size_t dataBytes = WavData(audio).size();
    ASSERT_NE(dataBytes % 1152, 0u);

    AviUniteJob job;
    job.videoSource = AviWith("short-block-video", "-an", 2);
    job.audioSource = audio;
    job.output = Out("short-block.avi");
    OpContext ctx;
    ASSERT_EQ(RunAviUnite(job, ctx).code, 0);
    const StoredHeader h = AudioHeaderOf(job.output);
    EXPECT_EQ(h.length, (dataBytes + 1151) / 1152);
    EXPECT_EQ(Concat(test::ProbePackets(job.output, "a:0")).size(), dataBytes);
}

// 16-bit WAV files whose data size is odd (as some sound collections ship
// them): at a join only whole blocks are copied, so the next source does not
// play one byte off.
TEST(ForeignAudio, JoinsKeepWholeBlocks) {
    std::vector<std::string> sources;
    std::vector<Bytes> data;
    for (const char* name : {"odd-a", "odd-b"}) {
        const std::string made = test::MakeMedia(
            std::string(name) + "-src",
            std::string("-f lavfi -i sine=d=1:r=22050:f=") + (name[4] == 'a' ? "440" : "660") +
                " -c:a pcm_s16le",
            "wav");
        // Written again by another program, then cut one byte short.
        const std::string copy = Out(std::string(name) + "-sf.wav");
        ASSERT_EQ(test::RunCommand({"sndfile-convert", "-pcm16", made, copy}).exit_code, 0);
        Bytes d = test::ReadBytes(copy);
        const Span s = WavChunk(d, "data");
        d.resize(s.to - 1);
        d.push_back(0);  // the pad byte after an odd-sized chunk
        bytes::PutLE32(&d[s.from - 4], static_cast<uint32_t>(s.to - s.from - 1));
        bytes::PutLE32(&d[4], static_cast<uint32_t>(d.size() - 8));
        const std::string odd = Out(std::string(name) + ".wav");
        test::WriteBytes(odd, d);
        sources.push_back(odd);
        data.push_back(WavData(odd));
        ASSERT_EQ(data.back().size() % 2, 1u);
    }
    AudioLinkJob job;
    job.sources = sources;
    job.output = Out("odd-link.wav");
    OpContext ctx;
    ASSERT_EQ(RunAudioLink(job, ctx).code, 0);
    Bytes want(data[0].begin(), data[0].end() - 1);
    want.insert(want.end(), data[1].begin(), data[1].end());
    EXPECT_TRUE(WavData(job.output) == want);
}

// Reads that fail once they start inside one stored chunk of a file.
class BadChunkFile : public IoFile {
  public:
    BadChunkFile(std::unique_ptr<IoFile> inner, uint64_t from, uint64_t to, int* failures)
        : m_inner(std::move(inner)), m_from(from), m_to(to), m_failures(failures) {}
    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        if (offset >= m_from && offset < m_to) {
            ++*m_failures;
            return -1;
        }
        return m_inner->ReadAt(offset, buf, n);
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<IoFile> m_inner;
    uint64_t m_from, m_to;
    int* m_failures;
};

// An audio block that cannot be read: with nobody to ask (the command line,
// or any caller without an ask hook) the run ends with a read error that
// says where; answered Cancel the sample is skipped and counted; answered OK
// the audio ends there. Before, with no ask hook the sample was skipped and
// the run passed as complete.
TEST(ForeignAudio, UnreadableAudioIsNeverSkippedSilently) {
    // Half-second audio chunks, large enough to be read straight from the file.
    const std::string src = test::MakeMedia(
        "unreadable-audio",
        "-f lavfi -i testsrc=d=4:s=64x48:r=2 -f lavfi -i sine=d=4:r=44100:samples_per_frame=22050 "
        "-ac 2 -c:v mjpeg -c:a pcm_s16le",
        "avi");
    int32_t error = 0;
    auto file = AviFile::Open(src, &error);
    ASSERT_TRUE(file);
    AviStream* audio = nullptr;
    for (int i = 0; i < file->StreamCount(); ++i) {
        if (file->Stream(i).IsAudio()) {
            audio = &file->Stream(i);
        }
    }
    ASSERT_TRUE(audio != nullptr && audio->ChunkCount() > 4);
    ASSERT_GT(audio->ChunkSize(3), 16u * 1024);
    const uint64_t badFrom = audio->ChunkOffset(3);
    const uint64_t badTo = badFrom + audio->ChunkSize(3);
    const int32_t badSample = 3 * 22050;

    enum class Answer { None, Cancel, Ok };
    for (const bool link : {false, true}) {
        for (const Answer answer : {Answer::None, Answer::Cancel, Answer::Ok}) {
            SCOPED_TRACE(std::string(link ? "link" : "extract") + " answer " +
                         std::to_string(static_cast<int>(answer)));
            int failures = 0;
            OpContext ctx;
            ctx.opener = [&](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
                auto inner = DiskFileOpener()(path, mode);
                if (!inner || mode != OpenMode::Read || path != src) {
                    return inner;
                }
                return std::make_unique<BadChunkFile>(std::move(inner), badFrom, badTo, &failures);
            };
            if (answer != Answer::None) {
                ctx.ask = [answer](const std::string&, const std::string&) {
                    return answer == Answer::Ok;
                };
            }
            CEncAVIAudio::AudioReadTrouble trouble;
            int32_t code = 0;
            if (link) {
                AviLinkJob job;
                job.sources = {src};
                job.output = Out("unreadable-link.avi");
                const AviLinkResult r = RunAviLink(job, ctx);
                code = r.code;
                trouble = r.audioTrouble;
                EXPECT_EQ(r.audioTroubleSource, 0);
            } else {
                const AviExtractResult r = ExtractAvi(src, Out("unreadable.avi"), 0, 4000, ctx);
                code = r.code;
                trouble = r.audioTrouble;
            }
            ASSERT_GT(failures, 0);
            EXPECT_EQ(trouble.firstSample, badSample);
            EXPECT_NEAR(trouble.firstSeconds, 1.5, 1e-9);
            EXPECT_EQ(code, answer == Answer::None ? err::kStreamRead : 0);
            EXPECT_EQ(trouble.ended, answer != Answer::Cancel);
            EXPECT_EQ(trouble.unanswered, answer == Answer::None);
            if (answer == Answer::Cancel) {
                EXPECT_GT(trouble.skipped, 0);
            }
        }
    }
}

}  // namespace
}  // namespace trelvan
