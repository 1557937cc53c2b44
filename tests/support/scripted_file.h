#pragma once

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace vellor::testing {

// A file to send whose reads the test steers: one byte per read, the read of byte `holdAt` held
// until Release(), that of `failAt` failing; it may claim `missing` bytes more than it holds (a
// file cut short meanwhile) and fail its close. The sender sees an ordinary stream (fopencookie)
// that keeps the script alive after the test's object is gone.
class ScriptedFile {
  public:
    static constexpr std::size_t kNever = std::size_t(-1);
    struct Script {
        std::string content;
        std::size_t holdAt = kNever, failAt = kNever, missing = 0;
        int closeError = 0;
        std::size_t position = 0;  // the stream's, from here on what happened
        bool held = false, closed = false;
    };

    explicit ScriptedFile(Script script) : s_(std::make_shared<State>(std::move(script))) {}
    ~ScriptedFile() { Release(); }

    std::FILE* Open() { return fopencookie(new auto(s_), "rb", {&Read, nullptr, &Seek, &Close}); }
    Script Now() const {
        std::lock_guard lock(s_->mutex);
        return *s_;
    }
    void Release() {
        std::lock_guard lock(s_->mutex);
        s_->holdAt = kNever;
        s_->changed.notify_all();
    }

  private:
    struct State : Script {
        std::mutex mutex;
        std::condition_variable changed;
    };
    static State& Of(void* cookie) { return **static_cast<std::shared_ptr<State>*>(cookie); }

    static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
        State& f = Of(cookie);
        std::unique_lock lock(f.mutex);
        if (size == 0 || f.position >= f.content.size()) return 0;
        f.held = f.position == f.holdAt;
        f.changed.wait(lock, [&] { return f.position != f.holdAt; });
        f.held = false;
        if (f.position == f.failAt) return errno = EIO, -1;
        buffer[0] = f.content[f.position++];
        return 1;
    }
    static int Seek(void* cookie, off64_t* offset, int whence) {
        State& f = Of(cookie);
        std::lock_guard lock(f.mutex);
        const std::size_t end = f.content.size() + f.missing;
        f.position = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.position : end) + *offset;
        *offset = off64_t(f.position);
        return 0;
    }
    static int Close(void* cookie) {
        const std::unique_ptr<std::shared_ptr<State>> owner(
            static_cast<std::shared_ptr<State>*>(cookie));
        std::lock_guard lock((*owner)->mutex);
        (*owner)->closed = true;
        return (errno = (*owner)->closeError) == 0 ? 0 : -1;
    }

    std::shared_ptr<State> s_;
};

}  // namespace vellor::testing
