#include "settings/reg_file_backend.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace vellor {

namespace {

namespace fs = std::filesystem;

// What reading the settings file found.
struct FileText {
    std::string text;
    bool oversized = false;
    mode_t mode = 0600;
};

int OpenNoIntr(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads at most the cap. Anything but a regular file (a FIFO would block, a directory cannot be
// read) counts as no file, and so does a file that cannot be opened or read.
FileText ReadSettingsFile(const fs::path& file) {
    FileText result;
    const int fd = OpenNoIntr(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return result;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return result;
    }
    result.mode = info.st_mode & 07777;
    std::string text(RegFileBackend::kMaxFileBytes + 1, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t n = ::read(fd, text.data() + filled, text.size() - filled);
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
        result.oversized = true;
        return result;
    }
    text.resize(filled);
    result.text = std::move(text);
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

// Writes the text to a new file in the same folder, makes it durable, then puts it in place in
// one step: a reader sees either the old file or the new one, never a part of either.
bool ReplaceFile(const fs::path& file, std::string_view text, mode_t mode) {
    std::string temp = file.string() + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return SyncFolder(file.parent_path());
}

// Keeps a file too large to be settings instead of writing over it.
bool SetAsideOversized(const fs::path& file) {
    const fs::path aside = file.string() + ".too-large";
    return ::rename(file.c_str(), aside.c_str()) == 0;
}

}  // namespace

RegFileBackend::RegFileBackend(fs::path file) : file_(std::move(file)) {}

RegFileBackend::~RegFileBackend() {
    Unlock();
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
    Unlock();
    document_ = RegDocument::Parse(ReadSettingsFile(file_).text);
    mode_ = document_.HasKey() ? Mode::Reading : Mode::Closed;
    return mode_ == Mode::Reading;
}

bool RegFileBackend::CreateOrOpenKey() {
    Unlock();
    mode_ = Mode::Closed;
    if (!MakeFolders(file_.parent_path())) return false;
    const fs::path lockPath = file_.string() + ".lock";
    lockFd_ = OpenNoIntr(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (lockFd_ < 0) return false;
    int locked;
    do {
        locked = ::flock(lockFd_, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        Unlock();
        return false;
    }
    // Read only once the lock is held, so a save by another program just before is not lost.
    FileText current = ReadSettingsFile(file_);
    oversized_ = current.oversized;
    fileMode_ = current.mode;
    document_ = RegDocument::Parse(current.text);
    document_.EnsureKey();
    mode_ = Mode::Writing;
    return true;
}

std::optional<std::size_t> RegFileBackend::QueryValue(std::string_view name,
                                                      std::span<uint8_t> room) {
    if (mode_ == Mode::Closed) return std::nullopt;
    return document_.Query(name, room);
}

bool RegFileBackend::SetValue(std::string_view name, uint32_t type,
                              std::span<const uint8_t> bytes) {
    if (mode_ != Mode::Writing) return false;
    return document_.Set(name, type, bytes);
}

bool RegFileBackend::CloseKey() {
    const Mode mode = mode_;
    mode_ = Mode::Closed;
    bool saved = true;
    if (mode == Mode::Writing) {
        // Never write over a file that could not be read whole and could not be kept aside.
        saved = (!oversized_ || SetAsideOversized(file_)) &&
                ReplaceFile(file_, document_.Serialize(), fileMode_);
    }
    Unlock();
    document_ = RegDocument();
    return mode != Mode::Closed && saved;
}

void RegFileBackend::Unlock() {
    if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the lock
    lockFd_ = -1;
}

}  // namespace vellor
