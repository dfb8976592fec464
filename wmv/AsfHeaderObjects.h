#pragma once

#include <cstddef>
#include <cstdint>

#include "AsfByteReader.h"
#include "AsfHeader.h"
#include "WmResult.h"

// The objects of an ASF header, one class per family. Each Parse reads the
// body of one object (after its 24-byte GUID and size) from a reader that
// ends where the object ends, and adds what it says to the header. Objects
// the layer does not know are skipped. Parsers dispatch through a table keyed
// by GUID (see AsfHeaderObjects.cpp).
namespace trelvan::asf {

using wm::HRESULT;

// Parses the whole Header Object (bytes from its GUID on). Unknown objects
// are skipped; an object whose size runs past its parent ends the header with
// kBadHeader; protected content gives kProtected.
HRESULT ParseHeaderObject(const uint8_t* p, size_t n, AsfHeader& out);

struct FilePropertiesObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct StreamPropertiesObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
// Header Extension: a list of objects dispatched through the same table.
struct HeaderExtensionObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct ExtendedStreamPropertiesObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct CodecListObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct ScriptCommandObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct MarkerObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
// Content Description, Extended Content Description, Metadata and Metadata
// Library: the attribute stores.
struct ContentDescriptionObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct ExtendedContentDescriptionObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct MetadataObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
    static HRESULT ParseLibrary(ByteReader& r, AsfHeader& h);
};
struct LanguageListObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct GroupMutualExclusionObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
struct StreamBitratePropertiesObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};
// Encryption objects of any generation: the file is protected.
struct ProtectionObject {
    static HRESULT Parse(ByteReader& r, AsfHeader& h);
};

// On-disk attribute type codes to the API's and back; BOOL is 4 bytes in the
// API, 4 in Extended Content Description and 2 in Metadata (Library).
uint16_t AttrTypeFromDisk(uint16_t disk);
uint16_t AttrTypeToDisk(uint16_t api);

}  // namespace trelvan::asf
