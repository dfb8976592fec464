#include "CDecCompWMV.h"

#include <chrono>
#include <thread>

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
    const wm::HRESULT r = m_engine.RunReader();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return r == wm::hr::kOk ? err::kOk : err::kWmvProcess;
}

}  // namespace trelvan
