// eyesonly.com: the show for a command prompt. eyesonly.exe is a windowed
// program, so that a double-click opens no console; a command prompt does
// not wait for such a program and never sees its exit code. Typed as
// "eyesonly", the prompt finds this console program first (.com before
// .exe), which starts eyesonly.exe beside it with the same arguments and
// the same standard streams, waits for it and ends with its exit code.
// Ctrl-C reaches the show, which is in the same console and ends by itself
// (with 130); this program only goes on waiting.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// This program's own path.
std::wstring ownPath() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return name.substr(0, length);
        name.resize(name.size() * 2);
    }
}

// The command line after the program's own name, as the system split it:
// the name quoted runs to the closing quote, unquoted to the first blank.
const wchar_t* arguments(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    }
    return line;
}

BOOL WINAPI keepWaiting(DWORD) {
    return TRUE;
}

}  // namespace

int main() {
    // 1. eyesonly.exe beside this program.
    std::wstring program = ownPath();
    const size_t dot = program.find_last_of(L'.');
    if (program.empty() || dot == std::wstring::npos) {
        std::fputs("eyesonly: cannot find the program's own folder\n", stderr);
        return 1;
    }
    program.replace(dot, std::wstring::npos, L".exe");
    std::wstring commandLine = L"\"" + program + L"\"" + arguments(GetCommandLineW());

    // 2. Started with this console's streams; Ctrl-C is the show's to
    //    answer.
    SetConsoleCtrlHandler(keepWaiting, TRUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION show{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &show)) {
        std::fprintf(stderr, "eyesonly: cannot start eyesonly.exe beside eyesonly.com (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return 1;
    }

    // 3. Its end is this program's.
    WaitForSingleObject(show.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(show.hProcess, &code);
    CloseHandle(show.hThread);
    CloseHandle(show.hProcess);
    return static_cast<int>(code);
}
