#include "AtomIterator.h"

#include "ByteOrder.h"

namespace trelvan::mov {

bool AtomIterator::Next(AtomView& out) {
    if (m_broken || m_rest.size() < 8) {
        return false;
    }
    const uint8_t* p = m_rest.data();
    uint64_t size = bytes::GetBE32(p);
    const uint32_t type = bytes::GetBE32(p + 4);
    if (type == 0) {
        return false;  // a terminator
    }
    size_t header = 8;
    if (size == 1) {
        if (m_rest.size() < 16) {
            m_broken = true;
            return false;
        }
        size = bytes::GetBE64(p + 8);
        header = 16;
    } else if (size == 0) {
        size = m_rest.size();
    }
    if (size < header || size > m_rest.size()) {
        m_broken = true;
        return false;
    }
    out.type = type;
    out.whole = m_rest.subspan(0, static_cast<size_t>(size));
    out.payload = out.whole.subspan(header);
    m_rest = m_rest.subspan(static_cast<size_t>(size));
    return true;
}

bool SplitFullAtom(std::span<const uint8_t> payload, uint8_t& version, uint32_t& flags,
                   std::span<const uint8_t>& rest) {
    if (payload.size() < 4) {
        return false;
    }
    version = payload[0];
    flags = bytes::GetBE24(payload.data() + 1);
    rest = payload.subspan(4);
    return true;
}

}  // namespace trelvan::mov
