#include "transfer/transfer_shutdown.h"

#include "transfer/capture_command.h"
#include "transfer/send_command.h"

namespace vellor {

void ShutdownTransfers(AppState& state, Host& host) {
    // The send goes first, so no message of its own can come up after the capture's.
    StopSendingAtShutdown(state);
    CloseCaptureAtShutdown(state, host);
}

}  // namespace vellor
