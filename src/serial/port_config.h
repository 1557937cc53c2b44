#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/little_endian.h"

namespace vellor {

// The serial line settings in the 28-byte little-endian DCB layout. The record is kept as raw
// bytes so that fields the program never sets keep exactly what was stored or read back.
class PortConfig {
  public:
    static constexpr std::size_t kSize = 28;

    // Byte offsets of the fields the program reads or writes.
    static constexpr std::size_t kOffLength = 0;
    static constexpr std::size_t kOffBaudRate = 4;
    static constexpr std::size_t kOffFlags = 8;
    static constexpr std::size_t kOffXonLim = 14;
    static constexpr std::size_t kOffXoffLim = 16;
    static constexpr std::size_t kOffByteSize = 18;
    static constexpr std::size_t kOffParity = 19;
    static constexpr std::size_t kOffStopBits = 20;
    static constexpr std::size_t kOffXonChar = 21;
    static constexpr std::size_t kOffXoffChar = 22;

    // Flag word bits.
    static constexpr uint32_t kBinary = 1u << 0;
    static constexpr uint32_t kParityCheck = 1u << 1;
    static constexpr uint32_t kOutxCtsFlow = 1u << 2;
    static constexpr uint32_t kOutxDsrFlow = 1u << 3;
    static constexpr uint32_t kDtrControlMask = 3u << 4;
    static constexpr uint32_t kDsrSensitivity = 1u << 6;
    static constexpr uint32_t kTxContinueOnXoff = 1u << 7;
    static constexpr uint32_t kOutX = 1u << 8;
    static constexpr uint32_t kInX = 1u << 9;
    static constexpr uint32_t kErrorChar = 1u << 10;
    static constexpr uint32_t kNull = 1u << 11;
    static constexpr uint32_t kRtsControlMask = 3u << 12;
    static constexpr uint32_t kAbortOnError = 1u << 14;
    static constexpr uint32_t kRtsControlEnable = 1u << 12;     // RTS raised while open
    static constexpr uint32_t kRtsControlHandshake = 2u << 12;  // RTS as a handshake line
    // The bits the record defines (0-14); the rest are kept as they are.
    static constexpr uint32_t kDefinedFlags = 0x7FFF;
    // Binary, parity checking, CTS flow, DTR enabled, continue on XOFF, RTS handshake.
    static constexpr uint32_t kDefaultFlags = 0x2097;
    // What a flow-control choice rewrites: CTS flow, XON/XOFF both ways and the upper RTS bit.
    static constexpr uint32_t kFlowControlFlags = kOutxCtsFlow | kOutX | kInX | (2u << 12);

    uint32_t DCBlength() const { return Get32(kOffLength); }
    void SetDCBlength(uint32_t v) { Set32(kOffLength, v); }
    uint32_t BaudRate() const { return Get32(kOffBaudRate); }
    void SetBaudRate(uint32_t v) { Set32(kOffBaudRate, v); }
    uint32_t Flags() const { return Get32(kOffFlags); }
    void SetFlags(uint32_t v) { Set32(kOffFlags, v); }
    uint8_t ByteSize() const { return bytes[kOffByteSize]; }
    void SetByteSize(uint8_t v) { bytes[kOffByteSize] = v; }
    uint8_t Parity() const { return bytes[kOffParity]; }
    void SetParity(uint8_t v) { bytes[kOffParity] = v; }
    uint8_t StopBits() const { return bytes[kOffStopBits]; }
    void SetStopBits(uint8_t v) { bytes[kOffStopBits] = v; }
    uint8_t XonChar() const { return bytes[kOffXonChar]; }
    void SetXonChar(uint8_t v) { bytes[kOffXonChar] = v; }
    uint8_t XoffChar() const { return bytes[kOffXoffChar]; }
    void SetXoffChar(uint8_t v) { bytes[kOffXoffChar] = v; }

    // Bit fields of the flag word.
    uint32_t DtrControl() const { return (Flags() & kDtrControlMask) >> 4; }
    uint32_t RtsControl() const { return (Flags() & kRtsControlMask) >> 12; }
    bool OutxCtsFlow() const { return (Flags() & kOutxCtsFlow) != 0; }
    bool OutX() const { return (Flags() & kOutX) != 0; }
    bool InX() const { return (Flags() & kInX) != 0; }

    bool operator==(const PortConfig&) const = default;

    std::array<uint8_t, kSize> bytes{};

  private:
    uint32_t Get32(std::size_t off) const {
        return LoadLe32(std::span<const uint8_t, 4>(bytes.data() + off, 4));
    }
    void Set32(std::size_t off, uint32_t v) {
        const auto le = Le32(v);
        std::copy(le.begin(), le.end(), bytes.begin() + std::ptrdiff_t(off));
    }
};

// Flow-control choices of the Communications dialog.
enum class FlowControl { None, RtsCts, XonXoff };

// What the Communications dialog's OK does to the flag word: clear the CTS-out, XON/XOFF and RTS
// bits (mask 0xFFFFDCFB), enable RTS (bit 12), then add the chosen handshake.
uint32_t ApplyFlowControl(uint32_t flags, FlowControl choice);

// Which flow control a flag word shows in the dialog.
FlowControl FlowControlOf(uint32_t flags);

// The line settings as a user reads them: "115200 8N1 RTS/CTS", "9600 7E1.5 XON/XOFF".
std::string DescribeLine(const PortConfig& config);

// The dialog's text-to-number conversion: leading blanks and a sign allowed, conversion stops at
// the first non-digit, no digits gives 0. Overflow wraps like 32-bit arithmetic.
int32_t TextToNumber(std::string_view text);

}  // namespace vellor
