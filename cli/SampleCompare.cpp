#include "SampleCompare.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace trelvan::cli {
namespace {

// Attempts at a run's start before giving up (content that repeats, such as
// silence or identical frames, matches in many places).
constexpr int kRunAttempts = 32;
// Bytes of the output's audio looked for in the source to find where a run
// starts: enough that periodic sound (a test tone) matches in few places;
// when they are nowhere, the shorter probe finds the start nearest to a
// difference within them.
constexpr size_t kAudioProbe = 256;
constexpr size_t kShortAudioProbe = 32;
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

// Output sample k (`got`) against sample j of the source at `path` (`want`);
// the difference names both.
std::optional<VerifyDifference> CompareSample(const MediaSample& want, const MediaSample& got,
                                              int64_t k, const std::string& path = {}, uint64_t j = 0) {
    const bool same_size = want.data.size() == got.data.size();
    if (same_size && want.key == got.key &&
        (want.data.empty() || std::memcmp(want.data.data(), got.data.data(), want.data.size()) == 0)) {
        return std::nullopt;
    }
    const std::string from = FileName(path) + " sample " + std::to_string(j);
    if (!same_size) {
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
        if (auto d = CompareSample(want, got, static_cast<int64_t>(k), path, j)) {
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

// With `near` (the source sample where the run should start, from the plan)
// that start is tried before any other.
CompareOutcome VideoRun(const std::string& output, const std::string& source, int64_t near) {
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
    // The rest of the output against the source from sample j + 1 on, its
    // sample j being the output's first; true when the run holds.
    auto attempt = [&](uint64_t j) {
        ++attempts;
        std::optional<VerifyDifference> failed;
        auto src = MustOpen(source, MediaKind::Video, &failed);
        auto rest = MustOpen(output, MediaKind::Video, &failed);
        if (failed) {
            best.difference = failed;
            return true;
        }
        for (uint64_t n = 0; n <= j && src->Skip() > 0; ++n) {
        }
        MediaSample skip;
        rest->Skip();
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
            best = {std::nullopt, k,
                    "video: " + std::to_string(k) + " samples as " + FileName(source) + " samples " +
                        std::to_string(j) + "-" + std::to_string(j + k - 1),
                    static_cast<int64_t>(j)};
            return true;
        }
        if (k >= best.matched) {
            best.matched = k;
            best.difference = d;
        }
        return false;
    };
    if (near >= 0) {
        std::optional<VerifyDifference> failed;
        auto at = MustOpen(source, MediaKind::Video, &failed);
        for (int64_t n = 0; at && n < near && at->Skip() > 0; ++n) {
        }
        if (at && at->Next(s) > 0 && !CompareSample(s, first, 0) && attempt(static_cast<uint64_t>(near))) {
            return best;
        }
    }
    for (uint64_t j = 0; attempts < kRunAttempts; ++j) {
        // Samples of another size or key flag are passed over unread.
        uint32_t size = 0;
        bool key = false;
        if (scan->Peek(&size, &key) && (size != first.data.size() || key != first.key)) {
            scan->Skip();
            continue;
        }
        const int r = scan->Next(s);
        if (r < 0) {
            best.difference = Unreadable("video", source, scan->Error());
            return best;
        }
        if (r == 0) {
            break;
        }
        if (!CompareSample(s, first, 0) && static_cast<int64_t>(j) != near && attempt(j)) {
            return best;
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
        size_t x = m;
        if (std::memcmp(want.data(), got.data(), m) != 0) {
            x = static_cast<size_t>(
                std::mismatch(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(m), got.begin())
                    .first -
                want.begin());
        }
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

// A piece of the output's audio looked for in the source.
struct Probe {
    uint64_t offset = 0;  // in the output
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> hits;  // source positions where it is found, ascending
};

// The output's audio length and the probes: its first bytes, its last ones
// and some spread between them, each at an offset on a block boundary.
std::optional<VerifyDifference> TakeProbes(const std::string& output, size_t probe_bytes,
                                           uint32_t align, uint64_t* length,
                                           std::vector<Probe>* probes) {
    constexpr int kBetween = 4;
    std::optional<VerifyDifference> failed;
    auto cursor = MustOpen(output, MediaKind::Audio, &failed);
    if (!cursor) {
        return failed;
    }
    ByteStream all(std::move(cursor));
    std::vector<uint8_t> buf(kBlock);
    int64_t total = all.TotalBytes();
    if (total < 0) {  // counted by reading, once more
        auto again = MustOpen(output, MediaKind::Audio, &failed);
        if (!again) {
            return failed;
        }
        ByteStream count(std::move(again));
        total = 0;
        for (size_t n; (n = count.Read(buf.data(), buf.size())) > 0;) {
            total += static_cast<int64_t>(n);
        }
    }
    *length = static_cast<uint64_t>(total);
    const uint64_t span = *length > probe_bytes ? *length - probe_bytes : 0;
    for (int i = 0; i <= kBetween + 1 && (i == 0 || span > 0); ++i) {
        uint64_t at = span * static_cast<uint64_t>(i) / (kBetween + 1);
        at -= at % align;
        if (probes->empty() || at >= probes->back().offset + probe_bytes) {
            probes->push_back({at, {}, {}});
        }
    }
    // Whole samples between the probes are passed over unread.
    uint64_t pos = 0;
    for (Probe& p : *probes) {
        pos += all.Skip(p.offset - pos);
        p.bytes.resize(probe_bytes);
        p.bytes.resize(all.Read(p.bytes.data(), probe_bytes));
        pos += p.bytes.size();
    }
    if (all.Failed()) {
        return VerifyDifference{"audio", -1, static_cast<int64_t>(pos), "readable", "yes", all.Error()};
    }
    pos = std::max<uint64_t>(pos, *length);
    *length = pos;
    return std::nullopt;
}

// Leaves in `starts` (ascending) the run starts whose source bytes agree
// with the output's at output offset `at` (a few bytes there), reading the
// source once over the span the starts cover.
std::optional<VerifyDifference> KeepAgreeing(const std::string& output, const std::string& source,
                                             uint64_t at, std::vector<uint64_t>* starts) {
    constexpr size_t kBytes = 64;
    constexpr uint64_t kMaxSpan = 64u << 20;
    if (starts->empty() || starts->back() - starts->front() > kMaxSpan) {
        return std::nullopt;
    }
    std::optional<VerifyDifference> failed;
    auto out_cursor = MustOpen(output, MediaKind::Audio, &failed);
    auto src_cursor = out_cursor ? MustOpen(source, MediaKind::Audio, &failed) : nullptr;
    if (!src_cursor) {
        return failed;
    }
    ByteStream out(std::move(out_cursor));
    out.Skip(at);
    std::vector<uint8_t> want(kBytes);
    want.resize(out.Read(want.data(), want.size()));
    ByteStream src(std::move(src_cursor));
    const uint64_t from = starts->front() + at;
    src.Skip(from);
    std::vector<uint8_t> span(static_cast<size_t>(starts->back() - starts->front()) + want.size());
    span.resize(src.Read(span.data(), span.size()));
    std::erase_if(*starts, [&](uint64_t s) {
        const size_t rel = static_cast<size_t>(s + at - from);
        return rel + want.size() > span.size() ||
               std::memcmp(span.data() + rel, want.data(), want.size()) != 0;
    });
    return std::nullopt;
}

// Where a run may start: source positions (on block boundaries) where the
// output's first bytes are found. A start is tried at once when each probe
// is found where the run would hold it, which passes over places where
// periodic sound (a test tone) only happens to run alike for a while; the
// other starts are tried at the end, a limited number of them.
// With `near` (a byte of the source where the run should start, from the
// timing of the video or the plan) only the source around it is looked
// through, and starts are tried nearest first.
CompareOutcome AudioRunFrom(const std::string& output, const std::string& source, size_t probe_bytes,
                            int64_t near) {
    CompareOutcome best;
    auto scan_cursor = MustOpen(source, MediaKind::Audio, &best.difference);
    if (!scan_cursor) {
        return best;
    }
    ByteStream scan(std::move(scan_cursor));
    const uint32_t align = scan.BlockAlign();
    uint64_t length = 0;
    std::vector<Probe> probes;
    if (auto d = TakeProbes(output, probe_bytes, align, &length, &probes)) {
        best.difference = d;
        return best;
    }
    if (length == 0) {
        best.summary = "audio: no bytes";
        return best;
    }
    best.difference = VerifyDifference{"audio", -1, 0,
                                       "first " + std::to_string(probes.front().bytes.size()) +
                                           " bytes found in " + FileName(source),
                                       "yes", "no"};
    std::vector<uint8_t> buf(kBlock);
    int attempts = 0;
    std::vector<uint64_t> tried;
    uint64_t last_failure = 0;  // output offset where the last attempt failed
    auto attempt = [&](uint64_t at) {
        ++attempts;
        tried.push_back(at);
        std::optional<VerifyDifference> failed;
        auto src_cursor = MustOpen(source, MediaKind::Audio, &failed);
        auto out_cursor = MustOpen(output, MediaKind::Audio, &failed);
        if (failed) {
            best.difference = failed;
            return true;
        }
        ByteStream src(std::move(src_cursor));
        src.Skip(at);
        OutputBytes out(std::move(out_cursor));
        auto d = AudioLockstep(out, src, source, false, true);
        const uint64_t matched = out.Position();
        if (d && d->offset >= 0) {
            last_failure = static_cast<uint64_t>(d->offset);
        }
        if (!d && matched < length) {
            d = VerifyDifference{"audio", -1, static_cast<int64_t>(matched),
                                 "bytes (to the end of " + FileName(source) + " from byte " +
                                     std::to_string(at) + ")",
                                 std::to_string(matched), std::to_string(length)};
        }
        if (!d) {
            best = {std::nullopt, matched,
                    "audio: " + std::to_string(matched) + " bytes as " + FileName(source) +
                        " from byte " + std::to_string(at),
                    static_cast<int64_t>(at)};
            return true;
        }
        if (matched >= best.matched) {
            best.matched = matched;
            best.difference = d;
        }
        return false;
    };
    // Whether every probe was found where a run from `start` holds it.
    auto all_found = [&](uint64_t start) {
        return std::all_of(probes.begin(), probes.end(), [start](const Probe& p) {
            return std::binary_search(p.hits.begin(), p.hits.end(), start + p.offset);
        });
    };

    constexpr size_t kMaxHits = 1u << 20;
    // The probes are all as long as the first (the output may be shorter
    // than one); positions are found by a rolling hash of that many bytes.
    const size_t width = probes.front().bytes.size();
    std::erase_if(probes, [width](const Probe& p) { return p.bytes.size() != width; });
    const Probe& last = probes.back();
    constexpr uint64_t kBase = 0x100000001B3ull;
    uint64_t top = 1;  // kBase^(width-1)
    for (size_t i = 1; i < width; ++i) {
        top *= kBase;
    }
    auto hash_of = [](const uint8_t* p, size_t n) {
        uint64_t h = 0;
        for (size_t i = 0; i < n; ++i) {
            h = h * kBase + p[i];
        }
        return h;
    };
    std::vector<uint64_t> hashes;
    std::vector<bool> maybe(1u << 16);  // by the top 16 bits of a hash: a probe's?
    for (const Probe& p : probes) {
        hashes.push_back(hash_of(p.bytes.data(), width));
        maybe[hashes.back() >> 48] = true;
    }
    std::vector<uint64_t> complete;  // starts where every probe was found
    std::vector<uint8_t> window;     // source bytes from window_at on
    constexpr uint64_t kNearSpan = 256u << 10;
    const bool around = near >= 0;
    uint64_t from = around ? static_cast<uint64_t>(std::max<int64_t>(0, near - static_cast<int64_t>(kNearSpan))) : 0;
    from -= from % align;
    const uint64_t to = around ? static_cast<uint64_t>(near) + kNearSpan : UINT64_MAX;
    uint64_t window_at = scan.Skip(from);
    uint64_t h = 0;
    bool hashed = false;
    for (uint64_t at = window_at; at <= to; ++at) {
        while (window.size() < (at - window_at) + width) {
            const size_t n = scan.Read(buf.data(), buf.size());
            if (scan.Failed()) {
                best.difference = Unreadable("audio", source, scan.Error());
                return best;
            }
            if (n == 0) {
                break;
            }
            // Keep only the bytes from the one before `at` on (the rolling
            // hash takes it out).
            const size_t drop = static_cast<size_t>(std::min<uint64_t>(at - window_at, window.size())) -
                                (at > window_at ? 1 : 0);
            window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(drop));
            window_at += drop;
            window.insert(window.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
        }
        const size_t rel = static_cast<size_t>(at - window_at);
        if (window.size() < rel + width) {
            break;  // the source ends
        }
        h = hashed ? (h - window[rel - 1] * top) * kBase + window[rel + width - 1]
                   : hash_of(window.data() + rel, width);
        hashed = true;
        if (at % align != 0 || !maybe[h >> 48]) {
            continue;
        }
        for (size_t i = 0; i < probes.size(); ++i) {
            Probe& p = probes[i];
            if (hashes[i] == h && p.hits.size() < kMaxHits &&
                std::memcmp(p.bytes.data(), window.data() + rel, width) == 0) {
                p.hits.push_back(at);
            }
        }
        // Every probe where a run from here holds it: tried at once the
        // first time, kept for later after that.
        if (!around && !last.hits.empty() && last.hits.back() == at && at >= last.offset &&
            all_found(at - last.offset)) {
            if (attempts == 0) {
                if (attempt(at - last.offset)) {
                    return best;
                }
            } else if (complete.size() < kMaxHits) {
                complete.push_back(at - last.offset);
            }
        }
    }
    if (around) {
        complete = probes.front().hits;
    }
    // Periodic sound matches every probe in many places; those that differ
    // where the last attempt failed are left out before the next attempt.
    while (!complete.empty() && attempts < kRunAttempts) {
        auto next = complete.begin();
        if (around) {
            const auto distance = [near](uint64_t a) {
                return a > static_cast<uint64_t>(near) ? a - static_cast<uint64_t>(near)
                                                       : static_cast<uint64_t>(near) - a;
            };
            next = std::min_element(complete.begin(), complete.end(), [&](uint64_t a, uint64_t b) {
                return distance(a) < distance(b);
            });
        }
        if (attempt(*next)) {
            return best;
        }
        complete.erase(next);
        if (auto d = KeepAgreeing(output, source, last_failure, &complete)) {
            best.difference = d;
            return best;
        }
    }
    for (const uint64_t at : probes.front().hits) {
        if (around || attempts >= kRunAttempts) {
            break;
        }
        if (std::find(tried.begin(), tried.end(), at) == tried.end() && attempt(at)) {
            return best;
        }
    }
    return best;
}

CompareOutcome AudioRun(const std::string& output, const std::string& source, int64_t near) {
    if (near >= 0) {
        CompareOutcome o = AudioRunFrom(output, source, kAudioProbe, near);
        if (!o.difference) {
            return o;
        }
    }
    CompareOutcome o = AudioRunFrom(output, source, kAudioProbe, -1);
    if (o.difference && o.matched == 0) {
        CompareOutcome nearest = AudioRunFrom(output, source, kShortAudioProbe, -1);
        if (nearest.matched > 0 || !nearest.difference) {
            return nearest;
        }
    }
    return o;
}

}  // namespace

CompareOutcome CompareConcatenation(const std::string& output, MediaKind kind,
                                    const std::vector<std::string>& sources) {
    return kind == MediaKind::Video ? VideoConcatenation(output, sources)
                                    : AudioConcatenation(output, sources);
}

CompareOutcome CompareRun(const std::string& output, MediaKind kind, const std::string& source,
                          int64_t near) {
    return kind == MediaKind::Video ? VideoRun(output, source, near) : AudioRun(output, source, near);
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
