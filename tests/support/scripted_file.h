#pragma once

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <semaphore>
#include <string>

namespace vellor::testing {

// A file to send read one byte per read: that of byte `holdAt` waits for Release(), that of
// `failAt` fails; it may claim `missing` bytes more than it holds and fail its close. The stream
// (fopencookie) keeps the script alive after the test's object is gone.
class ScriptedFile {
  public:
    static constexpr std::size_t kNever = std::size_t(-1);
    struct Script {
        std::string content;
        std::size_t holdAt = kNever, failAt = kNever, missing = 0;
        int closeError = 0;
    };

    explicit ScriptedFile(Script script) : s_(std::make_shared<State>(std::move(script))) {}
    ~ScriptedFile() { Release(); }
    std::FILE* Open() { return fopencookie(new auto(s_), "rb", {&Read, nullptr, &Seek, &Close}); }
    bool Held() const { return s_->held; }
    bool Closed() const { return s_->closed; }
    void Release() { s_->released.release(); }

  private:
    struct State : Script {
        explicit State(Script script) : Script(std::move(script)) {}
        std::size_t position = 0;  // the stream's, used by one thread at a time
        std::atomic<bool> held = false, closed = false;
        std::counting_semaphore<> released{0};
    };
    using Cookie = std::shared_ptr<State>;

    static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
        State& f = **static_cast<Cookie*>(cookie);
        if (size == 0 || f.position >= f.content.size()) return 0;
        if (f.position == f.holdAt) {
            f.held = true;
            f.released.acquire();
            f.held = false;
        }
        if (f.position == f.failAt) return errno = EIO, -1;
        buffer[0] = f.content[f.position++];
        return 1;
    }
    static int Seek(void* cookie, off64_t* offset, int whence) {
        State& f = **static_cast<Cookie*>(cookie);
        const std::size_t end = f.content.size() + f.missing;
        *offset += off64_t(whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.position : end);
        f.position = std::size_t(*offset);
        return 0;
    }
    static int Close(void* cookie) {
        const std::unique_ptr<Cookie> owner(static_cast<Cookie*>(cookie));
        (*owner)->closed = true;
        return (errno = (*owner)->closeError) == 0 ? 0 : -1;
    }

    Cookie s_;
};

}  // namespace vellor::testing
