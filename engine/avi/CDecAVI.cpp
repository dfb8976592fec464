#include "CDecAVI.h"

#include <cstdlib>
#include <cstring>

#include "AviFrameDecoder.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"

namespace trelvan {

std::string FourCCText(uint32_t code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        if (c == '\0') {
            break;
        }
        s.push_back(c);
    }
    return s;
}

uint32_t NamedCode(uint32_t code) {
    if (code == 0) {
        return bytes::FourCC("None");
    }
    if (code == 1) {
        return bytes::FourCC("Rle8");
    }
    return code;
}

}  // namespace trelvan

using namespace trelvan;

CDecAVI::CDecAVI() = default;

CDecAVI::~CDecAVI() {
    CDecAVI::Close();
}

int32_t CDecAVI::OpenFile(const std::string& path) {
    int32_t error = err::kOk;
    m_file = AviFile::Open(path, &error, m_opener);
    return m_file ? err::kOk : err::kFileOpen;
}

int32_t CDecAVI::Open(const std::string& path) {
    Close();
    if (OpenFile(path) != err::kOk) {
        return err::kFileOpen;
    }
    // The video stream of lowest priority value; on equal priority the
    // earlier one stays.
    uint32_t best = 65535;
    for (int i = 0; i < m_file->StreamCount(); ++i) {
        AviStream& s = m_file->Stream(i);
        if (s.Info().fccType != bytes::FourCC("vids")) {
            continue;
        }
        if (m_video == nullptr || s.Info().wPriority < best) {
            m_video = &s;
            best = s.Info().wPriority;
        }
    }
    if (m_video == nullptr) {
        return err::kNoVideo;
    }
    ReadVideoInfo();
    return err::kOk;
}

void CDecAVI::ReadVideoInfo() {
    m_videoInfo = m_video->Info();
    m_rate = m_videoInfo.dwRate;
    m_scale = m_videoInfo.dwScale;
    m_length = m_video->Length();
    m_videoInfo.fccHandler = NamedCode(m_videoInfo.fccHandler);
    m_videoInfo.fccType = NamedCode(m_videoInfo.fccType);
    m_streamType = FourCCText(m_videoInfo.fccType);
    m_streamHandler = FourCCText(m_videoInfo.fccHandler);
    BITMAPINFOHEADER bih{};
    ReadBitmapInfoHeader(m_video->Format().data(), m_video->Format().size(), &bih);
    m_width = bih.biWidth;
    m_height = bih.biHeight;
    m_compression = FourCCText(NamedCode(bih.biCompression));
}

int32_t CDecAVI::ReadVideoSample(int32_t pos, int32_t* samples, void** buffer, int32_t* bytes) {
    *samples = 0;
    *bytes = 0;
    if (m_video == nullptr) {
        return err::kStreamRead;
    }
    int64_t size = 0;
    int32_t count = 0;
    if (m_video->Read(pos, kReadConvenient, nullptr, 0, &size, &count) != err::kOk || count == 0) {
        return err::kStreamRead;
    }
    *samples = count;
    if (size == 0) {
        return err::kOk;  // a dropped frame: no bytes, buffer untouched
    }
    void* grown = std::realloc(*buffer, static_cast<size_t>(size));
    if (grown == nullptr) {
        return err::kMemory;
    }
    *buffer = grown;
    if (m_video->Read(pos, kReadConvenient, grown, size, &size, &count) != err::kOk) {
        return err::kStreamRead;
    }
    *samples = count;
    *bytes = static_cast<int32_t>(size);
    return err::kOk;
}

bool CDecAVI::IsKeyFrame(int32_t pos) {
    return m_video != nullptr && m_video->FindPrevKeyFrame(pos) == pos;
}

int32_t CDecAVI::ReadVideoFormat(uint8_t** buffer, int32_t* size) {
    *buffer = nullptr;
    *size = 0;
    if (m_video == nullptr) {
        return err::kStreamFormat;
    }
    const std::vector<uint8_t>& f = m_video->Format();
    if (f.empty()) {
        return err::kStreamFormat;  // the stream list had no format
    }
    auto* p = static_cast<uint8_t*>(std::malloc(f.size()));
    if (p == nullptr) {
        return err::kMemory;
    }
    std::memcpy(p, f.data(), f.size());
    *buffer = p;
    *size = static_cast<int32_t>(f.size());
    return err::kOk;
}

int32_t CDecAVI::GetVideoStart() {
    return m_video != nullptr ? m_video->Start() : 0;
}

AviStream* CDecAVI::GetVideoStream() {
    return m_video;
}

int32_t CDecAVI::GetFrame(int32_t index, const uint8_t** bits) {
    if (m_video == nullptr) {
        return -1;
    }
    if (!m_frameDecoder) {
        m_frameDecoder = AviFrameDecoder::Open(*m_video);
        if (!m_frameDecoder) {
            return -1;
        }
    }
    const uint8_t* picture = m_frameDecoder->GetFrame(index);
    if (picture == nullptr) {
        return -1;
    }
    ReadBitmapInfoHeader(picture, kBitmapInfoHeaderSize, &m_pictureHeader);
    if (bits != nullptr) {
        *bits = picture + kBitmapInfoHeaderSize;
    }
    return index;
}

void CDecAVI::Close() {
    m_frameDecoder.reset();
    m_video = nullptr;
    m_file.reset();
    m_videoInfo = AviStreamInfo{};
    m_streamType.clear();
    m_streamHandler.clear();
    m_compression.clear();
    m_rate = m_scale = 0;
    m_length = m_width = m_height = 0;
    CDecMovie::Close();
}
