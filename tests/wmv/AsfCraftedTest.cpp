#include <gtest/gtest.h>

#include "AsfReader.h"
#include "CraftedAsf.h"

namespace {

using namespace trelvan;
using namespace trelvan::test::crafted;

struct Outcome {
    wm::HRESULT open = 0;
    std::vector<asf::AsfSample> samples;
    uint64_t badPackets = 0;
};

Outcome ReadAll(const Bytes& file) {
    Outcome o;
    asf::AsfReader r;
    o.open = r.Open(std::make_unique<MemFile>(file));
    if (o.open == wm::hr::kOk) {
        asf::AsfSample s;
        while (r.Next(s) == wm::hr::kOk) {
            o.samples.push_back(std::move(s));
        }
        o.badPackets = r.BadPackets();
    }
    return o;
}

Bytes Body(uint16_t count_or_len, size_t extra = 0) {
    Bytes b;
    Put16(b, count_or_len);
    b.resize(b.size() + extra, 0);
    return b;
}

Bytes FileWith(const Bytes& extra_header_objects, uint32_t packet_size = 200) {
    const Bytes children = Cat({FileProperties(packet_size, 0, 50000000, 1000), AudioStream(1),
                                HeaderExtension({}), extra_header_objects});
    return File(Header(children), {});
}

TEST(AsfCraftedTest, DamagedHeadersGiveTheirCodes) {
    Bytes huge_codecs;
    PutGuid(huge_codecs, asf::guid::kReserved2);
    Put32(huge_codecs, 0xFFFFFFFF);
    Bytes huge_metadata;
    Put16(huge_metadata, 1);
    Put16(huge_metadata, 0);
    Put16(huge_metadata, 1);
    Put16(huge_metadata, 2);
    Put16(huge_metadata, 0);
    Put32(huge_metadata, 0xFFFFFFF0);
    Put16(huge_metadata, 'a');
    Bytes esp_encrypted(60, 0);
    esp_encrypted[48] = 1;  // stream number 1
    Put16(esp_encrypted, 0);
    Put16(esp_encrypted, 1);
    PutGuid(esp_encrypted, asf::guid::kExtEncryptionSampleId);
    Put16(esp_encrypted, 8);
    Put32(esp_encrypted, 0);

    struct Case {
        const char* what;
        Bytes file;
        wm::HRESULT open;
    };
    const Case cases[] = {
        {"no ASF header", Bytes(200, 0x41), wm::hr::kNotAsf},
        {"empty file", Bytes(), wm::hr::kNotAsf},
        {"header larger than the file", File(Header(FileProperties(200, 0, 1, 0), 1ull << 40), {}),
         wm::hr::kBadHeader},
        {"child object size below 24", FileWith(Object(asf::guid::kPadding, {}, 10)), wm::hr::kBadHeader},
        {"child object past its parent", FileWith(Object(asf::guid::kPadding, {}, 1ull << 33)),
         wm::hr::kBadHeader},
        {"no File Properties", File(Header(AudioStream(1)), {}), wm::hr::kBadHeader},
        {"packet size 0", FileWith({}, 0), wm::hr::kBadHeader},
        {"packet size of 2 GiB", FileWith({}, 0x80000000u), wm::hr::kTooLarge},
        {"codec count of four billion", FileWith(Object(asf::guid::kCodecList, huge_codecs)),
         wm::hr::kBadHeader},
        {"descriptor count of 65535", FileWith(Object(asf::guid::kExtendedContentDescription, Body(0xFFFF, 10))),
         wm::hr::kBadHeader},
        {"metadata value of 4 GiB",
         FileWith(HeaderExtension(Object(asf::guid::kMetadata, huge_metadata))), wm::hr::kBadHeader},
        {"content encryption", FileWith(Object(asf::guid::kContentEncryption, Bytes(16, 0))),
         wm::hr::kProtected},
        {"PlayReady object in the extension",
         FileWith(HeaderExtension(Object(asf::guid::kPlayReadyHeader, Bytes(8, 0)))), wm::hr::kProtected},
        {"encrypted stream flag",
         File(Header(Cat({FileProperties(200, 0, 1, 0), AudioStream(1, 0, 0, 0, true)})), {}),
         wm::hr::kProtected},
        {"encryption payload extension",
         FileWith(HeaderExtension(Object(asf::guid::kExtendedStreamProperties, esp_encrypted))),
         wm::hr::kProtected},
        {"no Data Object", Header(Cat({FileProperties(200, 0, 1, 0), AudioStream(1)})), wm::hr::kBadHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadAll(c.file).open, c.open);
    }
}

Bytes Audio(uint8_t span = 0, uint16_t vpl = 0, uint16_t vcl = 0) {
    return Header(Cat({FileProperties(200, 0, 50000000, 1000), AudioStream(1, span, vpl, vcl),
                       VideoStream(2), HeaderExtension({})}));
}

PayloadLayout Pl(uint8_t stream, uint32_t number, uint32_t offset, uint32_t size, uint32_t time,
               Bytes data, bool key = true) {
    PayloadLayout p;
    p.stream = stream;
    p.key = key;
    p.objectNumber = number;
    p.offset = offset;
    p.replicated = Replicated(size, time);
    p.data = std::move(data);
    return p;
}

TEST(AsfCraftedTest, PacketsOfEveryFieldWidthReadAlike) {
    for (unsigned pl : {0u, 1u, 2u, 3u}) {
        for (unsigned pad : {0u, 1u, 2u, 3u}) {
            for (unsigned off : {1u, 2u, 3u}) {
                for (bool ec : {false, true}) {
                    for (bool multiple : {false, true}) {
                        PacketLayout layout;
                        layout.errorCorrection = ec;
                        layout.packetLengthType = pl;
                        layout.paddingType = pad;
                        layout.offsetType = off;
                        layout.objectType = off;
                        layout.sequenceType = pl;
                        layout.multiple = multiple;
                        layout.payloadLengthType = pad == 0 ? 2 : pad;
                        std::vector<PayloadLayout> p = {Pl(1, 3, 0, 20, 1500, Bytes(20, 0xAB))};
                        if (multiple) {
                            p.push_back(Pl(2, 4, 0, 10, 1600, Bytes(10, 0xCD), false));
                        }
                        const Outcome o = ReadAll(File(Audio(), {Packet(200, p, layout)}));
                        SCOPED_TRACE(testing::Message() << pl << pad << off << ec << multiple);
                        if (pad == 0 && !multiple) {
                            // Without a padding field the payload runs to the packet's end.
                            ASSERT_EQ(o.samples.size(), 0u);
                            continue;
                        }
                        ASSERT_EQ(o.samples.size(), multiple ? 2u : 1u);
                        EXPECT_EQ(o.samples[0].data, Bytes(20, 0xAB));
                        EXPECT_EQ(o.samples[0].time, 5000000u);
                        EXPECT_TRUE(o.samples[0].key);
                        if (multiple) {
                            EXPECT_EQ(o.samples[1].stream, 2);
                            EXPECT_FALSE(o.samples[1].key);
                            EXPECT_EQ(o.samples[1].time, 6000000u);
                        }
                    }
                }
            }
        }
    }
}

TEST(AsfCraftedTest, FragmentsReassembleOrAreDropped) {
    const Bytes a(30, 1), b(30, 2), c(30, 3);
    Bytes whole = a;
    whole.insert(whole.end(), b.begin(), b.end());
    whole.insert(whole.end(), c.begin(), c.end());
    struct Case {
        const char* what;
        std::vector<Bytes> packets;
        size_t samples;      // of stream 1
        bool discontinuity;  // on the last sample
        bool whole = false;  // the three fragments make the one object
    };
    const Case cases[] = {
        {"three fragments over three packets between another stream's samples",
         {Packet(200, {Pl(1, 7, 0, 90, 1100, a), Pl(2, 1, 0, 5, 1100, Bytes(5, 9))}),
          Packet(200, {Pl(2, 2, 0, 5, 1140, Bytes(5, 9)), Pl(1, 7, 30, 90, 1100, b, false)}),
          Packet(200, {Pl(1, 7, 60, 90, 1100, c, false)})},
         1, false, true},
        {"a missing middle fragment drops the object",
         {Packet(200, {Pl(1, 7, 0, 90, 1100, a)}), Packet(200, {Pl(1, 7, 60, 90, 1100, c)}),
          Packet(200, {Pl(1, 8, 0, 5, 1200, Bytes(5, 4))})},
         1, true},
        {"overlapping fragments drop the object",
         {Packet(200, {Pl(1, 7, 0, 90, 1100, a)}), Packet(200, {Pl(1, 7, 20, 90, 1100, b)}),
          Packet(200, {Pl(1, 8, 0, 5, 1200, Bytes(5, 4))})},
         1, true},
        {"an object that never completes is not delivered",
         {Packet(200, {Pl(1, 7, 0, 90, 1100, a)}), Packet(200, {Pl(1, 7, 30, 90, 1100, b)})}, 0, false},
        {"an object size of 2 GiB is refused before anything is kept",
         {Packet(200, {Pl(1, 7, 0, 0x7FFFFFFF, 1100, a)}), Packet(200, {Pl(1, 8, 0, 5, 1200, Bytes(5, 4))})},
         1, true},
        {"a fragment longer than its object drops it",
         {Packet(200, {Pl(1, 7, 0, 10, 1100, a)}), Packet(200, {Pl(1, 8, 0, 5, 1200, Bytes(5, 4))})}, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = ReadAll(File(Audio(), c.packets));
        size_t audio = 0;
        const asf::AsfSample* last = nullptr;
        for (const auto& s : o.samples) {
            if (s.stream == 1) {
                ++audio;
                last = &s;
            }
        }
        ASSERT_EQ(audio, c.samples);
        if (c.whole) {
            EXPECT_EQ(o.samples.size(), 3u);  // two of stream 2, then the object
            EXPECT_EQ(last->data, whole);
            EXPECT_TRUE(last->key);  // from the first fragment
            EXPECT_EQ(last->packet, 0u);
        } else if (last != nullptr) {
            EXPECT_EQ(last->discontinuity, c.discontinuity);
        }
    }
}

TEST(AsfCraftedTest, DamagedPacketsAreSkippedWhole) {
    PayloadLayout too_long = Pl(1, 1, 0, 20, 1100, Bytes(20, 1));
    too_long.lengthOverride = 5000;
    PacketLayout bad_padding;
    bad_padding.paddingOverride = 5000;
    PacketLayout bad_length;
    bad_length.packetLengthType = 2;
    bad_length.packetLengthOverride = 5000;
    PayloadLayout rep3 = Pl(1, 1, 0, 20, 1100, Bytes(20, 1));
    rep3.replicated = {1, 2, 3};
    PayloadLayout compressed;
    compressed.offset = 1200;
    compressed.replicated = {10};  // delta 10 ms
    compressed.data = {3, 7, 7, 7, 2, 8, 8, 0, 200, 1};
    PayloadLayout empty = Pl(1, 1, 0, 20, 1100, {});
    struct Case {
        const char* what;
        Bytes packet;
        size_t samples;
        uint64_t bad;
    };
    const Case cases[] = {
        {"payload length past the packet", Packet(200, {too_long}), 0, 0},
        {"padding longer than the packet", Packet(200, {Pl(1, 1, 0, 4, 1100, Bytes(4, 1))}, bad_padding), 0, 1},
        {"packet length past the packet", Packet(200, {Pl(1, 1, 0, 4, 1100, Bytes(4, 1))}, bad_length), 0, 1},
        {"replicated data of 3 bytes", Packet(200, {rep3}), 0, 0},
        {"compressed payload: whole sub-payloads, zero-length skipped, the one past the end dropped",
         Packet(200, {compressed}), 2, 0},
        {"payload of length 0", Packet(200, {empty}), 0, 0},
        {"all zero", Bytes(200, 0), 0, 0},
        {"all ones", Bytes(200, 0xFF), 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome o = ReadAll(File(Audio(), {c.packet, Packet(200, {Pl(1, 9, 0, 4, 1900, Bytes(4, 5))})}));
        ASSERT_EQ(o.open, wm::hr::kOk);
        // The good packet after the damaged one is always read.
        ASSERT_EQ(o.samples.size(), c.samples + 1);
        EXPECT_EQ(o.samples.back().data, Bytes(4, 5));
        EXPECT_EQ(o.badPackets, c.bad);
    }
    const Outcome o = ReadAll(File(Audio(), {Packet(200, {compressed})}));
    ASSERT_EQ(o.samples.size(), 2u);
    EXPECT_EQ(o.samples[0].data, Bytes(3, 7));
    EXPECT_EQ(o.samples[0].time, 2000000u);
    EXPECT_EQ(o.samples[1].data, Bytes(2, 8));
    EXPECT_EQ(o.samples[1].time, 2100000u);
}

TEST(AsfCraftedTest, AudioSpreadIsUndone) {
    // Span 2, virtual packet 4, chunk 2: out chunk k = in chunk k / 2 + (k % 2) * 2.
    const Bytes in = {0, 0, 1, 1, 2, 2, 3, 3};
    const Outcome o = ReadAll(File(Audio(2, 4, 2), {Packet(200, {Pl(1, 0, 0, 8, 1000, in)})}));
    ASSERT_EQ(o.samples.size(), 1u);
    EXPECT_EQ(o.samples[0].data, (Bytes{0, 0, 2, 2, 1, 1, 3, 3}));
    // An object of another size is left as it is.
    const Outcome o2 = ReadAll(File(Audio(2, 4, 2), {Packet(200, {Pl(1, 0, 0, 6, 1000, Bytes(6, 1))})}));
    ASSERT_EQ(o2.samples.size(), 1u);
    EXPECT_EQ(o2.samples[0].data, Bytes(6, 1));
}

TEST(AsfCraftedTest, SizesBeyondTheFileAreNotTrusted) {
    const Bytes packet = Packet(200, {Pl(1, 0, 0, 4, 1000, Bytes(4, 1))});
    // A Data Object claiming more than the file holds: the packets there are read.
    EXPECT_EQ(ReadAll(File(Audio(), {packet, packet}, {}, 1ull << 50)).samples.size(), 2u);
    // A file cut inside its second packet.
    Bytes cut = File(Audio(), {packet, packet});
    cut.resize(cut.size() - 100);
    EXPECT_EQ(ReadAll(cut).samples.size(), 1u);
    // A Simple Index declaring more entries than it holds keeps those present.
    Bytes si(16, 0);
    Put64(si, 10000000);
    Put32(si, 1);
    Put32(si, 0xFFFFFFFF);
    Put32(si, 0);
    Put16(si, 1);
    asf::AsfReader r;
    ASSERT_EQ(r.Open(std::make_unique<MemFile>(File(Audio(), {packet}, Object(asf::guid::kSimpleIndex, si)))),
              wm::hr::kOk);
    ASSERT_EQ(r.Index().simple.size(), 1u);
    EXPECT_EQ(r.Index().simple[0].entries.size(), 1u);
}

}  // namespace
