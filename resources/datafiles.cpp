#include "resources/datafiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/system/process.h"
#include "platform/system/regular_file.h"

std::string dataOption;

const char* const dataFileNames[5] = {
    "data/skorv1.bitmap", "data/skorv2.bitmap", "data/skorv3.bitmap", "data/Tq_outro.xm", "data/VELTO63K.XM",
};

namespace {

constexpr const char* dataPrefix = "data/";
constexpr auto separator = std::filesystem::path::preferred_separator;  // '\\' on Windows

// The unreadable files already reported.
std::set<std::string> reportedUnreadable;

bool absent(int status) {
    return status == ENOENT || status == ENOTDIR;
}

bool exists(const std::string& path) {
    return !absent(platform::readableStatus(path.c_str()));
}

// True when path is there to be read; false when it is absent, and when it
// (or its folder) cannot be read, which is said once a path.
bool readable(const std::string& path) {
    const int err = platform::readableStatus(path.c_str());
    if (err == 0) return true;
    if (!absent(err) && reportedUnreadable.insert(path).second)
        std::fprintf(stderr, "eyesonly: cannot read %s: %s\n", path.c_str(), std::strerror(err));
    return false;
}

}  // namespace

std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    if (!dataOption.empty()) {
        std::string folder = dataOption;
        while (folder.size() > 1 && (folder.back() == '/' || folder.back() == static_cast<char>(separator)) &&
               folder[folder.size() - 2] != ':')
            folder.pop_back();
        folders.push_back(folder);
    }
    folders.push_back("data");
    const std::filesystem::path user = platform::userDataFolder();
    if (!user.empty()) folders.push_back(platform::utf8Path(user));
    const std::filesystem::path executable = platform::executableFolder();
    if (!executable.empty()) folders.push_back(platform::utf8Path(executable / "data"));
    const std::filesystem::path installed = platform::installedDataFolder();
    if (!installed.empty()) folders.push_back(platform::utf8Path(installed));
    return folders;
}

std::string dataFilePath(const char* name) {
    std::string file = name;
    if (file.rfind(dataPrefix, 0) == 0) file.erase(0, std::char_traits<char>::length(dataPrefix));
    for (const std::string& folder : dataFolders()) {
        const std::string path = platform::utf8Path(platform::pathFromUtf8(folder) / platform::pathFromUtf8(file));
        if (readable(path)) return path;
    }
    return platform::utf8Path(platform::pathFromUtf8(name).make_preferred());
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
        const std::filesystem::path absolute = std::filesystem::absolute(platform::pathFromUtf8(folder), error);
        text += error ? folder : platform::utf8Path(absolute.lexically_normal().make_preferred());
    }
    return text;
}

void resetDataFiles() {
    dataOption.clear();
    reportedUnreadable.clear();
}
