#include "MediaSamples.h"

#include <algorithm>
#include <cstring>

#include "AsfReader.h"
#include "Atoms.h"
#include "AviFile.h"
#include "ByteOrder.h"
#include "IoFile.h"
#include "MovieReader.h"

namespace trelvan::cli {
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

class AviCursor : public SampleCursor {
  public:
    AviCursor(std::shared_ptr<AviFile> file, int stream)
        : m_file(std::move(file)), m_stream(m_file->Stream(stream)) {
        // A stream of one frame per chunk is not cut in blocks.
        if (m_stream.IsAudio() && m_stream.SampleSize() != 0) {
            m_blockAlign = BlockAlignOf(m_stream.Format());
        }
    }
    int Next(MediaSample& out) override {
        if (m_next >= m_stream.ChunkCount()) {
            return 0;
        }
        const uint32_t size = m_stream.ChunkSize(m_next);
        out.data.resize(size);
        out.key = m_stream.ChunkIsKey(m_next);
        if (size > 0 && m_stream.ReadChunk(m_next, out.data.data(),
                                           static_cast<int64_t>(out.data.size())) != 0) {
            m_error = "chunk " + std::to_string(m_next) + " cannot be read";
            return -1;
        }
        ++m_next;
        return 1;
    }

  private:
    std::shared_ptr<AviFile> m_file;
    AviStream& m_stream;
    int64_t m_next = 0;
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
    MovieCursor(std::unique_ptr<mov::Movie> movie, size_t track)
        : m_movie(std::move(movie)), m_track(m_movie->tracks[track]) {}
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
    std::unique_ptr<mov::Movie> m_movie;
    const mov::Track& m_track;
    size_t m_next = 0;
};

std::unique_ptr<SampleCursor> OpenAvi(const std::string& path, MediaKind kind,
                                      std::string* error) {
    int32_t code = 0;
    std::shared_ptr<AviFile> file = AviFile::Open(path, &code);
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

std::unique_ptr<SampleCursor> OpenMovie(const std::string& path, MediaKind kind,
                                        std::string* error) {
    auto movie = std::make_unique<mov::Movie>();
    const mov::MovResult r = mov::ReadMovieFile(path, *movie, DiskFileOpener());
    if (r != mov::kNoErr) {
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

}  // namespace

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
        case Container::Movie: return OpenMovie(path, kind, error);
        default: *error = "is no AVI, WAV, ASF or movie file"; return nullptr;
    }
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

}  // namespace trelvan::cli
