#include "SampleCompare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace trelvan::cli {
namespace {

// Attempts at a run's start before giving up (content that repeats, such as
// silence or identical frames, matches in many places).
constexpr int kRunAttempts = 16;
// Bytes of the output's audio looked for in the source to find where a run
// starts.
constexpr size_t kAudioProbe = 64;
// Bytes compared at a time.
constexpr size_t kBlock = 256u << 10;

std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Hex(uint8_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02x", v);
    return buf;
}

std::string ListNames(const std::vector<std::string>& sources) {
    std::string s;
    for (size_t i = 0; i < sources.size(); ++i) {
        s += (i ? ", " : "") + FileName(sources[i]);
    }
    return s;
}

VerifyDifference Unreadable(const std::string& stream, const std::string& path,
                            const std::string& error) {
    return {stream, -1, -1, FileName(path) + " readable", "yes", error.empty() ? "no" : error};
}

// Opens a stream that must be there.
std::unique_ptr<SampleCursor> MustOpen(const std::string& path, MediaKind kind,
                                       std::optional<VerifyDifference>* failed) {
    std::string error;
    auto cursor = OpenSamples(path, kind, &error);
    if (!cursor) {
        *failed = Unreadable(KindName(kind), path,
                             error.empty() ? std::string("no ") + KindName(kind) + " stream" : error);
    }
    return cursor;
}

// ---- video -----------------------------------------------------------------

std::optional<VerifyDifference> CompareSample(const MediaSample& want, const MediaSample& got,
                                              int64_t k, const std::string& from) {
    if (want.data.size() != got.data.size()) {
        return VerifyDifference{"video", k, -1, "size (" + from + ")",
                                std::to_string(want.data.size()), std::to_string(got.data.size())};
    }
    const auto at = std::mismatch(want.data.begin(), want.data.end(), got.data.begin());
    if (at.first != want.data.end()) {
        return VerifyDifference{"video", k, at.first - want.data.begin(), "bytes (" + from + ")",
                                Hex(*at.first), Hex(*at.second)};
    }
    if (want.key != got.key) {
        return VerifyDifference{"video", k, -1, "key flag (" + from + ")", want.key ? "key" : "not key",
                                got.key ? "key" : "not key"};
    }
    return std::nullopt;
}

// Counts what is left of a cursor (for a count that differs).
uint64_t CountRest(SampleCursor& c) {
    MediaSample s;
    uint64_t n = 0;
    while (c.Next(s) > 0) {
        ++n;
    }
    return n;
}

// Output samples from `out` (already at sample k) against source samples
// from `src` (already at sample j) until the source ends. `last` says whether
// the output must end with it; `run` lets the output end first.
std::optional<VerifyDifference> Lockstep(SampleCursor& out, SampleCursor& src, const std::string& path,
                                         uint64_t& k, uint64_t j, bool last, bool run = false) {
    MediaSample want, got;
    for (;; ++j) {
        const int r = src.Next(want);
        if (r < 0) {
            return Unreadable("video", path, src.Error());
        }
        if (r == 0) {
            break;
        }
        const int g = out.Next(got);
        if (g < 0) {
            return VerifyDifference{"video", static_cast<int64_t>(k), -1, "readable", "yes", out.Error()};
        }
        if (g == 0 && run) {
            return std::nullopt;
        }
        if (g == 0) {
            return VerifyDifference{"video", -1, -1, "samples (to the end of " + FileName(path) + ")",
                                    std::to_string(k + 1 + CountRest(src)), std::to_string(k)};
        }
        const std::string from = FileName(path) + " sample " + std::to_string(j);
        if (auto d = CompareSample(want, got, static_cast<int64_t>(k), from)) {
            return d;
        }
        ++k;
    }
    if (last) {
        const uint64_t more = CountRest(out);
        if (more > 0) {
            return VerifyDifference{"video", -1, -1, "samples", std::to_string(k),
                                    std::to_string(k + more)};
        }
    }
    return std::nullopt;
}

CompareOutcome VideoConcatenation(const std::string& output, const std::vector<std::string>& sources) {
    CompareOutcome o;
    auto out = MustOpen(output, MediaKind::Video, &o.difference);
    if (!out) {
        return o;
    }
    uint64_t k = 0;
    for (size_t i = 0; i < sources.size() && !o.difference; ++i) {
        auto src = MustOpen(sources[i], MediaKind::Video, &o.difference);
        if (src) {
            o.difference = Lockstep(*out, *src, sources[i], k, 0, i + 1 == sources.size());
        }
    }
    o.matched = k;
    o.summary = "video: " + std::to_string(k) + " samples as " + ListNames(sources);
    return o;
}

CompareOutcome VideoRun(const std::string& output, const std::string& source) {
    CompareOutcome best;
    auto out = MustOpen(output, MediaKind::Video, &best.difference);
    auto scan = out ? MustOpen(source, MediaKind::Video, &best.difference) : nullptr;
    if (!scan) {
        return best;
    }
    MediaSample first, s;
    const int g = out->Next(first);
    if (g <= 0) {
        if (g < 0) {
            best.difference = VerifyDifference{"video", 0, -1, "readable", "yes", out->Error()};
        }
        best.summary = "video: no samples";
        return best;
    }
    best.difference = VerifyDifference{"video", 0, -1, "found in " + FileName(source), "yes", "no"};
    int attempts = 0;
    for (uint64_t j = 0; attempts < kRunAttempts; ++j) {
        const int r = scan->Next(s);
        if (r < 0) {
            best.difference = Unreadable("video", source, scan->Error());
            return best;
        }
        if (r == 0) {
            break;
        }
        if (CompareSample(s, first, 0, {})) {
            continue;
        }
        // A start: the rest of the output follows from sample j + 1 on.
        ++attempts;
        std::optional<VerifyDifference> failed;
        auto src = MustOpen(source, MediaKind::Video, &failed);
        auto rest = MustOpen(output, MediaKind::Video, &failed);
        if (failed) {
            best.difference = failed;
            return best;
        }
        MediaSample skip;
        for (uint64_t n = 0; n <= j && src->Next(skip) > 0; ++n) {
        }
        rest->Next(skip);
        uint64_t k = 1;
        // The run may stop anywhere in the source: the output must end first.
        auto d = Lockstep(*rest, *src, source, k, j + 1, false, true);
        if (!d && rest->Next(skip) > 0) {
            d = VerifyDifference{"video", -1, -1,
                                 "samples (to the end of " + FileName(source) + " from sample " +
                                     std::to_string(j) + ")",
                                 std::to_string(k), std::to_string(k + 1 + CountRest(*rest))};
        }
        if (!d) {
            return {std::nullopt, k,
                    "video: " + std::to_string(k) + " samples as " + FileName(source) +
                        " samples " + std::to_string(j) + "-" + std::to_string(j + k - 1)};
        }
        if (k >= best.matched) {
            best.matched = k;
            best.difference = d;
        }
    }
    return best;
}

// ---- audio -----------------------------------------------------------------

// The output's audio bytes, with bytes handed back (when a join turns out
// to have dropped a source's last partial block after some of its bytes
// happened to match the next source).
class OutputBytes {
  public:
    explicit OutputBytes(std::unique_ptr<SampleCursor> c) : m_stream(std::move(c)) {}
    size_t Read(uint8_t* buf, size_t n) {
        size_t done = std::min(n, m_back.size());
        std::copy_n(m_back.begin(), done, buf);
        m_back.erase(m_back.begin(), m_back.begin() + static_cast<std::ptrdiff_t>(done));
        done += m_stream.Read(buf + done, n - done);
        m_position += done;
        return done;
    }
    void PutBack(const uint8_t* bytes, size_t n) {
        m_back.insert(m_back.begin(), bytes, bytes + n);
        m_position -= n;
    }
    uint64_t Position() const { return m_position; }
    bool Failed() const { return m_stream.Failed(); }
    const std::string& Error() const { return m_stream.Error(); }
    uint64_t CountRest() {
        std::vector<uint8_t> buf(kBlock);
        uint64_t n = 0;
        for (size_t got; (got = Read(buf.data(), buf.size())) > 0;) {
            n += got;
        }
        return n;
    }

  private:
    ByteStream m_stream;
    std::vector<uint8_t> m_back;
    uint64_t m_position = 0;
};

uint64_t CountRestBytes(ByteStream& s) {
    std::vector<uint8_t> buf(kBlock);
    uint64_t n = 0;
    for (size_t got; (got = s.Read(buf.data(), buf.size())) > 0;) {
        n += got;
    }
    return n;
}

// Compares the output's next bytes with the source's from its current
// position to its end. A source may end early at its last block boundary
// when what is left after it is less than a block (a partial last block
// dropped at a join); `may_drop` allows that. In a run (`run`) the output
// may end before the source does.
std::optional<VerifyDifference> AudioLockstep(OutputBytes& out, ByteStream& src,
                                              const std::string& path, bool may_drop, bool run) {
    const uint32_t align = src.BlockAlign();
    // Whole blocks per read, so that the last block boundary before a
    // mismatch lies in the bytes at hand.
    const size_t step = kBlock - kBlock % align;
    std::vector<uint8_t> want(step), got(step);
    for (;;) {
        const uint64_t at = src.Position();
        const size_t n = src.Read(want.data(), step);
        if (src.Failed()) {
            return Unreadable("audio", path, src.Error());
        }
        if (n == 0) {
            return std::nullopt;
        }
        const size_t m = out.Read(got.data(), n);
        if (out.Failed()) {
            return VerifyDifference{"audio", -1, static_cast<int64_t>(out.Position()), "readable",
                                    "yes", out.Error()};
        }
        const size_t x = static_cast<size_t>(
            std::mismatch(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(m), got.begin()).first -
            want.begin());
        if (x == n) {
            continue;
        }
        if (run && x == m) {
            return std::nullopt;  // the output ended inside the source
        }
        // The source's bytes from the last block boundary at or before the
        // difference, if they are its partial last block, may be left out.
        const size_t cut = x - x % align;
        if (may_drop && align > 1) {
            const uint64_t left = (n - cut) + CountRestBytes(src);
            if (left < align) {
                out.PutBack(got.data() + cut, m - cut);
                return std::nullopt;
            }
        }
        const int64_t offset = static_cast<int64_t>(out.Position() - m + x);
        if (x == m) {
            return VerifyDifference{"audio", -1, offset,
                                    "bytes (to the end of " + FileName(path) + ")",
                                    std::to_string(offset + (n - x) + CountRestBytes(src)),
                                    std::to_string(offset)};
        }
        return VerifyDifference{"audio", -1, offset,
                                "bytes (" + FileName(path) + " byte " + std::to_string(at + x) + ")",
                                Hex(want[x]), Hex(got[x])};
    }
}

CompareOutcome AudioConcatenation(const std::string& output, const std::vector<std::string>& sources) {
    CompareOutcome o;
    auto cursor = MustOpen(output, MediaKind::Audio, &o.difference);
    if (!cursor) {
        return o;
    }
    OutputBytes out(std::move(cursor));
    for (size_t i = 0; i < sources.size() && !o.difference; ++i) {
        auto src = MustOpen(sources[i], MediaKind::Audio, &o.difference);
        if (src) {
            ByteStream bytes(std::move(src));
            o.difference = AudioLockstep(out, bytes, sources[i], true, false);
        }
    }
    o.matched = out.Position();
    if (!o.difference) {
        const uint64_t at = out.Position();
        if (const uint64_t more = out.CountRest(); more > 0) {
            o.difference = VerifyDifference{"audio", -1, static_cast<int64_t>(at), "bytes",
                                            std::to_string(at), std::to_string(at + more)};
        }
    }
    o.summary = "audio: " + std::to_string(o.matched) + " bytes as " + ListNames(sources);
    return o;
}

CompareOutcome AudioRun(const std::string& output, const std::string& source) {
    CompareOutcome best;
    auto cursor = MustOpen(output, MediaKind::Audio, &best.difference);
    auto scan_cursor = cursor ? MustOpen(source, MediaKind::Audio, &best.difference) : nullptr;
    if (!scan_cursor) {
        return best;
    }
    std::vector<uint8_t> probe(kAudioProbe);
    {
        ByteStream head(std::move(cursor));
        probe.resize(head.Read(probe.data(), probe.size()));
        if (head.Failed()) {
            best.difference = VerifyDifference{"audio", -1, 0, "readable", "yes", head.Error()};
            return best;
        }
    }
    if (probe.empty()) {
        best.summary = "audio: no bytes";
        return best;
    }
    best.difference = VerifyDifference{"audio", -1, 0,
                                       "first " + std::to_string(probe.size()) + " bytes found in " +
                                           FileName(source),
                                       "yes", "no"};
    // Runs start on a block boundary of the source.
    ByteStream scan(std::move(scan_cursor));
    const uint32_t align = scan.BlockAlign();
    std::vector<uint8_t> window;  // source bytes from window_at on
    uint64_t window_at = 0;
    std::vector<uint8_t> buf(kBlock);
    int attempts = 0;
    for (uint64_t at = 0; attempts < kRunAttempts; at += align) {
        while (window.size() < (at - window_at) + probe.size()) {
            const size_t n = scan.Read(buf.data(), buf.size());
            if (scan.Failed()) {
                best.difference = Unreadable("audio", source, scan.Error());
                return best;
            }
            if (n == 0) {
                break;
            }
            // Keep only what later starts can still need.
            const size_t drop = static_cast<size_t>(std::min<uint64_t>(at - window_at, window.size()));
            window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(drop));
            window_at += drop;
            window.insert(window.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        }
        const size_t rel = static_cast<size_t>(at - window_at);
        if (window.size() < rel + probe.size()) {
            break;  // the source ends
        }
        if (!std::equal(probe.begin(), probe.end(), window.begin() + static_cast<std::ptrdiff_t>(rel))) {
            continue;
        }
        ++attempts;
        std::optional<VerifyDifference> failed;
        auto src_cursor = MustOpen(source, MediaKind::Audio, &failed);
        auto out_cursor = MustOpen(output, MediaKind::Audio, &failed);
        if (failed) {
            best.difference = failed;
            return best;
        }
        ByteStream src(std::move(src_cursor));
        for (uint64_t skip = at; skip > 0;) {
            const size_t n = src.Read(buf.data(), static_cast<size_t>(std::min<uint64_t>(skip, buf.size())));
            if (n == 0) {
                break;
            }
            skip -= n;
        }
        OutputBytes out(std::move(out_cursor));
        auto d = AudioLockstep(out, src, source, false, true);
        const uint64_t matched = out.Position();
        if (!d) {
            if (const uint64_t more = out.CountRest(); more > 0) {
                d = VerifyDifference{"audio", -1, static_cast<int64_t>(matched),
                                     "bytes (to the end of " + FileName(source) + " from byte " +
                                         std::to_string(at) + ")",
                                     std::to_string(matched), std::to_string(matched + more)};
            }
        }
        if (!d) {
            return {std::nullopt, matched,
                    "audio: " + std::to_string(matched) + " bytes as " + FileName(source) +
                        " from byte " + std::to_string(at)};
        }
        if (matched >= best.matched) {
            best.matched = matched;
            best.difference = d;
        }
    }
    return best;
}

}  // namespace

CompareOutcome CompareConcatenation(const std::string& output, MediaKind kind,
                                    const std::vector<std::string>& sources) {
    return kind == MediaKind::Video ? VideoConcatenation(output, sources)
                                    : AudioConcatenation(output, sources);
}

CompareOutcome CompareRun(const std::string& output, MediaKind kind, const std::string& source) {
    return kind == MediaKind::Video ? VideoRun(output, source) : AudioRun(output, source);
}

CompareOutcome ReadAll(const std::string& output, MediaKind kind) {
    CompareOutcome o;
    auto out = MustOpen(output, kind, &o.difference);
    if (!out) {
        return o;
    }
    MediaSample s;
    uint64_t bytes = 0;
    for (int r; (r = out->Next(s)) != 0; ++o.matched) {
        if (r < 0) {
            o.difference = VerifyDifference{KindName(kind), static_cast<int64_t>(o.matched), -1,
                                            "readable", "yes", out->Error()};
            return o;
        }
        bytes += s.data.size();
    }
    o.summary = std::string(KindName(kind)) + ": " + std::to_string(o.matched) + " samples, " +
                std::to_string(bytes) + " bytes read";
    return o;
}

}  // namespace trelvan::cli
