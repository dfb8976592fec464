#include <algorithm>
#include <cstring>

#include "Atoms.h"
#include "CompareSupport.h"
#include "TrackSilence.h"

// Audio compared as one run of bytes per stream, joined sources one after
// the other.
namespace trelvan::verify::compare {
namespace {

uint64_t CountRestBytes(ByteStream& s) {
    std::vector<uint8_t> buf(kBlock);
    uint64_t n = 0;
    for (size_t got; (got = s.Read(buf.data(), buf.size())) > 0;) {
        n += got;
    }
    return n;
}

// How far into a later entry's audio a movie link may resume (the bytes of
// a few priming packets).
constexpr size_t kPrimingBytes = 16u << 10;

// Silence as the links write it between entries: one byte value
// throughout (PCM, G.711, ADPCM blocks), MPEG audio frames that are zero
// but for their 4-byte headers, one short packet over and over, or whole
// packets of the movie's own silence (`unit`: one AAC packet, say).
bool LooksSilent(const std::vector<uint8_t>& filler, const std::vector<uint8_t>& unit) {
    if (filler.empty() || std::all_of(filler.begin(), filler.end(),
                                      [&filler](uint8_t b) { return b == filler.front(); })) {
        return true;
    }
    // Bytes at either end may have been taken for the neighbouring entries'
    // own (they can be alike): a run of whole packets cut anywhere.
    for (size_t phase = 0; phase < unit.size(); ++phase) {
        size_t i = 0;
        while (i < filler.size() && filler[i] == unit[(phase + i) % unit.size()]) {
            ++i;
        }
        if (i == filler.size()) {
            return true;
        }
    }
    for (size_t unit = 2; unit <= 16 && unit * 2 <= filler.size(); ++unit) {
        if (filler.size() % unit == 0 &&
            std::equal(filler.begin() + static_cast<std::ptrdiff_t>(unit), filler.end(),
                       filler.begin())) {
            return true;
        }
    }
    for (size_t i = 0; i < filler.size();) {
        if (filler[i] == 0) {
            ++i;
            continue;
        }
        const bool header =
            filler[i] == 0xFF && i + 1 < filler.size() && (filler[i + 1] & 0xE0) == 0xE0;
        if (!header) {
            return false;
        }
        i += 4;
    }
    return true;
}

// One packet of the silence a movie link puts between entries in the
// output's sound track (empty where the coding has none, or not a movie).
std::vector<uint8_t> MovieSilenceUnit(MediaFile& output) {
    int32_t r = 0;
    std::string complaint;
    const auto movie = output.Kind() == Container::Movie ? output.Movie(&r, &complaint) : nullptr;
    for (size_t i = 0; movie && i < movie->tracks.size(); ++i) {
        if (movie->tracks[i].handler == mov::atom::kSoun) {
            const auto silence = mov::SilenceAfter(*movie, movie->tracks[i]);
            return silence ? silence->unit : std::vector<uint8_t>{};
        }
    }
    return {};
}

// Moves the output to where `probe` (the next entry's first bytes) begins,
// keeping what lay before it in `skipped`. False when it never does.
bool SkipTo(OutputBytes& out, const std::vector<uint8_t>& probe, std::vector<uint8_t>* skipped) {
    std::vector<uint8_t> window;
    std::vector<uint8_t> buf(kBlock);
    for (;;) {
        const size_t got = out.Read(buf.data(), buf.size());
        window.insert(window.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(got));
        const auto at = std::search(window.begin(), window.end(), probe.begin(), probe.end());
        if (at != window.end()) {
            skipped->insert(skipped->end(), window.begin(), at);
            out.PutBack(&*at, static_cast<size_t>(window.end() - at));
            return true;
        }
        if (got == 0 || out.Failed()) {
            skipped->insert(skipped->end(), window.begin(), window.end());
            return false;
        }
        // Keep the tail that may begin the probe.
        const size_t keep = std::min(window.size(), probe.size() - 1);
        skipped->insert(skipped->end(), window.begin(),
                        window.end() - static_cast<std::ptrdiff_t>(keep));
        window.erase(window.begin(), window.end() - static_cast<std::ptrdiff_t>(keep));
    }
}

}  // namespace

std::optional<VerifyDifference> AudioLockstep(OutputBytes& out, ByteStream& src,
                                              const MediaFile& path, bool may_drop, bool run,
                                              bool may_cut, size_t* cut_overlap) {
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
        if (may_cut) {
            // The source's audio ends here in the output: what follows is
            // silence or the next entry's audio, looked at by the caller.
            // The next entry may begin a few bytes earlier, where its first
            // bytes happened to equal the source's (a frame header): the
            // last matching bytes are handed back too, and counted.
            const size_t back = std::min<size_t>(x, 64);
            out.PutBack(got.data() + (x - back), m - (x - back));
            if (cut_overlap != nullptr) {
                *cut_overlap = back;
            }
            return std::nullopt;
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

CompareOutcome AudioConcatenation(MediaFile& output, const std::vector<MediaFile*>& sources) {
    CompareOutcome o;
    auto cursor = MustOpen(output, MediaKind::Audio, &o.difference);
    if (!cursor) {
        return o;
    }
    OutputBytes out(std::move(cursor));
    // An AVI link holds each entry's audio to its video: an entry's audio
    // may end early, and silence may follow it up to the next entry's. So
    // does a movie link, which may also leave out a later entry's first
    // packets (its priming).
    const bool movie = output.Kind() == Container::Movie;
    const bool synced = (output.Kind() == Container::Avi || movie) && sources.size() > 1;
    const std::vector<uint8_t> silence = synced && movie ? MovieSilenceUnit(output) : std::vector<uint8_t>{};
    size_t overlap = 0;  // bytes of the entry before handed back at its cut
    for (size_t i = 0; i < sources.size() && !o.difference; ++i) {
        const bool last = i + 1 == sources.size();
        o.entry = static_cast<int>(i + 1);
        if (synced && i > 0) {
            auto head = MustOpen(*sources[i], MediaKind::Audio, &o.difference);
            if (!head) {
                break;
            }
            ByteStream first(std::move(head));
            // A movie's entry is looked for past the packets it may leave
            // out, then followed back to where it begins.
            std::vector<uint8_t> start(movie ? kPrimingBytes + 64 : 64);
            start.resize(first.Read(start.data(), start.size()));
            const size_t probeAt = movie && start.size() > 128 ? start.size() - 64 : 0;
            const std::vector<uint8_t> probe(start.begin() + static_cast<std::ptrdiff_t>(probeAt),
                                             start.end());
            std::vector<uint8_t> filler;
            const uint64_t at = out.Position();
            const bool found = probe.empty() || SkipTo(out, probe, &filler);
            if (found && probeAt > 0) {
                size_t back = 0;
                while (back < probeAt && back < filler.size() &&
                       filler[filler.size() - 1 - back] == start[probeAt - 1 - back]) {
                    ++back;
                }
                out.PutBack(filler.data() + filler.size() - back, back);
                filler.resize(filler.size() - back);
            }
            if (!found) {
                if (last) {
                    o.difference = VerifyDifference{
                        "audio", -1, static_cast<int64_t>(at),
                        "bytes (the start of " + FileName(*sources[i]) + ")", "present", "missing"};
                    break;
                }
                // Cut to nothing (its video shorter than one block): the
                // bytes looked at belong to later entries.
                out.PutBack(filler.data(), filler.size());
                overlap = 0;
                o.entryStarts.push_back(out.Position());
                continue;
            }
            // Bytes handed back that matched the entry before are its own.
            filler.erase(filler.begin(),
                         filler.begin() + static_cast<std::ptrdiff_t>(std::min(overlap, filler.size())));
            if (!LooksSilent(filler, silence)) {
                // They lie where the entry before should have gone on.
                o.entry = static_cast<int>(i);
                o.difference = VerifyDifference{
                    "audio", -1, static_cast<int64_t>(at),
                    "bytes before " + FileName(*sources[i]) + "'s audio", "silence",
                    std::to_string(filler.size()) + " other bytes"};
                break;
            }
        }
        // A movie link may leave out a later entry's first sound packets
        // (its encoder's priming) so that the entry joins the track's edit:
        // the entry then resumes a little way into its audio.
        uint64_t resume = 0;
        if (output.Kind() == Container::Movie && i > 0) {
            std::vector<uint8_t> next(64);
            next.resize(out.Read(next.data(), next.size()));
            out.PutBack(next.data(), next.size());
            auto head = MustOpen(*sources[i], MediaKind::Audio, &o.difference);
            if (!head) {
                break;
            }
            ByteStream first(std::move(head));
            std::vector<uint8_t> start(kPrimingBytes);
            start.resize(first.Read(start.data(), start.size()));
            const auto at = std::search(start.begin(), start.end(), next.begin(), next.end());
            if (!next.empty() && at != start.end()) {
                resume = static_cast<uint64_t>(at - start.begin());
            }
        }
        o.entryStarts.push_back(out.Position());
        o.entryResumed.resize(o.entryStarts.size());
        o.entryResumed.back() = resume;
        auto src = MustOpen(*sources[i], MediaKind::Audio, &o.difference);
        if (src) {
            ByteStream bytes(std::move(src));
            for (std::vector<uint8_t> skip(kBlock); resume > 0;) {
                const size_t n = bytes.Read(skip.data(), std::min<uint64_t>(resume, skip.size()));
                if (n == 0) {
                    break;
                }
                resume -= n;
            }
            overlap = 0;
            o.difference =
                AudioLockstep(out, bytes, *sources[i], true, false, synced && !last, &overlap);
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

}  // namespace trelvan::verify::compare
