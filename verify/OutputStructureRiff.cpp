#include <algorithm>
#include <memory>

#include "AviFile.h"
#include "ByteOrder.h"
#include "IoFile.h"
#include "OutputStructure.h"
#include "RiffReader.h"

// The RIFF families: AVI (with OpenDML continuation RIFFs) and WAV.
namespace trelvan::verify {
namespace {

using bytes::FourCC;

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kLargeChunk = 16u << 10;

std::string FourCCText(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((v >> (8 * i)) & 0xFF);
        s += c >= 0x20 && c < 0x7F ? c : '.';
    }
    return "'" + s + "'";
}

// What the header list says, as stored (the AVI reader replaces lengths by
// what its index counts, so they are read here again).
struct StoredHeaders {
    bool haveAvih = false;
    uint32_t totalFrames = 0, streams = 0, flags = 0;
    bool haveDmlh = false;
    uint32_t dmlhFrames = 0;
    struct Stream {
        uint32_t type = 0, sampleSize = 0, length = 0;
    };
    std::vector<Stream> strh;
};

void ReadStrl(RiffReader& r, uint64_t pos, uint64_t end, StoredHeaders& h) {
    RiffChunk k;
    for (; pos + 8 <= end && r.HeaderAt(pos, &k); pos = k.Next()) {
        uint8_t b[48];
        if (k.id == FourCC("strh") && k.size >= 48 && r.Read(k.Data(), b, sizeof b)) {
            h.strh.push_back({bytes::GetLE32(b), bytes::GetLE32(b + 44), bytes::GetLE32(b + 32)});
            return;
        }
    }
    h.strh.push_back({});
}

void ReadHdrl(RiffReader& r, uint64_t pos, uint64_t end, StoredHeaders& h) {
    RiffChunk k;
    for (; pos + 8 <= end && r.HeaderAt(pos, &k); pos = k.Next()) {
        uint8_t b[28];
        if (k.id == FourCC("avih") && k.size >= 28 && r.Read(k.Data(), b, sizeof b)) {
            h.haveAvih = true;
            h.flags = bytes::GetLE32(b + 12);
            h.totalFrames = bytes::GetLE32(b + 16);
            h.streams = bytes::GetLE32(b + 24);
        } else if (k.id == FourCC("LIST") && k.listType == FourCC("strl")) {
            ReadStrl(r, k.Data() + 4, std::min(end, k.Next()), h);
        } else if (k.id == FourCC("LIST") && k.listType == FourCC("odml")) {
            RiffChunk d;
            if (r.HeaderAt(k.Data() + 4, &d) && d.id == FourCC("dmlh") && d.size >= 4 &&
                r.Read(d.Data(), b, 4)) {
                h.haveDmlh = true;
                h.dmlhFrames = bytes::GetLE32(b);
            }
        }
    }
}

// The RIFFs of an AVI file must follow one another to the end of the file,
// each within it: a file cut short or grown behind its headers' back fails
// here.
std::optional<VerifyDifference> CheckRiffChain(RiffReader& r, uint64_t size, StoredHeaders& h,
                                               int* riffs) {
    uint64_t pos = 0;
    *riffs = 0;
    while (pos < size) {
        RiffChunk c;
        if (!r.HeaderAt(pos, &c)) {
            return VerifyDifference{"file", -1, static_cast<int64_t>(pos), "bytes after the last RIFF",
                                    "none", std::to_string(size - pos)};
        }
        const uint32_t form = *riffs == 0 ? FourCC("AVI ") : FourCC("AVIX");
        if (c.id != FourCC("RIFF") || (c.listType != form && !(*riffs == 0 && c.listType == FourCC("AVI\x19")))) {
            return VerifyDifference{"file", -1, static_cast<int64_t>(pos), "chunk",
                                    "RIFF " + FourCCText(form),
                                    FourCCText(c.id) + " " + FourCCText(c.listType)};
        }
        const std::string name = "RIFF " + std::to_string(*riffs);
        if (c.Data() + c.size > size) {
            return FieldDifference(name, "size (the file ends before it)", size - c.Data(), c.size);
        }
        if (*riffs == 0) {
            RiffChunk k;
            for (uint64_t p = c.Data() + 4; p + 12 <= c.Data() + c.size && r.HeaderAt(p, &k);
                 p = k.Next()) {
                if (k.id == FourCC("LIST") && k.listType == FourCC("hdrl")) {
                    ReadHdrl(r, k.Data() + 4, std::min(k.Next(), c.Data() + c.size), h);
                    break;
                }
            }
        }
        pos = c.Next();
        ++*riffs;
    }
    return std::nullopt;
}

}  // namespace

VerifyDifference FieldDifference(const std::string& where, const std::string& field,
                                 uint64_t expected, uint64_t found) {
    return {where, -1, -1, field, std::to_string(expected), std::to_string(found)};
}

std::optional<VerifyDifference> CheckAviStructure(MediaFile& file,
                                                  std::vector<std::string>* checked) {
    const std::string& path = file.Path();
    std::unique_ptr<IoFile> io = OpenDiskFile(path, OpenMode::Read);
    const int64_t size = io ? io->Size() : -1;
    if (size < 0) {
        return VerifyDifference{"file", -1, -1, "readable", "yes", "no"};
    }
    RiffReader reader(*io, static_cast<uint64_t>(size));
    StoredHeaders h;
    int riffs = 0;
    if (auto d = CheckRiffChain(reader, static_cast<uint64_t>(size), h, &riffs)) {
        return d;
    }
    if (!h.haveAvih) {
        return VerifyDifference{"avih", -1, -1, "main header", "present", "missing"};
    }
    int32_t code = 0;
    std::shared_ptr<AviFile> avi = file.Avi(&code);
    if (!avi) {
        return VerifyDifference{"file", -1, -1, "opens as an AVI file", "yes",
                                "no (error " + std::to_string(code) + ")"};
    }
    if (h.streams != static_cast<uint32_t>(avi->StreamCount()) ||
        h.strh.size() != static_cast<size_t>(avi->StreamCount())) {
        return FieldDifference("avih", "streams", h.strh.size(), h.streams);
    }
    // An index of nothing (an output without chunks) is read as none.
    int64_t chunks = 0;
    for (int i = 0; i < avi->StreamCount(); ++i) {
        chunks += avi->Stream(i).ChunkCount();
    }
    if ((h.flags & kAvifHasIndex) != 0 && avi->IndexSource() == AviIndexSource::Scan &&
        chunks > 0) {
        return VerifyDifference{"index", -1, -1, "usable index (the main header says it has one)",
                                "idx1 or OpenDML indexes", "none"};
    }
    int video = -1;
    for (int i = 0; i < avi->StreamCount(); ++i) {
        AviStream& s = avi->Stream(i);
        const StoredHeaders::Stream& sh = h.strh[static_cast<size_t>(i)];
        const std::string name = "strh " + std::to_string(i) + " " + FourCCText(sh.type);
        const uint64_t chunks = static_cast<uint64_t>(s.ChunkCount());
        if (s.IsVideo() || sh.sampleSize == 0) {
            if (sh.length != chunks) {
                return FieldDifference(name, "length (chunks in the index)", chunks, sh.length);
            }
        } else {
            const uint64_t lo = s.TotalBytes() / sh.sampleSize;
            const uint64_t hi = (s.TotalBytes() + sh.sampleSize - 1) / sh.sampleSize;
            if (sh.length != lo && sh.length != hi) {
                return FieldDifference(name, "length (samples of the indexed bytes)", hi, sh.length);
            }
        }
        if (s.IsVideo() && video < 0) {
            video = i;
        }
        // Every indexed chunk is where the index says, whole, with its
        // stream's id and the size the index gives.
        for (int64_t k = 0; k < s.ChunkCount(); ++k) {
            const uint64_t at = s.ChunkOffset(k);
            const uint32_t n = s.ChunkSize(k);
            const std::string stream = "stream " + std::to_string(i);
            if (at < 8 || at + n > static_cast<uint64_t>(size)) {
                return VerifyDifference{stream, k, static_cast<int64_t>(at), "chunk end in the file",
                                        "at most " + std::to_string(size), std::to_string(at + n)};
            }
            uint8_t ch[8];
            // Headers of large chunks are read on their own; those of small
            // ones through the reader's read-ahead.
            const bool read = n >= kLargeChunk ? io->ReadAt(at - 8, ch, sizeof ch) == 8
                                               : avi->ReadExact(at - 8, ch, sizeof ch);
            if (!read) {
                return VerifyDifference{stream, k, static_cast<int64_t>(at - 8), "chunk header",
                                        "readable", "unreadable"};
            }
            if (StreamOfChunkId(bytes::GetLE32(ch)) != i || bytes::GetLE32(ch + 4) != n) {
                return VerifyDifference{stream, k, static_cast<int64_t>(at - 8),
                                        "chunk header (id, size)",
                                        "'" + std::to_string(i / 10) + std::to_string(i % 10) +
                                            "..' " + std::to_string(n),
                                        FourCCText(bytes::GetLE32(ch)) + " " +
                                            std::to_string(bytes::GetLE32(ch + 4))};
            }
        }
        checked->push_back("stream " + std::to_string(i) + " " + FourCCText(sh.type) + ": " +
                           std::to_string(chunks) + " chunks as indexed, length " +
                           std::to_string(sh.length));
    }
    if (video >= 0) {
        const uint64_t frames = static_cast<uint64_t>(avi->Stream(video).ChunkCount());
        if (h.haveDmlh) {
            if (h.dmlhFrames != frames) {
                return FieldDifference("dmlh", "total frames", frames, h.dmlhFrames);
            }
            if (h.totalFrames > frames) {
                return FieldDifference("avih", "total frames (of the first RIFF)", frames,
                                       h.totalFrames);
            }
        } else if (h.totalFrames != frames) {
            return FieldDifference("avih", "total frames", frames, h.totalFrames);
        }
    }
    checked->push_back(std::to_string(riffs) + " RIFF, avih total frames " +
                       std::to_string(h.totalFrames));
    return std::nullopt;
}

std::optional<VerifyDifference> CheckWaveStructure(MediaFile& file,
                                                   std::vector<std::string>* checked) {
    const std::string& path = file.Path();
    std::unique_ptr<IoFile> io = OpenDiskFile(path, OpenMode::Read);
    const int64_t ssize = io ? io->Size() : -1;
    if (ssize < 12) {
        return VerifyDifference{"file", -1, -1, "readable", "yes", "no"};
    }
    const auto size = static_cast<uint64_t>(ssize);
    RiffReader reader(*io, size);
    RiffChunk riff;
    if (!reader.HeaderAt(0, &riff)) {
        return VerifyDifference{"file", -1, -1, "RIFF header", "present", "missing"};
    }
    const bool rf64 = riff.id != FourCC("RIFF");
    uint64_t riff_size = riff.size;
    uint64_t ds64_data = 0;
    RiffChunk c;
    if (rf64) {
        uint8_t d[16];
        if (!reader.HeaderAt(12, &c) || c.id != FourCC("ds64") || c.size < 16 ||
            !reader.Read(c.Data(), d, sizeof d)) {
            return VerifyDifference{"ds64", -1, -1, "chunk", "present", "missing"};
        }
        riff_size = bytes::GetLE64(d);
        ds64_data = bytes::GetLE64(d + 8);
    }
    const uint64_t riff_end = 8 + riff_size;
    if (riff_end > size || riff_end + (riff_size & 1u) < size) {
        return FieldDifference("RIFF", "size (file size less 8)", size - 8, riff_size);
    }
    bool have_fmt = false, have_data = false;
    uint64_t data_size = 0;
    for (uint64_t pos = 12, next = 0; pos < riff_end; pos = next) {
        if (pos + 8 > riff_end || !reader.HeaderAt(pos, &c)) {
            return VerifyDifference{"RIFF", -1, static_cast<int64_t>(pos), "chunk header",
                                    "8 bytes", std::to_string(riff_end - pos) + " bytes"};
        }
        // An RF64 data chunk's size is in ds64.
        const uint64_t n = c.id == FourCC("data") && rf64 && c.size == 0xFFFFFFFFu ? ds64_data : c.size;
        if (c.Data() + n > riff_end) {
            return FieldDifference(FourCCText(c.id), "size (bytes left in the RIFF)",
                                   riff_end - c.Data(), n);
        }
        have_fmt = have_fmt || c.id == FourCC("fmt ");
        if (c.id == FourCC("data") && !have_data) {
            have_data = true;
            data_size = n;
        }
        next = c.Data() + n + (n & 1u);
    }
    if (!have_fmt || !have_data) {
        return VerifyDifference{"RIFF", -1, -1, "chunks", "'fmt ' and 'data'",
                                have_fmt ? "no 'data'" : "no 'fmt '"};
    }
    checked->push_back("RIFF size " + std::to_string(riff_size) + ", data " +
                       std::to_string(data_size) + " bytes");
    return std::nullopt;
}

}  // namespace trelvan::verify
