#include "settings/reg_document.h"

#include <algorithm>
#include <cstring>

#include "base/ascii.h"
#include "settings/reg_value_text.h"

namespace vellor {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kOldHeader = "REGEDIT4";

std::string LowerName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    return lower;
}

bool EndsWithContinuation(std::string_view physical) {
    const std::string_view trimmed = TrimBlanks(physical);
    return !trimmed.empty() && trimmed.back() == '\\';
}

// Physical lines split at LF; every CR before the LF belongs to the line end. A final line without
// LF still counts; the empty text after a final LF does not.
std::vector<std::string> SplitPhysicalLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const auto lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos) break;
        text.remove_prefix(lf + 1);
    }
    return lines;
}

// The logical text of continued physical lines: each "\" ending is dropped and the next line
// follows without its leading blanks, as regedit writes long hex lists.
std::string JoinContinued(const std::vector<std::string>& physical) {
    std::string joined;
    for (std::size_t i = 0; i < physical.size(); ++i) {
        std::string_view part = physical[i];
        if (i != 0) part = part.substr(std::min(part.find_first_not_of(kBlanks), part.size()));
        if (i + 1 < physical.size()) {
            part = TrimBlanks(part);
            part.remove_suffix(1);  // the continuation mark
        }
        joined.append(part);
    }
    return joined;
}

bool IsBlank(const std::vector<std::string>& physical) {
    return physical.size() == 1 && TrimBlanks(physical[0]).empty();
}

}  // namespace

RegDocument::Line RegDocument::OneLine(std::string text, bool inKey) {
    Line line;
    line.physical.push_back(std::move(text));
    line.inKey = inKey;
    return line;
}

bool RegDocument::IsOpen(const Line& line) {
    return EndsWithContinuation(line.physical.back());
}

RegDocument RegDocument::Parse(std::string_view text) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    std::vector<std::string> physical = SplitPhysicalLines(text);
    std::size_t next = 0;
    if (!physical.empty() && (TrimBlanks(physical[0]) == kHeader || physical[0] == kOldHeader)) {
        next = 1;
    }

    RegDocument document;
    bool inKey = false;
    while (next < physical.size()) {
        Line line;
        do {
            line.physical.push_back(std::move(physical[next++]));
        } while (next < physical.size() && IsOpen(line));

        const std::string joined = JoinContinued(line.physical);
        const std::string_view logical = TrimBlanks(joined);
        if (logical.size() >= 2 && logical.front() == '[' && logical.back() == ']') {
            line.sectionHeader = true;
            inKey = EqualsIgnoringAsciiCase(logical.substr(1, logical.size() - 2), kKeyPath);
        } else if (inKey) {
            if (auto parts = SplitValueLine(logical)) {
                line.name = std::move(parts->name);
                line.value = ParseValueData(parts->data);
            }
        }
        line.inKey = inKey;
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::string RegDocument::Serialize() const {
    std::string text(kHeader);
    text.push_back('\n');
    for (const Line& line : lines_) {
        for (const std::string& physical : line.physical) {
            text.append(physical);
            text.push_back('\n');
        }
    }
    return text;
}

bool RegDocument::HasKey() const {
    return std::any_of(lines_.begin(), lines_.end(),
                       [](const Line& line) { return line.sectionHeader && line.inKey; });
}

void RegDocument::CloseLastLine() {
    // A trailing "\" would swallow the next line; an empty line ends the continuation.
    if (!lines_.empty() && IsOpen(lines_.back())) lines_.back().physical.emplace_back();
}

void RegDocument::EnsureKey() {
    if (HasKey()) return;
    CloseLastLine();
    if (lines_.empty() || !IsBlank(lines_.back().physical)) lines_.push_back(OneLine("", false));
    Line header = OneLine("[" + std::string(kKeyPath) + "]", true);
    header.sectionHeader = true;
    lines_.push_back(std::move(header));
}

const RegValue* RegDocument::Find(std::string_view name) const {
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->value && EqualsIgnoringAsciiCase(*it->name, name)) return &*it->value;
    }
    return nullptr;
}

std::optional<std::size_t> RegDocument::Query(std::string_view name,
                                              std::span<uint8_t> room) const {
    const RegValue* value = Find(name);
    if (value == nullptr || value->bytes.size() > room.size()) return std::nullopt;
    std::copy(value->bytes.begin(), value->bytes.end(), room.begin());
    return value->bytes.size();
}

bool RegDocument::Set(std::string_view name, uint32_t type, std::span<const uint8_t> bytes) {
    if (name.find('\n') != std::string_view::npos) return false;
    EnsureKey();

    Line line = OneLine(FormatValueLine(name, RegValue{type, {bytes.begin(), bytes.end()}}), true);
    line.name = std::string(name);
    line.value = RegValue{type, {bytes.begin(), bytes.end()}};

    const auto sameName = [&](const Line& l) {
        return l.name && EqualsIgnoringAsciiCase(*l.name, name);
    };
    const auto first = std::find_if(lines_.begin(), lines_.end(), sameName);
    if (first != lines_.end()) {
        *first = std::move(line);
        // Drop later duplicates so the file says one thing.
        lines_.erase(std::remove_if(first + 1, lines_.end(), sameName), lines_.end());
        return true;
    }

    // New values go after the key's last non-blank line (its header when it has no values yet).
    std::size_t after = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].inKey && !IsBlank(lines_[i].physical)) after = i;
    }
    if (IsOpen(lines_[after])) lines_[after].physical.emplace_back();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after) + 1, std::move(line));
    return true;
}

std::map<std::string, RegValue> RegDocument::Values() const {
    std::map<std::string, RegValue> values;
    for (const Line& line : lines_) {
        if (line.value) values[LowerName(*line.name)] = *line.value;
    }
    return values;
}

}  // namespace vellor
