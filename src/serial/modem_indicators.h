#pragma once

#include <cstdint>

namespace vellor {

class PortUi;

// Shows a modem status word (kMs* bits) in the DSR, CTS, CD and RI boxes. UI thread.
void UpdateModemIndicators(PortUi& ui, uint32_t status);

}  // namespace vellor
