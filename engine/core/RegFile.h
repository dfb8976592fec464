#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trelvan {

// One key's values in a text file written like a registry export:
//
//   [Software\ZORIT\AviVideoSettings]
//   "handler"=dword:20424944
//   "AviCodec"=hex:01,02,0a,ff
//   "Name"="text"
//
// Long hex values go on over several lines, each but the last ending in a
// backslash.
//
// The store keeps the values it does not understand as they were, so that a
// write touches only the values it sets. Writing replaces the file as a
// whole (a new file renamed over the old one), so a failure never leaves half
// a file. Nothing is reported: a missing or unreadable file reads as empty.
class RegFile {
  public:
    enum class Type { Dword, Binary, String, Other };
    struct Value {
        std::string name;
        Type type = Type::Other;
        uint32_t dword = 0;
        std::vector<uint8_t> data;  // Binary: the bytes; String: the text
        std::string text;           // Other: everything after '=' as found
    };

    // Loads the file (when present). `key` is the header line's key path.
    RegFile(std::string path, std::string key);

    const Value* Find(const std::string& name) const;
    void SetDword(const std::string& name, uint32_t v);
    void SetBinary(const std::string& name, const uint8_t* data, size_t n);
    // Writes the file, creating its folder; false on failure.
    bool Save() const;

    // Largest file the store reads; a bigger one reads as empty.
    static constexpr uint64_t kMaxFileBytes = 1 << 20;

  private:
    Value& Slot(const std::string& name);

    std::string m_path;
    std::string m_key;
    std::vector<Value> m_values;
};

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config (the home folder from the user database when HOME
// is not set). Empty when there is none. No trailing slash.
std::string UserConfigDir();

}  // namespace trelvan
