// Names that are no regular files, for the tests of the readers that must
// refuse them at once: a named pipe, a symbolic link to /dev/zero and a
// directory.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace nonregular_files {

struct Kind {
    const char* what;
    void (*make)(const std::filesystem::path& at);  // replaces whatever is at `at`
};

inline void makeFifo(const std::filesystem::path& at) {
    std::filesystem::remove_all(at);
    if (mkfifo(at.c_str(), 0644) != 0)
        throw std::filesystem::filesystem_error("mkfifo", at, std::error_code(errno, std::generic_category()));
}

inline void makeZeroLink(const std::filesystem::path& at) {
    std::filesystem::remove_all(at);
    std::filesystem::create_symlink("/dev/zero", at);
}

inline void makeDirectory(const std::filesystem::path& at) {
    std::filesystem::remove_all(at);
    std::filesystem::create_directory(at);
}

inline const Kind kinds[] = {
    {"a named pipe", makeFifo},
    {"a link to /dev/zero", makeZeroLink},
    {"a directory", makeDirectory},
};

// While it lives, a reader that blocks (a pipe opened for reading waits for
// a writer that never comes) ends the test program with a message after
// blockSeconds, instead of hanging the run.
class BlockGuard {
public:
    static constexpr unsigned blockSeconds = 30;
    BlockGuard() {
        signal(SIGALRM, [](int) {
            static const char text[] = "a reader blocked on a file that is not a regular file\n";
            (void)!write(STDERR_FILENO, text, sizeof text - 1);
            _exit(1);
        });
        alarm(blockSeconds);
    }
    ~BlockGuard() {
        alarm(0);
        signal(SIGALRM, SIG_DFL);
    }
    BlockGuard(const BlockGuard&) = delete;
    BlockGuard& operator=(const BlockGuard&) = delete;
};

}  // namespace nonregular_files
