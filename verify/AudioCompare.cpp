#include <cstring>

#include "CompareSupport.h"

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

}  // namespace

std::optional<VerifyDifference> AudioLockstep(OutputBytes& out, ByteStream& src,
                                              const MediaFile& path, bool may_drop, bool run) {
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

CompareOutcome AudioConcatenation(MediaFile& output, const std::vector<MediaFile*>& sources) {
    CompareOutcome o;
    auto cursor = MustOpen(output, MediaKind::Audio, &o.difference);
    if (!cursor) {
        return o;
    }
    OutputBytes out(std::move(cursor));
    for (size_t i = 0; i < sources.size() && !o.difference; ++i) {
        auto src = MustOpen(*sources[i], MediaKind::Audio, &o.difference);
        if (src) {
            ByteStream bytes(std::move(src));
            o.difference = AudioLockstep(out, bytes, *sources[i], true, false);
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
