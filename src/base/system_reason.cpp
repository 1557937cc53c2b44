#include "base/system_reason.h"

#include <cerrno>
#include <system_error>

namespace vellor {

std::string SystemReason(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

}  // namespace vellor
