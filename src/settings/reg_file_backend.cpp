#include "settings/reg_file_backend.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>

#include "settings/file_text_form.h"

namespace vellor {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What reading the settings file found.
struct FileText {
    enum class Status { Missing, Read, Unreadable, Oversized };
    Status status = Status::Missing;
    std::string text;  // UTF-8, when read
    FileTextForm form;
    mode_t mode = 0600;
};

int OpenNoIntr(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The file a path names once symbolic links are followed; a link whose target does not exist yet
// names that target.
fs::path FollowLinks(fs::path path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path target = fs::read_symlink(path, error);
        if (error) return path;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return path;
}

// Reads at most the cap. Only a missing file counts as no file; anything that exists but cannot
// be read whole (no permission, an I/O error, a folder, a FIFO, text not in the encoding it
// claims) is unreadable, and a save must leave it alone.
FileText ReadSettingsFile(const fs::path& file) {
    FileText result;
    const int fd = OpenNoIntr(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) result.status = FileText::Status::Unreadable;
        return result;
    }
    result.status = FileText::Status::Unreadable;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return result;
    }
    result.mode = info.st_mode & 07777;
    std::string bytes(RegFileBackend::kMaxFileBytes + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return result;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (filled > RegFileBackend::kMaxFileBytes) {
        result.status = FileText::Status::Oversized;
        return result;
    }
    bytes.resize(filled);
    auto text = DecodeFileText(bytes, result.form);
    if (!text) return result;
    result.text = std::move(*text);
    result.status = FileText::Status::Read;
    return result;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Creates each missing folder of the path, private to the user as the XDG rules ask.
bool MakeFolders(const fs::path& folder) {
    if (folder.empty()) return true;
    std::error_code error;
    if (fs::is_directory(folder, error)) return true;
    if (!MakeFolders(folder.parent_path())) return false;
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST)
        return fs::is_directory(folder, error);
    return false;
}

bool SyncFolder(const fs::path& folder) {
    const int fd =
        OpenNoIntr(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Writes the bytes to a new file in the same folder, makes it durable, then puts it in place in
// one step: a reader sees either the old file or the new one, never a part of either.
bool ReplaceFile(const fs::path& file, std::string_view bytes, mode_t mode) {
    std::string temp = file.string() + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return SyncFolder(file.parent_path());
}

// Moves a file too large to be settings aside instead of writing over it, under a name no other
// file has: an earlier one set aside is kept too.
bool SetAsideOversized(const fs::path& file) {
    for (int n = 1; n < 1000; ++n) {
        fs::path aside = file.string() + ".too-large";
        if (n > 1) aside += "-" + std::to_string(n);
        if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno == EEXIST) continue;
        // A file system without the no-replace rename: a new link never replaces either.
        if (errno != EINVAL && errno != ENOSYS) return false;
        if (::link(file.c_str(), aside.c_str()) == 0) return ::unlink(file.c_str()) == 0;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Takes the exclusive lock, trying until `giveUp` says enough.
bool TakeLock(int fd, const std::function<bool()>& giveUp) {
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (giveUp()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

RegFileBackend::RegFileBackend(fs::path file) : file_(std::move(file)) {}

RegFileBackend::~RegFileBackend() {
    {
        std::lock_guard lock(deferredMutex_);
        exiting_ = true;
        exitDeadline_ = Clock::now() + kExitPatience;
    }
    deferredChanged_.notify_all();
    if (saver_.joinable()) saver_.join();
}

fs::path RegFileBackend::DefaultPath() {
    fs::path base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;  // relative values are to be ignored
    } else {
        const char* home = std::getenv("HOME");
        if (home != nullptr && home[0] != '\0') {
            base = home;
        } else if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
            base = entry->pw_dir;
        }
        base /= ".config";
    }
    return base / "vellor" / "settings.reg";
}

bool RegFileBackend::OpenExistingKey() {
    const FileText current = ReadSettingsFile(FollowLinks(file_));
    document_ = RegDocument::Parse(current.text);
    mode_ = document_.HasKey() ? Mode::Reading : Mode::Closed;
    return mode_ == Mode::Reading;
}

bool RegFileBackend::CreateOrOpenKey() {
    batch_.clear();
    mode_ = Mode::Writing;
    return true;
}

std::optional<std::size_t> RegFileBackend::QueryValue(std::string_view name,
                                                      std::span<uint8_t> room) {
    if (mode_ != Mode::Reading) return std::nullopt;
    return document_.Query(name, room);
}

bool RegFileBackend::SetValue(std::string_view name, uint32_t type,
                              std::span<const uint8_t> bytes) {
    if (mode_ != Mode::Writing) return false;
    if (name.find('\n') != std::string_view::npos) return false;  // cannot be one line
    batch_.push_back({std::string(name), type, {bytes.begin(), bytes.end()}});
    return true;
}

bool RegFileBackend::CloseKey() {
    const Mode mode = std::exchange(mode_, Mode::Closed);
    document_ = RegDocument();
    if (mode != Mode::Writing) return mode == Mode::Reading;
    Batch batch = std::move(batch_);
    batch_.clear();
    {
        std::lock_guard lock(deferredMutex_);
        if (!deferred_.empty() || saverBusy_) {
            // An earlier save still waits for the lock: this one must not overtake it.
            deferred_.push_back(std::move(batch));
            deferredChanged_.notify_all();
            return true;
        }
    }
    const auto deadline = Clock::now() + kLockPatience;
    const SaveResult result = Save(batch, [&] { return Clock::now() >= deadline; });
    if (result != SaveResult::LockBusy) return result == SaveResult::Saved;
    Defer(std::move(batch));
    return true;
}

void RegFileBackend::WaitForSaves() {
    std::unique_lock lock(deferredMutex_);
    deferredChanged_.wait(lock, [this] { return deferred_.empty() && !saverBusy_; });
}

RegFileBackend::SaveResult RegFileBackend::Save(const Batch& batch,
                                                const std::function<bool()>& giveUp) {
    if (!MakeFolders(file_.parent_path())) return SaveResult::Failed;
    const fs::path lockPath = file_.string() + ".lock";
    const int lockFd = OpenNoIntr(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (lockFd < 0) return SaveResult::Failed;
    if (!TakeLock(lockFd, giveUp)) {
        const bool busy = errno == EWOULDBLOCK || errno == EINTR || errno == 0;
        ::close(lockFd);  // closing releases the lock
        return busy ? SaveResult::LockBusy : SaveResult::Failed;
    }

    // Read only once the lock is held, so a save by another program just before is not lost.
    const fs::path target = FollowLinks(file_);
    const FileText current = ReadSettingsFile(target);
    bool saved = false;
    if (current.status != FileText::Status::Unreadable) {
        RegDocument document = RegDocument::Parse(current.text);
        document.EnsureKey();
        for (const Value& value : batch)
            document.Set(value.name, value.type, value.bytes);
        // Never write over a file that could not be read whole and could not be kept aside.
        saved =
            (current.status != FileText::Status::Oversized || SetAsideOversized(target)) &&
            ReplaceFile(target, EncodeFileText(document.Serialize(), current.form), current.mode);
    }
    ::close(lockFd);
    return saved ? SaveResult::Saved : SaveResult::Failed;
}

void RegFileBackend::Defer(Batch batch) {
    std::lock_guard lock(deferredMutex_);
    deferred_.push_back(std::move(batch));
    if (!saver_.joinable()) saver_ = std::thread([this] { RunDeferred(); });
    deferredChanged_.notify_all();
}

void RegFileBackend::RunDeferred() {
    std::unique_lock lock(deferredMutex_);
    for (;;) {
        deferredChanged_.wait(lock, [this] { return !deferred_.empty() || exiting_; });
        if (deferred_.empty()) return;  // exiting with nothing left to save
        Batch batch = std::move(deferred_.front());
        deferred_.pop_front();
        saverBusy_ = true;
        lock.unlock();
        const auto giveUp = [this] {
            std::lock_guard guard(deferredMutex_);
            return exiting_ && Clock::now() >= exitDeadline_;
        };
        const SaveResult result = Save(batch, giveUp);
        lock.lock();
        saverBusy_ = false;
        if (result == SaveResult::LockBusy) {
            // The program is ending and the lock never came free.
            std::fprintf(stderr, "vellor: settings not saved: %s stayed locked\n", file_.c_str());
            deferred_.clear();
        }
        deferredChanged_.notify_all();
    }
}

}  // namespace vellor
