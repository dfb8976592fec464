#include "AviTestUtil.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ByteOrder.h"
#include "Process.h"

namespace trelvan::test {
namespace {

using bytes::FourCC;
using bytes::GetLE16;
using bytes::GetLE32;

class Reader {
  public:
    explicit Reader(const std::string& path) : m_in(path, std::ios::binary) {
        m_in.seekg(0, std::ios::end);
        m_size = static_cast<uint64_t>(m_in.tellg());
    }
    bool Read(uint64_t pos, void* buf, size_t n) {
        if (pos + n > m_size) {
            return false;
        }
        m_in.seekg(static_cast<std::streamoff>(pos));
        m_in.read(static_cast<char*>(buf), static_cast<std::streamsize>(n));
        return static_cast<bool>(m_in);
    }
    std::vector<uint8_t> Bytes(uint64_t pos, size_t n) {
        std::vector<uint8_t> v(n);
        if (!Read(pos, v.data(), n)) {
            v.clear();
        }
        return v;
    }
    uint64_t Size() const { return m_size; }

  private:
    std::ifstream m_in;
    uint64_t m_size = 0;
};

void WalkStrl(const std::vector<uint8_t>& b, WalkedStream& s) {
    size_t p = 0;
    while (p + 8 <= b.size()) {
        const uint32_t id = GetLE32(&b[p]);
        const uint32_t size = GetLE32(&b[p + 4]);
        const uint8_t* d = &b[p + 8];
        if (p + 8 + size > b.size()) {
            break;
        }
        if (id == FourCC("strh") && size >= 56) {
            AviWriterStreamInfo& i = s.info;
            i.fccType = GetLE32(d);
            i.fccHandler = GetLE32(d + 4);
            i.dwFlags = GetLE32(d + 8);
            i.wPriority = GetLE16(d + 12);
            i.wLanguage = GetLE16(d + 14);
            i.dwInitialFrames = GetLE32(d + 16);
            i.dwScale = GetLE32(d + 20);
            i.dwRate = GetLE32(d + 24);
            i.dwStart = GetLE32(d + 28);
            s.length = GetLE32(d + 32);
            s.suggested = GetLE32(d + 36);
            i.dwQuality = GetLE32(d + 40);
            i.dwSampleSize = GetLE32(d + 44);
            i.rcLeft = static_cast<int16_t>(GetLE16(d + 48));
            i.rcTop = static_cast<int16_t>(GetLE16(d + 50));
            i.rcRight = static_cast<int16_t>(GetLE16(d + 52));
            i.rcBottom = static_cast<int16_t>(GetLE16(d + 54));
        } else if (id == FourCC("strf")) {
            s.format.assign(d, d + size);
        } else if (id == FourCC("strn") && size > 0) {
            s.info.name.assign(reinterpret_cast<const char*>(d),
                               strnlen(reinterpret_cast<const char*>(d), size));
        } else if (id == FourCC("indx") && size >= 24) {
            s.hasIndx = true;
            s.indxEntries = GetLE32(d + 4);
        }
        p += 8 + size + (size & 1);
    }
}

void WalkHdrl(const std::vector<uint8_t>& b, WalkedAvi& a) {
    size_t p = 0;
    while (p + 8 <= b.size()) {
        const uint32_t id = GetLE32(&b[p]);
        const uint32_t size = GetLE32(&b[p + 4]);
        if (p + 8 + size > b.size()) {
            break;
        }
        const uint8_t* d = &b[p + 8];
        if (id == FourCC("avih") && size >= 56) {
            a.avihFlags = GetLE32(d + 12);
            a.avihTotalFrames = GetLE32(d + 16);
            a.avihStreams = GetLE32(d + 24);
        } else if (id == FourCC("LIST") && size >= 4 && GetLE32(d) == FourCC("strl")) {
            WalkedStream s;
            WalkStrl(std::vector<uint8_t>(d + 4, d + size), s);
            a.streams.push_back(std::move(s));
        } else if (id == FourCC("LIST") && size >= 16 && GetLE32(d) == FourCC("odml") &&
                   GetLE32(d + 4) == FourCC("dmlh")) {
            a.hasOdml = true;
            a.dmlhFrames = GetLE32(d + 12);
        }
        p += 8 + size + (size & 1);
    }
}

}  // namespace

WalkedAvi WalkAvi(const std::string& path) {
    WalkedAvi a;
    Reader r(path);
    a.fileSize = r.Size();
    uint64_t pos = 0;
    uint8_t h[12];
    while (pos + 12 <= r.Size() && r.Read(pos, h, 12)) {
        if (GetLE32(h) != FourCC("RIFF")) {
            return a;
        }
        const uint64_t riff_end = pos + 8 + GetLE32(h + 4);
        a.riffForms.push_back(GetLE32(h + 8));
        a.riffSizes.push_back(riff_end - pos);
        uint64_t p = pos + 12;
        while (p + 8 <= riff_end && r.Read(p, h, 12)) {
            const uint32_t id = GetLE32(h);
            const uint32_t size = GetLE32(h + 4);
            if (id == FourCC("LIST") && GetLE32(h + 8) == FourCC("hdrl")) {
                WalkHdrl(r.Bytes(p + 12, size - 4), a);
            } else if (id == FourCC("LIST") && GetLE32(h + 8) == FourCC("movi")) {
                uint64_t q = p + 12;
                const uint64_t movi_end = p + 8 + size;
                while (q + 8 <= movi_end && r.Read(q, h, 8)) {
                    const uint32_t cid = GetLE32(h);
                    if ((cid & 0xFFFF) == (FourCC("ix00") & 0xFFFF)) {
                        ++a.ixChunks;
                    }
                    const uint32_t csize = GetLE32(h + 4);
                    q += 8 + csize + (csize & 1);
                }
                if (q != movi_end) {
                    return a;  // the movi list does not add up
                }
            } else if (id == FourCC("idx1")) {
                a.idx1Entries = size / 16;
            }
            p += 8 + size + (size & 1);
        }
        if (p != riff_end) {
            return a;
        }
        pos = riff_end + (riff_end & 1);
    }
    a.ok = pos == r.Size();
    return a;
}

uint32_t Adler32(const uint8_t* data, size_t n) {
    uint32_t a = 0, b = 0;  // ffmpeg's framecrc starts the sum at 0, not 1
    for (size_t i = 0; i < n; ++i) {
        a = (a + data[i]) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

std::vector<CrcPacket> FrameCrcs(const std::string& path, const std::string& stream) {
    const CommandResult r = RunCommand({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map",
                                        "0:" + stream, "-c", "copy", "-f", "framecrc", "-"},
                                       600);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    std::vector<CrcPacket> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        // stream, dts, pts, duration, size, 0xADLER[, F=0xFLAGS]
        std::vector<std::string> f;
        std::istringstream ls(line);
        std::string w;
        while (std::getline(ls, w, ',')) {
            f.push_back(w.substr(w.find_first_not_of(' ')));
        }
        if (f.size() < 6) {
            continue;
        }
        CrcPacket p;
        p.size = static_cast<uint32_t>(std::stoul(f[4]));
        p.adler = static_cast<uint32_t>(std::stoul(f[5], nullptr, 16));
        p.key = f.size() < 7 || (std::stoul(f[6].substr(2), nullptr, 16) & 1) != 0;
        out.push_back(p);
    }
    return out;
}

}  // namespace trelvan::test
