#include "AsfReader.h"

#include <algorithm>

#include "AsfByteReader.h"
#include "AsfHeaderObjects.h"
#include "AsfStreamEnds.h"

namespace trelvan::asf {

namespace hr = wm::hr;

HRESULT AsfReader::Open(const std::string& path, const FileOpener& opener) {
    std::unique_ptr<IoFile> f = opener(path, OpenMode::Read);
    if (!f) {
        return hr::kFileOpen;
    }
    return Open(std::move(f));
}

void AsfReader::Close() {
    if (m_file) {
        m_file->Close();
    }
    m_file.reset();
    m_ready.clear();
}

HRESULT AsfReader::Open(std::unique_ptr<IoFile> file) {
    Close();
    m_header = AsfHeader();
    m_index = IndexInfo();
    m_file = std::move(file);
    const int64_t size = m_file->Size();
    if (size < 0) {
        return hr::kFileRead;
    }
    m_fileSize = static_cast<uint64_t>(size);

    uint8_t head[30];
    const int64_t got = m_file->ReadAt(0, head, sizeof head);
    if (got < 0) {
        return hr::kFileRead;
    }
    if (got < 30) {
        return hr::kNotAsf;
    }
    ByteReader hr0(head, sizeof head);
    if (hr0.ReadGuid() != guid::kHeader) {
        return hr::kNotAsf;
    }
    const uint64_t header_size = hr0.U64();
    if (header_size < 30 || header_size > m_fileSize) {
        return hr::kBadHeader;
    }
    if (header_size > m_limits.maxHeaderBytes) {
        return hr::kTooLarge;
    }
    std::vector<uint8_t> header(static_cast<size_t>(header_size));
    if (m_file->ReadAt(0, header.data(), header.size()) != static_cast<int64_t>(header.size())) {
        return hr::kFileRead;
    }
    HRESULT r = ParseHeaderObject(header.data(), header.size(), m_header);
    if (wm::Failed(r)) {
        return r;
    }

    // The Data Object follows the header.
    uint8_t data_head[50];
    if (m_file->ReadAt(header_size, data_head, sizeof data_head) != 50) {
        return hr::kBadHeader;
    }
    ByteReader dr(data_head, sizeof data_head);
    if (dr.ReadGuid() != guid::kData) {
        return hr::kBadHeader;
    }
    const uint64_t data_size = dr.U64();
    const FileProperties& fp = m_header.props;
    // Readers agree on one fixed packet size; a file that names two uses the
    // larger, and each packet's own length field says where it ends.
    m_packetSize = std::max(fp.minPacketSize, fp.maxPacketSize);
    if (m_packetSize < 16) {
        return hr::kBadHeader;
    }
    if (m_packetSize > m_limits.maxPacketSize) {
        return hr::kTooLarge;
    }
    m_dataStart = header_size + 50;
    // Trust the Data Object's size only within the file (a broadcast file
    // leaves it 0: packets run to the end of the file).
    uint64_t data_end = m_fileSize;
    if (data_size >= 50 && data_size <= m_fileSize - header_size) {
        data_end = header_size + data_size;
    }
    m_packetCount = (data_end - m_dataStart) / m_packetSize;
    // Whole packets, at least one, in a block of about 256 KiB.
    m_packet.resize(static_cast<size_t>(std::max<uint64_t>(1, (256u << 10) / m_packetSize)) * m_packetSize);
    m_blockFirst = 0;
    m_blockPackets = 0;

    for (StreamState& s : m_streams) {
        s = StreamState();
    }
    for (const StreamInfo& s : m_header.streams) {
        StreamState& st = m_streams[s.number & 0x7F];
        st.known = true;
        if (s.errorCorrection == guid::kAudioSpread && s.errorData.size() >= 5) {
            const uint32_t span = s.errorData[0];
            const uint32_t vpl = bytes::GetLE16(s.errorData.data() + 1);
            const uint32_t vcl = bytes::GetLE16(s.errorData.data() + 3);
            if (span > 1 && vcl != 0 && vpl / vcl > 1 && vpl % vcl == 0) {
                st.span = span;
                st.vpl = vpl;
                st.vcl = vcl;
            }
        }
    }
    m_nextPacket = 0;
    m_badPackets = 0;
    return ReadIndexObjects(data_end);
}

HRESULT AsfReader::ReadIndexObjects(uint64_t from) {
    uint64_t pos = from;
    while (pos + 24 <= m_fileSize) {
        uint8_t oh[24];
        if (m_file->ReadAt(pos, oh, sizeof oh) != 24) {
            return hr::kFileRead;
        }
        ByteReader r(oh, sizeof oh);
        const Guid id = r.ReadGuid();
        const uint64_t size = r.U64();
        if (size < 24 || size > m_fileSize - pos) {
            break;  // trailing bytes that are no object: ignored
        }
        const bool simple = id == guid::kSimpleIndex;
        if ((simple || id == guid::kIndex) && size <= m_limits.maxIndexBytes) {
            std::vector<uint8_t> body(static_cast<size_t>(size - 24));
            if (m_file->ReadAt(pos + 24, body.data(), body.size()) !=
                static_cast<int64_t>(body.size())) {
                return hr::kFileRead;
            }
            ByteReader b(body.data(), body.size());
            if (simple) {
                SimpleIndex si;
                b.ReadGuid();
                si.interval = b.U64();
                si.maxPacketCount = b.U32();
                // Entries beyond the object are not there: keep those present.
                const uint32_t count = std::min<uint64_t>(b.U32(), b.Remaining() / 6);
                for (uint32_t i = 0; i < count && b.Ok(); ++i) {
                    const uint32_t packet = b.U32();
                    si.entries.push_back({packet, b.U16()});
                }
                m_index.simple.push_back(std::move(si));
            } else {
                m_index.hasIndex = true;
                m_index.indexIntervalMs = b.U32();
                const uint16_t specs = b.U16();
                b.U32();
                for (uint16_t i = 0; i < specs && b.Ok(); ++i) {
                    m_index.indexStreams.push_back(b.U16());
                    b.U16();
                }
            }
        }
        pos += size;
    }
    return hr::kOk;
}

void AsfReader::Rewind() {
    m_nextPacket = 0;
    m_blockPackets = 0;
    m_ready.clear();
    for (StreamState& s : m_streams) {
        s.pending = Pending();
        s.lost = false;
        s.seen = false;
        s.lastMs = 0;
    }
}

void AsfReader::SeekPacket(uint64_t packet) {
    Rewind();
    m_nextPacket = std::min(packet, m_packetCount);
}

HRESULT AsfReader::TailEnd(uint64_t* end, uint64_t tail_bytes) {
    *end = 0;
    if (!m_file) {
        return hr::kWrongState;
    }
    const uint64_t tail = std::max<uint64_t>(64, tail_bytes / m_packetSize);
    SeekPacket(m_packetCount > tail ? m_packetCount - tail : 0);
    AsfStreamEnds ends(m_header.streams);
    AsfSample s;
    HRESULT r;
    while ((r = Next(s)) == hr::kOk) {
        ends.Add(s.stream, s.time, s.duration, s.data.size());
    }
    Rewind();
    if (r != hr::kFalse) {
        return r;
    }
    *end = ends.End();
    return hr::kOk;
}

uint64_t AsfReader::Duration() const {
    const uint64_t preroll = m_header.props.prerollMs * 10000;
    const uint64_t play = m_header.props.playDuration;
    return play > preroll ? play - preroll : 0;
}

HRESULT AsfReader::Next(AsfSample& out) {
    if (!m_file) {
        return hr::kWrongState;
    }
    while (m_ready.empty()) {
        if (m_nextPacket >= m_packetCount) {
            return hr::kFalse;  // unfinished objects at the end are lost
        }
        const uint64_t packet = m_nextPacket++;
        // Packets are read a block at a time: one system call for many.
        if (packet < m_blockFirst || packet >= m_blockFirst + m_blockPackets) {
            const uint64_t want = std::min<uint64_t>(m_packet.size() / m_packetSize, m_packetCount - packet);
            const int64_t got = m_file->ReadAt(m_dataStart + packet * m_packetSize, m_packet.data(),
                                               static_cast<size_t>(want * m_packetSize));
            if (got < 0) {
                return hr::kFileRead;
            }
            m_blockFirst = packet;
            m_blockPackets = static_cast<uint64_t>(got) / m_packetSize;
            if (m_blockPackets < want) {
                m_packetCount = packet + m_blockPackets;  // the file ends inside a packet
            }
            if (m_blockPackets == 0) {
                continue;
            }
        }
        const uint8_t* bytes = m_packet.data() + (packet - m_blockFirst) * m_packetSize;
        PacketInfo info;
        m_payloads.clear();
        if (!ParsePacket(bytes, m_packetSize, info, m_payloads)) {
            ++m_badPackets;
            continue;
        }
        for (const Payload& pl : m_payloads) {
            Feed(pl, packet);
        }
    }
    out = std::move(m_ready.front());
    m_ready.pop_front();
    return hr::kOk;
}

uint64_t AsfReader::ExtensionDuration(const StreamInfo& s, const uint8_t* ext, size_t n) const {
    ByteReader r(ext, n);
    for (const ExtensionSystem& x : s.ext.extensions) {
        size_t len = x.dataSize;
        if (x.dataSize == 0xFFFF) {
            len = r.U16();
        }
        const uint8_t* p = r.Bytes(len);
        if (p == nullptr) {
            break;
        }
        if (x.id == guid::kExtSampleDuration && len == 2) {
            return static_cast<uint64_t>(bytes::GetLE16(p)) * 10000;
        }
    }
    return 0;
}

void AsfReader::Feed(const Payload& pl, uint64_t packet) {
    StreamState& st = m_streams[pl.stream];
    const StreamInfo* info = m_header.Stream(pl.stream);
    if (!st.known || info == nullptr) {
        return;
    }
    if (pl.compressed) {
        // Whole objects back to back, each behind a one-byte length.
        ByteReader r(pl.data, pl.len);
        uint32_t time = pl.offset;
        while (r.Remaining() > 0) {
            const uint8_t n = r.U8();
            const uint8_t* p = r.Bytes(n);
            if (p == nullptr) {
                break;
            }
            if (n > 0) {
                Emit(pl.stream, time, 0, pl.key, packet, std::vector<uint8_t>(p, p + n));
            }
            time += pl.delta;
        }
        return;
    }
    if (pl.noReplicated) {
        // No size or time: the payload is the object, timed by the packet.
        if (pl.offset == 0) {
            Emit(pl.stream, pl.timeMs, 0, pl.key, packet, std::vector<uint8_t>(pl.data, pl.data + pl.len));
        }
        return;
    }
    Pending& pe = st.pending;
    if (pl.offset == 0) {
        if (pe.active) {
            st.lost = true;  // the previous object never completed
        }
        pe = Pending();
        if (pl.objectSize == 0 || pl.objectSize > m_limits.maxObjectBytes ||
            pl.len > pl.objectSize) {
            st.lost = true;
            return;
        }
        pe.active = true;
        pe.number = pl.objectNumber;
        pe.size = pl.objectSize;
        pe.timeMs = pl.timeMs;
        pe.key = pl.key;
        pe.packet = packet;
        pe.duration = ExtensionDuration(*info, pl.ext, pl.extLen);
        pe.data.assign(pl.data, pl.data + pl.len);
    } else {
        // A continuation must match the object under way exactly.
        if (!pe.active || pe.number != pl.objectNumber || pe.size != pl.objectSize ||
            pl.offset != pe.data.size() || pl.len > pe.size - pe.data.size()) {
            if (pe.active) {
                st.lost = true;
            }
            pe = Pending();
            return;
        }
        pe.data.insert(pe.data.end(), pl.data, pl.data + pl.len);
    }
    if (pe.data.size() == pe.size) {
        pe.active = false;
        Emit(pl.stream, pe.timeMs, pe.duration, pe.key, pe.packet, std::move(pe.data));
        pe = Pending();
    }
}

void AsfReader::Emit(uint16_t stream, uint32_t time_ms, uint64_t duration, bool key, uint64_t packet,
                     std::vector<uint8_t> data) {
    StreamState& st = m_streams[stream];
    const StreamInfo& info = *m_header.Stream(stream);
    // Presentation times are 32-bit millisecond counters: a step back of more
    // than half their range is a wrap, not a jump.
    uint64_t ms = (st.lastMs & ~0xFFFFFFFFull) | time_ms;
    if (st.seen && ms + 0x80000000ull < st.lastMs) {
        ms += 0x100000000ull;
    } else if (st.seen && ms > st.lastMs + 0x80000000ull && ms >= 0x100000000ull) {
        ms -= 0x100000000ull;
    }
    st.lastMs = ms;
    st.seen = true;

    AsfSample s;
    s.stream = stream;
    const uint64_t preroll = m_header.props.prerollMs;
    const uint64_t t = ms > preroll ? (ms - preroll) * 10000 : 0;
    s.time = t > info.timeOffset ? t - info.timeOffset : 0;
    s.duration = duration;
    s.key = key;
    s.discontinuity = st.lost;
    st.lost = false;
    s.packet = packet;
    if (st.span != 0 && data.size() == static_cast<size_t>(st.vpl) * st.span) {
        // Audio spread: output chunk k is input chunk k / span + (k % span) * (vpl / vcl).
        const uint32_t per = st.vpl / st.vcl;
        const uint32_t chunks = per * st.span;
        s.data.resize(data.size());
        for (uint32_t k = 0; k < chunks; ++k) {
            const uint32_t from = k / st.span + (k % st.span) * per;
            std::copy_n(data.data() + static_cast<size_t>(from) * st.vcl, st.vcl,
                        s.data.data() + static_cast<size_t>(k) * st.vcl);
        }
    } else {
        s.data = std::move(data);
    }
    m_ready.push_back(std::move(s));
}

}  // namespace trelvan::asf
