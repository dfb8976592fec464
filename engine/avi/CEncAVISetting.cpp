#include "CEncAVISetting.h"

#include <algorithm>

#include "ByteOrder.h"
#include "IniCreate.h"
#include "RegFile.h"

namespace {

// The company name becomes one folder name: separators and the names "." and
// ".." cannot lead out of the configuration folder.
std::string FolderName(std::string name) {
    std::replace(name.begin(), name.end(), '/', '_');
    std::replace(name.begin(), name.end(), '\\', '_');
    if (name == "." || name == "..") {
        name = "_";
    }
    return name;
}

}  // namespace

CEncAVISetting::CEncAVISetting()
    : CEncAVISetting(trelvan::SettingIniPath(), trelvan::UserConfigDir()) {}

CEncAVISetting::CEncAVISetting(std::string ini_path, std::string config_dir)
    : m_iniPath(std::move(ini_path)), m_configDir(std::move(config_dir)) {
    m_handler = ReadHandler();
    m_codecState = ReadBlock("AviCodec");
    m_codecStateSize = static_cast<int32_t>(m_codecState.size());
    m_audioFormat = ReadBlock("AudioCodec");
}

CEncAVISetting::~CEncAVISetting() {
    if (!m_codecState.empty()) {
        trelvan::RegFile reg(StorePath(), KeyPath());
        const size_t n = std::min(m_codecState.size(),
                                  static_cast<size_t>(std::max<int32_t>(m_codecStateSize, 0)));
        reg.SetBinary("AviCodec", m_codecState.data(), n);
        if (!StorePath().empty()) {
            reg.Save();
        }
    }
    if (!m_audioFormat.empty()) {
        // 18 bytes and the format's own extra bytes, but never more than the
        // block holds.
        size_t n = m_audioFormat.size();
        if (n >= 18) {
            n = std::min(n, 18 + static_cast<size_t>(trelvan::bytes::GetLE16(&m_audioFormat[16])));
        }
        trelvan::RegFile reg(StorePath(), KeyPath());
        reg.SetBinary("AudioCodec", m_audioFormat.data(), n);
        if (!StorePath().empty()) {
            reg.Save();
        }
    }
    trelvan::RegFile reg(StorePath(), KeyPath());
    reg.SetDword("handler", m_handler);
    if (!StorePath().empty()) {
        reg.Save();
    }
}

std::string CEncAVISetting::StorePath() const {
    if (m_configDir.empty()) {
        return {};
    }
    return m_configDir + "/" + FolderName(trelvan::ReadRegPos(m_iniPath)) + "/AviVideoSettings.reg";
}

std::string CEncAVISetting::KeyPath() const {
    return "Software\\" + trelvan::ReadRegPos(m_iniPath) + "\\AviVideoSettings";
}

uint32_t CEncAVISetting::ReadHandler() const {
    const std::string path = StorePath();
    if (path.empty()) {
        return kHandlerDib;
    }
    const trelvan::RegFile reg(path, KeyPath());
    const auto* v = reg.Find("handler");
    if (v == nullptr || v->type != trelvan::RegFile::Type::Dword) {
        return kHandlerDib;
    }
    return v->dword;
}

std::vector<uint8_t> CEncAVISetting::ReadBlock(const std::string& name) const {
    const std::string path = StorePath();
    if (path.empty()) {
        return {};
    }
    const trelvan::RegFile reg(path, KeyPath());
    const auto* v = reg.Find(name);
    if (v == nullptr) {
        return {};
    }
    // Any type is read as its bytes, as a registry query does.
    std::vector<uint8_t> data;
    switch (v->type) {
        case trelvan::RegFile::Type::Dword:
            data.resize(4);
            trelvan::bytes::PutLE32(data.data(), v->dword);
            break;
        case trelvan::RegFile::Type::Binary:
            data = v->data;
            break;
        case trelvan::RegFile::Type::String:
            data = v->data;
            data.push_back(0);
            break;
        case trelvan::RegFile::Type::Other:
            return {};
    }
    if (data.size() > kMaxBlockBytes) {
        return {};
    }
    return data;
}
