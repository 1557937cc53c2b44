#pragma once

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/deadline.h"

namespace vellor::testing {

// Runs `body` in a child process as a user without special rights: "nobody" when the tests run
// as root (who may open any file), the current user otherwise; the parent runs `whileWaiting`
// meanwhile (an event loop the child talks to). Returns the child's exit code, or -1 when it did
// not exit by itself in time. The child leaves with _exit: no clean-up of the parent runs twice.
inline int RunUnprivileged(const std::function<int()>& body,
                           const std::function<void()>& whileWaiting = {}) {
    const pid_t child = ::fork();
    if (child == 0) {
        const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
        if (::geteuid() == 0 && (nobody == nullptr || ::setgroups(0, nullptr) != 0 ||
                                 ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0))
            ::_exit(125);
        ::_exit(body());
    }
    int status = 0;
    pid_t ended = 0;
    if (child > 0 && !WaitUntil([&] { return (ended = ::waitpid(child, &status, WNOHANG)) != 0; },
                                whileWaiting)) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    return ended == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vellor::testing
