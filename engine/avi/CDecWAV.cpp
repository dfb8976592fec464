#include "CDecWAV.h"

#include "ErrorCodes.h"

using namespace trelvan;

CDecWAV::CDecWAV() = default;

CDecWAV::~CDecWAV() = default;

int32_t CDecWAV::Open(const std::string& path) {
    Close();
    if (OpenFile(path) != err::kOk) {
        return err::kFileOpen;
    }
    if (!SelectAudioStream()) {
        return err::kNoAudio;
    }
    ReadAudioInfo();
    return err::kOk;
}

void CDecWAV::SetPosition(int32_t sample) {
    m_readPos = sample;
}
