#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AsfHeader.h"
#include "WmResult.h"

namespace trelvan::wm {


// The attributes of a file per stream number (0: the file), its codec
// descriptions and its script commands. A reader's header holds what the
// file stores plus the attributes derived from it (Duration, Bitrate,
// Seekable, ...); a writer's header refuses those derived names.
class HeaderInfo {
  public:
    explicit HeaderInfo(bool writable) : m_writable(writable) {}

    uint16_t GetAttributeCount(uint16_t stream) const;
    HRESULT GetAttributeByIndex(uint16_t stream, uint16_t index, asf::Attribute& out) const;
    HRESULT GetAttributeByName(uint16_t stream, const std::string& name, asf::Attribute& out) const;
    // Adds or replaces the attribute of that name. kInvalidArg on a reader's
    // header, for a derived (read-only) name, a stream number over 127, an
    // empty name, or a value whose length does not fit its type.
    HRESULT SetAttribute(uint16_t stream, const std::string& name, uint16_t type,
                         const std::vector<uint8_t>& value);

    uint32_t GetCodecInfoCount() const;
    HRESULT GetCodecInfo(uint32_t index, asf::CodecInfo& out) const;
    HRESULT AddCodecInfo(const asf::CodecInfo& c);

    uint16_t GetScriptCount() const;
    HRESULT GetScript(uint16_t index, asf::Script& out) const;
    HRESULT AddScript(const asf::Script& s);

    // Everything, for the writer.
    std::vector<asf::Attribute> Attributes() const;
    std::vector<asf::CodecInfo> Codecs() const;
    std::vector<asf::Script> Scripts() const;

    // True for the names a reader derives from the header (read-only).
    static bool IsDerived(const std::string& name);

    // A reader's header: the stored attributes, with the derived ones of
    // the file first.
    static std::unique_ptr<HeaderInfo> ForReader(const asf::AsfHeader& h, uint64_t duration,
                                                 uint64_t file_size, bool seekable);

  private:
    bool m_writable;
    mutable std::mutex m_lock;
    std::vector<asf::Attribute> m_attributes;
    std::vector<asf::CodecInfo> m_codecs;
    std::vector<asf::Script> m_scripts;
};

// Attribute values in the API's forms.
std::vector<uint8_t> AttrQword(uint64_t v);
std::vector<uint8_t> AttrDword(uint32_t v);
std::vector<uint8_t> AttrBool(bool v);
std::vector<uint8_t> AttrString(const std::string& utf8);

}  // namespace trelvan::wm
