#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/deadline.h"

namespace vellor::testing {

// The real ser2net (Debian 12's 4.3) serving one device on a free loopback port while this object
// lives: the YAML configuration is written into `folder`, ser2net runs in the foreground as a
// child that dies with this process, and its output goes to `folder`/ser2net.log.
class Ser2NetServer {
  public:
    enum class Accepter : uint8_t {
        Rfc2217,      // telnet with the serial-port option
        RawTcp,       // bytes as they are
        PlainTelnet,  // telnet without the option: refuses it
    };

    // On `port`, or on a free one when it is 0.
    Ser2NetServer(const std::string& device, Accepter accepter, const std::string& folder,
                  int port = 0)
        : accepter_(accepter), log_(folder + "/ser2net.log") {
        std::string program;
        for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/", "/sbin/"})
            if (program.empty() && access((dir + std::string("ser2net")).c_str(), X_OK) == 0)
                program = dir + std::string("ser2net");
        port_ = port != 0 ? port : FreeLoopbackPort();
        if (program.empty() || port_ == 0) return;
        const std::string where = "tcp,127.0.0.1," + std::to_string(port_);
        const char* kinds[] = {"telnet(rfc2217),", "", "telnet,"};
        // "local": a pseudo-terminal has no carrier to wait for.
        std::ofstream(folder + "/ser2net.yaml")
            << "connection: &vellor\n    accepter: " << kinds[int(accepter)] << where
            << "\n    connector: serialdev," << device << ",9600n81,local\n";
        std::vector<std::string> args = {program, "-n",
                                         "-d",    "-u",
                                         "-c",    folder + "/ser2net.yaml",
                                         "-P",    folder + "/ser2net.pid"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();  // the child makes only calls that are safe between fork and exec
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed or killed test
            if (getppid() != parent) _exit(127);
            const int out = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        // The kernel's socket table, not a probe connection: that would make ser2net open the
        // device.
        char listening[64];
        std::snprintf(listening, sizeof listening, ": 0100007F:%04X 00000000:0000 0A", port_);
        WaitUntil([&] {
            std::stringstream table;
            table << std::ifstream("/proc/net/tcp").rdbuf();
            return Ended() || table.str().find(listening) != std::string::npos;
        });
        ok_ = !Ended();
    }
    ~Ser2NetServer() { Stop(); }

    bool ok() const { return ok_; }
    // Why it is not serving, with what ser2net printed.
    std::string Why() const {
        std::stringstream log;
        log << std::ifstream(log_).rdbuf();
        return "ser2net (Debian package ser2net) did not serve on port " + std::to_string(port_) +
               ":\n" + log.str();
    }
    std::string Name() const {
        return (accepter_ == Accepter::RawTcp ? "tcp" : "rfc2217") + std::string("://127.0.0.1:") +
               std::to_string(port_);
    }
    int port() const { return port_; }

    // Ends the server as an administrator would, and waits for it.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    bool Ended() {
        if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) != 0) pid_ = -1;  // reaped: never kill it
        return pid_ <= 0;
    }
    static int FreeLoopbackPort() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                           getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
        close(fd);
        return bound ? ntohs(address.sin_port) : 0;
    }

    const Accepter accepter_;
    const std::string log_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ok_ = false;
};

}  // namespace vellor::testing
