#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/settings_backend.h"

namespace vellor {

// A settings key held in memory, for tests: the key can be made missing or impossible to create,
// single values can be made to fail their write, and every query and write is logged in order.
class MemorySettingsBackend final : public SettingsBackend {
  public:
    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> bytes;
        bool operator==(const Value&) const = default;
    };
    struct Write {
        std::string name;
        uint32_t type = 0;
        std::vector<uint8_t> bytes;
        bool stored = false;  // false when the write was made to fail
    };

    bool OpenExistingKey() override;
    bool CreateOrOpenKey() override;
    std::optional<std::size_t> QueryValue(std::string_view name, std::span<uint8_t> room) override;
    bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) override;
    bool CloseKey() override;

    // Test set-up: store a value directly (creates the key).
    void StoreDword(const std::string& name, uint32_t value);
    void StoreString(const std::string& name, std::string_view utf8);  // UTF-16LE plus zero
    void StoreBytes(const std::string& name, uint32_t type, std::vector<uint8_t> bytes);

    // Test inspection: the stored value as a DWORD when it holds exactly 4 bytes.
    std::optional<uint32_t> Dword(const std::string& name) const;

    bool keyExists = false;
    bool failCreate = false;           // CreateOrOpenKey fails (when the key is missing too)
    std::set<std::string> failWrites;  // names whose SetValue fails
    std::map<std::string, Value> values;
    std::vector<std::string> queries;  // every QueryValue, in order
    std::vector<Write> writes;         // every SetValue, in order
    int opens = 0;                     // successful OpenExistingKey or CreateOrOpenKey calls
    int closes = 0;

  private:
    bool keyOpen_ = false;
};

}  // namespace vellor
