#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>

namespace vellor::testing {

// Runs `body` in a child process as a user without special rights: "nobody" when the tests run
// as root (who may open any file), the current user otherwise. Returns the child's exit code, or
// -1 when it did not exit by itself. The child leaves with _exit: nothing of the parent's
// clean-up runs twice.
inline int RunUnprivileged(const std::function<int()>& body,
                           const std::function<void()>& whileWaiting = {}) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (nobody == nullptr || ::setgroups(0, nullptr) != 0 ||
                ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
                ::_exit(125);
            }
        }
        ::_exit(body());
    }
    // `whileWaiting` keeps the parent's side going (an event loop the child talks to), at most
    // for a deadline, after which the child is stopped and the run counts as failed.
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const pid_t done = ::waitpid(child, &status, whileWaiting ? WNOHANG : 0);
        if (done == child) break;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        whileWaiting();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vellor::testing
