// The command line: the option table, how a value is read and checked, the
// usage text made from the table, and the options put into effect.
//
//   1. ranges, kinds of value, the runs an option goes with
//   2. the option table (a row per option, with the field it sets) and the
//      pairs that do not go together
//   3. reading a value: numbers, sizes, presets, folders
//   4. the usage text
//   5. parseOptions: the command line against the table and the run
//   6. applyOptions: back ends, clock, pacing, size and trace
#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

#include "app/player.h"
#include "app/shell.h"
#include "capture/format.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/process.h"
#include "resources/datafiles.h"
#include "show/chapters.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/trace.h"

namespace {

// ---------------------------------------------------------------------------
// 1. Ranges, kinds of value, the runs an option goes with.

constexpr double captureFps = 60.0;       // the capture's rate unless --fps says otherwise
constexpr double maxSeconds = 4.0e6;      // --from and --until: well inside the 32-bit clock
constexpr int maxCrf = 51;                // x264's range, 0 lossless
constexpr int helpColumn = 17;            // where an option's help text starts in --help
// x264's presets, fastest first.
constexpr const char* x264Presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                                       "medium",    "slow",      "slower",   "veryslow"};

// What an option's value is.
enum class Value {
    None,     // a switch
    Number,   // a decimal number in [low, high] (fractions allowed)
    Whole,    // a decimal whole number in [low, high]
    Preset,   // one of x264Presets
    Folder,   // a folder that exists
    Path,     // any non-empty path
    Size,     // WxH, two whole numbers in [low, high], each read as every number is
    Moment,   // a Number, or a chapter's name (show/chapters.h): its start and its index
};

// Which runs an option goes with; an option given to another run is refused
// with its own reason.
enum Runs : unsigned {
    Watching = 1,    // the show on a display or headless
    Capturing = 2,   // --capture of any kind
    Mp4 = 4,         // --capture NAME.mp4
    Every = Watching | Capturing | Mp4,
};

// ---------------------------------------------------------------------------
// 2. The option table and the pairs that do not go together.

// Help that speaks of the capture, which the Windows build does not have.
#ifdef _WIN32
#define CAPTURE_HELP(text) ""
#else
#define CAPTURE_HELP(text) text
#endif

// A value as read: a number (Number, Whole, Moment; Size's width), Size's
// height or a Moment's chapter (-1 for a number), the text given.
struct Read {
    double number = 0.0;
    double second = 0.0;
    const char* text = "";
};
using Setter = void (*)(Options& o, const Read& r);

struct OptionRow {
    const char* name;          // "--fps"; its value also as "--fps=VALUE"
    const char* alias;         // another spelling of a switch, or null
    Value value;
    double low, high;          // Number, Whole: the range; zeroToo: 0 as well
    bool zeroToo;
    const char* needs;         // what a refused value needed: "--fps needs ..., not 'X'"
    unsigned runs;             // Runs it goes with
    const char* elsewhere;     // why it is refused in a run it does not go with (null: a built text)
    const char* valueName;     // in --help: "--fps F"
    const char* help;          // in --help, lines joined by '\n'
    Setter set;                // keeps the value read in the field the option sets
};

// The options, in --help's order.
constexpr OptionRow optionRows[] = {
    {"--windowed", nullptr, Value::None, 0, 0, false, nullptr, Watching,
     "--capture draws offscreen; it does not go with --windowed or --desktop", "",
     "a 640 x 480 window instead of switching the display to full screen",
     [](Options& o, const Read& r) { o.windowed = true; }},
    {"--desktop", nullptr, Value::None, 0, 0, false, nullptr, Watching,
     "--capture draws offscreen; it does not go with --windowed or --desktop", "",
     "full screen at the desktop's own mode, the show drawn at its\n"
     "resolution (as --size draws it)",
     [](Options& o, const Read& r) { o.desktop = true; }},
    {"--headless", nullptr, Value::None, 0, 0, false, nullptr, Every, nullptr, "",
     "no window and no sound device: draws offscreen, messages on stderr",
     [](Options& o, const Read& r) { o.headless = true; }},
    {"--fps", nullptr, Value::Number, minFps, maxFps, false, "a number from 1 to 1000", Every, nullptr, "F",
     "a fixed-step clock of F frames a second, 1 to 1000 (fractions\n"
     "allowed, e.g. 29.97) in place of the real clock; frames are drawn\n"
     "as fast as the machine allows",
     [](Options& o, const Read& r) { o.fps = r.number; }},
    {"--max-fps", nullptr, Value::Number, minFps, maxFps, true, "0 or a number from 1 to 1000", Watching,
     "--max-fps paces the real clock; a capture runs on the fixed-step clock (give --fps)", "F",
     "on the real clock, at most F frames a second (default: the\n"
     "display's refresh rate, 60 without one); 0 lifts the limit",
     [](Options& o, const Read& r) { o.maxFps = r.number; }},
    {"--trace", nullptr, Value::None, 0, 0, false, nullptr, Every, nullptr, "",
     "print the show's timeline on stdout: <frame> <ms> <event> [args]",
     [](Options& o, const Read& r) { o.trace = true; }},
    {"--from", nullptr, Value::Moment, 0, maxSeconds, false,
     "a number of seconds from 0 to 4000000 or a chapter (slideshow, title, ring-tunnel, scroller, "
     "credits-and-greetings)", Every, nullptr, "S",
     "start S seconds into the show (fractions allowed): the frames\n"
     "before it are run, not shown, so the show is there as if played\n"
     "from the start" CAPTURE_HELP("; with --capture the file begins there") ";\n"
     "or a chapter's name (below): its first frame at any rate",
     [](Options& o, const Read& r) { o.fromSeconds = r.number, o.fromChapter = static_cast<int>(r.second); }},
    {"--until", nullptr, Value::Number, 0, maxSeconds, false, "a number of seconds from 0 to 4000000", Every, nullptr,
     "S",
     "stop after the frame drawn S seconds into the show (with --fps"
     CAPTURE_HELP("\nor --capture") ")",
     [](Options& o, const Read& r) { o.untilSeconds = r.number; }},
    {"--mute", nullptr, Value::None, 0, 0, false, nullptr, Watching,
     "--mute does not go with --capture: a capture always has its soundtrack", "",
     "no sound device: the music plays on unheard (no box about it\n"
     "on a machine without sound)",
     [](Options& o, const Read& r) { o.mute = true; }},
    {"--capture", nullptr, Value::Path, 0, 0, false, "a file (*.mp4, *.mkv) or a folder to write to",
     Capturing | Mp4, nullptr, "PATH",
     "render the whole show with its music to PATH: *.mp4 (H.264 and\n"
     "AAC), *.mkv (lossless FFV1 and FLAC) or a folder (PATH/ or an\n"
     "existing one: frame-000001.png ... and audio.wav); no display\n"
     "needed, 60 frames a second unless --fps says otherwise",
     [](Options& o, const Read& r) { o.capture.path = r.text; }},
    {"--scale", nullptr, Value::Whole, 1, maxScale, false, "a whole number from 1 to 8", Capturing | Mp4, nullptr,
     "K", "with --capture: frames K times 640 x 480, K from 1 to 8",
     [](Options& o, const Read& r) { o.capture.scale = static_cast<int>(r.number); }},
    {"--size", nullptr, Value::Size, minSide, maxSide, false, "a size WxH, each from 16 to 16384", Every, nullptr,
     "WxH",
     "draw at W x H pixels of the output: the picture at the largest\n"
     "4:3 size that fits, centred, black bars around it, with lines and\n"
     "text drawn sharp at that size; 640x480 with --desktop gives the\n"
     "640 x 480 picture enlarged",
     [](Options& o, const Read& r) { o.width = static_cast<int>(r.number), o.height = static_cast<int>(r.second); }},
    {"--force", nullptr, Value::None, 0, 0, false, nullptr, Capturing | Mp4, nullptr, "",
     "with --capture: overwrite what is already there",
     [](Options& o, const Read& r) { o.capture.force = true; }},
    {"--crf", nullptr, Value::Whole, 0, maxCrf, false, "a whole number from 0 to 51", Mp4, nullptr, "N",
     "with an mp4 capture: quality from 0 (lossless) to 51 (worst),\n"
     "default 18 (visually lossless)",
     [](Options& o, const Read& r) { o.capture.crf = static_cast<int>(r.number); }},
    {"--preset", nullptr, Value::Preset, 0, 0, false,
     "one of ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow", Mp4, nullptr, "NAME",
     "with an mp4 capture: x264's speed against size, ultrafast,\n"
     "superfast, veryfast (default), faster, fast, medium, slow,\n"
     "slower or veryslow",
     [](Options& o, const Read& r) { o.capture.preset = r.text; }},
    {"--data", nullptr, Value::Folder, 0, 0, false, "a folder", Every, nullptr, "DIR",
     "look for the show's files in DIR before the other folders",
     [](Options& o, const Read& r) { o.data = r.text; }},
    {"--help", "-h", Value::None, 0, 0, false, nullptr, Every, nullptr, "", "this text",
     [](Options& o, const Read& r) { o.help = true; }},
    {"--version", nullptr, Value::None, 0, 0, false, nullptr, Every, nullptr, "", "the program's version",
     [](Options& o, const Read& r) { o.version = true; }},
};
constexpr size_t optionCount = std::size(optionRows);

// Two options that do not go together, and why.
struct Conflict {
    const char* first;
    const char* second;
    const char* reason;
};
constexpr Conflict conflicts[] = {
    {"--desktop", "--windowed", "--desktop does not go with --windowed or --headless"},
    {"--desktop", "--headless", "--desktop does not go with --windowed or --headless"},
    {"--windowed", "--headless", "--headless does not go with --windowed"},
    {"--fps", "--max-fps", "--max-fps paces the real clock; it does not go with --fps"},
    {"--size", "--scale", "--scale enlarges the 640 x 480 picture; it does not go with --size"},
};

// ---------------------------------------------------------------------------
// 3. Reading a value.

size_t specIndex(const char* name) {
    for (size_t i = 0; i < optionCount; ++i)
        if (std::strcmp(optionRows[i].name, name) == 0) return i;
    return optionCount;
}

// Every number of every option is read one way: an optional sign, decimal
// digits with an optional fraction, an optional decimal exponent. No hex,
// no "inf" or "nan", no spaces.
bool parseNumber(const char* text, double& value) {
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p == '.') ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (p == digits || (p == digits + 1 && *digits == '.')) return false;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') ++p;
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    if (*p != '\0') return false;
    errno = 0;
    value = std::strtod(text, nullptr);
    // A number too small for a double is as good as zero; one too large is
    // no number.
    return std::isfinite(value) && (errno == 0 || (errno == ERANGE && std::fabs(value) < 1.0));
}

// Checks and keeps one option's value; false with the reason in error.
bool takeValue(const OptionRow& row, const char* value, bool missing, Options& options, std::string& error) {
    Read read{0.0, 0.0, missing ? "" : value};
    double& number = read.number;
    bool good = !missing;
    switch (row.value) {
    case Value::None: break;
    case Value::Number:
    case Value::Whole:
        // NaN and the infinities never parse; a whole number has no fraction.
        good = good && parseNumber(value, number) && (row.value == Value::Number || number == std::floor(number)) &&
               ((number >= row.low && number <= row.high) || (row.zeroToo && number == 0.0));
        break;
    case Value::Moment: {
        read.second = -1.0;
        const int chapter = missing ? -1 : chapterNamed(value);
        if (chapter >= 0) {
            number = chapters[chapter].startMs / 1000.0;
            read.second = chapter;
        } else {
            good = good && parseNumber(value, number) && number >= row.low && number <= row.high;
        }
        break;
    }
    case Value::Preset:
        good = good && std::any_of(std::begin(x264Presets), std::end(x264Presets),
                                   [value](const char* preset) { return std::strcmp(value, preset) == 0; });
        break;
    case Value::Folder: {
        std::error_code notThere;
        good = good && *value != '\0' && std::filesystem::is_directory(platform::pathFromUtf8(value), notThere);
        if (!good) {
            error = missing ? "--data needs a folder" : std::string("--data needs a folder, and '") + value + "' is none";
            return false;
        }
        break;
    }
    case Value::Path: good = good && *value != '\0'; break;
    case Value::Size: {
        const char* by = missing ? nullptr : std::strchr(value, 'x');
        double& width = read.number;
        double& height = read.second;
        good = good && by != nullptr && parseNumber(std::string(value, by).c_str(), width) &&
               parseNumber(by + 1, height) && width == std::floor(width) && height == std::floor(height) &&
               width >= row.low && width <= row.high && height >= row.low && height <= row.high;
        break;
    }
    }
    if (!good) {
        error = std::string(row.name) + " needs " + row.needs;
        // A missing value, or a path, says only what was needed.
        if (!missing && row.value != Value::Path) error += std::string(", not '") + value + "'";
        return false;
    }

    row.set(options, read);
    return true;
}

// ---------------------------------------------------------------------------
// 4. The usage text.

// Each system's help speaks of its own folders and signals; the Windows
// build cannot capture, so its help leaves the capture out.
#ifdef _WIN32
constexpr bool captureHelp = false;
constexpr const char* usageLines =
    "usage: eyesonly [--windowed | --desktop | --headless] [--fps F | --max-fps F]\n"
    "                [--trace] [--from S] [--until S] [--mute] [--data DIR]\n"
    "                [--size WxH]\n"
    "\n"
    "Plays the show. Each of its five files (skorv1.bitmap, skorv2.bitmap,\n"
    "skorv3.bitmap, Tq_outro.xm, VELTO63K.XM) and its glyphs (glyphs.pack) are\n"
    "taken from the first of these folders that has them: --data DIR, data\\ in\n"
    "the working folder, %APPDATA%\\eyesonly\\data, and data\\ beside eyesonly.exe.\n"
    "\n";
constexpr const char* exitCodeLines =
    "Exit codes: 0 the show ended by itself or its window was closed, 27 Escape,\n"
    "1 the show could not be shown, 2 bad options, 130 stopped by Ctrl-C or\n"
    "Ctrl-Break, 143 stopped by the console's closing, a log-off or a shutdown.\n";
#else
constexpr bool captureHelp = true;
constexpr const char* usageLines =
    "usage: eyesonly [--windowed | --desktop | --headless] [--fps F | --max-fps F]\n"
    "                [--trace] [--from S] [--until S] [--mute] [--data DIR]\n"
    "                [--size WxH]\n"
    "       eyesonly --capture PATH [--fps F] [--scale K | --size WxH] [--force]\n"
    "                [--from S] [--until S] [--crf N] [--preset NAME] [--data DIR]\n"
    "\n"
    "Plays the show. Each of its five files (skorv1.bitmap, skorv2.bitmap,\n"
    "skorv3.bitmap, Tq_outro.xm, VELTO63K.XM) is taken from the first of these\n"
    "folders that has it: --data DIR, data/ under the working directory,\n"
    "$XDG_DATA_HOME/eyesonly/data (~/.local/share/eyesonly/data), data/ beside\n"
    "the program, and the installed data (../share/eyesonly/data from the program).\n"
    "\n";
constexpr const char* exitCodeLines =
    "Exit codes: 0 the show ended by itself or its window was closed, 27 Escape,\n"
    "1 the show could not be shown or a file could not be written, 2 bad options,\n"
    "129, 130 and 143 stopped by SIGHUP, SIGINT (Ctrl-C) or SIGTERM.\n";
#endif

std::string makeUsageText() {
    std::string text = usageLines;
    for (const OptionRow& row : optionRows) {
        if (!captureHelp && (row.runs & Watching) == 0) continue;
        std::string label = "  ";
        if (row.alias != nullptr) label += std::string(row.alias) + ", ";
        label += row.name;
        if (*row.valueName != '\0') label += std::string(" ") + row.valueName;
        label.resize(std::max<size_t>(label.size() + 1, helpColumn), ' ');
        text += label;
        for (const char* c = row.help; *c != '\0'; ++c) {
            text += *c;
            if (*c == '\n') text += std::string(helpColumn, ' ');
        }
        text += '\n';
    }
    text +=
        "Options that take a value may also be written --name=VALUE.\n"
        "\n"
        "Keys, on the real clock in a window or full screen:\n"
        "  Space          pause and resume (the window title says \"paused\")\n"
        "  M              mute and unmute; the music keeps its place (title: \"muted\")\n"
        "  Left, Right    10 s back and forward\n"
        "  Home           back to the start\n"
        "  PageUp         the previous chapter's first frame\n"
        "  PageDown       the next chapter's first frame\n"
        "  media keys     play/pause as Space, previous and next track as PageUp and\n"
        "                 PageDown; stop ends the show (exit code 0)\n"
        "  Escape         end the show (exit code 27)\n"
        "\n"
        "Chapters, for --from NAME, PageUp and PageDown (starts at 60 frames a second):\n";
    for (const Chapter& chapter : chapters) {
        std::string name = "  ";
        for (const char* c = chapter.name; *c != '\0'; ++c)
            name += *c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        name.resize(std::max<size_t>(name.size() + 1, helpColumn + 8), ' ');
        text += name + secondsText(chapter.startMs / 1000.0) + " s\n";
    }
    text += "\n";
    text += exitCodeLines;
    return text;
}

}  // namespace

std::string secondsText(double seconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    std::string trimmed = text;
    trimmed.erase(trimmed.find_last_not_of('0') + 1);
    if (trimmed.back() == '.') trimmed.pop_back();
    return trimmed;
}

const char* usageText() {
    static const std::string text = makeUsageText();
    return text.c_str();
}

// ---------------------------------------------------------------------------
// 5. The command line against the table and the run.

bool parseOptions(int argc, char** argv, Options& options, std::string& error) {
    // 1. Each argument by the table: a switch, or an option with its value
    //    written "--name VALUE" or "--name=VALUE".
    bool given[optionCount] = {};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        size_t index = optionCount;
        const char* value = nullptr;
        bool missing = false;
        for (size_t k = 0; k < optionCount && index == optionCount; ++k) {
            const OptionRow& row = optionRows[k];
            const size_t length = std::strlen(row.name);
            if (row.alias != nullptr && std::strcmp(arg, row.alias) == 0) {
                index = k;
            } else if (row.value == Value::None) {
                if (std::strcmp(arg, row.name) == 0) index = k;
            } else if (std::strncmp(arg, row.name, length) == 0 && (arg[length] == '=' || arg[length] == '\0')) {
                index = k;
                if (arg[length] == '=')
                    value = arg + length + 1;
                else if (i + 1 < argc)
                    value = argv[++i];
                else
                    missing = true;
            }
        }
        if (index == optionCount) {
            error = std::string("unknown option '") + arg + "'";
            return false;
        }
        if (!takeValue(optionRows[index], missing ? "" : value, missing, options, error)) return false;
        given[index] = true;
    }
    const auto isGiven = [&](const char* name) { return given[specIndex(name)]; };

    // 2. Options that do not go together.
    for (const Conflict& c : conflicts)
        if (isGiven(c.first) && isGiven(c.second)) {
            error = c.reason;
            return false;
        }

    // 3. Each option in the run it goes with: watching, a capture, an mp4.
    const bool capturing = !options.capture.path.empty();
    //    The capture's path names its format as the capture reads it; one it
    //    does not know is refused when the capture begins.
    capture::CaptureFormat format = capture::CaptureFormat::Frames;
    std::string unknown;
    const bool mp4 = capturing && capture::captureFormatFor(options.capture.path, format, unknown) &&
                     format == capture::CaptureFormat::Mp4;
    const unsigned run = !capturing ? Watching : mp4 ? Mp4 : Capturing;
    for (size_t k = 0; k < optionCount; ++k) {
        const OptionRow& row = optionRows[k];
        if (!given[k] || (row.runs & run) != 0) continue;
        if (row.elsewhere != nullptr)
            error = row.elsewhere;
        else if (row.runs == Mp4)
            error = std::string(row.name) + " goes with an mp4 capture (--capture NAME.mp4)";
        else
            error = std::string(row.name) + " goes with --capture";
        return false;
    }

    // 4. Values that depend on each other.
    if (options.untilSeconds >= 0.0 && options.fromSeconds > options.untilSeconds) {
        error = "--from needs to be at most --until";
        return false;
    }
    if (capturing) {
        if (options.fps == 0.0) options.fps = captureFps;
        options.capture.framesPerSecond = options.fps;
    }
    // The encoders halve the colour planes and take frames up to 4096 a side.
    if (capturing && (options.width % 2 != 0 || options.height % 2 != 0 || options.width > maxCaptureSide ||
                      options.height > maxCaptureSide)) {
        error = "--size needs an even width and height of at most 4096 with --capture";
        return false;
    }
    if (options.untilSeconds >= 0.0 && options.fps == 0.0) {
        error = "--until needs the fixed-step clock: give --fps (or --capture)";
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// 6. The options put into effect.

void applyOptions(const Options& options) {
    shell.skipFullscreen = options.windowed;
    // A size given, or the desktop's own: the picture sharp at that size,
    // its edges smoothed where it is larger than the show's own.
    shell.sizeFromDesktop = options.desktop && options.width == 0;
    if (options.width > 0) {
        sizeOutput(options.width, options.height);
        if (picture.scale > 1.0f) platform::askForSamples(pictureSamples);
    }
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
    player.fromChapter = options.fromChapter;
    player.muted = options.mute;
    player.soundInStep = !options.capture.path.empty();
    player.jumpFps = options.fps > 0.0 ? options.fps : std::max(options.maxFps, 0.0);
    setUpPlayer(player);
    dataOption = options.data;
}
