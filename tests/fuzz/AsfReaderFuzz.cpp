// libFuzzer target for the ASF layer: opens the input as an ASF file held in
// memory, reads every sample, builds the profile and header info, writes a
// pass-through copy of what was read and reads that copy back. Any crash,
// hang or huge allocation is a fault, and so is a copy our own reader
// refuses or reads differently.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "AsfHeaderInfo.h"
#include "AsfProfile.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "IoFile.h"

using namespace trelvan;

namespace {

// A memory file the fuzzer can read back after the writer closed it.
class Shared : public IoFile {
  public:
    explicit Shared(MemFile& f) : m_f(f) {}
    int64_t ReadAt(uint64_t o, void* b, size_t n) override { return m_f.ReadAt(o, b, n); }
    bool WriteAt(uint64_t o, const void* b, size_t n) override { return m_f.WriteAt(o, b, n); }
    int64_t Size() override { return m_f.Size(); }
    bool Truncate(uint64_t s) override { return m_f.Truncate(s); }
    bool Close() override { return true; }

  private:
    MemFile& m_f;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    asf::AsfReader r;
    if (r.Open(std::make_unique<MemFile>(std::vector<uint8_t>(data, data + size))) != wm::hr::kOk) {
        return 0;
    }
    auto profile = wm::Profile::FromHeader(r.Header());
    auto info = wm::HeaderInfo::ForReader(r.Header(), r.Duration(), r.FileSize(), true);
    MemFile out;
    wm::AsfWriter w;
    const bool writing = profile->GetStreamCount() > 0 &&
                         w.Open(std::make_unique<Shared>(out), *profile) == wm::hr::kOk;
    if (writing) {
        for (const asf::Attribute& a : r.Header().attributes) {
            w.Header().SetAttribute(a.stream, a.name, a.type, a.value);
        }
        for (const asf::CodecInfo& c : r.Header().codecs) {
            w.Header().AddCodecInfo(c);
        }
        for (const asf::Script& s : r.Header().scripts) {
            w.Header().AddScript(s);
        }
        if (w.BeginWriting() != wm::hr::kOk) {
            std::abort();
        }
    }
    std::vector<asf::AsfSample> written;
    asf::AsfSample s;
    for (int i = 0; i < 100000 && r.Next(s) == wm::hr::kOk; ++i) {
        if (writing && written.size() < 200 &&
            w.WriteSample(s.stream, s.time, s.duration, s.key ? 1 : 0, s.data.data(), s.data.size()) ==
                wm::hr::kOk) {
            written.push_back(s);
        }
    }
    if (!writing) {
        return 0;
    }
    if (w.EndWriting() != wm::hr::kOk) {
        std::abort();
    }
    asf::AsfReader back;
    if (back.Open(std::make_unique<MemFile>(out.Bytes())) != wm::hr::kOk) {
        std::abort();
    }
    size_t i = 0;
    while (back.Next(s) == wm::hr::kOk) {
        if (i >= written.size() || s.data != written[i].data || s.stream != written[i].stream ||
            s.key != written[i].key || s.time / 10000 != written[i].time / 10000) {
            std::abort();
        }
        ++i;
    }
    if (i != written.size()) {
        std::abort();
    }
    return 0;
}
