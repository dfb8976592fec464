#include "StringChar.h"

#include <cstring>
#include <vector>

CStringChar::CStringChar(const char* text) {
    if (text == nullptr) {
        return;
    }
    const size_t len = std::strlen(text);
    if (len + 1 > static_cast<size_t>(INT32_MAX)) {
        return;
    }
    m_buffer.Resize(static_cast<int32_t>(len + 1));
    if (m_buffer.Fill(0)) {
        m_buffer.CopyIn(text, static_cast<int32_t>(len + 1));
    }
}

const char* CStringChar::c_str() const {
    return m_buffer.GetCount() > 0 ? m_buffer.Data() : "";
}

namespace {

// Decodes UTF-8 into code points; malformed input yields U+FFFD per bad byte.
std::vector<wchar_t> DecodeUtf8(const unsigned char* s, size_t n) {
    std::vector<wchar_t> out;
    out.reserve(n + 1);
    size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        uint32_t cp = 0;
        int extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += static_cast<size_t>(extra) + 1;
    }
    out.push_back(0);
    return out;
}

}  // namespace

CStringCharW::CStringCharW(const char* text) {
    if (text == nullptr) {
        return;
    }
    const auto wide = DecodeUtf8(reinterpret_cast<const unsigned char*>(text), std::strlen(text));
    if (wide.size() > static_cast<size_t>(INT32_MAX)) {
        return;
    }
    const auto count = static_cast<int32_t>(wide.size());
    m_buffer.Resize(count);
    if (!m_buffer.Fill(0) || !m_buffer.CopyIn(wide.data(), count)) {
        m_buffer.Free();
    }
}

const wchar_t* CStringCharW::c_str() const {
    return m_buffer.GetCount() > 0 ? m_buffer.Data() : L"";
}
