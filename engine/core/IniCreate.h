#pragma once

#include <string>

// A small reader of INI files ("[section]" lines and "key=value" lines).
// Section and key names match without regard to case; values are trimmed and
// one pair of surrounding quotes is removed; a value is cut at 259 characters.
// The program only reads its INI file, never writes it.
class CIniCreate {
public:
    CIniCreate() = default;
    explicit CIniCreate(std::string path) : m_path(std::move(path)) {}
    virtual ~CIniCreate() = default;

    virtual void SetPath(const std::string& path) { m_path = path; }
    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& fallback) const;
    virtual int ReadInt(const std::string& section, const std::string& key, int fallback) const;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

namespace trelvan {

// The folder of the running executable, with a trailing slash.
std::string ProgramDir();

// "Setting.ini" in the program's folder.
std::string SettingIniPath();

// The company key name: RegPos of section SAVE of Setting.ini, read anew at
// each call; "ZORIT" when the file or the key is missing (or empty).
std::string ReadRegPos(const std::string& ini_path = SettingIniPath());

}  // namespace trelvan
