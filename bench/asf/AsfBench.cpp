// asf-bench read FILE       opens FILE and reads every sample; prints the count
// asf-bench copy SRC DST    copies SRC into DST through the WMV reader and writer wrappers
#include <cstdio>
#include <cstring>
#include <string>

#include "AsfReader.h"
#include "CDecCompWMV.h"
#include "CEncCompWMV.h"
#include "ErrorCodes.h"
#include "ReadAheadFile.h"

using namespace trelvan;

namespace {

int Read(const std::string& path) {
    asf::AsfReader r;
    if (r.Open(path, ReadAheadOpener()) != wm::hr::kOk) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    asf::AsfSample s;
    uint64_t n = 0, bytes = 0;
    while (r.Next(s) == wm::hr::kOk) {
        ++n;
        bytes += s.data.size();
    }
    std::printf("%llu samples, %llu bytes\n", static_cast<unsigned long long>(n),
                static_cast<unsigned long long>(bytes));
    return 0;
}

// The copy as the WMV pages make it: the reader wrapper's profile and header
// data into the writer wrapper, every sample through the sample handler.
int Copy(const std::string& src, const std::string& dst) {
    CDecCompWMV dec;
    CEncCompWMV enc;
    if (dec.Open(src, 0, 0) != err::kOk || enc.OpenOutput(dst, *dec.GetProfile()) != err::kOk) {
        std::fprintf(stderr, "cannot open %s or %s\n", src.c_str(), dst.c_str());
        return 1;
    }
    dec.SetSampleHandler(
        [&enc](uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
               const wm::SampleBuffer& b, void*, void*) {
            return static_cast<int>(enc.WriteSample(stream, time, duration, flags, b));
        },
        nullptr);
    int32_t rc = dec.TransferHeaderData(enc.GetHeader());
    if (rc == err::kOk) {
        rc = enc.BeginWriting();
    }
    if (rc == err::kOk) {
        rc = dec.Run();
    }
    dec.CloseSource();
    const wm::HRESULT end = enc.EndWriting();
    return rc != err::kOk || wm::Failed(end) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "read") == 0) {
        return Read(argv[2]);
    }
    if (argc == 4 && std::strcmp(argv[1], "copy") == 0) {
        return Copy(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: asf-bench read FILE | copy SRC DST\n");
    return 2;
}
