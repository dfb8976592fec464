#include "CEncAVI_Comp.h"

#include "ErrorCodes.h"

CEncAVI_Comp::CEncAVI_Comp() {
    m_framesInfo.fill(0);
}

CEncAVI_Comp::~CEncAVI_Comp() = default;

int32_t CEncAVI_Comp::Open(const std::string& path) {
    const int32_t rc = CEncAVI::Open(path);
    if (rc != 0) {
        return rc;
    }
    // Starting the compression sequence: nothing to set up for "DIB ".
    m_sequenceStarted = true;
    return 0;
}

int32_t CEncAVI_Comp::PrepareCompressor() {
    const int32_t rc = CEncAVI::PrepareCompressor();
    if (rc == 0) {
        m_framesInfo.fill(0);
    }
    return rc;
}

void CEncAVI_Comp::ReleaseCompressor() {
    m_sequenceStarted = false;
    CEncAVI::ReleaseCompressor();
}

int32_t CEncAVI_Comp::WriteFrame(const void* bits, int32_t bytes) {
    if (!HandlerIsDib()) {
        return trelvan::err::kCodecSelect;
    }
    if (!m_file || m_rawStream < 0) {
        return trelvan::err::kStreamWrite;
    }
    return WriteSamples(1, bits, bytes, 1);
}
