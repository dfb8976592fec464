#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AsfHeader.h"
#include "AsfPacketParser.h"
#include "IoFile.h"
#include "WmResult.h"

namespace trelvan::asf {

using wm::HRESULT;

// One compressed sample (media object) of a stream, whole and as stored
// (audio spread undone).
struct AsfSample {
    uint16_t stream = 0;
    uint64_t time = 0;      // 100 ns, preroll and stream time offset removed
    uint64_t duration = 0;  // 100 ns, from the sample duration extension, else 0
    bool key = false;
    bool discontinuity = false;  // an earlier object of the stream was lost
    uint64_t packet = 0;         // data packet holding its first byte
    std::vector<uint8_t> data;
};

struct SimpleIndex {
    uint64_t interval = 0;  // 100 ns
    uint32_t maxPacketCount = 0;
    struct Entry {
        uint32_t packet;
        uint16_t count;
    };
    std::vector<Entry> entries;
};

struct IndexInfo {
    std::vector<SimpleIndex> simple;  // one per video stream, by stream number order
    bool hasIndex = false;            // an Index Object
    uint32_t indexIntervalMs = 0;
    std::vector<uint16_t> indexStreams;
};

// Limits of what the reader accepts; constructor parameters so tests can
// cross them with small files.
struct AsfReaderLimits {
    uint64_t maxHeaderBytes = 64ull << 20;
    uint32_t maxPacketSize = 1u << 20;
    uint32_t maxObjectBytes = 64u << 20;
    uint64_t maxIndexBytes = 64ull << 20;
};

// Reads an ASF file: the header on Open, then every sample of every stream in
// file order through Next. Calls come from one thread at a time.
class AsfReader {
  public:
    explicit AsfReader(AsfReaderLimits limits = {}) : m_limits(limits) {}

    // Reads the header, finds the data packets and reads the index objects.
    // kNotAsf, kBadHeader, kProtected, kTooLarge, kFileRead on failure.
    HRESULT Open(std::unique_ptr<IoFile> file);
    HRESULT Open(const std::string& path, const FileOpener& opener = DiskFileOpener());
    void Close();

    // The next sample in file order: kOk, kFalse after the last one, or
    // kFileRead when the file stops being readable.
    HRESULT Next(AsfSample& out);
    // Back to the first packet.
    void Rewind();
    // On to packet `packet` (Next goes on from there), with no object under
    // way: objects begun in earlier packets are not delivered.
    void SeekPacket(uint64_t packet);
    // The end of the data (100 ns: the latest sample's time plus its
    // duration, estimated where the file gives none; AsfStreamEnds) as the
    // last `tail_bytes` of packets tell it, which is where a file's latest
    // samples lie. Leaves the reader rewound. 0 for a file without samples;
    // kFileRead when the packets cannot be read.
    HRESULT TailEnd(uint64_t* end, uint64_t tail_bytes = 1u << 20);

    const AsfHeader& Header() const { return m_header; }
    const IndexInfo& Index() const { return m_index; }
    uint32_t PacketSize() const { return m_packetSize; }
    uint64_t PacketCount() const { return m_packetCount; }
    uint64_t FileSize() const { return m_fileSize; }
    // Packets whose fields contradicted their size (skipped) so far.
    uint64_t BadPackets() const { return m_badPackets; }
    // Play duration less preroll, 100 ns (the "Duration" attribute).
    uint64_t Duration() const;

  private:
    struct Pending {
        bool active = false;
        uint32_t number = 0;
        uint32_t size = 0;
        uint32_t timeMs = 0;
        bool key = false;
        uint64_t duration = 0;
        uint64_t packet = 0;
        std::vector<uint8_t> data;
    };
    struct StreamState {
        bool known = false;
        bool lost = false;  // next sample carries the discontinuity flag
        uint64_t lastMs = 0;
        bool seen = false;
        Pending pending;
        // Audio spread: span, virtual packet and chunk lengths; span 0 = off.
        uint32_t span = 0, vpl = 0, vcl = 0;
    };

    HRESULT ReadIndexObjects(uint64_t from);
    void Feed(const Payload& pl, uint64_t packet);
    void Emit(uint16_t stream, uint32_t time_ms, uint64_t duration, bool key, uint64_t packet,
              std::vector<uint8_t> data);
    uint64_t ExtensionDuration(const StreamInfo& s, const uint8_t* ext, size_t n) const;

    AsfReaderLimits m_limits;
    std::unique_ptr<IoFile> m_file;
    AsfHeader m_header;
    IndexInfo m_index;
    uint64_t m_fileSize = 0;
    uint64_t m_dataStart = 0;  // first packet
    uint32_t m_packetSize = 0;
    uint64_t m_packetCount = 0;
    uint64_t m_nextPacket = 0;
    uint64_t m_badPackets = 0;
    std::vector<uint8_t> m_packet;  // a block of whole packets
    uint64_t m_blockFirst = 0;      // first packet in the block
    uint64_t m_blockPackets = 0;    // packets the block holds
    std::vector<Payload> m_payloads;
    StreamState m_streams[128];
    std::deque<AsfSample> m_ready;
};

}  // namespace trelvan::asf
