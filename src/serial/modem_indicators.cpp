#include "serial/modem_indicators.h"

#include "app/host.h"
#include "serial/serial_device.h"

namespace vellor {

void UpdateModemIndicators(Host& host, uint32_t status) {
    host.SetBoxCheck(ModemBox::Dsr, (status & kMsDsrOn) != 0);
    host.SetBoxCheck(ModemBox::Cts, (status & kMsCtsOn) != 0);
    host.SetBoxCheck(ModemBox::Cd, (status & kMsRlsdOn) != 0);
    host.SetBoxCheck(ModemBox::Ri, (status & kMsRingOn) != 0);
}

}  // namespace vellor
