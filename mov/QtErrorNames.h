#pragma once

#include <cstdint>
#include <string>

// The names of movie result codes for messages: the movie toolbox's own
// constant names, in eight runs of consecutive codes (204 in all).
namespace trelvan::mov {

// The text shown for a code not in the table.
inline constexpr const char* kUnknownErrorName = "不明なエラー";

// The name of `code` (UTF-8); "不明なエラー" for a code not in the table.
// -2126 carries an explanation after a line feed.
std::string QtErrorName(int32_t code);

// How many codes the table names.
int QtErrorNameCount();

}  // namespace trelvan::mov
