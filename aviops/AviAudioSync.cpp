#include "AviAudioSync.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "AviAudioUnits.h"
#include "CDecAVIAudio.h"
#include "CEncAVIAudio.h"
#include "JoinCheck.h"
#include "Language.h"

namespace trelvan {
namespace {

// The largest piece of block silence written as one chunk.
constexpr size_t kSilenceChunkBytes = 256 * 1024;

long double StreamSeconds(int64_t samples, const AviStreamInfo& info) {
    if (info.dwRate == 0) {
        return 0;
    }
    return static_cast<long double>(samples) * info.dwScale / info.dwRate;
}

}  // namespace

int32_t AviAudioStartOf(CDecAVIAudio& reader, int32_t frame) {
    const int32_t streamStart = reader.GetAudioStart();
    const AviStreamInfo& video = reader.GetVideoStream()->Info();
    const AviStreamInfo& audio = reader.GetAudioStream()->Info();
    double at = 0;
    if (frame != 0 && video.dwRate != 0 && audio.dwScale != 0) {
        at = static_cast<double>(frame) * static_cast<double>(video.dwScale) *
             static_cast<double>(audio.dwRate) / static_cast<double>(video.dwRate) /
             static_cast<double>(audio.dwScale);
    }
    if (!(at > streamStart)) {
        return streamStart;
    }
    return at >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(at);
}

int32_t AviAudioEndOf(CDecAVIAudio& reader) {
    const int64_t end =
        static_cast<int64_t>(reader.GetAudioStart()) + reader.GetAudioStream()->Length();
    return static_cast<int32_t>(std::min<int64_t>(end, 2147483647));
}

AviAudioSync::AviAudioSync(const std::vector<CDecAVIAudio*>& readers,
                           const std::vector<std::string>& sources) {
    m_videoStart.assign(readers.size() + 1, 0);
    for (size_t i = 0; i < readers.size(); ++i) {
        const AviStream* v = readers[i]->GetVideoStream();
        const long double d = v != nullptr ? StreamSeconds(v->Length(), v->Info()) : 0;
        m_videoStart[i + 1] = m_videoStart[i] + d;
    }
    m_hasAudio = !readers.empty() && readers[0]->HasAudio();
    if (!m_hasAudio) {
        return;
    }
    AviStream* out = readers[0]->GetAudioStream();
    m_outRate = out->Info().dwRate;
    m_outScale = out->Info().dwScale;
    m_outFramed = out->SampleSize() == 0;
    // The stream's first bytes, where MPEG audio shows its frame header.
    std::vector<uint8_t> head(16384);
    int64_t got = 0;
    if (out->Read(out->Start(), kReadConvenient, head.data(), static_cast<int64_t>(head.size()),
                  &got, nullptr) != 0) {
        got = 0;
    }
    head.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    const uint8_t* f = readers[0]->GetAudioFormat();
    const size_t fsize = static_cast<size_t>(std::max(readers[0]->GetAudioFormatSize(), 0));
    m_canFill = m_outRate != 0 && m_outScale != 0 && f != nullptr &&
                m_silence.Init({f, fsize}, head);
    // An MPEG stream counted in frames takes one frame per sample; counted
    // in bytes, any number of bytes. Anything else cannot hold these units.
    if (m_canFill && m_silence.FramedUnits() != m_outFramed && out->SampleSize() != 1) {
        m_canFill = false;
    }

    // What the user should know, entry by entry. Without silence, an entry
    // whose audio falls short pulls every later entry's audio early.
    long double shortBy = 0;
    const long double sample = StreamSeconds(1, out->Info());
    const long double tolerance = std::max<long double>(sample, 0.001L);
    for (size_t e = 0; e < readers.size(); ++e) {
        const long double video = m_videoStart[e + 1] - m_videoStart[e];
        CDecAVIAudio& r = *readers[e];
        long double audio = 0;
        if (r.HasAudio()) {
            const int32_t first = AviAudioStartOf(r, r.GetVideoStart());
            audio = StreamSeconds(std::max(AviAudioEndOf(r) - first, 0), r.GetAudioStream()->Info());
        } else {
            char s[32];
            std::snprintf(s, sizeof s, "%.3Lf", video);
            const bool filled = m_canFill && e + 1 < readers.size();
            const std::string name = JoinEntryName(static_cast<int32_t>(e), sources);
            m_notes.push_back(
                filled ? SelectLanguageText(name +
                                                ": no audio; silence fills its " + s + " s",
                                            name + " には音声がありません。" +
                                                s + " 秒を無音で埋めます")
                       : SelectLanguageText(name + ": no audio",
                                            name + " には音声がありません"));
        }
        shortBy += std::max<long double>(video - audio, 0);
        const size_t next = e + 1;
        if (!m_canFill && shortBy > tolerance && next < readers.size()) {
            char ms[32];
            std::snprintf(ms, sizeof ms, "%.0Lf", shortBy * 1000);
            const std::string name = JoinEntryName(static_cast<int32_t>(next), sources);
            m_notes.push_back(SelectLanguageText(
                name + ": its audio starts " + ms +
                    " ms before its video (no silence can be written in this audio format)",
                name + " の音声が映像より " + ms +
                    " ミリ秒早く始まります(この音声形式では無音を書けません)"));
        }
    }
}

long double AviAudioSync::OutputSeconds(int64_t outputPos) const {
    return m_outRate == 0 ? 0
                          : static_cast<long double>(outputPos) * m_outScale / m_outRate;
}

int32_t AviAudioSync::CopyEnd(size_t i, CDecAVIAudio& reader, int32_t first, int32_t end,
                              int32_t outputPos) const {
    if (i + 2 >= m_videoStart.size()) {
        return end;  // the last entry keeps all of its audio
    }
    const AviStreamInfo& info = reader.GetAudioStream()->Info();
    const long double left = m_videoStart[i + 1] - OutputSeconds(outputPos);
    if (info.dwScale == 0 || !(left > 0)) {
        return first;
    }
    const long double samples = std::round(left * info.dwRate / info.dwScale);
    if (samples >= static_cast<long double>(end - first)) {
        return end;
    }
    // MPEG audio or AC-3 stored as bytes ends with a whole frame.
    const int32_t at = first + static_cast<int32_t>(samples);
    return std::min(end, AudioCutPosition(*reader.GetAudioStream(), at));
}

int32_t AviAudioSync::FillAfter(size_t i, CEncAVIAudio& writer, OpContext* ctx) {
    if (!m_canFill || i + 2 >= m_videoStart.size()) {
        return 0;
    }
    const long double gap = m_videoStart[i + 1] - OutputSeconds(writer.GetAudioPosition());
    const long double unit = static_cast<long double>(m_silence.UnitFrames()) /
                             m_silence.SampleRate();
    const long double units = std::round(gap / unit);
    if (!(units >= 1)) {
        return 0;
    }
    const auto n = static_cast<uint64_t>(units);
    std::vector<uint8_t> chunk;
    for (uint64_t done = 0; done < n;) {
        chunk.clear();
        uint64_t take = 0;
        if (m_silence.FramedUnits() && m_outFramed) {
            take = 1;  // one frame per chunk: one sample of the stream
            m_silence.Append(m_silenceUnits, 1, &chunk);
        } else {
            const uint64_t fit = std::max<uint64_t>(
                kSilenceChunkBytes / std::max<size_t>(m_silence.Unit(0).size(), 1), 1);
            take = std::min(n - done, fit);
            m_silence.Append(m_silenceUnits, take, &chunk);
        }
        const int32_t code =
            writer.AppendAudio(0, chunk.data(), static_cast<int32_t>(chunk.size()));
        if (code != 0) {
            return code;
        }
        m_silenceUnits += take;
        done += take;
        if (ctx != nullptr) {
            ctx->Pump();
        }
    }
    return 0;
}

}  // namespace trelvan
