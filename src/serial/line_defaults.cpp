#include "serial/line_defaults.h"

#include "app/app_state.h"

namespace vellor {

void DefaultPortSettings(AppState& state) {
    state.portOpen = 0;
    state.portName = "COM1";
    PortConfig& dcb = state.portConfig;
    dcb.SetDCBlength(PortConfig::kSize);
    dcb.SetBaudRate(115200);
    dcb.SetFlags((dcb.Flags() & ~0x7FFFu) | 0x2097u);
    dcb.SetByteSize(8);
    dcb.SetParity(0);
    dcb.SetStopBits(0);
}

}  // namespace vellor
