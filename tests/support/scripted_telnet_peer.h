#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
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

// A port server on loopback that a test scripts, on the test's own thread: it hears what the
// client sent, answering as it goes, only while the test waits for something. It offers to echo (a
// serial terminal must refuse), agrees to everything else and confirms every serial-port request
// as asked; a silent one answers nothing, like a server that is no telnet server.
class ScriptedTelnetPeer : private TelnetSink {
  public:
    struct Heard {
        std::string data, commands;
        std::vector<std::pair<uint8_t, uint8_t>> negotiations;
        std::vector<Bytes> comPort;
    };

    explicit ScriptedTelnetPeer(bool silent = false)
        : silent_(silent), listener_(BoundLoopbackSocket(port_)) {
        listen(listener_, 8);
        fcntl(listener_, F_SETFL, O_NONBLOCK);  // no connection yet: the test's wait goes on
    }
    ~ScriptedTelnetPeer() {
        if (connection_ >= 0) close(connection_);
        close(listener_);
    }
    std::string Name(const std::string& scheme = "rfc2217") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }
    // Sends bytes as they are; with `byteByByte`, each in a segment of its own.
    bool Send(const std::string& bytes, bool byteByByte = false) {
        bool sent = Connected();
        for (std::size_t at = 0; sent && at < bytes.size(); at += byteByByte ? 1 : bytes.size())
            sent = send(connection_, bytes.data() + at, byteByByte ? 1 : bytes.size(),
                        MSG_NOSIGNAL) == ssize_t(byteByByte ? 1 : bytes.size());
        return sent;
    }
    // Hears what the client sends, answering, until `done` holds (or kPatience passed).
    const Heard& Hear(const std::function<bool(const Heard&)>& done) {
        WaitUntil([&] {
            uint8_t buffer[4096];
            const ssize_t n = Connected() ? recv(connection_, buffer, sizeof buffer, 0) : -1;
            if (n > 0) decoder_.Feed(std::span(buffer, std::size_t(n)), *this);
            Send(std::exchange(answers_, {}));
            return done(heard_);
        });
        return heard_;
    }
    void Hangup() { shutdown(connection_, SHUT_RDWR); }  // as a server going away

  private:
    bool Connected() {
        if (connection_ >= 0) return true;
        connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        const int on = 1;  // one segment per send, so a test can cut where it wants
        return connection_ >= 0 &&
               setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 &&
               (silent_ || send(connection_, "\xff\xfb\x01", 3, MSG_NOSIGNAL) == 3);  // WILL ECHO
    }
    void Data(std::span<const uint8_t> bytes) override {
        heard_.data.append(bytes.begin(), bytes.end());
    }
    void Negotiation(uint8_t verb, uint8_t option) override {
        using namespace telnet;
        heard_.negotiations.emplace_back(verb, option);
        if (silent_ || (verb != kWill && verb != kDo)) return;
        const bool agree = option != kEcho;
        const uint8_t answer = verb == kWill ? (agree ? kDo : kDont) : (agree ? kWill : kWont);
        answers_ += std::string{char(kIac), char(answer), char(option)};
    }
    void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
        Bytes answer = heard_.comPort.emplace_back(payload.begin(), payload.end());
        answer.at(0) += kServerCommandOffset;
        answers_ += SubnegotiationFrame(answer, option);
    }
    void Command(uint8_t command) override { heard_.commands += char(command); }

    const bool silent_;
    int port_ = 0;
    const int listener_;
    int connection_ = -1;
    TelnetDecoder decoder_;
    Heard heard_;
    std::string answers_;  // due once the current read is decoded
};

}  // namespace vellor::testing
