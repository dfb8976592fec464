#include "MediaSamples.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "AsfReader.h"
#include "Atoms.h"
#include "AviFile.h"
#include "ByteOrder.h"
#include "IoFile.h"
#include "MovieReader.h"

namespace trelvan::verify {
namespace {

using bytes::FourCC;

// Block alignment of a WAVEFORMATEX; 1 when absent or zero, and for
// compressed audio made of frames (MPEG audio, AC-3, DTS, AAC), whose field
// counts something else and which is cut between frames, not in blocks.
uint32_t BlockAlignOf(const std::vector<uint8_t>& wave_format) {
    if (wave_format.size() < 14) {
        return 1;
    }
    switch (bytes::GetLE16(wave_format.data())) {
        case 0x0050: case 0x0055: case 0x00FF: case 0x1610: case 0x2000: case 0x2001:
            return 1;
        default:
            return std::max<uint32_t>(1, bytes::GetLE16(wave_format.data() + 12));
    }
}

// A video chunk is one sample; audio chunks (a WAV file's data is indexed
// in pieces of up to a gigabyte) are handed out in pieces of at most
// kAudioPiece bytes.
class AviCursor : public SampleCursor {
  public:
    static constexpr uint32_t kAudioPiece = 1u << 20;

    AviCursor(std::shared_ptr<AviFile> file, int stream)
        : m_file(std::move(file)), m_stream(m_file->Stream(stream)) {
        // A stream of one frame per chunk is not cut in blocks.
        if (m_stream.IsAudio() && m_stream.SampleSize() != 0) {
            m_blockAlign = BlockAlignOf(m_stream.Format());
        }
        m_piece = m_stream.IsVideo() ? UINT32_MAX : kAudioPiece;
    }
    int Next(MediaSample& out) override {
        uint32_t size = 0;
        if (!Peek(&size, &out.key)) {
            return 0;
        }
        out.data.resize(size);
        if (size > 0 &&
            !m_file->ReadExact(m_stream.ChunkOffset(m_next) + m_within, out.data.data(), size)) {
            m_error = "chunk " + std::to_string(m_next) + " cannot be read";
            return -1;
        }
        Advance(size);
        return 1;
    }
    bool Peek(uint32_t* size, bool* key) const override {
        if (m_next >= m_stream.ChunkCount()) {
            return false;
        }
        *size = std::min(m_stream.ChunkSize(m_next) - m_within, m_piece);
        *key = m_stream.ChunkIsKey(m_next);
        return true;
    }
    int Skip() override {
        uint32_t size = 0;
        bool key = false;
        if (!Peek(&size, &key)) {
            return 0;
        }
        Advance(size);
        return 1;
    }
    int64_t TotalBytes() const override { return static_cast<int64_t>(m_stream.TotalBytes()); }
    double Rate() const override {
        const AviStreamInfo& info = m_stream.Info();
        if (m_stream.IsAudio()) {
            return m_stream.Format().size() >= 12 ? bytes::GetLE32(m_stream.Format().data() + 8) : 0;
        }
        return info.dwScale != 0 ? static_cast<double>(info.dwRate) / info.dwScale : 0;
    }

  private:
    void Advance(uint32_t size) {
        m_within += size;
        if (m_within >= m_stream.ChunkSize(m_next)) {
            ++m_next;
            m_within = 0;
        }
    }

    std::shared_ptr<AviFile> m_file;
    AviStream& m_stream;
    int64_t m_next = 0;
    uint32_t m_within = 0;  // bytes of chunk m_next already handed out
    uint32_t m_piece = 0;
};

class AsfCursor : public SampleCursor {
  public:
    AsfCursor(std::unique_ptr<asf::AsfReader> reader, uint16_t stream)
        : m_reader(std::move(reader)), m_number(stream) {
        if (const asf::StreamInfo* s = m_reader->Header().Stream(stream); s && s->IsAudio()) {
            m_blockAlign = BlockAlignOf(s->typeData);
        }
    }
    int Next(MediaSample& out) override {
        for (;;) {
            const wm::HRESULT r = m_reader->Next(m_sample);
            if (r == wm::hr::kFalse) {
                if (m_reader->BadPackets() != 0) {
                    m_error = std::to_string(m_reader->BadPackets()) +
                              " data packets contradict their own fields";
                    return -1;
                }
                return 0;
            }
            if (r != wm::hr::kOk) {
                m_error = "the data packets stop being readable at packet " +
                          std::to_string(m_sample.packet);
                return -1;
            }
            if (m_sample.stream != m_number) {
                continue;
            }
            if (m_sample.discontinuity) {
                m_error = "a sample of stream " + std::to_string(m_number) +
                          " before packet " + std::to_string(m_sample.packet) + " is incomplete";
                return -1;
            }
            out.data.swap(m_sample.data);
            out.key = m_sample.key;
            return 1;
        }
    }

  private:
    std::unique_ptr<asf::AsfReader> m_reader;
    uint16_t m_number;
    asf::AsfSample m_sample;
};

class MovieCursor : public SampleCursor {
  public:
    MovieCursor(std::shared_ptr<const mov::Movie> movie, size_t track)
        : m_movie(std::move(movie)), m_track(m_movie->tracks[track]) {
        for (const mov::Sample& s : m_track.samples) {
            m_total += s.size;
        }
    }
    int64_t TotalBytes() const override { return static_cast<int64_t>(m_total); }
    bool Peek(uint32_t* size, bool* key) const override {
        if (m_next >= m_track.samples.size()) {
            return false;
        }
        *size = m_track.samples[m_next].size;
        *key = (m_track.samples[m_next].flags & mov::kSampleSync) != 0;
        return true;
    }
    int Skip() override {
        if (m_next >= m_track.samples.size()) {
            return 0;
        }
        ++m_next;
        return 1;
    }
    int Next(MediaSample& out) override {
        if (m_next >= m_track.samples.size()) {
            return 0;
        }
        const mov::Sample& s = m_track.samples[m_next];
        out.data.resize(s.size);
        out.key = (s.flags & mov::kSampleSync) != 0;
        IoFile* file = s.source < m_movie->sources.size()
                           ? m_movie->sources[s.source].file.get()
                           : nullptr;
        if (s.size > 0 &&
            (file == nullptr || file->ReadAt(s.offset, out.data.data(), s.size) != s.size)) {
            m_error = "sample " + std::to_string(m_next) + " of track " +
                      std::to_string(m_track.id) + " cannot be read";
            return -1;
        }
        ++m_next;
        return 1;
    }

  private:
    std::shared_ptr<const mov::Movie> m_movie;
    const mov::Track& m_track;
    size_t m_next = 0;
    uint64_t m_total = 0;
};

std::unique_ptr<SampleCursor> OpenAvi(const std::string& path, MediaKind kind,
                                      std::string* error) {
    int32_t code = 0;
    std::shared_ptr<AviFile> file = OpenAviFile(path, &code);
    if (!file) {
        *error = "cannot be opened as an AVI or WAV file (error " + std::to_string(code) + ")";
        return nullptr;
    }
    int chosen = -1;
    for (int i = 0; i < file->StreamCount(); ++i) {
        const AviStream& s = file->Stream(i);
        if (kind == MediaKind::Video && s.IsVideo() && chosen < 0) {
            chosen = i;
        } else if (kind == MediaKind::Audio && s.IsAudio()) {
            chosen = i;
        }
    }
    if (chosen < 0) {
        return nullptr;
    }
    return std::make_unique<AviCursor>(std::move(file), chosen);
}

std::unique_ptr<SampleCursor> OpenAsf(const std::string& path, MediaKind kind,
                                      std::string* error) {
    auto reader = std::make_unique<asf::AsfReader>();
    const wm::HRESULT r = reader->Open(path);
    if (wm::Failed(r)) {
        *error = "cannot be opened as an ASF file (result " + std::to_string(r) + ")";
        return nullptr;
    }
    int chosen = -1;
    for (const asf::StreamInfo& s : reader->Header().streams) {
        if ((kind == MediaKind::Video && s.IsVideo()) || (kind == MediaKind::Audio && s.IsAudio())) {
            chosen = s.number;
        }
    }
    if (chosen < 0) {
        return nullptr;
    }
    return std::make_unique<AsfCursor>(std::move(reader), static_cast<uint16_t>(chosen));
}

std::unique_ptr<SampleCursor> OpenMovieSamples(const std::string& path, MediaKind kind,
                                               std::string* error) {
    int32_t r = 0;
    std::string complaint;
    std::shared_ptr<const mov::Movie> movie = OpenMovie(path, &r, &complaint);
    if (!movie) {
        *error = "cannot be read as a movie (result " + std::to_string(r) + ")";
        return nullptr;
    }
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    for (size_t i = 0; i < movie->tracks.size(); ++i) {
        if (movie->tracks[i].handler == handler) {
            return std::make_unique<MovieCursor>(std::move(movie), i);
        }
    }
    return nullptr;
}

// What ForgetOpenedFiles forgets.
struct OpenedMovie {
    std::shared_ptr<const mov::Movie> movie;
    int32_t result = 0;
    std::string complaint;
};
std::map<std::string, std::shared_ptr<AviFile>> g_avi;
std::map<std::string, OpenedMovie> g_movies;

}  // namespace

void ForgetOpenedFiles() {
    g_avi.clear();
    g_movies.clear();
}

std::shared_ptr<AviFile> OpenAviFile(const std::string& path, int32_t* error) {
    *error = 0;
    if (const auto it = g_avi.find(path); it != g_avi.end()) {
        return it->second;
    }
    std::shared_ptr<AviFile> file = AviFile::Open(path, error);
    if (file) {
        g_avi[path] = file;
    }
    return file;
}

std::shared_ptr<const mov::Movie> OpenMovie(const std::string& path, int32_t* result,
                                            std::string* complaint) {
    auto it = g_movies.find(path);
    if (it == g_movies.end()) {
        OpenedMovie m;
        auto movie = std::make_shared<mov::Movie>();
        m.result = mov::ReadMovieFile(path, *movie, DiskFileOpener(), [&m](const std::string& w) {
            if (m.complaint.empty()) {
                m.complaint = w;
            }
        });
        if (m.result == mov::kNoErr) {
            m.movie = std::move(movie);
        }
        it = g_movies.emplace(path, std::move(m)).first;
    }
    *result = it->second.result;
    *complaint = it->second.complaint;
    return it->second.movie;
}

Container DetectContainer(const std::string& path) {
    std::unique_ptr<IoFile> file = OpenDiskFile(path, OpenMode::Read);
    uint8_t h[16] = {};
    if (!file || file->ReadAt(0, h, sizeof h) < 12) {
        return Container::Unknown;
    }
    const uint32_t id = bytes::GetLE32(h), form = bytes::GetLE32(h + 8);
    if (id == FourCC("RIFF") && (form == FourCC("AVI ") || form == FourCC("AVI\x19"))) {
        return Container::Avi;
    }
    if ((id == FourCC("RIFF") || id == FourCC("RF64") || id == FourCC("BW64")) &&
        form == FourCC("WAVE")) {
        return Container::Wave;
    }
    if (std::memcmp(h, asf::guid::kHeader.b.data(), 16) == 0) {
        return Container::Asf;
    }
    const uint32_t type = bytes::GetBE32(h + 4);
    for (const uint32_t t : {mov::atom::kFtyp, mov::atom::kMoov, mov::atom::kMdat,
                             mov::atom::kWide, mov::atom::kFree, mov::atom::kSkip}) {
        if (type == t) {
            return Container::Movie;
        }
    }
    return Container::Unknown;
}

const char* ContainerName(Container c) {
    switch (c) {
        case Container::Avi: return "avi";
        case Container::Wave: return "wav";
        case Container::Asf: return "asf";
        case Container::Movie: return "movie";
        default: return "unknown";
    }
}

const char* KindName(MediaKind k) { return k == MediaKind::Video ? "video" : "audio"; }

std::unique_ptr<SampleCursor> OpenSamples(const std::string& path, MediaKind kind,
                                          std::string* error) {
    error->clear();
    switch (DetectContainer(path)) {
        case Container::Avi: return OpenAvi(path, kind, error);
        case Container::Wave:
            return kind == MediaKind::Audio ? OpenAvi(path, kind, error) : nullptr;
        case Container::Asf: return OpenAsf(path, kind, error);
        case Container::Movie: return OpenMovieSamples(path, kind, error);
        default: *error = "is no AVI, WAV, ASF or movie file"; return nullptr;
    }
}

int64_t AudioByteAtVideoSample(const std::string& path, int64_t video_sample) {
    std::string error;
    const auto video = OpenSamples(path, MediaKind::Video, &error);
    const auto audio = video ? OpenSamples(path, MediaKind::Audio, &error) : nullptr;
    if (!audio || video->Rate() <= 0 || audio->Rate() <= 0) {
        return -1;
    }
    return static_cast<int64_t>(static_cast<double>(video_sample) / video->Rate() * audio->Rate());
}

size_t ByteStream::Read(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n && !m_failed && !m_ended) {
        if (m_at == m_sample.data.size()) {
            const int r = m_cursor->Next(m_sample);
            m_at = 0;
            if (r <= 0) {
                m_failed = r < 0;
                m_ended = true;
                m_sample.data.clear();
                break;
            }
            continue;
        }
        const size_t k = std::min(n - done, m_sample.data.size() - m_at);
        std::memcpy(out + done, m_sample.data.data() + m_at, k);
        m_at += k;
        done += k;
    }
    m_position += done;
    return done;
}

}  // namespace trelvan::verify

namespace trelvan::verify {

uint64_t ByteStream::Skip(uint64_t n) {
    uint64_t done = 0;
    // What is left of the current sample first, then whole samples.
    const size_t here = static_cast<size_t>(std::min<uint64_t>(n, m_sample.data.size() - m_at));
    m_at += here;
    done += here;
    uint32_t size = 0;
    bool key = false;
    while (done < n && m_at == m_sample.data.size() && !m_ended && m_cursor->Peek(&size, &key) &&
           size <= n - done) {
        if (m_cursor->Skip() <= 0) {
            break;
        }
        done += size;
    }
    m_position += done;
    std::vector<uint8_t> sink(64u << 10);
    while (done < n) {
        const size_t got = Read(sink.data(), static_cast<size_t>(std::min<uint64_t>(n - done, sink.size())));
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

}  // namespace trelvan::verify
