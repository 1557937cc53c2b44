#include "transfer/send_job.h"

#include <cerrno>
#include <system_error>
#include <utility>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "base/control_bytes.h"
#include "base/system_reason.h"
#include "screen/screen.h"
#include "serial/port_connection.h"

namespace vellor {
SendJob::SendJob(AppState& state, Host& host, std::FILE* file, std::shared_ptr<SendJob> previous)
    : state_(state), host_(host), file_(file), previous_(std::move(previous)) {}

SendJob::~SendJob() {
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // cannot wait for itself; its owners always join first
        } else {
            Cancel();
            thread_.join();
        }
    }
    if (file_) std::fclose(file_);  // the thread never ran: nobody else will close it
}

void SendJob::Start(const ThreadLauncher& launch) {
    thread_ = launch([this] { Run(); });
}

void SendJob::Stop() {
    active_ = false;
}

void SendJob::Cancel() {
    std::shared_ptr<SendJob> previous;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        previous = previous_;
    }
    active_ = false;
    wake_.notify_all();
    if (previous) previous->Cancel();
}

void SendJob::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void SendJob::Run() {
    AwaitPreviousRun();
    int64_t remaining = MeasureSize();
    while (remaining > 0 && KeepSending()) {
        uint8_t byte = 0;
        errno = 0;
        if (std::fread(&byte, 1, 1, file_) != 1) {
            // A file shortened meanwhile ends early without a system error of its own.
            const std::string reason =
                std::ferror(file_) ? SystemReason(errno) : "Unexpected end of file";
            ShowAndWait(MessageOwner::View, "ReadFile Failed", "Vellor Error", reason);
            break;
        }
        --remaining;
        SendByte(byte);
    }
    CloseFile();
    // Ended by itself (file sent, read failed, size unknown): the UI thread clears the flag and
    // the mark after the command's own check, since posted tasks run after the command returned.
    if (KeepSending()) host_.Post([self = shared_from_this()] { self->Complete(); });
}

void SendJob::AwaitPreviousRun() {
    std::shared_ptr<SendJob> previous;
    {
        std::lock_guard lock(mutex_);
        previous = previous_;
    }
    if (!previous) return;
    previous->Join();
    std::lock_guard lock(mutex_);
    previous_.reset();
}

int64_t SendJob::MeasureSize() {
    // A stream that cannot seek (a pipe, a terminal) has no size: nothing is sent.
    if (fseeko(file_, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(file_);
    if (end < 0 || fseeko(file_, 0, SEEK_SET) != 0) return 0;
    const off_t start = ftello(file_);
    if (start < 0) return 0;
    return int64_t(end) - int64_t(start);
}

bool SendJob::KeepSending() const {
    return active_.load() && state_.sending.load() != 0;
}

void SendJob::SendByte(uint8_t byte) {
    const bool addLf = byte == kCR && state_.txCrLf.load() != 0;
    // A closed port drops the bytes; the echo still shows them.
    WritePortByte(state_, byte);
    if (addLf) WritePortByte(state_, kLF);
    if (state_.echo.load() != 0) {
        PutByte(state_, byte);
        if (addLf) PutByte(state_, kLF);
    }
}

void SendJob::CloseFile() {
    std::FILE* file = std::exchange(file_, nullptr);
    if (std::fclose(file) != 0) {
        ShowAndWait(MessageOwner::MainWindow, "SendFileClose Failed", kErrorCaption,
                    SystemReason(errno));
    }
}

void SendJob::ShowAndWait(MessageOwner owner, const char* text, const char* caption,
                          std::string detail) {
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        dismissed_ = false;
    }
    host_.Post([self = shared_from_this(), owner, text, caption, detail = std::move(detail)] {
        if (self->Cancelled()) return;  // the window is going: nobody is left to answer
        self->host_.ShowMessage(owner, text, caption, detail);
        self->Dismissed();
    });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return dismissed_ || cancelled_; });
}

void SendJob::Dismissed() {
    {
        std::lock_guard lock(mutex_);
        dismissed_ = true;
    }
    wake_.notify_all();
}

bool SendJob::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void SendJob::Complete() {
    if (Cancelled() || !active_.exchange(false)) return;
    // A stop, or a newer run, already owns the flag and the mark.
    if (state_.sendFile.get() != this || state_.sending.load() == 0) return;
    state_.sending = 0;
    host_.SetMenuCheck(kCmdSend, false);
}

}  // namespace vellor
