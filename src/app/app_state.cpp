#include "app/app_state.h"

namespace vellor {

// Out of line so that the forward-declared members are complete where they are destroyed.
AppState::~AppState() = default;

}  // namespace vellor
