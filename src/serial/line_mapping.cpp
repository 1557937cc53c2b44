#include "serial/line_mapping.h"

#include <cerrno>
#include <cstdint>

namespace vellor {

int CheckLineSettings(const PortConfig& config) {
    const bool dataBitsOk = config.ByteSize() >= 5 && config.ByteSize() <= 8;
    const bool parityOk = config.Parity() <= 4;
    const bool stopBitsOk = config.StopBits() == 0 || config.StopBits() == 2;  // 1.5 refused
    const bool rateOk = config.BaudRate() != 0;
    return dataBitsOk && parityOk && stopBitsOk && rateOk ? 0 : EINVAL;
}

TtyLine TtyLineFromConfig(const PortConfig& config) {
    TtyLine line;
    line.baud = config.BaudRate();
    line.dataBits = config.ByteSize();
    line.parity = config.Parity();
    line.twoStopBits = config.StopBits() == 2;
    line.rtsCts = config.OutxCtsFlow() || config.RtsControl() == 2;
    line.xonOutput = config.OutX();
    line.xonInput = config.InX();
    line.xonChar = config.XonChar() != 0 ? config.XonChar() : kDefaultXonChar;
    line.xoffChar = config.XoffChar() != 0 ? config.XoffChar() : kDefaultXoffChar;
    return line;
}

void StoreTtyLine(const TtyLine& line, PortConfig& config) {
    config.SetDCBlength(PortConfig::kSize);
    config.SetBaudRate(line.baud);
    config.SetByteSize(line.dataBits);
    config.SetParity(line.parity);
    config.SetStopBits(line.twoStopBits ? 2 : 0);

    uint32_t flags = config.Flags() & ~(PortConfig::kOutxCtsFlow | PortConfig::kOutX |
                                        PortConfig::kInX | PortConfig::kRtsControlMask);
    if (line.rtsCts) {
        flags |= PortConfig::kOutxCtsFlow | PortConfig::kRtsControlHandshake;
    } else {
        flags |= PortConfig::kRtsControlEnable;
    }
    if (line.xonOutput) flags |= PortConfig::kOutX;
    if (line.xonInput) flags |= PortConfig::kInX;
    config.SetFlags(flags);
    config.SetXonChar(line.xonChar);
    config.SetXoffChar(line.xoffChar);
}

bool LineAccepted(const TtyLine& requested, const TtyLine& accepted, bool forcedFraming) {
    const uint64_t difference = requested.baud > accepted.baud ? requested.baud - accepted.baud
                                                               : accepted.baud - requested.baud;
    if (difference * 50 > requested.baud) return false;
    if (forcedFraming) return true;
    return accepted.dataBits == requested.dataBits && accepted.parity == requested.parity &&
           accepted.twoStopBits == requested.twoStopBits;
}

}  // namespace vellor
