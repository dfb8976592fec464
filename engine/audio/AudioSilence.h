#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Exact silence in an audio stream's own format, made without an encoder:
// bytes that every decoder turns into zero samples and that sit between the
// stream's own blocks or frames without touching them. Linking uses it to
// hold each entry's sound where its picture starts when an entry's audio is
// shorter than its video, or missing.
//
//   PCM (any width), IEEE float, A-law, µ-law: the value of zero in each
//   sample (0x80 for 8-bit PCM, 0xD5 for A-law, 0xFF for µ-law);
//   IMA and Microsoft ADPCM: whole blocks of zero bytes (predictor 0, step
//   index 0 or delta 0, every nibble 0), which decode to zeros;
//   MPEG audio layers I to III: frames with the stream's own header (no CRC,
//   no padding except to keep a constant bit rate in step) and all other
//   bits zero: no allocation (layers I, II) or no main data and a zero
//   global gain (layer III), so nothing is heard. A layer III frame with
//   main_data_begin 0 borrows nothing from the frames before it.
// Other formats (AAC, AC-3, DTS, ...) have no such silence.
namespace trelvan::audio {

class AudioSilence {
  public:
    // Prepares the silence of `format` (a WAVEFORMATEX and its tail). For
    // MPEG audio `streamHead` must hold the first bytes of the stream, where
    // a frame header is looked for. False when the format has no exact
    // silence (or says too little to make it).
    bool Init(std::span<const uint8_t> format, std::span<const uint8_t> streamHead);

    // Sample frames (per channel) one unit of silence plays: one block, or
    // one MPEG frame.
    uint32_t UnitFrames() const { return m_unitFrames; }
    uint32_t SampleRate() const { return m_rate; }
    // Whether units are MPEG frames (each one chunk of a stream counted in
    // frames) rather than blocks that may be packed together.
    bool FramedUnits() const { return m_mpeg; }

    // Appends `units` units of silence to `out`. For MPEG audio, the padding
    // of each frame follows the stream's average byte rate (`unitsBefore`
    // units of silence written so far), so a constant-bit-rate stream's
    // bytes stay in step with its play time.
    void Append(uint64_t unitsBefore, uint64_t units, std::vector<uint8_t>* out) const;
    // The bytes of unit number `index` alone.
    std::vector<uint8_t> Unit(uint64_t index) const;

  private:
    bool InitMpeg(uint32_t rate, std::span<const uint8_t> streamHead);

    uint32_t m_rate = 0;
    uint32_t m_unitFrames = 0;
    bool m_mpeg = false;
    // Blocks: one block. MPEG: the frame without padding, and with it
    // (empty when the layer has no padding slot that keeps it valid).
    std::vector<uint8_t> m_unit;
    std::vector<uint8_t> m_padded;
    // MPEG: the format's average byte rate (padding keeps bytes in step).
    uint32_t m_byteRate = 0;
};

}  // namespace trelvan::audio
