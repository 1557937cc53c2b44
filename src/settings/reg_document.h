#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellor {

// One registry value: its type and its bytes as the registry holds them.
struct RegValue {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const RegValue&) const = default;
};

// The text of a registry export file, as far as it concerns the program's key. Every line is kept
// as it was read, so other keys, unknown values, comments and even lines that cannot be parsed
// survive a save; only the values that are set are rewritten. Parsing never fails: what cannot be
// understood simply does not count as a value.
class RegDocument {
  public:
    static constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
    static constexpr std::string_view kKeyPath = "HKEY_CURRENT_USER\\Software\\VellorEV";

    // Accepts LF or CRLF line ends, an optional UTF-8 byte-order mark and "\" line continuations.
    static RegDocument Parse(std::string_view text);

    // The header line, then every line in order, each ending in LF.
    std::string Serialize() const;

    // Whether the file has a section for the program's key.
    bool HasKey() const;

    // Adds the key's section at the end when there is none.
    void EnsureKey();

    // The value of the key with this name (compared without regard to ASCII case, as the registry
    // does); when the name occurs more than once the last readable one counts.
    const RegValue* Find(std::string_view name) const;

    // Copies the value's bytes into `room`; fails when missing or longer than the room.
    std::optional<std::size_t> Query(std::string_view name, std::span<uint8_t> room) const;

    // Adds or replaces the value in the key (creating the key's section if needed). An existing
    // value keeps its place and its duplicates are dropped; a new one goes after the key's last
    // value. False when the name cannot be written in a line.
    bool Set(std::string_view name, uint32_t type, std::span<const uint8_t> bytes);

    // Every readable value of the key, by lower-case name.
    std::map<std::string, RegValue> Values() const;

  private:
    // One logical line: a single physical line, or several joined by trailing "\".
    struct Line {
        std::vector<std::string> physical;
        bool inKey = false;               // inside a section of the program's key
        bool sectionHeader = false;       // a "[...]" line
        std::optional<std::string> name;  // value name, for value lines of the key
        std::optional<RegValue> value;    // set when the value's data could be read too
    };

    static Line OneLine(std::string text, bool inKey);
    static bool IsOpen(const Line& line);
    void CloseLastLine();

    std::vector<Line> lines_;
};

}  // namespace vellor
