#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

class CBaseDialog;

// The time range of the extract pages (layout 110): a start and an end, each
// as hours, minutes, seconds and milliseconds in eight number fields. The
// pages keep the values here and exchange them with the fields.
class CRangeFields {
  public:
    // Field ids: start H, M, S, ms, then end H, M, S, ms.
    static constexpr std::array<int, 8> kIds = {1054, 1017, 1022, 1025, 1028, 1033, 1044, 1046};
    // What a field may hold: 0 up to this.
    static constexpr std::array<int64_t, 8> kMax = {2147483647, 59, 59, 999,
                                                    2147483647, 59, 59, 999};
    static constexpr size_t kStart = 0;
    static constexpr size_t kEnd = 4;

    // Writes the values into the fields.
    void Show(CBaseDialog* page) const;
    // Reads the fields in order. At the first one that is not a whole number
    // or lies outside its limits, it says so in a message box ("整数を入力して
    // ください。", or "%1 から %2 までの整数を入力してください。" with the
    // limits), puts the focus on that field with its text selected and
    // returns false; the fields before it have been taken.
    bool Read(CBaseDialog* page);

    template <class Time>
    void Set(size_t half, const Time& t) {
        values[half] = t.hours;
        values[half + 1] = t.minutes;
        values[half + 2] = t.seconds;
        values[half + 3] = t.milliseconds;
    }
    template <class Time>
    Time Get(size_t half) const {
        Time t;
        t.hours = values[half];
        t.minutes = values[half + 1];
        t.seconds = values[half + 2];
        t.milliseconds = values[half + 3];
        return t;
    }
    // A half in 100-ns units (UINT64_MAX beyond 64 bits), and a time set
    // into a half rounded up to the millisecond the fields show (so that a
    // range filled in with a source's end keeps its last sample).
    uint64_t Units(size_t half) const;
    void SetUnitsRoundedUp(size_t half, uint64_t units);
    void ClearHalf(size_t half) {
        for (size_t i = half; i < half + 4; ++i) {
            values[i] = 0;
        }
    }

    std::array<int64_t, 8> values{};
};

// The captions both extract pages set on a Japanese system (the source and
// output captions, which differ, are the pages' own).
void SetExtractCaptionsJapanese(CBaseDialog* page);
