#pragma once

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace vellor::testing {

// A file to send whose reads the test controls: it hands out one byte per read, can hold the
// read of a chosen byte until released, fail the read of a chosen byte, refuse to seek or fail
// its close. Made with fopencookie, so the sender sees an ordinary stream.
class ScriptedFile {
  public:
    static constexpr std::size_t kNever = std::size_t(-1);

    explicit ScriptedFile(std::string content) : state_(std::make_shared<State>()) {
        state_->content = std::move(content);
    }

    // A new stream over the content. The stream keeps what it needs alive by itself.
    std::FILE* Open() {
        cookie_io_functions_t io{};
        io.read = &Read;
        io.seek = &Seek;
        io.close = &Close;
        auto* cookie = new std::shared_ptr<State>(state_);
        std::FILE* file = fopencookie(cookie, "rb", io);
        if (!file) delete cookie;
        return file;
    }

    void HoldAt(std::size_t index) { Set(&State::holdAt, index); }
    void FailReadAt(std::size_t index) { Set(&State::failAt, index); }
    void FailClose(int error) { Set(&State::closeError, error); }
    void RefuseSeek() { Set(&State::refuseSeek, true); }
    // The file loses everything from `size` on, as if cut short by another program.
    void Truncate(std::size_t size) {
        std::lock_guard lock(state_->mutex);
        state_->content.resize(size);
    }

    // Waits until a read is held (false after `limit`: a bound against hanging).
    bool WaitUntilHeld(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, limit, [this] { return state_->held; });
    }
    void Release() {
        {
            std::lock_guard lock(state_->mutex);
            state_->holdAt = kNever;
        }
        state_->changed.notify_all();
    }
    // Waits until the stream has been closed.
    bool WaitUntilClosed(std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, limit, [this] { return state_->closed; });
    }
    bool Closed() const {
        std::lock_guard lock(state_->mutex);
        return state_->closed;
    }
    // How many bytes the reader has taken so far.
    std::size_t Taken() const {
        std::lock_guard lock(state_->mutex);
        return std::size_t(state_->position);
    }

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::string content;
        off64_t position = 0;
        std::size_t holdAt = kNever;
        std::size_t failAt = kNever;
        int closeError = 0;
        bool refuseSeek = false;
        bool held = false;
        bool closed = false;
    };

    template <typename T, typename V>
    void Set(T State::*field, V value) {
        std::lock_guard lock(state_->mutex);
        (*state_).*field = value;
    }

    static State& Of(void* cookie) { return **static_cast<std::shared_ptr<State>*>(cookie); }

    static ssize_t Read(void* cookie, char* buffer, std::size_t size) {
        State& s = Of(cookie);
        std::unique_lock lock(s.mutex);
        if (size == 0 || s.position >= off64_t(s.content.size())) return 0;
        if (std::size_t(s.position) == s.holdAt) {
            s.held = true;
            s.changed.notify_all();
            s.changed.wait(lock, [&] { return std::size_t(s.position) != s.holdAt; });
            s.held = false;
        }
        if (std::size_t(s.position) == s.failAt) {
            errno = EIO;
            return -1;
        }
        buffer[0] = s.content[std::size_t(s.position)];
        ++s.position;
        return 1;
    }

    static int Seek(void* cookie, off64_t* offset, int whence) {
        State& s = Of(cookie);
        std::lock_guard lock(s.mutex);
        if (s.refuseSeek) {
            errno = ESPIPE;
            return -1;
        }
        const off64_t base = whence == SEEK_SET   ? 0
                             : whence == SEEK_CUR ? s.position
                                                  : off64_t(s.content.size());
        s.position = base + *offset;
        *offset = s.position;
        return 0;
    }

    static int Close(void* cookie) {
        auto* owner = static_cast<std::shared_ptr<State>*>(cookie);
        int result = 0;
        {
            State& s = **owner;
            std::lock_guard lock(s.mutex);
            s.closed = true;
            if (s.closeError != 0) {
                errno = s.closeError;
                result = -1;
            }
            s.changed.notify_all();
        }
        delete owner;
        return result;
    }

    std::shared_ptr<State> state_;
};

}  // namespace vellor::testing
