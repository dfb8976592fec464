#pragma once

#include <optional>
#include <string>

// The one language test of the program. Texts are Japanese when the system's
// default language is Japanese and English otherwise. The answer is worked out
// afresh at every call, so a change of the system language shows at the next
// message.
namespace trelvan {

enum class LanguageChoice { System, English, Japanese };

// Process-wide override (the command line's --lang). System restores the test.
void SetLanguageOverride(LanguageChoice choice);
LanguageChoice GetLanguageOverride();

// Name of the environment variable that forces the language for a process
// ("en" or "ja"); tests and users set it, it stands below SetLanguageOverride.
inline constexpr const char* kLanguageEnvVar = "TRELVAN_LANG";

// True when texts should be Japanese. Order: the override above, then
// TRELVAN_LANG, then the system's default language (LANG of /etc/locale.conf,
// else of /etc/default/locale), and only where neither file sets one, the
// process locale (LC_ALL, LC_MESSAGES, LANG).
bool IsJapaneseSystem();

// The Japanese text when IsJapaneseSystem() holds, else the English one.
std::string SelectLanguageText(const std::string& english, const std::string& japanese);

namespace detail {
// Value of "LANG=..." in the text of a locale file (quotes and "export" allowed).
std::optional<std::string> LangFromLocaleFile(const std::string& text);
// True when a locale name such as "ja_JP.UTF-8" has the language part "ja".
bool IsJapaneseLocaleName(const std::string& name);
}  // namespace detail

}  // namespace trelvan
