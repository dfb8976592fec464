#include "KeptChunks.h"

#include "ByteOrder.h"
#include "CDecAVI.h"

namespace trelvan {
namespace {

bool IsInfoList(const RiffChunkBytes& c) {
    return c.id == bytes::FourCC("LIST") && c.data.size() >= 4 &&
           bytes::GetLE32(c.data.data()) == bytes::FourCC("INFO");
}

template <typename Keep>
std::vector<RiffChunkBytes> Kept(const CDecAVI& source, Keep keep) {
    std::vector<RiffChunkBytes> out;
    for (RiffChunkBytes& c : source.DescriptiveChunks()) {
        if (keep(c)) {
            out.push_back(std::move(c));
        }
    }
    return out;
}

}  // namespace

std::vector<RiffChunkBytes> WavKeptChunks(const CDecAVI& source) {
    return Kept(source, [](const RiffChunkBytes& c) {
        return IsInfoList(c) || c.id == bytes::FourCC("bext");
    });
}

std::vector<RiffChunkBytes> AviKeptChunks(const CDecAVI& source) {
    return Kept(source, [](const RiffChunkBytes& c) {
        return IsInfoList(c) || c.id == bytes::FourCC("IDIT");
    });
}

}  // namespace trelvan
