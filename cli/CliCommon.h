#pragma once

#include <cstdint>
#include <string>

#include "CEncAVIAudio.h"
#include "CliArgs.h"
#include "ErrorLine.h"
#include "JoinCheck.h"
#include "OpContext.h"

// Conventions every subcommand follows.
namespace trelvan::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitOperationError = 1,  // an operation returned an error code
    kExitUsage = 2,
    kExitStopped = 3,         // the user stopped the run (Ctrl-C)
};

// Applies the common options of a parsed command line (--lang).
void ApplyCommonOptions(const ParsedArgs& args);

// Audio blocks that cannot be read during an AVI copy. By default nobody is
// asked: that audio ends there and the run fails with a read error that
// says where. With --skip-unreadable (`skip`) every such sample is skipped,
// as the page's Cancel does, and counted.
void SetUnreadableAudioPolicy(OpContext& ctx, bool skip);
// Says on standard error what became of unreadable audio of `source`, if
// any: where it ended, or how many samples were skipped.
void ReportAudioTrouble(const CEncAVIAudio::AudioReadTrouble& trouble, const std::string& source);

// The join check of a list as its link would join it: AVI files by the AVI
// link's rules, anything else by the audio link's.
JoinReport CheckJoinOf(const std::vector<std::string>& sources);
// For the link commands: true (after printing the report on standard error)
// when the sources differ and `force` is not set.
bool RefuseUnlessClean(const JoinReport& report, bool force);

// Prints "trelvan-cli: <message>" and a hint to --help on standard error.
int UsageFailure(const std::string& message);

// Prepares an operation context for a command-line run: Ctrl-C sets its stop
// flag, and unless quiet (or standard error is not a terminal) the pump hook
// redraws `progress_text()` on standard error at most every 100 ms.
class CliRun {
public:
    CliRun(OpContext& ctx, const ParsedArgs& args);
    ~CliRun();
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    // Sets the function that renders the progress line.
    void SetProgressText(std::function<std::string()> text);
    // Ends the progress line (newline) if one was drawn.
    void FinishProgress();
    // True when Ctrl-C was pressed during the run.
    bool Interrupted() const;

private:
    OpContext& m_ctx;
    bool m_showProgress;
    bool m_drawn = false;
    uint32_t m_lastDraw = 0;
    std::function<std::string()> m_text;
};

}  // namespace trelvan::cli
