#pragma once

#include <condition_variable>
#include <mutex>

namespace trelvan::wm {

// An auto-reset event: Set wakes one Wait (or the next one), which resets it.
class AutoResetEvent {
  public:
    void Set() {
        {
            std::lock_guard<std::mutex> g(m_lock);
            m_set = true;
        }
        m_cv.notify_one();
    }
    void Reset() {
        std::lock_guard<std::mutex> g(m_lock);
        m_set = false;
    }
    void Wait() {
        std::unique_lock<std::mutex> lk(m_lock);
        m_cv.wait(lk, [this] { return m_set; });
        m_set = false;
    }

  private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_set = false;
};

}  // namespace trelvan::wm
