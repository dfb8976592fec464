// libFuzzer target for the operations on one family (TRELVAN_FUZZ_FAMILY):
// the input is a whole file of it, on which `info`, `check`, the link with an
// undamaged file and `verify` run as trelvan-cli runs them (CommandDriver).
// Any crash, hang, leak or huge allocation is a fault, and so is an exit
// status other than 0 or 1 or a source that changed.
// The undamaged file is the one TRELVAN_FUZZ_PARTNER names (else the input
// joins itself); files are written into TRELVAN_FUZZ_SCRATCH (else a new
// folder in the temporary directory), on what acts as a disk that fills up
// at 16 MiB: a few damaged header fields can rightly ask for hours of
// silence (an AVI frame lasting 6553 s is held to its audio), and writing
// and verifying those would take the whole run.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "CommandDriver.h"

namespace {

namespace fs = std::filesystem;
using trelvan::fuzz::Family;

std::string g_dir;
std::string g_partner;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const rlimit limit{16u << 20, 16u << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    if (const char* scratch = std::getenv("TRELVAN_FUZZ_SCRATCH")) {
        g_dir = scratch;
        fs::create_directories(g_dir);
    } else {
        std::string tmpl = (fs::temp_directory_path() / "trelvan-fuzz-XXXXXX").string();
        g_dir = mkdtemp(tmpl.data()) != nullptr ? tmpl : ".";
    }
    if (const char* partner = std::getenv("TRELVAN_FUZZ_PARTNER")) {
        g_partner = g_dir + "/partner" + trelvan::fuzz::Extension(Family::TRELVAN_FUZZ_FAMILY);
        fs::copy_file(partner, g_partner, fs::copy_options::overwrite_existing);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A write past the file size limit fails with EFBIG, as on a full disk
    // (libFuzzer sets its own handler after LLVMFuzzerInitialize).
    signal(SIGXFSZ, SIG_IGN);
    constexpr Family family = Family::TRELVAN_FUZZ_FAMILY;
    const std::string partner =
        g_partner.empty() ? g_dir + "/bad" + trelvan::fuzz::Extension(family) : g_partner;
    const std::string trouble = trelvan::fuzz::RunCommandsOn(family, {data, size}, partner, g_dir);
    if (!trouble.empty()) {
        std::fprintf(stderr, "%s", trouble.c_str());
        std::abort();
    }
    return 0;
}
