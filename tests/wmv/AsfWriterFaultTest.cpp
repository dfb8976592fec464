#include <gtest/gtest.h>

#include <thread>

#include "AsfFixtures.h"
#include "AsfProbe.h"
#include "AsfReader.h"
#include "AsfWriter.h"
#include "Fixtures.h"
#include "Probe.h"
#include "Process.h"

namespace {

using namespace trelvan;
using namespace trelvan::test;

// A memory file that the test can read after the writer closed it.
class SharedMemFile : public IoFile {
  public:
    explicit SharedMemFile(std::shared_ptr<MemFile> f) : m_f(std::move(f)) {}
    int64_t ReadAt(uint64_t o, void* b, size_t n) override { return m_f->ReadAt(o, b, n); }
    bool WriteAt(uint64_t o, const void* b, size_t n) override { return m_f->WriteAt(o, b, n); }
    int64_t Size() override { return m_f->Size(); }
    bool Truncate(uint64_t s) override { return m_f->Truncate(s); }
    bool Close() override { return true; }

  private:
    std::shared_ptr<MemFile> m_f;
};

std::vector<asf::AsfSample> AllSamples(std::unique_ptr<IoFile> f, asf::AsfReader& r) {
    std::vector<asf::AsfSample> out;
    EXPECT_EQ(r.Open(std::move(f)), wm::hr::kOk);
    asf::AsfSample s;
    while (r.Next(s) == wm::hr::kOk) {
        out.push_back(std::move(s));
    }
    return out;
}

struct Source {
    asf::AsfReader reader;
    std::vector<asf::AsfSample> samples;
    explicit Source(const std::string& path) {
        samples = AllSamples(OpenDiskFile(path, OpenMode::Read), reader);
    }
};

// Writes every sample of `src` through a writer whose file fails past
// `limit` bytes; returns what the writer said at the end.
wm::HRESULT WriteWithLimit(Source& src, std::shared_ptr<MemFile> mem, uint64_t limit,
                           wm::HRESULT* sample_result) {
    auto profile = wm::Profile::FromHeader(src.reader.Header());
    wm::AsfWriterOptions small;
    small.bufferSize = 16 << 10;  // so that some packets land before the disk fills
    wm::AsfWriter w(small);
    EXPECT_EQ(w.Open(std::make_unique<FaultyFile>(std::make_unique<SharedMemFile>(mem), limit), *profile),
              wm::hr::kOk);
    wm::HRESULT hr = w.BeginWriting();
    for (const asf::AsfSample& s : src.samples) {
        if (wm::Failed(hr)) {
            break;
        }
        hr = w.WriteSample(s.stream, s.time, s.duration, s.key ? 1 : 0, s.data.data(), s.data.size());
    }
    *sample_result = hr;
    return w.EndWriting();
}

TEST(AsfWriterFaultTest, FullDiskLeavesAReadableFileWithTheSamplesThatLanded) {
    Source src(MadeAsfFiles()[1].path);  // WMV2 + WMA v2
    const uint64_t limits[] = {3000, 20000, 40000, 60000};
    for (uint64_t limit : limits) {
        SCOPED_TRACE(limit);
        auto mem = std::make_shared<MemFile>();
        wm::HRESULT sample_hr = wm::hr::kOk;
        EXPECT_EQ(WriteWithLimit(src, mem, limit, &sample_hr), wm::hr::kFileWrite);
        EXPECT_TRUE(sample_hr == wm::hr::kOk || sample_hr == wm::hr::kFileWrite);
        asf::AsfReader back;
        const auto got = AllSamples(std::make_unique<MemFile>(mem->Bytes()), back);
        EXPECT_EQ(back.Header().props.fileSize, mem->Bytes().size());
        EXPECT_EQ(back.PacketCount(), back.Header().props.packetCount);
        ASSERT_LT(got.size(), src.samples.size());
        EXPECT_EQ(back.BadPackets(), 0u);
        // What is there is the source's samples in order, per stream.
        std::map<uint16_t, size_t> next;
        for (const asf::AsfSample& s : got) {
            size_t& i = next[s.stream];
            while (i < src.samples.size() && src.samples[i].stream != s.stream) {
                ++i;
            }
            ASSERT_LT(i, src.samples.size());
            EXPECT_EQ(s.data, src.samples[i].data);
            EXPECT_EQ(s.time, src.samples[i].time);
            ++i;
        }
        const std::string path = ScratchDir() + "/full.wmv";
        WriteBytes(path, mem->Bytes());
        std::string errors;
        EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
    }
}

TEST(AsfWriterFaultTest, SamplesFromTwoThreadsAllArriveWhole) {
    Source src(MadeAsfFiles()[1].path);
    auto profile = wm::Profile::FromHeader(src.reader.Header());
    auto mem = std::make_shared<MemFile>();
    wm::AsfWriter w;
    ASSERT_EQ(w.Open(std::make_unique<SharedMemFile>(mem), *profile), wm::hr::kOk);
    ASSERT_EQ(w.BeginWriting(), wm::hr::kOk);
    auto run = [&](bool video) {
        for (const asf::AsfSample& s : src.samples) {
            if (src.reader.Header().Stream(s.stream)->IsVideo() == video) {
                EXPECT_EQ(w.WriteSample(s.stream, s.time, s.duration, s.key ? 1 : 0, s.data.data(),
                                        s.data.size()),
                          wm::hr::kOk);
            }
        }
    };
    std::thread a(run, true), b(run, false);
    a.join();
    b.join();
    ASSERT_EQ(w.EndWriting(), wm::hr::kOk);
    asf::AsfReader back;
    const auto got = AllSamples(std::make_unique<MemFile>(mem->Bytes()), back);
    ASSERT_EQ(got.size(), src.samples.size());
    std::map<uint16_t, std::vector<std::vector<uint8_t>>> want, have;
    for (const auto& s : src.samples) {
        want[s.stream].push_back(s.data);
    }
    for (const auto& s : got) {
        have[s.stream].push_back(s.data);
    }
    EXPECT_EQ(have, want);
}

TEST(AsfWriterFaultTest, CallsOutOfOrderAreRefused) {
    Source src(MadeAsfFiles()[4].path);  // audio only
    auto profile = wm::Profile::FromHeader(src.reader.Header());
    wm::AsfWriter w;
    const uint8_t byte = 1;
    EXPECT_EQ(w.WriteSample(1, 0, 0, 0, &byte, 1), wm::hr::kWrongState);
    ASSERT_EQ(w.Open(std::make_unique<MemFile>(), *profile), wm::hr::kOk);
    EXPECT_EQ(w.WriteSample(1, 0, 0, 0, &byte, 1), wm::hr::kWrongState);
    ASSERT_EQ(w.BeginWriting(), wm::hr::kOk);
    EXPECT_EQ(w.BeginWriting(), wm::hr::kWrongState);
    EXPECT_EQ(w.WriteSample(9, 0, 0, 0, &byte, 1), wm::hr::kBadSample);
    EXPECT_EQ(w.WriteSample(1, 0, 0, 0, &byte, 0), wm::hr::kBadSample);
    EXPECT_EQ(w.EndWriting(), wm::hr::kOk);
    EXPECT_EQ(w.EndWriting(), wm::hr::kOk);
}

}  // namespace

namespace {

TEST(AsfWriterFaultTest, NumberOfFramesCountsTheSamplesWritten) {
    Source src(MadeAsfFiles()[1].path);
    auto profile = wm::Profile::FromHeader(src.reader.Header());
    auto mem = std::make_shared<MemFile>();
    wm::AsfWriter w;
    ASSERT_EQ(w.Open(std::make_unique<SharedMemFile>(mem), *profile), wm::hr::kOk);
    ASSERT_EQ(w.Header().SetAttribute(1, "NumberOfFrames", asf::kAttrQword, wm::AttrQword(999)), wm::hr::kOk);
    ASSERT_EQ(w.BeginWriting(), wm::hr::kOk);
    int video = 0;
    for (const asf::AsfSample& s : src.samples) {
        if (s.stream == 1 && video++ < 7) {
            ASSERT_EQ(w.WriteSample(s.stream, s.time, s.duration, s.key ? 1 : 0, s.data.data(), s.data.size()),
                      wm::hr::kOk);
        }
    }
    ASSERT_EQ(w.EndWriting(), wm::hr::kOk);
    asf::AsfReader back;
    ASSERT_EQ(back.Open(std::make_unique<MemFile>(mem->Bytes())), wm::hr::kOk);
    bool found = false;
    for (const asf::Attribute& a : back.Header().attributes) {
        if (a.stream == 1 && a.name == "NumberOfFrames") {
            found = true;
            EXPECT_EQ(a.value, wm::AttrQword(7));
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace

namespace {

TEST(AsfWriterFaultTest, HeadersRefuseWhatTheyCannotHold) {
    wm::HeaderInfo writer(true), reader(false);
    const auto word = wm::AttrDword(1);
    struct Case {
        const char* what;
        wm::HeaderInfo* header;
        uint16_t stream;
        std::string name;
        uint16_t type;
        std::vector<uint8_t> value;
        wm::HRESULT result;
    };
    const Case cases[] = {
        {"a stored attribute", &writer, 0, "WM/Genre", asf::kAttrString, wm::AttrString("Test"), wm::hr::kOk},
        {"a derived attribute", &writer, 0, "Duration", asf::kAttrQword, wm::AttrQword(5), wm::hr::kInvalidArg},
        {"any attribute of a reader's header", &reader, 0, "WM/Genre", asf::kAttrString, wm::AttrString("x"),
         wm::hr::kInvalidArg},
        {"stream number 128", &writer, 128, "X", asf::kAttrDword, word, wm::hr::kInvalidArg},
        {"a name past 64 KiB", &writer, 0, std::string(40000, 'n'), asf::kAttrDword, word, wm::hr::kInvalidArg},
        {"a BOOL of 2 bytes", &writer, 0, "B", asf::kAttrBool, {1, 0}, wm::hr::kInvalidArg},
        {"a GUID of 15 bytes", &writer, 1, "G", asf::kAttrGuid, std::vector<uint8_t>(15), wm::hr::kInvalidArg},
        {"an unknown type", &writer, 0, "U", 9, word, wm::hr::kInvalidArg},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.header->SetAttribute(c.stream, c.name, c.type, c.value), c.result);
    }
    asf::Script long_script{"TEXT", std::string(40000, 'c'), 0};
    EXPECT_EQ(writer.AddScript(long_script), wm::hr::kInvalidArg);
    EXPECT_EQ(reader.AddCodecInfo(asf::CodecInfo{}), wm::hr::kInvalidArg);
}

}  // namespace
