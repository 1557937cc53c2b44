#include "serial/line_defaults.h"

#include "app/app_state.h"

namespace vellor {

void DefaultPortSettings(AppState& state) {
    state.portOpen = 0;
    state.portName = kDefaultPortName;
    PortConfig& dcb = state.portConfig;
    dcb.SetDCBlength(PortConfig::kSize);
    dcb.SetBaudRate(kDefaultBaudRate);
    dcb.SetFlags((dcb.Flags() & ~PortConfig::kDefinedFlags) | PortConfig::kDefaultFlags);
    dcb.SetByteSize(8);
    dcb.SetParity(0);
    dcb.SetStopBits(0);
}

}  // namespace vellor
