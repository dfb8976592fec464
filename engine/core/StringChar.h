#pragma once

#include "MemBuffBase.h"

// A narrow zero-terminated string held in an owned buffer. Paths and texts are
// UTF-8 on this system.
class CStringChar {
public:
    CStringChar() = default;
    explicit CStringChar(const char* text);
    virtual ~CStringChar() = default;

    // The string, or "" when empty.
    const char* c_str() const;
    const CMemBuffBase<char>& Buffer() const { return m_buffer; }

private:
    CMemBuffBase<char> m_buffer;
};

// A wide zero-terminated string converted from UTF-8 (the narrow encoding
// here). Invalid byte sequences become U+FFFD. A null source gives an empty
// buffer (count 0).
class CStringCharW {
public:
    CStringCharW() = default;
    explicit CStringCharW(const char* text);
    virtual ~CStringCharW() = default;

    const wchar_t* c_str() const;
    const CMemBuffBase<wchar_t>& Buffer() const { return m_buffer; }

private:
    CMemBuffBase<wchar_t> m_buffer;
};
