// asf-bench read FILE       opens FILE and reads every sample; prints the count
// asf-bench copy SRC DST    copies SRC into DST sample by sample, unchanged
#include <cstdio>
#include <cstring>
#include <string>

#include "AsfHeaderInfo.h"
#include "AsfReader.h"
#include "AsfWriter.h"
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

int Copy(const std::string& src, const std::string& dst) {
    asf::AsfReader r;
    if (r.Open(src, ReadAheadOpener()) != wm::hr::kOk) {
        std::fprintf(stderr, "cannot open %s\n", src.c_str());
        return 1;
    }
    auto profile = wm::Profile::FromHeader(r.Header());
    wm::AsfWriter w;
    if (w.Open(OpenDiskFile(dst, OpenMode::CreateTruncate), *profile) != wm::hr::kOk) {
        return 1;
    }
    for (const asf::Attribute& a : r.Header().attributes) {
        w.Header().SetAttribute(a.stream, a.name, a.type, a.value);
    }
    wm::HRESULT hr = w.BeginWriting();
    asf::AsfSample s;
    while (wm::Succeeded(hr) && r.Next(s) == wm::hr::kOk) {
        hr = w.WriteSample(s.stream, s.time, s.duration, s.key ? wm::kSampleCleanPoint : 0,
                           s.data.data(), s.data.size());
    }
    const wm::HRESULT end = w.EndWriting();
    return wm::Failed(hr) || wm::Failed(end) ? 1 : 0;
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
