// The one place where a capture's path decides its format (format.h).
#include "capture/format.h"

#include <sys/stat.h>

#include <cctype>

namespace capture {

namespace {

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool captureFormatFor(const std::string& path, CaptureFormat& format, std::string& error) {
    struct stat info {};
    const std::string lower = lowerCase(path);
    if (endsWith(path, "/") || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        format = CaptureFormat::Frames;
        return true;
    }
    if (endsWith(lower, ".mp4")) {
        format = CaptureFormat::Mp4;
        return true;
    }
    if (endsWith(lower, ".mkv")) {
        format = CaptureFormat::Mkv;
        return true;
    }
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const std::string extension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot) : "";
    error = "unknown extension \"" + extension + "\" in " + path +
            " (use .mp4, .mkv, or a directory ending in / for PNG frames)";
    return false;
}

}  // namespace capture
