#pragma once

#include <cstdint>
#include <string>

// The progress line of a running page and the position of its bar, worked
// out from the positions the operation keeps and the lap timer's total.
// Built only when the display is refreshed (every 500 or 1000 ms), never per
// unit of work. No user interface in here: the desktop page shows the result,
// the command line prints it.
namespace trelvan {

enum class ProgressForm {
    // Extract pages and the WMV separate/unite pages: a range first..last
    // with the work at current.
    Range,
    // Link pages: `item` of `items` sources, `done` of `total` measured.
    Link,
    // Audio link page: the link form with the elapsed time alone.
    LinkElapsedOnly,
    // AVI separate/unite pages: a percent reported by the save operation.
    Percent,
};

struct ProgressInput {
    ProgressForm form = ProgressForm::Range;
    uint32_t elapsedMs = 0;  // working time so far (lap timer total)
    // Range form: 32-bit stream positions; differences are taken unsigned.
    uint32_t first = 0;
    uint32_t current = 0;
    uint32_t last = 0;
    // Link forms: the source being worked on (counted from 1) of how many,
    // and the progress measure done/total.
    int32_t item = 0;
    int32_t items = 0;
    double done = 0;
    double total = 0;
    // Percent form.
    int32_t percent = 0;
    // Separator of the time text: "/" in English, "／" in Japanese.
    bool japanese = false;
};

struct ProgressDisplay {
    std::string text;  // the Info line (UTF-8)
    int bar = 0;       // progress bar position (0..100 in a sound run)
};

// Hours, minutes and seconds of a count of whole seconds, as "%02d:%02d:%02d".
std::string FormatClock(uint32_t seconds);

// A time of the range fields (hours, minutes, seconds, milliseconds) in
// 100-ns units; a time beyond what 64 bits hold gives UINT64_MAX (as a start
// it drops everything, as an end it reads to the end of the source).
uint64_t RangeFieldsTime(uint32_t hours, uint32_t minutes, uint32_t seconds, uint32_t millis);

// The range form of 64-bit positions (100-ns times, byte counts), brought
// into 32 bits by one common divisor. The span last - first is taken
// unsigned: a range whose end lies before its start has a huge one and stays
// near 0 %.
ProgressInput WideRangeProgress(int64_t first, int64_t current, int64_t last,
                                uint32_t elapsedMs, bool japanese);

// The Info line and the bar position for one refresh of the display.
ProgressDisplay FormatProgress(const ProgressInput& in);

}  // namespace trelvan
