// showframe: renders the show offscreen, on a fixed-step clock, up to a given
// moment and writes that frame as a binary PPM (top row first). Run it where
// the show's data/ folder is, e.g. from build/:
//
//   ./showframe 60.5 title.ppm            # the frame drawn 60.5 s into the show
//   ./showframe --fps 30 100 sphere.ppm
//
// Exit codes: 0 written, 1 the show could not start, ended before that
// moment, or the file could not be written, 2 bad arguments.
#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"

namespace {

constexpr int frameWidth = 640;
constexpr int frameHeight = 480;

int usage(const char* reason) {
    if (reason != nullptr) std::fprintf(stderr, "showframe: %s\n", reason);
    std::fprintf(reason != nullptr ? stderr : stdout,
                 "usage: showframe [--fps F] SECONDS OUT.ppm\n"
                 "Renders the show offscreen on a clock of F frames a second (default 60)\n"
                 "and writes the first frame drawn at or after SECONDS of show time.\n");
    return reason != nullptr ? 2 : 0;
}

bool parsePositive(const char* text, double& value, bool allowZero) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value) && (value > 0.0 || (allowZero && value == 0.0));
}

bool writePpm(const char* path) {
    std::vector<unsigned char> bottomUp(static_cast<size_t>(frameWidth) * frameHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, frameWidth, frameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    std::fprintf(out, "P6\n%d %d\n255\n", frameWidth, frameHeight);
    const size_t row = static_cast<size_t>(frameWidth) * 3;
    for (int y = frameHeight - 1; y >= 0; --y) std::fwrite(bottomUp.data() + y * row, 1, row, out);
    return std::fclose(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    double fps = 60.0;
    std::vector<const char*> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) return usage(nullptr);
        if (std::strcmp(argv[i], "--fps") == 0) {
            // The program's own range: outside it the fixed-step clock stalls
            // or never reaches the moment.
            if (i + 1 >= argc || !parsePositive(argv[++i], fps, false) || fps < 1.0 || fps > 1000.0)
                return usage("--fps needs a number from 1 to 1000");
        } else {
            positional.push_back(argv[i]);
        }
    }
    double seconds = 0.0;
    if (positional.size() != 2) return usage("needs a time in seconds and an output file");
    if (!parsePositive(positional[0], seconds, true)) return usage("the time must be a number of seconds, 0 or more");

    platform::selectBackend(platform::Backend::Headless);
    platform::selectSoundOutput(platform::SoundOutput::Silent);
    platform::setFixedStepClock(fps);
    skipFullscreen = true;

    // The clock reads 1000 ms at the start; the frame at show time t is the
    // first drawn at a reading of at least 1000 + t * 1000.
    ShowRun run;
    run.stopAtMs = static_cast<uint32_t>(std::min(std::ceil(1000.0 + seconds * 1000.0), 4294967295.0));
    std::string writeError;  // empty once the frame is written
    run.afterFrame = [&](const DrawnFrame& frame) {
        if (frame.last && !writePpm(positional[1])) writeError = std::strerror(errno);
        return true;
    };
    switch (runShow(run).end) {
    case ShowEnd::Stopped:
        if (writeError.empty()) return 0;
        std::fprintf(stderr, "showframe: cannot write %s: %s\n", positional[1], writeError.c_str());
        return 1;
    case ShowEnd::NotOpened:
        return 1;
    default:
        std::fprintf(stderr, "showframe: the show ended before %.3f s\n", seconds);
        return 1;
    }
}
