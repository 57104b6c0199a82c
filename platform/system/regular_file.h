// Opening the show's data files (photos and songs): regular files only, and
// the memory the bitmap reader maps them into.
//
// A name in data/ may point anywhere: at a named pipe, which would block an
// ordinary open until some writer comes, or at a device such as /dev/zero,
// which never ends. Neither is a photo or a song, so neither is read.
//
// posix.cpp implements these on Linux and in the browser, windows.cpp on
// Windows. Paths are UTF-8 on every system.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// Opens path read-only, in binary and not inherited by child processes, when
// it is a regular file (a symbolic link to one counts), and returns the
// descriptor, in blocking mode, with the file's size in bytes in size.
// Returns -1 for a missing or unreadable file and for anything else: a pipe,
// device, socket or directory is refused at once, without waiting for a
// writer. The descriptor is read with read() and closed with close().
int openRegularFile(const char* path, uint64_t& size);

// 0 when path is there to be read; otherwise the reason as an errno value:
// ENOENT or ENOTDIR when it is not there, others (EACCES) when it is there
// but cannot be read.
int readableStatus(const char* path);

// The first size bytes of the open file fd, mapped read-only and read in
// at once; null when that failed. size is not 0.
const uint8_t* mapFile(int fd, size_t size);
void unmapFile(const uint8_t* view, size_t size);

// size bytes of zeroed whole pages straight from the system, made present at
// once (in huge pages where the system offers them); null when none.
uint8_t* mapZeroedPages(size_t size);
void unmapPages(uint8_t* pages, size_t size);

}  // namespace platform
