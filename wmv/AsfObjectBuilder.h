#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AsfGuid.h"
#include "ByteOrder.h"

namespace trelvan::asf {

// Appends little-endian fields to a byte vector, with scoped objects: Begin
// writes the GUID and a size placeholder and returns where the object
// starts; End patches the size (the whole object, header included).
class ObjectBuilder {
  public:
    explicit ObjectBuilder(std::vector<uint8_t>& out) : m_out(out) {}

    size_t Begin(const Guid& id) {
        const size_t at = m_out.size();
        Put(id);
        U64(0);
        return at;
    }
    void End(size_t at) { bytes::PutLE64(m_out.data() + at + 16, m_out.size() - at); }

    void U8(uint8_t v) { m_out.push_back(v); }
    void U16(uint16_t v) { Fixed<2>(v, bytes::PutLE16); }
    void U32(uint32_t v) { Fixed<4>(v, bytes::PutLE32); }
    void U64(uint64_t v) { Fixed<8>(v, bytes::PutLE64); }
    void Put(const Guid& g) { m_out.insert(m_out.end(), g.b.begin(), g.b.end()); }
    void Put(const std::vector<uint8_t>& b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    void Put(const std::string& b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    size_t Size() const { return m_out.size(); }
    std::vector<uint8_t>& Bytes() { return m_out; }

  private:
    template <size_t N, typename T, typename F>
    void Fixed(T v, F put) {
        uint8_t b[N];
        put(b, v);
        m_out.insert(m_out.end(), b, b + N);
    }
    std::vector<uint8_t>& m_out;
};

}  // namespace trelvan::asf
