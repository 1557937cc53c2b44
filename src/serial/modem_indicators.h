#pragma once

#include <cstdint>

namespace vellor {

class Host;

// Shows a modem status word (kMs* bits) in the DSR, CTS, CD and RI boxes. UI thread.
void UpdateModemIndicators(Host& host, uint32_t status);

}  // namespace vellor
