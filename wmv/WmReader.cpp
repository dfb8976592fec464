#include "WmReader.h"

namespace trelvan::wm {

WmReader::~WmReader() { Close(); }

HRESULT WmReader::Open(const std::string& path, IWmReaderCallback* callback, const FileOpener& opener) {
    Close();
    m_callback = callback;
    HRESULT r = m_file.Open(path, opener);
    if (Succeeded(r)) {
        const asf::AsfHeader& h = m_file.Header();
        m_profile = Profile::FromHeader(h);
        const bool seekable = (h.props.flags & 2) != 0;
        m_headerInfo = HeaderInfo::ForReader(h, m_file.Duration(), m_file.FileSize(), seekable);
        m_open = true;
    } else {
        m_file.Close();
    }
    for (bool& b : m_receiveCompressed) {
        b = false;
    }
    m_userClock = false;
    if (m_callback != nullptr) {
        m_callback->OnStatus(Succeeded(r) ? kWmtOpened : kWmtError, r);
    }
    return r;
}

HRESULT WmReader::SetUserProvidedClock(bool on) {
    m_userClock = on;
    return m_open ? hr::kOk : hr::kWrongState;
}

HRESULT WmReader::SetManualStreamSelection(bool) { return m_open ? hr::kOk : hr::kWrongState; }

HRESULT WmReader::SetReceiveStreamSamples(uint16_t stream, bool on) {
    if (!m_open || stream == 0 || stream > 127) {
        return hr::kInvalidArg;
    }
    m_receiveCompressed[stream] = on;
    return hr::kOk;
}

HRESULT WmReader::DeliverTime(uint64_t time) {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_clock = std::max(m_clock, time);
    }
    m_wake.notify_all();
    return hr::kOk;
}

HRESULT WmReader::DataEnd(uint64_t* end) {
    *end = 0;
    if (!m_open || m_thread.joinable()) {
        return hr::kWrongState;
    }
    return m_file.TailEnd(end);
}

HRESULT WmReader::Start() {
    if (!m_open || m_thread.joinable()) {
        return hr::kWrongState;
    }
    m_file.Rewind();
    m_clock = 0;
    m_closing = false;
    m_thread = std::thread([this] { Deliver(); });
    return hr::kOk;
}

void WmReader::Deliver() {
    m_callback->OnStatus(kWmtStarted, hr::kOk);
    asf::AsfSample s;
    for (;;) {
        {
            std::lock_guard<std::mutex> g(m_lock);
            if (m_closing) {
                return;
            }
        }
        const HRESULT r = m_file.Next(s);
        if (r == hr::kFalse) {
            m_callback->OnStatus(kWmtEof, hr::kOk);
            return;
        }
        if (Failed(r)) {
            m_callback->OnStatus(kWmtError, r);
            return;
        }
        if (m_userClock) {
            // Past the granted time: say so once per grant and wait for more.
            std::unique_lock<std::mutex> lk(m_lock);
            uint64_t told = UINT64_MAX;
            while (!m_closing && s.time > m_clock) {
                if (told != m_clock) {
                    told = m_clock;
                    lk.unlock();
                    m_callback->OnTime(told);
                    lk.lock();
                    continue;
                }
                m_wake.wait(lk);
            }
            if (m_closing) {
                return;
            }
        }
        const uint32_t flags = (s.key ? 1u : 0u) | (s.discontinuity ? 2u : 0u);
        const SampleBuffer b{s.data.data(), s.data.size()};
        if (m_receiveCompressed[s.stream & 0x7F]) {
            m_callback->OnStreamSample(s.stream, s.time, s.duration, flags, b);
        } else {
            m_callback->OnSample(s.stream, s.time, s.duration, flags, b);
        }
    }
}

HRESULT WmReader::Close() {
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_closing = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    const bool was_open = m_open;
    m_open = false;
    m_file.Close();
    if (was_open && m_callback != nullptr) {
        m_callback->OnStatus(kWmtClosed, hr::kOk);
    }
    return hr::kOk;
}

}  // namespace trelvan::wm
