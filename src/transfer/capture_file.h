#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellor {

// Outcome of opening or closing a file: on failure, the system's reason as text.
struct FileStatus {
    bool ok = true;
    std::string error;

    static FileStatus Success() { return {}; }
    static FileStatus Failure(std::string reason) { return {false, std::move(reason)}; }
    explicit operator bool() const { return ok; }
};

// Why a capture stopped by itself, and what it left behind.
struct CaptureFailure {
    int error = 0;  // errno of the failed write
    uint64_t bytesHeld =
        0;  // the file's size (a regular file) or the bytes it took (anything else)
    bool regularFile = true;
    std::string path;
    uint64_t run = 0;  // which capture this was (CaptureFile::Run)
};

// The user-facing account of a capture that stopped: the reason and what the file holds.
std::string DescribeCaptureFailure(const CaptureFailure& failure);

// The capture stream. The receive thread appends received bytes while the UI thread appends typed
// bytes and opens or closes the file, so every operation holds one mutex: no byte is ever written
// to a file that is being closed, and an append finding no file writes nothing.
//
// A capture file is either whole up to its end or not continued: the first write that fails (a
// full disk, a pipe whose reader went away or stopped reading) closes the file at once, drops
// whatever was still buffered, and reports the failure once through the handler given to Open().
// Targets that are not regular files are written without blocking: one that would block counts
// as failed, so no capture target can hold the thread that writes. A write never raises SIGPIPE.
class CaptureFile {
  public:
    // Called once per failed capture, on the thread whose write failed, without the lock held.
    using FailureHandler = std::function<void(const CaptureFailure&)>;

    // Bytes buffered before they are written out without being asked to.
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    CaptureFile() = default;
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    ~CaptureFile();

    // Opens path for appending raw bytes, keeping what the file already holds. Fails when a
    // capture is already open, so an open file is never dropped without its close.
    FileStatus Open(const std::string& path, FailureHandler onFailure = {});

    // Appends bytes in order under one hold of the lock. Does nothing while no file is open.
    void Append(uint8_t byte);
    void Append(std::span<const uint8_t> bytes);

    // Hands buffered bytes to the system, so the file is current for readers and survives a kill.
    void Flush();

    // Writes what is buffered and closes the file. Reports a failure of those last writes or of
    // the close itself, or the failure that already stopped this capture. The file counts as
    // closed afterwards whatever the result. Closing when nothing is open succeeds.
    FileStatus Close();

    bool IsOpen() const;

    // The open capture's path and the bytes it has taken (written or buffered); nothing when
    // no capture is open.
    struct Progress {
        std::string path;
        uint64_t bytes = 0;
    };
    std::optional<Progress> CurrentProgress() const;

    // Counts the captures opened so far; a failure names the run it ended.
    uint64_t Run() const;

  private:
    // Writes the buffer out; on failure closes the file and returns the failure to report.
    bool WriteOutLocked(CaptureFailure& failure);
    void ReportOutsideLock(bool failed, const CaptureFailure& failure);

    mutable std::mutex mutex_;
    int fd_ = -1;
    bool regularFile_ = true;
    std::string path_;
    std::vector<uint8_t> buffer_;
    uint64_t taken_ = 0;  // bytes this capture has written
    int stoppedBy_ = 0;   // errno of the failure that closed this capture early
    uint64_t run_ = 0;
    FailureHandler onFailure_;
};

}  // namespace vellor
