#include "AviFile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "AviAudioUnits.h"
#include "AviIndexBuilder.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "RiffReader.h"

namespace trelvan {
namespace {

using bytes::FourCC;
using bytes::GetLE16;
using bytes::GetLE32;
using bytes::GetLE64;

// Format blocks and header chunks larger than this are not believed.
constexpr uint32_t kMaxHeaderChunk = 16u << 20;
// A WAV data chunk is indexed in pieces of about this size.
constexpr uint64_t kWavePiece = 1u << 30;
constexpr size_t kMaxStreams = 256;

// End of a RIFF or LIST chunk, clamped to `limit` (a size of 0 or all ones,
// as unfinished writers leave it, means "up to the limit").
uint64_t ClampedEnd(const RiffChunk& c, uint64_t limit) {
    if (c.size == 0 || c.size == 0xFFFFFFFFu) {
        return limit;
    }
    return std::min<uint64_t>(c.Data() + c.size, limit);
}

// Where a walk over a list's chunks goes on after the list `c` (clamped to
// `limit` as ClampedEnd does). A list that reaches to the end of its parent
// (size 0 or all ones) holds everything up to there, so the walk goes on
// after it and never inside it: no byte is taken for two stream lists or two
// movi lists, and a handful of header bytes cannot make the same format
// block or the same chunks count once per list.
uint64_t AfterList(const RiffChunk& c, uint64_t limit) {
    return std::max(c.Next(), ClampedEnd(c, limit));
}

// Reads a chunk's payload (at most `cap` bytes, at most what the file holds).
bool ReadPayload(RiffReader& r, const RiffChunk& c, uint64_t end, uint32_t cap,
                 std::vector<uint8_t>* out) {
    const uint64_t avail = end > c.Data() ? end - c.Data() : 0;
    const uint64_t n = std::min<uint64_t>({c.size, avail, cap});
    out->resize(static_cast<size_t>(n));
    return n == 0 || r.Read(c.Data(), out->data(), out->size());
}

void ParseStreamHeader(const std::vector<uint8_t>& p, AviStreamInfo* info) {
    uint8_t h[56] = {};
    std::copy_n(p.begin(), std::min<size_t>(p.size(), sizeof h), h);
    info->fccType = GetLE32(h);
    info->fccHandler = GetLE32(h + 4);
    info->dwFlags = GetLE32(h + 8);
    info->wPriority = GetLE16(h + 12);
    info->wLanguage = GetLE16(h + 14);
    info->dwInitialFrames = GetLE32(h + 16);
    info->dwScale = GetLE32(h + 20);
    info->dwRate = GetLE32(h + 24);
    info->dwStart = std::min<uint32_t>(GetLE32(h + 28), std::numeric_limits<int32_t>::max());
    info->dwLength = GetLE32(h + 32);
    info->dwSuggestedBufferSize = GetLE32(h + 36);
    info->dwQuality = GetLE32(h + 40);
    info->dwSampleSize = GetLE32(h + 44);
    // The frame rectangle is stored as four signed 16-bit values.
    info->rcLeft = static_cast<int16_t>(GetLE16(h + 48));
    info->rcTop = static_cast<int16_t>(GetLE16(h + 50));
    info->rcRight = static_cast<int16_t>(GetLE16(h + 52));
    info->rcBottom = static_cast<int16_t>(GetLE16(h + 54));
}

}  // namespace

// ---- AviStream -------------------------------------------------------------

bool AviStream::IsVideo() const {
    return m_info.fccType == FourCC("vids");
}
bool AviStream::IsAudio() const {
    return m_info.fccType == FourCC("auds");
}

int32_t AviStream::Read(int32_t pos, int32_t count, void* buf, int64_t buf_bytes, int64_t* bytes,
                        int32_t* samples) {
    int64_t b = 0;
    int32_t n = 0;
    const int32_t rc = m_sampleSize == 0 ? ReadVariable(pos, count, buf, buf_bytes, &b, &n)
                                         : ReadFixed(pos, count, buf, buf_bytes, &b, &n);
    if (bytes != nullptr) {
        *bytes = b;
    }
    if (samples != nullptr) {
        *samples = n;
    }
    return rc;
}

int32_t AviStream::ReadVariable(int32_t pos, int32_t count, void* buf, int64_t buf_bytes,
                                int64_t* bytes, int32_t* samples) {
    const int64_t idx = static_cast<int64_t>(pos) - Start();
    if (idx < 0 || count < kReadConvenient) {
        return err::kStreamRead;
    }
    if (idx >= ChunkCount() || count == 0) {
        return err::kOk;  // the end of the stream: nothing to read
    }
    // One chunk is one sample, and a read never returns more than one.
    const AviChunkRef& r = m_chunks[static_cast<size_t>(idx)];
    *bytes = r.Size();
    *samples = 1;
    if (buf == nullptr || r.Size() == 0) {
        return err::kOk;
    }
    if (buf_bytes < r.Size()) {
        return err::kStreamRead;  // the buffer cannot hold the sample
    }
    return m_file->ReadExact(r.Offset(), buf, r.Size()) ? err::kOk : err::kStreamRead;
}

size_t AviStream::ChunkAtByte(uint64_t at) const {
    auto it = std::upper_bound(m_chunks.begin(), m_chunks.end(), at,
                               [](uint64_t v, const AviChunkRef& c) { return v < c.Extra(); });
    return static_cast<size_t>(it - m_chunks.begin()) - 1;
}

int32_t AviStream::ReadFixed(int32_t pos, int32_t count, void* buf, int64_t buf_bytes,
                             int64_t* bytes, int32_t* samples) {
    const int64_t idx = static_cast<int64_t>(pos) - Start();
    const int64_t length = Length();
    if (idx < 0 || count < kReadConvenient) {
        return err::kStreamRead;
    }
    if (idx >= length || count == 0) {
        return err::kOk;
    }
    const uint64_t ss = m_sampleSize;
    const uint64_t first = static_cast<uint64_t>(idx) * ss;
    int64_t n = 0;
    if (count == kReadConvenient) {
        if (buf != nullptr) {
            n = buf_bytes / static_cast<int64_t>(ss);  // as many whole samples as fit
        } else {
            // A size query: the samples left in the chunk at pos (at least one).
            const AviChunkRef& c = m_chunks[ChunkAtByte(first)];
            n = std::max<int64_t>(1, static_cast<int64_t>((c.Extra() + c.Size() - first) / ss));
        }
    } else {
        n = count;
        if (buf != nullptr) {
            n = std::min<int64_t>(n, buf_bytes / static_cast<int64_t>(ss));
        }
    }
    n = std::min(n, length - idx);
    if (n <= 0) {
        return err::kStreamRead;  // the buffer cannot hold one sample
    }
    // Only a WAV file's last block can be short; its bytes end the stream.
    *bytes = std::min<int64_t>(n * static_cast<int64_t>(ss),
                               static_cast<int64_t>(m_totalBytes - std::min(m_totalBytes, first)));
    *samples = static_cast<int32_t>(n);
    if (buf == nullptr) {
        return err::kOk;
    }
    // The samples may span chunks: one positioned read per chunk touched.
    auto* out = static_cast<uint8_t*>(buf);
    uint64_t at = first;
    uint64_t left = static_cast<uint64_t>(*bytes);
    for (size_t ci = ChunkAtByte(first); left > 0 && ci < m_chunks.size(); ++ci) {
        const AviChunkRef& c = m_chunks[ci];
        if (c.Size() == 0) {
            continue;
        }
        const uint64_t within = at - c.Extra();
        const uint64_t take = std::min<uint64_t>(c.Size() - within, left);
        if (!m_file->ReadExact(c.Offset() + within, out, static_cast<size_t>(take))) {
            return err::kStreamRead;
        }
        out += take;
        at += take;
        left -= take;
    }
    return left == 0 ? err::kOk : err::kStreamRead;
}

int32_t AviStream::FindPrevKeyFrame(int32_t pos) const {
    int64_t idx = static_cast<int64_t>(pos) - Start();
    if (idx < 0 || Length() == 0) {
        return -1;
    }
    idx = std::min<int64_t>(idx, Length() - 1);
    if (m_sampleSize != 0) {
        return static_cast<int32_t>(Start() + idx);  // every sample of such a stream is a key
    }
    const uint64_t key = m_chunks[static_cast<size_t>(idx)].Extra();
    return key == AviChunkRef::kNoKey ? -1 : static_cast<int32_t>(Start() + key);
}

bool AviStream::IsKeyFrame(int32_t pos) const {
    return pos >= Start() && static_cast<int64_t>(pos) - Start() < Length() &&
           FindPrevKeyFrame(pos) == pos;
}

IoFile& AviStream::Io() const {
    return *m_file->m_file;
}

int32_t AviStream::ReadChunk(int64_t chunk, void* buf, int64_t buf_bytes) {
    if (chunk < 0 || chunk >= ChunkCount()) {
        return err::kStreamRead;
    }
    const AviChunkRef& r = m_chunks[static_cast<size_t>(chunk)];
    if (buf_bytes < r.Size()) {
        return err::kStreamRead;
    }
    return r.Size() == 0 || m_file->ReadExact(r.Offset(), buf, r.Size()) ? err::kOk
                                                                         : err::kStreamRead;
}

// ---- AviFile ---------------------------------------------------------------

std::shared_ptr<AviFile> AviFile::Open(const std::string& path, int32_t* error,
                                       const FileOpener& opener) {
    std::unique_ptr<IoFile> f = opener(path, OpenMode::Read);
    if (!f) {
        *error = err::kFileOpen;
        return nullptr;
    }
    return OpenFile(std::move(f), error);
}

std::shared_ptr<AviFile> AviFile::OpenFile(std::unique_ptr<IoFile> file, int32_t* error) {
    auto avi = std::make_shared<AviFile>();
    avi->m_file = std::move(file);
    const int64_t size = avi->m_file->Size();
    if (size < 0) {
        *error = err::kFileOpen;
        return nullptr;
    }
    avi->m_fileSize = static_cast<uint64_t>(size);
    const int32_t rc = avi->Parse();
    if (rc != err::kOk) {
        *error = rc;
        return nullptr;
    }
    for (AviStream& s : avi->m_streams) {
        s.m_file = avi.get();
    }
    *error = err::kOk;
    return avi;
}

bool AviFile::ReadExact(uint64_t offset, void* buf, size_t n) {
    // Small samples read in file order come out of one window: a sample
    // costs at most one positioned read, most of them none.
    return m_window.ReadExact(*m_file, offset, buf, n);
}

// Keeps a descriptive chunk (the first of its kind) as stored.
void AviFile::KeepDescriptive(RiffReader& reader, const RiffChunk& c, uint64_t end) {
    constexpr uint32_t kMaxKept = 1u << 20;
    for (const RiffChunkBytes& k : m_descriptive) {
        if (k.id == c.id && (c.id != FourCC("LIST") || GetLE32(k.data.data()) == c.listType)) {
            return;
        }
    }
    RiffChunkBytes kept;
    kept.id = c.id;
    if (c.size <= kMaxKept && ReadPayload(reader, c, end, kMaxKept, &kept.data) &&
        kept.data.size() == c.size) {
        m_descriptive.push_back(std::move(kept));
    }
}

int32_t AviFile::Parse() {
    RiffReader reader(*m_file, m_fileSize);
    RiffChunk riff;
    if (!reader.HeaderAt(0, &riff)) {
        return err::kFileOpen;
    }
    const uint64_t riff_end = ClampedEnd(riff, m_fileSize);
    if (riff.id == FourCC("RIFF") &&
        (riff.listType == FourCC("AVI ") || riff.listType == FourCC("AVI\x19"))) {
        return ParseAvi(riff_end);
    }
    if (riff.listType == FourCC("WAVE") &&
        (riff.id == FourCC("RIFF") || riff.id == FourCC("RF64") || riff.id == FourCC("BW64"))) {
        return ParseWave(riff_end, riff.id != FourCC("RIFF"));
    }
    // Not AVI or WAVE; big-endian RIFX files included (their samples would
    // be read with the wrong byte order).
    return err::kFileOpen;
}

int32_t AviFile::ParseAvi(uint64_t riff_end) {
    RiffReader reader(*m_file, m_fileSize);
    AviIndexBuilder builder(*this, reader);
    std::vector<uint8_t> payload;
    bool have_header = false;
    RiffChunk c;

    // The header list: the main header, one stream list per stream.
    auto parse_strl = [&](uint64_t pos, uint64_t end) {
        AviStream s;
        AviIndexBuilder::StreamIndexInfo index;
        bool have_strh = false, have_strf = false;
        RiffChunk k;
        for (; pos + 8 <= end && reader.HeaderAt(pos, &k); pos = k.Next()) {
            if (k.id == FourCC("strh") && !have_strh) {
                if (!ReadPayload(reader, k, end, 64, &payload)) {
                    break;
                }
                ParseStreamHeader(payload, &s.m_info);
                have_strh = true;
            } else if (k.id == FourCC("strf") && !have_strf) {
                if (!ReadPayload(reader, k, end, kMaxHeaderChunk, &s.m_format)) {
                    s.m_format.clear();
                }
                have_strf = true;
            } else if (k.id == FourCC("strn")) {
                if (ReadPayload(reader, k, end, 256, &payload)) {
                    std::string name(payload.begin(), payload.end());
                    name = name.substr(0, name.find('\0'));
                    s.m_info.name = name.substr(0, 63);
                }
            } else if (k.id == FourCC("indx")) {
                index.indxPos = k.pos;
                index.indxSize = static_cast<uint32_t>(
                    std::min<uint64_t>(k.size, end > k.Data() ? end - k.Data() : 0));
            }
        }
        // Audio is counted in whole blocks of its format.
        NormalizeAudioUnits(s.m_info, s.m_format);
        // Video has one chunk per frame whatever the header says.
        s.m_sampleSize = s.IsVideo() ? 0 : s.m_info.dwSampleSize;
        builder.SetStreamIndex(m_streams.size(), index);
        m_streams.push_back(std::move(s));
    };

    auto parse_hdrl = [&](uint64_t pos, uint64_t end) {
        RiffChunk k;
        for (uint64_t next = 0; pos + 8 <= end && reader.HeaderAt(pos, &k); pos = next) {
            next = k.Next();
            if (k.id == FourCC("avih")) {
                if (ReadPayload(reader, k, end, 64, &payload)) {
                    uint8_t h[56] = {};
                    std::copy_n(payload.begin(), std::min<size_t>(payload.size(), 56), h);
                    m_main.dwMicroSecPerFrame = GetLE32(h);
                    m_main.dwMaxBytesPerSec = GetLE32(h + 4);
                    m_main.dwPaddingGranularity = GetLE32(h + 8);
                    m_main.dwFlags = GetLE32(h + 12);
                    m_main.dwTotalFrames = GetLE32(h + 16);
                    m_main.dwInitialFrames = GetLE32(h + 20);
                    m_main.dwStreams = GetLE32(h + 24);
                    m_main.dwSuggestedBufferSize = GetLE32(h + 28);
                    m_main.dwWidth = GetLE32(h + 32);
                    m_main.dwHeight = GetLE32(h + 36);
                    have_header = true;
                }
            } else if (k.id == FourCC("IDIT")) {
                KeepDescriptive(reader, k, end);
            } else if (k.id == FourCC("LIST") && k.listType == FourCC("strl")) {
                if (m_streams.size() < kMaxStreams) {
                    parse_strl(k.Data() + 4, ClampedEnd(k, end));
                }
                next = AfterList(k, end);
            }
        }
    };

    bool have_hdrl = false;
    for (uint64_t pos = 12, next = 0; pos + 8 <= riff_end && reader.HeaderAt(pos, &c); pos = next) {
        next = c.Next();
        if (c.id == FourCC("LIST") && c.listType == FourCC("hdrl") && !have_hdrl) {
            have_hdrl = true;
            parse_hdrl(c.Data() + 4, ClampedEnd(c, riff_end));
            next = AfterList(c, riff_end);
        } else if (c.id == FourCC("LIST") && c.listType == FourCC("movi")) {
            // A movi size of 0 (never patched) reaches to the end of the file.
            builder.AddMovi({c.Data(), ClampedEnd(c, m_fileSize)});
            next = AfterList(c, m_fileSize);
        } else if (c.id == FourCC("idx1")) {
            builder.SetIdx1(c.pos, c.size);
        } else if ((c.id == FourCC("LIST") && c.listType == FourCC("INFO")) ||
                   c.id == FourCC("IDIT")) {
            KeepDescriptive(reader, c, riff_end);
        }
    }
    if (!have_hdrl || !have_header) {
        return err::kFileOpen;
    }
    // OpenDML continuation RIFFs ('AVIX'), each with its own movi list.
    uint64_t pos = riff_end + (riff_end & 1u);
    for (int guard = 0; pos + 12 <= m_fileSize && reader.HeaderAt(pos, &c) && guard < 1 << 16;
         ++guard) {
        if (c.id != FourCC("RIFF") || c.listType != FourCC("AVIX")) {
            break;
        }
        const uint64_t end = ClampedEnd(c, m_fileSize);
        RiffChunk k;
        for (uint64_t p = c.Data() + 4, next = 0; p + 12 <= end && reader.HeaderAt(p, &k);
             p = next) {
            next = k.Next();
            if (k.id == FourCC("LIST") && k.listType == FourCC("movi")) {
                builder.AddMovi({k.Data(), ClampedEnd(k, end)});
                next = AfterList(k, end);
            }
        }
        pos = end + (end & 1u);
    }
    builder.Build();
    return err::kOk;
}

int32_t AviFile::ParseWave(uint64_t riff_end, bool rf64) {
    m_isWave = true;
    m_indexSource = AviIndexSource::WaveData;
    RiffReader reader(*m_file, m_fileSize);
    AviStream s;
    bool have_fmt = false, have_data = false;
    uint64_t data_pos = 0, data_size = 0, ds64_data = 0;
    RiffChunk c;
    // Chunks are looked for up to the end of the file, not of the RIFF: some
    // writers leave the RIFF size short of the chunks they wrote.
    uint64_t next = 0;
    int after_both = 0;
    for (uint64_t pos = 12; pos + 8 <= m_fileSize && reader.HeaderAt(pos, &c); pos = next) {
        next = c.Next();
        if (c.id == FourCC("ds64") && rf64 && c.size >= 16) {
            uint8_t d[16];
            if (reader.Read(c.Data(), d, sizeof d)) {
                ds64_data = GetLE64(d + 8);
            }
        } else if (c.id == FourCC("fmt ") && !have_fmt) {
            if (!ReadPayload(reader, c, m_fileSize, kMaxHeaderChunk, &s.m_format)) {
                return err::kFileOpen;
            }
            have_fmt = true;
        } else if (c.id == FourCC("data") && !have_data) {
            have_data = true;
            data_pos = c.Data();
            data_size = rf64 && c.size == 0xFFFFFFFFu ? ds64_data : c.size;
            const uint64_t avail = m_fileSize - std::min(m_fileSize, data_pos);
            if (data_size == 0 || data_size > avail) {
                // Never patched, or cut off: the data reaches to the end.
                data_size = avail;
            }
            next = data_pos + data_size + (data_size & 1u);
        } else if ((c.id == FourCC("LIST") && c.listType == FourCC("INFO")) ||
                   c.id == FourCC("bext")) {
            KeepDescriptive(reader, c, m_fileSize);
        }
        // What follows the data is only looked through for descriptive
        // chunks, and not for ever.
        if (have_fmt && have_data && ++after_both > 64) {
            break;
        }
    }
    if (!have_fmt || !have_data || s.m_format.size() < 14) {
        return err::kFileOpen;
    }
    const uint8_t* f = s.m_format.data();
    const uint32_t samples_per_sec = GetLE32(f + 4);
    uint32_t avg_bytes = GetLE32(f + 8);
    const uint32_t block_align = std::max<uint32_t>(1, GetLE16(f + 12));
    if (avg_bytes == 0) {
        avg_bytes = static_cast<uint32_t>(
            std::min<uint64_t>(uint64_t{samples_per_sec} * block_align, 0xFFFFFFFFu));
    }
    // What the WAV handler of the AVI file services reports: one sample is
    // one block, the rate counts bytes.
    s.m_info.fccType = FourCC("auds");
    s.m_info.dwScale = block_align;
    s.m_info.dwRate = avg_bytes;
    s.m_info.dwSampleSize = block_align;
    s.m_sampleSize = block_align;
    s.m_info.dwQuality = 0xFFFFFFFFu;
    // The data chunk is indexed in pieces of whole blocks. A short block at
    // the end (MP3 or AC-3 written with a block alignment of one frame
    // length) is the last sample, read short, so no byte of it is lost.
    const uint64_t piece = kWavePiece - kWavePiece % block_align;
    s.m_chunks.reserve(static_cast<size_t>(data_size / piece + 1));
    uint64_t total = 0;
    for (uint64_t at = 0; at < data_size; at += piece) {
        AviChunkRef r;
        const uint64_t n = std::min(piece, data_size - at);
        r.SetOffset(data_pos + at);
        r.SetSizeKey(static_cast<uint32_t>(n), true);
        r.SetExtra(at);
        s.m_chunks.push_back(r);
        total += n;
    }
    s.m_totalBytes = total;
    s.m_info.dwLength = static_cast<uint32_t>(std::min<uint64_t>(
        (total + block_align - 1) / block_align, std::numeric_limits<int32_t>::max()));
    // About one second of data (never the whole data chunk, which may be
    // gigabytes: callers size buffers from this).
    s.m_info.dwSuggestedBufferSize =
        static_cast<uint32_t>(std::min<uint64_t>(total, std::max(avg_bytes, block_align)));
    m_streams.push_back(std::move(s));
    return err::kOk;
}

}  // namespace trelvan
