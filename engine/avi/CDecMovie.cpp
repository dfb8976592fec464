#include "CDecMovie.h"

#include <cstring>

CDecMovie::CDecMovie() = default;

CDecMovie::~CDecMovie() = default;

void CDecMovie::Close() {
    m_pictureHeader = BITMAPINFOHEADER{};
    std::memset(m_audioFormat18, 0, sizeof m_audioFormat18);
    m_audioFormatValid.Free();
}

double CDecMovie::GetFrameRate() {
    return m_scale == 0 ? 0.0 : static_cast<double>(m_rate) / static_cast<double>(m_scale);
}

int32_t CDecMovie::GetLength() {
    return m_length;
}
int32_t CDecMovie::GetWidth() {
    return m_width;
}
int32_t CDecMovie::GetHeight() {
    return m_height;
}

void CDecMovie::GetPictureHeader(BITMAPINFOHEADER* destination) {
    m_pictureHeader.biCompression = 0;
    m_pictureHeader.biClrUsed = 0;
    m_pictureHeader.biClrImportant = 0;
    *destination = m_pictureHeader;
}

bool CDecMovie::HasAudioFormat() {
    return m_audioFormatValid.HasStorage();
}

const uint8_t* CDecMovie::GetAudioFormat() {
    return HasAudioFormat() ? m_audioFormat18 : nullptr;
}

int32_t CDecMovie::Reserved(int32_t, int32_t, int32_t) {
    return 0;
}
