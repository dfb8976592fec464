#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "AudioSilence.h"
#include "OpContext.h"

class CDecAVIAudio;
class CEncAVIAudio;

// Keeping sound and picture together when AVI files are joined. Entry i's
// audio must begin where its video begins: at the sum of the earlier
// entries' video durations (frames x scale / rate), always summed from the
// first entry so that no rounding is carried from join to join. Audio that
// runs longer than its video is cut there (whole blocks or frames), except
// the last entry's; audio that is shorter, or missing, is followed by exact
// silence in the stream's own format where one exists (see AudioSilence).
// Where none exists the audio is joined as it is and every entry that then
// starts off its video is named with the amount, before anything is written.
namespace trelvan {

// The audio sample of `reader` at the time of its video frame `frame`
// (frame x vScale x aRate / vRate / aScale, truncated), never before the
// audio stream's own first sample.
int32_t AviAudioStartOf(CDecAVIAudio& reader, int32_t frame);
// One past the audio stream's last sample (its start plus its length).
int32_t AviAudioEndOf(CDecAVIAudio& reader);

class AviAudioSync {
  public:
    // Works out the join of `readers` (open, in list order) into an output
    // whose audio stream is the first reader's. `sources` names the entries
    // in the notes.
    AviAudioSync(const std::vector<CDecAVIAudio*>& readers,
                 const std::vector<std::string>& sources);

    // Whether the output has audio (the first entry has), and whether gaps
    // can be filled with silence.
    bool HasAudio() const { return m_hasAudio; }
    bool CanFill() const { return m_canFill; }

    // Where entry `i`'s video begins in the output, in seconds.
    long double VideoStart(size_t i) const { return m_videoStart[i]; }

    // What the user should know before the join: an entry without audio
    // that silence will fill, and, when no silence can be written, each
    // entry whose audio will start before its video and by how much. One
    // line each, in the language of the messages.
    const std::vector<std::string>& Notes() const { return m_notes; }

    // The source samples of entry `i` to copy, from `first` (its sample at
    // its video's start) to `end` (its stream's end), so that the output's
    // audio, now at sample `outputPos` of the output's stream, stops where
    // the next entry's video begins. The last entry keeps all of its audio.
    int32_t CopyEnd(size_t i, CDecAVIAudio& reader, int32_t first, int32_t end,
                    int32_t outputPos) const;

    // Appends silence to the output after entry `i` until its audio reaches
    // the next entry's video start, to the nearest whole block or frame
    // (nothing after the last entry, or when no silence can be written),
    // pumping `ctx` (may be null) after each chunk. 0 or the writer's code.
    int32_t FillAfter(size_t i, CEncAVIAudio& writer, OpContext* ctx);

  private:
    long double OutputSeconds(int64_t outputPos) const;

    bool m_hasAudio = false;
    bool m_canFill = false;
    uint32_t m_outRate = 0, m_outScale = 0;  // the output audio stream's clock
    bool m_outFramed = false;                // one output sample is one MPEG frame
    std::vector<long double> m_videoStart;   // per entry, and the end after the last
    std::vector<std::string> m_notes;
    audio::AudioSilence m_silence;
    uint64_t m_silenceUnits = 0;             // units written so far
};

}  // namespace trelvan
