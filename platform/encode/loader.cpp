// The program's side of the capture module (module.h): the encode.h entry
// points, each forwarding to the module's. The module is opened by the first
// open of a capture, on the caller's thread before the capture's worker
// starts, and stays open until the process ends. It is looked for beside
// the program (the build folder) and then in ../lib/eyesonly/modules from the
// program's folder (an installed tree or an unpacked package, under any
// prefix). Only a regular file that holds a whole shared library is handed
// to the dynamic loader, and the very file that was checked (through its
// open descriptor): a pipe in its place would block the loader for good,
// and a file cut short would fault when its missing pages are touched.
#include "platform/encode/module.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace platform::encode {

namespace {

const CaptureEntries* entries = nullptr;  // null until the module is open

// The largest module taken; the module is a few megabytes.
constexpr uint64_t largestModule = uint64_t{1} << 30;

// True when fd (a regular file of size bytes) holds a whole shared library
// of this program's kind: its header, its program and section headers and
// every segment it maps lie within the file.
bool wholeSharedLibrary(int fd, uint64_t size) {
    ElfW(Ehdr) header{};
    if (size < sizeof header || pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) return false;
    const unsigned char nativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != nativeClass ||
        header.e_type != ET_DYN || header.e_phentsize != sizeof(ElfW(Phdr)) || header.e_phnum == 0) {
        return false;
    }
    const auto within = [size](uint64_t offset, uint64_t length) { return offset <= size && length <= size - offset; };
    if (!within(header.e_phoff, uint64_t{header.e_phnum} * header.e_phentsize) ||
        !within(header.e_shoff, uint64_t{header.e_shnum} * header.e_shentsize)) {
        return false;
    }
    for (unsigned i = 0; i < header.e_phnum; ++i) {
        ElfW(Phdr) segment{};
        const off_t at = static_cast<off_t>(header.e_phoff + uint64_t{i} * sizeof segment);
        if (pread(fd, &segment, sizeof segment, at) != static_cast<ssize_t>(sizeof segment)) return false;
        if (segment.p_type == PT_LOAD && !within(segment.p_offset, segment.p_filesz)) return false;
    }
    return true;
}

// Opens the module file at place and checks it, without waiting on a pipe;
// the descriptor (-1 when there is none, with why empty when place does not
// exist, else saying what is wrong with it).
int openModuleFile(const std::filesystem::path& place, std::string& why) {
    const int fd = open(place.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) why = place.string() + ": " + std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = place.string() + " is not a regular file";
    } else if (static_cast<uint64_t>(info.st_size) > largestModule ||
               !wholeSharedLibrary(fd, static_cast<uint64_t>(info.st_size))) {
        why = place.string() + " is cut short or not a shared library (" + std::to_string(info.st_size) + " bytes)";
    } else {
        return fd;
    }
    close(fd);
    return -1;
}

// Opens the module; false with a one-line error naming where it looked.
bool loadModule(std::string& error) {
    if (entries != nullptr) return true;
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) {
        error = "cannot load the capture module: the program's own folder is unknown (" + failed.message() + ")";
        return false;
    }
    const std::filesystem::path folder = self.parent_path();
    const std::filesystem::path places[] = {
        folder / captureModuleFile,
        (folder / installedModuleFolder / captureModuleFile).lexically_normal(),
    };
    std::string why;
    for (const std::filesystem::path& place : places) {
        const int fd = openModuleFile(place, why);
        if (fd < 0) {
            if (why.empty()) continue;
            break;
        }
        // The checked file itself, not whatever is at its name by now.
        const std::string opened = "/proc/self/fd/" + std::to_string(fd);
        void* module = dlopen(opened.c_str(), RTLD_NOW | RTLD_LOCAL);
        close(fd);
        if (module == nullptr) {
            const std::string said = dlerror();
            why = place.string() + ": " + (said.rfind(opened + ": ", 0) == 0 ? said.substr(opened.size() + 2) : said);
            break;
        }
        const auto entry = reinterpret_cast<CaptureEntriesFunction>(dlsym(module, captureModuleEntry));
        const CaptureEntries* found = entry != nullptr ? entry() : nullptr;
        if (found == nullptr || found->version != captureModuleVersion) {
            why = place.string() + " is not this program's capture module";
            dlclose(module);
            break;
        }
        entries = found;
        return true;
    }
    if (why.empty()) why = "not found in " + places[0].parent_path().string() + " or " + places[1].parent_path().string();
    error = "cannot load the capture module " + std::string(captureModuleFile) + ": " + why;
    return false;
}

}  // namespace

bool openEncodedFile(const CaptureSettings& settings, std::string& error) {
    return loadModule(error) && entries->openEncodedFile(settings, error);
}

bool encodeFrame(const FrameView& frame, int64_t frameNumber, std::string& error) {
    return entries->encodeFrame(frame, frameNumber, error);
}

bool encodeSound(const int16_t* frames, int frameCount, std::string& error) {
    return entries->encodeSound(frames, frameCount, error);
}

bool closeEncodedFile(bool complete, const std::vector<Chapter>& chapters, std::string& error, CaptureKept& kept) {
    return entries->closeEncodedFile(complete, chapters, error, kept);
}

// Without the module no encoded file was ever opened: nothing to wait for.
bool holdFilePlayable(std::chrono::milliseconds limit) {
    return entries == nullptr || entries->holdFilePlayable(limit);
}

bool openFrameDirectory(const CaptureSettings& settings, std::string& error) {
    return loadModule(error) && entries->openFrameDirectory(settings, error);
}

bool writeFramePng(const FrameView& frame, int64_t frameNumber, std::string& error) {
    return entries->writeFramePng(frame, frameNumber, error);
}

bool writeWavSound(const int16_t* frames, int frameCount, std::string& error) {
    return entries->writeWavSound(frames, frameCount, error);
}

bool closeFrameDirectory(std::string& error, CaptureKept& kept) {
    return entries->closeFrameDirectory(error, kept);
}

bool writeWholeFile(const std::string& path, const std::string& bytes, bool force, std::string& error) {
    return loadModule(error) && entries->writeWholeFile(path, bytes, force, error);
}

}  // namespace platform::encode
