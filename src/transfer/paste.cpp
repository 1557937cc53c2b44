#include "transfer/paste.h"

#include <cstdio>
#include <utility>
#include <variant>

#include "app/app_state.h"
#include "app/host.h"
#include "base/system_reason.h"
#include "base/unicode.h"
#include "input/paste_bytes.h"
#include "transfer/send_command.h"

namespace vellor {
namespace {

std::string DescribeRefusal(const PasteRefusal& refusal) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(refusal.character));
    std::string character;
    AppendUtf8(character, refusal.character);
    return "The character \"" + character + "\" (" + code + ") at position " +
           std::to_string(refusal.position) + " (line " + std::to_string(refusal.line) +
           ", column " + std::to_string(refusal.column) +
           ") cannot be typed as one byte. Nothing was sent.";
}

void Refuse(Host& host, const std::string& why) {
    host.ShowMessage(MessageOwner::MainWindow, "Paste Failed", kErrorCaption, why);
}

}  // namespace

void PasteText(AppState& state, Host& host, const std::string& text) {
    auto converted = PasteBytes(text, state.hexInput, state.keyByte);
    if (const auto* refusal = std::get_if<PasteRefusal>(&converted)) {
        Refuse(host, DescribeRefusal(*refusal));
        return;
    }
    // Two sends would interleave their bytes on the line.
    if (state.sending.load() != 0) {
        Refuse(host,
               "A send is under way. Paste again when it has ended, or stop it with Send "
               "from File.");
        return;
    }
    PastedBytes& pasted = std::get<PastedBytes>(converted);
    state.hexInput = pasted.hexInput;
    state.keyByte = pasted.keyByte;
    if (!pasted.bytes.empty()) StartPasteSend(state, host, std::move(pasted.bytes));
}

}  // namespace vellor
