// Arbitrary bytes as the settings file: parsing never crashes or hangs, what was read survives
// being written and read again, and the settings groups load from it and round-trip.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/app_state.h"
#include "reg_document_backend.h"
#include "settings/file_text_form.h"
#include "settings/preferences.h"
#include "settings/reg_document.h"
#include "settings/reg_file_backend.h"
#include "settings/settings_store.h"

namespace {

using vellor::AppState;
using vellor::RegDocument;
using vellor::RegDocumentBackend;

void Check(bool condition) {
    if (!condition) std::abort();
}

struct Snapshot {
    uint16_t numRows, numCols;
    vellor::DisplayMode mode;
    int32_t rxBit7, rxCrLf, echo, txCrLf, txCapture, rxCapture, controlBar;
    vellor::HexEntry hexInput;
    std::string portName;
    vellor::PortConfig portConfig;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(AppState& s) {
    std::lock_guard lock(s.screenMutex);
    return {s.numRows,     s.numCols,       s.displayMode,      s.rxBit7.load(),    s.rxCrLf.load(),
            s.echo.load(), s.txCrLf.load(), s.txCapture.load(), s.rxCapture.load(), s.controlBar,
            s.hexInput,    s.portName,      s.portConfig};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > vellor::RegFileBackend::kMaxFileBytes) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const RegDocument document = RegDocument::Parse(text);
    const auto values = document.Values();

    // Written out and read again, the document holds the same values.
    const RegDocument again = RegDocument::Parse(document.Serialize());
    Check(again.Values() == values);
    Check(again.HasKey() == document.HasKey());

    // Every value written anew reads back exactly.
    RegDocument fresh;
    for (const auto& [name, value] : values)
        Check(fresh.Set(name, value.type, value.bytes));
    Check(RegDocument::Parse(fresh.Serialize()).Values() == values);

    // A save into the document changes only the value it writes.
    RegDocument changed = document;
    const uint8_t one[] = {1, 0, 0, 0};
    Check(changed.Set("HexInput", vellor::SettingsBackend::kRegDword, one));
    auto expected = values;
    expected["hexinput"] = vellor::RegValue{vellor::SettingsBackend::kRegDword, {1, 0, 0, 0}};
    Check(RegDocument::Parse(changed.Serialize()).Values() == expected);

    // Read as a file, whatever its encoding, and written back in that encoding, it reads the same.
    vellor::FileTextForm form;
    if (const auto decoded = vellor::DecodeFileText(text, form)) {
        const RegDocument read = RegDocument::Parse(*decoded);
        vellor::FileTextForm again;
        const auto reread =
            vellor::DecodeFileText(vellor::EncodeFileText(read.Serialize(), form), again);
        Check(reread.has_value() && again.encoding == form.encoding);
        Check(RegDocument::Parse(*reread).Values() == read.Values());
    }

    // The groups load from it; saved and loaded again they come back the same.
    RegDocumentBackend backend(document);
    AppState state;
    vellor::LoadDisplaySettings(state, backend);
    vellor::LoadBarSettings(state, backend);
    vellor::LoadPortSettings(state, backend);
    vellor::SaveDisplaySettings(state, backend);
    vellor::SaveBarSettings(state, backend);
    vellor::SavePortSettings(state, backend);
    vellor::LoadPreferences(state.preferences, backend);
    Check(vellor::SavePreferences(state.preferences, backend));
    RegDocumentBackend saved(RegDocument::Parse(backend.document().Serialize()));
    AppState reloaded;
    Check(vellor::LoadDisplaySettings(reloaded, saved) == 1);
    Check(vellor::LoadBarSettings(reloaded, saved) == 1);
    Check(vellor::LoadPortSettings(reloaded, saved) == 1);
    vellor::LoadPreferences(reloaded.preferences, saved);
    Check(Take(reloaded) == Take(state));
    Check(reloaded.preferences == state.preferences);
    return 0;
}
