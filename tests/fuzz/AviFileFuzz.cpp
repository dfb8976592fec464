// libFuzzer target for the AVI file layer: opens the input as an AVI or WAV
// file held in memory and reads every sample of every stream, asks for key
// frames and decodes a few uncompressed frames. Any crash, hang or huge
// allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "AviFile.h"
#include "AviFrameDecoder.h"
#include "IoFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto file = std::make_unique<trelvan::MemFile>(std::vector<uint8_t>(data, data + size));
    int32_t error = 0;
    auto avi = trelvan::AviFile::OpenFile(std::move(file), &error);
    if (!avi) {
        return 0;
    }
    std::vector<uint8_t> buf(1 << 16);
    for (int i = 0; i < avi->StreamCount(); ++i) {
        trelvan::AviStream& s = avi->Stream(i);
        int reads = 0;
        for (int32_t pos = s.Start(); pos < s.Start() + s.Length() && reads < 100000; ++reads) {
            int64_t bytes = 0;
            int32_t samples = 0;
            if (s.Read(pos, trelvan::kReadConvenient, nullptr, 0, &bytes, &samples) != 0 ||
                samples <= 0) {
                break;
            }
            if (static_cast<size_t>(bytes) > buf.size()) {
                buf.resize(static_cast<size_t>(bytes));
            }
            if (s.Read(pos, trelvan::kReadConvenient, buf.data(), static_cast<int64_t>(buf.size()),
                       &bytes, &samples) != 0 ||
                samples <= 0) {
                break;
            }
            (void)s.IsKeyFrame(pos);
            pos += samples;
        }
        (void)s.FindPrevKeyFrame(s.Start() + s.Length() / 2);
        (void)s.FindPrevKeyFrame(-5);
        if (s.IsVideo()) {
            auto dec = trelvan::AviFrameDecoder::Open(s);
            for (int32_t f = 0; dec && f < 3 && f < s.Length(); ++f) {
                (void)dec->GetFrame(s.Start() + f);
            }
        }
    }
    return 0;
}
