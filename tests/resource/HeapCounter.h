#pragma once

#include <cstdint>

namespace trelvan::test {

// What the process's heap did between Begin and End: the highest number of
// bytes in use above the level at Begin, and the largest single request
// (granted or not).
struct HeapUse {
    int64_t peakGrowth = 0;
    uint64_t largestRequest = 0;
};

// Counts the process's heap through the C allocator's entry points, which
// the test binary that links HeapCounter.cpp replaces (malloc, calloc,
// realloc, free and the aligned forms; operator new reaches them through
// malloc). Bytes are counted as the allocator grants them (usable size), so
// a request of 4 GiB that the system overcommits still counts in full.
// Only one measurement at a time; allocations of every thread count.
class HeapCounter {
  public:
    // Whether the replaced entry points are in use (a build whose allocator
    // belongs to a sanitizer would not count anything).
    static bool Active();
    static int64_t BytesInUse();

    void Begin();
    HeapUse End() const;

  private:
    int64_t m_start = 0;
};

}  // namespace trelvan::test
