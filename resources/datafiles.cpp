#include "resources/datafiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/system/process.h"

std::string dataOption;

const char* const dataFileNames[5] = {
    "data/skorv1.bitmap", "data/skorv2.bitmap", "data/skorv3.bitmap", "data/Tq_outro.xm", "data/VELTO63K.XM",
};

namespace {

constexpr const char* dataPrefix = "data/";

// The unreadable files already reported.
std::set<std::string> reportedUnreadable;

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// True when path is there to be read; false when it is absent, and when it
// (or its folder) cannot be read, which is said once a path.
bool readable(const std::string& path) {
    struct stat info {};
    int err = 0;
    if (stat(path.c_str(), &info) != 0)
        err = errno;
    else if (access(path.c_str(), R_OK) != 0)
        err = errno;
    if (err == 0) return true;
    if (err != ENOENT && err != ENOTDIR && reportedUnreadable.insert(path).second)
        std::fprintf(stderr, "eyesonly: cannot read %s: %s\n", path.c_str(), std::strerror(err));
    return false;
}

}  // namespace

std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    if (!dataOption.empty()) {
        std::string folder = dataOption;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        folders.push_back(folder);
    }
    folders.push_back("data");
    const char* xdgDataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // An XDG_DATA_HOME that is not absolute is to be ignored.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        folders.push_back(std::string(xdgDataHome) + "/eyesonly/data");
    else if (home != nullptr && home[0] == '/')
        folders.push_back(std::string(home) + "/.local/share/eyesonly/data");
    const std::filesystem::path executable = platform::executableFolder();
    if (!executable.empty()) {
        folders.push_back((executable / "data").string());
        folders.push_back((executable.parent_path() / "share/eyesonly/data").lexically_normal().string());
    }
    return folders;
}

std::string dataFilePath(const char* name) {
    std::string file = name;
    if (file.rfind(dataPrefix, 0) == 0) file.erase(0, std::char_traits<char>::length(dataPrefix));
    for (const std::string& folder : dataFolders()) {
        const std::string path = folder + "/" + file;
        if (readable(path)) return path;
    }
    return name;
}

bool anyDataFileFound() {
    for (const char* name : dataFileNames)
        if (exists(dataFilePath(name))) return true;
    return false;
}

std::string dataFoldersText() {
    std::string text;
    for (const std::string& folder : dataFolders()) {
        if (!text.empty()) text += ", ";
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(folder, error);
        text += error ? folder : absolute.lexically_normal().string();
    }
    return text;
}

void resetDataFiles() {
    dataOption.clear();
    reportedUnreadable.clear();
}
