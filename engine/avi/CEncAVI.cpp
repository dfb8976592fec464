#include "CEncAVI.h"

#include <sys/stat.h>
#include <unistd.h>

#include "AviStreamCopy.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"

using trelvan::AviStreamInfo;

CEncAVI::CEncAVI() {
    CEncAVI::Close();
}

CEncAVI::~CEncAVI() {
    CEncAVI::Close();
}

void CEncAVI::RemoveExistingOutput(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
        ::unlink(path.c_str());
    }
}

int32_t CEncAVI::CreateFile(const std::string& path) {
    m_file = std::make_unique<trelvan::AviWriter>(m_limits);
    const int32_t rc = m_file->Create(path, m_opener);
    if (rc != 0) {
        m_file.reset();
    }
    return rc;
}

int32_t CEncAVI::OpenForCopy(const std::string& path, const AviStreamInfo& header,
                             const void* format, int32_t format_size) {
    Close();
    RemoveExistingOutput(path);
    int32_t rc = CreateFile(path);
    if (rc != 0) {
        return rc;
    }
    std::vector<uint8_t> fmt;
    if (format != nullptr && format_size > 0) {
        const auto* p = static_cast<const uint8_t*>(format);
        fmt.assign(p, p + format_size);
    }
    AviStreamInfo video = header;
    rc = m_file->AddStream(trelvan::WriterStreamInfo(video), fmt, &m_writeStream);
    if (rc != 0) {
        m_writeStream = -1;
        return rc;
    }
    m_videoHeader = header;
    return 0;
}

int32_t CEncAVI::WriteSamples(int32_t samples, const void* bytes, int32_t byte_count,
                              int32_t key_frame) {
    if (!m_file || m_writeStream < 0 || byte_count < 0 || (bytes == nullptr && byte_count > 0)) {
        return trelvan::err::kStreamWrite;
    }
    int32_t written = 0;
    if (m_file->WriteChunk(m_writeStream, bytes, static_cast<uint32_t>(byte_count), key_frame != 0,
                           &written) != 0) {
        return trelvan::err::kStreamWrite;
    }
    m_videoPos += written;
    return 0;
}

int32_t CEncAVI::CopySamples(int32_t samples, trelvan::IoFile& from, uint64_t offset,
                             int32_t byte_count, int32_t key_frame) {
    (void)samples;  // one stored chunk is one sample of the video stream
    if (!m_file || m_writeStream < 0 || byte_count < 0) {
        return trelvan::err::kStreamWrite;
    }
    int32_t written = 0;
    if (m_file->CopyChunk(m_writeStream, from, offset, static_cast<uint32_t>(byte_count),
                          key_frame != 0, &written) != 0) {
        return trelvan::err::kStreamWrite;
    }
    m_videoPos += written;
    return 0;
}

void CEncAVI::SetInputFormat(const AviStreamInfo& header, const std::vector<uint8_t>& format) {
    m_videoHeader = header;
    m_inputFormat = format;
}

int32_t CEncAVI::Open(const std::string& path) {
    // Close forgets the input format; the one set for this file is kept.
    AviStreamInfo header = m_videoHeader;
    std::vector<uint8_t> format = m_inputFormat;
    Close();
    m_videoHeader = header;
    m_inputFormat = format;
    if (!HandlerIsDib()) {
        return trelvan::err::kCodecSelect;
    }
    RemoveExistingOutput(path);
    int32_t rc = CreateFile(path);
    if (rc != 0) {
        return rc;
    }
    header.fccType = trelvan::bytes::FourCC("vids");
    header.fccHandler = CEncAVISetting::kHandlerDib;
    rc = m_file->AddStream(trelvan::WriterStreamInfo(header), m_inputFormat, &m_rawStream);
    if (rc != 0) {
        m_rawStream = -1;
        return rc;
    }
    m_writeStream = m_rawStream;
    return 0;
}

int32_t CEncAVI::WriteFrame(const void* bits, int32_t bytes) {
    if (!HandlerIsDib()) {
        return trelvan::err::kCodecSelect;
    }
    // Uncompressed frames are all key frames.
    return WriteSamples(1, bits, bytes, 1);
}

int32_t CEncAVI::PrepareCompressor() {
    return HandlerIsDib() ? 0 : trelvan::err::kCodecSelect;
}

void CEncAVI::ReleaseCompressor() {
    m_options = AVICOMPRESSOPTIONS{};
}

int32_t CEncAVI::Close() {
    int32_t rc = 0;
    m_rawStream = -1;
    m_writeStream = -1;
    if (m_file) {
        rc = m_file->Close();
        m_file.reset();
    }
    ReleaseCompressor();
    m_inputFormat.clear();
    m_videoPos = 0;
    m_videoHeader = AviStreamInfo{};
    return rc;
}
