#include "serial/port_waiter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "serial/device_names.h"
#include "serial/serial_device.h"

namespace vellor {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinkHops = 8;
constexpr uint32_t kFolderChanges =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;

// The folders whose changes may bring `path` back: the nearest existing folder above the path
// and above every link target on its way (a by-id link in /dev/serial/by-id, its node in /dev).
std::vector<std::string> FoldersToWatch(const std::string& path) {
    std::vector<std::string> folders;
    fs::path current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        fs::path folder = current.parent_path();
        while (!folder.empty() && !fs::is_directory(folder, error))
            folder = folder.parent_path();
        const std::string name = folder.empty() ? "." : folder.string();
        if (std::find(folders.begin(), folders.end(), name) == folders.end())
            folders.push_back(name);
        if (!fs::is_symlink(current, error)) break;
        const fs::path target = fs::read_symlink(current, error);
        if (error) break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return folders;
}

// An inotify descriptor watching the folders, closed on scope exit; -1 when there is nothing to
// watch (then only the timeout wakes).
class FolderWatch {
  public:
    explicit FolderWatch(const std::optional<std::string>& path) {
        if (!path) return;
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) return;
        for (const std::string& folder : FoldersToWatch(*path))
            ::inotify_add_watch(fd_, folder.c_str(), kFolderChanges | IN_ONLYDIR);
    }
    ~FolderWatch() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    int Fd() const { return fd_; }
    void Drain() const {
        std::array<char, 4096> events;
        while (::read(fd_, events.data(), events.size()) > 0) {
        }
    }

  private:
    int fd_ = -1;
};

}  // namespace

// What the waiting thread uses; the thread holds it, so it outlives a waiter that let go.
struct PortWaiter::Shared {
    std::mutex mutex;
    bool stopping = false;  // guarded by mutex; Reopened is called holding it
    const int stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<uint64_t> wakes{0};
    std::atomic<bool> ended{false};

    ~Shared() {
        if (stopFd >= 0) ::close(stopFd);
    }
    bool Stopping() {
        std::lock_guard lock(mutex);
        return stopping;
    }

    // Waits `timeoutMs` (-1: for ever) for Stop or a change on `watch`; false when stopped.
    bool Sleep(const FolderWatch& watch, int timeoutMs, bool& changed) {
        std::array<pollfd, 2> waits{{{stopFd, POLLIN, 0}, {watch.Fd(), POLLIN, 0}}};
        const int ready = ::poll(waits.data(), watch.Fd() >= 0 ? 2 : 1, timeoutMs);
        if (Stopping()) return false;
        changed = ready > 0 && (waits[1].revents & POLLIN) != 0;
        if (changed) {
            watch.Drain();
            ++wakes;
        }
        return true;
    }
};

namespace {

std::shared_ptr<SerialDevice> TryOpen(const std::string& name, const PortConfig& config,
                                      const DeviceOpener& opener) {
    int error = 0;
    std::shared_ptr<SerialDevice> device = opener(name, error);
    if (device && device->Configure(config) != 0) {
        device->Close();
        return nullptr;
    }
    return device;
}

}  // namespace

PortWaiter::PortWaiter(std::string portName, PortConfig config, DeviceOpener opener,
                       WaitTiming timing)
    : portName_(std::move(portName)),
      config_(config),
      opener_(std::move(opener)),
      timing_(timing),
      shared_(std::make_shared<Shared>()) {}

PortWaiter::~PortWaiter() {
    Stop();
}

uint64_t PortWaiter::Wakes() const {
    return shared_->wakes.load();
}

void PortWaiter::Start(Reopened reopened) {
    thread_ = std::thread([shared = shared_, name = portName_, config = config_, opener = opener_,
                           timing = timing_, reopened = std::move(reopened)] {
        const std::optional<std::string> path = IsNetworkPortName(name) || IsLoopbackName(name)
                                                    ? std::nullopt
                                                    : DevicePathForPortName(name);
        // The first try comes after a pause: the device that just went away may still be half
        // there.
        bool changed = false;
        const FolderWatch none(std::nullopt);
        bool waiting = shared->Sleep(none, path ? timing.settleMs : timing.networkRetryMs, changed);
        int settleLeft = timing.settleTries;
        while (waiting) {
            // Watch before trying, so a change between the try and the wait is not missed.
            const FolderWatch watch(path);
            if (auto device = TryOpen(name, config, opener)) {
                std::lock_guard lock(shared->mutex);
                if (shared->stopping) {
                    device->Close();
                } else {
                    reopened(std::move(device));
                }
                break;
            }
            int timeout = timing.networkRetryMs;
            if (path) timeout = settleLeft > 0 ? (--settleLeft, timing.settleMs) : timing.idleMs;
            waiting = shared->Sleep(watch, timeout, changed);
            if (changed) settleLeft = timing.settleTries;
        }
        shared->ended = true;
    });
}

void PortWaiter::Stop() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    const uint64_t one = 1;
    if (shared_->stopFd >= 0 && ::write(shared_->stopFd, &one, sizeof one) < 0) {
        // an eventfd write fails only when the counter would overflow: it is already awake
    }
    if (!thread_.joinable()) return;
    // A wait ends at once; an open in progress (a network connection being made) may take
    // seconds, and the window must not wait for it: the thread finishes by itself.
    for (int i = 0; i < 50 && !shared_->ended.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (shared_->ended.load()) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

}  // namespace vellor
