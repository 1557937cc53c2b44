#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "settings/memory_backend.h"
#include "settings/reg_document.h"
#include "settings/reg_file_backend.h"
#include "settings/text_encoding.h"

namespace vellor::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellor-settings-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteText(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

inline std::vector<uint8_t> Le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

inline std::vector<uint8_t> SzBytes(std::string_view utf8) {
    return RegSzBytes(*Utf8ToUtf16(utf8));
}

// The same store seen through either backend: tests put values in, run a group operation on the
// backend, and look at what ended up stored.
class BackendHarness {
  public:
    virtual ~BackendHarness() = default;
    virtual SettingsBackend& Backend() = 0;
    virtual void Put(const std::string& name, uint32_t type, std::vector<uint8_t> bytes) = 0;
    virtual bool KeyExists() = 0;
    virtual std::optional<RegValue> Stored(const std::string& name) = 0;
    virtual void MakeKeyWithoutValues() = 0;
    void PutDword(const std::string& name, uint32_t v) {
        Put(name, SettingsBackend::kRegDword, Le32(v));
    }
};

class MemoryHarness final : public BackendHarness {
  public:
    SettingsBackend& Backend() override { return backend; }
    void Put(const std::string& name, uint32_t type, std::vector<uint8_t> bytes) override {
        backend.StoreBytes(name, type, std::move(bytes));
    }
    bool KeyExists() override { return backend.keyExists; }
    std::optional<RegValue> Stored(const std::string& name) override {
        const auto it = backend.values.find(name);
        if (it == backend.values.end()) return std::nullopt;
        return RegValue{it->second.type, it->second.bytes};
    }
    void MakeKeyWithoutValues() override { backend.keyExists = true; }
    MemorySettingsBackend backend;
};

class FileHarness final : public BackendHarness {
  public:
    FileHarness() : file(folder.path() / "cfg" / "vellor" / "settings.reg"), backend(file) {}
    SettingsBackend& Backend() override { return backend; }
    void Put(const std::string& name, uint32_t type, std::vector<uint8_t> bytes) override {
        RegDocument document = RegDocument::Parse(ReadText(file));
        document.Set(name, type, bytes);
        WriteText(file, document.Serialize());
    }
    bool KeyExists() override { return RegDocument::Parse(ReadText(file)).HasKey(); }
    std::optional<RegValue> Stored(const std::string& name) override {
        const RegDocument document = RegDocument::Parse(ReadText(file));
        const RegValue* value = document.Find(name);
        if (value == nullptr) return std::nullopt;
        return *value;
    }
    void MakeKeyWithoutValues() override {
        RegDocument document;
        document.EnsureKey();
        WriteText(file, document.Serialize());
    }
    TempFolder folder;
    std::filesystem::path file;
    RegFileBackend backend;
};

}  // namespace vellor::test
