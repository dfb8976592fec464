#include "CliCommon.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>

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

void SetUnreadableAudioPolicy(OpContext& ctx, bool skip) {
    if (skip) {
        ctx.ask = [](const std::string&, const std::string&) { return false; };  // Cancel: skip
    } else {
        ctx.ask = nullptr;
    }
}

void ReportAudioTrouble(const CEncAVIAudio::AudioReadTrouble& trouble, const std::string& source) {
    if (trouble.firstSample < 0) {
        return;
    }
    const std::string at = std::to_string(trouble.firstSample) + " (" +
                           FormatTimeMs(static_cast<int64_t>(trouble.firstSeconds * 1000)) + ")";
    if (trouble.skipped > 0) {
        std::fprintf(stderr, "%s\n",
                     SelectLanguageText("trelvan-cli: skipped " + std::to_string(trouble.skipped) +
                                            " unreadable audio sample(s) of " + source +
                                            ", the first at sample " + at,
                                        "trelvan-cli: " + source + " の読めない音声サンプル " +
                                            std::to_string(trouble.skipped) +
                                            " 個を飛ばしました(最初はサンプル " + at + ")")
                         .c_str());
    }
    if (trouble.ended) {
        std::fprintf(
            stderr, "%s\n",
            SelectLanguageText("trelvan-cli: the audio of " + source +
                                   " could not be read at sample " + at +
                                   "; the output's audio of it ends there "
                                   "(--skip-unreadable skips such samples instead)",
                               "trelvan-cli: " + source + " の音声をサンプル " + at +
                                   " で読めませんでした。出力のその音声はそこで終わります"
                                   "(--skip-unreadable で飛ばして続けます)")
                .c_str());
    }
}

}  // namespace trelvan::cli
