// avi-read-bench: opens an AVI or WAV file through the program's AVI file
// layer and reads every sample of every stream, as the benchmark script
// times it. With --dump it prints each stream and each sample's size and key
// flag instead (for looking at a file by hand).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AviFile.h"
#include "ErrorCodes.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: avi-read-bench FILE [--dump]\n");
        return 2;
    }
    const bool dump = argc > 2 && std::strcmp(argv[2], "--dump") == 0;
    int32_t error = 0;
    auto avi = trelvan::AviFile::Open(argv[1], &error);
    if (!avi) {
        std::fprintf(stderr, "open failed: %d\n", error);
        return 1;
    }
    std::vector<uint8_t> buf(1 << 20);
    uint64_t total_bytes = 0, total_samples = 0, sum = 0;
    for (int i = 0; i < avi->StreamCount(); ++i) {
        trelvan::AviStream& s = avi->Stream(i);
        const auto& info = s.Info();
        if (dump) {
            std::printf(
                "stream %d type %.4s handler %.4s scale %u rate %u start %u length %u "
                "samplesize %u chunks %lld format %zu\n",
                i, reinterpret_cast<const char*>(&info.fccType),
                reinterpret_cast<const char*>(&info.fccHandler), info.dwScale, info.dwRate,
                info.dwStart, info.dwLength, info.dwSampleSize,
                static_cast<long long>(s.ChunkCount()), s.Format().size());
        }
        for (int32_t pos = s.Start(); pos < s.Start() + s.Length();) {
            int64_t bytes = 0;
            int32_t samples = 0;
            if (s.Read(pos, trelvan::kReadConvenient, nullptr, 0, &bytes, &samples) != 0) {
                std::fprintf(stderr, "size query failed at %d\n", pos);
                return 1;
            }
            if (static_cast<size_t>(bytes) > buf.size()) {
                buf.resize(static_cast<size_t>(bytes));
            }
            if (s.Read(pos, samples, buf.data(), static_cast<int64_t>(buf.size()), &bytes,
                       &samples) != 0 ||
                samples == 0) {
                std::fprintf(stderr, "read failed at %d\n", pos);
                return 1;
            }
            if (dump) {
                std::printf("%d %lld %d\n", pos, static_cast<long long>(bytes),
                            s.IsKeyFrame(pos) ? 1 : 0);
            }
            if (bytes > 0) {
                sum += buf[0] + buf[static_cast<size_t>(bytes) - 1];
            }
            total_bytes += static_cast<uint64_t>(bytes);
            total_samples += static_cast<uint64_t>(samples);
            pos += samples;
        }
    }
    std::printf("streams %d samples %llu bytes %llu check %llu\n", avi->StreamCount(),
                static_cast<unsigned long long>(total_samples),
                static_cast<unsigned long long>(total_bytes), static_cast<unsigned long long>(sum));
    return 0;
}
