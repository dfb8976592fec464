#include "VideoSampleCopy.h"

#include "AviFile.h"
#include "ErrorCodes.h"

namespace trelvan {

int32_t CopyVideoSample(CDecAVI& reader, CEncAVI& writer, int32_t pos, uint32_t direct_copy_bytes,
                        void** buffer, int32_t* samples) {
    *samples = 0;
    int32_t bytes = 0;
    AviStream* video = reader.GetVideoStream();
    if (video == nullptr) {
        return err::kStreamRead;
    }
    const int64_t chunk = static_cast<int64_t>(pos) - video->Start();
    if (video->SampleSize() == 0 && chunk >= 0 && chunk < video->ChunkCount() &&
        video->ChunkSize(chunk) >= direct_copy_bytes) {
        // A large stored sample: copied as it lies in the source.
        *samples = 1;
        const int32_t code = writer.CopySamples(1, video->Io(), video->ChunkOffset(chunk),
                                                static_cast<int32_t>(video->ChunkSize(chunk)),
                                                reader.IsKeyFrame(pos) ? 1 : 0);
        if (code != 0 && reader.ReadVideoSample(pos, samples, buffer, &bytes) != 0) {
            return err::kStreamRead;  // it was the source that failed
        }
        return code;
    }
    int32_t code = reader.ReadVideoSample(pos, samples, buffer, &bytes);
    if (code == 0 && *samples < 1) {
        code = err::kStreamRead;  // a read that moves nowhere would never end
    }
    if (code != 0) {
        return code;
    }
    return writer.WriteSamples(*samples, *buffer, bytes, reader.IsKeyFrame(pos) ? 1 : 0);
}

}  // namespace trelvan
