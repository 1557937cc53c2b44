#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vellor {

// Where the settings live: one key of named, typed values, opened for one group's load or save.
// Values are raw bytes exactly as the registry holds them; a REG_SZ value is UTF-16LE with its
// terminating zero.
class SettingsBackend {
  public:
    enum ValueType : uint32_t { kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

    virtual ~SettingsBackend() = default;

    // Opens the key for reading. Fails when it does not exist; never creates anything.
    virtual bool OpenExistingKey() = 0;

    // Opens the key for writing, creating it first when it does not exist.
    virtual bool CreateOrOpenKey() = 0;

    // Copies the stored bytes of `name` into `room` and returns their count. Fails when the value
    // does not exist or holds more bytes than `room`. The stored type is neither given nor checked.
    virtual std::optional<std::size_t> QueryValue(std::string_view name,
                                                  std::span<uint8_t> room) = 0;

    // Adds the value or replaces it, type included. False when this one value was not written.
    virtual bool SetValue(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) = 0;

    // Releases the key; after a save this is where the values become durable. False when they
    // could not be stored.
    virtual bool CloseKey() = 0;
};

}  // namespace vellor
