#include "AudioLink.h"

#include <algorithm>
#include <memory>

#include "AudioBlockReader.h"
#include "AviAudioUnits.h"
#include "AviFile.h"
#include "ByteOrder.h"
#include "CDecWAV.h"
#include "CWaveFileACM.h"
#include "ErrorCodes.h"
#include "KeptChunks.h"
#include "JoinCheckAvi.h"
#include "MemBuffBase.h"
#include "OutputNames.h"
#include "StagedOutput.h"
#include "WaveFormatEx.h"

namespace trelvan {

namespace {

// The block size to which a source's audio is held where another source
// follows: a WAV file whose data ends in part of a block (a 16-bit file of
// odd size) would otherwise put every later source's samples one byte off.
// 0 for audio that is not made of such blocks.
uint32_t JoinUnit(CDecWAV& reader) {
    const AviStream* stream = reader.GetAudioStream();
    const uint8_t* format = reader.GetAudioFormat();
    if (stream == nullptr || format == nullptr || reader.GetAudioFormatSize() < 2 ||
        !IsBlockCodedAudio(bytes::GetLE16(format))) {
        return 0;
    }
    return stream->SampleSize();
}

// Copies the audio of one opened source into the wave file, from the
// reader's read position to the end of its stream. `buffer` may grow to hold
// a variable-size sample. With `wholeBlocks`, a part of a block at the end is
// left out. 0, or the code that ends the run; the stop flag is looked at
// after every block.
int32_t CopySource(CDecWAV& reader, CWaveFileACM& wave, CMemBuffBase<unsigned char>& buffer,
                   OpContext& ctx, bool wholeBlocks) {
    if (reader.GetAudioStream() == nullptr) {
        return err::kStreamRead;
    }
    const uint32_t unit = wholeBlocks ? JoinUnit(reader) : 0;
    const int64_t end = static_cast<int64_t>(reader.GetAudioStart()) + reader.GetAudioLength();
    // A stream whose first sample is not 0 (an AVI audio stream that starts
    // late) is read from that sample: there is nothing before it to read.
    if (reader.GetReadPosition() < reader.GetAudioStart()) {
        reader.SetPosition(reader.GetAudioStart());
    }
    AudioBlockReader blocks(reader, buffer, end);
    while (reader.GetReadPosition() < end) {
        int32_t bytes = 0;
        int32_t samples = 0;
        const int32_t readCode = blocks.Next(&bytes, &samples);
        if (readCode != err::kOk) {
            return readCode;  // shown: the output would end short unnoticed
        }
        if (samples < 1) {
            break;  // the stream ended early: on with the next source
        }
        if (unit > 1) {
            bytes -= static_cast<int32_t>(static_cast<uint32_t>(bytes) % unit);
        }
        if (bytes > 0 && wave.WriteRaw(buffer.Data(), bytes) < 1) {
            return err::kOutput;  // disk full, or the WAV size limit
        }
        ctx.timer.AddLap();
        ctx.Pump();
        ctx.timer.Start();
        if (ctx.StopRequested()) {
            break;
        }
    }
    return err::kOk;
}

}  // namespace

AudioLinkResult RunAudioLink(const AudioLinkJob& job, OpContext& ctx,
                             const std::function<void()>& onBegin) {
    AudioLinkResult result;
    if (job.sources.empty()) {
        result.code = err::kNoFrame;
        return result;
    }
    // An output that is one of the sources would be deleted below.
    for (const std::string& source : job.sources) {
        if (SameFile(source, job.output)) {
            result.code = err::kOutputCannotBeMade;
            return result;
        }
    }
    // One reader per entry, all opened before the old output goes, so a
    // list that cannot be read leaves an existing output alone.
    std::vector<std::unique_ptr<CDecWAV>> readers;
    readers.reserve(job.sources.size());
    uint32_t largestSample = 1;
    for (size_t i = 0; i < job.sources.size(); ++i) {
        auto reader = std::make_unique<CDecWAV>();
        reader->SetFileOpener(ctx.opener);
        result.code = reader->Open(job.sources[i]);
        if (result.code != err::kOk) {
            result.failedSource = static_cast<int32_t>(i);
            return result;
        }
        // Only a stream that holds samples has its sample size counted (its
        // samples then lie within the file); a header's size of a sample
        // never stored must not size the buffer.
        if (const AviStream* s = reader->GetAudioStream(); s != nullptr && s->Length() > 0) {
            largestSample = std::max(largestSample, s->SampleSize());
        }
        readers.push_back(std::move(reader));
    }
    if (job.checkJoin) {
        std::vector<CDecAVIAudio*> open;
        for (const auto& r : readers) {
            open.push_back(r.get());
        }
        result.join = CompareAudioEntries(open, job.sources);
        if (!result.join.JoinsCleanly() && ctx.ask && !ctx.Ask("", result.join.Question())) {
            result.cancelled = true;
            return result;
        }
    }
    // The output is described by the first source's format record.
    CDecWAV& first = *readers.front();
    WAVEFORMATEX format{};
    const uint8_t* formatBytes = first.GetAudioFormat();
    const int32_t formatSize = first.GetAudioFormatSize();
    if (formatBytes == nullptr || formatSize < 16 ||
        !ReadWaveFormat(formatBytes, static_cast<size_t>(formatSize), &format)) {
        result.code = err::kStreamFormat;
        result.failedSource = 0;
        return result;
    }
    if (format.wFormatTag == 0) {
        result.code = err::kUnsupportedFormat;  // no format to write the output in
        result.failedSource = 0;
        return result;
    }
    CWaveFileACM wave;
    wave.SetFileOpener(ctx.opener);
    if (job.riffSizeLimit != 0) {
        wave.SetRiffSizeLimit(job.riffSizeLimit);
    }
    wave.SetFileFormat(formatBytes, static_cast<size_t>(formatSize));
    // Written beside the output and put in place when the run is kept: a
    // failure leaves an existing output as it was.
    StagedOutput staged(job.output);
    if (!staged.Ready() || !wave.OpenWrite(staged.Path())) {
        result.code = err::kFileDoesNotOpen;
        return result;
    }
    wave.SetTrailingChunks(WavKeptChunks(first));

    // The work begins.
    const auto count = static_cast<int32_t>(readers.size());
    ctx.item = 0;
    ctx.items = count;
    ctx.BeginWork(0, count);
    result.started = true;
    if (onBegin) {
        onBegin();
    }
    ctx.timer.ClearTotal();
    ctx.timer.Start();

    CMemBuffBase<unsigned char> buffer;
    const uint32_t blockBytes = std::max(job.blockBytes, largestSample);
    if (buffer.GetBuffer(static_cast<int32_t>(blockBytes)) == nullptr) {
        result.code = err::kMemory;
    }
    for (int32_t i = 0; result.code == err::kOk && i < count; ++i) {
        ctx.item = i;
        ctx.current = i;
        result.code = CopySource(*readers[static_cast<size_t>(i)], wave, buffer, ctx, i + 1 < count);
        if (ctx.StopRequested()) {
            break;
        }
    }
    if (result.code != err::kOk) {
        ctx.stop = 1;  // a failed run shows no 100 %
    } else if (!ctx.StopRequested()) {
        ctx.current = count;
    }
    // Close patches the sizes and the fact value (from the byte count of all
    // sources, in the first source's format).
    wave.Close();
    if (result.code == 0 && !wave.WriteComplete()) {
        // What was buffered could not be written when the file was closed
        // (a full disk): the file ends early, which must not pass as done.
        result.code = err::kOutput;
        ctx.stop = 1;
    }
    if (result.code == 0 && !staged.Commit()) {
        result.code = err::kFileDoesNotOpen;
        ctx.stop = 1;
    }
    return result;
}

}  // namespace trelvan
