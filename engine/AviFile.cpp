#include "AviFile.h"

#include "ErrorCodes.h"

namespace trelvan {

bool AviStream::IsVideo() const {
    return false;
}
bool AviStream::IsAudio() const {
    return false;
}
int32_t AviStream::Read(int32_t, int32_t, void*, int64_t, int64_t*, int32_t*) {
    return err::kStreamRead;
}
bool AviStream::IsKeyFrame(int32_t) const {
    return false;
}
int32_t AviStream::FindPrevKeyFrame(int32_t) const {
    return -1;
}
int32_t AviStream::ReadChunk(int64_t, void*, int64_t) {
    return err::kStreamRead;
}

std::shared_ptr<AviFile> AviFile::Open(const std::string&, int32_t* error, const FileOpener&) {
    *error = err::kFileOpen;
    return nullptr;
}
std::shared_ptr<AviFile> AviFile::OpenFile(std::unique_ptr<IoFile>, int32_t* error) {
    *error = err::kFileOpen;
    return nullptr;
}
bool AviFile::ReadExact(uint64_t, void*, size_t) {
    return false;
}

}  // namespace trelvan
