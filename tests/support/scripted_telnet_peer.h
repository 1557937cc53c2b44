#pragma once

#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/com_port_option.h"
#include "serial/telnet_stream.h"
#include "support/deadline.h"

namespace vellor::testing {

// IAC SB option payload IAC SE, the payload escaped by the product's encoder.
inline std::string SubnegotiationFrame(uint8_t option, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    AppendSubnegotiation(option, payload, out);
    return {out.begin(), out.end()};
}

enum class PeerGreeting : uint8_t { TakesOption, RefusesOption, Silent };

// Answers a serial-port request; nothing leaves it unanswered. By default the server confirms
// what was asked: the command plus 100, the same value.
using PeerAnswer = std::function<std::optional<std::vector<uint8_t>>(std::vector<uint8_t>)>;
inline std::optional<std::vector<uint8_t>> ConfirmAsAsked(std::vector<uint8_t> request) {
    request.at(0) = uint8_t(request[0] + kServerCommandOffset);
    return request;
}

// A port server on loopback that a test scripts. It takes one connection, offers to echo (which a
// serial terminal must refuse), answers negotiation as its greeting says (TakesOption agrees to
// binary, suppress-go-ahead and the serial-port option; RefusesOption the first two only; Silent
// answers nothing, like a server that is no telnet server) and serial-port requests as `answer`
// says, on its own thread, so a client call that waits for an answer can run on the test thread.
// It records what the client sent, raw and decoded.
class ScriptedTelnetPeer : private TelnetSink {
  public:
    struct Heard {
        std::string raw, data, commands;
        std::vector<std::pair<uint8_t, uint8_t>> negotiations;
        std::vector<std::vector<uint8_t>> comPort;
        bool ended = false;  // the connection closed
    };

    explicit ScriptedTelnetPeer(PeerGreeting greeting = PeerGreeting::TakesOption,
                                PeerAnswer answer = ConfirmAsAsked, const char* host = "127.0.0.1")
        : greeting_(greeting), answer_(std::move(answer)) {
        addrinfo hints{}, *found = nullptr;
        hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
        hints.ai_socktype = SOCK_STREAM;
        if (getaddrinfo(host, "0", &hints, &found) != 0) return;
        listener_ = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (bind(listener_, found->ai_addr, found->ai_addrlen) == 0 && listen(listener_, 1) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            char service[16];
            getnameinfo(reinterpret_cast<sockaddr*>(&address), length, nullptr, 0, service,
                        sizeof service, NI_NUMERICSERV);
            port_ = std::atoi(service);
            thread_ = std::thread([this] { Serve(); });
        }
        freeaddrinfo(found);
    }
    ~ScriptedTelnetPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) close(listener_);
    }

    bool ok() const { return port_ != 0; }
    int port() const { return port_; }
    std::string Name(const std::string& scheme = "rfc2217") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

    // Sends bytes as they are; with `byteByByte`, each in a segment of its own.
    bool Send(const std::string& bytes, bool byteByByte = false) {
        if (!WaitUntil([&] { return connection_ != -1; })) return false;  // -2: ended
        std::lock_guard lock(sendMutex_);
        if (connection_ < 0) return false;
        for (std::size_t done = 0, n; done < bytes.size(); done += n) {
            const ssize_t sent = send(connection_, bytes.data() + done,
                                      byteByByte ? 1 : bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return false;
            n = std::size_t(sent);
        }
        return true;
    }
    bool SendComPort(const std::vector<uint8_t>& payload) {
        return Send(SubnegotiationFrame(kComPortOption, payload));
    }
    // Closes the connection, as a server going away does.
    void Hangup() {
        std::lock_guard lock(sendMutex_);
        if (connection_ >= 0) shutdown(connection_, SHUT_RDWR);
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
        heard_.comPort.emplace_back(payload.begin(), payload.end());
        if (const auto reply = answer_(heard_.comPort.back()))
            answers_ += SubnegotiationFrame(option, *reply);
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
        char buffer[4096];
        for (pollfd p{fd, POLLIN, 0}; !stop_;) {
            if (poll(&p, 1, 20) <= 0) continue;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            std::lock_guard lock(heardMutex_);
            if ((heard_.ended = n <= 0)) break;
            heard_.raw.append(buffer, std::size_t(n));
            decoder.Feed(std::span(reinterpret_cast<const uint8_t*>(buffer), std::size_t(n)),
                         *this);
            Send(std::exchange(answers_, {}));
        }
        std::lock_guard lock(sendMutex_);
        connection_ = -2;  // never the number of whatever opens next
        close(fd);
    }

    const PeerGreeting greeting_;
    const PeerAnswer answer_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connection_{-1};
    std::mutex sendMutex_, heardMutex_;
    Heard heard_;
    std::string answers_;  // due once the current read is decoded
    std::thread thread_;
};

}  // namespace vellor::testing
