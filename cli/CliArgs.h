#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// Argument parsing shared by the subcommands. Options may stand before or
// after the file arguments; "--" ends the options. A value option takes the
// next word or its "=value" form.
namespace trelvan::cli {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::set<std::string> flags;   // options without a value, e.g. "--quiet"
    std::set<std::string> values;  // options with a value, e.g. "-o"
};

class ParsedArgs {
public:
    bool Has(const std::string& flag) const { return m_flags.count(flag) != 0; }
    std::optional<std::string> Value(const std::string& option) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

    void AddFlag(const std::string& f) { m_flags.insert(f); }
    void SetValue(const std::string& o, const std::string& v) { m_values[o] = v; }
    void AddPositional(const std::string& p) { m_positional.push_back(p); }

private:
    std::set<std::string> m_flags;
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

// Parses words against the known options; throws UsageError for unknown options,
// missing values and repeated value options. The common options (--lang,
// --quiet, --help) are always known.
ParsedArgs ParseArgs(const std::vector<std::string>& words, OptionSpec known);

// Parses a time "H:M:S.mmm" (also "M:S", "S", with or without ".mmm") into
// milliseconds. Throws UsageError for anything else.
int64_t ParseTimeMs(const std::string& text);

// Formats milliseconds as "H:M:S.mmm" (hours not padded, minutes and seconds
// two digits).
std::string FormatTimeMs(int64_t ms);

// Parses a whole signed 32-bit decimal number; throws UsageError otherwise.
int32_t ParseInt32(const std::string& text, const std::string& what);

}  // namespace trelvan::cli
