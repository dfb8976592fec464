#include "AviWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "ByteOrder.h"
#include "ErrorCodes.h"

namespace trelvan {
namespace {

using bytes::FourCC;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAvifIsInterleaved = 0x100;
constexpr uint32_t kAvifTrustCkType = 0x800;
constexpr uint32_t kIndexKeyFrame = 0x10;         // AVIIF_KEYFRAME in idx1
constexpr uint32_t kStdIndexDelta = 0x80000000u;  // bit 31 of an ix## size: not a key frame
constexpr uint32_t kMainHeaderBytes = 56;
constexpr uint32_t kStreamHeaderBytes = 56;
constexpr uint32_t kDmlhBytes = 248;
constexpr uint32_t kOdmlReserve = 4 + 8 + kDmlhBytes;  // 'odml' + dmlh chunk
// Largest chunk and largest RIFF the 32-bit size fields (and bit 31 of the
// OpenDML entries) can describe.
constexpr uint32_t kMaxChunkBytes = 0x7FFFFF00u;
constexpr uint64_t kMaxRiffBytes = 0xFFFFFF00u;

// Little-endian appends to a byte vector, for the header block.
void Put16(std::vector<uint8_t>& v, uint16_t x) {
    uint8_t b[2];
    bytes::PutLE16(b, x);
    v.insert(v.end(), b, b + 2);
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
    uint8_t b[4];
    bytes::PutLE32(b, x);
    v.insert(v.end(), b, b + 4);
}
void Put64(std::vector<uint8_t>& v, uint64_t x) {
    uint8_t b[8];
    bytes::PutLE64(b, x);
    v.insert(v.end(), b, b + 8);
}

int16_t Clamp16(int32_t x) {
    return static_cast<int16_t>(std::clamp<int32_t>(x, INT16_MIN, INT16_MAX));
}

uint32_t ClampU32(double x) {
    if (!(x > 0)) {
        return 0;
    }
    return x >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(x);
}

bool IsVideo(const AviWriterStreamInfo& info) {
    return info.fccType == FourCC("vids");
}
bool IsAudio(const AviWriterStreamInfo& info) {
    return info.fccType == FourCC("auds");
}

// A stream header whose rate or scale is 0 has no timing; readers then guess
// or refuse. Such a stream gets the timing readers would assume: 25 frames a
// second for video, the byte or sample rate of its format for audio, one
// sample a second otherwise.
void RepairTiming(AviWriterStreamInfo& info, const std::vector<uint8_t>& format) {
    if (info.dwRate != 0 && info.dwScale != 0) {
        return;
    }
    if (IsVideo(info)) {
        info.dwScale = 1;
        info.dwRate = 25;
    } else if (IsAudio(info) && format.size() >= 16) {
        const uint32_t samples_per_sec = bytes::GetLE32(format.data() + 4);
        const uint32_t avg_bytes = bytes::GetLE32(format.data() + 8);
        const uint16_t block_align = bytes::GetLE16(format.data() + 12);
        if (info.dwSampleSize != 0 && avg_bytes != 0 && block_align != 0) {
            info.dwScale = block_align;
            info.dwRate = avg_bytes;
        } else {
            info.dwScale = 1;
            info.dwRate = samples_per_sec != 0 ? samples_per_sec : 1;
        }
    } else {
        info.dwScale = 1;
        info.dwRate = 1;
    }
}

uint32_t ChunkIdFor(int index, const AviWriterStreamInfo& info,
                    const std::vector<uint8_t>& format) {
    char id[5] = {static_cast<char>('0' + index / 10), static_cast<char>('0' + index % 10), 'd',
                  'c', 0};
    if (IsAudio(info)) {
        id[2] = 'w';
        id[3] = 'b';
    } else if (IsVideo(info)) {
        // Uncompressed frames (BI_RGB, BI_BITFIELDS) are "##db".
        const uint32_t compression = bytes::GetLE32(format.data() + 16);
        if (compression == 0 || compression == 3) {
            id[3] = 'b';
        }
    }
    return FourCC(id);
}

uint32_t IndexIdFor(int index) {
    const char id[5] = {'i', 'x', static_cast<char>('0' + index / 10),
                        static_cast<char>('0' + index % 10), 0};
    return FourCC(id);
}

}  // namespace

AviWriter::AviWriter(AviWriterLimits limits) : m_limits(limits) {
    m_limits.superIndexEntries = std::max<uint32_t>(m_limits.superIndexEntries, 1);
}

AviWriter::~AviWriter() {
    Close();
}

void AviWriter::Reset() {
    m_out.reset();
    m_file.reset();
    m_streams.clear();
    m_entries.clear();
    m_headersWritten = false;
    m_interleaved = false;
    m_error = 0;
    m_riffCount = 0;
    m_riffStart = m_moviList = m_avihPos = m_odmlPos = 0;
    m_firstRiffFrames = 0;
    m_idx1Written = false;
    m_riffLost = false;
}

int32_t AviWriter::Create(const std::string& path, const FileOpener& opener) {
    auto file = opener ? opener(path, OpenMode::CreateTruncate) : nullptr;
    if (!file) {
        Close();
        return err::kSaveCreate;
    }
    return Create(std::move(file));
}

int32_t AviWriter::Create(std::unique_ptr<IoFile> file) {
    Close();
    if (!file) {
        return err::kSaveCreate;
    }
    m_file = std::move(file);
    m_out = std::make_unique<BufferedWriter>(*m_file, 0, m_limits.bufferBytes);
    return 0;
}

int32_t AviWriter::AddStream(const AviWriterStreamInfo& info, const std::vector<uint8_t>& format,
                             int* index) {
    if (!m_file || m_headersWritten || m_streams.size() >= kMaxStreams) {
        return err::kVideoStreamMake;
    }
    if ((IsVideo(info) && format.size() < 40) || (IsAudio(info) && format.size() < 16) ||
        format.size() > kMaxChunkBytes / 2) {
        return err::kFormatSet;
    }
    Stream s;
    s.info = info;
    s.format = format;
    RepairTiming(s.info, s.format);
    if (s.info.name.size() > 63) {
        s.info.name.resize(63);
    }
    s.chunkId = ChunkIdFor(static_cast<int>(m_streams.size()), s.info, s.format);
    m_streams.push_back(std::move(s));
    if (index != nullptr) {
        *index = static_cast<int>(m_streams.size()) - 1;
    }
    return 0;
}

int64_t AviWriter::StreamLength(int stream) const {
    if (stream < 0 || stream >= StreamCount()) {
        return 0;
    }
    const Stream& s = m_streams[static_cast<size_t>(stream)];
    if (IsVideo(s.info) || s.info.dwSampleSize == 0) {
        return static_cast<int64_t>(s.chunks);
    }
    // A short last block (the end of a WAV source whose data is not a whole
    // number of blocks) is stored, so it is counted.
    return static_cast<int64_t>((s.bytes + s.info.dwSampleSize - 1) / s.info.dwSampleSize);
}

const std::vector<uint8_t>& AviWriter::StreamFormat(int stream) const {
    static const std::vector<uint8_t> kNone;
    if (stream < 0 || stream >= StreamCount()) {
        return kNone;
    }
    return m_streams[static_cast<size_t>(stream)].format;
}

uint32_t AviWriter::SamplesIn(const Stream& s, uint32_t size) const {
    if (IsVideo(s.info) || s.info.dwSampleSize == 0) {
        return 1;
    }
    return size / s.info.dwSampleSize;
}

bool AviWriter::PutChunkHeader(uint32_t id, uint32_t size) {
    uint8_t h[8];
    bytes::PutLE32(h, id);
    bytes::PutLE32(h + 4, size);
    return m_out->Write(h, sizeof h);
}

bool AviWriter::PatchLE32(uint64_t pos, uint32_t v) {
    uint8_t b[4];
    bytes::PutLE32(b, v);
    return m_out->Patch(pos, b, sizeof b);
}

bool AviWriter::WriteHeaders() {
    const uint32_t indx_payload = 24 + 16 * m_limits.superIndexEntries;
    std::vector<uint8_t> h;
    Put32(h, FourCC("RIFF"));
    Put32(h, 0);  // patched when the RIFF is finished
    Put32(h, FourCC("AVI "));
    Put32(h, FourCC("LIST"));
    const size_t hdrl_size_at = h.size();
    Put32(h, 0);
    Put32(h, FourCC("hdrl"));
    Put32(h, FourCC("avih"));
    Put32(h, kMainHeaderBytes);
    m_avihPos = h.size();
    h.resize(h.size() + kMainHeaderBytes, 0);  // filled at close

    for (size_t i = 0; i < m_streams.size(); ++i) {
        Stream& s = m_streams[i];
        const AviWriterStreamInfo& in = s.info;
        Put32(h, FourCC("LIST"));
        const size_t strl_size_at = h.size();
        Put32(h, 0);
        Put32(h, FourCC("strl"));

        Put32(h, FourCC("strh"));
        Put32(h, kStreamHeaderBytes);
        s.strhPos = h.size();
        Put32(h, in.fccType);
        Put32(h, in.fccHandler);
        Put32(h, in.dwFlags);
        Put16(h, in.wPriority);
        Put16(h, in.wLanguage);
        Put32(h, in.dwInitialFrames);
        Put32(h, in.dwScale);
        Put32(h, in.dwRate);
        Put32(h, in.dwStart);
        Put32(h, 0);  // dwLength, at close
        Put32(h, 0);  // dwSuggestedBufferSize, at close
        Put32(h, in.dwQuality);
        Put32(h, in.dwSampleSize);
        int32_t left = in.rcLeft, top = in.rcTop, right = in.rcRight, bottom = in.rcBottom;
        if (IsVideo(in) && left == 0 && top == 0 && right == 0 && bottom == 0) {
            right = static_cast<int32_t>(bytes::GetLE32(s.format.data() + 4));
            bottom = std::abs(static_cast<int32_t>(bytes::GetLE32(s.format.data() + 8)));
        }
        Put16(h, static_cast<uint16_t>(Clamp16(left)));
        Put16(h, static_cast<uint16_t>(Clamp16(top)));
        Put16(h, static_cast<uint16_t>(Clamp16(right)));
        Put16(h, static_cast<uint16_t>(Clamp16(bottom)));

        Put32(h, FourCC("strf"));
        Put32(h, static_cast<uint32_t>(s.format.size()));
        h.insert(h.end(), s.format.begin(), s.format.end());
        if (s.format.size() & 1) {
            h.push_back(0);
        }
        if (!in.name.empty()) {
            const uint32_t n = static_cast<uint32_t>(in.name.size()) + 1;
            Put32(h, FourCC("strn"));
            Put32(h, n);
            h.insert(h.end(), in.name.begin(), in.name.end());
            h.push_back(0);
            if (n & 1) {
                h.push_back(0);
            }
        }
        // Room for the OpenDML super index; it stays JUNK unless the file
        // grows past its first RIFF.
        s.indxPos = h.size();
        Put32(h, FourCC("JUNK"));
        Put32(h, indx_payload);
        h.resize(h.size() + indx_payload, 0);
        bytes::PutLE32(h.data() + strl_size_at, static_cast<uint32_t>(h.size() - strl_size_at - 4));
    }
    // Room for LIST odml { dmlh }, likewise JUNK until needed.
    m_odmlPos = h.size();
    Put32(h, FourCC("JUNK"));
    Put32(h, kOdmlReserve);
    Put32(h, FourCC("odml"));
    Put32(h, FourCC("dmlh"));
    Put32(h, kDmlhBytes);
    h.resize(h.size() + kDmlhBytes, 0);
    bytes::PutLE32(h.data() + hdrl_size_at, static_cast<uint32_t>(h.size() - hdrl_size_at - 4));

    for (const RiffChunkBytes& c : m_descriptive) {
        Put32(h, c.id);
        Put32(h, static_cast<uint32_t>(c.data.size()));
        h.insert(h.end(), c.data.begin(), c.data.end());
        if (c.data.size() & 1) {
            h.push_back(0);
        }
    }

    m_moviList = h.size();
    Put32(h, FourCC("LIST"));
    Put32(h, 0);
    Put32(h, FourCC("movi"));

    m_riffStart = 0;
    m_riffCount = 1;
    m_headersWritten = true;
    if (!m_out->Write(h.data(), h.size())) {
        m_error = err::kStreamWrite;
        return false;
    }
    return true;
}

uint64_t AviWriter::IndexReserve(int adding_stream) const {
    uint64_t bytes = 0;
    for (size_t i = 0; i < m_streams.size(); ++i) {
        const uint64_t n = m_streams[i].riffChunks + (static_cast<int>(i) == adding_stream ? 1 : 0);
        if (n > 0) {
            bytes += 8 + 24 + 8 * n;
        }
    }
    if (m_riffCount == 1) {
        bytes += 8 + 16 * (m_entries.size() + 1);
    }
    return bytes;
}

int32_t AviWriter::WriteChunk(int stream, const void* data, uint32_t size, bool key,
                              int32_t* samples) {
    if (data == nullptr && size != 0) {
        if (samples != nullptr) {
            *samples = 0;
        }
        return err::kStreamWrite;
    }
    return PutChunk(stream, data, nullptr, 0, size, key, samples);
}

int32_t AviWriter::CopyChunk(int stream, IoFile& from, uint64_t from_offset, uint32_t size,
                             bool key, int32_t* samples) {
    return PutChunk(stream, nullptr, &from, from_offset, size, key, samples);
}

int32_t AviWriter::PutChunk(int stream, const void* data, IoFile* from, uint64_t from_offset,
                            uint32_t size, bool key, int32_t* samples) {
    if (samples != nullptr) {
        *samples = 0;
    }
    if (!m_file || stream < 0 || stream >= StreamCount() || size > kMaxChunkBytes) {
        return err::kStreamWrite;
    }
    if (m_error != 0) {
        return err::kStreamWrite;
    }
    if (!m_headersWritten && !WriteHeaders()) {
        return err::kStreamWrite;
    }
    const uint64_t padded = 8 + static_cast<uint64_t>(size) + (size & 1);
    auto riff_bytes_after = [&] {
        return m_out->Position() + padded + IndexReserve(stream) - m_riffStart;
    };
    if (!m_entries.empty() && riff_bytes_after() > m_limits.riffBytes) {
        // Go on in a new RIFF, if the super index has room for this RIFF and
        // the next one.
        bool room = true;
        for (const Stream& s : m_streams) {
            if (s.riffChunks > 0 && s.super.size() + 2 > m_limits.superIndexEntries) {
                room = false;
            }
        }
        if (room) {
            if (!FinishRiff(true) || !StartAvix()) {
                m_error = err::kStreamWrite;
                return err::kStreamWrite;
            }
        }
    }
    if (riff_bytes_after() > kMaxRiffBytes) {
        // Full: the size fields cannot describe more. Nothing was written.
        return err::kStreamWrite;
    }

    Stream& s = m_streams[static_cast<size_t>(stream)];
    const uint64_t data_pos = m_out->Position() + 8;
    const uint8_t pad = 0;
    auto body = [&] {
        return size == 0 || (from != nullptr ? m_out->CopyFrom(*from, from_offset, size)
                                             : m_out->Write(data, size));
    };
    if (!PutChunkHeader(s.chunkId, size) || !body() || ((size & 1) && !m_out->Write(&pad, 1))) {
        m_error = err::kStreamWrite;
        return err::kStreamWrite;
    }
    m_entries.push_back({data_pos, size, static_cast<uint8_t>(stream), static_cast<uint8_t>(key)});
    const uint32_t n = SamplesIn(s, size);
    s.chunks += 1;
    s.bytes += size;
    s.samples += n;
    s.maxChunk = std::max(s.maxChunk, size);
    s.riffChunks += 1;
    s.riffSamples += n;
    if (samples != nullptr) {
        *samples = static_cast<int32_t>(n);
    }
    return 0;
}

bool AviWriter::FinishRiff(bool opendml) {
    const uint64_t movi_fourcc = m_moviList + 8;
    std::vector<SuperEntry> pending(m_streams.size(), SuperEntry{0, 0, 0});
    bool ok = true;
    if (opendml) {
        for (size_t i = 0; i < m_streams.size() && ok; ++i) {
            const Stream& s = m_streams[i];
            if (s.riffChunks == 0) {
                continue;
            }
            if (s.super.size() >= m_limits.superIndexEntries) {
                return false;
            }
            // Standard index: entries point at chunk data relative to the
            // start of this RIFF, which keeps every offset within 32 bits.
            const uint64_t at = m_out->Position();
            const uint32_t payload = 24 + 8 * s.riffChunks;
            std::vector<uint8_t> h;
            Put32(h, IndexIdFor(static_cast<int>(i)));
            Put32(h, payload);
            Put16(h, 2);     // wLongsPerEntry
            h.push_back(0);  // bIndexSubType
            h.push_back(1);  // bIndexType: AVI_INDEX_OF_CHUNKS
            Put32(h, s.riffChunks);
            Put32(h, s.chunkId);
            Put64(h, m_riffStart);  // qwBaseOffset
            Put32(h, 0);
            ok = m_out->Write(h.data(), h.size());
            for (const Entry& e : m_entries) {
                if (!ok) {
                    break;
                }
                if (e.stream != i) {
                    continue;
                }
                uint8_t b[8];
                bytes::PutLE32(b, static_cast<uint32_t>(e.dataPos - m_riffStart));
                bytes::PutLE32(b + 4, e.size | (e.key || IsAudio(s.info) ? 0 : kStdIndexDelta));
                ok = m_out->Write(b, sizeof b);
            }
            const uint64_t duration =
                IsVideo(s.info) || s.info.dwSampleSize == 0 ? s.riffChunks : s.riffSamples;
            pending[i] = {at, 8 + payload,
                          static_cast<uint32_t>(std::min<uint64_t>(duration, UINT32_MAX))};
        }
    }
    ok = ok && PatchLE32(m_moviList + 4, static_cast<uint32_t>(m_out->Position() - movi_fourcc));
    const bool first = m_riffCount == 1;
    if (ok && first) {
        // Legacy index of the first RIFF: offsets of the chunk headers from
        // the 'movi' fourcc.
        ok = PutChunkHeader(FourCC("idx1"), static_cast<uint32_t>(16 * m_entries.size()));
        for (const Entry& e : m_entries) {
            if (!ok) {
                break;
            }
            uint8_t b[16];
            bytes::PutLE32(b, m_streams[e.stream].chunkId);
            bytes::PutLE32(b + 4, e.key ? kIndexKeyFrame : 0);
            bytes::PutLE32(b + 8, static_cast<uint32_t>(e.dataPos - 8 - movi_fourcc));
            bytes::PutLE32(b + 12, e.size);
            ok = m_out->Write(b, sizeof b);
        }
    }
    ok = ok &&
         PatchLE32(m_riffStart + 4, static_cast<uint32_t>(m_out->Position() - m_riffStart - 8));
    // The indexes must be on disk before the chunks they describe are
    // forgotten: a failure after this point could not be salvaged.
    ok = ok && m_out->Flush();
    if (!ok) {
        return false;
    }
    for (size_t i = 0; i < m_streams.size(); ++i) {
        Stream& s = m_streams[i];
        if (pending[i].size != 0) {
            s.super.push_back(pending[i]);
        }
        s.riffChunks = 0;
        s.riffSamples = 0;
    }
    if (first) {
        m_idx1Written = true;
        for (const Stream& s : m_streams) {
            if (IsVideo(s.info)) {
                m_firstRiffFrames = s.chunks;
                break;
            }
        }
    }
    m_entries.clear();
    return true;
}

bool AviWriter::StartAvix() {
    m_riffStart = m_out->Position();
    m_moviList = m_riffStart + 12;
    ++m_riffCount;
    std::vector<uint8_t> h;
    Put32(h, FourCC("RIFF"));
    Put32(h, 0);
    Put32(h, FourCC("AVIX"));
    Put32(h, FourCC("LIST"));
    Put32(h, 0);
    Put32(h, FourCC("movi"));
    return m_out->Write(h.data(), h.size());
}

bool AviWriter::PatchHeaders() {
    bool opendml = m_riffCount > 1;
    for (const Stream& s : m_streams) {
        opendml = opendml || !s.super.empty();
    }
    const Stream* video = nullptr;
    for (const Stream& s : m_streams) {
        if (IsVideo(s.info)) {
            video = &s;
            break;
        }
    }
    uint8_t a[kMainHeaderBytes] = {};
    double max_bytes_per_sec = 0;
    uint32_t max_chunk = 0;
    for (size_t i = 0; i < m_streams.size(); ++i) {
        const Stream& s = m_streams[i];
        const int64_t length = StreamLength(static_cast<int>(i));
        if (length > 0) {
            const double seconds = static_cast<double>(length) * s.info.dwScale / s.info.dwRate;
            if (seconds > 0) {
                max_bytes_per_sec += static_cast<double>(s.bytes) / seconds;
            }
        }
        max_chunk = std::max(max_chunk, s.maxChunk);
    }
    if (video != nullptr) {
        bytes::PutLE32(a, ClampU32(std::round(1e6 * video->info.dwScale / video->info.dwRate)));
    }
    bytes::PutLE32(a + 4, ClampU32(std::ceil(max_bytes_per_sec)));
    uint32_t flags = kAvifTrustCkType;
    if (m_idx1Written) {
        flags |= kAvifHasIndex;
    }
    if (m_interleaved) {
        flags |= kAvifIsInterleaved;
    }
    bytes::PutLE32(a + 12, flags);
    const uint64_t total_frames = video != nullptr ? video->chunks : 0;
    const uint64_t first_frames = opendml ? m_firstRiffFrames : total_frames;
    bytes::PutLE32(a + 16, static_cast<uint32_t>(std::min<uint64_t>(first_frames, UINT32_MAX)));
    bytes::PutLE32(a + 24, static_cast<uint32_t>(m_streams.size()));
    bytes::PutLE32(a + 28, max_chunk);
    if (video != nullptr) {
        bytes::PutLE32(a + 32, bytes::GetLE32(video->format.data() + 4));
        bytes::PutLE32(a + 36, static_cast<uint32_t>(std::abs(static_cast<int32_t>(
                                   bytes::GetLE32(video->format.data() + 8)))));
    }
    bool ok = m_out->Patch(m_avihPos, a, sizeof a);

    for (size_t i = 0; i < m_streams.size() && ok; ++i) {
        const Stream& s = m_streams[i];
        const int64_t length = std::min<int64_t>(StreamLength(static_cast<int>(i)), UINT32_MAX);
        ok = PatchLE32(s.strhPos + 32, static_cast<uint32_t>(length)) &&
             PatchLE32(s.strhPos + 36, s.maxChunk);
        if (ok && opendml) {
            std::vector<uint8_t> x;
            Put32(x, FourCC("indx"));
            Put32(x, 24 + 16 * m_limits.superIndexEntries);
            Put16(x, 4);     // wLongsPerEntry
            x.push_back(0);  // bIndexSubType
            x.push_back(0);  // bIndexType: AVI_INDEX_OF_INDEXES
            Put32(x, static_cast<uint32_t>(s.super.size()));
            Put32(x, s.chunkId);
            Put32(x, 0);
            Put32(x, 0);
            Put32(x, 0);
            for (const SuperEntry& e : s.super) {
                Put64(x, e.offset);
                Put32(x, e.size);
                Put32(x, e.duration);
            }
            ok = m_out->Patch(s.indxPos, x.data(), x.size());
        }
    }
    if (ok && opendml) {
        std::vector<uint8_t> o;
        Put32(o, FourCC("LIST"));
        Put32(o, kOdmlReserve);
        Put32(o, FourCC("odml"));
        Put32(o, FourCC("dmlh"));
        Put32(o, kDmlhBytes);
        Put32(o, static_cast<uint32_t>(std::min<uint64_t>(total_frames, UINT32_MAX)));
        ok = m_out->Patch(m_odmlPos, o.data(), o.size());
    }
    return ok;
}

void AviWriter::Salvage() {
    const int64_t on_disk = m_file->Size();
    uint64_t cut = m_riffStart;
    bool riff_lost = on_disk < 0 || static_cast<uint64_t>(on_disk) < m_moviList + 12;
    size_t keep = 0;
    if (!riff_lost) {
        cut = m_moviList + 12;
        while (keep < m_entries.size()) {
            const Entry& e = m_entries[keep];
            const uint64_t end = e.dataPos + e.size + (e.size & 1);
            if (end > static_cast<uint64_t>(on_disk)) {
                break;
            }
            cut = end;
            ++keep;
        }
    }
    for (size_t k = keep; k < m_entries.size(); ++k) {
        const Entry& e = m_entries[k];
        Stream& s = m_streams[e.stream];
        const uint32_t n = SamplesIn(s, e.size);
        s.chunks -= 1;
        s.bytes -= e.size;
        s.samples -= n;
        s.riffChunks -= 1;
        s.riffSamples -= n;
    }
    m_entries.resize(keep);
    if (riff_lost && m_riffCount > 1) {
        --m_riffCount;  // the previous RIFF was finished whole
    }
    m_file->Truncate(cut);
    m_out = std::make_unique<BufferedWriter>(*m_file, cut, m_limits.bufferBytes);
    m_riffLost = riff_lost;
}

int32_t AviWriter::Close() {
    if (!m_file) {
        Reset();
        return 0;
    }
    if (m_error == 0 && !m_headersWritten) {
        WriteHeaders();
    }
    if (m_headersWritten) {
        // First with the indexes; when that fails (a full disk), once more
        // after cutting the file back, with sizes and headers alone.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (m_error != 0 || attempt > 0) {
                Salvage();
                if (m_riffLost && m_riffCount == 1 && !m_idx1Written) {
                    break;  // not even the headers reached the disk
                }
            }
            bool ok = true;
            if (!m_riffLost) {
                ok = attempt == 0
                         ? FinishRiff(m_riffCount > 1)
                         : PatchLE32(m_moviList + 4,
                                     static_cast<uint32_t>(m_out->Position() - m_moviList - 8)) &&
                               PatchLE32(m_riffStart + 4, static_cast<uint32_t>(m_out->Position() -
                                                                                m_riffStart - 8));
            }
            ok = ok && PatchHeaders() && m_out->Flush();
            if (ok) {
                break;
            }
            m_error = err::kStreamWrite;
        }
    }
    if (m_out && !m_out->Flush() && m_error == 0) {
        m_error = err::kStreamWrite;
    }
    m_out.reset();
    if (!m_file->Close() && m_error == 0) {
        m_error = err::kStreamWrite;
    }
    const int32_t result = m_error;
    Reset();
    return result;
}

}  // namespace trelvan
