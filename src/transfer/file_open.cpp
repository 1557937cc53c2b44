#include "transfer/file_open.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vellor {

int OpenWithoutWaiting(const std::string& path, int flags, struct stat& info) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

void MakeBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}

}  // namespace vellor
