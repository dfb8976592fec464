#include <cstring>

#include "CompareSupport.h"

// Finding where in its source a run of audio bytes (an extract) starts.
namespace trelvan::verify::compare {
namespace {

// Bytes of the output's audio looked for in the source to find where a run
// starts: enough that periodic sound (a test tone) matches in few places;
// when they are nowhere, the shorter probe finds the start nearest to a
// difference within them.
constexpr size_t kAudioProbe = 256;
constexpr size_t kShortAudioProbe = 32;

// A piece of the output's audio looked for in the source.
struct Probe {
    uint64_t offset = 0;  // in the output
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> hits;  // source positions where it is found, ascending
};

// The output's audio length and the probes: its first bytes, its last ones
// and some spread between them, each at an offset on a block boundary.
std::optional<VerifyDifference> TakeProbes(MediaFile& output, size_t probe_bytes,
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
std::optional<VerifyDifference> KeepAgreeing(MediaFile& output, MediaFile& source,
                                             uint64_t at, std::vector<uint64_t>* starts) {
    constexpr size_t kBytes = 64;
    constexpr uint64_t kMaxSpan = 4u << 20;
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
CompareOutcome AudioRunFrom(MediaFile& output, MediaFile& source, size_t probe_bytes,
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
                    static_cast<int64_t>(at), {}, 0};
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

    constexpr size_t kMaxHits = 1u << 16;
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

}  // namespace

CompareOutcome AudioRun(MediaFile& output, MediaFile& source, int64_t near) {
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

}  // namespace trelvan::verify::compare
