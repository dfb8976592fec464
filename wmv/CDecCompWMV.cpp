#include "CDecCompWMV.h"

#include "ErrorCodes.h"

namespace trelvan {

int32_t CDecCompWMV::Open(const std::string& path, uint64_t start, uint64_t end) {
    m_engine.CloseSource();
    return m_engine.OpenSource(path, start, end) == wm::hr::kOk ? err::kOk : err::kWmvOpen;
}

int32_t CDecCompWMV::TransferHeaderData(wm::HeaderInfo* writer) {
    return m_engine.TransferHeaderData(writer) == wm::hr::kOk ? err::kOk : err::kWmvCodecRead;
}

int32_t CDecCompWMV::Run() {
    // No pause after the run: the reader's delivery thread has been joined
    // when RunReader returns, so there is nothing left to wind down.
    return m_engine.RunReader() == wm::hr::kOk ? err::kOk : err::kWmvProcess;
}

}  // namespace trelvan
