#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AsfHeaderInfo.h"
#include "AsfProfile.h"
#include "WmEvent.h"
#include "WmReader.h"
#include "WmResult.h"

namespace trelvan {

// The sample handler a page installs: stream number, time relative to the
// start time, duration (both 100 ns), flags, the compressed sample, the
// reader's context value and the handler value. 0 continues the run; any
// other value ends it, a negative one as the run's failure.
using WmvSampleHandler = std::function<int(uint16_t stream, uint64_t time, uint64_t duration,
                                           uint32_t flags, const wm::SampleBuffer& sample,
                                           void* context, void* value)>;

// Reads a Windows Media file without decoding it and hands every compressed
// sample, with its time, to the installed sample handler. Prepares what a
// writer of the same kind of file needs: the profile (buffer windows
// widened), the attributes, codec descriptions and scripts.
class CWMVCopy : public wm::IWmReaderCallback {
  public:
    CWMVCopy() = default;
    ~CWMVCopy() override;
    CWMVCopy(const CWMVCopy&) = delete;
    CWMVCopy& operator=(const CWMVCopy&) = delete;

    // Opens `path` (UTF-8); samples before `start` are dropped, the first one
    // after `end` ends the run (0 or all ones: no end). Times in 100 ns.
    wm::HRESULT OpenSource(const std::string& path, uint64_t start, uint64_t end);
    // Reads the whole source from its beginning through the handler, then
    // closes the reader.
    wm::HRESULT RunReader();
    wm::HRESULT TransferHeaderData(wm::HeaderInfo* writer);
    wm::HRESULT TransferStreamAttributes(wm::HeaderInfo* writer, uint16_t stream);
    wm::HRESULT TransferCodecInfoOfType(wm::HeaderInfo* writer, const asf::Guid& major_type);
    std::shared_ptr<wm::Profile> GetProfile() const { return m_profile; }
    uint64_t GetDuration() const { return m_duration; }
    // Where the source's samples end (100 ns): the end of its latest sample
    // as its last packets tell it, at least the Duration attribute (headers
    // from other writers often say less than their data holds). Between
    // OpenSource and RunReader; the duration alone at other times.
    uint64_t GetDataEnd();
    void CloseSource();

    void SetSampleHandler(WmvSampleHandler handler, void* value) {
        m_handler = std::move(handler);
        m_handlerValue = value;
    }
    // Where the diagnostic lines go (each ends in a line feed); none when unset.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }
    // How the source is opened (tests inject failing files here).
    void SetOpener(FileOpener opener) { m_opener = std::move(opener); }
    // The reader while a source is open (null otherwise).
    wm::WmReader* Reader() { return m_reader.get(); }
    // The stream count and major types of the source, in profile order.
    uint32_t StreamCount() const { return m_streamCount; }
    const std::vector<asf::Guid>& StreamTypes() const { return m_streamTypes; }
    const std::vector<uint16_t>& StreamNumbers() const { return m_streamNumbers; }

    // The reader's callbacks.
    wm::HRESULT OnStatus(wm::WmtStatus status, wm::HRESULT result) override;
    wm::HRESULT OnSample(uint32_t output, uint64_t time, uint64_t duration, uint32_t flags,
                         const wm::SampleBuffer& sample) override;
    wm::HRESULT OnStreamSample(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                               const wm::SampleBuffer& sample) override;
    wm::HRESULT OnTime(uint64_t time) override;

    // Whether the reader's buffer windows would be widened; exposed for the
    // profile step's tests.
    static wm::HRESULT WidenBufferWindows(wm::Profile& profile);

  private:
    wm::HRESULT WaitForCompletion();
    void Log(const char* format, wm::HRESULT hr);
    void Signal() { m_event.Set(); }
    wm::HRESULT CollectProfile();
    wm::HRESULT TransferCodecs(wm::HeaderInfo* writer, int only_type);
    wm::HRESULT TransferScripts(wm::HeaderInfo* writer);

    std::unique_ptr<wm::WmReader> m_reader;
    wm::HeaderInfo* m_headerInfo = nullptr;
    std::shared_ptr<wm::Profile> m_profile;
    uint32_t m_streamCount = 0;
    std::vector<asf::Guid> m_streamTypes;
    std::vector<uint16_t> m_streamNumbers;
    wm::AutoResetEvent m_event;
    std::atomic<wm::HRESULT> m_asyncResult{0};
    std::atomic<uint64_t> m_clock{0};
    std::atomic<bool> m_eof{false};
    // Set once the run has been ended (end time passed, handler stop, a
    // failure): samples the reader still delivers before it is closed are
    // not handed on.
    std::atomic<bool> m_runEnded{false};
    uint64_t m_start = 0;
    uint64_t m_end = 0;
    uint64_t m_duration = 0;
    WmvSampleHandler m_handler;
    void* m_handlerValue = nullptr;
    std::function<void(const std::string&)> m_log;
    FileOpener m_opener = DiskFileOpener();
};

}  // namespace trelvan
