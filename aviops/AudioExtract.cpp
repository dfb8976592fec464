#include "AudioExtract.h"

#include "ErrorCodes.h"
#include "OutputNames.h"

namespace trelvan {

AudioTime AudioTime::FromMs(int64_t ms) {
    if (ms < 0) {
        ms = 0;
    }
    AudioTime t;
    t.hours = ms / 3600000;
    t.minutes = ms / 60000 % 60;
    t.seconds = ms / 1000 % 60;
    t.milliseconds = ms % 1000;
    return t;
}

uint32_t AudioTimeToPosition(const AudioTime& t, uint32_t avgBytesPerSec, uint32_t blockAlign) {
    if (avgBytesPerSec == 0 || blockAlign == 0) {
        return 0;
    }
    const double seconds = static_cast<double>((t.hours * 60 + t.minutes) * 60 + t.seconds) +
                           static_cast<double>(t.milliseconds) / 1000.0;
    const double position = seconds * avgBytesPerSec / blockAlign;
    // Truncated toward zero to 64 bits; the low 32 bits are the position.
    if (!(position < 9.2e18) || !(position > -9.2e18)) {
        return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(position)));
}

AudioTime AudioDuration(uint32_t samples, uint32_t avgBytesPerSec, uint32_t blockAlign) {
    AudioTime t;
    if (avgBytesPerSec == 0) {
        return t;
    }
    const double x = static_cast<double>(blockAlign) * samples / avgBytesPerSec;
    const auto s = static_cast<uint64_t>(x);
    t.hours = static_cast<int64_t>(s / 3600);
    t.minutes = static_cast<int64_t>(s % 3600 / 60);
    t.seconds = static_cast<int64_t>(s % 60);
    t.milliseconds = static_cast<int64_t>(static_cast<uint64_t>(x * 1000) % 1000);
    return t;
}

int32_t ReadAudioDuration(const std::string& source, AudioTime* length) {
    *length = {};
    return err::kFileOpen;
}

AudioExtractResult RunAudioExtract(const AudioExtractJob& job, OpContext& ctx,
                                   const std::function<void()>& onBegin) {
    AudioExtractResult result;
    if (SameFile(job.source, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    RemoveExistingFile(job.output);
    result.code = err::kFileOpen;
    result.sourceInDetail = true;
    return result;
}

}  // namespace trelvan
