#include "AviSave.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "AudioFrameMath.h"
#include "AviStreamCopy.h"
#include "AviWriter.h"
#include "CMMio.h"
#include "MpegFrameCounter.h"
#include "StagedOutput.h"
#include "WaveFormatEx.h"

namespace trelvan {
namespace {

constexpr int64_t kMaxBlockBytes = 1 << 20;     // audio block of a fixed-size stream
constexpr int64_t kMaxChunkBytes = 0x7FFFFF00;  // what a chunk size can describe
constexpr int kChunksPerReport = 16;

bool IsWavName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.size() < 4) {
        return false;
    }
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return ext == ".wav";
}

// Percent of the bytes copied, reported when it changes and every few chunks
// (so that a stop request is seen soon even when one percent takes long).
class Progress {
  public:
    Progress(const AviSaveProgress& cb, uint64_t total) : m_cb(cb), m_total(total) {}

    // False when the callback asks to stop.
    bool Report(uint64_t bytes_done, bool force = false) {
        int32_t pct =
            m_total == 0 ? 0
                         : static_cast<int32_t>(std::min<uint64_t>(bytes_done * 100 / m_total, 99));
        pct = std::max(pct, m_last);
        ++m_chunks;
        if (!force && pct == m_last && m_chunks % kChunksPerReport != 0) {
            return true;
        }
        m_last = pct;
        return !m_cb || m_cb(pct) == 0;
    }
    bool Finish() {
        m_last = 100;
        return !m_cb || m_cb(100) == 0;
    }

  private:
    const AviSaveProgress& m_cb;
    uint64_t m_total;
    int32_t m_last = 0;
    uint64_t m_chunks = 0;
};

// A growing read buffer that fails instead of throwing.
class Buffer {
  public:
    bool Reserve(int64_t n) {
        if (n <= m_size) {
            return true;
        }
        if (n > kMaxChunkBytes) {
            return false;
        }
        m_data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(n)]);
        m_size = m_data ? n : 0;
        return m_data != nullptr;
    }
    uint8_t* Data() { return m_data.get(); }
    int64_t Size() const { return m_size; }

  private:
    std::unique_ptr<uint8_t[]> m_data;
    int64_t m_size = 0;
};

struct Track {
    AviStream* s = nullptr;
    int out = -1;        // stream index in the output
    int64_t pos = 0;     // next sample
    int64_t end = 0;     // one past the last sample
    bool timed = false;  // rate and scale are set
    bool done = false;
    uint32_t scale = 1, rate = 1;
};

// True when a's next sample starts before b's. Streams without timing come
// after all others.
bool Before(const Track& a, const Track& b) {
    if (a.timed != b.timed) {
        return a.timed;
    }
    if (!a.timed) {
        return false;
    }
    using u128 = unsigned __int128;
    const u128 ta = static_cast<u128>(a.pos) * a.scale * b.rate;
    const u128 tb = static_cast<u128>(b.pos) * b.scale * a.rate;
    return ta < tb;
}

// Reads the next piece of a stream: one sample of a stream of variable
// sample size, or for fixed-size samples up to the next step of the
// interleave (one video frame), at most kMaxBlockBytes.
int32_t ReadNext(Track& t, double step_seconds, Buffer& buf, int64_t* bytes, int32_t* samples) {
    *bytes = 0;
    *samples = 0;
    const uint32_t ss = t.s->SampleSize();
    int64_t count = 1;
    if (ss != 0) {
        int64_t want = std::max<int64_t>(1, kMaxBlockBytes / ss);
        if (t.timed && step_seconds > 0) {
            const double now = static_cast<double>(t.pos) * t.scale / t.rate;
            const double next_step = (std::floor(now / step_seconds + 1e-9) + 1) * step_seconds;
            const double until = std::ceil(next_step * t.rate / t.scale - 1e-6);
            if (until > static_cast<double>(t.pos)) {
                want = std::min<int64_t>(want, static_cast<int64_t>(until) - t.pos);
            }
        }
        count = std::max<int64_t>(1, std::min(want, t.end - t.pos));
        if (!buf.Reserve(count * ss)) {
            return kAviErrMemory;
        }
    } else {
        int64_t need = 0;
        int32_t n = 0;
        if (t.s->Read(static_cast<int32_t>(t.pos), kReadConvenient, nullptr, 0, &need, &n) != 0) {
            return kAviErrFileRead;
        }
        if (n <= 0) {
            return 0;  // the end of the stored samples
        }
        if (!buf.Reserve(std::max<int64_t>(need, 1))) {
            return need > kMaxChunkBytes ? kAviErrFileRead : kAviErrMemory;
        }
    }
    const int32_t rc = t.s->Read(static_cast<int32_t>(t.pos), static_cast<int32_t>(count),
                                 buf.Data(), buf.Size(), bytes, samples);
    return rc == 0 ? 0 : kAviErrFileRead;
}

int32_t SaveAvi(const std::string& temp, std::vector<Track>& tracks,
                const AviSaveProgress& callback, const FileOpener& opener,
                const std::vector<RiffChunkBytes>& kept) {
    AviWriter w;
    w.SetDescriptiveChunks(kept);
    if (w.Create(temp, opener) != 0) {
        return kAviErrFileOpen;
    }
    uint64_t total = 0;
    double step = 0.04;  // one frame at 25 frames a second, without a video stream
    bool have_step = false;
    for (Track& t : tracks) {
        AviWriterStreamInfo info = WriterStreamInfo(t.s->Info());
        // The layout is this writer's: no stream is stored ahead of the others
        // (a source's audio skew would no longer describe the file).
        info.dwInitialFrames = 0;
        if (w.AddStream(info, t.s->Format(), &t.out) != 0) {
            w.Close();
            return kAviErrBadFormat;
        }
        total += t.s->TotalBytes();
        if (!have_step && t.s->IsVideo() && t.timed) {
            step = static_cast<double>(t.scale) / t.rate;
            have_step = true;
        }
    }
    w.SetInterleaved(tracks.size() > 1);

    Progress progress(callback, total);
    if (!progress.Report(0, true)) {
        w.Close();
        return kAviErrUserAbort;
    }
    Buffer buf;
    uint64_t done = 0;
    for (;;) {
        Track* next = nullptr;
        for (Track& t : tracks) {
            if (!t.done && (next == nullptr || Before(t, *next))) {
                next = &t;
            }
        }
        if (next == nullptr) {
            break;
        }
        if (next->pos >= next->end) {
            next->done = true;
            continue;
        }
        int64_t bytes = 0;
        int32_t samples = 0;
        int32_t rc = 0;
        const int64_t chunk = next->pos - next->s->Start();
        const bool direct = next->s->IsVideo() && next->s->SampleSize() == 0 && chunk >= 0 &&
                            chunk < next->s->ChunkCount() &&
                            next->s->ChunkSize(chunk) >= kDirectCopyBytes;
        if (direct) {
            // A large stored frame goes from file to file as it lies.
            bytes = next->s->ChunkSize(chunk);
            samples = 1;
            const bool key = next->s->IsKeyFrame(static_cast<int32_t>(next->pos));
            if (w.CopyChunk(next->out, next->s->Io(), next->s->ChunkOffset(chunk),
                            static_cast<uint32_t>(bytes), key) != 0) {
                rc = kAviErrFileWrite;
            }
        } else {
            rc = ReadNext(*next, step, buf, &bytes, &samples);
        }
        if (rc == 0 && samples <= 0) {
            next->done = true;  // fewer samples stored than the header says
            continue;
        }
        if (rc == 0 && !direct) {
            const bool key =
                !next->s->IsVideo() || next->s->IsKeyFrame(static_cast<int32_t>(next->pos));
            if (w.WriteChunk(next->out, buf.Data(), static_cast<uint32_t>(bytes), key) != 0) {
                rc = kAviErrFileWrite;
            }
        }
        if (rc != 0) {
            w.Close();
            return rc;
        }
        next->pos += samples;
        done += static_cast<uint64_t>(bytes);
        if (!progress.Report(done)) {
            w.Close();
            return kAviErrUserAbort;
        }
    }
    if (w.Close() != 0) {
        return kAviErrFileWrite;
    }
    return progress.Finish() ? 0 : kAviErrUserAbort;
}

// The WAV file's format chunk: 16 bytes for PCM, else the record with its
// extra bytes (a 16-byte record of another format gets a zero count).
bool WavFormatChunk(const std::vector<uint8_t>& format, std::vector<uint8_t>* out) {
    WAVEFORMATEX f{};
    if (!ReadWaveFormat(format.data(), format.size(), &f)) {
        return false;
    }
    if (f.wFormatTag == kWaveFormatPcm) {
        out->assign(format.begin(), format.begin() + kPcmWaveFormatSize);
        return true;
    }
    const size_t size = kWaveFormatExSize + f.cbSize;
    if (format.size() >= size) {
        out->assign(format.begin(), format.begin() + static_cast<std::ptrdiff_t>(size));
    } else if (format.size() < kWaveFormatExSize) {
        out->assign(format.begin(), format.end());
        out->resize(kWaveFormatExSize, 0);
    } else {
        return false;  // the record announces extra bytes it does not hold
    }
    return true;
}

// Sample frames per channel in `bytes` bytes of the format, for the fact
// chunk.
uint32_t FactFrames(const std::vector<uint8_t>& format, uint64_t bytes) {
    audio::FrameMath m;
    if (audio::DescribeFormat(format, &m) || audio::DescribeByAverageRate(format, &m)) {
        return static_cast<uint32_t>(
            std::min<uint64_t>(audio::FramesInBytes(m, bytes), UINT32_MAX));
    }
    WAVEFORMATEX f{};
    ReadWaveFormat(format.data(), format.size(), &f);
    return f.nBlockAlign != 0 ? static_cast<uint32_t>(bytes / f.nBlockAlign) : 0;
}

// A WAV file in the stream's own format, written through the RIFF layer of
// the WAV files: "fmt ", "fact", "data". The audio bytes are copied as they
// are stored, whatever the format, so no codec is involved.
int32_t SaveWav(const std::string& temp, Track& t, const std::vector<uint8_t>& format,
                const AviSaveProgress& callback, const FileOpener& opener,
                const std::vector<RiffChunkBytes>& kept) {
    std::vector<uint8_t> fmt;
    if (!WavFormatChunk(format, &fmt)) {
        return kAviErrBadFormat;
    }
    CMMio mmio(opener);
    mmio.SetTrailingChunks(kept);
    if (!mmio.OpenWrite(temp, static_cast<uint32_t>(fmt.size()))) {
        mmio.Close();
        return kAviErrFileOpen;
    }
    if (mmio.Write(fmt.data(), static_cast<int32_t>(fmt.size())) !=
            static_cast<int32_t>(fmt.size()) ||
        !mmio.BeginData(0)) {
        mmio.Close();
        return kAviErrFileWrite;
    }
    Progress progress(callback, t.s->TotalBytes());
    if (!progress.Report(0, true)) {
        mmio.FinishWrite(0);
        mmio.Close();
        return kAviErrUserAbort;
    }
    // MPEG audio is counted from its frame headers (exact also at variable
    // bit rates); other formats from their block or byte arithmetic.
    WAVEFORMATEX f{};
    ReadWaveFormat(fmt.data(), fmt.size(), &f);
    std::unique_ptr<audio::MpegFrameCounter> mpeg;
    if (f.wFormatTag == kWaveFormatMpeg || f.wFormatTag == kWaveFormatMpegLayer3) {
        mpeg = std::make_unique<audio::MpegFrameCounter>(f.nSamplesPerSec);
    }
    Buffer buf;
    uint64_t done = 0;
    int32_t rc = 0;
    while (t.pos < t.end) {
        int64_t bytes = 0;
        int32_t samples = 0;
        rc = ReadNext(t, 0, buf, &bytes, &samples);
        if (rc == 0 && samples <= 0) {
            break;
        }
        if (rc == 0 && bytes > 0 &&
            mmio.Write(buf.Data(), static_cast<int32_t>(bytes)) != static_cast<int32_t>(bytes)) {
            rc = kAviErrFileWrite;
        }
        if (rc != 0) {
            break;
        }
        if (mpeg) {
            mpeg->Feed(buf.Data(), static_cast<size_t>(bytes));
        }
        t.pos += samples;
        done += static_cast<uint64_t>(bytes);
        if (!progress.Report(done)) {
            rc = kAviErrUserAbort;
            break;
        }
    }
    // Whatever was written stays a valid file.
    const uint32_t fact =
        mpeg ? static_cast<uint32_t>(std::min<uint64_t>(mpeg->Samples(), UINT32_MAX))
             : FactFrames(fmt, done);
    const bool finished = mmio.FinishWrite(fact);
    const bool closed = mmio.Close();
    if (rc != 0) {
        return rc;
    }
    if (!finished || !closed) {
        return kAviErrFileWrite;
    }
    return progress.Finish() ? 0 : kAviErrUserAbort;
}

}  // namespace

int32_t SaveStreams(const std::string& output, const std::vector<AviSaveStream>& streams,
                    const AviSaveProgress& progress, std::string* written,
                    const FileOpener& opener, const std::vector<RiffChunkBytes>& kept) {
    if (written != nullptr) {
        written->clear();
    }
    const bool wav = IsWavName(output);
    if (streams.empty() || streams.size() > static_cast<size_t>(AviWriter::kMaxStreams) ||
        (wav && streams.size() != 1)) {
        return kAviErrBadParam;
    }
    std::vector<Track> tracks;
    std::vector<uint8_t> wav_format;
    for (const AviSaveStream& in : streams) {
        if (in.stream == nullptr) {
            return kAviErrBadParam;
        }
        const AviStreamInfo& info = in.stream->Info();
        if (in.options != nullptr) {
            // Samples are copied: no compressor, no other format.
            if (in.stream->IsVideo() && in.options->fccHandler != 0) {
                return kAviErrNoCompressor;
            }
            if (!in.options->format.empty() && in.options->format != in.stream->Format()) {
                return kAviErrBadFormat;
            }
        }
        if (wav) {
            if (!in.stream->IsAudio()) {
                return kAviErrBadFormat;
            }
            wav_format = in.stream->Format();
        }
        Track t;
        t.s = in.stream;
        t.pos = in.stream->Start();
        t.end = t.pos + std::max<int32_t>(in.stream->Length(), 0);
        t.timed = info.dwRate != 0 && info.dwScale != 0;
        t.scale = t.timed ? info.dwScale : 1;
        t.rate = t.timed ? info.dwRate : 1;
        tracks.push_back(t);
    }
    const std::string temp = MakeTemporaryBeside(output);
    if (temp.empty()) {
        return kAviErrFileOpen;
    }
    const int32_t rc = wav ? SaveWav(temp, tracks[0], wav_format, progress, opener, kept)
                           : SaveAvi(temp, tracks, progress, opener, kept);
    if (rc == kAviErrFileOpen || rc == kAviErrBadFormat) {
        ::unlink(temp.c_str());  // nothing was written: no file to hand over
        return rc;
    }
    if (written != nullptr) {
        *written = temp;
    }
    return rc;
}

}  // namespace trelvan
