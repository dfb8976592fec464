#include "TimeMmanager.h"

#include <chrono>

CTimeMmanager::CTimeMmanager(Clock clock) : m_clock(std::move(clock)) {
    Start();
    ClearTotal();
}

uint32_t CTimeMmanager::SystemNow() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(ms.count());
}

uint32_t CTimeMmanager::Now() const { return m_clock ? m_clock() : SystemNow(); }

uint32_t CTimeMmanager::Start() {
    const uint32_t now = Now();
    m_start = now;
    return now;
}

void CTimeMmanager::ClearTotal() { m_total = 0; }

void CTimeMmanager::SetLimit(uint32_t ms) { m_limit = ms; }

uint32_t CTimeMmanager::AddLap() {
    const uint32_t lap = Elapsed();
    m_total += lap;
    return lap;
}

uint32_t CTimeMmanager::GetTotal() const { return m_total; }

uint32_t CTimeMmanager::Elapsed() const { return Now() - m_start; }

bool CTimeMmanager::IsOverLimit() const { return m_limit < Elapsed(); }
