#include "SampleWalk.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"

namespace trelvan::verify {

const char* KindName(MediaKind k) { return k == MediaKind::Video ? "video" : "audio"; }

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

size_t ByteStream::Read(uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n && !m_failed && !m_ended) {
        if (m_at == m_sample.data.size()) {
            const int r = m_walk->Next(m_sample);
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

uint64_t ByteStream::Skip(uint64_t n) {
    uint64_t done = 0;
    // What is left of the current sample first, then whole samples.
    const size_t here = static_cast<size_t>(std::min<uint64_t>(n, m_sample.data.size() - m_at));
    m_at += here;
    done += here;
    uint32_t size = 0;
    bool key = false;
    while (done < n && m_at == m_sample.data.size() && !m_ended && m_walk->Peek(&size, &key) &&
           size <= n - done) {
        if (m_walk->Skip() <= 0) {
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
