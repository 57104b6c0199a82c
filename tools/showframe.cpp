// showframe: renders the show offscreen, on a fixed-step clock, up to a given
// moment and writes that frame as a binary PPM (top row first). It finds the
// show's files as the program does (data/ under the working directory, the
// user's data folder, data/ beside it, the installed data), e.g. from build/:
//
//   ./showframe 60.5 title.ppm            # the frame drawn 60.5 s into the show
//   ./showframe --fps 30 100 sphere.ppm
//   ./showframe --size 1920x1440 5 slide.ppm 130 credits.ppm   # two moments, sharp at 3 x 640 x 480
//   ./showframe --icon 48 eyesonly.png   # the show's icon, 48 x 48, as PNG
//
// The icon is drawn by the show itself once its start-up has run: the red
// wire sphere, lit, in front of the second photo (the lightest of the
// three) on a square turned a little about the view axis, both centred.
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

#include "app/options.h"
#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/encode/encode.h"
#include "platform/system/clock.h"
#include "resources/datafiles.h"
#include "resources/photos.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/picture.h"

namespace {


int usage(const char* reason) {
    if (reason != nullptr) std::fprintf(stderr, "showframe: %s\n", reason);
    std::fprintf(reason != nullptr ? stderr : stdout,
                 "usage: showframe [--fps F] [--size WxH [--smooth]] SECONDS OUT [SECONDS OUT ...]\n"
                 "       showframe --icon N OUT\n"
                 "Renders the show offscreen on a clock of F frames a second (default 60)\n"
                 "and writes the first frame drawn at or after SECONDS of show time as a\n"
                 "PPM picture (several moments, in order, in one run); with --icon, the\n"
                 "show's icon, N x N pixels (16 to 480), as a PNG picture. --size draws\n"
                 "at W x H pixels as the program does, without\n"
                 "multisampling (so that frames of two sizes compare) unless --smooth.\n");
    return reason != nullptr ? 2 : 0;
}

bool parsePositive(const char* text, double& value, bool allowZero) {
    errno = 0;
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(value) && (value > 0.0 || (allowZero && value == 0.0));
}

// The frame drawn last, top row first.
std::vector<unsigned char> readFrame() {
    const int width = picture.outputWidth, height = picture.outputHeight;
    std::vector<unsigned char> bottomUp(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    platform::bindFrameForReading();
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<unsigned char> topDown(bottomUp.size());
    const size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::copy_n(bottomUp.data() + (height - 1 - y) * row, row, topDown.data() + y * row);
    return topDown;
}

bool writePpm(const char* path, const std::vector<unsigned char>& frame) {
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr) return false;
    std::fprintf(out, "P6\n%d %d\n255\n", picture.outputWidth, picture.outputHeight);
    std::fwrite(frame.data(), 1, frame.size(), out);
    return std::fclose(out) == 0;
}

// The frame's middle square (showHeight pixels a side) made size x size:
// each icon pixel is the mean of the frame pixels whose centres fall in it.
bool writeIcon(const char* path, const std::vector<unsigned char>& frame, int size) {
    const int left = (showWidth - showHeight) / 2;
    std::vector<unsigned char> icon(static_cast<size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int y0 = y * showHeight / size, y1 = (y + 1) * showHeight / size;
            const int x0 = x * showHeight / size, x1 = (x + 1) * showHeight / size;
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int v = y0; v < y1; ++v)
                    for (int u = x0; u < x1; ++u) sum += frame[(static_cast<size_t>(v) * showWidth + left + u) * 3 + c];
                icon[(static_cast<size_t>(y) * size + x) * 3 + c] =
                    static_cast<unsigned char>((sum + (y1 - y0) * (x1 - x0) / 2) / ((y1 - y0) * (x1 - x0)));
            }
        }
    }
    return platform::encode::writePngFile(path, icon.data(), size, size);
}

// The icon, drawn into the frame's middle square with the show's own
// sphere, light and second photo. Lines are drawn about 1.5 icon pixels wide
// whatever the size, so that the sphere reads at 16 px as at 256.
constexpr float iconFieldOfView    = 45.0f;   // degrees, as the show's
constexpr float iconSquareDepth    = -2.9f;   // units: the turned square reaches the icon's edges
constexpr float iconSquareDegrees  = 12.0f;   // turn about the view axis
constexpr float iconSphereDepth    = -1.0f;   // the sphere is about 60 % of the icon wide
constexpr float iconSphereDegrees  = 35.0f;   // about the show's spin axis
constexpr float iconLinePixels     = 1.5f;    // icon pixels
constexpr float iconLightPosition[4] = {1.0f, 1.0f, 1.0f, 0.0f};  // from the upper right, in front

void drawIcon(int size) {
    const int left = (showWidth - showHeight) / 2;
    glViewport(left, 0, showHeight, showHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(iconFieldOfView, 1.0, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);

    // 1. The second photo on the turned square, unlit.
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, iconSquareDepth);
    glRotatef(iconSquareDegrees, 0.0f, 0.0f, 1.0f);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, photoTextures[1]);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 0.0f); glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f); glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f); glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(0.0f, 0.0f); glVertex2f(-1.0f, -1.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    // 2. The red light from in front, then the wire sphere at the centre.
    glLoadIdentity();
    glLightfv(GL_LIGHT0, GL_POSITION, iconLightPosition);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glLineWidth(std::max(1.0f, iconLinePixels * static_cast<float>(showHeight) / static_cast<float>(size)));
    glTranslatef(0.0f, 0.0f, iconSphereDepth);
    glRotatef(iconSphereDegrees, 0.3f, 0.43f, 0.72f);
    glCallList(sphereList);
    glLineWidth(1.0f);
}

}  // namespace

int main(int argc, char** argv) {
    double fps = 60.0;
    double iconSize = 0.0;  // 0: the whole frame as PPM
    std::vector<const char*> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) return usage(nullptr);
        if (std::strcmp(argv[i], "--fps") == 0) {
            // The program's own range: outside it the fixed-step clock stalls
            // or never reaches the moment.
            if (i + 1 >= argc || !parsePositive(argv[++i], fps, false) || fps < minFps || fps > maxFps)
                return usage("--fps needs a number from 1 to 1000");
        } else if (std::strcmp(argv[i], "--size") == 0) {
            unsigned width = 0, height = 0;
            char end = 0;
            if (i + 1 >= argc || std::sscanf(argv[++i], "%ux%u%c", &width, &height, &end) != 2 || width < minSide ||
                height < minSide || width > maxSide || height > maxSide)
                return usage("--size needs a size WxH, each from 16 to 16384");
            sizeOutput(static_cast<int>(width), static_cast<int>(height), false);
        } else if (std::strcmp(argv[i], "--smooth") == 0) {
            platform::askForSamples(largerPictureSamples);
        } else if (std::strcmp(argv[i], "--icon") == 0) {
            if (i + 1 >= argc || !parsePositive(argv[++i], iconSize, false) || iconSize != std::floor(iconSize) ||
                iconSize < 16.0 || iconSize > showHeight)
                return usage("--icon needs a whole number of pixels from 16 to 480");
        } else {
            positional.push_back(argv[i]);
        }
    }
    // The moments, in the order given, each with its file.
    struct Moment {
        double seconds = 0.0;
        const char* outPath = nullptr;
    };
    std::vector<Moment> moments;
    if (iconSize > 0.0) {
        // The icon is drawn after the first frame, once start-up has made
        // the sphere and loaded the photos.
        if (positional.size() != 1) return usage("--icon needs an output file and no time");
        if (picture.sized) return usage("--icon does not go with --size");
        moments.push_back({0.0, positional[0]});
    } else {
        if (positional.empty() || positional.size() % 2 != 0)
            return usage("needs a time in seconds and an output file");
        for (size_t k = 0; k < positional.size(); k += 2) {
            Moment moment{0.0, positional[k + 1]};
            if (!parsePositive(positional[k], moment.seconds, true))
                return usage("the time must be a number of seconds, 0 or more");
            if (!moments.empty() && moment.seconds < moments.back().seconds)
                return usage("the times must come in order");
            moments.push_back(moment);
        }
    }
    const double seconds = moments.back().seconds;
    const char* outPath = moments.back().outPath;

    if (!anyDataFileFound()) {
        std::fprintf(stderr, "showframe: the show could not start: none of its files (photos and songs) found; looked in %s\n",
                     dataFoldersText().c_str());
        return 1;
    }

    platform::selectBackend(platform::Backend::Headless);
    platform::selectSoundOutput(platform::SoundOutput::Silent);
    useFixedClock(fps);
    shell.skipFullscreen = true;
    // The frames before the first moment, and between two moments, are run
    // through as --from runs them, with nothing rasterized: every frame
    // after them is drawn as it would be had they been drawn.
    PlayerSettings player;
    player.fromSeconds = moments.front().seconds;
    player.jumpFps = fps;
    setUpPlayer(player);

    // The clock reads 1000 ms at the start; the frame at show time t is the
    // first drawn at a reading of at least 1000 + t * 1000.
    ShowRun run;
    run.stopAtMs = readingAtSecond(seconds);
    std::string writeError;  // empty once the frame is written
    size_t next = 0;  // the first moment not written yet
    run.afterFrame = [&](const DrawnFrame& frame) {
        if (frame.skipped) return true;
        while (next < moments.size() && (frame.last || frame.clockMs >= readingAtSecond(moments[next].seconds))) {
            if (iconSize > 0.0) drawIcon(static_cast<int>(iconSize));
            const std::vector<unsigned char> pixels = readFrame();
            outPath = moments[next].outPath;
            const bool written = iconSize > 0.0 ? writeIcon(outPath, pixels, static_cast<int>(iconSize))
                                                : writePpm(outPath, pixels);
            ++next;
            if (!written) {
                writeError = std::strerror(errno);
                return false;
            }
        }
        // The frames up to the next moment are run through as well.
        if (next < moments.size() && !frame.last) playerRunAheadTo(moments[next].seconds);
        return true;
    };
    const ShowResult result = runShow(run);
    switch (result.end) {
    case ShowEnd::Stopped:
    case ShowEnd::HookEnded:
        if (writeError.empty()) return 0;
        std::fprintf(stderr, "showframe: cannot write %s: %s\n", outPath, writeError.c_str());
        return 1;
    case ShowEnd::NotOpened:
        std::fprintf(stderr, "showframe: the show could not start: its offscreen display could not be opened\n");
        return 1;
    case ShowEnd::Quit:
        // The show ends itself with 1 before its first frame when none of
        // its photos can be read, after saying so in its box.
        if (result.exitCode == 1) {
            std::fprintf(stderr, "showframe: the show could not start: none of its photos could be read\n");
            return 1;
        }
        [[fallthrough]];
    default:
        std::fprintf(stderr, "showframe: the show ended before %.3f s\n", seconds);
        return 1;
    }
}
