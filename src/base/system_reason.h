#pragma once

#include <string>

namespace vellor {

// The caption of every failure message but one.
inline constexpr char kErrorCaption[] = "Error";

// The system's reason for an errno value, as shown below a failure message ("No such file or
// directory"). 0 counts as an I/O error: something failed without saying why.
std::string SystemReason(int error);

}  // namespace vellor
