#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "serial/com_port_option.h"
#include "serial/telnet_stream.h"
#include "support/deadline.h"

namespace vellor::testing {

inline std::string AsString(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// IAC SB option payload IAC SE, the payload escaped.
inline std::string SubnegotiationFrame(uint8_t option, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    AppendSubnegotiation(option, payload, out);
    return AsString(out);
}

inline std::string NegotiationFrame(uint8_t verb, uint8_t option) {
    return std::string{char(telnet::kIac), char(verb), char(option)};
}

enum class PeerGreeting : uint8_t {
    TakesOption,    // agrees to binary, suppress-go-ahead and the serial-port option
    RefusesOption,  // agrees to binary and suppress-go-ahead, refuses the serial-port option
    Silent,         // never answers a negotiation: a server that is no telnet server
};

// Answers a serial-port request, or gives nothing to leave it unanswered.
using PeerAnswer = std::function<std::optional<std::vector<uint8_t>>(std::span<const uint8_t>)>;

// Confirms a request as a server that puts it in force: the command plus 100, the value asked.
inline std::optional<std::vector<uint8_t>> ConfirmAsAsked(std::span<const uint8_t> request) {
    if (request.empty()) return std::nullopt;
    std::vector<uint8_t> reply(request.begin(), request.end());
    reply[0] = uint8_t(reply[0] + kServerCommandOffset);
    return reply;
}

struct PeerScript {
    PeerGreeting greeting = PeerGreeting::TakesOption;
    PeerAnswer answer = ConfirmAsAsked;
};

// A port server on loopback that a test scripts: it takes one connection, answers option
// negotiation and serial-port requests as its script says, records what the client sent (raw and
// decoded), and sends whatever the test gives it. Its own thread does the answering, so a client
// call that waits for an answer (Open, Configure) can run on the test thread.
class ScriptedTelnetPeer {
  public:
    // What the client sent so far.
    struct Heard {
        std::string raw;
        std::string data;  // with escapes removed
        std::vector<std::pair<uint8_t, uint8_t>> negotiations;
        std::vector<std::vector<uint8_t>> comPort;  // serial-port payloads, in order
        std::string commands;                       // other two-byte commands (BRK, ...)
        bool hungUp = false;                        // the client closed the connection

        int Count(uint8_t verb, uint8_t option) const {
            return int(std::count(negotiations.begin(), negotiations.end(),
                                  std::pair<uint8_t, uint8_t>(verb, option)));
        }
    };

    explicit ScriptedTelnetPeer(PeerScript script = {}, int family = AF_INET)
        : script_(std::move(script)) {
        listener_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length;
        if (family == AF_INET6) {
            auto& a = reinterpret_cast<sockaddr_in6&>(address);
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            length = sizeof a;
        } else {
            auto& a = reinterpret_cast<sockaddr_in&>(address);
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof a;
        }
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(address).sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedTelnetPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        Hangup();
        if (listener_ >= 0) close(listener_);
    }
    ScriptedTelnetPeer(const ScriptedTelnetPeer&) = delete;
    ScriptedTelnetPeer& operator=(const ScriptedTelnetPeer&) = delete;

    bool ok() const { return port_ != 0; }
    uint16_t port() const { return port_; }
    std::string Name(const std::string& scheme = "rfc2217", const std::string& host = "127.0.0.1") {
        return scheme + "://" + host + ":" + std::to_string(port_);
    }

    // Sends bytes as they are (escape them first where needed); with `oneByteAtATime`, each byte
    // in a send of its own so the client's reads are cut at every boundary the network allows.
    bool Send(const std::string& bytes, bool oneByteAtATime = false) {
        if (!WaitUntil([&] { return connection_ >= 0; })) return false;
        std::lock_guard lock(sendMutex_);
        const std::size_t step = oneByteAtATime ? 1 : bytes.size();
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = send(connection_, bytes.data() + done,
                                   std::min(step, bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += std::size_t(n);
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

    // Waits until what was heard satisfies `done`.
    bool WaitHeard(const std::function<bool(const Heard&)>& done) {
        return WaitUntil([&] {
            std::lock_guard lock(heardMutex_);
            return done(heard_);
        });
    }
    Heard heard() {
        std::lock_guard lock(heardMutex_);
        return heard_;
    }

  private:
    // Records what the decoder finds and answers as scripted; runs on the peer's thread.
    class Listener final : public TelnetSink {
      public:
        explicit Listener(ScriptedTelnetPeer& peer) : peer_(peer) {}
        void Data(std::span<const uint8_t> bytes) override {
            peer_.heard_.data.append(bytes.begin(), bytes.end());
        }
        void Negotiation(uint8_t verb, uint8_t option) override {
            peer_.heard_.negotiations.emplace_back(verb, option);
            answers += peer_.AnswerTo(verb, option);
        }
        void Subnegotiation(uint8_t option, std::span<const uint8_t> payload) override {
            if (option != kComPortOption) return;
            peer_.heard_.comPort.emplace_back(payload.begin(), payload.end());
            if (const auto reply = peer_.script_.answer(payload))
                answers += SubnegotiationFrame(kComPortOption, *reply);
        }
        void Command(uint8_t command) override { peer_.heard_.commands += char(command); }
        std::string answers;

      private:
        ScriptedTelnetPeer& peer_;
    };

    std::string AnswerTo(uint8_t verb, uint8_t option) {
        using namespace telnet;
        if (script_.greeting == PeerGreeting::Silent) return {};
        const bool known =
            option == kBinary || option == kSuppressGoAhead ||
            (option == kComPortOption && script_.greeting == PeerGreeting::TakesOption);
        switch (verb) {
            case kWill:
                return NegotiationFrame(known ? kDo : kDont, option);
            case kDo:
                return NegotiationFrame(known && option != kComPortOption ? kWill : kWont, option);
            default:
                return {};
        }
    }

    void Serve() {
        pollfd p{listener_, POLLIN, 0};
        while (!stop_ && poll(&p, 1, 20) <= 0) {
        }
        if (stop_) return;
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        {
            std::lock_guard lock(sendMutex_);
            connection_ = fd;
        }
        // A server offering to echo, which a serial terminal must refuse.
        if (script_.greeting != PeerGreeting::Silent)
            Send(NegotiationFrame(telnet::kWill, telnet::kEcho));
        TelnetDecoder decoder;
        Listener listener(*this);
        char buffer[4096];
        while (!stop_) {
            pollfd c{fd, POLLIN, 0};
            if (poll(&c, 1, 20) <= 0) continue;
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            std::lock_guard lock(heardMutex_);
            if (n <= 0) {
                heard_.hungUp = true;
                break;
            }
            heard_.raw.append(buffer, std::size_t(n));
            decoder.Feed(std::span(reinterpret_cast<const uint8_t*>(buffer), std::size_t(n)),
                         listener);
            if (!listener.answers.empty()) Send(std::exchange(listener.answers, {}));
        }
        std::lock_guard lock(sendMutex_);
        close(fd);
        connection_ = -1;
    }

    PeerScript script_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex sendMutex_;
    std::atomic<int> connection_{-1};
    std::mutex heardMutex_;
    Heard heard_;
};

}  // namespace vellor::testing
