#include "AudioBlockReader.h"

#include <algorithm>
#include <cstdint>

#include "ErrorCodes.h"

namespace trelvan {

int32_t AudioBlockReader::Next(int32_t* bytes, int32_t* samples) {
    *bytes = 0;
    *samples = 0;
    AviStream* stream = m_reader.GetAudioStream();
    if (stream == nullptr) {
        return err::kStreamRead;
    }
    const int64_t position = m_reader.GetReadPosition();
    // Past the stream's last sample there is nothing to read, whatever the
    // range asks for: a sample size the stream holds no sample of (a header
    // claiming gigabytes per sample) must not size the buffer.
    const int64_t streamEnd = static_cast<int64_t>(stream->Start()) + stream->Length();
    if (position >= m_end || position >= streamEnd) {
        return err::kOk;
    }
    int64_t request = 0;
    if (const uint32_t sampleSize = stream->SampleSize(); sampleSize != 0) {
        // A sample the stream holds lies within the file; one beyond what
        // the buffer can count is refused.
        if (sampleSize > static_cast<uint32_t>(INT32_MAX)) {
            return err::kMemory;
        }
        // At least one whole sample, however small the buffer was made.
        if (m_buffer.GetCount() < static_cast<int32_t>(sampleSize) &&
            m_buffer.GetBuffer(static_cast<int32_t>(sampleSize)) == nullptr) {
            return err::kMemory;
        }
        const int64_t left = (m_end - position) * sampleSize;
        request = std::min<int64_t>(left, m_buffer.GetCount() / sampleSize * sampleSize);
    } else {
        int64_t size = 0;
        int32_t n = 0;
        if (stream->Read(static_cast<int32_t>(position), kReadConvenient, nullptr, 0, &size, &n) !=
                err::kOk ||
            size > kLargestSample) {
            return err::kStreamRead;
        }
        if (size > m_buffer.GetCount() &&
            m_buffer.GetBuffer(static_cast<int32_t>(size)) == nullptr) {
            return err::kMemory;
        }
        request = std::max<int64_t>(size, 1);
    }
    *bytes = static_cast<int32_t>(request);
    return m_reader.ReadAudio(samples, m_buffer.Data(), bytes);
}

}  // namespace trelvan
