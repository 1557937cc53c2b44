#pragma once

// Finding text on the screen. The search runs over what Copy would copy: each row's glyphs up to
// its last non-blank cell, so a match never spans two rows. It starts from the selection (after
// it for Next, before it for Previous) or, with nothing selected, from the cursor, and wraps
// around the buffer's ends.

#include <optional>
#include <string>

#include "screen/selection.h"

namespace vellor {

struct AppState;
class Host;

enum class FindDirection : uint8_t { Next, Previous };

struct FindRequest {
    std::string needle;  // UTF-8
    FindDirection direction = FindDirection::Next;
    bool matchCase = false;
};

// The cells of the match the request finds, or nothing (also for an empty needle). Takes the
// screen lock.
std::optional<CellRange> FindMatch(const AppState& state, const FindRequest& request);

// Finds the match, selects it, brings it into view and puts it on PRIMARY. False when there is
// none; the selection is then left as it was. UI thread.
bool FindAndSelect(AppState& state, Host& host, const FindRequest& request);

}  // namespace vellor
