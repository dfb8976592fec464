#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "AsfHeaderInfo.h"
#include "AsfProfile.h"
#include "AsfReader.h"
#include "IoFile.h"
#include "WmResult.h"

namespace trelvan::wm {

// Status notifications of the reader, with the values the copy engine tests.
enum WmtStatus : int32_t {
    kWmtError = 0,
    kWmtOpened = 1,
    kWmtEof = 4,
    kWmtStarted = 11,
    kWmtStopped = 12,
    kWmtClosed = 13,
};

// A compressed sample as the reader hands it over: valid during the call.
struct SampleBuffer {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

// What the reader calls back, on its own delivery thread (OnStatus for
// kWmtOpened on the thread that opens).
class IWmReaderCallback {
  public:
    virtual ~IWmReaderCallback() = default;
    virtual HRESULT OnStatus(WmtStatus status, HRESULT result) = 0;
    // A sample of a stream whose compressed samples were not asked for: this
    // layer decodes nothing, so such samples come here undecoded.
    virtual HRESULT OnSample(uint32_t output, uint64_t time, uint64_t duration, uint32_t flags,
                             const SampleBuffer& sample) = 0;
    virtual HRESULT OnStreamSample(uint16_t stream, uint64_t time, uint64_t duration,
                                   uint32_t flags, const SampleBuffer& sample) = 0;
    // The reader has delivered everything up to `time` that the clock allows.
    virtual HRESULT OnTime(uint64_t time) = 0;
};

// Reads an ASF file and delivers its samples, in file order, on a thread of
// its own, paced by a clock the caller grants (user-provided clock) or as
// fast as it can.
class WmReader {
  public:
    WmReader() = default;
    ~WmReader();

    // Opens and reads the header; reports kWmtOpened (or kWmtError with the
    // failure) to the callback before returning, and returns the result.
    HRESULT Open(const std::string& path, IWmReaderCallback* callback,
                 const FileOpener& opener = DiskFileOpener());
    HRESULT Start();
    // Stops the delivery thread and releases the file.
    HRESULT Close();

    HRESULT SetUserProvidedClock(bool on);
    HRESULT SetManualStreamSelection(bool on);
    HRESULT SetReceiveStreamSamples(uint16_t stream, bool on);
    // Lets the reader deliver samples up to `time` (100 ns).
    HRESULT DeliverTime(uint64_t time);

    // The end of the file's data (asf::AsfReader::TailEnd); between Open and
    // Start only (kWrongState otherwise).
    HRESULT DataEnd(uint64_t* end);

    std::shared_ptr<Profile> GetProfile() const { return m_profile; }
    HeaderInfo* GetHeaderInfo() const { return m_headerInfo.get(); }
    const asf::AsfReader& File() const { return m_file; }

  private:
    void Deliver();

    asf::AsfReader m_file;
    IWmReaderCallback* m_callback = nullptr;
    std::shared_ptr<Profile> m_profile;
    std::unique_ptr<HeaderInfo> m_headerInfo;
    bool m_receiveCompressed[128] = {};
    bool m_userClock = false;
    bool m_open = false;

    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_wake;
    uint64_t m_clock = 0;
    bool m_closing = false;
};

}  // namespace trelvan::wm
