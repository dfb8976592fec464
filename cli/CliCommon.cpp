#include "CliCommon.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "ErrorText.h"
#include "Language.h"

namespace trelvan::cli {
namespace {

std::atomic<OpContext*> g_running{nullptr};
std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true);
    if (OpContext* ctx = g_running.load()) {
        ctx->stop.store(1);
    }
}

}  // namespace

void ApplyCommonOptions(const ParsedArgs& args) {
    if (auto lang = args.Value("--lang")) {
        SetLanguageOverride(*lang == "ja" ? LanguageChoice::Japanese : LanguageChoice::English);
    }
}

void PrintErrorCode(int32_t code, const std::string& detail) {
    const ErrorMessage msg = ComposeErrorMessage(code, detail);
    if (!msg.show) {
        return;
    }
    std::fprintf(stderr, "%s\n%s\n", msg.caption.c_str(), msg.text.c_str());
}

int UsageFailure(const std::string& message) {
    std::fprintf(stderr, "trelvan-cli: %s\nTry 'trelvan-cli --help'.\n", message.c_str());
    return kExitUsage;
}

CliRun::CliRun(OpContext& ctx, const ParsedArgs& args)
    : m_ctx(ctx), m_showProgress(!args.Has("--quiet") && ::isatty(STDERR_FILENO) == 1) {
    g_interrupted.store(false);
    g_running.store(&ctx);
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    m_ctx.pump = [this] {
        if (!m_showProgress || !m_text) {
            return;
        }
        const uint32_t now = CTimeMmanager::SystemNow();
        if (m_drawn && now - m_lastDraw < 100) {
            return;
        }
        m_lastDraw = now;
        m_drawn = true;
        std::fprintf(stderr, "\r%s\x1b[K", m_text().c_str());
        std::fflush(stderr);
    };
}

CliRun::~CliRun() {
    FinishProgress();
    g_running.store(nullptr);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

void CliRun::SetProgressText(std::function<std::string()> text) { m_text = std::move(text); }

void CliRun::FinishProgress() {
    if (m_drawn) {
        if (m_text) {
            std::fprintf(stderr, "\r%s\x1b[K", m_text().c_str());
        }
        std::fprintf(stderr, "\n");
        m_drawn = false;
    }
}

bool CliRun::Interrupted() const { return g_interrupted.load(); }

}  // namespace trelvan::cli
