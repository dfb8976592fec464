// Inputs the ASF fuzz target found, replayed through the target's calls: the
// reader opens or refuses each, and whatever it reads, a pass-through copy
// holds and our reader reads back alike.
#include <gtest/gtest.h>

#include <filesystem>

#include "AsfHeaderInfo.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "Fixtures.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

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

void Replay(const std::vector<uint8_t>& input) {
    asf::AsfReader r;
    if (r.Open(std::make_unique<MemFile>(input)) != wm::hr::kOk) {
        return;
    }
    auto profile = wm::Profile::FromHeader(r.Header());
    MemFile out;
    wm::AsfWriter w;
    ASSERT_EQ(w.Open(std::make_unique<Shared>(out), *profile), profile->GetStreamCount() > 0 ? wm::hr::kOk : wm::hr::kInvalidArg);
    if (profile->GetStreamCount() == 0) {
        return;
    }
    for (const asf::Attribute& a : r.Header().attributes) {
        w.Header().SetAttribute(a.stream, a.name, a.type, a.value);
    }
    for (const asf::CodecInfo& c : r.Header().codecs) {
        w.Header().AddCodecInfo(c);
    }
    for (const asf::Script& s : r.Header().scripts) {
        w.Header().AddScript(s);
    }
    ASSERT_EQ(w.BeginWriting(), wm::hr::kOk);
    std::vector<asf::AsfSample> written;
    asf::AsfSample s;
    for (int i = 0; i < 100000 && r.Next(s) == wm::hr::kOk; ++i) {
        if (written.size() < 200 &&
            w.WriteSample(s.stream, s.time, s.duration, s.key ? 1 : 0, s.data.data(), s.data.size()) ==
                wm::hr::kOk) {
            written.push_back(s);
        }
    }
    ASSERT_EQ(w.EndWriting(), wm::hr::kOk);
    asf::AsfReader back;
    ASSERT_EQ(back.Open(std::make_unique<MemFile>(out.Bytes())), wm::hr::kOk);
    size_t i = 0;
    while (back.Next(s) == wm::hr::kOk) {
        ASSERT_LT(i, written.size());
        EXPECT_EQ(s.stream, written[i].stream) << i;
        EXPECT_EQ(s.key, written[i].key) << i;
        EXPECT_EQ(s.time / 10000, written[i].time / 10000) << i;
        ASSERT_EQ(s.data, written[i].data) << i;
        ++i;
    }
    EXPECT_EQ(i, written.size());
}

TEST(AsfFuzzRegressTest, FoundInputsReadAndCopyAlike) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(TRELVAN_ASF_REGRESS_DIR)) {
        if (e.path().extension() == ".bin") {
            SCOPED_TRACE(e.path().filename().string());
            Replay(ReadBytes(e.path().string()));
            ++n;
        }
    }
    EXPECT_GT(n, 0u);
}

}  // namespace
