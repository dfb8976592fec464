#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// What the reading commands of trelvan-cli do with one damaged file, run in
// this process: the fuzz targets of the operations drive it, and the normal
// tests replay the inputs they found through it.
namespace trelvan::fuzz {

// The families by the commands that take their files.
enum class Family { Avi, Wav, Asf, Movie };

// The extension a file of the family is given (the commands choose their
// rules by it).
const char* Extension(Family family);

// The command lines run on a damaged file, words after "trelvan-cli": "BAD"
// stands for the damaged file, "PARTNER" for an undamaged one of the same
// family, "OUT" for an output. They are `info` and `check`, the family's
// link (damaged file first, last and with itself, with --force so that it
// runs on sources that differ, and mostly with --verify), `verify` of the
// output against its sources and of the damaged file itself, and the
// family's extract of 0.2 to 0.4 s.
const std::vector<std::vector<std::string>>& OperationCommands(Family family);

// Writes `input` into `dir` as the damaged file and runs OperationCommands
// on it with `partner`. Returns an empty string when every command ended with
// exit status 0 or 1, every output of a command that ended with 0 reads back
// (`info` ends with 0) and neither source changed; otherwise what went wrong.
// Crashes, hangs and sanitizer findings are left to the caller's process.
std::string RunCommandsOn(Family family, std::span<const uint8_t> input, const std::string& partner,
                          const std::string& dir);

}  // namespace trelvan::fuzz
