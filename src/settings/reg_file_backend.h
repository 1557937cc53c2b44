#pragma once

#include <filesystem>

#include "settings/reg_document.h"
#include "settings/settings_backend.h"

namespace vellor {

// The settings key kept in a per-user text file in the format of registry export files. Loading
// reads the file once and never creates it, its folder or its lock file. A save reads the current
// file under an exclusive lock, changes only the values written, and replaces the file atomically,
// so two programs saving different groups at once never lose each other's values.
class RegFileBackend final : public SettingsBackend {
  public:
    explicit RegFileBackend(std::filesystem::path file);
    ~RegFileBackend() override;
    RegFileBackend(const RegFileBackend&) = delete;
    RegFileBackend& operator=(const RegFileBackend&) = delete;

    // ${XDG_CONFIG_HOME:-$HOME/.config}/vellor/settings.reg
    static std::filesystem::path DefaultPath();

    // Files larger than this are not settings files: they count as missing.
    static constexpr std::size_t kMaxFileBytes = 1 << 20;

    bool OpenExistingKey() override;
    bool CreateOrOpenKey() override;
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override;
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override;
    bool CloseKey() override;

    const std::filesystem::path& file() const { return file_; }

  private:
    enum class Mode { Closed, Reading, Writing };

    void Unlock();

    std::filesystem::path file_;
    RegDocument document_;
    Mode mode_ = Mode::Closed;
    int lockFd_ = -1;
    bool oversized_ = false;    // the file on disk was too large to be read
    unsigned fileMode_ = 0600;  // permissions the replaced file keeps
};

}  // namespace vellor
