#pragma once

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/deadline.h"

namespace vellor::testing {

// Runs `body` in a child as "nobody" (root may open any file) while the parent runs `whileWaiting`;
// the child's exit code, -1 when it did not exit in time. _exit: no clean-up runs twice.
inline int RunUnprivileged(const std::function<int()>& body,
                           const std::function<void()>& whileWaiting = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (::geteuid() == 0 && (!nobody || ::setgroups(0, nullptr) || ::setgid(nobody->pw_gid) ||
                                 ::setuid(nobody->pw_uid)))
            ::_exit(125);
        ::_exit(body());
    }
    int status = 0, ended = 0;  // a pid_t
    if (child > 0 &&
        !WaitUntil([&] { return (ended = ::waitpid(child, &status, WNOHANG)) != 0; }, whileWaiting))
        ::kill(child, SIGKILL), ::waitpid(child, &status, 0);
    return ended == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vellor::testing
