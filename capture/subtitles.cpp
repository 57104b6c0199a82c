#include "capture/subtitles.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/encode/encode.h"

namespace capture {

namespace {

struct Subtitle {
    std::string text;    // "" ends the line before
    uint64_t runFrame;   // the run's frame it appears in
};

std::vector<Subtitle> subtitles;

constexpr const char* folderFileName = "subtitles.vtt";

// A cue time: hours, minutes, seconds and milliseconds, to the nearest one.
std::string cueTime(double seconds) {
    const long long ms = std::llround(seconds * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60,
                  ms % 1000);
    return text;
}

// A cue's text: the three characters WebVTT reads as markup are escaped.
std::string cueText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '&') escaped += "&amp;";
        else if (c == '<') escaped += "&lt;";
        else if (c == '>') escaped += "&gt;";
        else escaped += c;
    }
    return escaped;
}

std::string vttText(const CaptureSettings& settings, uint64_t firstRunFrame, int64_t fileFrames) {
    std::string vtt = "WEBVTT\n";
    const double fps = settings.framesPerSecond;
    int cue = 0;
    for (size_t i = 0; i < subtitles.size(); ++i) {
        const Subtitle& line = subtitles[i];
        if (line.text.empty() || line.runFrame < firstRunFrame) continue;
        const int64_t first = static_cast<int64_t>(line.runFrame - firstRunFrame);  // from 0
        int64_t end = fileFrames;
        if (i + 1 < subtitles.size()) end = std::min<int64_t>(end, static_cast<int64_t>(subtitles[i + 1].runFrame - firstRunFrame));
        if (end <= first) continue;
        vtt += "\n" + std::to_string(++cue) + "\n" + cueTime(first / fps) + " --> " + cueTime(end / fps) + "\n" +
               cueText(line.text) + "\n";
    }
    return vtt;
}

bool taken(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::string subtitlesPath(const CaptureSettings& settings) {
    const std::string& path = settings.path;
    if (settings.format == CaptureFormat::Frames)
        return path + (!path.empty() && path.back() == '/' ? "" : "/") + folderFileName;
    return path.substr(0, path.size() - std::strlen(".mp4")) + ".vtt";
}

bool subtitlesPathFree(const CaptureSettings& settings, std::string& error) {
    // A file that is there already is the capture's own to refuse, first.
    if (settings.format != CaptureFormat::Frames && taken(settings.path)) return true;
    const std::string path = subtitlesPath(settings);
    if (settings.force || !taken(path)) return true;
    error = path + " already exists (give --force to overwrite it)";
    return false;
}

void addSubtitle(const std::string& text, uint64_t runFrame) { subtitles.push_back({text, runFrame}); }

bool writeSubtitles(const CaptureSettings& settings, uint64_t firstRunFrame, int64_t fileFrames,
                    std::string& error) {
    const std::string vtt = vttText(settings, firstRunFrame, fileFrames);
    subtitles.clear();
    return platform::encode::writeWholeFile(subtitlesPath(settings), vtt, settings.force, error);
}

}  // namespace capture
