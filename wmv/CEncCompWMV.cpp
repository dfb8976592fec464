#include "CEncCompWMV.h"

#include "ErrorCodes.h"

namespace trelvan {

CEncCompWMV::~CEncCompWMV() { EndWriting(); }

int32_t CEncCompWMV::OpenOutput(const std::string& path, const wm::Profile& profile) {
    m_writer = std::make_unique<wm::AsfWriter>();
    std::unique_ptr<IoFile> file = m_opener(path, OpenMode::CreateTruncate);
    if (!file) {
        return err::kWmvOutputMake;
    }
    return m_writer->Open(std::move(file), profile) == wm::hr::kOk ? err::kOk : err::kWmvOutputMake;
}

int32_t CEncCompWMV::BeginWriting() {
    if (!m_writer || m_writer->BeginWriting() != wm::hr::kOk) {
        return err::kWmvEncInit;
    }
    m_offset = 0;
    return err::kOk;
}

wm::HRESULT CEncCompWMV::EndWriting() {
    if (!m_writer) {
        return wm::hr::kOk;
    }
    const wm::HRESULT r = m_writer->EndWriting();
    m_writer.reset();
    return r;
}

wm::HRESULT CEncCompWMV::WriteSample(uint16_t stream, uint64_t time, uint64_t duration,
                                     uint32_t flags, const wm::SampleBuffer& sample) {
    if (!m_writer) {
        return wm::hr::kWrongState;
    }
    return m_writer->WriteSample(stream, time + m_offset, duration, flags, sample.data, sample.size);
}

uint64_t CEncCompWMV::RoomLeft() const {
    if (!m_writer) {
        return 0;
    }
    const uint64_t max = m_writer->MaxSampleTime();
    return max > m_offset ? max - m_offset : 0;
}

uint64_t CEncCompWMV::AdvanceOffset(uint64_t duration) {
    const uint64_t add = duration / 10000000 * 10000000;
    m_offset += add;
    return add;
}

uint64_t CEncCompWMV::AdvanceOffsetExact(uint64_t end) {
    m_offset += end;
    return m_offset;
}

}  // namespace trelvan
