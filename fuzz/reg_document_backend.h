#pragma once

#include "settings/reg_document.h"
#include "settings/settings_backend.h"

namespace vellor {

// The settings key over a document held in memory: the file backend's reading and writing rules
// without any file, for checking parsed text directly.
class RegDocumentBackend final : public SettingsBackend {
  public:
    explicit RegDocumentBackend(RegDocument document) : document_(std::move(document)) {}

    bool OpenExistingKey() override { return document_.HasKey(); }
    bool CreateOrOpenKey() override {
        document_.EnsureKey();
        return true;
    }
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override {
        return document_.Query(name, room);
    }
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override {
        return document_.Set(name, type, bytes);
    }
    bool CloseKey() override { return true; }

    const RegDocument& document() const { return document_; }

  private:
    RegDocument document_;
};

}  // namespace vellor
