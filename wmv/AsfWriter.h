#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "AsfHeaderInfo.h"
#include "AsfHeaderRender.h"
#include "AsfProfile.h"
#include "AsfStreamEnds.h"
#include "BufferedWriter.h"
#include "IoFile.h"
#include "WmResult.h"

namespace trelvan::wm {

// Sample flags as the reader hands them out and the writer takes them.
inline constexpr uint32_t kSampleCleanPoint = 1;
inline constexpr uint32_t kSampleDiscontinuity = 2;

// The most entries a Simple Index gets (its interval widens beyond them).
inline constexpr size_t kMaxIndexEntries = 8192;

struct AsfWriterOptions {
    uint32_t defaultPacketSize = 3200;  // when the profile names none
    uint64_t defaultPrerollMs = 3100;
    size_t bufferSize = BufferedWriter::kDefaultBuffer;
};

// Writes an ASF file from compressed samples, unchanged (pass-through):
// header with placeholders at BeginWriting, fixed-size packets while samples
// come, then one Simple Index per video stream (the first audio stream's when
// there is no video) and the patched header at EndWriting. WriteSample may be
// called from several threads; calls are taken one at a time.
class AsfWriter {
  public:
    explicit AsfWriter(AsfWriterOptions options = {});
    ~AsfWriter();

    // Takes the file and a copy of the profile's streams. Nothing is written.
    HRESULT Open(std::unique_ptr<IoFile> file, const Profile& profile);
    // The header the attributes, codec descriptions and scripts go to until
    // BeginWriting.
    HeaderInfo& Header() { return m_headerInfo; }

    HRESULT BeginWriting();
    // `time` and `duration` in 100 ns, without preroll. kBadSample for an
    // unknown stream or an empty sample, kWrongState outside writing,
    // kFileWrite once the file has failed.
    HRESULT WriteSample(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                        const uint8_t* data, size_t n);
    // Writes the last packet, the index and the final header fields, and
    // closes the file. After a failed write the file is cut back to the
    // packets that landed and closed readable; the failure is returned.
    HRESULT EndWriting();
    bool IsOpen() const { return m_file != nullptr; }
    // The latest sample time (100 ns, without preroll) the file can hold:
    // presentation times are 32-bit milliseconds with the preroll added.
    uint64_t MaxSampleTime() const;
    uint64_t PacketsWritten() const { return m_packets; }
    // How long a sample lasts whose length neither it nor its stream tells
    // (the one frame of a one-frame file): counted in the play duration and
    // the bit rates.
    void SetFallbackDuration(uint64_t duration) { m_ends.SetFallback(duration); }

  private:
    struct StreamState {
        uint16_t number = 0;
        bool durationExt = false;
        uint8_t objectNumber = 0;
        uint64_t samples = 0;
        uint64_t bytes = 0;
        uint64_t firstTime = UINT64_MAX;  // 100 ns, the earliest sample's
        bool indexed = false;
        // Simple Index built as samples come: the latest key sample's packets
        // and the entries of the intervals passed so far. The interval
        // starts at a second and doubles whenever the entries would pass
        // kMaxIndexEntries, so that a time stamp far from the others (video
        // stamped at 1000 h) cannot make the index huge.
        bool haveKey = false;
        uint32_t keyPacket = 0;
        uint16_t keyCount = 0;
        uint64_t indexIntervalMs = 1000;
        uint32_t pendingEntries = 0;  // intervals before the first key sample
        std::vector<std::pair<uint32_t, uint16_t>> entries;  // packet, count
    };

    HRESULT WriteLocked(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                        const uint8_t* data, size_t n);
    void FlushPacket();
    bool StartPacket(uint32_t send_ms);
    void IndexSample(StreamState& st, uint32_t pt_ms, bool key, uint32_t first_packet);
    static void WidenIndex(StreamState& st);
    void FinishIndex(StreamState& st, uint64_t end_ms);
    HRESULT Finish();
    StreamState* Stream(uint16_t number);

    AsfWriterOptions m_options;
    std::mutex m_lock;
    std::unique_ptr<IoFile> m_file;
    std::unique_ptr<BufferedWriter> m_out;
    HeaderInfo m_headerInfo{true};
    std::vector<StreamConfig> m_configs;
    std::vector<std::string> m_languages;
    std::vector<asf::MutualExclusion> m_exclusions;
    std::vector<StreamState> m_streams;
    bool m_writing = false;
    bool m_failed = false;
    uint32_t m_packetSize = 0;
    uint64_t m_prerollMs = 0;
    size_t m_filePropsAt = 0;
    uint64_t m_dataStart = 0;  // first packet
    // The packet being filled, in place in the output's buffer (null
    // between packets).
    uint8_t* m_packet = nullptr;
    size_t m_used = 0;
    unsigned m_payloads = 0;
    uint32_t m_sendMs = 0;
    uint32_t m_lastSendMs = 0;
    uint64_t m_packets = 0;
    // Per packet written: the latest end (presentation time + duration, ms,
    // preroll included) of the samples completed in it or before.
    std::vector<uint32_t> m_endByPacket;
    uint32_t m_endMs = 0;
    uint32_t m_maxBitrate = 0;
    std::vector<asf::render::StreamOut> m_streamOut;
    asf::Guid m_fileId;
    std::vector<std::pair<uint16_t, size_t>> m_frameCountAt;
    std::vector<std::pair<uint16_t, size_t>> m_bitrateAt;
    // Where the samples end, for the play duration.
    asf::AsfStreamEnds m_ends;
};

}  // namespace trelvan::wm
