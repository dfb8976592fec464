#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The video-codec settings of an AVI writer: quality, key-frame interval,
// data rate, the compressor's four-character code and private state, and an
// audio format. The handler, the codec state and the audio format persist per
// user in <config>/<RegPos>/AviVideoSettings.reg (see RegFile.h), where
// <config> is the user's configuration folder and RegPos the company name of
// "Setting.ini" beside the program, read anew for each value. They are read
// when the object is made and written back when it is destroyed; nothing
// else changes them.
//
// Values in the file: "handler" (dword), "AviCodec" and "AudioCodec" (hex).
// A "handler" of another type is ignored; a codec value larger than 4096
// bytes is ignored (and then not written back).
class CEncAVISetting {
  public:
    static constexpr uint32_t kHandlerDib = 0x20424944;  // "DIB "
    static constexpr size_t kMaxBlockBytes = 4096;

    CEncAVISetting();
    // The same with the INI file and the configuration folder given (tests).
    CEncAVISetting(std::string ini_path, std::string config_dir);
    CEncAVISetting(const CEncAVISetting&) = delete;
    CEncAVISetting& operator=(const CEncAVISetting&) = delete;
    virtual ~CEncAVISetting();

    int32_t m_quality = 100;
    int32_t m_keyFrameEvery = 15;  // frames
    int32_t m_dataRate = 300;      // kilobytes per second
    uint32_t m_handler = kHandlerDib;
    int32_t m_codecStateSize = 0;
    std::vector<uint8_t> m_codecState;   // empty: none
    std::vector<uint8_t> m_audioFormat;  // a WAVEFORMATEX and its tail; empty: none

    // The file the values of the current RegPos live in; empty without a
    // configuration folder.
    std::string StorePath() const;

  private:
    std::string KeyPath() const;
    uint32_t ReadHandler() const;
    std::vector<uint8_t> ReadBlock(const std::string& name) const;

    std::string m_iniPath;
    std::string m_configDir;
};
