#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "settings/reg_document.h"
#include "settings/settings_backend.h"

namespace vellor::testing {

// The settings key in memory: missing until written to, refusing chosen values; writes logged.
class FakeSettings : public SettingsBackend {
  public:
    bool OpenExistingKey() override { return isOpen = keyExists || !values.empty(); }
    bool CreateOrOpenKey() override { return isOpen = keyExists = true; }
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override {
        const auto it = values.find(std::string(name));
        if (!isOpen || it == values.end() || it->second.bytes.size() > room.size()) return {};
        return std::ranges::copy(it->second.bytes, room.begin()).out - room.begin();
    }
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override {
        writes.emplace_back(name);
        if (!isOpen || failWrites.contains(writes.back())) return false;
        values[writes.back()] = RegValue{type, {bytes.begin(), bytes.end()}};
        return true;
    }
    bool CloseKey() override { return std::exchange(isOpen, false); }

    void Put(const std::string& name, uint32_t type, std::span<const uint8_t> bytes) {
        values[name] = RegValue{type, {bytes.begin(), bytes.end()}};
    }
    std::optional<uint32_t> Dword(const std::string& name) const {
        const auto it = values.find(name);
        if (it == values.end() || it->second.bytes.size() != 4) return std::nullopt;
        return LoadLe32(std::span<const uint8_t, 4>(it->second.bytes.data(), 4));
    }

    bool keyExists = false, isOpen = false;
    std::set<std::string> failWrites;
    std::map<std::string, RegValue> values;
    std::vector<std::string> writes;
};

}  // namespace vellor::testing
