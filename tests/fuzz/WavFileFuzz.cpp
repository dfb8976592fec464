// libFuzzer target for the WAV reader: the input is the whole file. The RIFF
// layer (CMMio) looks for the format and data chunks on its own, then the
// wave file (CWaveFileACM) opens it as the audio pages do and decodes every
// byte of its data to PCM. Any crash, hang or huge allocation is a fault.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CMMio.h"
#include "CWaveFileACM.h"
#include "IoFile.h"

namespace {

// Every open of any path gives a fresh memory copy of the input.
trelvan::FileOpener MemoryOpener(const uint8_t* data, size_t size) {
    return [bytes = std::vector<uint8_t>(data, data + size)](
               const std::string&, trelvan::OpenMode mode) -> std::unique_ptr<trelvan::IoFile> {
        if (mode != trelvan::OpenMode::Read) {
            return nullptr;
        }
        return std::make_unique<trelvan::MemFile>(bytes);
    };
}

void ReadChunks(const uint8_t* data, size_t size) {
    CMMio mmio(MemoryOpener(data, size));
    if (mmio.OpenRead("input.wav")) {
        std::vector<uint8_t> format(std::min<uint32_t>(mmio.GetFormatSize(), 1 << 16));
        if (mmio.Read(format.data(), static_cast<int32_t>(format.size())) ==
                static_cast<int32_t>(format.size()) &&
            mmio.DescendToData()) {
            uint8_t buf[4096];
            uint32_t left = mmio.GetDataSize();
            while (left > 0) {
                const int32_t n = static_cast<int32_t>(std::min<uint32_t>(left, sizeof buf));
                if (mmio.Read(buf, n) != n) {
                    break;
                }
                left -= static_cast<uint32_t>(n);
            }
            mmio.FinishRead();
        }
    }
    mmio.Close();
}

void DecodeAll(const uint8_t* data, size_t size) {
    CWaveFileACM wave;
    wave.SetFileOpener(MemoryOpener(data, size));
    if (wave.OpenRead("input.wav") == 0) {
        return;
    }
    std::vector<uint8_t> buf(1 << 16);
    // Decoded output is bounded by what the codecs can make of the input;
    // the cap keeps one run short even for a codec that expands a lot.
    uint64_t total = 0;
    while (total < (64u << 20)) {
        const int32_t n = wave.Read(buf.data(), static_cast<int32_t>(buf.size()));
        if (n <= 0) {
            break;
        }
        total += static_cast<uint64_t>(n);
    }
    wave.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReadChunks(data, size);
    DecodeAll(data, size);
    return 0;
}
