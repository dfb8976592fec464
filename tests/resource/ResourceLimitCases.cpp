#include "ResourceLimitCases.h"

#include "AsfGuid.h"
#include "ByteOrder.h"
#include "CraftedAsf.h"
#include "CraftedMovie.h"

namespace trelvan::test {

const std::vector<CraftedCase>& CraftedCases() {
    static const std::vector<CraftedCase> cases = {
        // ---- AVI ----
        {"AviMainHeaderCountsAllOnes", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t h = DataOf(b, "avih");
             for (size_t field : {16u, 20u, 24u, 28u, 32u, 36u}) {
                 Put32(b, h + field, 0xFFFFFFFFu);  // frames, initial, streams, buffer, size
             }
             return b;
         }},
        {"AviStreamLengthsAndBuffersAllOnes", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             for (int s = 0; s < 2; ++s) {
                 PatchStrh(b, s, kStrhLength, 0xFFFFFFFFu);
                 PatchStrh(b, s, kStrhBuffer, 0xFFFFFFFFu);
                 PatchStrh(b, s, kStrhInitialFrames, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStreamStartNearLimit", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 0, kStrhStart, 0x7FFFFFF0u);
             PatchStrh(b, 1, kStrhStart, 0xFFFFFFFFu);
             return b;
         }},
        {"AviAudioSampleSizeTwoGiB", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 1, kStrhSampleSize, 0x7FFFFFF0u);
             return b;
         }},
        {"AviAudioSampleSizeAllOnes", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             PatchStrh(b, 1, kStrhSampleSize, 0xFFFFFFFFu);
             return b;
         }},
        {"AviAudioSampleSizeAboveChunks", CraftedBase::Avi,
         [] {
             // Samples larger than the copy buffers but smaller than the
             // stream: a few of them are really there.
             Bytes b = test::BuildTestAvi({VideoStream(), AudioStream()}, Interleaved(),
                                          AviTestIndex::Idx1Relative);
             PatchStrh(b, 1, kStrhSampleSize, 6400);
             return b;
         }},
        {"AviVideoFormatTwoGiB", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, FindId(b, "strf") + 4, 0x7FFFFFF0u);
             return b;
         }},
        {"AviAudioFormatTwoGiB", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, FindId(b, "strf", 1) + 4, 0x7FFFFFF0u);
             return b;
         }},
        {"AviPictureHeaderFieldsHuge", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t f = DataOf(b, "strf");
             Put32(b, f, 0xFFFFFFFFu);       // biSize
             Put32(b, f + 4, 0x7FFFFFFFu);   // biWidth
             Put32(b, f + 8, 0x80000001u);   // biHeight (top-down, huge)
             Put16(b, f + 14, 8);            // biBitCount: a palette follows
             Put32(b, f + 20, 0xFFFFFFFFu);  // biSizeImage
             Put32(b, f + 32, 0xFFFFFFFFu);  // biClrUsed
             return b;
         }},
        {"AviAudioFormatExtraSizeMax", CraftedBase::Avi,
         [] {
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(0x55, 2, 44100, 1, 0, {}, 0xFFFF);
             return test::BuildTestAvi({VideoStream(), a}, Interleaved(),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviAudioRatesAbsurd", CraftedBase::Avi,
         [] {
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(1, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF);
             Put32(a.format, 8, 4000000000u);
             a.scale = 1;
             a.rate = 0xFFFFFFFFu;
             return test::BuildTestAvi({VideoStream(), a}, Interleaved(),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviMp3VariableAbsurd", CraftedBase::Avi,
         [] {
             // MPEG audio of variable chunk size; the extra bytes of its
             // format (id, flags, block size, frames per block, delay) all ones.
             AviTestStream a = AudioStream();
             a.format = test::TestWaveFormat(0x55, 2, 44100, 0xFFFF, 0, Bytes(12, 0xFF));
             Put32(a.format, 8, 0);
             a.sampleSize = 0;
             a.scale = 0xFFFFFFFFu;
             a.rate = 1;
             std::vector<AviTestChunk> chunks = Interleaved();
             for (AviTestChunk& c : chunks) {
                 if (c.stream == 1) {
                     c.data = MpegLikeData(3);
                 }
             }
             return test::BuildTestAvi({VideoStream(), a}, chunks, AviTestIndex::Idx1Relative);
         }},
        {"AviIndexSizeFourGiB", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, FindId(b, "idx1") + 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviIndexEntrySizesHuge", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             const size_t idx = DataOf(b, "idx1");
             const uint32_t n = bytes::GetLE32(b.data() + idx - 4) / 16;
             for (uint32_t i = 0; i < n; ++i) {
                 Put32(b, idx + i * 16 + 12, i % 2 ? 0x7FFFFFFFu : 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviMoviListFourGiB", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi();
             Put32(b, 4, 0xFFFFFFF0u);
             const size_t movi = FindId(b, "movi");
             Put32(b, movi - 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviMoviListFourGiBWithoutIndex", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::None);
             Put32(b, FindId(b, "movi") - 4, 0xFFFFFFF0u);
             PatchStrh(b, 0, kStrhLength, 0xFFFFFFFFu);
             return b;
         }},
        {"AviSuperIndexCountAllOnes", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             for (int s = 0; s < 2; ++s) {
                 Put32(b, DataOf(b, "indx", s) + 4, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStandardIndexCountAllOnes", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             for (int s = 0; s < 2; ++s) {
                 Put32(b, DataOf(b, s == 0 ? "ix00" : "ix01") + 4, 0xFFFFFFFFu);
             }
             return b;
         }},
        {"AviStandardIndexSizesHuge", CraftedBase::Avi,
         [] {
             Bytes b = BaseAvi(AviTestIndex::OpenDml);
             const size_t ix = DataOf(b, "ix00");
             const uint32_t n = bytes::GetLE32(b.data() + ix + 4);
             for (uint32_t i = 0; i < n; ++i) {
                 Put32(b, ix + 24 + i * 8 + 4, 0x7FFFFFFFu);
             }
             return b;
         }},
        {"AviSuperIndexNamesOneIndexOften", CraftedBase::Avi,
         [] {
             AviTestStream v = VideoStream();
             v.superRepeat = 4000;
             return test::BuildTestAvi({v, AudioStream()}, Interleaved(), AviTestIndex::OpenDml);
         }},
        {"AviManyEmptyChunksIndexed", CraftedBase::Avi,
         [] {
             return test::BuildTestAvi({VideoStream()}, TinyChunks(60000),
                                       AviTestIndex::Idx1Relative);
         }},
        {"AviManyEmptyChunksWithoutIndex", CraftedBase::Avi,
         [] {
             Bytes b = test::BuildTestAvi({VideoStream()}, TinyChunks(60000), AviTestIndex::None);
             PatchStrh(b, 0, kStrhLength, 0xFFFFFFFFu);
             return b;
         }},
        {"AviManyContinuationRiffs", CraftedBase::Avi,
         [] {
             // Empty OpenDML continuation RIFFs, each with an empty movi list.
             Bytes b = BaseAvi();
             for (int i = 0; i < 30000; ++i) {
                 AppendId(b, "RIFF");
                 Append32(b, 16);
                 AppendId(b, "AVIX");
                 AppendId(b, "LIST");
                 Append32(b, 4);
                 AppendId(b, "movi");
             }
             return b;
         }},
        {"AviMoviGarbageWithoutIndex", CraftedBase::Avi,
         [] {
             // A movi list of bytes that hold no chunk header at all: the walk
             // resynchronises byte by byte.
             std::vector<AviTestChunk> chunks = Interleaved();
             chunks.push_back({0, test::Pattern(1 << 20, 0x80), true});
             Bytes b =
                 test::BuildTestAvi({VideoStream(), AudioStream()}, chunks, AviTestIndex::None);
             const size_t garbage = b.size() - (1 << 20);
             Put32(b, garbage - 8, 0x00000000u);  // the chunk header no longer names a stream
             Put32(b, garbage - 4, 0xFFFFFFF0u);
             return b;
         }},
        {"AviStreamListsOfSizeZero", CraftedBase::Avi,
         [] {
             // Stream lists that each reach to the end of the header list,
             // all holding the one format block of 64 KiB that follows them.
             const Bytes base = BaseAvi();
             Bytes hdrl = ChunkBytes(base, "avih");
             const Bytes lists = ListsOfSizeZero("strl", 300);
             hdrl.insert(hdrl.end(), lists.begin(), lists.end());
             const Bytes strh = ChunkBytes(base, "strh");
             hdrl.insert(hdrl.end(), strh.begin(), strh.end());
             AppendChunk(hdrl, "strf",
                         test::TestBitmapFormat(16, 16, 24, "", test::Pattern(65536, 9)));
             return WithHeaderList(base, hdrl);
         }},
        {"AviStreamListsOfSizeZeroOneSuperIndex", CraftedBase::Avi,
         [] {
             // The same with a super index of 4096 entries seen by every list.
             const Bytes base = BaseAvi(AviTestIndex::OpenDml);
             Bytes hdrl = ChunkBytes(base, "avih");
             const Bytes lists = ListsOfSizeZero("strl", 300);
             hdrl.insert(hdrl.end(), lists.begin(), lists.end());
             for (const char* id : {"strh", "strf"}) {
                 const Bytes c = ChunkBytes(base, id);
                 hdrl.insert(hdrl.end(), c.begin(), c.end());
             }
             Bytes indx;
             Append32(indx, 4);  // four longs per entry, an index of indexes
             Append32(indx, 4096);
             AppendId(indx, "00dc");
             Append32(indx, 0);
             Append32(indx, 0);
             Append32(indx, 0);
             const uint32_t ix = static_cast<uint32_t>(FindId(base, "ix00"));
             for (int i = 0; i < 4096; ++i) {
                 Append64(indx, ix);
                 Append32(indx, 0);
                 Append32(indx, 0);
             }
             AppendChunk(hdrl, "indx", indx);
             return WithHeaderList(base, hdrl);
         }},
        {"AviMoviListsOfSizeZero", CraftedBase::Avi,
         [] {
             // Movi lists that each reach to the end of the file, all holding
             // the 12,800 empty chunks that follow them.
             Bytes b = BaseAvi(AviTestIndex::None);
             b.resize(FindId(b, "movi") - 8);
             const Bytes lists = ListsOfSizeZero("movi", 200);
             b.insert(b.end(), lists.begin(), lists.end());
             for (int i = 0; i < 12800; ++i) {
                 AppendChunk(b, "00dc", {});
             }
             Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
             return b;
         }},
        {"AviManyVideoStreamsWithoutIndex", CraftedBase::Avi,
         [] {
             // Every stream's header claims 2^32 - 1 frames; the movi list
             // could hold 16,384 chunks in all.
             AviTestStream v = VideoStream();
             v.headerLength = 0xFFFFFFFFu;
             return test::BuildTestAvi(std::vector<AviTestStream>(256, v),
                                       {{0, test::Pattern(128 << 10, 1), true}},
                                       AviTestIndex::None);
         }},
        {"AviManyStreamLists", CraftedBase::Avi,
         [] {
             std::vector<AviTestStream> streams(1000, AudioStream());
             streams[0] = VideoStream();
             return test::BuildTestAvi(streams, Interleaved(), AviTestIndex::Idx1Relative);
         }},
        {"AviParsedCodecHugePicture", CraftedBase::Avi,
         [] {
             AviTestStream v = VideoStream("H264");
             v.format = test::TestBitmapFormat(0x7FFFFFFF, 0x7FFFFFFF, 24, "H264");
             return test::BuildTestAvi({v, AudioStream()}, Interleaved(), AviTestIndex::None);
         }},
        // ---- WAV ----
        {"WavFormatChunkFourGiB", CraftedBase::Wav,
         [] {
             Bytes b = BaseWav();
             Put32(b, FindId(b, "fmt ") + 4, 0xFFFFFFF0u);
             return b;
         }},
        {"WavFormatExtraSizeMax", CraftedBase::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 16, 0xFFFF);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavDataSizeAllOnes", CraftedBase::Wav,
         [] {
             Bytes b = BaseWav();
             Put32(b, 4, 0xFFFFFFFFu);
             Put32(b, FindId(b, "data") + 4, 0xFFFFFFFFu);
             return b;
         }},
        {"WavBlockAlignMaxByteRateFourBillion", CraftedBase::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 12, 0xFFFF);
             Put32(f, 8, 4000000000u);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavRatesZero", CraftedBase::Wav,
         [] {
             Bytes f = PcmFormat();
             Put16(f, 12, 0);
             Put32(f, 8, 0);
             Put32(f, 4, 0);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"WavPcmFieldsAllOnes", CraftedBase::Wav,
         [] {
             return Wav(test::TestWaveFormat(1, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF),
                        test::Pattern(8000, 3));
         }},
        {"WavExtensibleCutShort", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0xFFFE, 2, 8000, 4, 16, {}, 22);
             return Wav(f, test::Pattern(8000, 3));
         }},
        {"Rf64SizesHuge", CraftedBase::Wav,
         [] {
             Bytes b;
             AppendId(b, "RF64");
             Append32(b, 0xFFFFFFFFu);
             AppendId(b, "WAVE");
             Bytes ds64;
             Append64(ds64, uint64_t{1} << 62);  // RIFF size
             Append64(ds64, uint64_t{1} << 62);  // data size
             Append64(ds64, uint64_t{1} << 62);  // sample count
             Append32(ds64, 0xFFFFFFFFu);        // table entries
             AppendChunk(b, "ds64", ds64);
             AppendChunk(b, "fmt ", PcmFormat());
             AppendId(b, "data");
             Append32(b, 0xFFFFFFFFu);
             const Bytes d = test::Pattern(8000, 3);
             b.insert(b.end(), d.begin(), d.end());
             return b;
         }},
        {"Rf64TableChunkFourGiB", CraftedBase::Wav,
         [] {
             Bytes b = Wav(PcmFormat(), test::Pattern(8000, 3), "RF64");
             Bytes ds64;
             Append64(ds64, b.size());
             Append64(ds64, 8000);
             Append64(ds64, 2000);
             Append32(ds64, 0xFFFFFFFFu);
             Bytes head(b.begin(), b.begin() + 12);
             AppendId(head, "ds64");
             Append32(head, 0xFFFFFFF0u);
             head.insert(head.end(), ds64.begin(), ds64.end());
             head.insert(head.end(), b.begin() + 12, b.end());
             return head;
         }},
        {"WavMp3Absurd", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x55, 2, 0xFFFFFFFFu, 0xFFFF, 0, Bytes(12, 0xFF));
             Put32(f, 8, 0xFFFFFFFFu);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavMp3ByteRateTiny", CraftedBase::Wav,
         [] {
             // 1000 bytes a second at 44.1 kHz: a decoder's output estimated
             // from the byte rate would be 176 times the input.
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0,
                                            {1, 0, 2, 0, 0, 0, 0x20, 0x01, 1, 0, 0x71, 0x05});
             Put32(f, 8, 1000);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavMp3ByteRateForty", CraftedBase::Wav,
         [] {
             // 40 bytes a second: just within what a conversion step may be
             // sized to, 4400 times the input.
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0,
                                            {1, 0, 2, 0, 0, 0, 0x20, 0x01, 1, 0, 0x71, 0x05});
             Put32(f, 8, 40);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavAc3ByteRateTiny", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x2000, 6, 48000, 1536, 0);
             Put32(f, 8, 100);
             return Wav(f, Ac3LikeData(10));
         }},
        {"WavMp3BlockOfOneByte", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x55, 2, 44100, 1, 0, Bytes(12, 0));
             Put32(f, 8, 1);
             return Wav(f, MpegLikeData(20));
         }},
        {"WavAc3Absurd", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x2000, 0xFFFF, 0xFFFFFFFFu, 0xFFFF, 0xFFFF);
             Put32(f, 8, 4000000000u);
             return Wav(f, Ac3LikeData(10));
         }},
        {"WavMsAdpcmAbsurd", CraftedBase::Wav,
         [] {
             // Blocks of 65535 bytes of 65535 samples, 65535 coefficient
             // pairs announced and two stored.
             const Bytes extra = {0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0, 0, 2, 0, 0};
             Bytes f = test::TestWaveFormat(0x0002, 2, 0xFFFFFFFFu, 0xFFFF, 4, extra);
             Put32(f, 8, 4000000000u);
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavMsAdpcmBlocksClaimManySamples", CraftedBase::Wav,
         [] {
             // Mono blocks of 7 bytes (room for 2 samples) said to hold 4096.
             Bytes extra;
             for (uint16_t v :
                  {4096, 7, 256, 0, 512, 0xFF00, 0, 0, 192, 64, 240, 0, 460, 0xFF30, 392, 0xFF18}) {
                 extra.push_back(static_cast<uint8_t>(v));
                 extra.push_back(static_cast<uint8_t>(v >> 8));
             }
             Bytes f = test::TestWaveFormat(0x0002, 1, 8000, 7, 4, extra);
             Put32(f, 8, 4096);
             return Wav(f, test::Pattern(7000, 5));
         }},
        {"WavImaAdpcmBlocksClaimManySamples", CraftedBase::Wav,
         [] {
             // Mono blocks of 4 bytes (room for 1 sample) said to hold 65535.
             Bytes f = test::TestWaveFormat(0x0011, 1, 8000, 4, 4, {0xFF, 0xFF});
             Put32(f, 8, 4000);
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavImaAdpcmAbsurd", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x0011, 255, 0xFFFFFFFFu, 0xFFFF, 4, {0xFF, 0xFF});
             return Wav(f, test::Pattern(8000, 5));
         }},
        {"WavImaAdpcmTinyBlocksManyChannels", CraftedBase::Wav,
         [] {
             Bytes f = test::TestWaveFormat(0x0011, 64, 8000, 256, 4, {0xF9, 0x01});
             return Wav(f, test::Pattern(64000, 5));
         }},
        {"WavManyEmptyChunks", CraftedBase::Wav,
         [] {
             Bytes b;
             AppendId(b, "RIFF");
             Append32(b, 0);
             AppendId(b, "WAVE");
             AppendChunk(b, "fmt ", PcmFormat());
             for (int i = 0; i < 60000; ++i) {
                 AppendChunk(b, "junk", {});
             }
             AppendChunk(b, "data", test::Pattern(8000, 3));
             Put32(b, 4, static_cast<uint32_t>(b.size() - 8));
             return b;
         }},
        // ---- ASF ----
        {"AsfHeaderObjectSizeAllOnes", CraftedBase::Asf,
         [] {
             Bytes b = crafted::SmallValidFile();
             Put32(b, 16, 0xFFFFFFFFu);
             Put32(b, 20, 0xFFFFFFFFu);
             return b;
         }},
        {"AsfCountsAllOnes", CraftedBase::Asf,
         [] {
             Bytes codecs, ecd, ext;
             crafted::PutGuid(codecs, asf::guid::kReserved2);
             crafted::Put32(codecs, 0xFFFFFFFFu);
             crafted::Put16(ecd, 0xFFFF);
             Bytes meta;
             crafted::Put16(meta, 0xFFFF);
             return crafted::File(
                 crafted::Header(crafted::Cat(
                     {crafted::FileProperties(200, 0xFFFFFFFFull, 50000000, 1000), crafted::AudioStream(1),
                      crafted::HeaderExtension(crafted::Object(asf::guid::kMetadataLibrary, meta)),
                      crafted::Object(asf::guid::kCodecList, codecs),
                      crafted::Object(asf::guid::kExtendedContentDescription, ecd)})),
                 {});
         }},
        {"AsfPacketSizeZero", CraftedBase::Asf,
         [] {
             return crafted::File(crafted::Header(crafted::Cat(
                                      {crafted::FileProperties(0, 1, 50000000, 1000), crafted::AudioStream(1)})),
                                  {Bytes(200, 0x82)});
         }},
        {"AsfPacketSizeAndDataSizeAllOnes", CraftedBase::Asf,
         [] {
             const Bytes p = crafted::Packet(200, {});
             return crafted::File(crafted::Header(crafted::Cat({crafted::FileProperties(0xFFFFFFF0u, 1, 50000000, 1000),
                                                                crafted::AudioStream(1)})),
                                  {p}, {}, ~0ull);
         }},
        {"AsfPayloadLengthsPastThePacket", CraftedBase::Asf,
         [] {
             crafted::PayloadLayout pl;
             pl.replicated = crafted::Replicated(0x7FFFFFF0u, 1000);
             pl.data = Bytes(40, 1);
             pl.lengthOverride = 0xFFFF;
             return crafted::File(crafted::Header(crafted::Cat({crafted::FileProperties(200, 3, 50000000, 1000),
                                                                crafted::AudioStream(1)})),
                                  {crafted::Packet(200, {pl}), crafted::Packet(200, {pl})});
         }},
        {"AsfFragmentsOverlapOrNeverComplete", CraftedBase::Asf,
         [] {
             std::vector<Bytes> packets;
             for (uint32_t i = 0; i < 200; ++i) {
                 crafted::PayloadLayout pl;
                 pl.objectNumber = i % 3;
                 pl.offset = (i % 5) * 100;
                 pl.replicated = crafted::Replicated(60u << 20, 1000 + i);
                 pl.data = Bytes(150, static_cast<uint8_t>(i));
                 packets.push_back(crafted::Packet(200, {pl}));
             }
             return crafted::File(crafted::Header(crafted::Cat({crafted::FileProperties(200, 200, 50000000, 1000),
                                                                crafted::AudioStream(1)})),
                                  packets);
         }},
        {"AsfSimpleIndexCountAllOnes", CraftedBase::Asf,
         [] {
             Bytes si(16, 0);
             crafted::Put64(si, 10000000);
             crafted::Put32(si, 1);
             crafted::Put32(si, 0xFFFFFFFFu);
             Bytes b = crafted::SmallValidFile();
             const Bytes index = crafted::Object(asf::guid::kSimpleIndex, si, 0xFFFFFFFFFFull);
             b.insert(b.end(), index.begin(), index.end());
             return b;
         }},
        // ---- movies ----
        {"MovSizeTableCountAllOnes", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.stszCount = 0xFFFFFFFFu;
             return mov::test::BuildMovie(d);
         }},
        {"MovUniformSizeCountsAllOnes", CraftedBase::Mov,
         [] {
             // No size table to measure the count against: only the file's
             // length can bound the samples.
             mov::test::Damage d;
             d.stszUniform = 1;
             d.stszCount = 0xFFFFFFF0u;
             d.stscPerChunk = 0xFFFFFFF0u;
             return mov::test::BuildMovie(d);
         }},
        {"MovChunkAndDurationCountsAllOnes", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.stcoCount = 0xFFFFFFFFu;
             d.sttsCount = 0xFFFFFFFFu;
             return mov::test::BuildMovie(d);
         }},
        {"MovDescriptionAndEditCountsAllOnes", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.stsdCount = 0xFFFFFFFFu;
             d.elstCount = 0xFFFFFFFFu;
             return mov::test::BuildMovie(d);
         }},
        {"MovFragmentRunCountAllOnes", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.fragment = true;
             d.trunCount = 0xFFFFFFFFu;
             return mov::test::BuildMovie(d);
         }},
        // Eight tracks that each claim every byte of the same media data as
        // samples of their own: the file's one budget of samples bounds them
        // all together.
        {"MovEightTracksOfOneByteSamples", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.tracks = 8;
             d.mediaBytes = 128 << 10;
             d.stszUniform = 1;
             d.stszCount = 0xFFFFFFF0u;
             d.stscPerChunk = 0xFFFFFFF0u;
             return mov::test::BuildMovie(d);
         }},
        {"MovEightTracksOfOneByteFragmentSamples", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.tracks = 8;
             d.mediaBytes = 128 << 10;
             d.fragment = true;
             d.fragmentSize = 1;
             d.trunCount = 128 << 10;
             return mov::test::BuildMovie(d);
         }},
        {"MovEightPcmTracksOfFourBillionFrames", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.tracks = 8;
             d.mediaBytes = 128 << 10;
             d.pcm96k = true;
             d.stszUniform = 2;
             d.stszCount = 0xFFFFFFF0u;
             d.stscPerChunk = 0xFFFFFFF0u;
             return mov::test::BuildMovie(d);
         }},
        {"MovEightPcmTracksOfOneFrameFragments", CraftedBase::Mov,
         [] {
             mov::test::Damage d;
             d.tracks = 8;
             d.mediaBytes = 128 << 10;
             d.pcm96k = true;
             d.stszCount = 0;
             d.fragment = true;
             d.fragmentSize = 2;
             d.trunCount = 64 << 10;
             return mov::test::BuildMovie(d);
         }},
    };
    return cases;
}

}  // namespace trelvan::test
