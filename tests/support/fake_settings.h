#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/little_endian.h"
#include "settings/reg_document.h"
#include "settings/settings_backend.h"

namespace vellor::testing {

// The settings key in memory: it can be missing, impossible to create or refuse single values;
// every write is logged in order.
class FakeSettings : public SettingsBackend {
  public:
    bool OpenExistingKey() override { return open_ = keyExists; }
    bool CreateOrOpenKey() override { return open_ = keyExists = keyExists || !failCreate; }
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override {
        const auto it = values.find(std::string(name));
        if (!open_ || it == values.end() || it->second.bytes.size() > room.size()) return {};
        return std::ranges::copy(it->second.bytes, room.begin()).out - room.begin();
    }
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override {
        writes.emplace_back(name);
        if (!open_ || failWrites.contains(writes.back())) return false;
        values[writes.back()] = RegValue{type, {bytes.begin(), bytes.end()}};
        return true;
    }
    bool CloseKey() override { return std::exchange(open_, false); }

    void Put(const std::string& name, uint32_t type, std::vector<uint8_t> bytes) {
        keyExists = true;
        values[name] = RegValue{type, std::move(bytes)};
    }
    std::optional<uint32_t> Dword(const std::string& name) const {
        const auto it = values.find(name);
        if (it == values.end() || it->second.bytes.size() != 4) return std::nullopt;
        return LoadLe32(std::span<const uint8_t, 4>(it->second.bytes.data(), 4));
    }

    bool keyExists = false, failCreate = false;
    std::set<std::string> failWrites;
    std::map<std::string, RegValue> values;
    std::vector<std::string> writes;

  private:
    bool open_ = false;
};

}  // namespace vellor::testing
