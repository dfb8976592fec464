#include "CWMVCopy.h"

#include <algorithm>
#include <cstdio>

#include "ByteOrder.h"

namespace trelvan {

namespace hr = wm::hr;
using wm::HRESULT;

namespace {
constexpr uint64_t kGrant = 10000000;  // the reader is granted one second at a time

// Media types are identical when every field and the format block match; for
// VBR streams the bit-rate field of the format block is left out.
bool SameMediaType(wm::MediaType a, wm::MediaType b, bool vbr) {
    if (vbr) {
        for (wm::MediaType* m : {&a, &b}) {
            size_t at = SIZE_MAX;
            if (m->formatType == asf::guid::kFormatVideoInfo) {
                at = wm::kVideoInfoBitRate;
            } else if (m->formatType == asf::guid::kFormatWaveFormatEx) {
                at = wm::kWaveAvgBytes;
            }
            if (at != SIZE_MAX && m->format.size() >= at + 4) {
                bytes::PutLE32(m->format.data() + at, 0);
            }
        }
    }
    return a == b;
}
}  // namespace

CWMVCopy::~CWMVCopy() { CloseSource(); }

void CWMVCopy::Log(const char* format, HRESULT h) {
    if (m_log) {
        char buf[160];
        std::snprintf(buf, sizeof buf, format, static_cast<uint32_t>(h));
        m_log(buf);
    }
}

HRESULT CWMVCopy::WaitForCompletion() {
    m_event.Wait();
    return m_asyncResult.load();
}

HRESULT CWMVCopy::OpenSource(const std::string& path, uint64_t start, uint64_t end) {
    m_start = start;
    m_end = end;
    m_event.Reset();

    if (m_log) {
        m_log("Creating the Reader...\n");
    }
    m_reader = std::make_unique<wm::WmReader>();
    m_asyncResult = hr::kOk;
    HRESULT r = m_reader->Open(path, this, m_opener);
    if (wm::Succeeded(r)) {
        r = WaitForCompletion();
    } else {
        m_event.Reset();
    }
    if (wm::Succeeded(r)) {
        m_headerInfo = m_reader->GetHeaderInfo();
        asf::Attribute a;
        r = m_headerInfo->GetAttributeByName(0, "Duration", a);
        m_duration = wm::Succeeded(r) && a.value.size() == 8 ? bytes::GetLE64(a.value.data()) : 0;
        if (wm::Succeeded(r) && m_duration == 0) {
            r = hr::kInvalidArg;
        }
    }
    if (wm::Succeeded(r)) {
        r = m_reader->SetUserProvidedClock(true);
    }
    if (wm::Succeeded(r)) {
        r = m_reader->SetManualStreamSelection(true);
    }
    if (wm::Failed(r)) {
        Log("Could not create the Reader (hr=0x%08x).\n", r);
        return r;
    }
    r = CollectProfile();
    if (wm::Succeeded(r)) {
        r = WidenBufferWindows(*m_profile);
    }
    if (wm::Failed(r)) {
        Log("Could not update profile information (hr=0x%08x).\n", r);
    }
    return r;
}

uint64_t CWMVCopy::GetDataEnd() {
    uint64_t end = 0;
    if (m_reader && wm::Failed(m_reader->DataEnd(&end))) {
        end = 0;
    }
    return std::max(end, m_duration);
}

HRESULT CWMVCopy::CollectProfile() {
    m_profile = m_reader->GetProfile();
    m_streamCount = m_profile->GetStreamCount();
    m_streamTypes.assign(m_streamCount, asf::Guid{});
    m_streamNumbers.assign(m_streamCount, 0);
    for (uint32_t i = 0; i < m_streamCount; ++i) {
        wm::StreamConfig c;
        HRESULT r = m_profile->GetStream(i, c);
        if (wm::Succeeded(r)) {
            m_streamNumbers[i] = c.GetStreamNumber();
            // Compressed samples of every stream arrive through OnStreamSample.
            r = m_reader->SetReceiveStreamSamples(c.GetStreamNumber(), true);
        }
        if (wm::Failed(r)) {
            return r;
        }
        m_streamTypes[i] = c.GetType();
    }
    return hr::kOk;
}

HRESULT CWMVCopy::WidenBufferWindows(wm::Profile& profile) {
    struct Row {
        uint16_t number;
        uint32_t window;
        bool vbr;
        wm::MediaType type;
    };
    std::vector<Row> rows;
    for (uint32_t i = 0; i < profile.GetStreamCount(); ++i) {
        wm::StreamConfig c;
        const HRESULT r = profile.GetStream(i, c);
        if (wm::Failed(r)) {
            return r;
        }
        uint32_t vbr = 0;
        if (wm::Failed(c.GetPropertyDword("_VBRENABLED", vbr))) {
            vbr = 0;
        }
        rows.push_back({c.GetStreamNumber(), c.GetBufferWindow(), vbr != 0, c.GetMediaType()});
    }
    // Each stream's window grows by the window of the first stream (itself
    // included) of the same VBR flag and media type: its own when it has no
    // twin before it, so that it doubles. The original windows are used.
    std::vector<uint32_t> widened(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        widened[i] = rows[i].window;
        for (size_t j = 0; j < rows.size(); ++j) {
            if (rows[j].vbr == rows[i].vbr && SameMediaType(rows[j].type, rows[i].type, rows[i].vbr)) {
                widened[i] = rows[i].window + rows[j].window;
                break;
            }
        }
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].number == 0) {
            continue;
        }
        wm::StreamConfig c;
        HRESULT r = profile.GetStreamByNumber(rows[i].number, c);
        if (wm::Succeeded(r)) {
            c.SetBufferWindow(widened[i]);
            r = profile.ReconfigStream(c);
        }
        if (wm::Failed(r)) {
            return r;
        }
    }
    return hr::kOk;
}

HRESULT CWMVCopy::RunReader() {
    if (!m_reader) {
        return hr::kWrongState;
    }
    m_asyncResult = hr::kOk;
    m_eof = false;
    m_runEnded = false;
    m_event.Reset();
    HRESULT r = m_reader->Start();
    if (wm::Succeeded(r)) {
        r = WaitForCompletion();
    }
    const HRESULT closed = m_reader->Close();
    if (wm::Failed(closed)) {
        Log("Could not close the reader (hr=0x%08x).\n", closed);
    }
    return wm::Failed(r) ? r : closed;
}

HRESULT CWMVCopy::OnStatus(wm::WmtStatus status, HRESULT result) {
    if (wm::Failed(m_asyncResult.load())) {
        Signal();
        return hr::kOk;
    }
    if (wm::Failed(result)) {
        m_asyncResult = result;
        m_runEnded = true;
        Signal();
        return hr::kOk;
    }
    switch (status) {
        case wm::kWmtOpened:
            if (m_log) {
                m_log("Reader Callback: File is opened.\n");
            }
            m_asyncResult = hr::kOk;
            Signal();
            break;
        case wm::kWmtEof:
            m_asyncResult = hr::kOk;
            m_eof = true;
            Signal();
            break;
        case wm::kWmtStarted: {
            m_clock = kGrant;
            const HRESULT r = m_reader->DeliverTime(m_clock);
            if (wm::Failed(r)) {
                m_asyncResult = r;
                Signal();
            }
            break;
        }
        default:
            break;
    }
    return hr::kOk;
}

HRESULT CWMVCopy::OnSample(uint32_t, uint64_t, uint64_t, uint32_t, const wm::SampleBuffer&) {
    if (m_runEnded.exchange(true)) {
        return hr::kOk;
    }
    m_asyncResult = hr::kUnexpected;
    Log("Reader Callback: Received a decompressed sample (hr=0x%08x).\n", hr::kUnexpected);
    Signal();
    return hr::kOk;
}

HRESULT CWMVCopy::OnTime(uint64_t) {
    // Once the run has ended (the end time, a stop, a failure) no more time
    // is granted: the reader waits until it is closed instead of reading on
    // through the file only for its samples to be dropped.
    if (m_eof || m_runEnded) {
        return hr::kOk;
    }
    m_clock += kGrant;
    const HRESULT r = m_reader->DeliverTime(m_clock);
    if (wm::Failed(r)) {
        m_asyncResult = r;
        Signal();
    }
    return hr::kOk;
}

HRESULT CWMVCopy::OnStreamSample(uint16_t stream, uint64_t time, uint64_t duration, uint32_t flags,
                                 const wm::SampleBuffer& sample) {
    if (m_runEnded) {
        return hr::kOk;
    }
    if (m_end != 0 && time > m_end) {
        m_runEnded = true;
        Signal();
        return hr::kOk;
    }
    if (time < m_start) {
        return hr::kOk;
    }
    const int rc = m_handler ? m_handler(stream, time - m_start, duration, flags, sample, nullptr,
                                         m_handlerValue)
                             : 0;
    if (rc != 0) {
        m_runEnded = true;
        if (rc < 0) {
            m_asyncResult = rc;
        }
        Signal();
    }
    return hr::kOk;
}

HRESULT CWMVCopy::TransferHeaderData(wm::HeaderInfo* writer) {
    for (uint16_t number : m_streamNumbers) {
        TransferStreamAttributes(writer, number);
    }
    TransferStreamAttributes(writer, 0);
    HRESULT r = TransferCodecs(writer, -1);
    if (wm::Failed(r)) {
        return r;
    }
    r = TransferScripts(writer);
    if (wm::Failed(r)) {
        Log("Could not copy scripts (hr=0x%08x).\n", r);
    }
    return r;
}

HRESULT CWMVCopy::TransferStreamAttributes(wm::HeaderInfo* writer, uint16_t stream) {
    if (m_headerInfo == nullptr || writer == nullptr) {
        return hr::kPointer;
    }
    const uint16_t count = m_headerInfo->GetAttributeCount(stream);
    for (uint16_t i = 0; i < count; ++i) {
        asf::Attribute a;
        HRESULT r = m_headerInfo->GetAttributeByIndex(stream, i, a);
        if (wm::Succeeded(r)) {
            r = writer->SetAttribute(stream, a.name, a.type, a.value);
        }
        // Attributes the writer refuses (the derived, read-only ones) are
        // skipped.
        if (r == hr::kInvalidArg) {
            continue;
        }
        if (wm::Failed(r)) {
            return r;
        }
    }
    return hr::kOk;
}

HRESULT CWMVCopy::TransferCodecInfoOfType(wm::HeaderInfo* writer, const asf::Guid& major_type) {
    const int type = major_type == wm::kMediaTypeAudio   ? static_cast<int>(asf::kCodecAudio)
                     : major_type == wm::kMediaTypeVideo ? static_cast<int>(asf::kCodecVideo)
                                                         : -2;
    return TransferCodecs(writer, type);
}

HRESULT CWMVCopy::TransferCodecs(wm::HeaderInfo* writer, int only_type) {
    HRESULT r = hr::kOk;
    if (m_headerInfo == nullptr || writer == nullptr) {
        r = hr::kPointer;
    }
    const uint32_t count = wm::Succeeded(r) ? m_headerInfo->GetCodecInfoCount() : 0;
    for (uint32_t i = 0; i < count && wm::Succeeded(r); ++i) {
        asf::CodecInfo c;
        r = m_headerInfo->GetCodecInfo(i, c);
        if (wm::Succeeded(r) && (only_type == -1 || static_cast<int64_t>(c.type) == only_type)) {
            r = writer->AddCodecInfo(c);
        }
    }
    if (wm::Failed(r)) {
        Log("Could not copy codec info (hr=0x%08x).\n", r);
    }
    return r;
}

HRESULT CWMVCopy::TransferScripts(wm::HeaderInfo* writer) {
    if (m_headerInfo == nullptr || writer == nullptr) {
        return hr::kPointer;
    }
    const uint16_t count = m_headerInfo->GetScriptCount();
    for (uint16_t i = 0; i < count; ++i) {
        asf::Script s;
        HRESULT r = m_headerInfo->GetScript(i, s);
        if (wm::Succeeded(r)) {
            r = writer->AddScript(s);
        }
        if (wm::Failed(r)) {
            return r;
        }
    }
    return hr::kOk;
}

void CWMVCopy::CloseSource() {
    m_streamCount = 0;
    m_profile.reset();
    m_headerInfo = nullptr;
    if (m_reader) {
        m_reader->Close();
        m_reader.reset();
    }
    m_streamTypes.clear();
    m_streamNumbers.clear();
}

}  // namespace trelvan
