#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "support/deadline.h"

namespace vellor::testing {

// A pseudo-terminal with both ends raw. The test talks through `master`; the program opens
// `slavePath`. The slave stays open here too so the line lives as long as the pair.
class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        slavePath = name;
        termios t{};
        for (int fd : {master, slave}) {
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        CloseMaster();
        if (slave >= 0) close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master >= 0 && !slavePath.empty(); }

    // Writes everything into the master (what the far end sends), waiting for room as needed;
    // false when the other side stops taking bytes for kPatience.
    bool Send(const std::string& bytes) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 1000);
        }
        return true;
    }

    // Reads from the master until `count` bytes came or `limit` passed.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, std::size_t(n));
                continue;
            }
            pollfd p{master, POLLIN, 0};
            poll(&p, 1, 20);
        }
        return out;
    }

    // Everything the master can read right now.
    std::string Drain() {
        std::string out;
        char buffer[4096];
        ssize_t n;
        while ((n = read(master, buffer, sizeof buffer)) > 0)
            out.append(buffer, std::size_t(n));
        return out;
    }

    // The far end goes away, as an unplugged adapter would.
    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }

    int master = -1;
    int slave = -1;
    std::string slavePath;
};

}  // namespace vellor::testing
