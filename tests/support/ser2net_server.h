#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/scripted_telnet_peer.h"
#include "support/temp_folder.h"

namespace vellor::testing {

// The real ser2net (Debian 12's 4.3) serving `device` on a loopback port while this object lives,
// as a child that dies with this process; its configuration and log go into `folder`.
class Ser2NetServer {
  public:
    enum class Accepter : uint8_t { Rfc2217, RawTcp, PlainTelnet /* refuses the option */ };

    // On `port` when given (a restart at the same address), or a free one.
    Ser2NetServer(const std::string& device, Accepter accepter, const std::string& folder,
                  int port = 0)
        : accepter_(accepter),
          port_(port ? port : FreeLoopbackPort()),
          log_(folder + "/ser2net.log") {
        const char* kinds[] = {"telnet(rfc2217),", "", "telnet,"};
        const std::string config = folder + "/ser2net.yaml", pid = folder + "/ser2net.pid";
        std::ofstream(config) << "connection: &vellor\n    accepter: " << kinds[int(accepter)]
                              << "tcp,127.0.0.1," << port_ << "\n    connector: serialdev,"
                              << device << ",9600n81,local\n";  // no carrier to wait for
        const pid_t parent = getpid();
        if ((pid_ = fork()) == 0) {            // only calls that are safe between fork and exec
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed or killed test
            const int out = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (getppid() == parent && dup2(out, STDOUT_FILENO) >= 0 &&
                dup2(out, STDERR_FILENO) >= 0)
                execl("/usr/sbin/ser2net", "ser2net", "-n", "-d", "-u", "-c", config.c_str(), "-P",
                      pid.c_str(), nullptr);
            _exit(127);
        }
        // Listening, as the kernel's table shows: a probe connection would open the device.
        char listening[64];
        std::snprintf(listening, sizeof listening, ": 0100007F:%04X 00000000:0000 0A", port_);
        WaitUntil([&] { return Ended() || ReadFile("/proc/net/tcp").find(listening) < npos; });
        ok_ = !Ended();
    }
    ~Ser2NetServer() { Stop(); }

    bool ok() const { return ok_; }
    std::string Why() const { return "ser2net did not serve on " + Name() + ": " + ReadFile(log_); }
    std::string Name() const {
        return (accepter_ == Accepter::RawTcp ? "tcp" : "rfc2217") + std::string("://127.0.0.1:") +
               std::to_string(port_);
    }
    int port() const { return port_; }
    void Stop() {  // as an administrator would, and waits for it
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    static constexpr auto npos = std::string::npos;
    static int FreeLoopbackPort() {
        int port = 0;
        close(BoundLoopbackSocket(port));
        return port;
    }
    bool Ended() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) != 0) pid_ = -1;  // reaped: never kill it
        return pid_ <= 0;
    }

    const Accepter accepter_;
    const int port_;
    const std::string log_;
    pid_t pid_ = -1;
    bool ok_ = false;
};

}  // namespace vellor::testing
