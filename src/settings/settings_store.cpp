#include "settings/settings_store.h"

#include <array>
#include <mutex>
#include <type_traits>

#include "app/app_state.h"
#include "base/little_endian.h"
#include "settings/settings_backend.h"
#include "settings/text_encoding.h"

namespace vellor {

namespace {

// A DWORD value of a group and the field it belongs to.
struct DwordValue {
    const char* name;
    void (*store)(AppState&, uint32_t);
    uint32_t (*fetch)(AppState&);
};

// Sizes and the display mode are read by the worker threads under the screen lock.
template <auto Field>
void StoreScreenField(AppState& s, uint32_t v) {
    std::lock_guard lock(s.screenMutex);
    s.*Field = static_cast<std::remove_reference_t<decltype(s.*Field)>>(v);  // sizes: low 16 bits
}
template <auto Field>
uint32_t FetchScreenField(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    return static_cast<uint32_t>(s.*Field);  // sizes zero-extended
}
template <auto Field>
void StoreFlag(AppState& s, uint32_t v) {
    (s.*Field).store(static_cast<int32_t>(v));
}
template <auto Field>
uint32_t FetchFlag(AppState& s) {
    return static_cast<uint32_t>((s.*Field).load());
}
template <auto Field>
void StorePlain(AppState& s, uint32_t v) {
    s.*Field = static_cast<std::remove_reference_t<decltype(s.*Field)>>(static_cast<int32_t>(v));
}
template <auto Field>
uint32_t FetchPlain(AppState& s) {
    return static_cast<uint32_t>(s.*Field);
}

constexpr std::array kDisplayValues = {
    DwordValue{"NumRows", StoreScreenField<&AppState::numRows>,
               FetchScreenField<&AppState::numRows>},
    DwordValue{"NumCols", StoreScreenField<&AppState::numCols>,
               FetchScreenField<&AppState::numCols>},
    DwordValue{"Mode", StoreScreenField<&AppState::displayMode>,
               FetchScreenField<&AppState::displayMode>},
    DwordValue{"RX_Bit7", StoreFlag<&AppState::rxBit7>, FetchFlag<&AppState::rxBit7>},
    DwordValue{"RX_CRLF", StoreFlag<&AppState::rxCrLf>, FetchFlag<&AppState::rxCrLf>},
    DwordValue{"Echo", StoreFlag<&AppState::echo>, FetchFlag<&AppState::echo>},
    DwordValue{"TX_CRLF", StoreFlag<&AppState::txCrLf>, FetchFlag<&AppState::txCrLf>},
    DwordValue{"TX_Capture", StoreFlag<&AppState::txCapture>, FetchFlag<&AppState::txCapture>},
    DwordValue{"RX_Capture", StoreFlag<&AppState::rxCapture>, FetchFlag<&AppState::rxCapture>},
};

constexpr std::array kBarValues = {
    DwordValue{"Control", StorePlain<&AppState::controlBar>, FetchPlain<&AppState::controlBar>},
    DwordValue{"HexInput", StorePlain<&AppState::hexInput>, FetchPlain<&AppState::hexInput>},
};

constexpr const char* kPortNameValue = "COM?";
constexpr const char* kPortConfigValue = "DCB";

// Room for the longest allowed name even when every character takes a surrogate pair, plus the
// terminating zero; the character count is checked after reading.
constexpr std::size_t kPortNameRoom = 2 * (2 * kMaxPortNameChars + 1);

// Closes the key on every way out of a group operation.
class OpenKey {
  public:
    explicit OpenKey(SettingsBackend& backend) : backend_(backend) {}
    ~OpenKey() { backend_.CloseKey(); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

  private:
    SettingsBackend& backend_;
};

// A stored DWORD must hold exactly its 4 bytes; fewer would leave part of the field unset.
bool QueryDword(SettingsBackend& backend, const char* name, uint32_t& value) {
    std::array<uint8_t, 4> bytes{};
    if (backend.QueryValue(name, bytes) != bytes.size()) return false;
    value = LoadLe32(bytes);
    return true;
}

void SetDword(SettingsBackend& backend, const char* name, uint32_t value) {
    backend.SetValue(name, SettingsBackend::kRegDword, Le32(value));
}

template <std::size_t N>
int LoadDwords(AppState& state, SettingsBackend& backend, const std::array<DwordValue, N>& group) {
    if (!backend.OpenExistingKey()) return 0;
    OpenKey key(backend);
    for (const DwordValue& value : group) {
        uint32_t number = 0;
        if (!QueryDword(backend, value.name, number)) return 0;
        value.store(state, number);
    }
    return 1;
}

template <std::size_t N>
void SaveDwords(AppState& state, SettingsBackend& backend, const std::array<DwordValue, N>& group) {
    if (!backend.CreateOrOpenKey()) return;
    OpenKey key(backend);
    for (const DwordValue& value : group)
        SetDword(backend, value.name, value.fetch(state));
}

// The stored port name as UTF-8, or nothing when it is missing, too long, or not valid text.
std::optional<std::string> QueryPortName(SettingsBackend& backend) {
    std::array<uint8_t, kPortNameRoom> bytes{};
    const auto count = backend.QueryValue(kPortNameValue, bytes);
    if (!count) return std::nullopt;
    const std::u16string units = RegSzText(std::span(bytes).first(*count));
    if (CountCharacters(units) > kMaxPortNameChars) return std::nullopt;
    return Utf16ToUtf8(units);
}

}  // namespace

int LoadDisplaySettings(AppState& state, SettingsBackend& backend) {
    return LoadDwords(state, backend, kDisplayValues);
}

int LoadBarSettings(AppState& state, SettingsBackend& backend) {
    return LoadDwords(state, backend, kBarValues);
}

int LoadPortSettings(AppState& state, SettingsBackend& backend) {
    if (!backend.OpenExistingKey()) return 0;
    OpenKey key(backend);
    auto name = QueryPortName(backend);
    if (!name) return 0;
    state.portName = std::move(*name);
    std::array<uint8_t, PortConfig::kSize> record{};
    if (backend.QueryValue(kPortConfigValue, record) != record.size()) return 0;
    state.portConfig.bytes = record;
    return 1;
}

void SaveDisplaySettings(AppState& state, SettingsBackend& backend) {
    SaveDwords(state, backend, kDisplayValues);
}

void SaveBarSettings(AppState& state, SettingsBackend& backend) {
    SaveDwords(state, backend, kBarValues);
}

void SavePortSettings(AppState& state, SettingsBackend& backend) {
    if (!backend.CreateOrOpenKey()) return;
    OpenKey key(backend);
    // A name that is not valid UTF-8 cannot become registry text: that one value is skipped.
    if (auto units = Utf8ToUtf16(state.portName)) {
        backend.SetValue(kPortNameValue, SettingsBackend::kRegSz, RegSzBytes(*units));
    }
    backend.SetValue(kPortConfigValue, SettingsBackend::kRegBinary, state.portConfig.bytes);
}

void SetDisplayDefaults(AppState& state) {
    {
        std::lock_guard lock(state.screenMutex);
        state.displayMode = DisplayMode::Text;
    }
    state.rxBit7.store(0);
    state.rxCrLf.store(0);
    state.echo.store(0);
    state.txCrLf.store(0);
    state.controlBar = 0;
    state.txCapture.store(0);
    state.rxCapture.store(1);
    state.hexInput = HexEntry::Off;
}

void SetBarDefaults(AppState& state) {
    state.controlBar = 0;
    state.hexInput = HexEntry::Off;
}

}  // namespace vellor
