#include "AsfWriter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "ByteOrder.h"

namespace trelvan::wm {

namespace {

// Every packet: error correction 82 00 00, multiple payloads with a WORD
// padding length (no packet length, no sequence), property flags 0x5D
// (BYTE replicated length, DWORD offset, BYTE object number, BYTE stream),
// send time, duration, payload flags with WORD payload lengths.
constexpr size_t kPacketHead = 14;
constexpr uint8_t kLengthTypeFlags = 0x11;
constexpr uint8_t kPropertyFlags = 0x5D;
constexpr unsigned kMaxPayloads = 63;
constexpr uint32_t kMinPacket = 128;
constexpr uint32_t kMaxPacket = 65535;
constexpr uint64_t kSecond = 10000000;

uint64_t NowFiletime() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const uint64_t secs = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count());
    return secs * kSecond + 116444736000000000ull;
}

asf::Guid RandomGuid() {
    std::random_device rd;
    asf::Guid g;
    for (auto& b : g.b) {
        b = static_cast<uint8_t>(rd());
    }
    return g;
}

// The stream record a writer renders from a profile stream: its own number,
// type data rebuilt from the media type, audio spread reduced to a span of
// one (samples are written as they are, never scrambled).
asf::render::StreamOut StreamOutOf(const StreamConfig& c) {
    asf::render::StreamOut so;
    so.info = c.Source();
    so.info.number = c.GetStreamNumber();
    so.info.encrypted = false;
    so.info.timeOffset = 0;  // sample times come with the source's offset removed
    so.bufferWindow = c.GetBufferWindow();
    so.bitrate = c.GetBitrate();
    const MediaType& m = c.GetMediaType();
    if (m.majorType == kMediaTypeAudio) {
        so.info.type = asf::guid::kAudioMedia;
        so.info.typeData = m.format;
    } else if (m.majorType == kMediaTypeVideo && m.format.size() >= kVideoInfoHeaderSize + 40) {
        so.info.type = asf::guid::kVideoMedia;
        const uint8_t* bih = m.format.data() + kVideoInfoHeaderSize;
        const size_t bih_len = m.format.size() - kVideoInfoHeaderSize;
        std::vector<uint8_t> d(11);
        bytes::PutLE32(d.data(), bytes::GetLE32(bih + 4));
        const int32_t h = static_cast<int32_t>(bytes::GetLE32(bih + 8));
        bytes::PutLE32(d.data() + 4, static_cast<uint32_t>(h < 0 ? -h : h));
        d[8] = 2;
        bytes::PutLE16(d.data() + 9, static_cast<uint16_t>(std::min<size_t>(bih_len, 0xFFFF)));
        d.insert(d.end(), bih, bih + bih_len);
        so.info.typeData = std::move(d);
        so.info.ext.avgTimePerFrame = bytes::GetLE64(m.format.data() + 40);
    } else {
        so.info.type = m.majorType;
        so.info.typeData = m.format;
    }
    if (so.info.errorCorrection == asf::guid::kAudioSpread || (so.info.errorCorrection == asf::Guid{} &&
                                                                so.info.IsAudio())) {
        const uint16_t align = so.info.typeData.size() >= 14 ? bytes::GetLE16(so.info.typeData.data() + 12) : 1;
        so.info.errorCorrection = asf::guid::kAudioSpread;
        so.info.errorData = {1, 0, 0, 0, 0, 1, 0, 0};
        bytes::PutLE16(so.info.errorData.data() + 1, std::max<uint16_t>(align, 1));
        bytes::PutLE16(so.info.errorData.data() + 3, std::max<uint16_t>(align, 1));
    } else if (so.info.errorCorrection == asf::Guid{}) {
        so.info.errorCorrection = asf::guid::kNoErrorCorrection;
    }
    for (const asf::ExtensionSystem& x : c.Source().ext.extensions) {
        so.durationExt = so.durationExt || x.id == asf::guid::kExtSampleDuration;
    }
    return so;
}

}  // namespace

AsfWriter::AsfWriter(AsfWriterOptions options) : m_options(options) {}

AsfWriter::~AsfWriter() {
    if (m_file) {
        EndWriting();
    }
}

HRESULT AsfWriter::Open(std::unique_ptr<IoFile> file, const Profile& profile) {
    if (m_file || !file) {
        return hr::kWrongState;
    }
    m_configs.clear();
    m_streams.clear();
    for (uint32_t i = 0; i < profile.GetStreamCount(); ++i) {
        StreamConfig c;
        if (wm::Failed(profile.GetStream(i, c))) {
            return hr::kInvalidArg;
        }
        m_configs.push_back(c);
    }
    if (m_configs.empty()) {
        return hr::kInvalidArg;
    }
    m_packetSize = profile.packetSize;
    if (m_packetSize < kMinPacket || m_packetSize > kMaxPacket) {
        m_packetSize = m_options.defaultPacketSize;
    }
    // A source's preroll is kept as it is, 0 included.
    m_prerollMs = profile.hasPreroll ? profile.prerollMs : m_options.defaultPrerollMs;
    m_languages = profile.languages;
    m_exclusions = profile.exclusions;
    m_file = std::move(file);
    return hr::kOk;
}

uint64_t AsfWriter::MaxSampleTime() const {
    return (0xFFFFFFFFull - std::min<uint64_t>(m_prerollMs, 0xFFFFFFFFull)) * 10000 + 9999;
}

AsfWriter::StreamState* AsfWriter::Stream(uint16_t number) {
    for (StreamState& s : m_streams) {
        if (s.number == number) {
            return &s;
        }
    }
    return nullptr;
}

HRESULT AsfWriter::BeginWriting() {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_file || m_writing) {
        return hr::kWrongState;
    }
    asf::render::HeaderOut h;
    m_maxBitrate = 0;
    bool has_video = false;
    // The Language List goes with the streams that name it: each stream's
    // index is found (or added) by its tag, as a stream may come from
    // another file than the list.
    h.languages = m_languages;
    for (const StreamConfig& c : m_configs) {
        h.streams.push_back(StreamOutOf(c));
        m_maxBitrate += c.GetBitrate();
        has_video = has_video || h.streams.back().info.IsVideo();
        uint16_t& index = h.streams.back().info.ext.languageIndex;
        index = 0;
        if (!c.Language().empty()) {
            const auto at = std::find(h.languages.begin(), h.languages.end(), c.Language());
            index = static_cast<uint16_t>(at - h.languages.begin());
            if (at == h.languages.end()) {
                h.languages.push_back(c.Language());
            }
        }
    }
    // A mutual exclusion holds for the streams still here under their own
    // numbers; with fewer than two groups of them it says nothing.
    for (const asf::MutualExclusion& m : m_exclusions) {
        asf::MutualExclusion kept{m.type, {}};
        for (const std::vector<uint16_t>& g : m.groups) {
            std::vector<uint16_t> here;
            for (uint16_t n : g) {
                for (const StreamConfig& c : m_configs) {
                    if (c.GetStreamNumber() == n && c.Source().number == n) {
                        here.push_back(n);
                    }
                }
            }
            if (!here.empty()) {
                kept.groups.push_back(std::move(here));
            }
        }
        if (kept.groups.size() >= 2) {
            h.exclusions.push_back(std::move(kept));
        }
    }
    std::sort(h.streams.begin(), h.streams.end(),
              [](const auto& a, const auto& b) { return a.info.number < b.info.number; });
    bool audio_indexed = false;
    for (const auto& so : h.streams) {
        StreamState st;
        st.number = so.info.number;
        st.durationExt = so.durationExt;
        // Seeking goes through a Simple Index per video stream; an audio-only
        // file gets one for its first audio stream.
        st.indexed = so.info.IsVideo() || (!has_video && so.info.IsAudio() && !audio_indexed);
        audio_indexed = audio_indexed || (!has_video && so.info.IsAudio());
        m_streams.push_back(st);
    }
    h.props.fileId = RandomGuid();
    h.props.creationDate = NowFiletime();
    h.props.prerollMs = m_prerollMs;
    h.props.flags = 0;
    h.props.minPacketSize = m_packetSize;
    h.props.maxPacketSize = m_packetSize;
    h.props.maxBitrate = m_maxBitrate;
    h.attributes = m_headerInfo.Attributes();
    h.codecs = m_headerInfo.Codecs();
    h.scripts = m_headerInfo.Scripts();
    m_streamOut = h.streams;
    m_fileId = h.props.fileId;
    std::vector<asf::StreamInfo> infos;
    for (const auto& so : h.streams) {
        infos.push_back(so.info);
    }
    m_ends.SetStreams(infos);

    std::vector<uint8_t> header = asf::render::HeaderObject(h, m_filePropsAt);
    m_frameCountAt = h.frameCountAt;
    m_bitrateAt = h.bitrateAt;
    // The Data Object's head: size and packet count patched at the end.
    asf::ObjectBuilder b(header);
    b.Put(asf::guid::kData);
    b.U64(0);
    b.Put(h.props.fileId);
    b.U64(0);
    b.U8(1);
    b.U8(1);
    m_dataStart = header.size();
    // The header goes straight to the file, so that a disk that fills up
    // later still leaves a file that says what it is.
    const bool header_ok = m_file->WriteAt(0, header.data(), header.size());
    // Packets are built in place in the buffer: it holds one at least.
    m_out = std::make_unique<BufferedWriter>(*m_file, m_dataStart,
                                             std::max<size_t>(m_options.bufferSize, m_packetSize));
    m_packet = nullptr;
    m_used = 0;
    m_payloads = 0;
    m_packets = 0;
    m_lastSendMs = 0;
    m_endMs = static_cast<uint32_t>(m_prerollMs);
    m_endByPacket.clear();
    m_writing = true;
    m_failed = !header_ok;
    return m_failed ? hr::kFileWrite : hr::kOk;
}

HRESULT AsfWriter::WriteSample(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                               const uint8_t* data, size_t n) {
    std::lock_guard<std::mutex> g(m_lock);
    return WriteLocked(stream, time, duration, flags, data, n);
}

bool AsfWriter::StartPacket(uint32_t send_ms) {
    m_packet = m_out->Reserve(m_packetSize);
    if (m_packet == nullptr) {
        return false;
    }
    m_used = kPacketHead;
    m_payloads = 0;
    m_sendMs = send_ms;
    return true;
}

void AsfWriter::FlushPacket() {
    if (m_used == 0) {
        return;
    }
    uint8_t* p = m_packet;
    // Only the padding is zeroed: every other byte was written.
    std::memset(p + m_used, 0, m_packetSize - m_used);
    p[0] = 0x82;
    p[1] = 0;  // error correction data
    p[2] = 0;
    p[3] = kLengthTypeFlags;
    p[4] = kPropertyFlags;
    bytes::PutLE16(p + 5, static_cast<uint16_t>(m_packetSize - m_used));
    bytes::PutLE32(p + 7, m_sendMs);
    bytes::PutLE16(p + 11, 0);
    p[13] = static_cast<uint8_t>(0x80 | m_payloads);
    m_out->Commit(m_packetSize);
    m_packet = nullptr;
    ++m_packets;
    m_endByPacket.push_back(m_endMs);
    m_lastSendMs = m_sendMs;
    m_used = 0;
    m_payloads = 0;
}

HRESULT AsfWriter::WriteLocked(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                               const uint8_t* data, size_t n) {
    if (!m_writing) {
        return hr::kWrongState;
    }
    if (m_failed) {
        return hr::kFileWrite;
    }
    StreamState* st = Stream(stream);
    const uint64_t pt = time / 10000 + m_prerollMs;
    if (st == nullptr || n == 0 || n > 0xFFFFFFFFull || data == nullptr || pt > 0xFFFFFFFFull) {
        return hr::kBadSample;
    }
    const auto& so = *std::find_if(m_streamOut.begin(), m_streamOut.end(),
                                   [&](const auto& x) { return x.info.number == stream; });
    // The end of the sample for the play duration: its own duration, else
    // an estimate from its stream (a frame interval, never the gap before
    // the sample, which a file with holes would add to its length).
    m_ends.Add(stream, time, duration, n);
    const uint64_t dur = duration != 0 ? duration : m_ends.Estimate(stream, n);
    st->bytes += n;
    st->firstTime = std::min(st->firstTime, time);
    const uint16_t dur_ms = static_cast<uint16_t>(std::min<uint64_t>(duration / 10000, 0xFFFF));
    const bool key = (flags & kSampleCleanPoint) != 0;
    // Send times never go back, even when streams arrive out of step.
    const uint32_t send = std::max(m_lastSendMs, static_cast<uint32_t>(pt - m_prerollMs));
    const size_t rep = 8 + (st->durationExt ? 2 : 0);
    const size_t head = 1 + 1 + 4 + 1 + rep + 2;
    size_t offset = 0;
    uint64_t first_packet = UINT64_MAX;
    while (offset < n) {
        if (m_used == 0 && !StartPacket(std::max(m_lastSendMs, send))) {
            m_failed = true;
            return hr::kFileWrite;
        }
        const size_t space = m_packetSize - m_used;
        const size_t remaining = n - offset;
        if (m_payloads >= kMaxPayloads || space < head + std::min<size_t>(remaining, 32)) {
            FlushPacket();
            continue;
        }
        const size_t take = std::min({remaining, space - head, size_t{0xFFFF}});
        uint8_t* p = m_packet + m_used;
        p[0] = static_cast<uint8_t>((stream & 0x7F) | (key ? 0x80 : 0));
        p[1] = st->objectNumber;
        bytes::PutLE32(p + 2, static_cast<uint32_t>(offset));
        p[6] = static_cast<uint8_t>(rep);
        bytes::PutLE32(p + 7, static_cast<uint32_t>(n));
        bytes::PutLE32(p + 11, static_cast<uint32_t>(pt));
        if (st->durationExt) {
            bytes::PutLE16(p + 15, dur_ms);
        }
        bytes::PutLE16(p + head - 2, static_cast<uint16_t>(take));
        std::copy_n(data + offset, take, p + head);
        m_used += head + take;
        ++m_payloads;
        if (first_packet == UINT64_MAX) {
            first_packet = m_packets;
        }
        offset += take;
    }
    ++st->objectNumber;
    ++st->samples;
    m_endMs = std::max<uint32_t>(m_endMs, static_cast<uint32_t>(std::min<uint64_t>(
                                              pt + (dur + 9999) / 10000, 0xFFFFFFFFull)));
    if (st->indexed) {
        // Audio samples decode on their own, key bit or not: any may start a seek.
        IndexSample(*st, static_cast<uint32_t>(pt), key || so.info.IsAudio(),
                    static_cast<uint32_t>(first_packet));
    }
    if (!m_out->Ok()) {
        m_failed = true;
        return hr::kFileWrite;
    }
    return hr::kOk;
}

void AsfWriter::WidenIndex(StreamState& st) {
    // Entry i of the doubled interval is entry 2i of the old one.
    st.indexIntervalMs *= 2;
    for (size_t i = 0; 2 * i < st.entries.size(); ++i) {
        st.entries[i] = st.entries[2 * i];
    }
    st.entries.resize((st.entries.size() + 1) / 2);
    st.pendingEntries = (st.pendingEntries + 1) / 2;
}

void AsfWriter::IndexSample(StreamState& st, uint32_t pt_ms, bool key, uint32_t first_packet) {
    // Entry i is for presentation time i intervals (preroll included) and
    // names the latest key sample at or before it.
    auto emit_until = [&](uint64_t limit_ms, bool inclusive) {
        for (;;) {
            const uint64_t n = st.entries.size() + st.pendingEntries;
            const uint64_t t = n * st.indexIntervalMs;
            if (inclusive ? t > limit_ms : t >= limit_ms) {
                break;
            }
            if (n >= kMaxIndexEntries) {
                WidenIndex(st);
                continue;
            }
            if (st.haveKey) {
                st.entries.emplace_back(st.keyPacket, st.keyCount);
            } else {
                ++st.pendingEntries;
            }
        }
    };
    emit_until(pt_ms, false);
    if (key) {
        st.keyPacket = first_packet;
        st.keyCount = static_cast<uint16_t>(std::min<uint64_t>(m_packets - first_packet + 1, 0xFFFF));
        if (!st.haveKey) {
            // Seconds before the first key sample lead to it.
            st.entries.insert(st.entries.begin(), st.pendingEntries, {st.keyPacket, st.keyCount});
            st.pendingEntries = 0;
        }
        st.haveKey = true;
    }
    emit_until(pt_ms, true);
}

HRESULT AsfWriter::EndWriting() {
    std::lock_guard<std::mutex> g(m_lock);
    if (!m_file) {
        return hr::kOk;
    }
    HRESULT r = hr::kOk;
    if (m_writing) {
        r = Finish();
    }
    if (!m_file->Close() && r == hr::kOk) {
        r = hr::kFileWrite;
    }
    m_file.reset();
    m_out.reset();
    m_writing = false;
    return r;
}

HRESULT AsfWriter::Finish() {
    FlushPacket();
    uint64_t packets = m_packets;
    bool indexed = false;
    // Seekable only when every stream that should have an index got one: a
    // video stream without a key frame gets none, as its entries could only
    // point at packets without one.
    bool every_index = packets > 0;
    // An index of a file without packets would only mislead readers that
    // look for packets past the Data Object.
    if (m_out->Ok() && packets > 0) {
        for (StreamState& st : m_streams) {
            if (!st.indexed) {
                continue;
            }
            if (!st.haveKey) {
                every_index = false;
                continue;
            }
            std::vector<uint8_t> obj;
            asf::ObjectBuilder b(obj);
            const size_t at = b.Begin(asf::guid::kSimpleIndex);
            b.Put(m_fileId);
            b.U64(st.indexIntervalMs * 10000);
            uint16_t max_count = 0;
            for (const auto& e : st.entries) {
                max_count = std::max(max_count, e.second);
            }
            b.U32(max_count);
            b.U32(static_cast<uint32_t>(st.entries.size()));
            for (const auto& e : st.entries) {
                b.U32(e.first);
                b.U16(e.second);
            }
            b.End(at);
            m_out->Write(obj.data(), obj.size());
            indexed = true;
        }
    }
    m_out->Flush();
    const bool failed = !m_out->Ok();
    if (failed) {
        // Keep the packets that landed whole; drop the rest and any index.
        const uint64_t landed = m_out->Landed();
        packets = landed > m_dataStart ? std::min(packets, (landed - m_dataStart) / m_packetSize) : 0;
        m_file->Truncate(m_dataStart + packets * m_packetSize);
        indexed = false;
    }
    const int64_t size = m_file->Size();
    // The play duration: where the last sample ends as the whole file
    // tells it (its frame interval is best known at the end), or as far as
    // the packets that landed after a failure.
    uint64_t end_ms = packets > 0 ? m_endByPacket[packets - 1] : m_prerollMs;
    if (!failed && packets > 0) {
        end_ms = m_prerollMs + (m_ends.End() + 9999) / 10000;
    }
    const uint64_t play = std::max<uint64_t>(end_ms, m_prerollMs) * 10000;
    bool audio_only = true;
    for (const auto& so : m_streamOut) {
        audio_only = audio_only && so.info.IsAudio();
    }
    uint8_t fp[104 - 40];
    bytes::PutLE64(fp + 0, size > 0 ? static_cast<uint64_t>(size) : 0);
    bytes::PutLE64(fp + 8, NowFiletime());
    bytes::PutLE64(fp + 16, packets);
    bytes::PutLE64(fp + 24, play);
    bytes::PutLE64(fp + 32, play - m_prerollMs * 10000);
    bytes::PutLE64(fp + 40, m_prerollMs);
    bytes::PutLE32(fp + 48, ((indexed && every_index) || audio_only) ? 2u : 0u);
    uint8_t data[16];
    bytes::PutLE64(data, 50 + packets * m_packetSize);
    bytes::PutLE64(data + 8, packets);
    const uint64_t data_at = m_dataStart - 50;
    // A stream's "NumberOfFrames" says how many samples this file holds.
    bool counts = true;
    for (const auto& [stream, at] : m_frameCountAt) {
        const StreamState* st = Stream(stream);
        uint8_t v[8];
        bytes::PutLE64(v, st != nullptr && !failed ? st->samples : 0);
        counts = counts && m_file->WriteAt(at, v, 8);  // 0 (unknown) after a failure
    }
    // Bit rates the header could not know in advance: the stream's bytes
    // over its span; the file's maximum as their sum with the known ones.
    uint64_t total = 0;
    for (const auto& so : m_streamOut) {
        uint64_t rate = so.bitrate;
        const StreamState* st = Stream(so.info.number);
        if (rate == 0 && st != nullptr && st->samples > 0 && !failed) {
            const uint64_t end = m_ends.End(so.info.number);
            const uint64_t span = end > st->firstTime ? end - st->firstTime : 0;
            rate = span > 0 ? std::min<uint64_t>(st->bytes * 8 * kSecond / span, 0xFFFFFFFF) : 0;
            uint8_t v[4];
            bytes::PutLE32(v, static_cast<uint32_t>(rate));
            for (const auto& [stream, at] : m_bitrateAt) {
                if (stream == so.info.number) {
                    counts = counts && m_file->WriteAt(at, v, 4);
                }
            }
        }
        total += rate;
    }
    uint8_t max_rate[4];
    bytes::PutLE32(max_rate, static_cast<uint32_t>(std::min<uint64_t>(total, 0xFFFFFFFF)));
    counts = counts && m_file->WriteAt(m_filePropsAt + asf::render::kFpMaxBitrate, max_rate, 4);
    const bool patched = counts && m_file->WriteAt(m_filePropsAt + 40, fp, 52) &&
                         m_file->WriteAt(data_at + 16, data, 8) &&
                         m_file->WriteAt(data_at + 40, data + 8, 8);
    return failed || !patched ? hr::kFileWrite : hr::kOk;
}

}  // namespace trelvan::wm
