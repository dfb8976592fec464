#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AviFile.h"
#include "CEncAVI_Comp.h"
#include "OpContext.h"

// The writer the AVI link and extract pages own: the copy mode of CEncAVI
// plus an audio stream, and the copy of a range of a source's audio samples.
//
//   OpenForCopy(path, video header, format, size)   0, 2001, 2003, 2005
//   AddAudioStream(format, audio header, "")        0, 2001, 2003, 2005
//   WriteSamples(...) per video sample              0, 2006
//   CopyAudioRange(first, end, source) per source   0, 501, 2006
//   Close()
//
// CopyAudioRange calls the context's pump hook before every block and asks
// the context's ask hook when a block cannot be read; the writer never talks
// to the user itself.
class CEncAVIAudio : public CEncAVI_Comp {
  public:
    static constexpr int32_t kTransferBytes = 400000;

    CEncAVIAudio();
    ~CEncAVIAudio() override;

    int32_t Close() override;

    // Adds the audio stream: `format` is a WAVEFORMATEX and its tail, of which
    // 18 + cbSize bytes are kept (16 bytes are accepted as they are). With a
    // non-empty path the writer first closes, removes that file and creates it
    // anew (err::kSaveCreate); with an empty path the stream goes into the
    // file already open (err::kVideoStreamMake when there is none).
    // err::kFormatSet for a format under 16 bytes.
    int32_t AddAudioStream(const std::vector<uint8_t>& format, const trelvan::AviStreamInfo& header,
                           const std::string& path);

    // What became of audio blocks that could not be read, over every
    // CopyAudioRange of this writer object (closing keeps it, for the caller
    // to read after the file is finished).
    struct AudioReadTrouble {
        int64_t firstSample = -1;  // the first sample that could not be read; -1: none
        double firstSeconds = 0;   // its time in its stream
        int64_t skipped = 0;       // samples skipped (answered Cancel)
        bool ended = false;        // a copy was ended there (answered OK, or no one asked)
        bool unanswered = false;   // ...because no ask hook was set
    };

    // Copies the source's audio samples [first, end) (end clamped to the
    // source's length) into the audio stream, block by block as the source
    // delivers them (at most kTransferBytes each, never past `end`). Before
    // each block the context's pump hook runs; a block that cannot be read
    // asks the context's ask hook (empty caption, AudioReadFailedText()):
    // true (OK) ends the copy, false (Cancel) skips one sample. Without a
    // context or an ask hook a failed read ends the copy, and ReadTrouble()
    // tells the caller, who must not report the run as complete. A null
    // source copies nothing. Returns 0 (also when the copy was ended),
    // err::kMemory, or err::kStreamWrite (no audio stream, or a failed
    // write).
    int32_t CopyAudioRange(int32_t first, int32_t end, trelvan::AviStream* source);

    // Appends one block of audio as one chunk (a key chunk). The audio
    // position moves by the samples the block holds: bytes / nBlockAlign for
    // a stream of fixed-size samples, 1 otherwise; `samples` (0 allowed) is
    // the caller's count and does not change that.
    int32_t AppendAudio(int32_t samples, const void* bytes, int32_t byte_count);

    // Where the pump and ask hooks come from (may be null: no pumping, and a
    // failed read ends the copy).
    void SetContext(trelvan::OpContext* ctx) { m_ctx = ctx; }

    bool HasAudio() const { return m_hasAudio; }
    const AudioReadTrouble& ReadTrouble() const { return m_trouble; }
    int32_t GetAudioPosition() const { return m_audioPos; }

    // The question asked when an audio block cannot be read.
    static std::string AudioReadFailedText();

  private:
    int m_audioStream = -1;
    int32_t m_audioPos = 0;
    bool m_hasAudio = false;
    trelvan::OpContext* m_ctx = nullptr;
    AudioReadTrouble m_trouble;
};
