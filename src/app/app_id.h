#pragma once

namespace vellor {

// The one reverse-DNS name of the program: its desktop entry, metadata, icon and the folder of
// its single-instance socket all go by it.
inline constexpr char kAppId[] = "org.vellor.Vellor";

}  // namespace vellor
