// Sources that declare absurd sizes and counts (billions of samples, a
// format block of gigabytes, an index longer than the file) must cost no
// more memory than the file itself justifies: every reader and operation
// that takes such a source is run on it, and the heap it uses at the peak
// is held against what the same call uses on the untouched file, plus a
// small multiple of the file's size and a fixed allowance for buffers.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "AudioExtract.h"
#include "AudioLink.h"
#include "AviExtract.h"
#include "AviFile.h"
#include "AviLink.h"
#include "AviSeparate.h"
#include "AviUnite.h"
#include "ByteOrder.h"
#include "CDecAVIAudio.h"
#include "CDecCompWMV.h"
#include "CDecWAV.h"
#include "CEncCompWMV.h"
#include "CWaveFileACM.h"
#include "CraftedAsf.h"
#include "CraftedMovie.h"
#include "MovLink.h"
#include "MovieReader.h"
#include "QtErrorNames.h"
#include "ErrorCodes.h"
#include "ErrorText.h"
#include "Fixtures.h"
#include "HeapCounter.h"
#include "OpContext.h"
#include "ResourceLimitCases.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using test::AviTestIndex;
using test::AviTestStream;
using test::Bytes;
using test::CraftedBase;
using test::CraftedCase;

// What a call may use beyond its baseline: this many times the file's size,
// and this much for buffers and library start-up.
constexpr int64_t kFileMultiple = 4;
constexpr int64_t kFixedAllowance = 3 << 20;
// Reads a reader loop makes at most (every crafted file holds fewer samples).
constexpr int64_t kMaxReads = 1 << 21;

// ---- what runs on a source -------------------------------------------------

// Reads every sample of every stream the file layer offers.
int32_t ReadAllSamples(const std::string& path) {
    int32_t code = 0;
    std::shared_ptr<AviFile> file = AviFile::Open(path, &code);
    if (!file) {
        return code;
    }
    Bytes buffer(64 << 10);
    for (int s = 0; s < file->StreamCount(); ++s) {
        AviStream& stream = file->Stream(s);
        int64_t reads = 0;
        for (int32_t pos = stream.Start(); reads < kMaxReads; ++reads) {
            int64_t bytes = 0;
            int32_t samples = 0;
            if (stream.Read(pos, kReadConvenient, nullptr, 0, &bytes, &samples) != 0 ||
                samples == 0) {
                break;
            }
            if (bytes > static_cast<int64_t>(buffer.size())) {
                if (bytes > static_cast<int64_t>(file->FileSize())) {
                    return -1000;  // a sample larger than the file: shown as a fault
                }
                buffer.resize(static_cast<size_t>(bytes));
            }
            const int32_t rc = stream.Read(pos, kReadConvenient, buffer.data(),
                                           static_cast<int64_t>(buffer.size()), &bytes, &samples);
            if (rc != 0 || samples == 0) {
                break;
            }
            stream.IsKeyFrame(pos);
            pos += samples;
        }
    }
    return 0;
}

int32_t ReadAllFrames(const std::string& path) {
    CDecAVI reader;
    int32_t code = reader.Open(path);
    if (code != 0) {
        return code;
    }
    uint8_t* format = nullptr;
    int32_t format_size = 0;
    code = reader.ReadVideoFormat(&format, &format_size);
    std::free(format);
    void* buffer = nullptr;
    const int64_t end = static_cast<int64_t>(reader.GetVideoStart()) + reader.GetLength();
    for (int64_t pos = reader.GetVideoStart();
         pos < end && pos - reader.GetVideoStart() < kMaxReads; ++pos) {
        int32_t samples = 0, bytes = 0;
        if (reader.ReadVideoSample(static_cast<int32_t>(pos), &samples, &buffer, &bytes) != 0) {
            break;
        }
        reader.IsKeyFrame(static_cast<int32_t>(pos));
    }
    std::free(buffer);
    AviRange range;
    ReadAviRange(path, &range);
    return code;
}

// Reads the audio from the start in blocks, as the audio pages do.
template <typename Reader>
int32_t ReadAllAudio(const std::string& path) {
    Reader reader;
    const int32_t code = reader.Open(path);
    if (code != 0 || !reader.HasAudio()) {
        return code;
    }
    Bytes buffer(64 << 10);
    for (int64_t reads = 0; reads < kMaxReads; ++reads) {
        int32_t samples = 0;
        int32_t bytes = static_cast<int32_t>(buffer.size());
        if (reader.ReadAudio(&samples, buffer.data(), &bytes) != 0 || samples == 0) {
            break;
        }
    }
    AudioTime length;
    ReadAudioDuration(path, &length);
    return 0;
}

// Reads the data chunk through the codec layer, decoded to PCM where the
// format is compressed.
int32_t ReadDecoded(const std::string& path) {
    CWaveFileACM wave;
    if (wave.OpenRead(path) == 0) {
        return err::kFileOpen;
    }
    Bytes buffer(64 << 10);
    int32_t code = 0;
    for (int64_t reads = 0; reads < kMaxReads; ++reads) {
        const int32_t n = wave.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        if (n <= 0) {
            code = n < 0 ? err::kStreamRead : 0;
            break;
        }
    }
    wave.Close();
    return code;
}

// The operations, each writing into `out` (a folder of its own).
int32_t AudioExtractAll(const std::string& path, const std::string& out) {
    OpContext ctx;
    AudioExtractJob job;
    job.source = path;
    job.output = out + "/extract.wav";
    job.end = AudioTime::FromMs(int64_t{100} * 3600 * 1000);
    return RunAudioExtract(job, ctx).code;
}

int32_t AviExtractAll(const std::string& path, const std::string& out) {
    OpContext ctx;
    AviExtractJob job;
    job.source = path;
    job.output = out + "/extract.avi";
    job.end = AviTime::FromMs(int64_t{100} * 3600 * 1000);
    return RunAviExtract(job, ctx).code;
}

int32_t AviLinkTwice(const std::string& path, const std::string& out) {
    OpContext ctx;
    AviLinkJob job;
    job.sources = {path, path};
    job.output = out + "/link.avi";
    return RunAviLink(job, ctx).code;
}

int32_t AudioLinkTwice(const std::string& path, const std::string& out) {
    OpContext ctx;
    AudioLinkJob job;
    job.sources = {path, path};
    job.output = out + "/link.wav";
    return RunAudioLink(job, ctx).code;
}

int32_t Separate(const std::string& path, const std::string& out, SeparateKind kind) {
    OpContext ctx;
    AviSeparateJob job;
    job.source = path;
    job.kind = kind;
    job.output = out + (kind == SeparateKind::Video ? "/video.avi" : "/audio.wav");
    return RunAviSeparate(job, ctx).code;
}

int32_t UniteWithItself(const std::string& path, const std::string& out) {
    OpContext ctx;
    AviUniteJob job;
    job.videoSource = path;
    job.audioSource = path;
    job.output = out + "/unite.avi";
    return RunAviUnite(job, ctx).code;
}

struct Runner {
    const char* name;
    std::function<int32_t(const std::string& source, const std::string& out)> run;
};

// The WMV reader wrapper over every sample, and a copy through both wrappers.
int32_t ReadAsf(const std::string& path) {
    CDecCompWMV dec;
    int32_t rc = dec.Open(path, 0, 0);
    return rc != 0 ? rc : dec.Run();
}

int32_t CopyAsf(const std::string& path, const std::string& out) {
    CDecCompWMV dec;
    CEncCompWMV enc;
    int32_t rc = dec.Open(path, 0, 0);
    if (rc == 0) {
        rc = enc.OpenOutput(out + "/copy.wmv", *dec.GetProfile());
    }
    dec.SetSampleHandler([&enc](uint16_t n, uint64_t t, uint64_t d, uint32_t f, const wm::SampleBuffer& b,
                                void*, void*) { return static_cast<int>(enc.WriteSample(n, t, d, f, b)); },
                         nullptr);
    rc = rc == 0 ? dec.TransferHeaderData(enc.GetHeader()) : rc;
    rc = rc == 0 ? enc.BeginWriting() : rc;
    rc = rc == 0 ? dec.Run() : rc;
    enc.EndWriting();
    return rc;
}

// The movie reader, and a link of a movie with itself (both copies flattened
// into one output).
int32_t ReadMovie(const std::string& path) {
    mov::Movie movie;
    return static_cast<int32_t>(mov::ReadMovieFile(path, movie, DiskFileOpener()));
}

int32_t MovLinkTwice(const std::string& path, const std::string& out) {
    OpContext ctx;
    MovLinkJob job;
    job.sources = {path, path};
    job.output = out + "/link.mov";
    return RunMovLink(job, ctx).code;
}

const std::vector<Runner>& Runners() {
    static const std::vector<Runner> runners = {
        {"AviFile", [](const std::string& p, const std::string&) { return ReadAllSamples(p); }},
        {"CDecAVI", [](const std::string& p, const std::string&) { return ReadAllFrames(p); }},
        {"CDecAVIAudio",
         [](const std::string& p, const std::string&) { return ReadAllAudio<CDecAVIAudio>(p); }},
        {"CDecWAV",
         [](const std::string& p, const std::string&) { return ReadAllAudio<CDecWAV>(p); }},
        {"CWaveFileACM", [](const std::string& p, const std::string&) { return ReadDecoded(p); }},
        {"AudioExtract", AudioExtractAll},
        {"AviExtract", AviExtractAll},
        {"AviLink", AviLinkTwice},
        {"AudioLink", AudioLinkTwice},
        {"SeparateVideo", [](const std::string& p,
                             const std::string& o) { return Separate(p, o, SeparateKind::Video); }},
        {"SeparateAudio", [](const std::string& p,
                             const std::string& o) { return Separate(p, o, SeparateKind::Audio); }},
        {"AviUnite", UniteWithItself},
        {"CDecCompWMV", [](const std::string& p, const std::string&) { return ReadAsf(p); }},
        {"WmvCopy", CopyAsf},
        {"MovieReader", [](const std::string& p, const std::string&) { return ReadMovie(p); }},
        {"MovLink", MovLinkTwice},
    };
    return runners;
}

// ---- measuring -------------------------------------------------------------

// Whether a call ended with success or one of the program's own codes.
bool CleanCode(int32_t code) {
    if (code == 0) {
        return true;
    }
    for (size_t i = 0; i < ErrorTableSize(); ++i) {
        if (ErrorTable()[i].code == code) {
            return true;
        }
    }
    // The movie layer answers with the movie result codes.
    return mov::QtErrorName(code) != mov::kUnknownErrorName;
}

struct Measured {
    int32_t code = 0;
    test::HeapUse use;
};

Measured Measure(const Runner& runner, const std::string& source) {
    const std::string out = test::ScratchDir();
    // Once to warm up what a library sets up on first use, then measured.
    runner.run(source, out);
    test::HeapCounter counter;
    counter.Begin();
    Measured m;
    m.code = runner.run(source, out);
    m.use = counter.End();
    fs::remove_all(out);
    return m;
}

std::string WriteSource(const std::string& name, const Bytes& bytes, CraftedBase base) {
    const std::string path =
        test::ScratchDir() + "/" + name +
        (base == CraftedBase::Avi   ? ".avi"
         : base == CraftedBase::Wav ? ".wav"
         : base == CraftedBase::Asf ? ".wmv"
                                    : ".mov");
    test::WriteBytes(path, bytes);
    return path;
}

class ResourceLimit : public ::testing::TestWithParam<CraftedCase> {};

TEST_P(ResourceLimit, HeapStaysWithinTheFileSize) {
    // Where a sanitizer owns the allocator the calls still run on every
    // source (the sanitizer checks their memory accesses); only the heap is
    // not counted.
    const bool counting = test::HeapCounter::Active();
    const CraftedCase& c = GetParam();
    const Bytes crafted = c.build();
    const std::string source = WriteSource(c.name, crafted, c.base);
    const std::string base =
        WriteSource("base",
                    c.base == CraftedBase::Avi   ? test::BaseAvi()
                    : c.base == CraftedBase::Wav ? test::BaseWav()
                    : c.base == CraftedBase::Asf ? test::crafted::SmallValidFile()
                                                 : mov::test::BuildMovie({}),
                    c.base);
    const int64_t file = static_cast<int64_t>(crafted.size());
    for (const Runner& r : Runners()) {
        const Measured baseline = Measure(r, base);
        const Measured m = Measure(r, source);
        const int64_t limit = baseline.use.peakGrowth + kFileMultiple * file + kFixedAllowance;
        EXPECT_TRUE(CleanCode(m.code)) << r.name << ": code " << m.code;
        if (!counting) {
            continue;
        }
        EXPECT_LE(m.use.peakGrowth, limit)
            << r.name << ": peak heap growth " << m.use.peakGrowth << " bytes (baseline "
            << baseline.use.peakGrowth << ", file " << file << ", code " << m.code << ")";
        EXPECT_LE(static_cast<int64_t>(m.use.largestRequest), limit)
            << r.name << ": largest request " << m.use.largestRequest << " bytes (code " << m.code
            << ")";
        std::printf("%-14s code %5d  peak %9lld (baseline %9lld)  largest %10llu  file %lld\n",
                    r.name, m.code, static_cast<long long>(m.use.peakGrowth),
                    static_cast<long long>(baseline.use.peakGrowth),
                    static_cast<unsigned long long>(m.use.largestRequest),
                    static_cast<long long>(file));
    }
}

INSTANTIATE_TEST_SUITE_P(Crafted, ResourceLimit, ::testing::ValuesIn(test::CraftedCases()),
                         [](const ::testing::TestParamInfo<CraftedCase>& info) {
                             return std::string(info.param.name);
                         });

// An audio chunk of 3 GiB (a sparse file, no disk space taken) in a stream
// of 1.25 GiB samples: a chunk that large is indexed in pieces of whole
// samples, and a sample larger than the usual piece still makes pieces that
// move on.
TEST(ResourceLimitLarge, ChunkOfSamplesOverOneGiBIsIndexedInFewPieces) {
    constexpr uint32_t kSample = 0x50000000u;
    constexpr uint32_t kChunk = 0xC0000000u;
    // MPEG audio: a format without blocks of its own, so the header's sample
    // size stands (PCM would be counted in its 4-byte blocks).
    AviTestStream audio = test::AudioStream(0x55);
    audio.sampleSize = kSample;
    Bytes b = test::BuildTestAvi({audio}, {{0, test::Pattern(16, 1), true}}, AviTestIndex::None);
    // The RIFF and the movi list reach to the end of the file; the chunk
    // claims 3 GiB, and the file is made that long.
    test::Put32(b, 4, 0);
    test::Put32(b, test::FindId(b, "movi") - 4, 0);
    const size_t chunk = test::FindId(b, "00wb");
    test::Put32(b, chunk + 4, kChunk);
    b.resize(chunk + 8);
    const std::string path = test::ScratchDir() + "/large-samples.avi";
    test::WriteBytes(path, b);
    fs::resize_file(path, chunk + 8 + uint64_t{kChunk});

    test::HeapCounter counter;
    counter.Begin();
    int32_t code = -1;
    std::shared_ptr<AviFile> file = AviFile::Open(path, &code);
    const test::HeapUse use = counter.End();
    ASSERT_TRUE(file) << code;
    const AviStream& s = file->Stream(0);
    EXPECT_EQ(s.ChunkCount(), 3);
    EXPECT_EQ(s.TotalBytes(), uint64_t{kChunk});
    EXPECT_EQ(s.Length(), 2);  // whole samples
    if (test::HeapCounter::Active()) {
        EXPECT_LE(use.peakGrowth, kFixedAllowance);
    }
    file.reset();
    fs::remove(path);
}

// Sound whose tables list one sample per frame (PCM above 65,535 Hz, in a
// version 2 description) is held as runs of frames: ten seconds of 96 kHz
// mono take far less than a byte of heap per frame to open (a list of all
// its frames would take 32 bytes each, hours of it gigabytes).
TEST(ResourceLimitLarge, PcmOfOneTableSamplePerFrameOpensAsRuns) {
    const std::string path = test::MakeMedia(
        "pcm96k-10s", "-f lavfi -i sine=sample_rate=96000:duration=10 -ac 1 -c:a pcm_s16le", "mov");
    constexpr uint64_t kFrames = 960000;
    mov::Movie warm;
    ASSERT_EQ(mov::ReadMovieFile(path, warm, DiskFileOpener()), mov::kNoErr);

    test::HeapCounter counter;
    counter.Begin();
    mov::Movie movie;
    const mov::MovResult rc = mov::ReadMovieFile(path, movie, DiskFileOpener());
    const test::HeapUse use = counter.End();
    ASSERT_EQ(rc, mov::kNoErr);
    ASSERT_EQ(movie.tracks.size(), 1u);
    uint64_t frames = 0;
    for (const mov::Sample& s : movie.tracks[0].samples) {
        frames += s.count;
    }
    EXPECT_EQ(frames, kFrames);
    EXPECT_EQ(movie.tracks[0].MediaDuration(), kFrames);
    if (test::HeapCounter::Active()) {
        EXPECT_LT(use.peakGrowth, static_cast<int64_t>(kFrames / 4))
            << static_cast<double>(use.peakGrowth) / kFrames << " bytes per frame";
    }
}

}  // namespace
}  // namespace trelvan
