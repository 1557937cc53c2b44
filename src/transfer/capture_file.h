#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>

namespace vellor {

// Outcome of opening or closing a file: on failure, the system's reason as text.
struct FileStatus {
    bool ok = true;
    std::string error;

    static FileStatus Success() { return {}; }
    static FileStatus Failure(std::string reason) { return {false, std::move(reason)}; }
    explicit operator bool() const { return ok; }
};

// The capture stream. The receive thread appends received bytes while the UI thread appends typed
// bytes and opens or closes the file, so every operation holds one mutex: no byte is ever written
// to a stream that is being closed, and an append finding no file writes nothing.
class CaptureFile {
  public:
    CaptureFile() = default;
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    ~CaptureFile();

    // Opens path for appending raw bytes, keeping what the file already holds. Fails when a
    // capture is already open, so an open stream is never dropped without its close.
    FileStatus Open(const std::string& path);

    // Appends bytes in order under one hold of the lock. Does nothing while no file is open.
    void Append(uint8_t byte);
    void Append(std::span<const uint8_t> bytes);

    // Hands buffered bytes to the system, so the file is current for readers and survives a kill.
    void Flush();

    // Closes the file. Reports a failure of the close itself, or of any write or flush since the
    // open: bytes that could not be stored are never lost without a word. The file counts as
    // closed afterwards whatever the result. Closing when nothing is open succeeds.
    FileStatus Close();

    bool IsOpen() const;

  private:
    void NoteWriteErrorLocked(int err);

    mutable std::mutex mutex_;
    std::FILE* file_ = nullptr;
    int firstWriteError_ = 0;
};

}  // namespace vellor
