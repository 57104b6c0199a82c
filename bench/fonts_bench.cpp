// Time to build the three start-up fonts (outline 9, bitmap 72, bitmap 24)
// on an offscreen GL context. The first build also finds and opens the face;
// the later ones find it cached, as the rebuilds during the show do.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/display/display.h"
#include "resources/text.h"

namespace {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct BuildTimes {
    double totalMs, textMs, bigMs, captionMs;
};

BuildTimes buildStartupFonts() {
    const auto start = Clock::now();
    textFont = makeOutlineFont(9);
    glFinish();
    const auto afterText = Clock::now();
    bigFont = makeBitmapFont(72, 1.0f);
    glFinish();
    const auto afterBig = Clock::now();
    captionFont = makeBitmapFont(24, 1.0f);
    glFinish();
    const auto stop = Clock::now();
    return {msBetween(start, stop), msBetween(start, afterText), msBetween(afterText, afterBig),
            msBetween(afterBig, stop)};
}

void releaseFonts() {
    for (GLuint base : {textFont, bigFont, captionFont}) glDeleteLists(base, 256);
    resetTextState();
}

}  // namespace

int main() {
    if (!platform::openOffscreenContext(640, 480)) {
        std::fprintf(stderr, "fonts_bench: no offscreen GL context\n");
        return 1;
    }
    const BuildTimes first = buildStartupFonts();
    releaseFonts();

    constexpr int runs = 15;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        ms.push_back(buildStartupFonts().totalMs);
        releaseFonts();
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start-up fonts (outline 9, bitmap 72, bitmap 24)\n");
    std::printf("  first build, face lookup included: %.2f ms (outline %.2f, bitmap 72 %.2f, bitmap 24 %.2f)\n",
                first.totalMs, first.textMs, first.bigMs, first.captionMs);
    std::printf("  later builds over %d runs: min %.2f ms, median %.2f ms, max %.2f ms\n", runs, ms.front(),
                ms[ms.size() / 2], ms.back());

    platform::closeOffscreenContext();
    return 0;
}
