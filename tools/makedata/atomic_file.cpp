#include "tools/makedata/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

int writeFileAtomically(const std::string& path, const uint8_t* bytes, size_t size) {
    // 1. a temporary ".name.XXXXXX" in the target's directory, so that the
    //    rename stays on one file system
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = dir + "." + name + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return errno;
    const mode_t mask = umask(0);
    umask(mask);
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr || fchmod(fd, 0666 & ~mask) != 0) {
        const int error = errno;
        if (file) std::fclose(file); else close(fd);
        unlink(temporary.c_str());
        return error;
    }

    // 2. every byte written, flushed and synced before the file is closed
    int error = 0;
    errno = 0;
    if (std::fwrite(bytes, 1, size, file) != size || std::fflush(file) != 0 || fsync(fd) != 0)
        error = errno != 0 ? errno : EIO;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;

    // 3. the whole file takes the target's name, or goes
    if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    return error;
}
