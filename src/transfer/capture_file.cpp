#include "transfer/capture_file.h"

#include <cerrno>
#include <cstring>

namespace vellor {

CaptureFile::~CaptureFile() {
    Close();
}

FileStatus CaptureFile::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_) return FileStatus::Failure(std::strerror(EBUSY));
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return FileStatus::Failure(std::strerror(errno));
    // "ab" already writes at the end; the seek makes the position say so too.
    if (std::fseek(f, 0, SEEK_END) != 0) {
        const int err = errno;
        std::fclose(f);
        return FileStatus::Failure(std::strerror(err));
    }
    file_ = f;
    firstWriteError_ = 0;
    return FileStatus::Success();
}

void CaptureFile::Append(uint8_t byte) {
    Append(std::span<const uint8_t>(&byte, 1));
}

void CaptureFile::Append(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    std::lock_guard lock(mutex_);
    if (!file_) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        NoteWriteErrorLocked(errno);
    }
}

void CaptureFile::Flush() {
    std::lock_guard lock(mutex_);
    if (file_ && std::fflush(file_) != 0) NoteWriteErrorLocked(errno);
}

FileStatus CaptureFile::Close() {
    std::lock_guard lock(mutex_);
    if (!file_) return FileStatus::Success();
    std::FILE* f = file_;
    file_ = nullptr;
    const int writeError = firstWriteError_;
    firstWriteError_ = 0;
    const int closeResult = std::fclose(f);
    const int closeError = errno;
    if (writeError != 0) return FileStatus::Failure(std::strerror(writeError));
    if (closeResult != 0) return FileStatus::Failure(std::strerror(closeError));
    return FileStatus::Success();
}

bool CaptureFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

void CaptureFile::NoteWriteErrorLocked(int err) {
    if (firstWriteError_ == 0) firstWriteError_ = err != 0 ? err : EIO;
}

}  // namespace vellor
