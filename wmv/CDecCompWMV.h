#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CWMVCopy.h"

namespace trelvan {

// The page's side of the copy engine: opens, runs and closes one source at a
// time and turns the engine's results into the program's error codes.
class CDecCompWMV {
  public:
    CDecCompWMV() = default;
    virtual ~CDecCompWMV() = default;

    // Closes what is open, then opens `path` (UTF-8) with the start and end
    // times (100 ns). 0, or 8201.
    int32_t Open(const std::string& path, uint64_t start, uint64_t end);
    // 0, or 8202.
    int32_t TransferHeaderData(wm::HeaderInfo* writer);
    // Runs the reader to its end; 0, or 8203. Returns as soon as the run has
    // ended (the reader's thread has ended by then).
    int32_t Run();
    void CloseSource() { m_engine.CloseSource(); }
    wm::HRESULT TransferStreamAttributes(wm::HeaderInfo* writer, uint16_t stream) {
        return m_engine.TransferStreamAttributes(writer, stream);
    }
    wm::HRESULT TransferCodecInfoOfType(wm::HeaderInfo* writer, const asf::Guid& major_type) {
        return m_engine.TransferCodecInfoOfType(writer, major_type);
    }
    uint64_t GetDuration() const { return m_engine.GetDuration(); }
    // Where the source's samples end, at least its duration (CWMVCopy::GetDataEnd).
    uint64_t GetDataEnd() { return m_engine.GetDataEnd(); }
    // The source's profile (shared with the engine), or null when closed.
    std::shared_ptr<wm::Profile> GetProfile() const { return m_engine.GetProfile(); }
    void SetSampleHandler(WmvSampleHandler handler, void* value) {
        m_engine.SetSampleHandler(std::move(handler), value);
    }

    CWMVCopy& Engine() { return m_engine; }

  private:
    CWMVCopy m_engine;
};

}  // namespace trelvan
