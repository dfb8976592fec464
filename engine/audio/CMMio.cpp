#include "CMMio.h"

#include <algorithm>

#include "ByteOrder.h"

using trelvan::BufferedWriter;
using trelvan::OpenMode;
namespace bytes = trelvan::bytes;

namespace {
constexpr uint32_t kRiff = bytes::FourCC("RIFF");
constexpr uint32_t kWave = bytes::FourCC("WAVE");
// Small writes (headers, the link page's 48,000-byte blocks) gather in the
// buffer; a block at least this large goes to the file directly, saving a copy.
constexpr size_t kWriteBuffer = 256 * 1024;
}  // namespace

CMMio::CMMio(trelvan::FileOpener opener, uint64_t riff_size_limit)
    : m_opener(std::move(opener)), m_riffLimit(riff_size_limit) {
    m_riff.ckid = kRiff;
    m_riff.fccType = kWave;
    m_fmt.ckid = bytes::FourCC("fmt ");
    m_data.ckid = bytes::FourCC("data");
    m_fact.ckid = bytes::FourCC("fact");
}

CMMio::~CMMio() {
    Close();
}

bool CMMio::Close() {
    bool ok = true;
    if (m_writer) {
        ok = m_writer->Flush();
        m_writer.reset();
    }
    if (m_file) {
        ok = m_file->Close() && ok;
        m_file.reset();
    }
    return ok;
}

// ---- reading ----

bool CMMio::FindChunk(uint32_t id, uint64_t from, uint64_t end, MMCKINFO* out) {
    uint64_t pos = from;
    uint8_t head[8];
    while (pos + 8 <= end) {
        if (m_file->ReadAt(pos, head, 8) != 8) {
            return false;
        }
        const uint32_t ckid = bytes::GetLE32(head);
        const uint32_t size = bytes::GetLE32(head + 4);
        if (ckid == id) {
            out->ckid = ckid;
            out->cksize = size;
            out->dwDataOffset = pos + 8;
            out->dwFlags = 0;
            return true;
        }
        pos += 8 + static_cast<uint64_t>(size) + (size & 1u);
    }
    return false;
}

bool CMMio::OpenRead(const std::string& path) {
    m_path = path;
    m_file = m_opener ? m_opener(path, OpenMode::Read) : nullptr;
    if (!m_file) {
        return false;
    }
    const int64_t size = m_file->Size();
    if (size < 0) {
        return false;
    }
    m_fileSize = static_cast<uint64_t>(size);
    // The first top-level RIFF chunk of form "WAVE".
    uint64_t pos = 0;
    uint8_t head[12];
    bool found = false;
    while (pos + 12 <= m_fileSize) {
        if (m_file->ReadAt(pos, head, 12) != 12) {
            return false;
        }
        const uint32_t size32 = bytes::GetLE32(head + 4);
        if (bytes::GetLE32(head) == kRiff && bytes::GetLE32(head + 8) == kWave) {
            m_riff.cksize = size32;
            m_riff.dwDataOffset = pos + 8;
            found = true;
            break;
        }
        pos += 8 + static_cast<uint64_t>(size32) + (size32 & 1u);
    }
    if (!found) {
        return false;
    }
    const uint64_t riff_end = std::min(m_riff.dwDataOffset + m_riff.cksize, m_fileSize);
    if (!FindChunk(m_fmt.ckid, m_riff.dwDataOffset + 4, riff_end, &m_fmt) || m_fmt.cksize < 16) {
        return false;
    }
    m_readPos = m_fmt.dwDataOffset;
    return true;
}

int32_t CMMio::Read(void* buffer, int32_t count) {
    if (!m_file || m_writer || count <= 0) {
        return 0;
    }
    const int64_t got = m_file->ReadAt(m_readPos, buffer, static_cast<size_t>(count));
    if (got != count) {
        return 0;
    }
    m_readPos += static_cast<uint64_t>(count);
    return count;
}

bool CMMio::DescendToData() {
    if (!m_file || m_writer) {
        return false;
    }
    const uint64_t riff_end = std::min(m_riff.dwDataOffset + m_riff.cksize, m_fileSize);
    const uint64_t after_fmt = m_fmt.dwDataOffset + m_fmt.cksize + (m_fmt.cksize & 1u);
    if (!FindChunk(m_data.ckid, after_fmt, riff_end, &m_data)) {
        return false;
    }
    // A size reaching past the end of the file means only what is there.
    const uint64_t there = m_fileSize - m_data.dwDataOffset;
    if (m_data.cksize > there) {
        m_data.cksize = static_cast<uint32_t>(there);
    }
    m_readPos = m_data.dwDataOffset;
    return true;
}

bool CMMio::FinishRead() {
    if (!m_file || m_writer || m_data.dwDataOffset == 0) {
        return false;
    }
    m_readPos = std::min(m_riff.dwDataOffset + m_riff.cksize, m_fileSize);
    return true;
}

// ---- writing ----

bool CMMio::OpenWrite(const std::string& path, uint32_t format_size) {
    m_path = path;
    m_file = m_opener ? m_opener(path, OpenMode::CreateTruncate) : nullptr;
    if (!m_file) {
        return false;
    }
    m_writer = std::make_unique<BufferedWriter>(*m_file, 0, kWriteBuffer);
    m_limitReached = false;
    m_riff.cksize = 0;
    m_fmt.cksize = format_size;
    m_data.dwDataOffset = 0;
    m_fact.dwDataOffset = 0;
    if (!CreateChunk(&m_riff, true) || !CreateChunk(&m_fmt, false)) {
        Close();
        return false;
    }
    return true;
}

bool CMMio::CreateChunk(MMCKINFO* ck, bool riff) {
    uint8_t head[12];
    bytes::PutLE32(head, ck->ckid);
    bytes::PutLE32(head + 4, ck->cksize);
    bytes::PutLE32(head + 8, ck->fccType);
    const int32_t n = riff ? 12 : 8;
    if (Write(head, n) != n) {
        return false;
    }
    ck->dwDataOffset = m_writer->Position() - (riff ? 4 : 0);
    ck->dwFlags = 0;
    return true;
}

// Leaves a chunk this object created: pads odd data to even length and puts
// the true size into the header when it differs from the one written.
bool CMMio::AscendWrite(MMCKINFO* ck) {
    const uint64_t size = m_writer->Position() - ck->dwDataOffset;
    if (size > 0xFFFFFFFFull) {
        return false;
    }
    if ((size & 1u) != 0) {
        static const uint8_t kPad = 0;
        // Write() keeps room for this byte within the size limit.
        if (!m_writer->Write(&kPad, 1)) {
            return false;
        }
    }
    if (size != ck->cksize || (ck->dwFlags & 0x10000000u) != 0) {
        uint8_t le[4];
        bytes::PutLE32(le, static_cast<uint32_t>(size));
        // The size field sits just before the data (for RIFF, before the form type).
        if (!m_writer->Patch(ck->dwDataOffset - 4, le, 4)) {
            return false;
        }
        ck->cksize = static_cast<uint32_t>(size);
    }
    ck->dwFlags = 0;
    return true;
}

int32_t CMMio::Write(const void* buffer, int32_t count) {
    if (!m_writer || count <= 0) {
        return 0;
    }
    // The RIFF size after this write, counting the pad byte an odd end needs.
    const uint64_t end = m_writer->Position() + static_cast<uint64_t>(count);
    const uint64_t riff_size = end + (end & 1u) - 8;
    if (riff_size > m_riffLimit) {
        m_limitReached = true;
        return 0;
    }
    return m_writer->Write(buffer, static_cast<size_t>(count)) ? count : 0;
}

bool CMMio::BeginData(uint32_t fact_value) {
    if (!m_writer || !AscendWrite(&m_fmt)) {
        return false;
    }
    m_fact.cksize = 4;
    if (!CreateChunk(&m_fact, false)) {
        return false;
    }
    uint8_t le[4];
    bytes::PutLE32(le, fact_value);
    if (Write(le, 4) != 4 || !AscendWrite(&m_fact)) {
        return false;
    }
    m_data.cksize = 0;
    if (!CreateChunk(&m_data, false)) {
        return false;
    }
    return m_writer->Flush();
}

bool CMMio::FinishWrite(uint32_t fact_value) {
    if (!m_writer || m_data.dwDataOffset == 0) {
        return false;
    }
    const uint64_t written = m_writer->Position() - m_data.dwDataOffset;
    uint8_t le[4];
    bytes::PutLE32(le, fact_value);
    // An empty data chunk stays the last one: readers take a data size of 0
    // for "never patched, runs to the end of the file" and would read
    // whatever follows as audio.
    if (m_writer->Ok() && AscendWrite(&m_data) && (written == 0 || WriteTrailing()) &&
        AscendWrite(&m_riff) &&
        m_writer->Patch(m_fact.dwDataOffset, le, 4) && m_writer->Flush()) {
        return true;
    }
    SalvageWrite(written, fact_value);
    return false;
}

bool CMMio::WriteTrailing() {
    for (const trelvan::RiffChunkBytes& c : m_trailing) {
        MMCKINFO ck{};
        ck.ckid = c.id;
        ck.cksize = static_cast<uint32_t>(c.data.size());
        if (!CreateChunk(&ck, false) ||
            Write(c.data.data(), static_cast<int32_t>(c.data.size())) !=
                static_cast<int32_t>(c.data.size()) ||
            !AscendWrite(&ck)) {
            return false;
        }
    }
    return true;
}

// After a failed write: the bytes the writer still holds cannot be written,
// so the file is cut after the last whole block that reached it and its
// sizes are set to match, all within the part of the file already written.
bool CMMio::SalvageWrite(uint64_t written, uint32_t fact_value) {
    const uint64_t landed = m_writer->Landed();
    const uint64_t start = m_data.dwDataOffset;
    m_writer.reset();
    if (landed < start) {
        return false;  // not even the headers are there
    }
    uint32_t block = 1;
    uint8_t align[2];
    if (m_fmt.cksize >= 14 && m_file->ReadAt(m_fmt.dwDataOffset + 12, align, 2) == 2) {
        block = std::max<uint32_t>(bytes::GetLE16(align), 1);
    }
    uint64_t keep = std::min(landed - start, written);
    keep -= keep % block;
    // Odd data needs a pad byte, which must fit before the failure too.
    if ((keep & 1u) != 0 && start + keep + 1 > landed) {
        keep = keep >= block ? keep - block : 0;
    }
    // A fact value that counts blocks is counted again; any other (frames of
    // a compressed format) is scaled to the part kept.
    uint32_t fact = 0;
    if (fact_value == written / block) {
        fact = static_cast<uint32_t>(keep / block);
    } else if (written != 0) {
        fact = static_cast<uint32_t>(static_cast<unsigned __int128>(fact_value) * keep / written);
    }
    const uint64_t end = start + keep + (keep & 1u);
    bool ok = m_file->Truncate(end);
    uint8_t le[4];
    if ((keep & 1u) != 0) {
        le[0] = 0;
        ok = m_file->WriteAt(start + keep, le, 1) && ok;
    }
    bytes::PutLE32(le, static_cast<uint32_t>(keep));
    ok = m_file->WriteAt(start - 4, le, 4) && ok;
    bytes::PutLE32(le, static_cast<uint32_t>(end - 8));
    ok = m_file->WriteAt(4, le, 4) && ok;
    if (m_fact.dwDataOffset != 0) {
        bytes::PutLE32(le, fact);
        ok = m_file->WriteAt(m_fact.dwDataOffset, le, 4) && ok;
    }
    m_data.cksize = static_cast<uint32_t>(keep);
    return ok;
}
