#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "IoFile.h"
#include "TimeMmanager.h"

namespace trelvan {

// What an operation (separate, unite, link, extract) runs against. The front
// end owns it: the desktop page reads the positions from its timer, the
// command line from its progress printer. Values that another thread may read
// are atomic.
struct OpContext {
    // 1 while idle or after a stop request, 0 while an operation runs. The
    // operation checks it after every unit of work.
    std::atomic<int> stop{1};

    // Progress positions, in the units of the operation (frames, samples,
    // bytes): the work moves `current` from `first` towards `last`.
    std::atomic<int64_t> first{0};
    std::atomic<int64_t> current{0};
    std::atomic<int64_t> last{0};
    // For operations over several sources: the one being worked on (0-based)
    // and how many there are.
    std::atomic<int32_t> item{0};
    std::atomic<int32_t> items{0};
    // Percent for operations that report one directly (the save operation).
    std::atomic<int32_t> percent{0};

    // Lap timer: the work adds a lap after each unit and restarts it after
    // pumping, so the total is working time without pumping.
    CTimeMmanager timer;

    // Called after every unit of work. The desktop page dispatches its
    // pending events here; the command line prints progress or does nothing.
    std::function<void()> pump;

    // Asks the user a yes/no (OK/Cancel) question; true means OK. Without a
    // hook the answer is Cancel.
    std::function<bool(const std::string& caption, const std::string& text)> ask;

    // Recoverable oddities (a rebuilt index, a clamped chunk) for the user.
    std::function<void(const std::string& text)> warn;

    // How files are opened; tests put faults in here.
    FileOpener opener = DiskFileOpener();

    bool StopRequested() const { return stop.load(std::memory_order_relaxed) != 0; }
    // Enters the running state of an operation: the work at `from` of
    // from..to, the stop flag cleared, the working-time total cleared and
    // its first lap started.
    void BeginWork(int64_t from = 0, int64_t to = 0) {
        first = from;
        current = from;
        last = to;
        stop = 0;
        timer.ClearTotal();
        timer.Start();
    }
    void Pump() {
        if (pump) {
            pump();
        }
    }
    bool Ask(const std::string& caption, const std::string& text) {
        return ask ? ask(caption, text) : false;
    }
    void Warn(const std::string& text) {
        if (warn) {
            warn(text);
        }
    }
};

}  // namespace trelvan
