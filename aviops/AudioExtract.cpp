#include "AudioExtract.h"

#include "AudioBlockReader.h"
#include "CDecWAV.h"
#include "CWaveFileACM.h"
#include "ErrorCodes.h"
#include "MemBuffBase.h"
#include "OutputNames.h"
#include "WaveFormatEx.h"

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

namespace {

// The 18-byte head of the reader's audio format, or false without one. A
// format that gives no byte rate (variable-rate MP3 in an AVI) gets the one
// its stream's rate and scale imply, so times still turn into positions.
bool FormatOf(CDecWAV& reader, WAVEFORMATEX* format) {
    const uint8_t* bytes = reader.GetAudioFormat();
    const int32_t size = reader.GetAudioFormatSize();
    if (bytes == nullptr || size < 16 ||
        !ReadWaveFormat(bytes, static_cast<size_t>(size), format)) {
        return false;
    }
    if (format->nAvgBytesPerSec == 0 && format->nBlockAlign != 0) {
        if (const AviStream* stream = reader.GetAudioStream()) {
            const AviStreamInfo& info = stream->Info();
            if (info.dwRate != 0 && info.dwScale != 0) {
                const double perSecond =
                    static_cast<double>(info.dwRate) / info.dwScale * format->nBlockAlign;
                if (perSecond >= 1 && perSecond < 4e9) {
                    format->nAvgBytesPerSec = static_cast<uint32_t>(perSecond + 0.5);
                }
            }
        }
    }
    return true;
}

}  // namespace

int32_t ReadAudioDuration(const std::string& source, AudioTime* length) {
    *length = {};
    CDecWAV reader;
    const int32_t code = reader.Open(source);
    if (code != 0) {
        return code;
    }
    WAVEFORMATEX format{};
    if (!FormatOf(reader, &format) || format.nAvgBytesPerSec == 0 || format.nBlockAlign == 0) {
        return err::kStreamFormat;  // no rate: the length cannot be told in time
    }
    *length = AudioDuration(static_cast<uint32_t>(reader.GetAudioLength()), format.nAvgBytesPerSec,
                            format.nBlockAlign);
    return 0;
}

AudioExtractResult RunAudioExtract(const AudioExtractJob& job, OpContext& ctx,
                                   const std::function<void()>& onBegin) {
    AudioExtractResult result;
    // An output that is the source itself would be deleted below.
    if (SameFile(job.source, job.output)) {
        result.code = err::kOutputCannotBeMade;
        return result;
    }
    // The source is opened before the old output goes, so a start that
    // cannot read its source leaves an existing output alone.
    CDecWAV reader;
    reader.SetFileOpener(ctx.opener);
    result.code = reader.Open(job.source);
    if (result.code != 0) {
        result.sourceInDetail = true;
        return result;
    }
    RemoveExistingFile(job.output);
    WAVEFORMATEX format{};
    if (!FormatOf(reader, &format) || format.nAvgBytesPerSec == 0 || format.nBlockAlign == 0) {
        // Without a rate the range cannot be turned into positions.
        result.code = err::kStreamFormat;
        result.sourceInDetail = true;
        return result;
    }
    const uint32_t block = format.nBlockAlign;
    const uint32_t last = AudioTimeToPosition(job.end, format.nAvgBytesPerSec, block);
    uint32_t first = AudioTimeToPosition(job.start, format.nAvgBytesPerSec, block);
    // A stream that starts late (an AVI audio stream whose first sample is
    // not 0) has nothing before its start to read.
    if (reader.GetAudioStart() > 0 && first < static_cast<uint32_t>(reader.GetAudioStart())) {
        first = static_cast<uint32_t>(reader.GetAudioStart());
    }
    reader.SetPosition(static_cast<int32_t>(first));

    CWaveFileACM wave;
    wave.SetFileOpener(ctx.opener);
    if (job.riffSizeLimit != 0) {
        wave.SetRiffSizeLimit(job.riffSizeLimit);
    }
    wave.SetFileFormat(reader.GetAudioFormat(), static_cast<size_t>(reader.GetAudioFormatSize()));
    if (!wave.OpenWrite(job.output)) {
        result.code = err::kFileDoesNotOpen;
        return result;
    }

    // The work begins.
    ctx.first = first;
    ctx.current = first;
    ctx.last = last;
    ctx.stop = 0;
    ctx.timer.ClearTotal();
    ctx.timer.Start();
    result.started = true;
    if (onBegin) {
        onBegin();
    }

    const uint32_t blockBytes = job.blockBytes < block ? block : job.blockBytes;
    CMemBuffBase<unsigned char> buffer;
    unsigned char* data = buffer.GetBuffer(static_cast<int32_t>(blockBytes));
    if (data == nullptr) {
        result.code = err::kMemory;
    }
    AudioBlockReader blocks(reader, buffer, last);
    auto position = [&reader] { return static_cast<uint32_t>(reader.GetReadPosition()); };
    while (result.code == 0 && position() < last) {
        ctx.current = position();
        int32_t bytes = 0;
        int32_t samples = 0;
        const int32_t readCode = blocks.Next(&bytes, &samples);
        if (readCode != 0) {
            result.code = readCode;  // shown: the output would end short unnoticed
            break;
        }
        data = buffer.Data();  // a long chunk may have moved the buffer
        if (samples < 1) {
            break;  // the end of the stream came before the end of the range
        }
        if (bytes > 0 && wave.WriteRaw(data, bytes) < 1) {
            result.code = err::kOutput;  // disk full, or the WAV size limit
            break;
        }
        if (ctx.StopRequested()) {
            break;
        }
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
    }
    ctx.current = position();
    if (result.code != 0) {
        ctx.stop = 1;  // a failed run shows no 100 %
    }
    wave.Close();
    if (result.code == 0 && !wave.WriteComplete()) {
        // What was buffered could not be written when the file was closed
        // (a full disk): the file ends early, which must not pass as done.
        result.code = err::kOutput;
        ctx.stop = 1;
    }
    reader.Close();
    return result;
}

}  // namespace trelvan
