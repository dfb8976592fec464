#include "AsfPacketParser.h"

#include "AsfByteReader.h"

namespace trelvan::asf {

bool ParsePacket(const uint8_t* p, size_t size, PacketInfo& info, std::vector<Payload>& out) {
    ByteReader r(p, size);
    uint8_t flags = r.U8();
    if (flags & 0x80) {
        // Error correction data; only its plain form (length type 00) has a
        // length readers can trust.
        if ((flags & 0x60) != 0) {
            return false;
        }
        r.Skip(flags & 0x0F);
        flags = r.U8();
        if (flags & 0x80) {
            return false;
        }
    }
    const uint8_t props = r.U8();
    const bool multiple = (flags & 1) != 0;
    const uint32_t packet_length = r.Sized(flags >> 5);
    r.Sized(flags >> 1);  // sequence
    const uint32_t padding = r.Sized(flags >> 3);
    info.sendTimeMs = r.U32();
    info.durationMs = r.U16();
    if (!r.Ok()) {
        return false;
    }
    // A Packet Length shorter than the fixed size leaves implicit padding.
    const size_t length = packet_length != 0 ? packet_length : size;
    if (length > size) {
        return false;
    }
    const size_t header = size - r.Remaining();
    // Some writers (GStreamer's asfmux in its last packet) give a length
    // that leaves the padding out: the padding then fills the packet up
    // from the length, and cannot fit within it. Read as they mean it, as
    // other readers do.
    const bool padding_after = length < size && padding > 0 && length + padding <= size &&
                               (length + padding == size || padding > length || length - padding < header);
    if (!padding_after && (padding > length || length - padding < header)) {
        return false;
    }
    info.end = padding_after ? length : length - padding;
    if (info.end < header) {
        return false;
    }
    ByteReader body(p + header, info.end - header);
    // Payloads of multiple-payload packets may run into the padding, as some
    // writers count it twice; never past the packet itself.
    ByteReader loose(p + header, size - header);

    unsigned count = 1;
    unsigned length_type = 0;
    if (multiple) {
        const uint8_t pf = body.U8();
        loose.U8();
        count = pf & 0x3F;
        length_type = pf >> 6;
    }
    ByteReader& rd = multiple ? loose : body;
    for (unsigned i = 0; i < count && rd.Ok(); ++i) {
        Payload pl;
        const uint8_t sb = rd.U8();
        pl.stream = sb & 0x7F;
        pl.key = (sb & 0x80) != 0;
        pl.objectNumber = rd.Sized(props >> 4);
        pl.offset = rd.Sized(props >> 2);
        const uint32_t rep_len = rd.Sized(props);
        const uint8_t* rep = rd.Bytes(rep_len);
        size_t len = 0;
        if (multiple) {
            len = rd.Sized(length_type);
        } else {
            len = rd.Remaining();
        }
        pl.data = rd.Bytes(len);
        pl.len = len;
        if (!rd.Ok()) {
            break;
        }
        if (len == 0 || pl.stream == 0 || (rep_len >= 2 && rep_len < 8)) {
            continue;
        }
        if (rep_len == 1) {
            pl.compressed = true;
            pl.delta = rep[0];
        } else if (rep_len == 0) {
            pl.noReplicated = true;
            pl.timeMs = info.sendTimeMs;
        } else {
            pl.objectSize = bytes::GetLE32(rep);
            pl.timeMs = bytes::GetLE32(rep + 4);
            pl.ext = rep + 8;
            pl.extLen = rep_len - 8;
        }
        out.push_back(pl);
    }
    return true;
}

}  // namespace trelvan::asf
