#include "transfer/capture_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/system_reason.h"
#include "transfer/file_open.h"

namespace vellor {

namespace {

// write() that never raises a signal: a reader that went away gives EPIPE, a file size limit
// EFBIG, instead of ending the program.
ssize_t WriteWithoutSignals(int fd, const uint8_t* data, std::size_t size) {
    sigset_t quiet, previous;
    sigemptyset(&quiet);
    sigaddset(&quiet, SIGPIPE);
    sigaddset(&quiet, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &quiet, &previous);
    const ssize_t written = write(fd, data, size);
    const int error = errno;
    if (written < 0 && (error == EPIPE || error == EFBIG)) {
        // Take the signal the failed write left pending, before it can be delivered.
        const timespec now{};
        while (sigtimedwait(&quiet, nullptr, &now) > 0) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

}  // namespace

std::string DescribeCaptureFailure(const CaptureFailure& f) {
    // A pipe or terminal that would block is one whose reader is not keeping up.
    const std::string reason = f.error == EAGAIN
                                   ? std::string("The capture target is not taking data")
                                   : SystemReason(f.error);
    if (f.regularFile) {
        return reason + ". The capture has stopped; " + f.path + " holds " +
               std::to_string(f.bytesHeld) + " bytes.";
    }
    return reason + ". The capture has stopped after " + std::to_string(f.bytesHeld) + " bytes.";
}

CaptureFile::~CaptureFile() {
    Close();
}

FileStatus CaptureFile::Open(const std::string& path, FailureHandler onFailure) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0 || stoppedBy_ != 0) return FileStatus::Failure(SystemReason(EBUSY));
    // Opened without waiting: a named pipe with no reader would otherwise hold the UI thread
    // forever (it fails at once instead).
    struct stat info {};
    const int fd = OpenWithoutWaiting(path, O_WRONLY | O_APPEND | O_CREAT, info);
    if (fd < 0) return FileStatus::Failure(SystemReason(errno));
    // A regular file is written as usual; anything else keeps its writes non-blocking, so a
    // reader that stops reading ends the capture instead of stopping the program.
    regularFile_ = S_ISREG(info.st_mode);
    if (regularFile_) MakeBlocking(fd);
    fd_ = fd;
    path_ = path;
    buffer_.clear();
    buffer_.reserve(kBufferBytes);
    taken_ = 0;
    ++run_;
    onFailure_ = std::move(onFailure);
    return FileStatus::Success();
}

void CaptureFile::Append(uint8_t byte) {
    Append(std::span<const uint8_t>(&byte, 1));
}

void CaptureFile::Append(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return;
    CaptureFailure failure;
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return;
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
        if (buffer_.size() >= kBufferBytes) failed = !WriteOutLocked(failure);
    }
    ReportOutsideLock(failed, failure);
}

void CaptureFile::Flush() {
    CaptureFailure failure;
    bool failed = false;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0 || buffer_.empty()) return;
        failed = !WriteOutLocked(failure);
    }
    ReportOutsideLock(failed, failure);
}

FileStatus CaptureFile::Close() {
    std::lock_guard lock(mutex_);
    onFailure_ = nullptr;  // whoever closes hears of a failure from the result
    if (fd_ < 0) {
        if (stoppedBy_ == 0) return FileStatus::Success();
        // The capture already stopped at a failed write; its close reports that failure.
        CaptureFailure earlier{stoppedBy_, taken_, regularFile_, path_, run_};
        stoppedBy_ = 0;
        return FileStatus::Failure(DescribeCaptureFailure(earlier));
    }
    CaptureFailure failure;
    if (!WriteOutLocked(failure)) {
        stoppedBy_ = 0;
        return FileStatus::Failure(DescribeCaptureFailure(failure));
    }
    const int closed = close(fd_);
    const int error = errno;
    fd_ = -1;
    if (closed != 0 && error != EINTR) return FileStatus::Failure(SystemReason(error));
    return FileStatus::Success();
}

std::optional<CaptureFile::Progress> CaptureFile::CurrentProgress() const {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return std::nullopt;
    return Progress{path_, taken_ + buffer_.size()};
}

bool CaptureFile::IsOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

uint64_t CaptureFile::Run() const {
    std::lock_guard lock(mutex_);
    return run_;
}

bool CaptureFile::WriteOutLocked(CaptureFailure& failure) {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t n = WriteWithoutSignals(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n > 0) {
            done += std::size_t(n);
            taken_ += uint64_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        const int error = n < 0 ? errno : EIO;
        // Nothing after the failure may reach the file, or it would hold a gap.
        uint64_t held = taken_;
        struct stat info {};
        if (regularFile_ && fstat(fd_, &info) == 0) held = uint64_t(info.st_size);
        close(fd_);
        fd_ = -1;
        buffer_.clear();
        stoppedBy_ = error;
        failure = {error, held, regularFile_, path_, run_};
        taken_ = held;
        return false;
    }
    buffer_.clear();
    return true;
}

void CaptureFile::ReportOutsideLock(bool failed, const CaptureFailure& failure) {
    if (!failed) return;
    FailureHandler handler;
    {
        std::lock_guard lock(mutex_);
        handler = onFailure_;
    }
    if (handler) handler(failure);
}

}  // namespace vellor
