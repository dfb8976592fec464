#include "CWaveFileACM.h"

#include <algorithm>
#include <cstring>
#include <span>

using trelvan::AudioConversion;
using SizeFrom = trelvan::AudioConversion::SizeFrom;

namespace {

constexpr size_t kFileFormatBlock = 256;
constexpr uint32_t kWriteBufferBytes = 0x3000;  // converted bytes per step when writing
constexpr uint32_t kReadBufferBytes = 0xC000;   // file bytes per step when reading
// The other side of a conversion step is sized from the format record; a
// record with an absurd byte rate must not make it huge.
constexpr uint32_t kMaxStepBuffer = 64u << 20;
// Decoded bytes handed out per step when reading: a window, not the step's
// whole output (which the conversion keeps until it is taken).
constexpr uint32_t kReadWindowBytes = 1u << 20;

// `size` rounded down to whole blocks, but at least one block.
uint32_t WholeBlocks(uint32_t size, uint32_t block) {
    const uint32_t n = size - size % block;
    return n > 0 ? n : block;
}

std::span<const uint8_t> Bytes18(const WAVEFORMATEX& f, uint8_t (&buf)[18]) {
    trelvan::WriteWaveFormat(f, buf);
    return {buf, sizeof buf};
}

bool UsablePcm(const WAVEFORMATEX& f) {
    return f.wFormatTag == trelvan::kWaveFormatPcm && f.nChannels != 0 && f.nSamplesPerSec != 0 &&
           f.nBlockAlign != 0;
}

}  // namespace

CWaveFileACM::CWaveFileACM() = default;

CWaveFileACM::~CWaveFileACM() {
    Close();
}

void CWaveFileACM::SetFileFormat(const void* format, size_t size) {
    m_acm.m_fileFormat = {};
    m_acm.m_fileFormatSize = 0;
    if (format == nullptr) {
        return;
    }
    const auto* p = static_cast<const uint8_t*>(format);
    // 18 bytes plus the extra bytes, or the whole 256 when there are 238 or
    // more of them; never more than the caller's block holds.
    size_t keep = kFileFormatBlock;
    if (size >= trelvan::kWaveFormatExSize) {
        const uint16_t extra = trelvan::bytes::GetLE16(p + 16);
        if (extra < kFileFormatBlock - trelvan::kWaveFormatExSize) {
            keep = trelvan::kWaveFormatExSize + extra;
        }
    }
    m_acm.m_fileFormat.assign(kFileFormatBlock, 0);
    // A record without its extra-bytes count (16 or 17 bytes) keeps 16
    // bytes: the count then reads as 0.
    m_acm.m_fileFormatSize = size < trelvan::kWaveFormatExSize
                                 ? std::min(size, trelvan::kPcmWaveFormatSize)
                                 : std::min(keep, size);
    std::memcpy(m_acm.m_fileFormat.data(), p, m_acm.m_fileFormatSize);
}

// The file format as far as it is meaningful: the record and its extra
// bytes (just the record for PCM).
static std::span<const uint8_t> FileFormatBytes(const CWavACM& acm) {
    WAVEFORMATEX f{};
    trelvan::ReadWaveFormat(acm.m_fileFormat.data(), acm.m_fileFormat.size(), &f);
    const size_t n = f.wFormatTag == trelvan::kWaveFormatPcm
                         ? trelvan::kWaveFormatExSize
                         : trelvan::kWaveFormatExSize + f.cbSize;
    return {acm.m_fileFormat.data(), std::min(n, acm.m_fileFormat.size())};
}

bool CWaveFileACM::ChooseWriteFormats() {
    m_acm.m_byteCount = 0;
    WAVEFORMATEX& data = m_acm.m_dataFormat;
    if (m_acm.m_fileFormat.empty()) {
        return UsablePcm(data);
    }
    WAVEFORMATEX file{};
    trelvan::ReadWaveFormat(m_acm.m_fileFormat.data(), m_acm.m_fileFormat.size(), &file);
    // The caller's block must hold the record and every extra byte it
    // announces; a format cut to 256 bytes cannot be written whole.
    const size_t needed = file.wFormatTag == trelvan::kWaveFormatPcm ||
                                  m_acm.m_fileFormatSize < trelvan::kWaveFormatExSize
                              ? trelvan::kPcmWaveFormatSize
                              : trelvan::kWaveFormatExSize + file.cbSize;
    if (m_acm.m_fileFormatSize < needed) {
        return false;
    }
    if (data.wFormatTag == trelvan::kWaveFormatPcm) {
        if (file.wFormatTag != trelvan::kWaveFormatPcm) {
            m_acm.m_midFormat = std::make_unique<WAVEFORMATEX>();
            if (!AudioConversion::SuggestPcm(FileFormatBytes(m_acm), m_acm.m_midFormat.get())) {
                return false;
            }
            if (trelvan::SameWaveFormat(*m_acm.m_midFormat, data)) {
                m_acm.m_midFormat.reset();  // one conversion step
            }
        } else {
            if (trelvan::SameWaveFormat(file, data)) {
                m_acm.m_fileFormat = {};  // no conversion at all
                m_acm.m_fileFormatSize = 0;
            }
        }
        return true;
    }
    if (file.wFormatTag == trelvan::kWaveFormatPcm) {
        trelvan::ReadWaveFormat(m_acm.m_fileFormat.data(), trelvan::kWaveFormatExSize, &data);
        m_acm.m_fileFormat = {};
        m_acm.m_fileFormatSize = 0;
        return UsablePcm(data);
    }
    data.wFormatTag = trelvan::kWaveFormatPcm;
    data.cbSize = 0;
    return AudioConversion::SuggestPcm(FileFormatBytes(m_acm), &data);
}

bool CWaveFileACM::OpenWriteConversion() {
    WAVEFORMATEX file{};
    trelvan::ReadWaveFormat(m_acm.m_fileFormat.data(), m_acm.m_fileFormat.size(), &file);
    if (file.nBlockAlign == 0) {
        return false;
    }
    const uint32_t dst_size = WholeBlocks(kWriteBufferBytes, file.nBlockAlign);
    m_acm.m_dstBuffer.assign(dst_size, 0);
    m_acm.m_headerA.pbDst = m_acm.m_dstBuffer.data();
    m_acm.m_headerA.cbDstLength = dst_size;
    uint8_t data_bytes[18];
    uint8_t mid_bytes[18];
    const auto data = Bytes18(m_acm.m_dataFormat, data_bytes);
    if (m_acm.m_midFormat) {
        const auto mid = Bytes18(*m_acm.m_midFormat, mid_bytes);
        m_acm.m_stream2 = AudioConversion::Open(data, mid);
        if (!m_acm.m_stream2) {
            return false;
        }
        m_acm.m_stream = AudioConversion::Open(mid, FileFormatBytes(m_acm));
    } else {
        m_acm.m_stream = AudioConversion::Open(data, FileFormatBytes(m_acm));
    }
    uint32_t src_size = 0;
    if (!m_acm.m_stream || !m_acm.m_stream->Size(dst_size, SizeFrom::Destination, &src_size) ||
        src_size > kMaxStepBuffer) {
        return false;
    }
    // The step's buffers are made by the first converting write: a file
    // written raw (in its own format) never needs them, and their size comes
    // from the format record's byte rate, which a source may state absurdly.
    m_acm.m_headerA.cbSrcLength = src_size;
    m_acm.m_headerA.dwSrcUser = src_size;
    if (m_acm.m_stream2) {
        m_acm.m_headerB.cbDstLength = src_size;
    }
    return true;
}

void CWaveFileACM::MakeWriteBuffers() {
    CWavACM& a = m_acm;
    if (a.m_srcBuffer.empty()) {
        a.m_srcBuffer.assign(a.m_headerA.cbSrcLength, 0);
        a.m_headerA.pbSrc = a.m_srcBuffer.data();
    }
    if (a.m_stream2 && a.m_midBuffer.empty()) {
        a.m_midBuffer.assign(a.m_headerB.cbDstLength, 0);
        a.m_headerB.pbDst = a.m_midBuffer.data();
    }
}

int32_t CWaveFileACM::OpenWrite(const std::string& path) {
    if (m_mmio.IsOpen()) {
        return 0;
    }
    m_mode = 1;
    m_writeComplete = false;
    if (!ChooseWriteFormats()) {
        return 0;
    }
    WAVEFORMATEX file{};
    const bool have_file = !m_acm.m_fileFormat.empty();
    if (have_file) {
        trelvan::ReadWaveFormat(m_acm.m_fileFormat.data(), m_acm.m_fileFormat.size(), &file);
    }
    const uint32_t format_size =
        have_file && file.wFormatTag != trelvan::kWaveFormatPcm
            ? static_cast<uint32_t>(trelvan::kWaveFormatExSize + file.cbSize)
            : static_cast<uint32_t>(trelvan::kPcmWaveFormatSize);
    if (!m_mmio.OpenWrite(path, format_size)) {
        return 0;
    }
    bool ok;
    if (have_file) {
        ok = m_mmio.Write(m_acm.m_fileFormat.data(), static_cast<int32_t>(format_size)) ==
                 static_cast<int32_t>(format_size) &&
             OpenWriteConversion();
    } else {
        uint8_t buf[18];
        trelvan::WriteWaveFormat(m_acm.m_dataFormat, buf);
        ok = m_mmio.Write(buf, 16) == 16;
    }
    ok = ok && m_mmio.BeginData(m_acm.m_byteCount);
    if (!ok) {
        Close();
        return 0;
    }
    return 1;
}

bool CWaveFileACM::PutData(const uint8_t* p, uint32_t n) {
    if (n == 0) {
        return true;
    }
    if (m_mmio.Write(p, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) {
        return false;
    }
    if (m_acm.m_stream) {
        m_acm.m_stream->Observe(p, n);  // MPEG audio: its frames give the fact value
    }
    m_acm.m_byteCount += n;
    return true;
}

int32_t CWaveFileACM::WriteRaw(const void* buffer, int32_t count) {
    if (!m_mmio.IsOpen() || m_mode != 1 || count <= 0) {
        return 0;
    }
    return PutData(static_cast<const uint8_t*>(buffer), static_cast<uint32_t>(count)) ? count : 0;
}

uint32_t CWaveFileACM::FactFrames() const {
    const uint32_t block = m_acm.m_dataFormat.nBlockAlign;
    if (block == 0) {
        return 0;
    }
    if (!m_acm.m_stream) {
        return m_acm.m_byteCount / block;
    }
    uint32_t src = 0;
    if (!m_acm.m_stream->Size(m_acm.m_byteCount, SizeFrom::Destination, &src)) {
        return 0;
    }
    if (m_acm.m_stream2) {
        uint32_t src2 = 0;
        if (!m_acm.m_stream2->Size(src, SizeFrom::Destination, &src2)) {
            return 0;
        }
        src = src2;
    }
    return src / block;
}

// Converts the main step's source buffer and writes what comes out. With
// `end` everything is converted and the codec's tail flushed; otherwise the
// bytes the codec leaves (part of a block) move to the front.
bool CWaveFileACM::ConvertMain(bool end) {
    CWavACM& a = m_acm;
    uint32_t used = 0;
    uint32_t out = 0;
    if (!a.m_stream->Convert(a.m_srcBuffer.data(), a.m_srcFill, &used, a.m_dstBuffer.data(),
                             static_cast<uint32_t>(a.m_dstBuffer.size()), &out, end)) {
        return false;
    }
    a.m_headerA.cbSrcLengthUsed = used;
    a.m_headerA.cbDstLengthUsed = out;
    for (;;) {
        if (!PutData(a.m_dstBuffer.data(), out)) {
            return false;
        }
        if (!a.m_stream->HasPendingOutput()) {
            break;
        }
        uint32_t none = 0;
        if (!a.m_stream->Convert(nullptr, 0, &none, a.m_dstBuffer.data(),
                                 static_cast<uint32_t>(a.m_dstBuffer.size()), &out, false)) {
            return false;
        }
    }
    std::memmove(a.m_srcBuffer.data(), a.m_srcBuffer.data() + used, a.m_srcFill - used);
    a.m_srcFill -= used;
    return true;
}

// Collects source bytes for the main step, converting each time the buffer
// is full.
bool CWaveFileACM::FeedMain(const uint8_t* src, uint32_t n) {
    CWavACM& a = m_acm;
    const uint32_t cap = static_cast<uint32_t>(a.m_srcBuffer.size());
    while (n > 0) {
        const uint32_t k = std::min(n, cap - a.m_srcFill);
        std::memcpy(a.m_srcBuffer.data() + a.m_srcFill, src, k);
        a.m_srcFill += k;
        src += k;
        n -= k;
        if (a.m_srcFill == cap) {
            if (!ConvertMain(false)) {
                return false;
            }
            if (a.m_srcFill == cap) {
                return false;  // the codec took nothing of a full buffer
            }
        }
    }
    return true;
}

// Sends data-format bytes through the second step into the main step.
bool CWaveFileACM::FeedSecond(const uint8_t* src, uint32_t n, bool end) {
    CWavACM& a = m_acm;
    // Whole sample frames only; a partial frame waits for the next call.
    std::vector<uint8_t>& part = a.m_src2Buffer;
    part.insert(part.end(), src, src + n);
    uint32_t used = 0;
    uint32_t out = 0;
    if (!a.m_stream2->Convert(part.data(), static_cast<uint32_t>(part.size()), &used,
                              a.m_midBuffer.data(), static_cast<uint32_t>(a.m_midBuffer.size()),
                              &out, end)) {
        return false;
    }
    part.erase(part.begin(), part.begin() + used);
    for (;;) {
        if (!FeedMain(a.m_midBuffer.data(), out)) {
            return false;
        }
        if (!a.m_stream2->HasPendingOutput()) {
            return true;
        }
        uint32_t none = 0;
        if (!a.m_stream2->Convert(nullptr, 0, &none, a.m_midBuffer.data(),
                                  static_cast<uint32_t>(a.m_midBuffer.size()), &out, false)) {
            return false;
        }
    }
}

int32_t CWaveFileACM::Write(const void* buffer, int32_t count) {
    if (!m_mmio.IsOpen() || m_mode != 1 || count <= 0) {
        return 0;
    }
    m_acm.m_inputCount += static_cast<uint64_t>(count);
    const auto* p = static_cast<const uint8_t*>(buffer);
    const auto n = static_cast<uint32_t>(count);
    if (!m_acm.m_stream) {
        return PutData(p, n) ? count : -1;
    }
    // A step without a codec fails here, before it holds any bytes, so Close
    // still finishes the file.
    if (!m_acm.m_stream->Prepare() || (m_acm.m_stream2 && !m_acm.m_stream2->Prepare())) {
        return -1;
    }
    MakeWriteBuffers();
    if (m_acm.m_stream2) {
        // Pieces of at most one main source buffer keep the second step's output small.
        const uint32_t piece = std::max<uint32_t>(m_acm.m_dataFormat.nBlockAlign, 0x3000);
        for (uint32_t done = 0; done < n;) {
            const uint32_t k = std::min(piece, n - done);
            if (!FeedSecond(p + done, k, false)) {
                return -1;
            }
            done += k;
        }
        return count;
    }
    return FeedMain(p, n) ? count : -1;
}

bool CWaveFileACM::Flush() {
    CWavACM& a = m_acm;
    if (!a.m_stream) {
        return true;
    }
    if (a.m_stream2 && (a.m_stream2->HoldsInput() || !a.m_src2Buffer.empty())) {
        if (!FeedSecond(nullptr, 0, true)) {
            return false;
        }
    }
    if (a.m_srcFill == 0 && !a.m_stream->HoldsInput()) {
        return true;  // always so after raw writes
    }
    return ConvertMain(true);
}

void CWaveFileACM::Close() {
    if (m_mmio.IsOpen() && m_mode == 1) {
        // The header is fixed also when the codec's tail could not be
        // written: the file then ends with what was written before.
        const bool flushed = Flush();
        const bool finished = m_mmio.FinishWrite(FactFrames());
        const bool closed = m_mmio.Close();
        m_writeComplete = flushed && finished && closed;
    } else if (m_mmio.IsOpen()) {
        m_mmio.FinishRead();
        m_mmio.Close();
    }
    m_acm.Reset();
}

// ---- reading ----

bool CWaveFileACM::OpenReadConversion() {
    CWavACM& a = m_acm;
    uint8_t data_bytes[18];
    if (!AudioConversion::SuggestPcm(a.m_fileFormat, &a.m_dataFormat)) {
        return false;
    }
    a.m_stream = AudioConversion::Open(a.m_fileFormat, Bytes18(a.m_dataFormat, data_bytes));
    if (!a.m_stream) {
        return false;
    }
    WAVEFORMATEX file{};
    trelvan::ReadWaveFormat(a.m_fileFormat.data(), a.m_fileFormat.size(), &file);
    const uint32_t src_size = WholeBlocks(kReadBufferBytes, file.nBlockAlign);
    uint32_t dst_size = 0;
    if (!a.m_stream->Size(src_size, SizeFrom::Source, &dst_size) || dst_size > kMaxStepBuffer) {
        return false;
    }
    // The estimate comes from the format record's byte rate; the window
    // never grows past a fixed size whatever the record says (Decode hands
    // out what the conversion keeps before it decodes more).
    dst_size = std::min((dst_size + 4095) / 4096 * 4096, kReadWindowBytes);
    a.m_srcBuffer.assign(src_size, 0);
    a.m_dstBuffer.assign(dst_size, 0);
    a.m_headerA.pbSrc = a.m_srcBuffer.data();
    a.m_headerA.cbSrcLength = src_size;
    a.m_headerA.cbSrcLengthUsed = src_size;
    a.m_headerA.dwSrcUser = src_size;
    a.m_headerA.pbDst = a.m_dstBuffer.data();
    a.m_headerA.cbDstLength = dst_size;
    a.m_headerA.dwDstUser = 0;
    return true;
}

int32_t CWaveFileACM::OpenRead(const std::string& path) {
    if (m_mmio.IsOpen()) {
        return 0;
    }
    m_mode = 0;
    const bool ok = [&] {
        if (!m_mmio.OpenRead(path)) {
            return false;
        }
        const uint32_t format_size = m_mmio.GetFormatSize();
        uint8_t head[18] = {};
        if (m_mmio.Read(head, 16) != 16) {
            return false;
        }
        WAVEFORMATEX& data = m_acm.m_dataFormat;
        trelvan::ReadWaveFormat(head, 16, &data);
        if (data.nChannels == 0 || data.nSamplesPerSec == 0 || data.nBlockAlign == 0) {
            return false;
        }
        if (data.wFormatTag != trelvan::kWaveFormatPcm) {
            // The extra-bytes count, when the chunk has one, and its bytes,
            // all inside the format chunk.
            uint16_t extra = 0;
            if (format_size >= trelvan::kWaveFormatExSize) {
                if (m_mmio.Read(head + 16, 2) != 2) {
                    return false;
                }
                extra = trelvan::bytes::GetLE16(head + 16);
            }
            if (trelvan::kWaveFormatExSize + extra > format_size && extra > 0) {
                return false;
            }
            trelvan::bytes::PutLE16(head + 16, extra);
            m_acm.m_fileFormat.assign(head, head + 18);
            m_acm.m_fileFormat.resize(trelvan::kWaveFormatExSize + extra);
            m_acm.m_fileFormatSize = m_acm.m_fileFormat.size();
            if (extra > 0 && m_mmio.Read(m_acm.m_fileFormat.data() + 18, extra) != extra) {
                return false;
            }
            if (!OpenReadConversion()) {
                return false;
            }
        }
        data.cbSize = 0;
        if (!m_mmio.DescendToData()) {
            return false;
        }
        m_acm.m_byteCount = 0;
        m_acm.m_byteLimit = m_mmio.GetDataSize();
        return true;
    }();
    if (!ok) {
        Close();
        return 0;
    }
    return 1;
}

// Refills the source buffer from the data chunk (never past its end) and
// converts; at the end of the data the codec's tail is converted whole.
bool CWaveFileACM::Decode() {
    CWavACM& a = m_acm;
    const uint32_t cap = static_cast<uint32_t>(a.m_srcBuffer.size());
    if (a.m_stream->HasPendingOutput() ||
        (a.m_endOfData && a.m_srcFill == 0 && !a.m_stream->HoldsInput())) {
        // Converted bytes that did not fit the window go out before any more
        // are decoded, so they never pile up; at the end only they are left.
        uint32_t none = 0;
        a.m_headerA.dwDstUser = 0;
        return a.m_stream->Convert(nullptr, 0, &none, a.m_dstBuffer.data(),
                                   static_cast<uint32_t>(a.m_dstBuffer.size()), &none, false) &&
               (a.m_dstFill = none, true);
    }
    if (!a.m_endOfData) {
        const uint32_t want = std::min(cap - a.m_srcFill, a.m_byteLimit - a.m_byteCount);
        if (want > 0 && m_mmio.Read(a.m_srcBuffer.data() + a.m_srcFill,
                                    static_cast<int32_t>(want)) != static_cast<int32_t>(want)) {
            return false;
        }
        a.m_srcFill += want;
        a.m_byteCount += want;
        a.m_endOfData = a.m_byteCount == a.m_byteLimit;
    }
    uint32_t used = 0;
    uint32_t out = 0;
    if (!a.m_stream->Convert(a.m_srcBuffer.data(), a.m_srcFill, &used, a.m_dstBuffer.data(),
                             static_cast<uint32_t>(a.m_dstBuffer.size()), &out, a.m_endOfData)) {
        return false;
    }
    std::memmove(a.m_srcBuffer.data(), a.m_srcBuffer.data() + used, a.m_srcFill - used);
    a.m_srcFill -= used;
    a.m_dstFill = out;
    a.m_headerA.dwDstUser = 0;
    if (out == 0 && used == 0 && !a.m_endOfData) {
        return false;  // a full buffer the codec cannot take
    }
    if (a.m_endOfData) {
        a.m_srcFill = 0;
    }
    return true;
}

int32_t CWaveFileACM::Read(void* buffer, int32_t count) {
    if (!m_mmio.IsOpen() || m_mode != 0 || count <= 0) {
        return 0;
    }
    CWavACM& a = m_acm;
    auto* p = static_cast<uint8_t*>(buffer);
    if (!a.m_stream) {
        const uint32_t n = std::min(static_cast<uint32_t>(count), a.m_byteLimit - a.m_byteCount);
        if (n == 0) {
            return 0;
        }
        if (m_mmio.Read(p, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) {
            return -1;
        }
        a.m_byteCount += n;
        return static_cast<int32_t>(n);
    }
    uint32_t delivered = 0;
    const auto want = static_cast<uint32_t>(count);
    while (delivered < want) {
        uint32_t& pos = a.m_headerA.dwDstUser;
        if (pos < a.m_dstFill) {
            const uint32_t k = std::min(want - delivered, a.m_dstFill - pos);
            std::memcpy(p + delivered, a.m_dstBuffer.data() + pos, k);
            pos += k;
            delivered += k;
            continue;
        }
        if (a.m_endOfData && a.m_srcFill == 0 && !a.m_stream->HasPendingOutput() &&
            !a.m_stream->HoldsInput()) {
            break;
        }
        if (!Decode()) {
            return -1;
        }
    }
    return static_cast<int32_t>(delivered);
}
