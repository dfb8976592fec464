#include "MediaFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "AsfReader.h"
#include "Atoms.h"
#include "AviFile.h"
#include "ByteOrder.h"
#include "IoFile.h"
#include "LayerWalks.h"
#include "MovieReader.h"
#include "OutputVerify.h"
#include "Timeline.h"

namespace trelvan::verify {

using bytes::FourCC;

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

// A movie as the reader gave it, with its result and first complaint.
struct MediaFile::MovieReading {
    std::shared_ptr<const mov::Movie> movie;
    int32_t result = 0;
    std::string complaint;
};

// The bytes the walks of a watched file read, against its size.
struct MediaFile::Watched {
    const VerifyControl* control = nullptr;
    double size = 1;
    uint64_t read = 0;
    uint64_t told = 0;  // `read` when progress was last told
};

namespace {

// A walk that counts what it reads for its file's watcher and stops when the
// watcher asks.
class WatchedWalk : public SampleWalk {
  public:
    WatchedWalk(std::unique_ptr<SampleWalk> inner, std::shared_ptr<MediaFile::Watched> watched)
        : m_inner(std::move(inner)), m_watched(std::move(watched)) {
        m_blockAlign = m_inner->BlockAlign();
        m_stream = m_inner->Stream();
        m_base = m_inner->Base();
    }
    int Next(MediaSample& out) override {
        if (Stopped()) {
            return -1;
        }
        const int r = m_inner->Next(out);
        if (r < 0) {
            m_error = m_inner->Error();
        } else if (r > 0) {
            Count(out.data.size());
        }
        return r;
    }
    bool Peek(uint32_t* size, bool* key) const override { return m_inner->Peek(size, key); }
    int64_t TotalBytes() const override { return m_inner->TotalBytes(); }
    double Rate() const override { return m_inner->Rate(); }
    int Skip() override {
        if (Stopped()) {
            return -1;
        }
        uint32_t size = 0;
        bool key = false;
        const bool known = m_inner->Peek(&size, &key);
        const int r = m_inner->Skip();
        if (r < 0) {
            m_error = m_inner->Error();
        } else if (r > 0 && known) {
            Count(size);
        }
        return r;
    }

  private:
    bool Stopped() {
        if (!m_watched->control->Stopped()) {
            return false;
        }
        m_error = "the check was stopped";
        return true;
    }
    void Count(size_t bytes) {
        MediaFile::Watched& w = *m_watched;
        w.read += bytes;
        constexpr uint64_t kEvery = 1u << 20;
        if (w.control->progress && w.read - w.told >= kEvery) {
            w.told = w.read;
            w.control->progress(std::min(1.0, static_cast<double>(w.read) / w.size));
        }
    }
    std::unique_ptr<SampleWalk> m_inner;
    std::shared_ptr<MediaFile::Watched> m_watched;
};

}  // namespace

void MediaFile::Watch(const VerifyControl* control) {
    if (control == nullptr) {
        m_watched.reset();
        return;
    }
    m_watched = std::make_shared<Watched>();
    m_watched->control = control;
    std::error_code ec;
    const auto size = std::filesystem::file_size(m_path, ec);
    m_watched->size = ec || size == 0 ? 1.0 : static_cast<double>(size);
}

MediaFile::MediaFile(std::string path)
    : m_path(std::move(path)), m_container(DetectContainer(m_path)) {}

MediaFile::~MediaFile() = default;

std::shared_ptr<AviFile> MediaFile::Avi(int32_t* error) {
    if (!m_aviError) {
        int32_t code = 0;
        m_avi = AviFile::Open(m_path, &code);
        m_aviError = m_avi ? 0 : code;
    }
    *error = *m_aviError;
    return m_avi;
}

std::shared_ptr<const mov::Movie> MediaFile::Movie(int32_t* result, std::string* complaint) {
    if (!m_movie) {
        m_movie = std::make_unique<MovieReading>();
        MovieReading& m = *m_movie;
        auto movie = std::make_shared<mov::Movie>();
        m.result = mov::ReadMovieFile(m_path, *movie, DiskFileOpener(), [&m](const std::string& w) {
            if (m.complaint.empty()) {
                m.complaint = w;
            }
        });
        if (m.result == mov::kNoErr) {
            m.movie = std::move(movie);
        }
    }
    *result = m_movie->result;
    *complaint = m_movie->complaint;
    return m_movie->movie;
}

std::unique_ptr<SampleWalk> MediaFile::Walk(MediaKind kind, std::string* error) {
    error->clear();
    std::unique_ptr<SampleWalk> walk;
    switch (m_container) {
        case Container::Avi:
            walk = WalkAvi(kind, error);
            break;
        case Container::Wave:
            walk = kind == MediaKind::Audio ? WalkAvi(kind, error) : nullptr;
            break;
        case Container::Asf:
            walk = WalkAsf(kind, error);
            break;
        case Container::Movie:
            walk = WalkMovie(kind, error);
            break;
        default: *error = "is no AVI, WAV, ASF or movie file"; return nullptr;
    }
    if (walk && m_watched) {
        return std::make_unique<WatchedWalk>(std::move(walk), m_watched);
    }
    return walk;
}

bool MediaFile::Has(MediaKind kind) {
    std::string error;
    return Walk(kind, &error) != nullptr;
}

std::unique_ptr<SampleWalk> MediaFile::WalkAvi(MediaKind kind, std::string* error) {
    int32_t code = 0;
    std::shared_ptr<AviFile> file = Avi(&code);
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
    return WalkAviStream(std::move(file), chosen);
}

std::unique_ptr<SampleWalk> MediaFile::WalkAsf(MediaKind kind, std::string* error) {
    auto reader = std::make_unique<asf::AsfReader>();
    const wm::HRESULT r = reader->Open(m_path);
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
    // The data object follows the header object; its packets follow its
    // 50 bytes of header.
    uint64_t packets_at = 0;
    uint8_t head[24];
    if (std::unique_ptr<IoFile> io = OpenDiskFile(m_path, OpenMode::Read);
        io && io->ReadAt(0, head, sizeof head) == sizeof head) {
        packets_at = bytes::GetLE64(head + 16) + 50;
    }
    return WalkAsfStream(std::move(reader), static_cast<uint16_t>(chosen), packets_at);
}

std::unique_ptr<SampleWalk> MediaFile::WalkMovie(MediaKind kind, std::string* error) {
    int32_t r = 0;
    std::string complaint;
    std::shared_ptr<const mov::Movie> movie = Movie(&r, &complaint);
    if (!movie) {
        *error = "cannot be read as a movie (result " + std::to_string(r) + ")";
        return nullptr;
    }
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    size_t skip = m_chosen[kind == MediaKind::Video ? 0 : 1];
    for (size_t i = 0; i < movie->tracks.size(); ++i) {
        if (movie->tracks[i].handler != handler) {
            continue;
        }
        if (skip == 0) {
            return WalkMovieTrack(std::move(movie), i);
        }
        --skip;
    }
    return nullptr;
}

size_t MediaFile::StreamCount(MediaKind kind) {
    if (m_container != Container::Movie) {
        return Has(kind) ? 1 : 0;
    }
    int32_t r = 0;
    std::string complaint;
    const std::shared_ptr<const mov::Movie> movie = Movie(&r, &complaint);
    const uint32_t handler = kind == MediaKind::Video ? mov::atom::kVide : mov::atom::kSoun;
    return movie ? static_cast<size_t>(std::count_if(
                       movie->tracks.begin(), movie->tracks.end(),
                       [handler](const mov::Track& t) { return t.handler == handler; }))
                 : 0;
}

void MediaFile::ChooseStream(MediaKind kind, size_t nth) {
    const int k = kind == MediaKind::Video ? 0 : 1;
    if (m_chosen[k] != nth) {
        m_timelines[k].reset();  // it was another stream's
    }
    m_chosen[k] = nth;
}

std::shared_ptr<const Timeline> MediaFile::KeptTimeline(MediaKind kind) const {
    return m_timelines[kind == MediaKind::Video ? 0 : 1];
}

void MediaFile::KeepTimeline(MediaKind kind, std::shared_ptr<const Timeline> timeline) {
    m_timelines[kind == MediaKind::Video ? 0 : 1] = std::move(timeline);
}

int64_t MediaFile::AudioByteAtVideoSample(int64_t video_sample) {
    std::string error;
    const auto video = Walk(MediaKind::Video, &error);
    const auto audio = video ? Walk(MediaKind::Audio, &error) : nullptr;
    if (!audio || video->Rate() <= 0 || audio->Rate() <= 0) {
        return -1;
    }
    return static_cast<int64_t>(static_cast<double>(video_sample) / video->Rate() * audio->Rate());
}

}  // namespace trelvan::verify
