#include "CEncAVIAudio.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <numeric>

#include "AviStreamCopy.h"
#include "ByteOrder.h"
#include "ErrorCodes.h"
#include "Language.h"

using trelvan::AviStreamInfo;

CEncAVIAudio::CEncAVIAudio() {
    CEncAVIAudio::Close();
}

CEncAVIAudio::~CEncAVIAudio() {
    CEncAVIAudio::Close();
}

int32_t CEncAVIAudio::Close() {
    m_audioStream = -1;
    m_audioPos = 0;
    m_hasAudio = false;
    return CEncAVI::Close();
}

namespace {

// Rate and scale of a stream whose samples of `info.dwSampleSize` bytes
// become blocks of `block` bytes: samples per second times old size / block.
void RescaleToBlocks(trelvan::AviWriterStreamInfo& info, uint32_t block, uint32_t avg_bytes) {
    uint64_t rate = uint64_t{info.dwRate} * info.dwSampleSize;
    uint64_t scale = uint64_t{info.dwScale} * block;
    const uint64_t g = std::gcd(rate, scale);
    if (g != 0) {
        rate /= g;
        scale /= g;
    }
    if (rate != 0 && scale != 0 && rate <= UINT32_MAX && scale <= UINT32_MAX) {
        info.dwRate = static_cast<uint32_t>(rate);
        info.dwScale = static_cast<uint32_t>(scale);
    } else if (avg_bytes != 0) {
        info.dwRate = avg_bytes;  // the format's own byte rate, per block
        info.dwScale = block;
    }
    info.dwSampleSize = block;
}

}  // namespace

std::string CEncAVIAudio::AudioReadFailedText() {
    return trelvan::SelectLanguageText("The Audio was failed in reading. \nDo you discontinue it?",
                                       "音声読み込み失敗しました\n中止しますか");
}

int32_t CEncAVIAudio::AddAudioStream(const std::vector<uint8_t>& format,
                                     const AviStreamInfo& header, const std::string& path) {
    if (!path.empty()) {
        Close();
        RemoveExistingOutput(path);
        const int32_t rc = CreateFile(path);
        if (rc != 0) {
            return rc;
        }
    }
    if (!m_file) {
        return trelvan::err::kVideoStreamMake;  // no file to make the stream in
    }
    // The format's own size: 18 bytes and its extra bytes, never more than
    // the block holds.
    std::vector<uint8_t> fmt = format;
    if (fmt.size() >= 18) {
        fmt.resize(std::min<size_t>(fmt.size(), 18 + trelvan::bytes::GetLE16(&fmt[16])));
    }
    trelvan::AviWriterStreamInfo info = trelvan::WriterStreamInfo(header);
    // A stream of fixed-size samples counts them in blocks of the format. A
    // header that counted other units had its rate and scale in those units:
    // they are re-expressed per block, so that the written length times the
    // sample size is the bytes written and rate and scale still give the
    // same duration.
    if (info.dwSampleSize != 0 && fmt.size() >= 16) {
        const uint16_t block_align = trelvan::bytes::GetLE16(&fmt[12]);
        if (block_align != 0 && block_align != info.dwSampleSize) {
            RescaleToBlocks(info, block_align, trelvan::bytes::GetLE32(&fmt[8]));
        }
    }
    const int32_t rc = m_file->AddStream(info, fmt, &m_audioStream);
    if (rc != 0) {
        m_audioStream = -1;
        return rc;
    }
    m_hasAudio = true;
    return 0;
}

int32_t CEncAVIAudio::AppendAudio(int32_t samples, const void* bytes, int32_t byte_count) {
    if (!m_file || m_audioStream < 0 || byte_count < 0) {
        return trelvan::err::kStreamWrite;
    }
    // The stream counts what it stores: blocks of nBlockAlign bytes for a
    // stream of fixed-size samples (AddAudioStream made the sample size the
    // format's block size), one sample per block otherwise. A caller's count
    // of 0 therefore means the same as bytes / nBlockAlign, and the position
    // moves by what the stream counted, so it always agrees with the file.
    (void)samples;
    int32_t written = 0;
    if (m_file->WriteChunk(m_audioStream, bytes, static_cast<uint32_t>(byte_count), true,
                           &written) != 0) {
        return trelvan::err::kStreamWrite;
    }
    m_audioPos += written;
    return 0;
}

int32_t CEncAVIAudio::CopyAudioRange(int32_t first, int32_t end, trelvan::AviStream* source) {
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kTransferBytes]);
    if (!buffer) {
        return trelvan::err::kMemory;
    }
    if (source == nullptr) {
        return 0;
    }
    // Samples are numbered from the stream's start: the last one is
    // start + length - 1 (the length alone would cut off `start` samples of a
    // stream that starts late).
    const int64_t last_end = static_cast<int64_t>(source->Start()) + source->Length();
    if (end >= last_end) {
        end = static_cast<int32_t>(std::min<int64_t>(last_end, INT32_MAX));
    }
    int32_t rc = 0;
    int32_t pos = first;
    while (pos < end) {
        if (m_ctx != nullptr) {
            m_ctx->Pump();
        }
        int64_t bytes = 0;
        int32_t samples = 0;
        // As many samples as the buffer holds, but none past the end of the
        // range: the last block stops at `end`.
        bool read = source->Read(pos, end - pos, buffer.get(), kTransferBytes, &bytes, &samples) == 0;
        if (!read) {
            // A block of several chunks failed: the samples of the chunk at
            // `pos` alone may still be readable, so that the failure is met
            // (and reported) at the sample where it is.
            int32_t inChunk = 0;
            if (source->Read(pos, trelvan::kReadConvenient, nullptr, 0, nullptr, &inChunk) == 0 &&
                inChunk > 0 && inChunk < end - pos) {
                read = source->Read(pos, inChunk, buffer.get(), kTransferBytes, &bytes, &samples) == 0;
            }
        }
        if (!read) {
            if (m_trouble.firstSample < 0) {
                m_trouble.firstSample = pos;
                const trelvan::AviStreamInfo& in = source->Info();
                m_trouble.firstSeconds =
                    in.dwRate != 0 ? static_cast<double>(pos) * in.dwScale / in.dwRate : 0;
            }
            // OK discontinues the copy, Cancel skips this sample. With no one
            // to ask, the copy ends as OK would, and the run must say so.
            const bool asked = m_ctx != nullptr && m_ctx->ask;
            if (!asked || m_ctx->Ask("", AudioReadFailedText())) {
                m_trouble.ended = true;
                m_trouble.unanswered = m_trouble.unanswered || !asked;
                break;
            }
            ++m_trouble.skipped;
            ++pos;
            continue;
        }
        if (samples <= 0) {
            break;  // the end of the source
        }
        // An empty chunk (0 bytes, one sample of a stream of variable sample
        // size) is copied as it is; it does not end the copy.
        rc = AppendAudio(samples, buffer.get(), static_cast<int32_t>(std::max<int64_t>(bytes, 0)));
        if (rc != 0) {
            break;
        }
        pos += samples;
    }
    return rc;
}
