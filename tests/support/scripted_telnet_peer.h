#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "support/deadline.h"

namespace vellor::testing {

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

// A port server on loopback that a test plays itself: it sends what the test scripts and hands
// over, byte for byte, what the client sent, so the test sees the wire exactly.
class ScriptedTelnetPeer {
  public:
    ScriptedTelnetPeer() : listener_(BoundLoopbackSocket(port_)) {
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
        const std::size_t step = byteByByte ? 1 : bytes.size();
        bool sent = WaitUntil([&] { return Connected(); });
        for (std::size_t at = 0; sent && at < bytes.size(); at += step)
            sent = send(connection_, bytes.data() + at, step, MSG_NOSIGNAL) == ssize_t(step);
        return sent;
    }
    // What the client sent next, once that comes to `count` bytes, it closed or kPatience passed.
    std::string Next(std::size_t count) {
        std::string got;
        WaitUntil([&] {
            char buffer[4096];
            const ssize_t n = Connected() ? recv(connection_, buffer, sizeof buffer, 0) : -1;
            got.append(buffer, std::size_t(std::max<ssize_t>(n, 0)));
            return got.size() >= count || n == 0;
        });
        return got;
    }
    void Hangup() { shutdown(connection_, SHUT_RDWR); }  // as a server going away

  private:
    bool Connected() {
        if (connection_ < 0)
            connection_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        const int on = 1;  // one segment per send, so a test cuts the stream where it wants
        return connection_ >= 0 &&
               setsockopt(connection_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
    }

    int port_ = 0;
    const int listener_;
    int connection_ = -1;
};

}  // namespace vellor::testing
