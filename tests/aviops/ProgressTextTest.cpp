#include <gtest/gtest.h>

#include "ProgressText.h"

namespace trelvan {
namespace {

struct RangeCase {
    const char* name;
    uint32_t elapsedMs, first, current, last;
    bool japanese;
    const char* text;
    int bar;
};

// The range form: percent of the way from first to last, elapsed and the
// remaining time worked out from the pace so far.
TEST(ProgressText, RangeForm) {
    const RangeCase cases[] = {
        // 41.6 % after 83 s: remaining 83 * 58.4 / 41.6 = 116.5 s.
        {"example", 83000, 0, 416, 1000, false, " 42 % (00:01:23/00:01:56)", 42},
        {"japanese separator", 83000, 0, 416, 1000, true,
         " 42 % (00:01:23\xEF\xBC\x8F"
         "00:01:56)",
         42},
        {"not started", 0, 100, 100, 200, false, "  0 % (00:00:00/00:00:00)", 0},
        {"stopped before the first unit", 1500, 5, 5, 50, false, "  0 % (00:00:01/00:00:00)", 0},
        {"finished", 3723000, 0, 500, 500, false, "100 % (01:02:03/00:00:00)", 100},
        {"empty range", 10, 7, 7, 7, false, "  0 % (00:00:00/00:00:00)", 0},
        // Positions near the 32-bit end: differences are unsigned.
        {"wrapping positions", 2000, 0xFFFFFF00u, 0x00000000u, 0x00000100u, false,
         " 50 % (00:00:02/00:00:02)", 50},
        {"half, bar rounds up", 1000, 0, 5, 8, false, " 62 % (00:00:01/00:00:00)", 63},
        {"long run", 360000000, 0, 1, 2, false, " 50 % (100:00:00/100:00:00)", 50},
    };
    for (const RangeCase& c : cases) {
        ProgressInput in;
        in.form = ProgressForm::Range;
        in.elapsedMs = c.elapsedMs;
        in.first = c.first;
        in.current = c.current;
        in.last = c.last;
        in.japanese = c.japanese;
        const ProgressDisplay d = FormatProgress(in);
        EXPECT_EQ(d.text, c.text) << c.name;
        EXPECT_EQ(d.bar, c.bar) << c.name;
    }
}

TEST(ProgressText, LinkForms) {
    ProgressInput in;
    in.form = ProgressForm::Link;
    in.item = 2;
    in.items = 4;
    in.done = 1;
    in.total = 4;
    in.elapsedMs = 10000;
    EXPECT_EQ(FormatProgress(in).text, " 2/ 4  25 % (00:00:10/00:00:30)");
    EXPECT_EQ(FormatProgress(in).bar, 25);

    // Nothing finished yet: no remaining time.
    in.done = 0;
    EXPECT_EQ(FormatProgress(in).text, " 2/ 4   0 % (00:00:10/00:00:00)");

    // The audio link page shows the elapsed time alone.
    in.form = ProgressForm::LinkElapsedOnly;
    in.done = 1;
    in.japanese = true;
    EXPECT_EQ(FormatProgress(in).text, " 2\xEF\xBC\x8F 4  25 % (00:00:10)");

    // An empty total never divides by zero.
    in.total = 0;
    in.done = 0;
    EXPECT_EQ(FormatProgress(in).bar, 0);
}

TEST(ProgressText, PercentForm) {
    ProgressInput in;
    in.form = ProgressForm::Percent;
    in.percent = 25;
    in.elapsedMs = 30000;
    EXPECT_EQ(FormatProgress(in).text, " 25 % (00:00:30/00:01:30)");
    EXPECT_EQ(FormatProgress(in).bar, 25);
    in.percent = 0;
    EXPECT_EQ(FormatProgress(in).text, "  0 % (00:00:30/00:00:00)");
}

}  // namespace
}  // namespace trelvan
