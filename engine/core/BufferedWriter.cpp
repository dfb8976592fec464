#include "BufferedWriter.h"

#include <algorithm>
#include <cstring>

namespace trelvan {

BufferedWriter::BufferedWriter(IoFile& file, uint64_t start, size_t buffer_size)
    : m_file(file), m_buf(std::max<size_t>(buffer_size, 4096)), m_bufStart(start), m_pos(start) {}

bool BufferedWriter::Flush() {
    if (!m_ok) {
        return false;
    }
    if (m_used > 0) {
        if (!m_file.WriteAt(m_bufStart, m_buf.data(), m_used)) {
            m_ok = false;
            return false;
        }
        m_bufStart += m_used;
        m_used = 0;
    }
    return true;
}

bool BufferedWriter::Write(const void* data, size_t n) {
    if (!m_ok) {
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    if (m_used + n <= m_buf.size()) {
        std::memcpy(m_buf.data() + m_used, p, n);
        m_used += n;
        m_pos += n;
        return true;
    }
    if (!Flush()) {
        return false;
    }
    if (n >= m_buf.size()) {
        if (!m_file.WriteAt(m_pos, p, n)) {
            m_ok = false;
            return false;
        }
        m_pos += n;
        m_bufStart = m_pos;
        return true;
    }
    std::memcpy(m_buf.data(), p, n);
    m_used = n;
    m_pos += n;
    return true;
}

uint8_t* BufferedWriter::Reserve(size_t n) {
    if (!m_ok || n > m_buf.size()) {
        return nullptr;
    }
    if (m_used + n > m_buf.size() && !Flush()) {
        return nullptr;
    }
    return m_buf.data() + m_used;
}

void BufferedWriter::Commit(size_t n) {
    m_used += n;
    m_pos += n;
}

bool BufferedWriter::CopyFrom(IoFile& from, uint64_t from_offset, uint64_t n) {
    if (!Flush()) {
        return false;
    }
    if (n > 0 && !m_file.CopyFrom(from, from_offset, m_pos, n)) {
        m_ok = false;
        return false;
    }
    m_pos += n;
    m_bufStart = m_pos;
    return true;
}

bool BufferedWriter::WriteZeros(size_t n) {
    static const uint8_t kZeros[4096] = {};
    while (n > 0) {
        const size_t k = std::min(n, sizeof kZeros);
        if (!Write(kZeros, k)) {
            return false;
        }
        n -= k;
    }
    return true;
}

bool BufferedWriter::Patch(uint64_t offset, const void* data, size_t n) {
    if (!m_ok) {
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    // The part before the buffer goes to the file, the part inside to the buffer.
    if (offset < m_bufStart) {
        const size_t head = static_cast<size_t>(std::min<uint64_t>(n, m_bufStart - offset));
        if (!m_file.WriteAt(offset, p, head)) {
            m_ok = false;
            return false;
        }
        offset += head;
        p += head;
        n -= head;
    }
    if (n == 0) {
        return true;
    }
    if (offset + n > m_pos) {
        return false;  // only bytes already written may be patched
    }
    std::memcpy(m_buf.data() + (offset - m_bufStart), p, n);
    return true;
}

}  // namespace trelvan
