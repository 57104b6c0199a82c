// The system's files and process on Linux and in the browser
// (regular_file.h, process.h).
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/system/process.h"
#include "platform/system/regular_file.h"

namespace platform {

int openRegularFile(const char* path, uint64_t& size) {
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

const uint8_t* mapFile(int fd, size_t size) {
    void* view = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    return view == MAP_FAILED ? nullptr : static_cast<const uint8_t*>(view);
}

void unmapFile(const uint8_t* view, size_t size) {
    munmap(const_cast<uint8_t*>(view), size);
}

uint8_t* mapZeroedPages(size_t size) {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(memory, size, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(memory, size, MADV_POPULATE_WRITE);
#endif
    return static_cast<uint8_t*>(memory);
}

void unmapPages(uint8_t* pages, size_t size) {
    munmap(pages, size);
}

int readableStatus(const char* path) {
    struct stat info {};
    if (stat(path, &info) != 0) return errno;
    if (access(path, R_OK) != 0) return errno;
    return 0;
}

void utf8Arguments(int&, char**&) {}

std::filesystem::path executableFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path() : self.parent_path();
}

std::filesystem::path userDataFolder() {
    const char* xdgDataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // An XDG_DATA_HOME that is not absolute is to be ignored.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return std::filesystem::path(xdgDataHome) / "eyesonly/data";
    if (home != nullptr && home[0] == '/') return std::filesystem::path(home) / ".local/share/eyesonly/data";
    return {};
}

std::filesystem::path installedDataFolder() {
    const std::filesystem::path executable = executableFolder();
    if (executable.empty()) return {};
    return (executable.parent_path() / "share/eyesonly/data").lexically_normal();
}

bool openStandardStreams() {
    bool outputClosed = false;
    for (int fd = 0; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        outputClosed = outputClosed || fd == STDOUT_FILENO;
        const int opened = open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) close(opened);
    }
    return outputClosed;
}

void keepFreedMemory() {
#ifdef __GLIBC__
    constexpr int heapBlockMax = 4 << 20;  // bytes
    constexpr int keptMax = 8 << 20;       // bytes
    mallopt(M_MMAP_THRESHOLD, heapBlockMax);
    mallopt(M_TRIM_THRESHOLD, keptMax);
#endif
}

}  // namespace platform
