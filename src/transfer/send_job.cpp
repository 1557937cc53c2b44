#include "transfer/send_job.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/host.h"
#include "base/system_reason.h"

namespace vellor {
namespace {

// Big enough that a fast line is fed by few writes, small enough that the echo keeps up.
constexpr std::size_t kReadBlock = 64 * 1024;

std::string WriteFailure(int error, uint64_t sent, uint64_t total) {
    return SystemReason(error) + ". " + std::to_string(sent) + " of " + std::to_string(total) +
           " bytes were sent.";
}

}  // namespace

SendJob::SendJob(AppState& state, Host& host, std::FILE* file, const SendPacing& pacing,
                 std::shared_ptr<SendJob> previous)
    : state_(state),
      host_(host),
      file_(file),
      paste_(false),
      pacing_(pacing),
      previous_(std::move(previous)) {}

SendJob::SendJob(AppState& state, Host& host, std::vector<uint8_t> typed, const SendPacing& pacing,
                 std::shared_ptr<SendJob> previous)
    : state_(state),
      host_(host),
      typed_(std::move(typed)),
      paste_(true),
      pacing_(pacing),
      previous_(std::move(previous)) {}

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
    {
        std::lock_guard lock(mutex_);  // a rest about to wait must not miss the stop
        active_ = false;
    }
    wake_.notify_all();
}

void SendJob::Cancel() {
    std::shared_ptr<SendJob> previous;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        active_ = false;
        previous = previous_;
    }
    wake_.notify_all();
    if (previous) previous->Cancel();
}

void SendJob::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

SendProgress SendJob::Progress() const {
    SendProgress progress;
    progress.sent = counters_.done.load();
    progress.total = counters_.total.load();
    progress.heldOff = counters_.heldOff.load();
    progress.paste = paste_;
    const int64_t started = counters_.startedNs.load();
    const int64_t now = SendClock::now().time_since_epoch() / std::chrono::nanoseconds(1);
    if (started != 0 && now > started)
        progress.bytesPerSecond = double(progress.sent) * 1e9 / double(now - started);
    return progress;
}

void SendJob::Run() {
    AwaitPreviousRun();
    int64_t remaining = paste_ ? int64_t(typed_.size()) : MeasureSize();
    counters_.total = uint64_t(std::max<int64_t>(remaining, 0));
    counters_.startedNs = SendClock::now().time_since_epoch() / std::chrono::nanoseconds(1);
    SendWriter writer(state_, pacing_, paste_, *this, counters_);
    std::vector<uint8_t> block(std::size_t(std::min<int64_t>(remaining, kReadBlock)));
    while (remaining > 0 && KeepSending()) {
        std::string readFailure;
        const std::size_t got =
            ReadBlock(std::span(block).first(std::size_t(std::min<int64_t>(remaining, kReadBlock))),
                      readFailure);
        remaining -= int64_t(got);
        // What was read before a read failed still goes out, as it would have byte by byte.
        const SendWriter::Outcome outcome = writer.Send(std::span(block).first(got));
        if (outcome == SendWriter::Outcome::Failed) {
            ShowAndWait(MessageOwner::MainWindow, "WritePort Failed", kErrorCaption,
                        WriteFailure(writer.Error(), counters_.done, counters_.total));
            break;
        }
        if (outcome == SendWriter::Outcome::Stopped) break;
        if (!readFailure.empty()) {
            ShowAndWait(MessageOwner::View, "ReadFile Failed", "Vellor Error", readFailure);
            break;
        }
    }
    CloseFile();
    // Ended by itself (file sent, read or write failed, size unknown): the UI thread clears the
    // flag and the mark after the command's own check, since posted tasks run after the command
    // returned.
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

std::size_t SendJob::ReadBlock(std::span<uint8_t> block, std::string& failure) {
    if (paste_) {
        const std::size_t n = std::min(block.size(), typed_.size() - typedTaken_);
        std::memcpy(block.data(), typed_.data() + typedTaken_, n);
        typedTaken_ += n;
        return n;
    }
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, block.size(), file_);
    // A file shortened meanwhile ends early without a system error of its own.
    if (got < block.size())
        failure = std::ferror(file_) ? SystemReason(errno) : "Unexpected end of file";
    return got;
}

bool SendJob::KeepSending() const {
    return active_.load() && state_.sending.load() != 0;
}

bool SendJob::RestUntil(SendClock::time_point due) {
    std::unique_lock lock(mutex_);
    // In slices, so a stop made by clearing `sending` alone is seen within one.
    while (KeepSending()) {
        const auto slice = std::min(due, SendClock::now() + std::chrono::milliseconds(kSendWaitMs));
        if (wake_.wait_until(lock, slice, [this] { return !KeepSending(); })) return false;
        if (slice == due) return true;
    }
    return false;
}

void SendJob::CloseFile() {
    std::FILE* file = std::exchange(file_, nullptr);
    if (file && std::fclose(file) != 0) {
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
