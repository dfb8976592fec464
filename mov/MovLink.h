#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "IoFile.h"
#include "JoinCheck.h"
#include "OpContext.h"
#include "ProgressText.h"

// MOV link: joins movies, in list order, into one self-contained movie
// without recompressing: the first movie is opened, every later one is
// selected whole, copied and pasted at the end of it, and the result is
// saved. The desktop page and trelvan-cli both run it. Failures come back
// as the page's own Japanese messages (no numeric codes on that page),
// with the movie result behind them.
namespace trelvan {

struct MovLinkJob {
    std::vector<std::string> sources;  // in link order
    std::string output;
    // Compare the movies before anything is deleted or written, and ask
    // the context's ask hook (OK joins anyway) when they differ.
    bool checkJoin = false;
};

enum class MovLinkIcon { None, Stop, Question };

// The step a link failed in.
enum class MovLinkStep {
    None,
    Layer,
    Movies,
    Open,
    Select,
    Copy,
    End,
    Paste,
    Start,
    Save,
    Resource
};

struct MovLinkResult {
    // 0, -1 for an empty list, or the movie result code of the failing step
    // (an output that names a source fails as its save would:
    // cantCreateSingleForkFile).
    int32_t code = 0;
    // The message to show (UTF-8), empty on success and for -1.
    std::string message;
    MovLinkIcon icon = MovLinkIcon::None;
    // The failing step and the file it concerns (the source being opened or
    // copied, the output being saved; empty for the steps on the joined
    // movie itself).
    MovLinkStep step = MovLinkStep::None;
    std::string file;
    // Whether the work began (the running state was entered).
    bool started = false;
    // The join check's findings (checkJoin), and whether the question about
    // them was answered Cancel (then nothing was deleted or written).
    JoinReport join;
    bool cancelled = false;
};

// The output name the link proposes: the first source's stem + "_link.mov".
std::string MovLinkDefaultOutput(const std::string& firstSource);

// Runs the link against `ctx`:
//  - an empty list gives -1 and an output that names one of the sources
//    (however spelled) the save message, both before anything is deleted;
//  - with checkJoin, movies that differ where a join needs them to agree
//    are asked about (Cancel: nothing deleted or written, code 0);
//  - the stop flag is cleared and
//    `onBegin` called; the layer is started, the first source opened, and
//    for each later source (`item` is its index; the context is pumped and
//    the stop flag checked before each) it is opened, selected whole,
//    copied, the main movie goes to its end and the copy is pasted;
//  - unless stopped, the main movie goes to its start and is saved (under
//    a temporary name beside the output, put in place once it is whole),
//    and a companion "<output>.#res" file is deleted.
// The reader's warnings about a source (damage read around) go to the
// context's warn hook, led by the source's path.
// A stop or a failure saves nothing and leaves an existing output as it
// was; every failure sets the stop flag.
MovLinkResult RunMovLink(const MovLinkJob& job, OpContext& ctx,
                         const std::function<void()>& onBegin = {});

// A failed link for the command line, one line in the user's language
// (the page keeps its own Japanese messages): the file, what failed and the
// movie result code with its name, as the other movie commands say it.
std::string MovLinkErrorText(const MovLinkResult& result, bool japanese);

// The progress display's input: source `item` + 1 of `items`, `item` of
// `items` done.
ProgressInput MovLinkProgress(const OpContext& ctx, bool japanese);

}  // namespace trelvan
