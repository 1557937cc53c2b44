#pragma once

#include <string>

namespace vellor {

struct AppState;
class Host;

// Sends UTF-8 text as typing it would. UI thread.
void PasteText(AppState& state, Host& host, const std::string& text);

}  // namespace vellor
