#pragma once

#include <array>
#include <cstdint>

namespace vellor {

// The six check boxes of the control bar, in the order of their command ids (DTR 40001 ... RI
// 40006). DTR and RTS are switches the user flips; the other four show input lines.
enum class ModemBox : uint8_t { Dtr, Rts, Dsr, Cts, Cd, Ri };
inline constexpr int kModemBoxCount = 6;

inline constexpr std::array<ModemBox, kModemBoxCount> kModemBoxes = {
    ModemBox::Dtr, ModemBox::Rts, ModemBox::Dsr, ModemBox::Cts, ModemBox::Cd, ModemBox::Ri};
inline constexpr std::array<const char*, kModemBoxCount> kModemBoxLabels = {"DTR", "RTS", "DSR",
                                                                            "CTS", "CD",  "RI"};

constexpr int IndexOf(ModemBox box) {
    return int(box);
}

}  // namespace vellor
