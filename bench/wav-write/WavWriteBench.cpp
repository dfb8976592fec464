// Copies the bytes of a file into the data chunk of a PCM WAV file through
// CWaveFileACM::WriteRaw, in blocks of a given size, as the audio pages do:
//   wav_write_bench SOURCE OUTPUT BLOCK_BYTES
// With SOURCE "mem:BYTES" nothing is read: one block of patterned bytes is
// written again and again, which measures the writer alone.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CWaveFileACM.h"
#include "WaveFormatEx.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wav_write_bench SOURCE OUTPUT BLOCK_BYTES\n");
        return 2;
    }
    const long block = std::atol(argv[3]);
    const std::string source = argv[1];
    long long from_memory = source.rfind("mem:", 0) == 0 ? std::atoll(source.c_str() + 4) : -1;
    const int in = from_memory >= 0 ? -1 : open(argv[1], O_RDONLY);
    if ((from_memory < 0 && in < 0) || block <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    uint8_t format[18];
    trelvan::WriteWaveFormat({trelvan::kWaveFormatPcm, 2, 44100, 176400, 4, 16, 0}, format);
    CWaveFileACM w;
    w.SetFileFormat(format, sizeof format);
    if (w.OpenWrite(argv[2]) == 0) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    std::vector<uint8_t> buf(static_cast<size_t>(block));
    for (size_t i = 0; i < buf.size(); ++i) {
        buf[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    for (;;) {
        ssize_t n;
        if (from_memory >= 0) {
            n = static_cast<ssize_t>(std::min<long long>(from_memory, block));
            from_memory -= n;
        } else {
            n = read(in, buf.data(), buf.size());
        }
        if (n <= 0) {
            break;
        }
        if (w.WriteRaw(buf.data(), static_cast<int32_t>(n)) != n) {
            std::fprintf(stderr, "short write\n");
            return 1;
        }
    }
    w.Close();
    if (in >= 0) {
        close(in);
    }
    return 0;
}
