#include "settings/memory_backend.h"

#include <algorithm>

#include "settings/text_encoding.h"

namespace vellor {

bool MemorySettingsBackend::OpenExistingKey() {
    if (!keyExists) return false;
    keyOpen_ = true;
    ++opens;
    return true;
}

bool MemorySettingsBackend::CreateOrOpenKey() {
    if (!keyExists && failCreate) return false;
    keyExists = true;
    keyOpen_ = true;
    ++opens;
    return true;
}

std::optional<std::size_t> MemorySettingsBackend::QueryValue(std::string_view name,
                                                             std::span<uint8_t> room) {
    queries.emplace_back(name);
    if (!keyOpen_) return std::nullopt;
    const auto it = values.find(std::string(name));
    if (it == values.end() || it->second.bytes.size() > room.size()) return std::nullopt;
    std::copy(it->second.bytes.begin(), it->second.bytes.end(), room.begin());
    return it->second.bytes.size();
}

bool MemorySettingsBackend::SetValue(std::string_view name, uint32_t type,
                                     std::span<const uint8_t> bytes) {
    const bool stored = keyOpen_ && !failWrites.contains(std::string(name));
    writes.push_back(Write{std::string(name), type, {bytes.begin(), bytes.end()}, stored});
    if (stored) values[std::string(name)] = Value{type, {bytes.begin(), bytes.end()}};
    return stored;
}

bool MemorySettingsBackend::CloseKey() {
    if (!keyOpen_) return false;
    keyOpen_ = false;
    ++closes;
    return true;
}

void MemorySettingsBackend::StoreDword(const std::string& name, uint32_t value) {
    StoreBytes(name, kRegDword,
               {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

void MemorySettingsBackend::StoreString(const std::string& name, std::string_view utf8) {
    StoreBytes(name, kRegSz, RegSzBytes(Utf8ToUtf16(utf8).value_or(u"")));
}

void MemorySettingsBackend::StoreBytes(const std::string& name, uint32_t type,
                                       std::vector<uint8_t> bytes) {
    keyExists = true;
    values[name] = Value{type, std::move(bytes)};
}

std::optional<uint32_t> MemorySettingsBackend::Dword(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end() || it->second.bytes.size() != 4) return std::nullopt;
    const auto& b = it->second.bytes;
    return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

}  // namespace vellor
