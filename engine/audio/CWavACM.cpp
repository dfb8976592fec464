#include "CWavACM.h"

CWavACM::CWavACM() {
    Reset();
}

CWavACM::~CWavACM() {
    Reset();
}

void CWavACM::Reset() {
    m_srcBuffer = {};
    m_dstBuffer = {};
    m_midBuffer = {};
    m_src2Buffer = {};
    m_midFormat.reset();
    m_headerA = ACMSTREAMHEADER{};
    m_headerB = ACMSTREAMHEADER{};
    // The second step feeds the main one: close it first.
    m_stream2.reset();
    m_stream.reset();
    m_fileFormat = {};
    m_fileFormatSize = 0;
    m_srcFill = 0;
    m_dstFill = 0;
    m_endOfData = false;
    m_inputCount = 0;
    m_byteCount = 0;
    m_byteLimit = 0xFFFFFFFF;
}
