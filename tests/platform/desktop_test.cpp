// The desktop back end in a real SDL window on an X server of its own
// (Xvfb), with real GL: a known 640 x 480 frame is drawn and swapped, and
// the X screen itself is read back and probed where the scaled frame and
// its black bars must be.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/display/display.h"
#include "tests/support/support.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

using testing_support::describe;
using testing_support::near;
using testing_support::Rgb;

namespace {

constexpr int screenWidth = 1920;   // the X screen, pixels
constexpr int screenHeight = 1080;
constexpr int frameWidth = 640;     // what the show draws
constexpr int frameHeight = 480;
constexpr auto screenWait = std::chrono::seconds(30);  // for the frame to reach the screen (sanitizers, 2 cores)

const Rgb black{0, 0, 0};
const Rgb red{255, 0, 0};
const Rgb blue{0, 0, 255};

// An Xvfb of its own, on a display number it picks itself and tells
// through a pipe once it accepts clients (-displayfd), which ends by itself
// when this process's connections to it close (-terminate), whatever way the
// process ends. `display` is the test's own connection, for reading the
// screen.
struct XServer {
    Display* display = nullptr;

    XServer() {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        const std::string geometry = std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", geometry.c_str(), "-nolisten", "tcp",
                              "-terminate", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        std::string number;
        char c = 0;
        // The number and a line break; end of file when the server failed.
        while (spawned == 0 && read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
        close(pipeEnds[0]);
        if (spawned != 0) return;
        if (c == '\n' && !number.empty()) display = XOpenDisplay((":" + number).c_str());
        if (display == nullptr) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            return;
        }
        setenv("DISPLAY", (":" + number).c_str(), 1);
        // The requests a client sends to the window manager.
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSync(display, False);
    }
};

XServer& xServer() {
    static XServer server;
    return server;
}

// The screen as the X server holds it, top row first.
class ScreenShot {
public:
    ScreenShot() {
        Display* d = xServer().display;
        XSync(d, False);
        image_ = XGetImage(d, DefaultRootWindow(d), 0, 0, screenWidth, screenHeight, AllPlanes, ZPixmap);
    }
    ~ScreenShot() {
        if (image_ != nullptr) XDestroyImage(image_);
    }
    ScreenShot(const ScreenShot&) = delete;
    ScreenShot& operator=(const ScreenShot&) = delete;
    Rgb at(int x, int y) const {
        if (image_ == nullptr) return {-1, -1, -1};
        const unsigned long p = XGetPixel(image_, x, y);
        return {static_cast<int>((p & image_->red_mask) >> 16), static_cast<int>((p & image_->green_mask) >> 8),
                static_cast<int>(p & image_->blue_mask)};
    }
private:
    XImage* image_ = nullptr;
};

// Every WM_SIZE the window procedure received, as width x height.
std::vector<std::string> sizes;

intptr_t recordSizes(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == platform::WM_SIZE)
        sizes.push_back(std::to_string(lParam & 0xFFFF) + "x" + std::to_string((lParam >> 16) & 0xFFFF));
    return platform::defaultWindowProcedure(message, wParam, lParam);
}

// The known frame: blue, with its top-left quarter red, drawn at 640 x 480
// as the show draws (its own viewport, on whatever is bound).
void drawFrame() {
    glViewport(0, 0, frameWidth, frameHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, frameWidth, frameHeight, 0.0, -1.0, 1.0);  // top-left origin
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(1.0f, 0.0f, 0.0f);
    glBegin(GL_QUADS);
    glVertex2i(0, 0);
    glVertex2i(frameWidth / 2, 0);
    glVertex2i(frameWidth / 2, frameHeight / 2);
    glVertex2i(0, frameHeight / 2);
    glEnd();
}

// Pumps messages, draws and swaps until the screen shows blue at `inside`
// and black at `outside`, or the wait runs out.
void showUntil(int insideX, int insideY, int outsideX, int outsideY) {
    const auto giveUp = std::chrono::steady_clock::now() + screenWait;
    while (std::chrono::steady_clock::now() < giveUp) {
        platform::Message message;
        while (platform::peekMessage(message)) platform::dispatchMessage(message);
        drawFrame();
        platform::swapBuffers();
        ScreenShot shot;
        if (near(shot.at(insideX, insideY), blue) && near(shot.at(outsideX, outsideY), black)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The show's window once mapped: the server's only mapped window, as there
// is no window manager. asksFullscreen: whether it asked the window manager
// for full screen (_NET_WM_STATE_FULLSCREEN).
Window shownWindow(bool& asksFullscreen) {
    Display* d = xServer().display;
    Window shown = 0;
    for (int tries = 0; tries < 300 && shown == 0; ++tries) {
        platform::Message message;
        while (platform::peekMessage(message)) platform::dispatchMessage(message);
        XSync(d, False);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(d, children[i], &attributes) && attributes.map_state == IsViewable)
                shown = children[i];
        }
        if (children != nullptr) XFree(children);
        if (shown == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    asksFullscreen = false;
    const Atom state = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom fullscreenState = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
    while (XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        const XClientMessageEvent& request = event.xclient;
        if (event.type == ClientMessage && request.window == shown && request.message_type == state &&
            request.data.l[0] == 1 &&
            (static_cast<Atom>(request.data.l[1]) == fullscreenState ||
             static_cast<Atom>(request.data.l[2]) == fullscreenState))
            asksFullscreen = true;
    }
    return shown;
}

bool openDesktopWindow(bool fullscreen) {
    platform::selectBackend(platform::Backend::Desktop);
    sizes.clear();
    return platform::startVideo(recordSizes) && platform::changeDisplayMode(frameWidth, frameHeight, 16) &&
           platform::createWindow("desktop test", frameWidth, frameHeight, fullscreen) &&
           platform::createContext() && platform::makeContextCurrent();
}

void closeDesktopWindow() {
    platform::restoreDisplayMode();
    platform::releaseContext();
    platform::deleteContext();
    platform::destroyWindow();
}

struct Probe {
    const char* where;
    int x, y;        // screen pixels, top-left origin
    Rgb expected;
};

void checkProbes(const std::vector<Probe>& probes) {
    ScreenShot shot;
    for (const Probe& p : probes) {
        const Rgb got = shot.at(p.x, p.y);
        EXPECT_TRUE(near(got, p.expected)) << p.where << " at (" << p.x << ", " << p.y << "): expected "
                                           << describe(p.expected) << ", got " << describe(got);
    }
}

// What the show reads back from the frame it drew: its own 640 x 480
// pixels, top-left quarter red (GL rows count from the bottom).
void checkFrameReadBack() {
    uint8_t topLeft[4] = {}, bottomRight[4] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(10, frameHeight - 11, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, topLeft);
    glReadPixels(frameWidth - 11, 10, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, bottomRight);
    EXPECT_TRUE(near({topLeft[0], topLeft[1], topLeft[2]}, red))
        << "frame read back at (10, 10): got " << describe({topLeft[0], topLeft[1], topLeft[2]});
    EXPECT_TRUE(near({bottomRight[0], bottomRight[1], bottomRight[2]}, blue))
        << "frame read back at (629, 469): got " << describe({bottomRight[0], bottomRight[1], bottomRight[2]});
}

}  // namespace

// Full screen on a 1920 x 1080 screen: the frame at 2.25 times, 1440 x 1080
// from x 240 to 1679, bars left and right; the show is told 640 x 480.
TEST(DesktopTest, FullScreenScalesTheFrameWithBarsBesideIt) {
    ASSERT_NE(xServer().display, nullptr) << "no Xvfb could be started";
    ASSERT_TRUE(openDesktopWindow(true));
    platform::showWindow();
    // With no window manager to make it full screen, it covers the screen
    // by its own size.
    bool asksFullscreen = false;
    ASSERT_NE(shownWindow(asksFullscreen), 0u) << "the window was never mapped";
    EXPECT_TRUE(asksFullscreen) << "the window did not ask for full screen";
    showUntil(1600, 1000, 100, 540);

    // The red quarter ends at 240 + 320 x 2.25 = 960 across and 540 down;
    // linear filtering blends the one pixel on either side of those edges.
    checkProbes({
        {"left bar", 0, 540, black},
        {"left bar, last column", 239, 1000, black},
        {"picture, first column", 240, 1000, blue},
        {"picture, last column", 1679, 1000, blue},
        {"right bar, first column", 1680, 1000, black},
        {"right bar", 1919, 540, black},
        {"red quarter, top-left corner", 240, 0, red},
        {"red quarter, inside its right edge", 957, 270, red},
        {"blue, past the red quarter's right edge", 962, 270, blue},
        {"red quarter, inside its bottom edge", 600, 537, red},
        {"blue, below the red quarter", 600, 542, blue},
        {"picture, bottom-right corner", 1679, 1079, blue},
    });
    checkFrameReadBack();

    GLfloat clearColour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    EXPECT_EQ(clearColour[2], 1.0f) << "the swap must leave the show's own clear colour (blue)";
    ASSERT_FALSE(sizes.empty()) << "going full screen sent no WM_SIZE";
    for (const std::string& size : sizes) EXPECT_EQ(size, "640x480") << "WM_SIZE must give the frame's size";
    closeDesktopWindow();
}

// A window resized to 1280 x 1024: the frame at exactly twice its size,
// pixel for pixel (1280 x 960 from y 32 to 991), bars above and below.
TEST(DesktopTest, ResizedWindowScalesTheFrameWithBarsAboveAndBelow) {
    ASSERT_NE(xServer().display, nullptr) << "no Xvfb could be started";
    ASSERT_TRUE(openDesktopWindow(false));
    platform::showWindow();
    // Resized as a user resizes it, through the X server (there is no
    // window manager to ask).
    bool asksFullscreen = true;
    const Window shown = shownWindow(asksFullscreen);
    ASSERT_NE(shown, 0u) << "the window was never mapped";
    EXPECT_FALSE(asksFullscreen) << "a window that is not full screen asked for full screen";
    XMoveResizeWindow(xServer().display, shown, 0, 0, 1280, 1024);
    showUntil(1200, 900, 600, 1010);

    checkProbes({
        {"top bar", 640, 0, black},
        {"top bar, last row", 640, 31, black},
        {"red quarter, first row", 0, 32, red},
        {"red quarter, last column", 639, 100, red},
        {"blue, right of the red quarter", 640, 100, blue},
        {"red quarter, last row", 100, 511, red},
        {"blue, below the red quarter", 100, 512, blue},
        {"picture, last row", 1279, 991, blue},
        {"bottom bar, first row", 640, 992, black},
        {"bottom bar", 640, 1023, black},
    });
    checkFrameReadBack();
    ASSERT_FALSE(sizes.empty()) << "the resize sent no WM_SIZE";
    for (const std::string& size : sizes) EXPECT_EQ(size, "640x480") << "WM_SIZE must give the frame's size";
    closeDesktopWindow();
}
