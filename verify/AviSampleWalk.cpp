#include <algorithm>

#include "AviFile.h"
#include "ByteOrder.h"
#include "LayerWalks.h"

// The AVI file layer's walk (AVI and WAV files). Times count the stream
// header's samples (rate / scale a second) from its start: a chunk is one
// sample of video and of audio stored a frame per chunk, and audio of a
// fixed sample size counts its bytes in samples of that size.
namespace trelvan::verify {
namespace {

class AviSampleWalk : public SampleWalk {
  public:
    static constexpr uint32_t kAudioPiece = 1u << 20;

    AviSampleWalk(std::shared_ptr<AviFile> file, int stream)
        : m_file(std::move(file)), m_avi(m_file->Stream(stream)) {
        // A stream of one frame per chunk is not cut in blocks.
        if (m_avi.IsAudio() && m_avi.SampleSize() != 0) {
            m_blockAlign = BlockAlignOf(m_avi.Format());
        }
        m_piece = m_avi.IsVideo() ? UINT32_MAX : kAudioPiece;
        m_stream = stream;
        m_base = {m_avi.Info().dwScale, m_avi.Info().dwRate};
    }
    int Next(MediaSample& out) override {
        uint32_t size = 0;
        if (!Peek(&size, &out.key)) {
            return 0;
        }
        out.stream = m_stream;
        out.position = static_cast<int64_t>(m_avi.ChunkOffset(m_next) + m_within);
        const uint32_t unit = m_avi.SampleSize();
        out.time = m_avi.Start() + (unit != 0 ? static_cast<int64_t>(m_bytesBefore / unit) : m_next);
        out.duration = unit != 0 ? size / unit : 1;
        out.data.resize(size);
        if (size > 0 && !m_file->ReadExact(static_cast<uint64_t>(out.position), out.data.data(), size)) {
            m_error = "chunk " + std::to_string(m_next) + " cannot be read";
            return -1;
        }
        Advance(size);
        return 1;
    }
    bool Peek(uint32_t* size, bool* key) const override {
        if (m_next >= m_avi.ChunkCount()) {
            return false;
        }
        *size = std::min(m_avi.ChunkSize(m_next) - m_within, m_piece);
        *key = m_avi.ChunkIsKey(m_next);
        return true;
    }
    int Skip() override {
        uint32_t size = 0;
        bool key = false;
        if (!Peek(&size, &key)) {
            return 0;
        }
        Advance(size);
        return 1;
    }
    int64_t TotalBytes() const override { return static_cast<int64_t>(m_avi.TotalBytes()); }
    double Rate() const override {
        const AviStreamInfo& info = m_avi.Info();
        if (m_avi.IsAudio()) {
            return m_avi.Format().size() >= 12 ? bytes::GetLE32(m_avi.Format().data() + 8) : 0;
        }
        return info.dwScale != 0 ? static_cast<double>(info.dwRate) / info.dwScale : 0;
    }

  private:
    void Advance(uint32_t size) {
        m_within += size;
        m_bytesBefore += size;
        if (m_within >= m_avi.ChunkSize(m_next)) {
            ++m_next;
            m_within = 0;
        }
    }

    std::shared_ptr<AviFile> m_file;
    AviStream& m_avi;
    int64_t m_next = 0;
    uint32_t m_within = 0;  // bytes of chunk m_next already handed out
    uint64_t m_bytesBefore = 0;  // bytes of the stream before the next piece
    uint32_t m_piece = 0;
};

}  // namespace

std::unique_ptr<SampleWalk> WalkAviStream(std::shared_ptr<AviFile> file, int stream) {
    return std::make_unique<AviSampleWalk>(std::move(file), stream);
}

}  // namespace trelvan::verify
