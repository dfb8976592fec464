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
#include "AviTestFile.h"
#include "AviUnite.h"
#include "ByteOrder.h"
#include "CDecAVIAudio.h"
#include "CDecWAV.h"
#include "CWaveFileACM.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "HeapCounter.h"
#include "OpContext.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using test::AviTestChunk;
using test::AviTestIndex;
using test::AviTestStream;

// What a call may use beyond its baseline: this many times the file's size,
// and this much for buffers and library start-up.
constexpr int64_t kFileMultiple = 4;
constexpr int64_t kFixedAllowance = 3 << 20;
// Reads a reader loop makes at most (every crafted file holds fewer samples).
constexpr int64_t kMaxReads = 1 << 21;

// ---- crafted bytes ---------------------------------------------------------

void Put32(Bytes& b, size_t at, uint32_t v) {
    bytes::PutLE32(b.data() + at, v);
}
void Put16(Bytes& b, size_t at, uint16_t v) {
    bytes::PutLE16(b.data() + at, v);
}
void Append32(Bytes& b, uint32_t v) {
    uint8_t t[4];
    bytes::PutLE32(t, v);
    b.insert(b.end(), t, t + 4);
}
void Append64(Bytes& b, uint64_t v) {
    Append32(b, static_cast<uint32_t>(v));
    Append32(b, static_cast<uint32_t>(v >> 32));
}
void AppendId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<uint8_t>(id[i]));
    }
}
void AppendChunk(Bytes& b, const char* id, const Bytes& data) {
    AppendId(b, id);
    Append32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) {
        b.push_back(0);
    }
}

// The n-th occurrence (from 0) of a four-character code.
size_t Find(const Bytes& b, const char* id, int nth = 0) {
    size_t at = test::FindFourCC(b, id);
    for (int i = 0; i < nth && at != SIZE_MAX; ++i) {
        at = test::FindFourCC(b, id, at + 4);
    }
    if (at == SIZE_MAX) {
        ADD_FAILURE() << "no " << id << " in the crafted file";
        return 0;
    }
    return at;
}
// Offset of the n-th chunk's data.
size_t DataOf(const Bytes& b, const char* id, int nth = 0) {
    return Find(b, id, nth) + 8;
}

// A 16x16 picture of 24 bits per pixel, as stored uncompressed.
AviTestStream VideoStream(const std::string& compression = "") {
    AviTestStream v;
    v.type = "vids";
    v.scale = 1;
    v.rate = 25;
    v.format = test::TestBitmapFormat(16, 16, 24, compression);
    return v;
}
// 16-bit stereo PCM at 8000 Hz, samples of 4 bytes.
AviTestStream AudioStream(uint16_t tag = 1, std::vector<uint8_t> extra = {}) {
    AviTestStream a;
    a.type = "auds";
    a.scale = 4;
    a.rate = 32000;
    a.sampleSize = 4;
    a.format = test::TestWaveFormat(tag, 2, 8000, 4, 16, extra);
    return a;
}

// Ten frames, each followed by its audio (a 25th of a second).
std::vector<AviTestChunk> Interleaved(size_t frame_bytes = 768) {
    std::vector<AviTestChunk> chunks;
    for (int i = 0; i < 10; ++i) {
        chunks.push_back({0, test::Pattern(frame_bytes, static_cast<uint8_t>(i)), i % 5 == 0});
        chunks.push_back({1, test::Pattern(1280, static_cast<uint8_t>(100 + i)), true});
    }
    return chunks;
}

Bytes BaseAvi(AviTestIndex index = AviTestIndex::Idx1Relative) {
    return test::BuildTestAvi({VideoStream(), AudioStream()}, Interleaved(), index);
}

// A WAV file: fmt chunk of the given bytes, then `data`.
Bytes Wav(const Bytes& fmt, const Bytes& data, const char* riff = "RIFF") {
    Bytes b;
    AppendId(b, riff);
    Append32(b, 0);
    AppendId(b, "WAVE");
    AppendChunk(b, "fmt ", fmt);
    AppendChunk(b, "data", data);
    Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

Bytes PcmFormat() {
    return test::TestWaveFormat(1, 2, 8000, 4, 16);
}

Bytes BaseWav() {
    return Wav(PcmFormat(), test::Pattern(8000, 3));
}

// Bytes that look like MPEG audio frames (sync words, a layer III header
// of 128 kbit/s at 44.1 kHz) with patterned payload.
Bytes MpegLikeData(size_t frames) {
    Bytes d;
    for (size_t i = 0; i < frames; ++i) {
        const Bytes payload = test::Pattern(413, static_cast<uint8_t>(i));
        d.insert(d.end(), {0xFF, 0xFB, 0x90, 0x64});
        d.insert(d.end(), payload.begin(), payload.end());
    }
    return d;
}

// An AC-3 sync word every 768 bytes.
Bytes Ac3LikeData(size_t frames) {
    Bytes d;
    for (size_t i = 0; i < frames; ++i) {
        Bytes f = test::Pattern(768, static_cast<uint8_t>(i));
        f[0] = 0x0B;
        f[1] = 0x77;
        f[4] = 0x1C;  // 48 kHz, largest frame size code
        d.insert(d.end(), f.begin(), f.end());
    }
    return d;
}

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
    };
    return runners;
}

// ---- the cases ---------------------------------------------------------------

enum class Base { Avi, Wav };

struct Case {
    const char* name;
    Base base;
    std::function<Bytes()> build;
};

// Patches the stream header fields of stream `nth` (0: video, 1: audio).
void PatchStrh(Bytes& b, int nth, size_t field, uint32_t value) {
    Put32(b, DataOf(b, "strh", nth) + field, value);
}
constexpr size_t kStrhInitialFrames = 16, kStrhScale = 20, kStrhRate = 24, kStrhStart = 28,
                 kStrhLength = 32, kStrhBuffer = 36, kStrhSampleSize = 44;

std::vector<AviTestChunk> TinyChunks(size_t n) {
    std::vector<AviTestChunk> chunks;
    chunks.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        chunks.push_back({0, {}, i % 50 == 0});
    }
    return chunks;
}

// `n` header pieces of 20 bytes: a LIST of size 0 (which reaches to the end
// of its parent) of type `type`, whose type then reads as a chunk of 4 bytes
// leading to the next piece. A list walk that takes such a list at its word
// sees every later piece, and the chunks after them, once per list.
Bytes ListsOfSizeZero(const char* type, int n) {
    Bytes b;
    for (int i = 0; i < n; ++i) {
        AppendId(b, "LIST");
        Append32(b, 0);
        AppendId(b, type);
        Append32(b, 4);
        Append32(b, 0);
    }
    return b;
}

// The base AVI with its header list replaced by `hdrl` (the list's bytes
// after its type).
Bytes WithHeaderList(Bytes b, const Bytes& hdrl) {
    const size_t at = Find(b, "hdrl") - 8;
    const size_t end = at + 8 + bytes::GetLE32(b.data() + at + 4);
    Bytes list;
    AppendId(list, "LIST");
    Append32(list, static_cast<uint32_t>(hdrl.size() + 4));
    AppendId(list, "hdrl");
    list.insert(list.end(), hdrl.begin(), hdrl.end());
    b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
            b.begin() + static_cast<std::ptrdiff_t>(end));
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), list.begin(), list.end());
    Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

// The chunk (header and payload) of the n-th occurrence of `id`.
Bytes ChunkBytes(const Bytes& b, const char* id, int nth = 0) {
    const size_t at = Find(b, id, nth);
    const size_t n = 8 + bytes::GetLE32(b.data() + at + 4);
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + n + (n & 1)));
}

const std::vector<Case>& Cases() {
    static const std::vector<Case> cases = {
        // ---- AVI ----
        {"AviMainHeaderCountsAllOnes", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t h = DataOf(b, "avih");
             for (size_t field : {16u, 20u, 24u, 28u, 32u, 36u}) {
                 Put32(b, h + field, 0xFFFFFFFFu);  // frames, initial, streams, buffer, size
             }
             return b;
         }},
        {"AviStreamLengthsAndBuffersAllOnes", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             for (int s = 0; s < 2; ++s) {
                 PatchStrh(b, s, kStrhLength, 0xFFFFFFFFu);
                 PatchStrh(b, s, kStrhBuffer, 0xFFFFFFFFu);
                 PatchStrh(b, s, kStrhInitialFrames, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStreamStartNearLimit", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 0, kStrhStart, 0x7FFFFFF0u);
             PatchStrh(b, 1, kStrhStart, 0xFFFFFFFFu);
             return b;
         }},
        {"AviAudioSampleSizeTwoGiB", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 1, kStrhSampleSize, 0x7FFFFFF0u);
             return b;
         }},
        {"AviAudioSampleSizeAllOnes", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 1, kStrhSampleSize, 0xFFFFFFFFu);
             return b;
         }},
        {"AviAudioSampleSizeAboveChunks", Base::Avi,
         [] {
             // Samples larger than the copy buffers but smaller than the
             // stream: a few of them are really there.
             Bytes b = test::BuildTestAvi({VideoStream(), AudioStream()}, Interleaved(),
                                          AviTestIndex::Idx1Relative);
             PatchStrh(b, 1, kStrhSampleSize, 6400);
             return b;
         }},
        {"AviVideoFormatTwoGiB", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, Find(b, "strf") + 4, 0x7FFFFFF0u);
             return b;
         }},
        {"AviAudioFormatTwoGiB", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, Find(b, "strf", 1) + 4, 0x7FFFFFF0u);
             return b;
         }},
        {"AviPictureHeaderFieldsHuge", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t f = DataOf(b, "strf");
             Put32(b, f, 0xFFFFFFFFu);       // biSize
             Put32(b, f + 4, 0x7FFFFFFFu);   // biWidth
             Put32(b, f + 8, 0x80000001u);   // biHeight (top-down, huge)
             Put16(b, f + 14, 8);            // biBitCount: a palette follows
             Put32(b, f + 20, 0xFFFFFFFFu);  // biSizeImage
             Put32(b, f + 32, 0xFFFFFFFFu);  // biClrUsed
             return b;
         }},
        {"AviAudioFormatExtraSizeMax", Base::Avi,
         [] {
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(0x55, 2, 44100, 1, 0, {}, 0xFFFF);
             return test::BuildTestAvi({VideoStream(), a}, Interleaved(),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviAudioRatesAbsurd", Base::Avi,
         [] {
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(1, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF);
             Put32(a.format, 8, 4000000000u);
             a.scale = 1;
             a.rate = 0xFFFFFFFFu;
             return test::BuildTestAvi({VideoStream(), a}, Interleaved(),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviMp3VariableAbsurd", Base::Avi,
         [] {
             // MPEG audio of variable chunk size; the extra bytes of its
             // format (id, flags, block size, frames per block, delay) all ones.
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(0x55, 2, 44100, 0xFFFF, 0, Bytes(12, 0xFF));
             Put32(a.format, 8, 0);
             a.sampleSize = 0;
             a.scale = 0xFFFFFFFFu;
             a.rate = 1;
             std::vector<AviTestChunk> chunks = Interleaved();
             for (AviTestChunk& c : chunks) {
                 if (c.stream == 1) {
                     c.data = MpegLikeData(3);
                 }
             }
             return test::BuildTestAvi({VideoStream(), a}, chunks, AviTestIndex::Idx1Relative);
         }},
        {"AviIndexSizeFourGiB", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, Find(b, "idx1") + 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviIndexEntrySizesHuge", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t idx = DataOf(b, "idx1");
             const uint32_t n = bytes::GetLE32(b.data() + idx - 4) / 16;
             for (uint32_t i = 0; i < n; ++i) {
                 Put32(b, idx + i * 16 + 12, i % 2 ? 0x7FFFFFFFu : 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviMoviListFourGiB", Base::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, 4, 0xFFFFFFF0u);
             const size_t movi = Find(b, "movi");
             Put32(b, movi - 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviMoviListFourGiBWithoutIndex", Base::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::None);
             Put32(b, Find(b, "movi") - 4, 0xFFFFFFF0u);
             PatchStrh(b, 0, kStrhLength, 0xFFFFFFFFu);
             return b;
         }},
        {"AviSuperIndexCountAllOnes", Base::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             for (int s = 0; s < 2; ++s) {
                 Put32(b, DataOf(b, "indx", s) + 4, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStandardIndexCountAllOnes", Base::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             for (int s = 0; s < 2; ++s) {
                 Put32(b, DataOf(b, s == 0 ? "ix00" : "ix01") + 4, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStandardIndexSizesHuge", Base::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             const size_t ix = DataOf(b, "ix00");
             const uint32_t n = bytes::GetLE32(b.data() + ix + 4);
             for (uint32_t i = 0; i < n; ++i) {
                 Put32(b, ix + 24 + i * 8 + 4, 0x7FFFFFFFu);
             }
             return b;
         }},
        {"AviSuperIndexNamesOneIndexOften", Base::Avi,
         [] {
             AviTestStream v = VideoStream();
             v.superRepeat = 4000;
             return test::BuildTestAvi({v, AudioStream()}, Interleaved(), AviTestIndex::OpenDml);
         }},
        {"AviManyEmptyChunksIndexed", Base::Avi,
         [] {
             return test::BuildTestAvi({VideoStream()}, TinyChunks(60000),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviManyEmptyChunksWithoutIndex", Base::Avi,
         [] {
             Bytes b = test::BuildTestAvi({VideoStream()}, TinyChunks(60000), AviTestIndex::None);
             PatchStrh(b, 0, kStrhLength, 0xFFFFFFFFu);
             return b;
         }},
        {"AviManyContinuationRiffs", Base::Avi,
         [] {
             // Empty OpenDML continuation RIFFs, each with an empty movi list.
             Bytes b = BaseAvi();
             for (int i = 0; i < 30000; ++i) {
                 AppendId(b, "RIFF");
                 Append32(b, 16);
                 AppendId(b, "AVIX");
                 AppendId(b, "LIST");
                 Append32(b, 4);
                 AppendId(b, "movi");
             }
             return b;
         }},
        {"AviMoviGarbageWithoutIndex", Base::Avi,
         [] {
             // A movi list of bytes that hold no chunk header at all: the walk
             // resynchronises byte by byte.
             std::vector<AviTestChunk> chunks = Interleaved();
             chunks.push_back({0, test::Pattern(1 << 20, 0x80), true});
             Bytes b =
                 test::BuildTestAvi({VideoStream(), AudioStream()}, chunks, AviTestIndex::None);
             const size_t garbage = b.size() - (1 << 20);
             Put32(b, garbage - 8, 0x00000000u);  // the chunk header no longer names a stream
             Put32(b, garbage - 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviStreamListsOfSizeZero", Base::Avi,
         [] {
             // Stream lists that each reach to the end of the header list,
             // all holding the one format block of 64 KiB that follows them.
             const Bytes base = BaseAvi();
             Bytes hdrl = ChunkBytes(base, "avih");
             const Bytes lists = ListsOfSizeZero("strl", 300);
             hdrl.insert(hdrl.end(), lists.begin(), lists.end());
             const Bytes strh = ChunkBytes(base, "strh");
             hdrl.insert(hdrl.end(), strh.begin(), strh.end());
             AppendChunk(hdrl, "strf",
                         test::TestBitmapFormat(16, 16, 24, "", test::Pattern(65536, 9)));
             return WithHeaderList(base, hdrl);
         }},
        {"AviStreamListsOfSizeZeroOneSuperIndex", Base::Avi,
         [] {
             // The same with a super index of 4096 entries seen by every list.
             const Bytes base = BaseAvi(AviTestIndex::OpenDml);
             Bytes hdrl = ChunkBytes(base, "avih");
             const Bytes lists = ListsOfSizeZero("strl", 300);
             hdrl.insert(hdrl.end(), lists.begin(), lists.end());
             for (const char* id : {"strh", "strf"}) {
                 const Bytes c = ChunkBytes(base, id);
                 hdrl.insert(hdrl.end(), c.begin(), c.end());
             }
             Bytes indx;
             Append32(indx, 4);  // four longs per entry, an index of indexes
             Append32(indx, 4096);
             AppendId(indx, "00dc");
             Append32(indx, 0);
             Append32(indx, 0);
             Append32(indx, 0);
             const uint32_t ix = static_cast<uint32_t>(Find(base, "ix00"));
             for (int i = 0; i < 4096; ++i) {
                 Append64(indx, ix);
                 Append32(indx, 0);
                 Append32(indx, 0);
             }
             AppendChunk(hdrl, "indx", indx);
             return WithHeaderList(base, hdrl);
         }},
        {"AviMoviListsOfSizeZero", Base::Avi,
         [] {
             // Movi lists that each reach to the end of the file, all holding
             // the 12,800 empty chunks that follow them.
             Bytes b = BaseAvi(AviTestIndex::None);
             b.resize(Find(b, "movi") - 8);
             const Bytes lists = ListsOfSizeZero("movi", 200);
             b.insert(b.end(), lists.begin(), lists.end());
             for (int i = 0; i < 12800; ++i) {
                 AppendChunk(b, "00dc", {});
             }
             Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
             return b;
         }},
        {"AviManyVideoStreamsWithoutIndex", Base::Avi,
         [] {
             // Every stream's header claims 2^32 - 1 frames; the movi list
             // could hold 16,384 chunks in all.
             AviTestStream v = VideoStream();
             v.headerLength = 0xFFFFFFFFu;
             return test::BuildTestAvi(std::vector<AviTestStream>(256, v),
                                       {{0, test::Pattern(128 << 10, 1), true}},
                                       AviTestIndex::None);
         }},
        {"AviManyStreamLists", Base::Avi,
         [] {
             std::vector<AviTestStream> streams(1000, AudioStream());
             streams[0] = VideoStream();
             return test::BuildTestAvi(streams, Interleaved(), AviTestIndex::Idx1Relative);
         }},
        {"AviParsedCodecHugePicture", Base::Avi,
         [] {
             AviTestStream v = VideoStream("H264");
             v.format = test::TestBitmapFormat(0x7FFFFFFF, 0x7FFFFFFF, 24, "H264");
             return test::BuildTestAvi({v, AudioStream()}, Interleaved(), AviTestIndex::None);
         }},
        // ---- WAV ----
        {"WavFormatChunkFourGiB", Base::Wav,
         [] {
             Bytes b = BaseWav();
             Put32(b, Find(b, "fmt ") + 4, 0xFFFFFFF0u);
             return b;
         }},
        {"WavFormatExtraSizeMax", Base::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 16, 0xFFFF);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavDataSizeAllOnes", Base::Wav,
         [] {
             Bytes b = BaseWav();
             Put32(b, 4, 0xFFFFFFFFu);
             Put32(b, Find(b, "data") + 4, 0xFFFFFFFFu);
             return b;
         }},
        {"WavBlockAlignMaxByteRateFourBillion", Base::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 12, 0xFFFF);
             Put32(f, 8, 4000000000u);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavRatesZero", Base::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 12, 0);
             Put32(f, 8, 0);
             Put32(f, 4, 0);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavPcmFieldsAllOnes", Base::Wav,
         [] {
             return Wav(test::TestWaveFormat(1, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF),
                        test::Pattern(8000, 3));
         }},
        {"WavExtensibleCutShort", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0xFFFE, 2, 8000, 4, 16, {}, 22);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"Rf64SizesHuge", Base::Wav,
         [] {
             Bytes b;
             AppendId(b, "RF64");
             Append32(b, 0xFFFFFFFFu);
             AppendId(b, "WAVE");
             Bytes ds64;
             Append64(ds64, uint64_t{1} << 62);  // RIFF size
             Append64(ds64, uint64_t{1} << 62);  // data size
             Append64(ds64, uint64_t{1} << 62);  // sample count
             Append32(ds64, 0xFFFFFFFFu);        // table entries
             AppendChunk(b, "ds64", ds64);
             AppendChunk(b, "fmt ", PcmFormat());
             AppendId(b, "data");
             Append32(b, 0xFFFFFFFFu);
             const Bytes d = test::Pattern(8000, 3);
             b.insert(b.end(), d.begin(), d.end());
             return b;
         }},
        {"Rf64TableChunkFourGiB", Base::Wav,
         [] {
             Bytes b = Wav(PcmFormat(), test::Pattern(8000, 3), "RF64");
             Bytes ds64;
             Append64(ds64, b.size());
             Append64(ds64, 8000);
             Append64(ds64, 2000);
             Append32(ds64, 0xFFFFFFFFu);
             Bytes head(b.begin(), b.begin() + 12);
             AppendId(head, "ds64");
             Append32(head, 0xFFFFFFF0u);
             head.insert(head.end(), ds64.begin(), ds64.end());
             head.insert(head.end(), b.begin() + 12, b.end());
             return head;
         }},
        {"WavMp3Absurd", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x55, 2, 0xFFFFFFFFu, 0xFFFF, 0, Bytes(12, 0xFF));
             Put32(f, 8, 0xFFFFFFFFu);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavMp3ByteRateTiny", Base::Wav,
         [] {
             // 1000 bytes a second at 44.1 kHz: a decoder's output estimated
             // from the byte rate would be 176 times the input.
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0,
                                            {1, 0, 2, 0, 0, 0, 0x20, 0x01, 1, 0, 0x71, 0x05});
             Put32(f, 8, 1000);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavMp3ByteRateForty", Base::Wav,
         [] {
             // 40 bytes a second: just within what a conversion step may be
             // sized to, 4400 times the input.
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0,
                                            {1, 0, 2, 0, 0, 0, 0x20, 0x01, 1, 0, 0x71, 0x05});
             Put32(f, 8, 40);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavAc3ByteRateTiny", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x2000, 6, 48000, 1536, 0);
             Put32(f, 8, 100);
             return Wav(f, Ac3LikeData(10));
         }},
        {"WavMp3BlockOfOneByte", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0, Bytes(12, 0));
             Put32(f, 8, 1);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavAc3Absurd", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x2000, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF);
             Put32(f, 8, 4000000000u);
             return Wav(f, Ac3LikeData(10));
         }},
        {"WavMsAdpcmAbsurd", Base::Wav,
         [] {
             // Blocks of 65535 bytes of 65535 samples, 65535 coefficient
             // pairs announced and two stored.
             Bytes extra;
             extra.insert(extra.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0, 0, 2, 0, 0});
             Bytes f = test::TestWaveFormat(0x0002, 2, 0xFFFFFFFFu, 0xFFFF, 4, extra);
             Put32(f, 8, 4000000000u);
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavMsAdpcmBlocksClaimManySamples", Base::Wav,
         [] {
             // Mono blocks of 7 bytes (room for 2 samples) said to hold 4096.
             Bytes extra;
             for (uint16_t v :
                  {4096, 7, 256, 0, 512, 0xFF00, 0, 0, 192, 64, 240, 0, 460, 0xFF30, 392, 0xFF18}) {
                 extra.push_back(static_cast<uint8_t>(v));
                 extra.push_back(static_cast<uint8_t>(v >> 8));
             }
             Bytes f = test::TestWaveFormat(0x0002, 1, 8000, 7, 4, extra);
             Put32(f, 8, 4096);
             return Wav(f, test::Pattern(7000, 5));
         }},
        {"WavImaAdpcmBlocksClaimManySamples", Base::Wav,
         [] {
             // Mono blocks of 4 bytes (room for 1 sample) said to hold 65535.
             Bytes f = test::TestWaveFormat(0x0011, 1, 8000, 4, 4, {0xFF, 0xFF});
             Put32(f, 8, 4000);
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavImaAdpcmAbsurd", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x0011, 255, 0xFFFFFFFFu, 0xFFFF, 4, {0xFF, 0xFF});
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavImaAdpcmTinyBlocksManyChannels", Base::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x0011, 64, 8000, 256, 4, {0xF9, 0x01});
             return Wav(f, test::Pattern(64000, 5));
         }},
        {"WavManyEmptyChunks", Base::Wav,
         [] {
             Bytes b;
             AppendId(b, "RIFF");
             Append32(b, 0);
             AppendId(b, "WAVE");
             AppendChunk(b, "fmt ", PcmFormat());
             for (int i = 0; i < 60000; ++i) {
                 AppendChunk(b, "junk", {});
             }
             AppendChunk(b, "data", test::Pattern(8000, 3));
             Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
             return b;
         }},
    };
    return cases;
}

// ---- measuring -------------------------------------------------------------

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

std::string WriteSource(const std::string& name, const Bytes& bytes, Base base) {
    const std::string path =
        test::ScratchDir() + "/" + name + (base == Base::Avi ? ".avi" : ".wav");
    test::WriteBytes(path, bytes);
    return path;
}

class ResourceLimit : public ::testing::TestWithParam<Case> {};

TEST_P(ResourceLimit, HeapStaysWithinTheFileSize) {
    ASSERT_TRUE(test::HeapCounter::Active()) << "the allocator's entry points are not counted";
    const Case& c = GetParam();
    const Bytes crafted = c.build();
    const std::string source = WriteSource(c.name, crafted, c.base);
    const std::string base =
        WriteSource("base", c.base == Base::Avi ? BaseAvi() : BaseWav(), c.base);
    const int64_t file = static_cast<int64_t>(crafted.size());
    for (const Runner& r : Runners()) {
        const Measured baseline = Measure(r, base);
        const Measured m = Measure(r, source);
        const int64_t limit = baseline.use.peakGrowth + kFileMultiple * file + kFixedAllowance;
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

INSTANTIATE_TEST_SUITE_P(Crafted, ResourceLimit, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// An audio chunk of 3 GiB (a sparse file, no disk space taken) in a stream
// of 1.25 GiB samples: a chunk that large is indexed in pieces of whole
// samples, and a sample larger than the usual piece still makes pieces that
// move on.
TEST(ResourceLimitLarge, ChunkOfSamplesOverOneGiBIsIndexedInFewPieces) {
    ASSERT_TRUE(test::HeapCounter::Active());
    constexpr uint32_t kSample = 0x50000000u;
    constexpr uint32_t kChunk = 0xC0000000u;
    AviTestStream audio = AudioStream();
    audio.sampleSize = kSample;
    Bytes b = test::BuildTestAvi({audio}, {{0, test::Pattern(16, 1), true}}, AviTestIndex::None);
    // The RIFF and the movi list reach to the end of the file; the chunk
    // claims 3 GiB, and the file is made that long.
    Put32(b, 4, 0);
    Put32(b, Find(b, "movi") - 4, 0);
    const size_t chunk = Find(b, "00wb");
    Put32(b, chunk + 4, kChunk);
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
    EXPECT_LE(use.peakGrowth, kFixedAllowance);
    file.reset();
    fs::remove(path);
}

}  // namespace
}  // namespace trelvan
