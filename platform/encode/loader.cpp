// The program's side of the capture module (module.h): the encode.h entry
// points, each forwarding to the module's. The module is opened by the first
// open of a capture, on the caller's thread before the capture's worker
// starts, and stays open until the process ends. It is looked for beside
// the program (the build folder) and then in ../lib/eyesonly/modules from the
// program's folder (an installed tree or an unpacked package, under any
// prefix).
#include "platform/encode/module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace platform::encode {

namespace {

const CaptureEntries* entries = nullptr;  // null until the module is open

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
        if (!std::filesystem::exists(place, failed)) continue;
        void* module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            why = dlerror();
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

bool encodeFrame(const FrameView& frame, std::string& error) {
    return entries->encodeFrame(frame, error);
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

}  // namespace platform::encode
