#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "settings/reg_document.h"
#include "settings/settings_backend.h"

namespace vellor {

// The settings key kept in a per-user text file in the format of registry export files.
//
// Loading reads the file once and never creates it, its folder or its lock file. A save takes an
// exclusive lock, reads the current file, changes only the values written and replaces the file
// atomically, so two programs saving different groups at once never lose each other's values.
// The file is written back in the encoding and with the line ends it had; a symbolic link is
// followed and its target replaced. A file that exists but cannot be read is never replaced (the
// save is skipped); one too large to be settings is moved aside under a name of its own first.
//
// Saves run on the UI thread and never wait there for more than kLockPatience: while another
// program holds the lock, the save is finished by a thread of the backend's own as soon as the
// lock is free, in the order saves were made.
class RegFileBackend final : public SettingsBackend {
  public:
    explicit RegFileBackend(std::filesystem::path file);
    // Waits for saves still queued behind another program's lock, at most kExitPatience.
    ~RegFileBackend() override;
    RegFileBackend(const RegFileBackend&) = delete;
    RegFileBackend& operator=(const RegFileBackend&) = delete;

    // ${XDG_CONFIG_HOME:-$HOME/.config}/vellor/settings.reg
    static std::filesystem::path DefaultPath();

    // Files larger than this are not settings files: they count as missing.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;
    static constexpr std::chrono::milliseconds kLockPatience{200};
    static constexpr std::chrono::seconds kExitPatience{30};

    bool OpenExistingKey() override;
    bool CreateOrOpenKey() override;
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override;
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override;
    bool CloseKey() override;

    // Blocks until every save handed to the background thread has been written (or given up).
    void WaitForSaves();

    const std::filesystem::path& file() const { return file_; }

  private:
    struct Value {
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> bytes;
    };
    using Batch = std::vector<Value>;
    enum class Mode { Closed, Reading, Writing };
    enum class SaveResult { Saved, Failed, LockBusy };

    // Writes the batch under the lock, trying for the lock until `giveUp` says enough.
    SaveResult Save(const Batch& batch, const std::function<bool()>& giveUp);
    void Defer(Batch batch);
    void RunDeferred();

    std::filesystem::path file_;
    RegDocument document_;  // what a load read
    Mode mode_ = Mode::Closed;
    Batch batch_;  // what a save is writing

    std::mutex deferredMutex_;
    std::condition_variable deferredChanged_;
    std::deque<Batch> deferred_;  // saves waiting for the lock, oldest first
    bool saverBusy_ = false;
    bool exiting_ = false;
    std::chrono::steady_clock::time_point exitDeadline_;
    std::thread saver_;
};

}  // namespace vellor
