#include "Fixtures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "Process.h"

namespace fs = std::filesystem;

namespace trelvan::test {
namespace {

// Every output that the program's commands and pages write during the tests
// is read back and checked against what the operation meant to write
// (verify::VerifyEveryOutput): a difference fails the command (exit 1) or
// shows the page's difference box. Movies join the list once their layouts
// follow the rules the check holds them to. A test run may set its own list.
const bool kEveryOutputVerified = [] {
    setenv("TRELVAN_VERIFY_WRITTEN", "avi,wav,asf", 0);
    return true;
}();

std::vector<std::string> SplitWords(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) {
        out.push_back(w);
    }
    return out;
}

// FNV-1a: a stable hash of the recipe, so the cache name changes with it.
std::string RecipeHash(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return std::string(buf, 10);
}

struct ScratchRoot {
    fs::path path;
    ScratchRoot() {
        std::string tmpl = (fs::temp_directory_path() / "trelvan-test-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder");
        }
        path = tmpl;
    }
    ~ScratchRoot() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& e : fs::recursive_directory_iterator(path, ec)) {
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        }
        fs::remove_all(path, ec);
    }
};

}  // namespace

namespace {

// A fixture written once into the build tree by a tool (`argv` with the
// output path last or in place of the word "OUT"), reused while the recipe
// stays the same (the file name carries a hash of it).
std::string MakeWithTool(const std::string& tool, const std::vector<std::string>& head,
                         const std::string& name, const std::string& recipe,
                         const std::string& ext) {
    const fs::path dir = TRELVAN_FIXTURE_DIR;
    fs::create_directories(dir);
    const fs::path target = dir / (name + "-" + RecipeHash(recipe + "|" + ext) + "." + ext);
    if (fs::exists(target)) {
        return target.string();
    }
    // Several test processes may ask for the same file at once: each writes
    // its own temporary file and renames it into place.
    const fs::path tmp = dir / (name + ".tmp" + std::to_string(getpid()) + "." + ext);
    std::vector<std::string> argv = head;
    bool placed = false;
    for (auto& w : SplitWords(recipe)) {
        if (w == "location=OUT") {
            w = "location=" + tmp.string();
            placed = true;
        }
        argv.push_back(w);
    }
    if (!placed) {
        argv.push_back(tmp.string());
    }
    const CommandResult r = RunCommand(argv, 600);
    if (r.exit_code != 0 || !fs::exists(tmp)) {
        std::error_code ec;
        fs::remove(tmp, ec);
        ADD_FAILURE() << tool << " could not make fixture " << name << ": " << r.err;
        throw std::runtime_error("fixture " + name + " not made");
    }
    fs::rename(tmp, target);
    return target.string();
}

}  // namespace

std::string MakeMedia(const std::string& name, const std::string& args, const std::string& ext) {
    return MakeWithTool("ffmpeg",
                        {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"}, name,
                        args, ext);
}

std::string MakeGstMedia(const std::string& name, const std::string& pipeline,
                         const std::string& ext) {
    return MakeWithTool("gst-launch-1.0", {"gst-launch-1.0", "-q"}, name, pipeline, ext);
}

std::string SamplePath(const std::string& relative) {
    const fs::path p = fs::path(TRELVAN_SAMPLES_DIR) / relative;
    if (!fs::exists(p)) {
        ADD_FAILURE() << "sample missing: " << p;
        throw std::runtime_error("sample missing: " + p.string());
    }
    return p.string();
}

std::vector<std::string> SamplesIn(const std::string& folder) {
    std::vector<std::string> out;
    const fs::path dir = fs::path(TRELVAN_SAMPLES_DIR) / folder;
    // Without the samples folder (a clone on its own) the list is empty:
    // tables built from it at start-up must not abort the test program.
    std::error_code ec;
    for (auto& e : fs::directory_iterator(dir, ec)) {
        if (e.is_regular_file()) {
            out.push_back(e.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string ScratchDir() {
    static ScratchRoot root;
    static std::mutex mu;
    static int counter = 0;
    std::lock_guard<std::mutex> lock(mu);
    const fs::path p = root.path / ("t" + std::to_string(++counter));
    fs::create_directories(p);
    return p.string();
}

std::string CopyFile(const std::string& from, const std::string& to_dir) {
    const fs::path to = fs::path(to_dir) / fs::path(from).filename();
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return to.string();
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace trelvan::test
