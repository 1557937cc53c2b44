#include "serial/modem_indicators.h"

#include "serial/port_ui.h"
#include "serial/serial_device.h"

namespace vellor {

void UpdateModemIndicators(PortUi& ui, uint32_t status) {
    ui.SetBoxCheck(ModemBox::Dsr, (status & kMsDsrOn) != 0);
    ui.SetBoxCheck(ModemBox::Cts, (status & kMsCtsOn) != 0);
    ui.SetBoxCheck(ModemBox::Cd, (status & kMsRlsdOn) != 0);
    ui.SetBoxCheck(ModemBox::Ri, (status & kMsRingOn) != 0);
}

}  // namespace vellor
