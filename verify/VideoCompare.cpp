#include <cstring>

#include "CompareSupport.h"

// Video compared sample by sample: bytes and key flag.
namespace trelvan::verify::compare {
namespace {

// Output sample k (`got`) against sample j of the source at `path` (`want`);
// the difference names both.
std::optional<VerifyDifference> CompareSample(const MediaSample& want, const MediaSample& got,
                                              int64_t k, const MediaFile* path = nullptr, uint64_t j = 0) {
    const bool same_size = want.data.size() == got.data.size();
    if (same_size && want.key == got.key &&
        (want.data.empty() || std::memcmp(want.data.data(), got.data.data(), want.data.size()) == 0)) {
        return std::nullopt;
    }
    const std::string from = (path ? FileName(*path) : std::string()) + " sample " + std::to_string(j);
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
uint64_t CountRest(SampleWalk& c) {
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
std::optional<VerifyDifference> Lockstep(SampleWalk& out, SampleWalk& src, const MediaFile& path,
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
        if (auto d = CompareSample(want, got, static_cast<int64_t>(k), &path, j)) {
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

}  // namespace

CompareOutcome VideoConcatenation(MediaFile& output, const std::vector<MediaFile*>& sources) {
    CompareOutcome o;
    auto out = MustOpen(output, MediaKind::Video, &o.difference);
    if (!out) {
        return o;
    }
    uint64_t k = 0;
    for (size_t i = 0; i < sources.size() && !o.difference; ++i) {
        o.entryStarts.push_back(k);
        o.entry = static_cast<int>(i + 1);
        auto src = MustOpen(*sources[i], MediaKind::Video, &o.difference);
        if (src) {
            o.difference = Lockstep(*out, *src, *sources[i], k, 0, i + 1 == sources.size());
        }
    }
    o.matched = k;
    o.summary = "video: " + std::to_string(k) + " samples as " + ListNames(sources);
    return o;
}

// With `near` (the source sample where the run should start, from the plan)
// that start is tried before any other.
CompareOutcome VideoRun(MediaFile& output, MediaFile& source, int64_t near) {
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
                    static_cast<int64_t>(j), {}, 0};
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

}  // namespace trelvan::verify::compare
