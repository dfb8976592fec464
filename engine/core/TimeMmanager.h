#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

// A millisecond lap timer. Times are 32-bit millisecond readings of a
// monotonic clock; differences use unsigned 32-bit arithmetic, so they stay
// right across the clock's wrap (about every 49.7 days).
//
// Workers use it as: ClearTotal, Start; after each unit of work AddLap, pump
// pending events, Start again. The total is then the working time without the
// time spent pumping.
//
// One thread changes the timer (the worker); another may read it meanwhile
// (a display refreshing from a timer of its own), so each value is atomic.
class CTimeMmanager {
public:
    using Clock = std::function<uint32_t()>;

    // The clock defaults to the system's monotonic clock; tests pass their own.
    explicit CTimeMmanager(Clock clock = {});
    virtual ~CTimeMmanager() = default;
    CTimeMmanager(const CTimeMmanager& o) : m_clock(o.m_clock), m_start(o.m_start.load()), m_limit(o.m_limit.load()), m_total(o.m_total.load()) {}
    CTimeMmanager& operator=(const CTimeMmanager& o) { m_clock = o.m_clock; m_start = o.m_start.load(); m_limit = o.m_limit.load(); m_total = o.m_total.load(); return *this; }

    virtual uint32_t Start();            // start time = now; returns now
    virtual void ClearTotal();           // total = 0
    virtual void SetLimit(uint32_t ms);  // limit = ms
    virtual uint32_t AddLap();           // adds Elapsed() to the total and returns it
    virtual uint32_t GetTotal() const;
    virtual uint32_t Elapsed() const;    // now - start, modulo 2^32
    virtual bool IsOverLimit() const;    // limit < Elapsed()

    // Milliseconds of the system's monotonic clock, truncated to 32 bits.
    static uint32_t SystemNow();

private:
    uint32_t Now() const;

    Clock m_clock;
    std::atomic<uint32_t> m_start{0};
    std::atomic<uint32_t> m_limit{0};
    std::atomic<uint32_t> m_total{0};
};
