#include "serial/port_waiter.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
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

PortWaiter::PortWaiter(std::string portName, PortConfig config, DeviceOpener opener,
                       WaitTiming timing)
    : portName_(std::move(portName)),
      config_(config),
      opener_(std::move(opener)),
      timing_(timing),
      stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PortWaiter::~PortWaiter() {
    Stop();
    if (stopFd_ >= 0) ::close(stopFd_);
}

void PortWaiter::Start(Reopened reopened) {
    thread_ = std::thread([this, reopened = std::move(reopened)] { Run(reopened); });
}

void PortWaiter::Stop() {
    stopping_ = true;
    const uint64_t one = 1;
    if (stopFd_ >= 0 && ::write(stopFd_, &one, sizeof one) < 0) {
        // an eventfd write fails only when the counter would overflow: it is already awake
    }
    if (thread_.joinable()) thread_.join();
}

void PortWaiter::Run(const Reopened& reopened) {
    const std::optional<std::string> path =
        IsNetworkPortName(portName_) || IsLoopbackName(portName_)
            ? std::nullopt
            : DevicePathForPortName(portName_);
    // The first try comes after a pause: the device that just went away may still be half there.
    pollfd stop{stopFd_, POLLIN, 0};
    if (::poll(&stop, 1, path ? timing_.settleMs : timing_.networkRetryMs) != 0 || stopping_)
        return;
    int settleLeft = timing_.settleTries;
    while (true) {
        // Watch before trying, so a change between the try and the wait is not missed.
        const FolderWatch watch(path);
        if (auto device = TryOpen()) {
            if (stopping_) {
                device->Close();
                return;
            }
            reopened(std::move(device));
            return;
        }
        int timeout = timing_.networkRetryMs;
        if (path) timeout = settleLeft > 0 ? (--settleLeft, timing_.settleMs) : timing_.idleMs;
        std::array<pollfd, 2> waits{{{stopFd_, POLLIN, 0}, {watch.Fd(), POLLIN, 0}}};
        const int ready = ::poll(waits.data(), watch.Fd() >= 0 ? 2 : 1, timeout);
        if (stopping_ || (ready > 0 && waits[0].revents != 0)) return;
        if (ready > 0 && (waits[1].revents & POLLIN) != 0) {
            watch.Drain();
            ++wakes_;
            settleLeft = timing_.settleTries;
        }
    }
}

std::shared_ptr<SerialDevice> PortWaiter::TryOpen() {
    int error = 0;
    std::shared_ptr<SerialDevice> device = opener_(portName_, error);
    if (device && device->Configure(config_) != 0) {
        device->Close();
        return nullptr;
    }
    return device;
}

}  // namespace vellor
