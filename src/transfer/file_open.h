#pragma once

#include <sys/stat.h>

#include <string>

namespace vellor {

// Opens `path` (with O_CLOEXEC and O_NOCTTY added) without waiting: a named pipe with nobody at
// its other end would otherwise hold the UI thread forever. The descriptor is left non-blocking
// and `info` says what was opened. -1 with errno set on failure.
int OpenWithoutWaiting(const std::string& path, int flags, struct stat& info);

// Lets reads and writes on `fd` wait again.
void MakeBlocking(int fd);

}  // namespace vellor
