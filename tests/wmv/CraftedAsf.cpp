#include "CraftedAsf.h"

namespace trelvan::test::crafted {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}
void Put64(Bytes& b, uint64_t v) {
    Put32(b, static_cast<uint32_t>(v));
    Put32(b, static_cast<uint32_t>(v >> 32));
}
void PutGuid(Bytes& b, const asf::Guid& g) { b.insert(b.end(), g.b.begin(), g.b.end()); }

namespace {
void PutSized(Bytes& b, unsigned type, uint32_t v) {
    switch (type & 3) {
        case 1: b.push_back(static_cast<uint8_t>(v)); break;
        case 2: Put16(b, static_cast<uint16_t>(v)); break;
        case 3: Put32(b, v); break;
        default: break;
    }
}
}  // namespace

Bytes Object(const asf::Guid& id, const Bytes& body, uint64_t size_override) {
    Bytes b;
    PutGuid(b, id);
    Put64(b, size_override != 0 ? size_override : 24 + body.size());
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes FileProperties(uint32_t packet_size, uint64_t packets, uint64_t play_100ns, uint64_t preroll_ms) {
    Bytes b(16, 0x11);
    Put64(b, 0);
    Put64(b, 0);
    Put64(b, packets);
    Put64(b, play_100ns);
    Put64(b, play_100ns);
    Put64(b, preroll_ms);
    Put32(b, 2);
    Put32(b, packet_size);
    Put32(b, packet_size);
    Put32(b, 64000);
    return Object(asf::guid::kFileProperties, b);
}

namespace {
Bytes Stream(const asf::Guid& type, uint16_t number, const Bytes& type_data, const asf::Guid& ec,
             const Bytes& ec_data, bool encrypted) {
    Bytes b;
    PutGuid(b, type);
    PutGuid(b, ec);
    Put64(b, 0);
    Put32(b, static_cast<uint32_t>(type_data.size()));
    Put32(b, static_cast<uint32_t>(ec_data.size()));
    Put16(b, static_cast<uint16_t>(number | (encrypted ? 0x8000 : 0)));
    Put32(b, 0);
    b.insert(b.end(), type_data.begin(), type_data.end());
    b.insert(b.end(), ec_data.begin(), ec_data.end());
    return Object(asf::guid::kStreamProperties, b);
}
}  // namespace

Bytes AudioStream(uint16_t number, uint8_t span, uint16_t vpl, uint16_t vcl, bool encrypted) {
    Bytes wave;
    Put16(wave, 0x161);
    Put16(wave, 1);
    Put32(wave, 8000);
    Put32(wave, 1000);
    Put16(wave, 64);
    Put16(wave, 16);
    Put16(wave, 0);
    Bytes ec;
    if (span != 0) {
        ec.push_back(span);
        Put16(ec, vpl);
        Put16(ec, vcl);
        Put16(ec, 1);
        ec.push_back(0);
    }
    return Stream(asf::guid::kAudioMedia, number, wave,
                  span != 0 ? asf::guid::kAudioSpread : asf::guid::kNoErrorCorrection, ec, encrypted);
}

Bytes VideoStream(uint16_t number) {
    Bytes v;
    Put32(v, 16);
    Put32(v, 16);
    v.push_back(2);
    Put16(v, 40);
    Put32(v, 40);
    Put32(v, 16);
    Put32(v, 16);
    Put16(v, 1);
    Put16(v, 24);
    Put32(v, 0x32564D57);  // WMV2
    for (int i = 0; i < 5; ++i) {
        Put32(v, 0);
    }
    return Stream(asf::guid::kVideoMedia, number, v, asf::guid::kNoErrorCorrection, {}, false);
}

Bytes HeaderExtension(const Bytes& children) {
    Bytes b;
    PutGuid(b, asf::guid::kReserved1);
    Put16(b, 6);
    Put32(b, static_cast<uint32_t>(children.size()));
    b.insert(b.end(), children.begin(), children.end());
    return Object(asf::guid::kHeaderExtension, b);
}

Bytes Header(const Bytes& children, uint64_t size_override) {
    Bytes b;
    Put32(b, 0);
    b.push_back(1);
    b.push_back(2);
    b.insert(b.end(), children.begin(), children.end());
    return Object(asf::guid::kHeader, b, size_override);
}

Bytes Replicated(uint32_t object_size, uint32_t time_ms) {
    Bytes b;
    Put32(b, object_size);
    Put32(b, time_ms);
    return b;
}

Bytes Packet(uint32_t size, const std::vector<PayloadLayout>& payloads, const PacketLayout& layout) {
    Bytes body;
    if (layout.multiple) {
        body.push_back(static_cast<uint8_t>(payloads.size() | (layout.payloadLengthType << 6)));
    }
    for (const PayloadLayout& p : payloads) {
        body.push_back(static_cast<uint8_t>(p.stream | (p.key ? 0x80 : 0)));
        PutSized(body, layout.objectType, p.objectNumber);
        PutSized(body, layout.offsetType, p.offset);
        PutSized(body, layout.replicatedType, static_cast<uint32_t>(p.replicated.size()));
        body.insert(body.end(), p.replicated.begin(), p.replicated.end());
        if (layout.multiple) {
            PutSized(body, layout.payloadLengthType,
                     p.lengthOverride >= 0 ? static_cast<uint32_t>(p.lengthOverride)
                                           : static_cast<uint32_t>(p.data.size()));
        }
        body.insert(body.end(), p.data.begin(), p.data.end());
    }
    Bytes head;
    if (layout.errorCorrection) {
        head = {0x82, 0, 0};
    }
    const uint8_t flags = static_cast<uint8_t>((layout.multiple ? 1 : 0) | (layout.sequenceType << 1) |
                                               (layout.paddingType << 3) | (layout.packetLengthType << 5));
    const uint8_t props = static_cast<uint8_t>(layout.replicatedType | (layout.offsetType << 2) |
                                               (layout.objectType << 4) | (1 << 6));
    const size_t fixed = head.size() + 2 + (layout.packetLengthType ? (1u << (layout.packetLengthType - 1)) : 0) +
                         (layout.sequenceType ? (1u << (layout.sequenceType - 1)) : 0) +
                         (layout.paddingType ? (1u << (layout.paddingType - 1)) : 0) + 6;
    const int64_t pad = static_cast<int64_t>(size) - static_cast<int64_t>(fixed + body.size());
    head.push_back(flags);
    head.push_back(props);
    PutSized(head, layout.packetLengthType,
             layout.packetLengthOverride >= 0 ? static_cast<uint32_t>(layout.packetLengthOverride) : size);
    PutSized(head, layout.sequenceType, 0);
    PutSized(head, layout.paddingType,
             layout.paddingOverride >= 0 ? static_cast<uint32_t>(layout.paddingOverride)
                                       : static_cast<uint32_t>(pad > 0 ? pad : 0));
    Put32(head, layout.sendTimeMs);
    Put16(head, 0);
    head.insert(head.end(), body.begin(), body.end());
    head.resize(size, 0);
    return head;
}

Bytes File(const Bytes& header, const std::vector<Bytes>& packets, const Bytes& trailing,
           uint64_t data_size_override) {
    Bytes out = header;
    Bytes data(16, 0x11);
    Put64(data, packets.size());
    data.push_back(1);
    data.push_back(1);
    size_t total = 0;
    for (const Bytes& p : packets) {
        total += p.size();
    }
    PutGuid(out, asf::guid::kData);
    Put64(out, data_size_override != 0 ? data_size_override : 50 + total);
    out.insert(out.end(), data.begin(), data.end());
    for (const Bytes& p : packets) {
        out.insert(out.end(), p.begin(), p.end());
    }
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

Bytes SmallValidFile() {
    Bytes children = FileProperties(200, 2, 50000000, 1000);
    const Bytes a = AudioStream(1);
    children.insert(children.end(), a.begin(), a.end());
    const Bytes ext = HeaderExtension({});
    children.insert(children.end(), ext.begin(), ext.end());
    std::vector<Bytes> packets;
    for (uint32_t i = 0; i < 2; ++i) {
        PayloadLayout p;
        p.objectNumber = i;
        p.replicated = Replicated(64, 1000 + 100 * i);
        p.data.assign(64, static_cast<uint8_t>(i + 1));
        packets.push_back(Packet(200, {p}));
    }
    return File(Header(children), packets);
}

}  // namespace trelvan::test::crafted
