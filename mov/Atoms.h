#pragma once

#include <cstdint>

// Atom types of QuickTime and ISO base media files as the 32-bit big-endian
// value of their four bytes (the form they have in the file), built byte by
// byte.
namespace trelvan::mov::atom {

constexpr uint32_t Type(const char (&s)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

inline constexpr uint32_t kFtyp = Type("ftyp");
inline constexpr uint32_t kMoov = Type("moov");
inline constexpr uint32_t kMdat = Type("mdat");
inline constexpr uint32_t kFree = Type("free");
inline constexpr uint32_t kSkip = Type("skip");
inline constexpr uint32_t kWide = Type("wide");
inline constexpr uint32_t kMoof = Type("moof");
inline constexpr uint32_t kMvhd = Type("mvhd");
inline constexpr uint32_t kCmov = Type("cmov");
inline constexpr uint32_t kTrak = Type("trak");
inline constexpr uint32_t kUdta = Type("udta");
inline constexpr uint32_t kMeta = Type("meta");
inline constexpr uint32_t kIods = Type("iods");
inline constexpr uint32_t kMvex = Type("mvex");
inline constexpr uint32_t kMehd = Type("mehd");
inline constexpr uint32_t kTrex = Type("trex");
inline constexpr uint32_t kTkhd = Type("tkhd");
inline constexpr uint32_t kEdts = Type("edts");
inline constexpr uint32_t kElst = Type("elst");
inline constexpr uint32_t kTref = Type("tref");
inline constexpr uint32_t kMdia = Type("mdia");
inline constexpr uint32_t kMdhd = Type("mdhd");
inline constexpr uint32_t kHdlr = Type("hdlr");
inline constexpr uint32_t kMinf = Type("minf");
inline constexpr uint32_t kDinf = Type("dinf");
inline constexpr uint32_t kDref = Type("dref");
inline constexpr uint32_t kStbl = Type("stbl");
inline constexpr uint32_t kStsd = Type("stsd");
inline constexpr uint32_t kStts = Type("stts");
inline constexpr uint32_t kCtts = Type("ctts");
inline constexpr uint32_t kCslg = Type("cslg");
inline constexpr uint32_t kStss = Type("stss");
inline constexpr uint32_t kStps = Type("stps");
inline constexpr uint32_t kSdtp = Type("sdtp");
inline constexpr uint32_t kStsc = Type("stsc");
inline constexpr uint32_t kStsz = Type("stsz");
inline constexpr uint32_t kStz2 = Type("stz2");
inline constexpr uint32_t kStco = Type("stco");
inline constexpr uint32_t kCo64 = Type("co64");
inline constexpr uint32_t kVmhd = Type("vmhd");
inline constexpr uint32_t kSmhd = Type("smhd");
inline constexpr uint32_t kGmhd = Type("gmhd");
inline constexpr uint32_t kNmhd = Type("nmhd");
inline constexpr uint32_t kHmhd = Type("hmhd");
inline constexpr uint32_t kSthd = Type("sthd");
inline constexpr uint32_t kMfhd = Type("mfhd");
inline constexpr uint32_t kTraf = Type("traf");
inline constexpr uint32_t kTfhd = Type("tfhd");
inline constexpr uint32_t kTfdt = Type("tfdt");
inline constexpr uint32_t kTrun = Type("trun");
inline constexpr uint32_t kUrl = Type("url ");
inline constexpr uint32_t kAlis = Type("alis");
inline constexpr uint32_t kVide = Type("vide");
inline constexpr uint32_t kSoun = Type("soun");
inline constexpr uint32_t kText = Type("text");
inline constexpr uint32_t kQt = Type("qt  ");
inline constexpr uint32_t kMhlr = Type("mhlr");
inline constexpr uint32_t kDhlr = Type("dhlr");
inline constexpr uint32_t kUuid = Type("uuid");
inline constexpr uint32_t kTvod = Type("TVOD");

// Sound formats whose tables count uncompressed frames (fixed-rate sound).
inline constexpr uint32_t kRaw = Type("raw ");
inline constexpr uint32_t kTwos = Type("twos");
inline constexpr uint32_t kSowt = Type("sowt");
inline constexpr uint32_t kUlaw = Type("ulaw");
inline constexpr uint32_t kAlaw = Type("alaw");
inline constexpr uint32_t kIma4 = Type("ima4");
inline constexpr uint32_t kMac3 = Type("MAC3");
inline constexpr uint32_t kMac6 = Type("MAC6");
inline constexpr uint32_t kAgsm = Type("agsm");
inline constexpr uint32_t kIn24 = Type("in24");
inline constexpr uint32_t kIn32 = Type("in32");
inline constexpr uint32_t kFl32 = Type("fl32");
inline constexpr uint32_t kFl64 = Type("fl64");
inline constexpr uint32_t kLpcm = Type("lpcm");

}  // namespace trelvan::mov::atom
