// The system on Windows: the show's files, the program's folder and standard
// streams (regular_file.h, process.h), and stop requests (signals.h).
//
// Paths are UTF-8 everywhere: the program's manifest makes UTF-8 the
// process's code page, so the C library's narrow calls (open, stat, fopen)
// and the command line take UTF-8 as they do on Linux.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/system/process.h"
#include "platform/system/regular_file.h"
#include "platform/system/signals.h"

namespace platform {

// ---------------------------------------------------------------------------
// 1. files

int openRegularFile(const char* path, uint64_t& size) {
    size = 0;
    if (path == nullptr) return -1;
    const int fd = _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return -1;
    struct _stat64 info {};
    if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG || info.st_size < 0) {
        _close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

const uint8_t* mapFile(int fd, size_t size) {
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return nullptr;
    // The view keeps the mapping alive by itself.
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
    CloseHandle(mapping);
    return static_cast<const uint8_t*>(view);
}

void unmapFile(const uint8_t* view, size_t) {
    UnmapViewOfFile(view);
}

uint8_t* mapZeroedPages(size_t size) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void unmapPages(uint8_t* pages, size_t) {
    VirtualFree(pages, 0, MEM_RELEASE);
}

// ---------------------------------------------------------------------------
// 2. the process

std::filesystem::path executableFolder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

namespace {

// A handle that leads somewhere: a console, a file or a pipe.
bool usable(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void keepFreedMemory() {}

// The program is a windowed one, so a double-click opens no console. Started
// from a console, it writes into that one; a stream redirected to a file or a
// pipe was handed to it and stays as it is.
// Lines end in a bare line feed as on Linux, so that a trace written here
// is the same file, byte for byte.
bool openStandardStreams() {
    const bool outUsable = usable(STD_OUTPUT_HANDLE);
    const bool errUsable = usable(STD_ERROR_HANDLE);
    bool outOpened = outUsable;
    if ((!outUsable || !errUsable) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!outUsable && std::freopen("CONOUT$", "w", stdout) != nullptr) {
            std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
            outOpened = true;
        }
        if (!errUsable && std::freopen("CONOUT$", "w", stderr) != nullptr) std::setvbuf(stderr, nullptr, _IONBF, 0);
    }
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return !outOpened;
}

// ---------------------------------------------------------------------------
// 3. stop requests: Ctrl-C and Ctrl-Break in the console stand for SIGINT,
// the console closed, a log-off or a shutdown for SIGTERM. The system calls
// the handler on a thread of its own, which waits here as the watcher on
// Linux does.

namespace {

constexpr auto graceTime = std::chrono::seconds(3);   // for the loop to see a stop
constexpr auto pollStep = std::chrono::milliseconds(20);

std::atomic<int> pendingSignal{0};
std::atomic<bool> loopSawSignal{false};
std::atomic<int> boxesOpen{0};
void (*beforeEnd)() = nullptr;  // as watchStopSignals was given it

[[noreturn]] void endNow(int signal) {
    if (beforeEnd != nullptr) beforeEnd();
    _exit(128 + signal);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    int none = 0;
    // A second request ends the process whatever it is doing.
    if (!pendingSignal.compare_exchange_strong(none, signal)) endNow(signal);
    const auto deadline = std::chrono::steady_clock::now() + graceTime;
    while (!loopSawSignal) {
        if (boxesOpen > 0 || std::chrono::steady_clock::now() >= deadline) endNow(signal);
        std::this_thread::sleep_for(pollStep);
    }
    // The loop ends the process by itself now; a console being closed would
    // end it as soon as this returns, so that waits for it.
    if (signal == SIGINT) return TRUE;
    for (;;) std::this_thread::sleep_for(pollStep);
}

}  // namespace

BoxOpen::BoxOpen() {
    ++boxesOpen;
}

BoxOpen::~BoxOpen() {
    --boxesOpen;
}

void watchStopSignals(void (*atEnd)()) {
    beforeEnd = atEnd;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int stopSignal() {
    return pendingSignal;
}

void stopSeen() {
    loopSawSignal = true;
}

}  // namespace platform
