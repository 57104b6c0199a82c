#include "app/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "resources/datafiles.h"
#include "show/clock.h"
#include "show/trace.h"

namespace {

constexpr double captureFps = 60.0;       // the capture's rate unless --fps says otherwise
constexpr double maxUntilSeconds = 4.0e6; // well inside the 32-bit clock
constexpr int maxCrf = 51;                // x264's range, 0 lossless
// x264's presets, fastest first.
constexpr const char* x264Presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                       "medium",    "slow",      "slower",   "veryslow"};

bool endsWith(const std::string& text, const char* tail) {
    const size_t length = std::strlen(tail);
    return text.size() >= length && text.compare(text.size() - length, length, tail) == 0;
}

bool parseNumber(const char* text, double& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value);
}

// The value of an option written "--name VALUE" or "--name=VALUE"; null
// when arg is not that option. Moves i past a separate value.
const char* optionValue(const char* name, int argc, char** argv, int& i, bool& missing) {
    const size_t length = std::strlen(name);
    const char* arg = argv[i];
    if (std::strncmp(arg, name, length) != 0) return nullptr;
    if (arg[length] == '=') return arg + length + 1;
    if (arg[length] != '\0') return nullptr;
    if (i + 1 < argc) return argv[++i];
    missing = true;
    return "";
}

}  // namespace

const char* usageText() {
    return "usage: eyesonly [--windowed | --desktop | --headless] [--fps F | --max-fps F]\n"
           "                [--trace] [--from S] [--until S] [--mute] [--data DIR]\n"
           "       eyesonly --capture PATH [--fps F] [--scale K] [--force] [--from S] [--until S]\n"
           "                [--crf N] [--preset NAME] [--data DIR]\n"
           "\n"
           "Plays the show. Each of its five files (skorv1.bitmap, skorv2.bitmap,\n"
           "skorv3.bitmap, Tq_outro.xm, VELTO63K.XM) is taken from the first of these\n"
           "folders that has it: --data DIR, data/ under the working directory,\n"
           "$XDG_DATA_HOME/eyesonly/data (~/.local/share/eyesonly/data), data/ beside\n"
           "the program, and the installed data (../share/eyesonly/data from the program).\n"
           "\n"
           "  --windowed     a 640 x 480 window instead of switching the display to full screen\n"
           "  --desktop      full screen at the desktop's own mode, the show scaled to fit\n"
           "  --headless     no window and no sound device: draws offscreen, messages on stderr\n"
           "  --fps F        a fixed-step clock of F frames a second, 1 to 1000 (fractions\n"
           "                 allowed, e.g. 29.97) in place of the real clock; frames are drawn\n"
           "                 as fast as the machine allows\n"
           "  --max-fps F    on the real clock, at most F frames a second (default: the\n"
           "                 display's refresh rate, 60 without one); 0 lifts the limit\n"
           "  --trace        print the show's timeline on stdout: <frame> <ms> <event> [args]\n"
           "  --from S       start S seconds into the show (fractions allowed): the frames\n"
           "                 before it are run, not shown, so the show is there as if played\n"
           "                 from the start; with --capture the file begins there\n"
           "  --until S      stop after the frame drawn S seconds into the show (with --fps\n"
           "                 or --capture)\n"
           "  --mute         no sound device: the music plays on unheard (no box about it\n"
           "                 on a machine without sound)\n"
           "  --capture PATH render the whole show with its music to PATH: *.mp4 (H.264 and\n"
           "                 AAC), *.mkv (lossless FFV1 and FLAC) or a folder (PATH/ or an\n"
           "                 existing one: frame-000001.png ... and audio.wav); no display\n"
           "                 needed, 60 frames a second unless --fps says otherwise\n"
           "  --scale K      with --capture: frames K times 640 x 480, K from 1 to 8\n"
           "  --force        with --capture: overwrite what is already there\n"
           "  --crf N        with an mp4 capture: quality from 0 (lossless) to 51 (worst),\n"
           "                 default 18 (visually lossless)\n"
           "  --preset NAME  with an mp4 capture: x264's speed against size, ultrafast,\n"
           "                 superfast, veryfast (default), faster, fast, medium, slow,\n"
           "                 slower or veryslow\n"
           "  --data DIR     look for the show's files in DIR before the other folders\n"
           "  -h, --help     this text\n"
           "  --version      the program's version\n"
           "Options that take a value may also be written --name=VALUE.\n"
           "\n"
           "Keys, on the real clock in a window or full screen:\n"
           "  Space          pause and resume (the window title says \"paused\")\n"
           "  M              mute and unmute; the music keeps its place (title: \"muted\")\n"
           "  Left, Right    10 s back and forward\n"
           "  Home           back to the start\n"
           "  Escape         end the show (exit code 27)\n"
           "\n"
           "Exit codes: 0 the show ended by itself or its window was closed, 27 Escape,\n"
           "1 the show could not be shown or a file could not be written, 2 bad options,\n"
           "129, 130 and 143 stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM.\n";
}

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    bool crfGiven = false;
    bool presetGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        bool missing = false;
        const char* value = nullptr;
        double number = 0.0;
        if (std::strcmp(arg, "--windowed") == 0) {
            options.windowed = true;
        } else if (std::strcmp(arg, "--desktop") == 0) {
            options.desktop = true;
        } else if (std::strcmp(arg, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(arg, "--trace") == 0) {
            options.trace = true;
        } else if (std::strcmp(arg, "--mute") == 0) {
            options.mute = true;
        } else if (std::strcmp(arg, "--force") == 0) {
            options.capture.force = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if ((value = optionValue("--fps", argc, argv, i, missing)) != nullptr) {
            // NaN fails both comparisons, and so does either infinity one of them.
            if (missing || !parseNumber(value, number) || !(number >= minFps && number <= maxFps)) {
                error = missing ? "--fps needs a number from 1 to 1000"
                                : std::string("--fps needs a number from 1 to 1000, not '") + value + "'";
                return false;
            }
            options.fps = number;
        } else if ((value = optionValue("--max-fps", argc, argv, i, missing)) != nullptr) {
            if (missing || !parseNumber(value, number) || !(number == 0.0 || (number >= minFps && number <= maxFps))) {
                error = std::string("--max-fps needs 0 or a number from 1 to 1000, not '") + value + "'";
                return false;
            }
            options.maxFps = number;
        } else if ((value = optionValue("--until", argc, argv, i, missing)) != nullptr) {
            if (missing || !parseNumber(value, number) || !(number >= 0.0 && number <= maxUntilSeconds)) {
                error = std::string("--until needs a number of seconds, 0 or more, not '") + value + "'";
                return false;
            }
            options.untilSeconds = number;
        } else if ((value = optionValue("--from", argc, argv, i, missing)) != nullptr) {
            if (missing || !parseNumber(value, number) || !(number >= 0.0 && number <= maxUntilSeconds)) {
                error = std::string("--from needs a number of seconds, 0 or more, not '") + value + "'";
                return false;
            }
            options.fromSeconds = number;
        } else if ((value = optionValue("--crf", argc, argv, i, missing)) != nullptr) {
            char* end = nullptr;
            const long crf = std::strtol(value, &end, 10);
            if (missing || end == value || *end != '\0' || crf < 0 || crf > maxCrf) {
                error = std::string("--crf needs a whole number from 0 to 51, not '") + value + "'";
                return false;
            }
            options.capture.crf = static_cast<int>(crf);
            crfGiven = true;
        } else if ((value = optionValue("--preset", argc, argv, i, missing)) != nullptr) {
            const auto known = [value](const char* preset) { return std::strcmp(value, preset) == 0; };
            if (missing || std::none_of(std::begin(x264Presets), std::end(x264Presets), known)) {
                error = std::string("--preset needs one of ultrafast, superfast, veryfast, faster, fast, "
                                    "medium, slow, slower, veryslow, not '") + value + "'";
                return false;
            }
            options.capture.preset = value;
            presetGiven = true;
        } else if ((value = optionValue("--scale", argc, argv, i, missing)) != nullptr) {
            char* end = nullptr;
            const long scale = std::strtol(value, &end, 10);
            if (missing || end == value || *end != '\0' || scale < 1 || scale > maxScale) {
                error = std::string("--scale needs a whole number from 1 to 8, not '") + value + "'";
                return false;
            }
            options.capture.scale = static_cast<int>(scale);
        } else if ((value = optionValue("--data", argc, argv, i, missing)) != nullptr) {
            std::error_code notThere;
            if (missing || *value == '\0' || !std::filesystem::is_directory(value, notThere)) {
                error = missing ? "--data needs a folder" : std::string("--data needs a folder, and '") + value + "' is none";
                return false;
            }
            options.data = value;
        } else if ((value = optionValue("--capture", argc, argv, i, missing)) != nullptr) {
            if (missing || *value == '\0') {
                error = "--capture needs a file (*.mp4, *.mkv) or a folder to write to";
                return false;
            }
            options.capture.path = value;
        } else {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
    }

    // What goes together: one display at a time.
    if (options.desktop && (options.windowed || options.headless)) {
        error = "--desktop does not go with --windowed or --headless";
        return false;
    }
    if (options.windowed && options.headless) {
        error = "--headless does not go with --windowed";
        return false;
    }
    if (!options.capture.path.empty()) {
        if (options.windowed || options.desktop) {
            error = "--capture draws offscreen; it does not go with --windowed or --desktop";
            return false;
        }
        // A capture runs on the fixed-step clock as fast as it can: a pace
        // would be ignored.
        if (options.maxFps >= 0.0) {
            error = "--max-fps paces the real clock; a capture runs on the fixed-step clock (give --fps)";
            return false;
        }
        if (options.fps == 0.0) options.fps = captureFps;
        options.capture.framesPerSecond = options.fps;
    } else if (options.capture.scale != 1 || options.capture.force) {
        error = std::string(options.capture.force ? "--force" : "--scale") + " goes with --capture";
        return false;
    }
    if ((crfGiven || presetGiven) && !endsWith(options.capture.path, ".mp4")) {
        error = std::string(crfGiven ? "--crf" : "--preset") + " goes with an mp4 capture (--capture NAME.mp4)";
        return false;
    }
    if (options.mute && !options.capture.path.empty()) {
        error = "--mute does not go with --capture: a capture always has its soundtrack";
        return false;
    }
    if (options.untilSeconds >= 0.0 && options.fromSeconds > options.untilSeconds) {
        error = "--from needs to be at most --until";
        return false;
    }
    if (options.fps > 0.0 && options.maxFps >= 0.0) {
        error = "--max-fps paces the real clock; it does not go with --fps";
        return false;
    }
    if (options.untilSeconds >= 0.0 && options.fps == 0.0) {
        error = "--until needs the fixed-step clock: give --fps (or --capture)";
        return false;
    }
    return true;
}

void applyOptions(const Options& options) {
    shell.skipFullscreen = options.windowed;
    if (options.desktop) platform::selectBackend(platform::Backend::Desktop);
    if (options.headless || !options.capture.path.empty()) {
        platform::selectBackend(platform::Backend::Headless);
        platform::selectSoundOutput(options.capture.path.empty() ? platform::SoundOutput::Silent
                                                            : platform::SoundOutput::Capture);
    }
    if (options.mute) platform::selectSoundOutput(platform::SoundOutput::Silent);
    if (options.fps > 0.0) {
        useFixedClock(options.fps);
        platform::setFramePacing(0.0);
    } else {
        platform::setFramePacing(options.maxFps);
    }
    traceEnabled = options.trace;

    PlayerSettings player;
    player.keys = options.fps == 0.0 && !options.headless && options.capture.path.empty();
    player.fromSeconds = options.fromSeconds;
    player.muted = options.mute;
    player.soundInStep = !options.capture.path.empty();
    player.jumpFps = options.fps > 0.0 ? options.fps : std::max(options.maxFps, 0.0);
    setUpPlayer(player);
    dataOption = options.data;
}
