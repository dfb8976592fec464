#pragma once

#include <cstdint>
#include <vector>

#include "AviFile.h"
#include "RiffReader.h"

namespace trelvan {

// Builds the sample index of every stream of an AVI file in one pass over
// whichever index the file offers: the OpenDML standard indexes (reached
// through each stream's super index), else the AVI 1.0 idx1 (its offsets
// relative to the movi list or to the file start, whichever the entries
// prove), else a walk through the movi lists. Counts read from the file are
// checked against the bytes that remain before anything is reserved.
class AviIndexBuilder {
  public:
    struct Movi {
        uint64_t fourccPos = 0;  // position of the 'movi' list type
        uint64_t end = 0;        // end of the list, clamped to the file
    };
    struct StreamIndexInfo {
        uint64_t indxPos = 0;  // header position of the stream's indx chunk (0: none)
        uint32_t indxSize = 0;
    };

    AviIndexBuilder(AviFile& file, RiffReader& reader) : m_file(file), m_reader(reader) {}

    void AddMovi(const Movi& movi) { m_movis.push_back(movi); }
    void SetIdx1(uint64_t pos, uint32_t size) {
        m_idx1Pos = pos;
        m_idx1Size = size;
    }
    void SetStreamIndex(size_t stream, const StreamIndexInfo& info);

    // Fills every stream's chunk list and derived values (length, key
    // chain, byte positions). Never fails: without any usable index the
    // streams are what the movi walk finds (possibly nothing).
    void Build();

  private:
    bool BuildOpenDml();
    bool ReadStandardIndex(size_t stream, uint64_t pos, bool count_only, uint64_t* count);
    bool BuildIdx1();
    bool DetectIdx1Base(uint64_t* base);
    void BuildScan();
    void ScanMovi(const Movi& movi);
    bool PlausibleHeader(const RiffChunk& c, uint64_t end) const;
    // Adds a chunk to a stream, clamping or dropping a chunk cut off by the
    // end of the file. False when the chunk lies wholly outside the file.
    bool AddChunk(size_t stream, uint64_t data_pos, uint32_t size, bool key);
    void Finish();
    void ClearChunks();

    AviFile& m_file;
    RiffReader& m_reader;
    std::vector<Movi> m_movis;
    std::vector<StreamIndexInfo> m_streamIndex;
    uint64_t m_idx1Pos = 0;
    uint32_t m_idx1Size = 0;
    bool m_keysKnown = true;
    uint64_t m_maxEntries = 0;  // chunks the movi lists can hold at most
};

}  // namespace trelvan
