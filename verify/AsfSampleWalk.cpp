#include "AsfReader.h"
#include "AsfStreamEnds.h"
#include "LayerWalks.h"

// The ASF layer's walk: the media objects of one stream as the reader puts
// them together from the data packets. Times are the payloads'
// presentation times in 100 ns units with the preroll taken off. A sample
// that states no duration is given the one the WMV link and extract take
// it to last (AsfStreamEnds), so that a check places its end where the
// operation did.
namespace trelvan::verify {
namespace {

class AsfSampleWalk : public SampleWalk {
  public:
    AsfSampleWalk(std::unique_ptr<asf::AsfReader> reader, uint16_t stream, uint64_t packets_at)
        : m_reader(std::move(reader)), m_number(stream), m_packetsAt(packets_at) {
        if (const asf::StreamInfo* s = m_reader->Header().Stream(stream); s && s->IsAudio()) {
            m_blockAlign = BlockAlignOf(s->typeData);
        }
        m_stream = stream;
        m_base = {1, 10'000'000};
        m_ends.SetStreams(m_reader->Header().streams);
    }
    int Next(MediaSample& out) override {
        for (;;) {
            const wm::HRESULT r = m_reader->Next(m_sample);
            if (r == wm::hr::kFalse) {
                if (m_reader->BadPackets() != 0) {
                    m_error = std::to_string(m_reader->BadPackets()) +
                              " data packets contradict their own fields";
                    return -1;
                }
                return 0;
            }
            if (r != wm::hr::kOk) {
                m_error = "the data packets stop being readable at packet " +
                          std::to_string(m_sample.packet);
                return -1;
            }
            if (m_sample.stream != m_number) {
                continue;
            }
            if (m_sample.discontinuity) {
                m_error = "a sample of stream " + std::to_string(m_number) +
                          " before packet " + std::to_string(m_sample.packet) + " is incomplete";
                return -1;
            }
            out.data.swap(m_sample.data);
            out.key = m_sample.key;
            out.stream = m_stream;
            out.time = static_cast<int64_t>(m_sample.time);
            m_ends.Add(m_number, m_sample.time, m_sample.duration, out.data.size());
            out.duration = static_cast<int64_t>(m_sample.duration != 0
                                                    ? m_sample.duration
                                                    : m_ends.Estimate(m_number, out.data.size()));
            out.position = static_cast<int64_t>(m_packetsAt + m_sample.packet * m_reader->PacketSize());
            return 1;
        }
    }

  private:
    std::unique_ptr<asf::AsfReader> m_reader;
    uint16_t m_number;
    uint64_t m_packetsAt;
    asf::AsfSample m_sample;
    asf::AsfStreamEnds m_ends;
};

}  // namespace

std::unique_ptr<SampleWalk> WalkAsfStream(std::unique_ptr<asf::AsfReader> reader, uint16_t stream,
                                          uint64_t data_packets_at) {
    return std::make_unique<AsfSampleWalk>(std::move(reader), stream, data_packets_at);
}

}  // namespace trelvan::verify
