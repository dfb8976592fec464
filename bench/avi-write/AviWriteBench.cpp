// avi-write-bench: makes the source files of the AVI write benchmark and
// copies every sample of a source through the AVI writers' copy mode, as the
// extract page does (video frames one by one with their key flags, then the
// audio), for the benchmark script to time.
//
//   avi-write-bench make-small FILE   300,000 chunks: small video frames and MP3-sized audio frames
//   avi-write-bench make-large FILE   about 500 MB of 1 MiB frames with PCM audio
//   avi-write-bench copy SOURCE OUTPUT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "AviFile.h"
#include "AviWriter.h"
#include "ByteOrder.h"
#include "CEncAVIAudio.h"
#include "ReadAheadFile.h"

namespace {

using trelvan::bytes::FourCC;
using trelvan::bytes::PutLE16;
using trelvan::bytes::PutLE32;

std::vector<uint8_t> VideoFormat(uint32_t compression, int w, int h) {
    std::vector<uint8_t> b(40, 0);
    PutLE32(&b[0], 40);
    PutLE32(&b[4], static_cast<uint32_t>(w));
    PutLE32(&b[8], static_cast<uint32_t>(h));
    PutLE16(&b[12], 1);
    PutLE16(&b[14], 24);
    PutLE32(&b[16], compression);
    PutLE32(&b[20], static_cast<uint32_t>(w * h * 3));
    return b;
}

std::vector<uint8_t> AudioFormat(uint16_t tag, uint32_t avg, uint16_t align, uint16_t bits) {
    std::vector<uint8_t> b(18, 0);
    PutLE16(&b[0], tag);
    PutLE16(&b[2], 2);
    PutLE32(&b[4], 44100);
    PutLE32(&b[8], avg);
    PutLE16(&b[12], align);
    PutLE16(&b[14], bits);
    return b;
}

int Make(const std::string& path, bool large) {
    trelvan::AviWriter w;
    if (w.Create(path) != 0) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
    }
    trelvan::AviWriterStreamInfo v;
    v.fccType = FourCC("vids");
    v.fccHandler = large ? FourCC("MJPG") : FourCC("FMP4");
    v.dwScale = 1;
    v.dwRate = 25;
    trelvan::AviWriterStreamInfo a;
    a.fccType = FourCC("auds");
    int vi = -1, ai = -1;
    std::vector<uint8_t> afmt;
    if (large) {
        a.dwScale = 4;
        a.dwRate = 176400;
        a.dwSampleSize = 4;
        afmt = AudioFormat(1, 176400, 4, 16);
    } else {
        // MP3 as one frame per chunk: 1152 samples a frame.
        a.dwScale = 1152;
        a.dwRate = 44100;
        afmt = AudioFormat(0x55, 16000, 1152, 0);
    }
    if (w.AddStream(v, VideoFormat(v.fccHandler, 640, 480), &vi) != 0 ||
        w.AddStream(a, afmt, &ai) != 0) {
        return 1;
    }
    std::mt19937 rng(7);
    std::vector<uint8_t> data(large ? (1 << 20) + 4096 : 8192);
    for (auto& b : data) {
        b = static_cast<uint8_t>(rng());
    }
    const int frames = large ? 500 : 150000;
    for (int i = 0; i < frames; ++i) {
        const uint32_t vbytes = large ? (1 << 20) + (rng() % 4096) : 1500 + rng() % 3000;
        if (w.WriteChunk(vi, data.data(), vbytes, i % 25 == 0) != 0) {
            return 1;
        }
        const uint32_t abytes = large ? 176400 / 25 : 417 + (i % 3 == 0);
        if (w.WriteChunk(ai, data.data() + 100, abytes, true) != 0) {
            return 1;
        }
    }
    return w.Close() == 0 ? 0 : 1;
}

int Copy(const std::string& src, const std::string& out) {
    int32_t error = 0;
    // Read ahead in windows of 256 KiB, as the pages' readers can: small chunks
    // then cost no system call each.
    auto file = trelvan::AviFile::Open(src, &error, trelvan::ReadAheadOpener());
    if (!file) {
        std::fprintf(stderr, "cannot open %s: %d\n", src.c_str(), error);
        return 1;
    }
    trelvan::AviStream* video = nullptr;
    trelvan::AviStream* audio = nullptr;
    for (int i = 0; i < file->StreamCount(); ++i) {
        auto& s = file->Stream(i);
        if (s.IsVideo() && video == nullptr) {
            video = &s;
        } else if (s.IsAudio()) {
            audio = &s;
        }
    }
    if (video == nullptr) {
        return 1;
    }
    CEncAVIAudio w;
    const auto& vf = video->Format();
    int32_t rc = w.OpenForCopy(out, video->Info(), vf.data(), static_cast<int32_t>(vf.size()));
    if (rc == 0 && audio != nullptr) {
        rc = w.AddAudioStream(audio->Format(), audio->Info(), "");
    }
    std::vector<uint8_t> buf;
    for (int32_t f = video->Start(); rc == 0 && f < video->Start() + video->Length();) {
        int64_t bytes = 0;
        int32_t samples = 0;
        rc = video->Read(f, trelvan::kReadConvenient, nullptr, 0, &bytes, &samples);
        if (rc == 0 && static_cast<size_t>(bytes) > buf.size()) {
            buf.resize(static_cast<size_t>(bytes));
        }
        if (rc == 0 && bytes > 0) {
            rc = video->Read(f, trelvan::kReadConvenient, buf.data(), bytes, &bytes, &samples);
        }
        if (rc == 0) {
            rc = w.WriteSamples(samples, buf.data(), static_cast<int32_t>(bytes),
                                video->IsKeyFrame(f));
        }
        f += samples > 0 ? samples : 1;
    }
    if (rc == 0 && audio != nullptr) {
        rc = w.CopyAudioRange(audio->Start(), audio->Start() + audio->Length(), audio);
    }
    const int32_t closed = w.Close();
    if (rc != 0 || closed != 0) {
        std::fprintf(stderr, "copy failed: %d %d\n", rc, closed);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "make-small") == 0) {
        return Make(argv[2], false);
    }
    if (argc == 3 && std::strcmp(argv[1], "make-large") == 0) {
        return Make(argv[2], true);
    }
    if (argc == 4 && std::strcmp(argv[1], "copy") == 0) {
        return Copy(argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: avi-write-bench make-small FILE | make-large FILE | copy SOURCE OUTPUT\n");
    return 2;
}
