#include "ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace trelvan {

namespace {

// Seconds truncated toward zero and kept in the range a clock text can show.
uint32_t WholeSeconds(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    if (seconds >= 4294967295.0) {
        return 4294967295u;
    }
    return static_cast<uint32_t>(seconds);
}

std::string Separator(bool japanese) {
    return japanese ? "\xEF\xBC\x8F" : "/";
}

// "(elapsed/remaining)".
std::string TimeText(double elapsed, double remaining, bool japanese) {
    return "(" + FormatClock(WholeSeconds(elapsed)) + Separator(japanese) +
           FormatClock(WholeSeconds(remaining)) + ")";
}

// The bar takes the rounded percent; a percent outside any sense (a range
// whose end lies before its start) is clamped to what a bar can show.
int BarOf(double percent) {
    if (!(percent > 0)) {
        return 0;
    }
    if (percent >= 1.0e6) {
        return 1000000;
    }
    return static_cast<int>(percent + 0.5);
}

std::string Printf(const char* format, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

}  // namespace

std::string FormatClock(uint32_t seconds) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", seconds / 3600, seconds % 3600 / 60,
                  seconds % 60);
    return buf;
}

ProgressDisplay FormatProgress(const ProgressInput& in) {
    const double elapsed = in.elapsedMs / 1000.0;
    ProgressDisplay out;
    switch (in.form) {
        case ProgressForm::Range: {
            // Differences of 32-bit positions are unsigned before they become
            // floating point, as the positions are stream sample indices.
            const double span = static_cast<double>(static_cast<uint32_t>(in.last - in.first));
            const double done = static_cast<double>(static_cast<uint32_t>(in.current - in.first));
            const double left = static_cast<double>(static_cast<uint32_t>(in.last - in.current));
            const double percent = span > 0 ? done * 100.0 / span : 0.0;
            const double remaining = done > 0 ? elapsed * left / done : 0.0;
            out.text =
                Printf("%3.0f %%", percent) + " " + TimeText(elapsed, remaining, in.japanese);
            out.bar = BarOf(percent);
            break;
        }
        case ProgressForm::Link:
        case ProgressForm::LinkElapsedOnly: {
            const double percent = in.total > 0 ? in.done * 100.0 / in.total : 0.0;
            const double remaining = in.done >= 1 ? elapsed * (in.total - in.done) / in.done : 0.0;
            char head[96];
            std::snprintf(head, sizeof head, "%2d%s%2d %3.0f %%", in.item,
                          Separator(in.japanese).c_str(), in.items, percent);
            out.text = std::string(head) + " ";
            if (in.form == ProgressForm::Link) {
                out.text += TimeText(elapsed, remaining, in.japanese);
            } else {
                out.text += "(" + FormatClock(WholeSeconds(elapsed)) + ")";
            }
            out.bar = BarOf(percent);
            break;
        }
        case ProgressForm::Percent: {
            char head[32];
            std::snprintf(head, sizeof head, "%3d %%", in.percent);
            // The save operation reports no positions; the remaining time
            // follows from the percent the same way.
            const double remaining =
                in.percent > 0 ? elapsed * (100 - in.percent) / in.percent : 0.0;
            out.text = std::string(head) + " " + TimeText(elapsed, remaining, in.japanese);
            out.bar = in.percent;
            break;
        }
    }
    return out;
}

uint64_t RangeFieldsTime(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t millis) {
    // Hours alone may reach 2^31 - 1, whose 100-ns count does not fit 64
    // bits: such a time saturates.
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    const uint64_t secs = uint64_t{seconds} + uint64_t{minutes} * 60 + uint64_t{hours} * 3600;
    const uint64_t msPart = uint64_t{millis} * 10000;
    if (secs > (kMax - msPart) / 10000000) {
        return kMax;
    }
    return secs * 10000000 + msPart;
}

ProgressInput WideRangeProgress(int64_t first, int64_t current, int64_t last, uint32_t elapsedMs,
                                bool japanese) {
    ProgressInput in;
    in.form = ProgressForm::Range;
    in.elapsedMs = elapsedMs;
    in.japanese = japanese;
    const uint64_t span = static_cast<uint64_t>(last) - static_cast<uint64_t>(first);
    const int64_t at = current - first;
    const uint64_t done = std::min<uint64_t>(at > 0 ? static_cast<uint64_t>(at) : 0, span);
    const uint64_t divisor = span / std::numeric_limits<uint32_t>::max() + 1;
    in.first = 0;
    in.current = static_cast<uint32_t>(done / divisor);
    in.last = static_cast<uint32_t>(span / divisor);
    return in;
}

}  // namespace trelvan
