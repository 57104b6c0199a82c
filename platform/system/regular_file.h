// Opening the show's data files (photos and songs): regular files only.
//
// A name in data/ may point anywhere: at a named pipe, which would block an
// ordinary open until some writer comes, or at a device such as /dev/zero,
// which never ends. Neither is a photo or a song, so neither is read.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

// Opens path read-only and close-on-exec when it is a regular file (a
// symbolic link to one counts), and returns the descriptor, in blocking mode,
// with the file's size in bytes in size. Returns -1 for a missing or
// unreadable file and for anything else: a pipe, device, socket or directory
// is refused at once, without waiting for a writer.
inline int openRegularFile(const char* path, uint64_t& size) {
    size = 0;
    if (path == nullptr) return -1;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

}  // namespace platform
