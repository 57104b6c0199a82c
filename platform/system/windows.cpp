// The system on Windows: the show's files, the program's folder and standard
// streams (regular_file.h, process.h), as posix.cpp on Linux; the stop
// requests are console_events.cpp's.
//
// Paths are UTF-8 in the program's strings as on Linux; they reach the
// system through its wide calls, so that a path in any language and of any
// length (with the manifest's long-path awareness) opens whatever the code
// page.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/system/process.h"
#include "platform/system/regular_file.h"

namespace platform {

namespace {

std::wstring wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string narrow(const wchar_t* text) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return {};
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), length, nullptr, nullptr);
    result.pop_back();
    return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// 1. files

int openRegularFile(const char* path, uint64_t& size) {
    size = 0;
    if (path == nullptr) return -1;
    const int fd = _wopen(wide(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return -1;
    struct _stat64 info {};
    if (_fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG || info.st_size < 0) {
        _close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

int readableStatus(const char* path) {
    const std::wstring name = wide(path);
    struct _stat64 info {};
    if (_wstat64(name.c_str(), &info) != 0) return errno;
    if (_waccess(name.c_str(), 4) != 0) return errno;
    return 0;
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

void utf8Arguments(int& argc, char**& argv) {
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wideArguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wideArguments == nullptr) return;
    texts.clear();
    for (int i = 0; i < count; ++i) texts.push_back(narrow(wideArguments[i]));
    LocalFree(wideArguments);
    pointers.clear();
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

std::filesystem::path userDataFolder() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || *appData == L'\0') return {};
    return std::filesystem::path(appData) / L"eyesonly" / L"data";
}

std::filesystem::path installedDataFolder() {
    return {};
}

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

// What standard error says where no one would see it (a double-click: no
// console, nothing redirected) goes to a temporary file of its own (gone
// when closed), shown in a box when the program ends.
FILE* unseenErrors = nullptr;
constexpr int boxLines = 12;  // shown at most

void showUnseenErrors() {
    std::fflush(stderr);
    std::string text;
    if (std::fseek(unseenErrors, 0, SEEK_SET) == 0) {
        char chunk[4096];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, unseenErrors)) > 0;) text.append(chunk, got);
    }
    std::fclose(unseenErrors);
    if (text.empty()) return;
    // A box of a screen's height at most: a bad option's usage text is cut
    // after its first lines.
    size_t end = 0;
    for (int line = 0; line < boxLines && end != std::string::npos; ++line) end = text.find('\n', end + (line > 0));
    if (end != std::string::npos && end + 1 < text.size()) text.replace(end + 1, std::string::npos, "...\n");
    MessageBoxW(nullptr, wide(text).c_str(), L"eyesonly", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void keepUnseenErrors() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"eyo", 0, name) == 0) return;
    unseenErrors = _wfopen(name, L"w+bD");
    if (unseenErrors == nullptr) {
        DeleteFileW(name);
        return;
    }
    // Standard error's descriptor leads into it, whatever it led to before.
    if (_dup2(_fileno(unseenErrors), 2) != 0) {
        std::fclose(unseenErrors);
        unseenErrors = nullptr;
        return;
    }
#ifndef _UCRT
    // A stream that had no handle when the C library started is marked as
    // having no descriptor at all (-2): it is given its own back.
    stderr->_file = 2;
#endif
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::atexit(showUnseenErrors);
}

}  // namespace

void keepFreedMemory() {}

// The program is a windowed one, so a double-click opens no console. Started
// from a console (a command prompt, or eyesonly.com, which starts it and
// waits), it joins that console, so that its lines come there and Ctrl-C
// reaches it; a stream redirected to a file or a pipe was handed to it and
// stays as it is. With no console and standard error going nowhere, what
// would be said there comes in a box at the end.
// Lines end in a bare line feed as on Linux, so that a trace written here
// is the same file, byte for byte.
bool openStandardStreams() {
    const bool outUsable = usable(STD_OUTPUT_HANDLE);
    const bool errUsable = usable(STD_ERROR_HANDLE);
    bool outOpened = outUsable;
    bool errOpened = errUsable;
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!outUsable && std::freopen("CONOUT$", "w", stdout) != nullptr) {
            std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
            outOpened = true;
        }
        if (!errUsable && std::freopen("CONOUT$", "w", stderr) != nullptr) {
            std::setvbuf(stderr, nullptr, _IONBF, 0);
            errOpened = true;
        }
    }
    if (!errOpened) keepUnseenErrors();
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return !outOpened;
}

}  // namespace platform
