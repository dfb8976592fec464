#include <gtest/gtest.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "AudioExtract.h"
#include "AudioLink.h"
#include "AviExtract.h"
#include "AviLink.h"
#include "AviSeparate.h"
#include "AviUnite.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Fixtures.h"
#include "IoFile.h"
#include "MovLink.h"
#include "MovOperations.h"
#include "MovResult.h"
#include "Probe.h"
#include "SaveRunTestUtil.h"
#include "WmvOperations.h"

// Every operation under stress: a disk that fills up at a chosen offset, a
// source that stops being readable in the middle of the work, and a stop
// after any unit of work. Each run has to end with the operation's own code
// and leave every source as it was. A failed run leaves the file that was at
// its output before as it was, and nothing of its own; a stopped one leaves
// its output closed and readable by an independent reader, with headers that
// agree with the contents and streams that are a prefix of what an
// undisturbed run writes (the MOV link: no output at all).
namespace trelvan {
namespace {

namespace fs = std::filesystem;

// Sources: large raw frames (copied file to file without passing through
// the program), small MPEG-4 frames with B-frames (read through buffers), and
// a WAV file, all with 16-bit PCM audio. Each output is larger than the
// writers' buffers, so a full disk meets some of it on the disk.
std::string RawAvi() {
    return test::MakeMedia(
        "fault-raw",
        "-f lavfi -i testsrc=d=2:s=160x120:r=10 -f lavfi -i sine=f=300:d=2:r=48000 "
        "-c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 2 -f avi",
        "avi");
}
std::string Mpeg4Avi() {
    return test::MakeMedia(
        "fault-mpeg4",
        "-f lavfi -i testsrc=d=3:s=480x360:r=25 -f lavfi -i sine=f=500:d=3:r=8000 "
        "-c:v mpeg4 -bf 2 -g 5 -q:v 2 -c:a pcm_s16le -f avi",
        "avi");
}
// Audio written in blocks of up to a megabyte needs more than one.
std::string LongAudioAvi() {
    return test::MakeMedia("fault-long-audio",
                           "-f lavfi -i testsrc=d=7:s=64x48:r=5 -f lavfi -i sine=f=300:d=7:r=48000 "
                           "-c:v mjpeg -c:a pcm_s16le -ac 2 -f avi",
                           "avi");
}
std::string Wav() {
    return test::MakeMedia("fault-wav", "-f lavfi -i sine=f=700:d=3:r=48000 -ac 2 -c:a pcm_s16le",
                           "wav");
}
// Windows Media: noisy video, so that the outputs outgrow the ASF writer's
// buffer (a megabyte) and a full disk meets some of them on the disk, and
// audio alone, long enough for the same.
std::string NoisyWmv() {
    return test::MakeMedia(
        "fault-wmv",
        "-f lavfi -i testsrc2=d=3:s=320x240:r=10 -f lavfi -i sine=f=300:d=3:r=44100 "
        "-vf noise=alls=60:allf=t -c:v wmv2 -q:v 6 -g 5 -c:a wmav2 -b:a 64k",
        "wmv");
}
std::string LongWma() {
    return test::MakeMedia("fault-wma",
                           "-f lavfi -i sine=f=300:d=60:r=44100 -ac 2 -c:a wmav2 -b:a 192k", "wma");
}
std::string Movie() {
    return test::MakeMedia(
        "fault-mov",
        "-f lavfi -i testsrc=d=1:s=160x120:r=25 -f lavfi -i sine=f=330:d=1:r=22050 "
        "-c:v mpeg4 -g 10 -c:a pcm_s16le",
        "mov");
}

struct Outcome {
    int32_t code = 0;
    bool started = false;
    std::string message;  // the MOV link's own message
    bool Failed() const { return code != 0 || !message.empty(); }
};
using Runner = std::function<Outcome(OpContext&, const std::string& out,
                                     const std::function<void()>& onBegin)>;
using Sources = std::vector<std::string>;

// The codes an operation ends with, by what went wrong.
struct Codes {
    int32_t write;   // a refused write
    int32_t read;    // a source that cannot be read
    int32_t stop;    // a stop
    int32_t create;  // an output that cannot be created (or take its header)
    // A source that cannot be opened once the work has begun (nothing is
    // written then); the read code where the sources are opened before.
    int32_t open;
};
// The audio operations, the save-based ones (separate, unite), and link and
// extract.
constexpr Codes kAudioCodes{err::kOutput, err::kStreamRead, err::kOk, err::kFileDoesNotOpen,
                            err::kStreamRead};
constexpr Codes kSaveCodes{err::kSaveFailed, err::kSaveFailed, err::kSaveFailed,
                           err::kOutputCannotBeMade, err::kSaveFailed};
constexpr Codes kAviCodes{err::kStreamWrite, err::kStreamRead, err::kOk, err::kSaveCreate,
                          err::kStreamRead};
// The WMV operations: a refused write or read ends the reader's run; an
// output that cannot take its header fails the preparation (separate,
// unite) or the beginning of writing (link, extract).
constexpr Codes kWmvCodes{err::kWmvProcess, err::kWmvProcess, err::kOk, err::kWmvEncInit,
                          err::kWmvOpen};
constexpr Codes kWmvPreparedCodes{err::kWmvProcess, err::kWmvProcess, err::kOk, err::kWmvInfoSet,
                                  err::kWmvOpen};
// The MOV link fails with the movie layer's result behind its message.
constexpr int32_t kAnyFailure = INT32_MIN;
constexpr Codes kMovCodes{kAnyFailure, kAnyFailure, err::kOk, kAnyFailure, kAnyFailure};
// The other movie operations give the layer's code; a stop is one too.
constexpr Codes kMovOpCodes{kAnyFailure, kAnyFailure, mov::kProgressProcAborted, kAnyFailure,
                            kAnyFailure};

void ExpectCode(const Outcome& o, int32_t code, const std::string& what) {
    if (code == kAnyFailure) {
        EXPECT_TRUE(o.Failed()) << what;
    } else {
        EXPECT_EQ(o.code, code) << what << " " << o.message;
    }
}

// One operation as the tests drive it.
struct Operation {
    const char* name;
    const char* ext;  // of the output
    Sources (*sources)();
    Runner (*runner)(const Sources&);
    Codes codes;
    // A stop while video is copied leaves the output without audio.
    bool stopInVideoDropsAudio = false;
    // The operation works on reader threads and never pumps: its units are
    // the reads of its sources.
    bool unitsAreReads = false;
    // A failed or stopped run leaves no output.
    bool failureLeavesNothing = false;
};

void PrintTo(const Operation& op, std::ostream* os) {
    *os << op.name;
}

Runner AudioExtractRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        AudioExtractJob job;
        job.source = s[0];
        job.output = out;
        job.end = AudioTime::FromMs(2000);
        job.blockBytes = 3000;
        const AudioExtractResult r = RunAudioExtract(job, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner AudioLinkRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        AudioLinkJob job;
        job.sources = s;
        job.output = out;
        job.blockBytes = 5000;
        const AudioLinkResult r = RunAudioLink(job, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

template <SeparateKind kind>
Runner SeparateRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const AviSaveRunResult r = RunAviSeparate({s[0], out, kind}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner UniteRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const AviSaveRunResult r = RunAviUnite({s[0], s[1], out}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner LinkRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        AviLinkJob job;
        job.sources = s;
        job.output = out;
        const AviLinkResult r = RunAviLink(job, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

template <int64_t startMs, int64_t endMs>
Runner ExtractRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        AviExtractJob job;
        job.source = s[0];
        job.output = out;
        job.start = AviTime::FromMs(startMs);
        job.end = AviTime::FromMs(endMs);
        const AviExtractResult r = RunAviExtract(job, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

template <WmvStreamKind kind>
Runner WmvSeparateRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const WmvOpResult r = RunWmvSeparate({s[0], out, kind}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner WmvUniteRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const WmvOpResult r = RunWmvUnite({s[0], s[1], out}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner WmvLinkRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const WmvOpResult r = RunWmvLink({s, out}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner WmvExtractRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const WmvOpResult r = RunWmvExtract({s[0], out, 5000000, 25000000}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner MovLinkRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const MovLinkResult r = RunMovLink({s, out}, ctx, b);
        return Outcome{r.code, r.started, r.message};
    };
}

template <MovTrackKind kKind>
Runner MovSeparateRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const MovOpResult r = RunMovSeparate({s[0], out, kKind}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner MovUniteRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const MovOpResult r = RunMovUnite({s[0], s[1], out}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

Runner MovExtractRunner(const Sources& s) {
    return [s](OpContext& ctx, const std::string& out, const std::function<void()>& b) {
        const MovOpResult r = RunMovExtract({s[0], out, 2000000, 8000000}, ctx, b);
        return Outcome{r.code, r.started, {}};
    };
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> ops = {
        {"AudioExtract", "wav", [] { return Sources{Wav()}; }, AudioExtractRunner, kAudioCodes},
        {"AudioLink", "wav",
         [] {
             return Sources{Wav(), RawAvi(), Wav()};
         },
         AudioLinkRunner, kAudioCodes},
        {"SeparateVideo", "avi", [] { return Sources{RawAvi()}; },
         SeparateRunner<SeparateKind::Video>, kSaveCodes},
        {"SeparateAudio", "wav", [] { return Sources{LongAudioAvi()}; },
         SeparateRunner<SeparateKind::Audio>, kSaveCodes},
        {"Unite", "avi",
         [] {
             return Sources{Mpeg4Avi(), Wav()};
         },
         UniteRunner, kSaveCodes},
        {"LinkLargeFrames", "avi",
         [] {
             return Sources{RawAvi(), RawAvi()};
         },
         LinkRunner, kAviCodes},
        {"LinkSmallFrames", "avi",
         [] {
             return Sources{Mpeg4Avi(), Mpeg4Avi()};
         },
         LinkRunner, kAviCodes},
        {"ExtractLargeFrames", "avi", [] { return Sources{RawAvi()}; }, ExtractRunner<0, 10000>,
         kAviCodes, true},
        {"ExtractSmallFrames", "avi", [] { return Sources{Mpeg4Avi()}; }, ExtractRunner<300, 1700>,
         kAviCodes, true},
        {"WmvSeparateVideo", "wmv", [] { return Sources{NoisyWmv()}; },
         WmvSeparateRunner<WmvStreamKind::Video>, kWmvPreparedCodes, false, true},
        {"WmvSeparateAudio", "wma", [] { return Sources{LongWma()}; },
         WmvSeparateRunner<WmvStreamKind::Audio>, kWmvPreparedCodes, false, true},
        {"WmvUnite", "wmv",
         [] {
             return Sources{NoisyWmv(), LongWma()};
         },
         WmvUniteRunner, kWmvPreparedCodes, false, true},
        {"WmvLink", "wmv",
         [] {
             return Sources{NoisyWmv(), NoisyWmv()};
         },
         WmvLinkRunner, kWmvCodes, false, true},
        {"WmvExtract", "wmv", [] { return Sources{NoisyWmv()}; }, WmvExtractRunner, kWmvCodes,
         false, true},
        // It pumps before each later movie.
        {"MovLink", "mov",
         [] {
             return Sources{Movie(), Movie(), Movie(), Movie()};
         },
         MovLinkRunner, kMovCodes, false, false, true},
        {"MovSeparateVideo", "mov", [] { return Sources{Movie()}; },
         MovSeparateRunner<MovTrackKind::Video>, kMovOpCodes, false, false, true},
        {"MovSeparateSound", "mov", [] { return Sources{Movie()}; },
         MovSeparateRunner<MovTrackKind::Sound>, kMovOpCodes, false, false, true},
        {"MovUnite", "mov",
         [] {
             return Sources{Movie(), Movie()};
         },
         MovUniteRunner, kMovOpCodes, false, false, true},
        {"MovExtract", "mov", [] { return Sources{Movie()}; }, MovExtractRunner, kMovOpCodes, false,
         false, true},
    };
    return ops;
}

// Paths the process has open, from its descriptor table.
std::vector<std::string> OpenPaths() {
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator("/proc/self/fd")) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(e.path().c_str(), target, sizeof target - 1);
        if (n > 0) {
            paths.emplace_back(target, static_cast<size_t>(n));
        }
    }
    return paths;
}

// What an independent reader finds in one output: every stream's packets and
// what the headers say of them.
struct Probed {
    std::vector<test::ProbedPacket> video;
    std::vector<uint8_t> audio;  // all audio bytes, in order
    int audioStreams = 0;
    int videoStreams = 0;
};

// The length a stream header gives, as ffprobe reports it ("0" where it
// prints N/A for an empty stream).
std::string StreamLength(const std::string& path, const std::string& stream) {
    const auto fields = test::ProbeStream(path, stream, {"nb_frames"});
    const auto it = fields.find("nb_frames");
    if (it == fields.end()) {
        return "";
    }
    return it->second == "N/A" ? "0" : it->second;
}

// An ASF file's header against its data: the file properties give the
// file's size and the data object's packet count, and the data object is
// that many packets of the fixed size.
void CheckAsfHeader(const std::vector<uint8_t>& b, const std::string& what) {
    static const uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    static const uint8_t kData[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    const uint64_t headerSize = b.size() >= 24 ? bytes::GetLE64(b.data() + 16) : 0;
    ASSERT_LE(headerSize + 50, b.size()) << what << ": no data object";
    const auto props = std::search(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(headerSize),
                                   std::begin(kFileProperties), std::end(kFileProperties));
    ASSERT_LE(props - b.begin() + 104, static_cast<std::ptrdiff_t>(headerSize)) << what;
    const uint8_t* fp = &*props;
    const uint8_t* data = b.data() + headerSize;
    ASSERT_TRUE(std::equal(std::begin(kData), std::end(kData), data)) << what;
    const uint64_t packets = bytes::GetLE64(fp + 56);
    const uint32_t packetSize = bytes::GetLE32(fp + 92);
    EXPECT_EQ(bytes::GetLE64(fp + 40), b.size()) << what << ": file size";
    EXPECT_EQ(bytes::GetLE64(data + 40), packets) << what << ": data packets";
    EXPECT_EQ(bytes::GetLE64(data + 16), 50 + packets * packetSize) << what << ": data size";
    EXPECT_LE(headerSize + 50 + packets * packetSize, b.size()) << what << ": data size";
}

// Probes `path` and checks that its headers agree with its contents: for
// an AVI file the main header's frame count and the video stream's length
// are the number of video samples, the audio stream's length is its bytes
// in samples; for a WAV file the RIFF and data sizes are the file's; for
// an ASF file see CheckAsfHeader.
Probed ProbeAndCheckHeaders(const std::string& path, const std::string& what) {
    Probed p;
    p.videoStreams = test::ProbeStreamCount(path, 'v');
    p.audioStreams = test::ProbeStreamCount(path, 'a');
    const std::vector<uint8_t> bytes = test::ReadBytes(path);
    EXPECT_GE(bytes.size(), 12u) << what;
    if (bytes.size() < 12) {
        return p;
    }
    const bool avi = std::memcmp(bytes.data() + 8, "AVI ", 4) == 0;
    if (bytes[0] == 0x30 && bytes[1] == 0x26) {  // the ASF header object's GUID
        CheckAsfHeader(bytes, what);
    }
    if (p.videoStreams > 0) {
        p.video = test::ProbePackets(path, "v:0");
    }
    if (p.videoStreams > 0 && avi) {
        EXPECT_EQ(StreamLength(path, "v:0"), std::to_string(p.video.size()))
            << what << ": video stream length";
        // avih follows "RIFF size AVI LIST size hdrl": its total frames at 48.
        EXPECT_GE(bytes.size(), 52u) << what;
        if (bytes.size() >= 52) {
            EXPECT_EQ(bytes::GetLE32(bytes.data() + 48), p.video.size())
                << what << ": total frames";
        }
    }
    if (p.audioStreams > 0) {
        p.audio = test::Concat(test::ProbePackets(path, "a:0"));
        if (avi) {
            const auto a = test::ProbeStream(path, "a:0", {"channels", "bits_per_sample"});
            const size_t block =
                a.count("channels") && a.count("bits_per_sample")
                    ? std::stoul(a.at("channels")) * std::stoul(a.at("bits_per_sample")) / 8
                    : 0;
            EXPECT_GT(block, 0u) << what;
            EXPECT_EQ(StreamLength(path, "a:0"),
                      std::to_string(p.audio.size() / std::max<size_t>(block, 1)))
                << what << ": audio stream length";
        }
    }
    if (std::memcmp(bytes.data() + 8, "WAVE", 4) == 0) {
        const uint32_t riff = bytes::GetLE32(bytes.data() + 4);
        EXPECT_EQ(uint64_t{riff} + 8, bytes.size()) << what << ": RIFF size";
        // The chunks after the RIFF header, to the data chunk.
        size_t data = 12;
        while (data + 8 <= bytes.size() && std::memcmp(bytes.data() + data, "data", 4) != 0) {
            const uint32_t size = bytes::GetLE32(bytes.data() + data + 4);
            data += 8 + uint64_t{size} + (size & 1);
        }
        EXPECT_LE(data + 8, bytes.size()) << what << ": no data chunk";
        if (data + 8 > bytes.size()) {
            return p;
        }
        const uint32_t dataSize = bytes::GetLE32(bytes.data() + data + 4);
        // Whole chunks the source said about itself may follow the data.
        size_t end = data + 8 + dataSize + (dataSize & 1);
        while (end + 8 <= bytes.size() && (std::memcmp(bytes.data() + end, "LIST", 4) == 0 ||
                                           std::memcmp(bytes.data() + end, "bext", 4) == 0)) {
            const uint32_t size = bytes::GetLE32(bytes.data() + end + 4);
            end += 8 + uint64_t{size} + (size & 1);
        }
        EXPECT_EQ(end, bytes.size()) << what << ": data size";
        EXPECT_EQ(dataSize, p.audio.size()) << what << ": data size";
    }
    return p;
}

template <typename T>
bool IsPrefix(const std::vector<T>& part, const std::vector<T>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

bool SamePacket(const test::ProbedPacket& a, const test::ProbedPacket& b) {
    return a.data == b.data && a.key == b.key;
}

// A file whose reads first ask `before`: false fails the read.
class ReadHookFile : public IoFile {
  public:
    ReadHookFile(std::unique_ptr<IoFile> inner, std::function<bool()> before)
        : m_inner(std::move(inner)), m_before(std::move(before)) {}

    int64_t ReadAt(uint64_t offset, void* buf, size_t n) override {
        return m_before() ? m_inner->ReadAt(offset, buf, n) : -1;
    }
    bool WriteAt(uint64_t, const void*, size_t) override { return false; }
    int64_t Size() override { return m_inner->Size(); }
    bool Truncate(uint64_t) override { return false; }
    bool Close() override { return m_inner->Close(); }

  private:
    std::unique_ptr<IoFile> m_inner;
    std::function<bool()> m_before;
};

// An opener whose files opened for reading go through `before` (called on
// the reading thread: the WMV operations read on threads of their own).
FileOpener HookReads(std::function<bool()> before) {
    return [before](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto inner = DiskFileOpener()(path, mode);
        if (!inner || mode != OpenMode::Read) {
            return inner;
        }
        return std::make_unique<ReadHookFile>(std::move(inner), before);
    };
}

class OperationFaultTest : public ::testing::TestWithParam<Operation> {
  protected:
    void SetUp() override {
        dir = test::ScratchDir();
        sources = GetParam().sources();
        for (const std::string& s : sources) {
            sourceBytes[s] = test::ReadBytes(s);
        }
        run = GetParam().runner(sources);
        // The run as it goes undisturbed, for comparing, counting its units.
        OpContext ctx;
        std::atomic<int> counted{0};
        std::atomic<bool> begun{false};
        ctx.pump = [&] { ++counted; };
        if (GetParam().unitsAreReads) {
            ctx.opener = HookReads([&] {
                counted += begun ? 1 : 0;
                return true;
            });
        }
        const std::string out = Output("whole");
        const Outcome o = run(ctx, out, [&] { begun = true; });
        ASSERT_EQ(o.code, 0) << o.message;
        ASSERT_TRUE(o.started);
        units = counted;
        whole = ProbeAndCheckHeaders(out, "undisturbed");
        wholeSize = fs::file_size(out);
        ASSERT_GT(units, 2);
        ASSERT_TRUE(whole.video.size() > 2 || whole.audio.size() > 2);
    }

    std::string Output(const std::string& stem) const {
        return dir + "/" + stem + "." + GetParam().ext;
    }

    // The output is closed, the sources are untouched, and what was written
    // is a valid file holding a prefix of every stream of the whole run (or,
    // when allowed, an empty file or none: nothing reached the disk).
    Probed ExpectSoundOutput(const std::string& out, const std::string& what, bool mustBeValid,
                             bool emptyAllowed = false) {
        for (const std::string& p : OpenPaths()) {
            EXPECT_NE(p.rfind(dir, 0), 0u) << what << ": still open: " << p;
        }
        for (const auto& [path, bytes] : sourceBytes) {
            EXPECT_EQ(test::ReadBytes(path), bytes) << what << ": source changed: " << path;
        }
        // No hidden temporary file stays behind.
        for (const auto& e : fs::directory_iterator(dir)) {
            EXPECT_NE(e.path().filename().string()[0], '.') << what << ": " << e.path();
        }
        if (!mustBeValid) {
            return {};
        }
        const bool exists = fs::exists(out);
        if (emptyAllowed && (!exists || fs::file_size(out) == 0)) {
            return {};
        }
        EXPECT_TRUE(exists) << what;
        if (!exists) {
            return {};
        }
        const Probed got = ProbeAndCheckHeaders(out, what);
        EXPECT_EQ(got.videoStreams, whole.videoStreams) << what;
        EXPECT_EQ(got.audioStreams, whole.audioStreams) << what;
        EXPECT_TRUE(
            std::equal(got.video.begin(), got.video.end(), whole.video.begin(), SamePacket) &&
            got.video.size() <= whole.video.size())
            << what << ": video is not a prefix (" << got.video.size() << " of "
            << whole.video.size() << ")";
        EXPECT_TRUE(IsPrefix(got.audio, whole.audio))
            << what << ": audio is not a prefix (" << got.audio.size() << " of "
            << whole.audio.size() << " bytes)";
        return got;
    }

    // After a failed run: the file that was at the output before it began
    // (kOld) is still there as it was, and nothing of the run is left.
    void ExpectOldOutputKept(const std::string& out, const std::string& what) {
        ExpectSoundOutput(out, what, false);
        EXPECT_EQ(test::ReadBytes(out), kOld) << what << ": the old output was not kept";
    }
    const std::vector<uint8_t> kOld{'o', 'l', 'd'};

    // After a stopped run: as above, or no output at all where the
    // operation leaves none.
    Probed ExpectCutShortOutput(const std::string& out, const std::string& what,
                                bool emptyAllowed = false) {
        if (!GetParam().failureLeavesNothing) {
            return ExpectSoundOutput(out, what, true, emptyAllowed);
        }
        ExpectSoundOutput(out, what, false);
        EXPECT_FALSE(fs::exists(out)) << what;
        return {};
    }

    std::string dir;
    std::vector<std::string> sources;
    std::map<std::string, std::vector<uint8_t>> sourceBytes;
    Runner run;
    int units = 0;
    Probed whole;
    uint64_t wholeSize = 0;
};

// An opener whose files for writing refuse to grow past `limit` bytes, as
// a full disk does.
FileOpener FullDiskAt(uint64_t limit) {
    return [limit](const std::string& path, OpenMode mode) -> std::unique_ptr<IoFile> {
        auto inner = DiskFileOpener()(path, mode);
        if (!inner || mode == OpenMode::Read) {
            return inner;
        }
        return std::make_unique<FaultyFile>(std::move(inner), limit);
    };
}

TEST_P(OperationFaultTest, FullDiskAtAnyOffset) {
    const Operation& op = GetParam();
    // In the headers, early, in the middle, and one byte short of the end.
    const uint64_t limits[] = {0, 100, 3000, wholeSize / 3, wholeSize / 2, wholeSize - 1};
    for (const uint64_t limit : limits) {
        const std::string what = "disk full at " + std::to_string(limit);
        OpContext ctx;
        ctx.opener = FullDiskAt(limit);
        const std::string out = Output("full");
        test::WriteBytes(out, kOld);
        const Outcome o = run(ctx, out, {});
        // An output that cannot take even its first bytes may be refused
        // as not created.
        if (o.code != op.codes.create) {
            ExpectCode(o, op.codes.write, what);
            EXPECT_EQ(ctx.stop.load(), 1) << what;
        }
        // What was written went beside the output and is gone with the
        // failure; the file that was there before stays.
        ExpectOldOutputKept(out, what);
    }
}

TEST_P(OperationFaultTest, SourceUnreadableMidRun) {
    const Operation& op = GetParam();
    int failedRuns = 0;
    for (const int64_t reads : {0, 1, 3, 10}) {
        const std::string what = "reads fail after " + std::to_string(reads);
        // A disk unplugged in the middle: every read fails once the work has
        // begun and `reads` more were served.
        std::atomic<bool> armed{false};
        std::atomic<int64_t> readsLeft{reads};
        std::atomic<int> failures{0};
        OpContext ctx;
        ctx.opener = HookReads([&] {
            if (armed && readsLeft-- <= 0) {
                ++failures;
                return false;
            }
            return true;
        });
        int asked = 0;
        ctx.ask = [&](const std::string&, const std::string&) {
            ++asked;
            return true;  // discontinue
        };
        const std::string out = Output("unreadable");
        test::WriteBytes(out, kOld);
        const Outcome o = run(ctx, out, [&] { armed = true; });
        ASSERT_TRUE(o.started) << what;
        if (failures == 0) {
            // Everything needed was already read when the reads began to
            // fail: the run is whole.
            EXPECT_EQ(o.code, 0) << what;
            continue;
        }
        // A failed read of an audio block may be asked about (and
        // discontinued) instead of failing the run.
        if (!o.Failed()) {
            EXPECT_GT(asked, 0) << what << ": a failed read went unnoticed";
            ExpectSoundOutput(out, what, true);
        } else if (o.code == op.codes.open && op.codes.open != op.codes.read) {
            // The source could not even be opened: nothing was written.
            EXPECT_EQ(ctx.stop.load(), 1) << what;
            ExpectOldOutputKept(out, what);
        } else {
            ExpectCode(o, op.codes.read, what);
            EXPECT_EQ(ctx.stop.load(), 1) << what;
            ++failedRuns;
            ExpectOldOutputKept(out, what);
        }
    }
    EXPECT_GT(failedRuns, 0) << "no run ever met the failing reads";
}

TEST_P(OperationFaultTest, StopAfterAnyUnit) {
    const Operation& op = GetParam();
    for (const int stopAt : {1, 2, units / 2, units - 1, units}) {
        const std::string what =
            "stop after unit " + std::to_string(stopAt) + " of " + std::to_string(units);
        OpContext ctx;
        std::atomic<int> counted{0};
        std::atomic<bool> begun{false};
        auto count = [&] {
            if (++counted == stopAt) {
                ctx.stop = 1;
            }
        };
        if (op.unitsAreReads) {
            ctx.opener = HookReads([&] {
                if (begun) {
                    count();
                }
                return true;
            });
        } else {
            ctx.pump = count;
        }
        const std::string out = Output("stopped");
        const Outcome o = run(ctx, out, [&] { begun = true; });
        EXPECT_TRUE(o.started) << what;
        EXPECT_EQ(ctx.stop.load(), 1) << what;
        if (stopAt < units) {
            ExpectCode(o, op.codes.stop, what);
        }
        const Probed got = ExpectCutShortOutput(out, what);
        if (!op.unitsAreReads) {
            // Nothing is pumped after the stop was seen.
            EXPECT_LE(counted, stopAt + 1) << what;
        } else if (stopAt <= units / 2 && !op.failureLeavesNothing) {
            // A reader reads ahead a block of packets at a time and may read
            // on for a while after a stop, but no sample read after the stop
            // is written.
            EXPECT_TRUE(got.video.size() < whole.video.size() ||
                        got.audio.size() < whole.audio.size())
                << what << ": the stop went unnoticed";
        }
        if (op.stopInVideoDropsAudio && got.video.size() < whole.video.size()) {
            EXPECT_TRUE(got.audio.empty()) << what << ": audio after a stop in the video";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, OperationFaultTest, ::testing::ValuesIn(Operations()),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace trelvan
