#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "IoFile.h"

// The movie layer's model of one movie: movie → tracks → edits → media →
// sample list. Every sample table of the file (and every fragment of a
// fragmented file) is expanded into one list per track; writing rebuilds the
// tables from that list. Atoms the layer does not interpret are kept as they
// are (whole atoms, header included).
namespace trelvan::mov {

enum SampleFlags : uint8_t {
    kSampleSync = 1,         // a sync (key) sample
    kSamplePartialSync = 2,  // listed in 'stps'
    kSampleHasDeps = 4,      // `deps` holds the sample's 'sdtp' byte
};

// One entry of a track's sample list: one sample, or for fixed-rate sound
// (whose tables count uncompressed frames, or packets of one size and one
// duration) one chunk of frames.
struct Sample {
    uint64_t offset = 0;    // byte offset in its source file
    uint32_t size = 0;      // bytes
    uint32_t duration = 0;  // media time units (a frame run: all its frames)
    int32_t cts = 0;        // composition offset, media time units
    uint32_t count = 1;     // table samples it stands for (a frame run: frames)
    uint16_t desc = 1;      // 1-based index into the track's descriptions
    uint16_t source = 0;    // index into Movie::sources
    uint8_t flags = kSampleSync;
    uint8_t deps = 0;
};

struct Edit {
    uint64_t duration = 0;   // movie time units
    int64_t mediaTime = 0;   // media time units; -1: an empty edit
    int32_t rate = 0x10000;  // 16.16
};

// A whole atom, header included, kept as it was read.
struct RawAtom {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};

struct TrackReference {
    uint32_t type = 0;
    std::vector<uint32_t> ids;
};

struct Track {
    // tkhd
    uint32_t id = 0;
    uint32_t flags = 0xF;  // enabled, in movie, in preview, in poster
    uint64_t created = 0;
    uint64_t modified = 0;
    uint64_t duration = 0;  // movie time units
    int16_t layer = 0;
    int16_t alternateGroup = 0;
    uint16_t volume = 0;
    std::array<uint8_t, 36> matrix{};
    uint32_t width = 0;   // 16.16
    uint32_t height = 0;  // 16.16

    bool hasEdits = false;  // false: the whole media plays from time 0
    std::vector<Edit> edits;
    std::vector<TrackReference> references;
    // Other children of 'trak' (udta, tapt, load, clip, matt, meta, ...).
    std::vector<RawAtom> extras;

    // mdhd
    uint32_t timescale = 0;
    uint64_t mediaCreated = 0;
    uint64_t mediaModified = 0;
    uint16_t language = 0;
    uint16_t quality = 0;
    // hdlr of 'mdia' (its subtype is the media type) and of 'minf' (the
    // QuickTime data handler; empty when absent), whole atoms.
    uint32_t handler = 0;
    std::vector<uint8_t> mediaHandler;
    std::vector<uint8_t> dataHandler;
    // The media information header (vmhd, smhd, gmhd, nmhd, ...), whole.
    std::vector<uint8_t> mediaHeader;
    // Sample description entries, whole, with their data reference index
    // set to 1.
    std::vector<std::vector<uint8_t>> descriptions;

    // Fixed-rate sound: each entry of `samples` is a run of frames and the
    // tables count frames (version 2 descriptions: packets); `frameTableSize`
    // is the sample size its 'stsz' states (1 for most version 0 and 1
    // entries, a packet's bytes for version 2).
    bool frameRuns = false;
    uint32_t frameTableSize = 1;

    std::vector<Sample> samples;

    // Sum of the sample durations, media time units.
    uint64_t MediaDuration() const;
    // Where the last sample to be shown ends: the largest decode time +
    // composition offset + duration (the media duration when no sample is
    // shown later than it is decoded), media time units.
    uint64_t PresentationEnd() const;
    // The time the track occupies in the movie, in movie time units of a
    // movie of `movieScale`: the sum of its edits, or its media duration.
    uint64_t MovieDuration(uint32_t movieScale) const;
};

// A file that samples point into. Shared between movies (a scrap movie and
// a pasted movie use the same source files).
struct Source {
    std::string path;
    std::shared_ptr<IoFile> file;
};

struct Movie {
    // ftyp; `brand` 0 when the file had none.
    uint32_t brand = 0;
    uint32_t minorVersion = 0;
    std::vector<uint32_t> compatibleBrands;
    // The major brand the writer gives the saved file: 0 brands it by the
    // output's name (QuickTime's 'qt  ' for .mov; the source's brand above
    // is not carried over); another brand is written with itself, 'mp42'
    // and 'isom' as the compatible ones.
    uint32_t saveBrand = 0;

    // mvhd
    uint32_t timescale = 600;
    uint64_t created = 0;
    uint64_t modified = 0;
    int32_t rate = 0x10000;
    uint16_t volume = 0x100;
    std::array<uint8_t, 36> matrix{};
    uint32_t nextTrackId = 1;

    bool fragmented = false;
    std::vector<Track> tracks;
    // Other children of 'moov' kept as they are (udta, meta).
    std::vector<RawAtom> extras;
    std::vector<Source> sources;

    // The longest track, movie time units.
    uint64_t Duration() const;
};

// The identity matrix of movie and track headers.
std::array<uint8_t, 36> IdentityMatrix();

// Rescales `value` from one time scale to another, rounding to nearest
// (64-bit, saturating).
uint64_t Rescale(uint64_t value, uint32_t from, uint32_t to);

}  // namespace trelvan::mov
