#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/deadline.h"

namespace vellor::testing {

// A real ser2net (Debian's package, 4.x) serving one device on a free loopback port for as long as
// this object lives. The configuration is written here; ser2net runs in the foreground as a child
// that dies with this process, its output kept in `folder`/ser2net.log for the failure message.
class Ser2NetServer {
  public:
    enum class Accepter : uint8_t {
        Rfc2217,      // telnet(rfc2217): the serial-port option
        RawTcp,       // tcp: bytes as they are
        PlainTelnet,  // telnet without rfc2217: refuses the option
    };

    Ser2NetServer(const std::string& devicePath, Accepter accepter, const std::string& folder)
        : accepter_(accepter), folder_(folder) {
        const std::string program = FindProgram();
        if (program.empty()) {
            why_ = "ser2net is not installed (apt-get install ser2net)";
            return;
        }
        port_ = FreeLoopbackPort();
        if (port_ == 0) {
            why_ = "no free loopback port";
            return;
        }
        const std::string config = folder_ + "/ser2net.yaml";
        std::ofstream(config) << Yaml(devicePath);
        const std::string log = folder_ + "/ser2net.log";
        const std::string pidFile = folder_ + "/ser2net.pid";
        // Everything the child needs is made before fork: after it, only exec-safe calls.
        std::vector<std::string> args = {program, "-n", "-d", "-u", "-c", config, "-P", pidFile};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed or killed test
            if (getppid() != parent) _exit(127);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (out >= 0) {
                dup2(out, STDOUT_FILENO);
                dup2(out, STDERR_FILENO);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        if (pid_ < 0) {
            why_ = "fork failed";
            return;
        }
        if (!WaitForListener()) why_ = "ser2net never listened on port " + std::to_string(port_);
    }
    ~Ser2NetServer() { Stop(); }
    Ser2NetServer(const Ser2NetServer&) = delete;
    Ser2NetServer& operator=(const Ser2NetServer&) = delete;

    bool ok() const { return why_.empty(); }
    // Why it is not serving, with what ser2net printed.
    std::string Why() const { return why_ + "\n" + Log(); }
    std::string Log() const {
        std::ifstream in(folder_ + "/ser2net.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    uint16_t port() const { return port_; }
    // The port name Vellor opens it by.
    std::string Name() const {
        return std::string(accepter_ == Accepter::RawTcp ? "tcp" : "rfc2217") +
               "://127.0.0.1:" + std::to_string(port_);
    }

    // Ends the server as an administrator would (SIGTERM) and waits for it.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    std::string Yaml(const std::string& devicePath) const {
        const std::string where = "tcp,127.0.0.1," + std::to_string(port_);
        std::string accepter;
        switch (accepter_) {
            case Accepter::Rfc2217:
                accepter = "telnet(rfc2217)," + where;
                break;
            case Accepter::RawTcp:
                accepter = where;
                break;
            case Accepter::PlainTelnet:
                accepter = "telnet," + where;
                break;
        }
        // "local": a pseudo-terminal has no carrier to wait for.
        return "connection: &vellor\n"
               "    accepter: " +
               accepter +
               "\n"
               "    connector: serialdev," +
               devicePath +
               ",9600n81,local\n"
               "    options:\n"
               "      kickolduser: true\n";
    }

    static std::string FindProgram() {
        std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
        path += ":/usr/sbin:/sbin:/usr/local/sbin";
        std::stringstream dirs(path);
        for (std::string dir; std::getline(dirs, dir, ':');) {
            const std::string candidate = dir + "/ser2net";
            if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        return {};
    }

    // A port nobody listens on now: the kernel's pick for port 0.
    static uint16_t FreeLoopbackPort() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        uint16_t port = 0;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port = ntohs(address.sin_port);
        }
        close(fd);
        return port;
    }

    // Watches the kernel's socket table rather than connecting: a probe connection would make
    // ser2net open the device.
    bool Listening() const {
        char local[32];
        std::snprintf(local, sizeof local, "0100007F:%04X", port_);
        std::ifstream table("/proc/net/tcp");
        for (std::string line; std::getline(table, line);) {
            std::istringstream fields(line);
            std::string slot, address, remote, state;
            fields >> slot >> address >> remote >> state;
            if (address == local && state == "0A") return true;  // 0A: LISTEN
        }
        return false;
    }

    bool WaitForListener() {
        return WaitUntil([&] {
                   int status = 0;
                   if (waitpid(pid_, &status, WNOHANG) == pid_) {
                       pid_ = -1;
                       return true;  // ended: the check below fails with its log
                   }
                   return Listening();
               }) &&
               pid_ > 0;
    }

    const Accepter accepter_;
    const std::string folder_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
    std::string why_;
};

}  // namespace vellor::testing
