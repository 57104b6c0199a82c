#include "app/options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/shell.h"
#include "platform/platform.h"
#include "platform/sound.h"
#include "show/trace.h"

namespace {

// The fixed-step clock's frame rates, frames a second. A thousand is the
// most at which every frame still moves the millisecond clock (far above it
// the show never ends); near 0 a frame's milliseconds outgrow the clock's
// integer reading.
constexpr double minFps = 1.0;
constexpr double maxFps = 1000.0;

bool parseFps(const char* text, double& fps) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    // NaN fails both comparisons, and so does either infinity one of them.
    if (end == text || *end != '\0' || errno != 0 || !(value >= minFps && value <= maxFps)) return false;
    fps = value;
    return true;
}

}  // namespace

const char* usageText() {
    return "usage: eyesonly [--windowed] [--headless] [--fps F] [--trace] [--help]\n"
           "\n"
           "Plays the show from the data/ folder under the working directory.\n"
           "\n"
           "  --windowed  a 640 x 480 window instead of switching the display to full screen\n"
           "  --headless  no window and no sound device: draws offscreen, messages on stderr\n"
           "  --fps F     a fixed-step clock of F frames a second, 1 to 1000 (fractions allowed,\n"
           "              e.g. 29.97; also written --fps=F) in place of the real clock; with\n"
           "              --headless it runs as fast as it can\n"
           "  --trace     print the show's timeline on stdout: <frame> <ms> <event> [args]\n"
           "  -h, --help  this text\n"
           "\n"
           "Escape ends the show (exit code 27); it ends by itself with exit code 0.\n";
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--windowed") == 0) {
            options.windowed = true;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--trace") == 0) {
            options.trace = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--fps") == 0 || std::strncmp(arg, "--fps=", 6) == 0) {
            const char* value = nullptr;
            if (arg[5] == '=') {
                value = arg + 6;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = "--fps needs a number from 1 to 1000";
                return false;
            }
            if (!parseFps(value, options.fps)) {
                error = std::string("--fps needs a number from 1 to 1000, not '") + value + "'";
                return false;
            }
        } else {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
    }
    return true;
}

void applyOptions(const Options& options) {
    skipFullscreen = options.windowed;
    if (options.headless) {
        platform::selectBackend(platform::Backend::Headless);
        platform::selectSoundOutput(platform::SoundOutput::Silent);
    }
    if (options.fps > 0.0) platform::setFixedStepClock(options.fps);
    traceEnabled = options.trace;
}
