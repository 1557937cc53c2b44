#include "transfer/capture_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vellor {

CaptureFile::~CaptureFile() {
    Close();
}

FileStatus CaptureFile::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_) return FileStatus::Failure(std::strerror(EBUSY));
    // Opened without waiting: a named pipe with no reader would otherwise hold the UI thread
    // forever (it fails at once instead). Writes then block as usual.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return FileStatus::Failure(std::strerror(errno));
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "ab");
    if (!f) {
        const int err = errno;
        close(fd);
        return FileStatus::Failure(std::strerror(err));
    }
    // Appending already writes at the end; the seek makes the position say so too. A terminal
    // or pipe cannot seek, and capturing into one is still fine.
    std::fseek(f, 0, SEEK_END);
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
