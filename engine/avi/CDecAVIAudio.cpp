#include "CDecAVIAudio.h"

#include <algorithm>
#include <cstring>

#include "ByteOrder.h"
#include "ErrorCodes.h"

using namespace trelvan;

CDecAVIAudio::CDecAVIAudio() = default;

CDecAVIAudio::~CDecAVIAudio() {
    CDecAVIAudio::Close();
}

bool CDecAVIAudio::SelectAudioStream() {
    m_audio = nullptr;
    for (int i = 0; i < m_file->StreamCount(); ++i) {
        AviStream& s = m_file->Stream(i);
        if (s.Info().fccType == bytes::FourCC("auds")) {
            m_audio = &s;  // the last audio stream of the file wins
        }
    }
    return m_audio != nullptr;
}

int32_t CDecAVIAudio::Open(const std::string& path) {
    Close();
    const int32_t rc = CDecAVI::Open(path);
    if (rc != err::kOk) {
        return rc;
    }
    if (SelectAudioStream()) {
        ReadAudioInfo();
    }
    return err::kOk;
}

void CDecAVIAudio::ReadAudioInfo() {
    m_audioInfo = m_audio->Info();
    const std::vector<uint8_t>& f = m_audio->Format();
    if (f.empty()) {
        return;  // no format to read: the stream simply has none
    }
    const int32_t size = static_cast<int32_t>(std::max<size_t>(f.size(), 18));
    uint8_t* p = m_audioFormat.GetBuffer(size);
    if (p == nullptr) {
        return;
    }
    std::memset(p, 0, static_cast<size_t>(size));
    std::memcpy(p, f.data(), f.size());
    m_sampleRate = bytes::GetLE32(p + 4);
    if (bytes::GetLE16(p) == 1) {
        bytes::PutLE16(p + 16, 0);  // PCM has no extra bytes, whatever was stored
    }
}

const uint8_t* CDecAVIAudio::GetAudioFormat() {
    return m_audioFormat.HasStorage() ? m_audioFormat.Data() : nullptr;
}

bool CDecAVIAudio::HasAudio() {
    return m_audio != nullptr;
}

int32_t CDecAVIAudio::GetAudioStart() {
    return m_audio != nullptr ? m_audio->Start() : 0;
}

int32_t CDecAVIAudio::GetAudioLength() {
    return m_audio != nullptr ? m_audio->Length() : 0;
}

int32_t CDecAVIAudio::ReadAudio(int32_t* samples, void* buffer, int32_t* bytes) {
    *samples = 0;
    if (m_audio == nullptr) {
        *bytes = 0;
        return err::kStreamRead;
    }
    int64_t got = 0;
    int32_t n = 0;
    if (m_audio->Read(m_readPos, kReadConvenient, buffer, *bytes, &got, &n) != err::kOk) {
        *bytes = 0;
        return err::kStreamRead;
    }
    *samples = n;
    *bytes = static_cast<int32_t>(got);
    m_readPos += n;
    return err::kOk;
}

AviStream* CDecAVIAudio::GetAudioStream() {
    return m_audio;
}

void CDecAVIAudio::Close() {
    CDecAVI::Close();
    m_audio = nullptr;
    m_readPos = 0;
    m_audioInfo = AviStreamInfo{};
    m_audioFormat.Free();
    m_sampleRate = 0;
}
