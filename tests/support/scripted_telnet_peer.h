#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/com_port_option.h"
#include "serial/telnet_stream.h"
#include "support/deadline.h"

namespace vellor::testing {

using Bytes = std::vector<uint8_t>;

// Every byte value, a long run of 0xFF and what would read as commands if left unescaped.
inline std::string AllBytes() {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    return all + std::string(300, '\xff') + "\xff\xfe\xff\xfa\xff\xf0" + "end";
}
inline std::span<const uint8_t> AsBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
// The record with these line settings and all else zero.
inline PortConfig LineConfig(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits,
                             FlowControl flow) {
    PortConfig config;
    config.SetDCBlength(PortConfig::kSize);
    config.SetBaudRate(baud);
    config.SetByteSize(dataBits);
    config.SetParity(parity);
    config.SetStopBits(stopBits);
    config.SetFlags(ApplyFlowControl(0, flow));
    return config;
}
// A TCP socket bound to a free loopback port and not listening, so connecting to it is refused.
inline int BoundLoopbackSocket(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port = bound ? ntohs(address.sin_port) : 0;
    return fd;
}
// IAC SB option payload IAC SE, by the product's encoder (the decoder's tests pin it down).
inline std::string SubnegotiationFrame(const Bytes& payload, uint8_t option = kComPortOption) {
    Bytes out;
    AppendSubnegotiation(option, payload, out);
    return {out.begin(), out.end()};
}

enum class PeerGreeting : uint8_t { TakesOption, RefusesOption, Silent };

// A port server on loopback that a test scripts. It takes one connection and offers to echo (a
// serial terminal must refuse); it agrees to binary and suppress-go-ahead, to the serial-port
// option only if it TakesOption, and Silent answers nothing. It confirms every serial-port request
// as asked, on its own thread, so a client call waiting for the answer may run on the test thread.
class ScriptedTelnetPeer : private TelnetSink {
  public:
    struct Heard {
        std::string data, commands;
        std::vector<std::pair<uint8_t, uint8_t>> negotiations;
        std::vector<Bytes> comPort;
        bool ended = false;  // the connection closed
    };

    explicit ScriptedTelnetPeer(PeerGreeting greeting = PeerGreeting::TakesOption)
        : greeting_(greeting), listener_(BoundLoopbackSocket(port_)) {
        if (listen(listener_, 1) == 0) thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedTelnetPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        close(listener_);
    }

    std::string Name(const std::string& scheme = "rfc2217") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }
    // Sends bytes as they are; with `byteByByte`, each in a segment of its own.
    bool Send(const std::string& bytes, bool byteByByte = false) {
        if (!WaitUntil([&] { return connection_ != -1; })) return false;  // -2: ended
        std::lock_guard lock(sendMutex_);
        for (std::size_t done = 0; done < bytes.size() && connection_ >= 0;) {
            const ssize_t sent = send(connection_, bytes.data() + done,
                                      byteByByte ? 1 : bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return false;
            done += std::size_t(sent);
        }
        return connection_ >= 0;
    }
    bool WaitHeard(const std::function<bool(const Heard&)>& done) {
        return WaitUntil([&] { return done(heard()); });
    }
    Heard heard() {
        std::lock_guard lock(heardMutex_);
        return heard_;
    }

  private:
    void Data(std::span<const uint8_t> bytes) override {
        heard_.data.append(bytes.begin(), bytes.end());
    }
    void Negotiation(uint8_t verb, uint8_t option) override {
        using namespace telnet;
        heard_.negotiations.emplace_back(verb, option);
        const bool agree = option == kBinary || option == kSuppressGoAhead ||
                           (option == kComPortOption && greeting_ == PeerGreeting::TakesOption);
        if (greeting_ == PeerGreeting::Silent || (verb != kWill && verb != kDo)) return;
        const uint8_t answer = verb == kWill ? (agree ? kDo : kDont) : (agree ? kWill : kWont);
        answers_ += std::string{char(kIac), char(answer), char(option)};
    }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        Bytes& request = heard_.comPort.emplace_back(payload.begin(), payload.end());
        Bytes answer = request;
        answer.at(0) = uint8_t(answer[0] + kServerCommandOffset);
        answers_ += SubnegotiationFrame(answer, option);
    }
    void Command(uint8_t command) override { heard_.commands += char(command); }

    void Serve() {
        for (pollfd p{listener_, POLLIN, 0}; !stop_ && poll(&p, 1, 20) <= 0;) {
        }
        const int fd = stop_ ? -1 : accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        connection_ = fd;
        if (greeting_ != PeerGreeting::Silent) Send("\xff\xfb\x01");  // WILL ECHO
        TelnetDecoder decoder;
        uint8_t buffer[4096];
        for (pollfd p{fd, POLLIN, 0}; !stop_;) {
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            std::lock_guard lock(heardMutex_);
            if ((heard_.ended = n <= 0)) break;
            decoder.Feed(std::span(buffer, std::size_t(n)), *this);
            Send(std::exchange(answers_, {}));
        }
        std::lock_guard lock(sendMutex_);
        connection_ = -2;  // never the number of whatever opens next
        close(fd);
    }

    const PeerGreeting greeting_;
    int port_ = 0;
    const int listener_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connection_{-1};
    std::mutex sendMutex_, heardMutex_;
    Heard heard_;
    std::string answers_;  // due once the current read is decoded
    std::thread thread_;
};

}  // namespace vellor::testing
