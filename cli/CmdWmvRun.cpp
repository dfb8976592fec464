#include "CmdWmvRun.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "CliCommon.h"
#include "Language.h"

namespace trelvan::cli {
namespace {

// Calls the context's pump hook every 100 ms until destroyed. The hook of
// CliRun redraws the progress line; the positions it reads are atomic.
class PumpThread {
  public:
    explicit PumpThread(OpContext& ctx)
        : m_thread([this, &ctx] {
              std::unique_lock<std::mutex> lock(m_lock);
              while (!m_wake.wait_for(lock, std::chrono::milliseconds(100),
                                      [this] { return m_done; })) {
                  ctx.Pump();
              }
          }) {}
    ~PumpThread() {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    PumpThread(const PumpThread&) = delete;
    PumpThread& operator=(const PumpThread&) = delete;

  private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread;  // last: starts when the rest is ready
};

}  // namespace

int RunWmvCommand(const ParsedArgs& args,
                  const std::function<ProgressInput(const OpContext&, bool japanese)>& progress,
                  const std::function<WmvOpResult(OpContext&)>& op, RunFiles files,
                  WmvOpResult* result) {
    OpContext ctx;
    CliRun run(ctx, args);
    run.SetProgressText(
        [&ctx, &progress] { return FormatProgress(progress(ctx, IsJapaneseSystem())).text; });
    // Diagnostic lines come from reader threads and the progress line from
    // the pump thread: one at a time.
    std::mutex printing;
    if (args.Has(kVerbose)) {
        ctx.warn = [&printing](const std::string& text) {
            std::lock_guard<std::mutex> lock(printing);
            const bool ended = !text.empty() && text.back() == '\n';
            std::fprintf(stderr, "trelvan-cli: %s%s", text.c_str(), ended ? "" : "\n");
        };
    }
    ctx.pump = [&printing, draw = ctx.pump] {
        std::lock_guard<std::mutex> lock(printing);
        draw();
    };
    WmvOpResult r;
    {
        PumpThread pumping(ctx);
        r = op(ctx);
    }
    if (r.code == 0 && !r.stopped) {
        // A whole run ends at 100 %, as the page shows it, wherever the last
        // sample's time lay.
        ctx.first = 0;
        ctx.current = ctx.last.load();
    }
    run.FinishProgress();
    if (result != nullptr) {
        *result = r;
    }
    if (r.code != 0) {
        // Separate names its output after the kind it writes.
        if (!r.output.empty()) {
            files.output = r.output;
        }
        PrintRunError(r.code, files);
        return kExitOperationError;
    }
    if (run.Interrupted()) {
        return kExitStopped;
    }
    return kExitOk;
}

}  // namespace trelvan::cli
