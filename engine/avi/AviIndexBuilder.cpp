#include "AviIndexBuilder.h"

#include <algorithm>
#include <limits>

#include "AviKeyFrameScanner.h"
#include "ByteOrder.h"

namespace trelvan {
namespace {

using bytes::FourCC;
using bytes::GetLE16;
using bytes::GetLE32;
using bytes::GetLE64;

constexpr uint32_t kIndexOfIndexes = 0x00;
constexpr uint32_t kIndexOfChunks = 0x01;
constexpr uint32_t kIdx1Keyframe = 0x10;
constexpr uint32_t kIdx1List = 0x01;
constexpr size_t kBlockEntries = 32768;
// Largest chunk one index entry holds (31 bits), and the pieces larger
// chunks of fixed-size samples are cut into.
constexpr uint64_t kMaxChunkRef = 0x7FFFFFFFu;
constexpr uint64_t kWholePiece = uint64_t{1} << 30;

uint16_t TwoCC(uint32_t id) {
    return static_cast<uint16_t>(id >> 16);
}

bool IsPaletteChange(uint32_t id) {
    return TwoCC(id) == (FourCC("00pc") >> 16);
}

bool IsIndexChunk(uint32_t id) {
    const uint16_t lo = static_cast<uint16_t>(id), hi = TwoCC(id);
    return lo == (FourCC("ix00") & 0xFFFF) || hi == (FourCC("00ix") >> 16);
}

}  // namespace

void AviIndexBuilder::SetStreamIndex(size_t stream, const StreamIndexInfo& info) {
    if (m_streamIndex.size() <= stream) {
        m_streamIndex.resize(stream + 1);
    }
    m_streamIndex[stream] = info;
}

void AviIndexBuilder::ClearChunks() {
    for (AviStream& s : m_file.m_streams) {
        s.m_chunks.clear();
        s.m_chunks.shrink_to_fit();
    }
}

bool AviIndexBuilder::AddChunk(size_t stream, uint64_t data_pos, uint32_t size, bool key) {
    AviStream& s = m_file.m_streams[stream];
    const uint64_t file_size = m_reader.FileSize();
    if (data_pos > file_size || (size > 0 && data_pos >= file_size)) {
        return false;
    }
    uint64_t n = size;
    if (n > file_size - data_pos) {
        // A chunk cut off by the end of the file: fixed-size streams keep the
        // whole samples that are there, the others lose the chunk.
        if (s.m_sampleSize == 0) {
            return false;
        }
        const uint64_t avail = file_size - data_pos;
        n = avail - avail % s.m_sampleSize;
        if (n == 0) {
            return false;
        }
    }
    if (n > kMaxChunkRef) {
        // Beyond what one index entry holds: a frame that large is not
        // believed; samples of fixed size are indexed in pieces.
        // A piece holds whole samples: as many as fit in a gigabyte, or one
        // sample larger than that (never more than an entry holds).
        if (s.m_sampleSize == 0 || s.m_sampleSize > kMaxChunkRef) {
            return false;
        }
        const uint64_t piece =
            std::max<uint64_t>(kWholePiece - kWholePiece % s.m_sampleSize, s.m_sampleSize);
        for (uint64_t at = 0; at < n; at += piece) {
            AviChunkRef ref;
            ref.SetOffset(data_pos + at);
            ref.SetSizeKey(static_cast<uint32_t>(std::min(piece, n - at)), key);
            s.m_chunks.push_back(ref);
        }
        return true;
    }
    AviChunkRef ref;
    ref.SetOffset(data_pos);
    ref.SetSizeKey(static_cast<uint32_t>(n), key);
    s.m_chunks.push_back(ref);
    return true;
}

void AviIndexBuilder::Build() {
    m_streamIndex.resize(m_file.m_streams.size());
    // Every stored chunk takes at least its 8-byte header in a movi list: an
    // index with more entries than that is not believed (and cannot make us
    // reserve more than the file's own size would justify).
    m_maxEntries = 0;
    for (const Movi& m : m_movis) {
        m_maxEntries += (m.end > m.fourccPos + 4 ? m.end - m.fourccPos - 4 : 0) / 8;
    }
    if (BuildOpenDml()) {
        m_file.m_indexSource = AviIndexSource::OpenDml;
    } else if (m_movis.size() <= 1 && BuildIdx1()) {
        m_file.m_indexSource = AviIndexSource::Idx1;
    } else {
        BuildScan();
        m_file.m_indexSource = AviIndexSource::Scan;
    }
    Finish();
}

// ---- OpenDML ------------------------------------------------------------

// Reads the standard index chunk at `pos` (its header). With count_only it
// only checks the header and adds its entry count to *count; otherwise it
// appends the entries to the stream.
bool AviIndexBuilder::ReadStandardIndex(size_t stream, uint64_t pos, bool count_only,
                                        uint64_t* count) {
    RiffChunk c;
    uint8_t h[24];
    if (!m_reader.HeaderAt(pos, &c) || !m_reader.Read(c.Data(), h, sizeof h)) {
        return false;
    }
    const uint32_t longs = GetLE16(h);
    const uint32_t type = h[3];
    const uint64_t n = GetLE32(h + 4);
    uint64_t base = GetLE64(h + 12);
    if (type != kIndexOfChunks || (longs != 2 && longs != 3)) {
        return false;
    }
    const uint64_t stride = longs * 4ull;
    const uint64_t file_size = m_reader.FileSize();
    // The entries must lie within the chunk and the file.
    if (n > (c.size < 24 ? 0 : (c.size - 24) / stride) || c.Data() + 24 + n * stride > file_size) {
        return false;
    }
    if (base >= file_size && (base >> 32) == (base & 0xFFFFFFFFu)) {
        base &= 0xFFFFFFFFu;  // a known writer fault: the high half repeats the low one
    }
    if (count_only) {
        *count += n;
        return true;
    }
    const bool audio = m_file.m_streams[stream].IsAudio();
    std::vector<uint8_t> block;
    for (uint64_t done = 0; done < n;) {
        const uint64_t k = std::min<uint64_t>(n - done, kBlockEntries);
        block.resize(static_cast<size_t>(k * stride));
        if (!m_reader.Read(c.Data() + 24 + done * stride, block.data(), block.size())) {
            return false;
        }
        for (uint64_t i = 0; i < k; ++i) {
            const uint8_t* e = block.data() + i * stride;
            const uint32_t off = GetLE32(e), size = GetLE32(e + 4);
            const bool key = audio || (size & 0x80000000u) == 0;
            if (!AddChunk(stream, base + off, size & 0x7FFFFFFFu, key)) {
                // Entries outside the file end the stream; one followed by
                // entries inside it means the index is not to be trusted.
                if (done + i + 1 < n) {
                    return false;
                }
            }
        }
        done += k;
    }
    return true;
}

bool AviIndexBuilder::BuildOpenDml() {
    auto& streams = m_file.m_streams;
    if (streams.empty()) {
        return false;
    }
    // Per stream, the positions of its standard index chunks.
    std::vector<std::vector<uint64_t>> parts(streams.size());
    for (size_t s = 0; s < streams.size(); ++s) {
        const StreamIndexInfo& info = m_streamIndex[s];
        if (info.indxPos == 0 || info.indxSize < 24) {
            return false;
        }
        uint8_t h[24];
        if (!m_reader.Read(info.indxPos + 8, h, sizeof h)) {
            return false;
        }
        const uint32_t longs = GetLE16(h), type = h[3];
        const uint64_t n = GetLE32(h + 4);
        if (type == kIndexOfChunks) {
            parts[s].push_back(info.indxPos);  // a super index that is itself a standard index
            continue;
        }
        if (type != kIndexOfIndexes || longs != 4 || n == 0 || n > (info.indxSize - 24) / 16) {
            return false;
        }
        std::vector<uint8_t> entries(static_cast<size_t>(n * 16));
        if (!m_reader.Read(info.indxPos + 8 + 24, entries.data(), entries.size())) {
            return false;
        }
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t pos = GetLE64(entries.data() + i * 16);
            if (pos != 0) {
                parts[s].push_back(pos);
            }
        }
    }
    // Count first, so each stream's list is reserved once. Every entry
    // takes at least 8 bytes of the file; more entries than that means the
    // super indexes name the same standard index again and again.
    std::vector<uint64_t> counts(streams.size(), 0);
    uint64_t total = 0;
    for (size_t s = 0; s < streams.size(); ++s) {
        for (uint64_t pos : parts[s]) {
            if (!ReadStandardIndex(s, pos, true, &counts[s])) {
                return false;
            }
        }
        total += counts[s];
    }
    if (total > m_maxEntries) {
        return false;
    }
    for (size_t s = 0; s < streams.size(); ++s) {
        streams[s].m_chunks.reserve(static_cast<size_t>(counts[s]));
    }
    for (size_t s = 0; s < streams.size(); ++s) {
        for (uint64_t pos : parts[s]) {
            if (!ReadStandardIndex(s, pos, false, nullptr)) {
                ClearChunks();
                return false;
            }
        }
    }
    return true;
}

// ---- idx1 ----------------------------------------------------------------

// Finds what idx1 offsets count from: the 'movi' list type (as the format
// says), the file start (some writers), or whatever shift makes the first
// entry land on the first chunk of the movi list. A base is taken when the
// first entries all land on chunk headers with their id and size.
bool AviIndexBuilder::DetectIdx1Base(uint64_t* base) {
    if (m_movis.empty()) {
        return false;
    }
    const uint64_t n = m_idx1Size / 16;
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(n, 64) * 16));
    if (!m_reader.Read(m_idx1Pos + 8, head.data(), head.size())) {
        return false;
    }
    const size_t streams = m_file.m_streams.size();
    std::vector<size_t> probe;
    for (size_t i = 0; i < head.size() / 16 && probe.size() < 8; ++i) {
        const uint8_t* e = head.data() + i * 16;
        const uint32_t id = GetLE32(e);
        const int s = StreamOfChunkId(id);
        if ((GetLE32(e + 4) & kIdx1List) == 0 && s >= 0 && static_cast<size_t>(s) < streams) {
            probe.push_back(i);
        }
    }
    if (probe.empty()) {
        return false;
    }
    std::vector<uint64_t> candidates = {m_movis[0].fourccPos, 0};
    // The shift that puts the first entry on the first data chunk of movi.
    RiffChunk c;
    for (uint64_t pos = m_movis[0].fourccPos + 4; pos + 8 <= m_movis[0].end;) {
        if (!m_reader.HeaderAt(pos, &c)) {
            break;
        }
        if (c.id == FourCC("LIST") && c.listType == FourCC("rec ")) {
            pos += 12;
            continue;
        }
        if (StreamOfChunkId(c.id) >= 0 && !IsIndexChunk(c.id)) {
            const uint64_t first = GetLE32(head.data() + probe[0] * 16 + 8);
            if (pos >= first) {
                candidates.push_back(pos - first);
            }
            break;
        }
        pos = c.Next();
    }
    for (uint64_t b : candidates) {
        bool all = true;
        for (size_t i : probe) {
            const uint8_t* e = head.data() + i * 16;
            if (!m_reader.HeaderAt(b + GetLE32(e + 8), &c) || c.id != GetLE32(e) ||
                c.size != GetLE32(e + 12)) {
                all = false;
                break;
            }
        }
        if (all) {
            *base = b;
            return true;
        }
    }
    return false;
}

bool AviIndexBuilder::BuildIdx1() {
    if (m_idx1Pos == 0 || m_idx1Size < 16) {
        return false;
    }
    const uint64_t file_size = m_reader.FileSize();
    uint64_t n = m_idx1Size / 16;
    n = std::min<uint64_t>(n, (file_size - std::min(file_size, m_idx1Pos + 8)) / 16);
    if (n == 0) {
        return false;
    }
    uint64_t base = 0;
    if (!DetectIdx1Base(&base)) {
        return false;
    }
    auto& streams = m_file.m_streams;
    std::vector<uint64_t> counts(streams.size(), 0);
    std::vector<uint8_t> block;
    bool outside_seen = false;
    // First pass: how many entries each stream has; second pass: the entries.
    for (int pass = 0; pass < 2; ++pass) {
        for (uint64_t done = 0; done < n;) {
            const uint64_t k = std::min<uint64_t>(n - done, kBlockEntries);
            block.resize(static_cast<size_t>(k * 16));
            if (!m_reader.Read(m_idx1Pos + 8 + done * 16, block.data(), block.size())) {
                ClearChunks();
                return false;
            }
            for (uint64_t i = 0; i < k; ++i) {
                const uint8_t* e = block.data() + i * 16;
                const uint32_t id = GetLE32(e), flags = GetLE32(e + 4);
                const int s = StreamOfChunkId(id);
                if ((flags & kIdx1List) != 0 || s < 0 || static_cast<size_t>(s) >= streams.size() ||
                    IsPaletteChange(id) || IsIndexChunk(id)) {
                    continue;
                }
                if (pass == 0) {
                    ++counts[s];
                    continue;
                }
                const uint64_t header = base + GetLE32(e + 8);
                const bool key = streams[s].IsAudio() || (flags & kIdx1Keyframe) != 0;
                if (!AddChunk(static_cast<size_t>(s), header + 8, GetLE32(e + 12), key)) {
                    outside_seen = true;  // a truncated file loses its last chunks
                } else if (outside_seen) {
                    // Chunks outside the file followed by chunks inside it:
                    // the index is broken, walk the movi list instead.
                    ClearChunks();
                    return false;
                }
            }
            done += k;
        }
        if (pass == 0) {
            uint64_t total = 0;
            for (uint64_t c : counts) {
                total += c;
            }
            if (total > m_maxEntries) {
                return false;
            }
            for (size_t s = 0; s < streams.size(); ++s) {
                streams[s].m_chunks.reserve(static_cast<size_t>(counts[s]));
            }
        }
    }
    return true;
}

// ---- walking movi ----------------------------------------------------------

bool AviIndexBuilder::PlausibleHeader(const RiffChunk& c, uint64_t end) const {
    const int s = StreamOfChunkId(c.id);
    if (s >= 0 && static_cast<size_t>(s) < m_file.m_streams.size()) {
        // A data chunk may be cut off by the end of the file.
        return c.Data() + c.size <= end || end >= m_reader.FileSize();
    }
    const bool known = c.id == FourCC("LIST") || c.id == FourCC("JUNK") || c.id == FourCC("idx1") ||
                       IsIndexChunk(c.id) || c.id == FourCC("RIFF");
    return known && c.Data() + c.size <= end;
}

void AviIndexBuilder::ScanMovi(const Movi& movi) {
    RiffChunk c;
    uint64_t pos = movi.fourccPos + 4;
    const size_t streams = m_file.m_streams.size();
    while (pos + 8 <= movi.end) {
        if (!m_reader.HeaderAt(pos, &c)) {
            break;
        }
        if (!PlausibleHeader(c, movi.end)) {
            ++pos;  // resynchronise on the next plausible header
            continue;
        }
        if (c.id == FourCC("LIST")) {
            // Records ('rec ') are walked into; other lists skipped.
            pos =
                c.listType == FourCC("rec ") || c.listType == FourCC("movi") ? pos + 12 : c.Next();
            continue;
        }
        if (c.id == FourCC("idx1") || c.id == FourCC("RIFF")) {
            break;
        }
        const int s = StreamOfChunkId(c.id);
        if (s >= 0 && static_cast<size_t>(s) < streams && !IsIndexChunk(c.id) &&
            !IsPaletteChange(c.id)) {
            if (c.Data() + c.size > m_reader.FileSize()) {
                AddChunk(static_cast<size_t>(s), c.Data(), c.size, true);
                break;
            }
            AddChunk(static_cast<size_t>(s), c.Data(), c.size, true);
        }
        uint64_t next = c.Next();
        if ((c.size & 1u) != 0) {
            // Some writers leave out the pad byte of odd chunks.
            RiffChunk padded, unpadded;
            if (next + 8 <= movi.end && m_reader.HeaderAt(next, &padded) &&
                !PlausibleHeader(padded, movi.end) && m_reader.HeaderAt(next - 1, &unpadded) &&
                PlausibleHeader(unpadded, movi.end)) {
                next -= 1;
            }
        }
        pos = next;
    }
}

void AviIndexBuilder::BuildScan() {
    ClearChunks();
    // Without an index the key flags are unknown; every chunk counts as key.
    m_keysKnown = false;
    // The header's length is only a hint here; the lists grow as needed.
    // What is reserved for all streams together stays within the chunks the
    // movi lists can hold, however many streams claim billions of frames.
    uint64_t budget = std::min<uint64_t>(m_maxEntries, 1u << 20);
    for (AviStream& s : m_file.m_streams) {
        const uint64_t hint = s.m_sampleSize == 0 ? s.m_info.dwLength : 0;
        const uint64_t n = std::min(hint, budget);
        s.m_chunks.reserve(static_cast<size_t>(n));
        budget -= n;
    }
    for (const Movi& m : m_movis) {
        ScanMovi(m);
    }
}

// ---- derived values --------------------------------------------------------

void AviIndexBuilder::Finish() {
    for (AviStream& s : m_file.m_streams) {
        s.m_file = &m_file;  // chunks are read while the build finishes
    }
    for (AviStream& s : m_file.m_streams) {
        auto& chunks = s.m_chunks;
        // Without an index the key frames are found in the bitstream where
        // the codec allows; otherwise every chunk counts as a key frame.
        const bool scanned = !m_keysKnown && s.IsVideo() && AviKeyFrameScanner::MarkKeyFrames(s);
        const bool all_key = s.IsAudio() || !s.IsVideo() || (!m_keysKnown && !scanned);
        bool any_key = false;
        uint32_t largest = 0;
        uint64_t total = 0;
        for (AviChunkRef& r : chunks) {
            if (all_key) {
                r.SetSizeKey(r.Size(), true);
            }
            any_key = any_key || r.Key();
            largest = std::max(largest, r.Size());
        }
        const auto flagged = std::count_if(chunks.begin(), chunks.end(),
                                           [](const AviChunkRef& r) { return r.Key(); });
        const bool onlyFirst = flagged == 1 && !chunks.empty() && chunks.front().Key();
        if ((flagged == 0 || onlyFirst) && chunks.size() > 1 && s.IsVideo() &&
            AviKeyFrameScanner::IsIntraOnly(s)) {
            // An index that flags no frame (or the first alone) of a codec
            // whose frames all stand alone: every frame with data is a key
            // frame, so cuts and joins may begin anywhere and outputs flag
            // them so.
            any_key = false;
            for (AviChunkRef& r : chunks) {
                r.SetSizeKey(r.Size(), r.Size() > 0);
                any_key = any_key || r.Key();
            }
        }
        if (!any_key && !chunks.empty()) {
            chunks[0].SetSizeKey(chunks[0].Size(), true);  // an index without key flags
        }
        uint64_t prev_key = AviChunkRef::kNoKey;
        for (size_t i = 0; i < chunks.size(); ++i) {
            AviChunkRef& r = chunks[i];
            if (s.m_sampleSize != 0) {
                r.SetExtra(total);
            } else {
                if (r.Key()) {
                    prev_key = i;
                }
                r.SetExtra(prev_key);
            }
            total += r.Size();
        }
        s.m_totalBytes = total;
        const uint64_t length = s.m_sampleSize != 0 ? total / s.m_sampleSize : chunks.size();
        const uint64_t max_length =
            static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) - s.m_info.dwStart;
        s.m_info.dwLength = static_cast<uint32_t>(std::min(length, max_length));
        if (s.m_info.dwSuggestedBufferSize < largest) {
            s.m_info.dwSuggestedBufferSize = largest;
        }
    }
}

}  // namespace trelvan
