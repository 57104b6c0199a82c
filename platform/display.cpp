// The window, GL context and message queue over SDL2.
//
// Window back end: an SDL window with a compatibility GL context on whatever
// video driver SDL picks (X11, Wayland, ...). Full screen is a real change of
// the display mode to the requested size, made when the window is shown and
// undone by restoreDisplayMode.
//
// Headless back end: SDL's offscreen driver, which makes its GL context
// through EGL on Mesa and needs no display at all. Its virtual display takes
// any mode, and message boxes go to standard error.
#include "platform/platform.h"

#include <SDL2/SDL.h>

#include <dlfcn.h>
#include <link.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

namespace platform {

namespace {

struct DisplayState {
    Backend backend = Backend::Window;
    WindowProcedure procedure = nullptr;
    bool videoStarted = false;
    bool modeChanged = false;        // a full-screen mode is requested or in force
    SDL_DisplayMode mode{};          // the full-screen mode found by changeDisplayMode
    SDL_Window* window = nullptr;
    bool deviceContext = false;
    SDL_GLContext context = nullptr;
    std::string forcedFailure;
    std::deque<Message> queue;
};

DisplayState display;

bool forced(const char* step) {
    if (display.forcedFailure == step) {
        noteJournal(std::string("forced failure ") + step);
        return true;
    }
    return false;
}

// The virtual-key code of a key, or 0 for keys the show has no code for.
uintptr_t virtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + (key - SDLK_F1);
    switch (key) {
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: return 0x0D;
    case SDLK_KP_ENTER: return 0x0D;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_LALT: case SDLK_RALT: return 0x12;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    default: return 0;
    }
}

constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;

void translateEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        display.queue.push_back({WM_CLOSE, 0, 0});
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            display.queue.push_back({WM_CLOSE, 0, 0});
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            display.queue.push_back({WM_ACTIVATE, WA_MINIMIZED_HIGH << 16, 0});
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            display.queue.push_back({WM_ACTIVATE, 1, 0});
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            display.queue.push_back({WM_ACTIVATE, 0, 0});
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            int width = 0, height = 0;
            drawableSize(width, height);
            display.queue.push_back({WM_SIZE, 0, packSize(width, height)});
            break;
        }
        default:
            break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const uintptr_t code = virtualKey(event.key.keysym.sym);
        if (code == 0) break;
        // Keys pressed with Alt held are system keys, which the window
        // procedure leaves to the default handling.
        const bool system = (event.key.keysym.mod & KMOD_ALT) != 0 && code != 0x12;
        uint32_t message = event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP;
        if (system) message = event.type == SDL_KEYDOWN ? WM_SYSKEYDOWN : WM_SYSKEYUP;
        display.queue.push_back({message, code, 0});
        break;
    }
    default:
        break;
    }
}

#if defined(__SANITIZE_ADDRESS__)
// The GL driver is unloaded with the last context, after which the leak
// checker can no longer name the driver's own allocations (and so cannot
// tell them from ours). Sanitizer builds keep the driver's modules loaded.
void pinDriverModules() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (name.find("_dri.so") != std::string::npos || name.find("libgallium") != std::string::npos ||
                name.find("libLLVM") != std::string::npos || name.find("libEGL_mesa") != std::string::npos ||
                name.find("libGLX_mesa") != std::string::npos || name.find("libglapi") != std::string::npos)
                dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
#else
void pinDriverModules() {}
#endif

}  // namespace

intptr_t defaultWindowProcedure(uint32_t, uintptr_t, intptr_t) {
    return 0;
}

void selectBackend(Backend backend) {
    display.backend = backend;
}

Backend currentBackend() {
    return display.backend;
}

void forceFailure(const std::string& step) {
    display.forcedFailure = step;
}

bool registerWindowClass(WindowProcedure procedure) {
    noteJournal("registerWindowClass");
    if (forced("registerWindowClass")) return false;
    if (!display.videoStarted) {
        if (display.backend == Backend::Headless) {
            if (SDL_VideoInit("offscreen") != 0) return false;
        } else {
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
            // With no display SDL falls back to its offscreen driver, which
            // would play the show where nobody can see it. A window needs a
            // real one, unless the user asked for that driver by name.
            const char* driver = SDL_GetCurrentVideoDriver();
            const char* asked = SDL_getenv("SDL_VIDEODRIVER");
            if (driver != nullptr && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
                (asked == nullptr || SDL_strcasecmp(asked, driver) != 0)) {
                SDL_QuitSubSystem(SDL_INIT_VIDEO);
                return false;
            }
        }
        display.videoStarted = true;
    }
    // No screen saver or monitor power-down while the show runs.
    SDL_DisableScreenSaver();
    display.procedure = procedure;
    return true;
}

bool changeDisplayMode(int width, int height, int bitsPerPixel) {
    noteJournal("changeDisplayMode " + std::to_string(width) + "x" + std::to_string(height) + "x" +
                std::to_string(bitsPerPixel));
    if (forced("changeDisplayMode")) return false;
    if (!display.videoStarted) return false;
    if (display.backend == Backend::Headless) {
        display.mode = SDL_DisplayMode{SDL_PIXELFORMAT_RGB565, width, height, 60, nullptr};
        display.modeChanged = true;
        return true;
    }
    // The exact size is needed; the depth is taken where the display offers it.
    bool found = false;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode candidate{};
        if (SDL_GetDisplayMode(0, i, &candidate) != 0) continue;
        if (candidate.w != width || candidate.h != height) continue;
        if (!found || static_cast<int>(SDL_BITSPERPIXEL(candidate.format)) == bitsPerPixel) {
            display.mode = candidate;
            found = true;
        }
    }
    if (!found) return false;
    display.modeChanged = true;
    return true;
}

void restoreDisplayMode() {
    noteJournal("restoreDisplayMode");
    if (display.window != nullptr && display.backend == Backend::Window)
        SDL_SetWindowFullscreen(display.window, 0);
    display.modeChanged = false;
}

bool displayModeChanged() {
    return display.modeChanged;
}

void showCursor(bool visible) {
    if (display.backend == Backend::Window && display.videoStarted)
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool createWindow(const char* title, int width, int height, bool fullscreen) {
    noteJournal("createWindow");
    if (forced("createWindow")) return false;
    if (!display.videoStarted) return false;
    // The pixel format goes with the window under SDL: a double-buffered
    // RGBA format with a 16-bit depth buffer, in a compatibility context.
    SDL_GL_ResetAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    if (fullscreen && display.backend == Backend::Window) flags |= SDL_WINDOW_FULLSCREEN;
    display.window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                      width, height, flags);
    if (display.window == nullptr) return false;
    if (fullscreen && display.backend == Backend::Window &&
        SDL_SetWindowDisplayMode(display.window, &display.mode) != 0) {
        SDL_DestroyWindow(display.window);
        display.window = nullptr;
        return false;
    }
    return true;
}

bool getDeviceContext() {
    noteJournal("getDeviceContext");
    if (forced("getDeviceContext")) return false;
    display.deviceContext = display.window != nullptr;
    return display.deviceContext;
}

bool choosePixelFormat(int colourBits, int depthBits) {
    noteJournal("choosePixelFormat");
    if (forced("choosePixelFormat")) return false;
    return display.deviceContext && colourBits > 0 && depthBits > 0 &&
           (SDL_GetWindowFlags(display.window) & SDL_WINDOW_OPENGL) != 0;
}

bool setPixelFormat() {
    noteJournal("setPixelFormat");
    if (forced("setPixelFormat")) return false;
    return display.deviceContext;
}

bool createRenderingContext() {
    noteJournal("createRenderingContext");
    if (forced("createRenderingContext")) return false;
    if (!display.deviceContext) return false;
    display.context = SDL_GL_CreateContext(display.window);
    if (display.context != nullptr) pinDriverModules();
    return display.context != nullptr;
}

bool makeContextCurrent() {
    noteJournal("makeContextCurrent");
    if (forced("makeContextCurrent")) return false;
    if (display.context == nullptr) return false;
    return SDL_GL_MakeCurrent(display.window, display.context) == 0;
}

void showWindow() {
    noteJournal("showWindow");
    if (display.window == nullptr) return;
    SDL_ShowWindow(display.window);
    SDL_RaiseWindow(display.window);
    if (display.backend == Backend::Window && !display.modeChanged) {
        // A bordered window keeps its outer size; its client area is what is
        // left inside the frame.
        int top = 0, left = 0, bottom = 0, right = 0;
        int width = 0, height = 0;
        SDL_GetWindowSize(display.window, &width, &height);
        if (SDL_GetWindowBordersSize(display.window, &top, &left, &bottom, &right) == 0 &&
            (top | left | bottom | right) != 0)
            SDL_SetWindowSize(display.window, width - left - right, height - top - bottom);
    }
}

bool releaseContext() {
    noteJournal("releaseContext");
    if (forced("releaseContext")) return false;
    return SDL_GL_MakeCurrent(display.window, nullptr) == 0;
}

bool deleteRenderingContext() {
    noteJournal("deleteRenderingContext");
    if (display.context != nullptr) SDL_GL_DeleteContext(display.context);
    display.context = nullptr;
    return !forced("deleteRenderingContext");
}

bool releaseDeviceContext() {
    noteJournal("releaseDeviceContext");
    display.deviceContext = false;
    return !forced("releaseDeviceContext");
}

bool destroyWindow() {
    noteJournal("destroyWindow");
    if (display.window != nullptr) SDL_DestroyWindow(display.window);
    display.window = nullptr;
    display.queue.clear();
    return true;
}

bool haveRenderingContext() {
    return display.context != nullptr;
}

bool haveDeviceContext() {
    return display.deviceContext;
}

bool haveWindow() {
    return display.window != nullptr;
}

namespace {
void (*swapHook)() = nullptr;
}

void setSwapHookForTesting(void (*hook)()) {
    swapHook = hook;
}

void swapBuffers() {
    if (display.window != nullptr) SDL_GL_SwapWindow(display.window);
    if (swapHook != nullptr) swapHook();
}

void drawableSize(int& width, int& height) {
    width = height = 0;
    if (display.window != nullptr) SDL_GL_GetDrawableSize(display.window, &width, &height);
}

bool peekMessage(Message& message) {
    if (display.queue.empty() && display.videoStarted) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) translateEvent(event);
    }
    if (display.queue.empty()) return false;
    message = display.queue.front();
    display.queue.pop_front();
    return true;
}

void dispatchMessage(const Message& message) {
    if (display.procedure != nullptr)
        display.procedure(message.message, message.wParam, message.lParam);
}

void postQuitMessage(int exitCode) {
    noteJournal("postQuitMessage " + std::to_string(exitCode));
    display.queue.push_back({WM_QUIT, static_cast<uintptr_t>(exitCode), 0});
}

void postMessage(const Message& message) {
    display.queue.push_back(message);
}

Answer messageBox(const char* text, const char* caption, Buttons buttons) {
    noteJournal(std::string("messageBox ") + caption + "|" + text);
    if (display.backend == Backend::Window) {
        const SDL_MessageBoxButtonData okButtons[] = {
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"},
        };
        // Return answers Yes and Escape answers No, as on the old desktop.
        const SDL_MessageBoxButtonData yesNoButtons[] = {
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "No"},
            {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        };
        SDL_MessageBoxData data{};
        data.flags = buttons == Buttons::YesNo ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_ERROR;
        data.window = nullptr;
        data.title = caption;
        data.message = text;
        data.numbuttons = buttons == Buttons::YesNo ? 2 : 1;
        data.buttons = buttons == Buttons::YesNo ? yesNoButtons : okButtons;
        int pressed = -1;
        if (SDL_ShowMessageBox(&data, &pressed) == 0) {
            if (buttons == Buttons::Ok) return Answer::Ok;
            const Answer answer = pressed == 1 ? Answer::Yes : Answer::No;
            noteJournal(answer == Answer::Yes ? "answer Yes" : "answer No");
            return answer;
        }
    }
    // No box can be shown: caption and text, one line each (a text that
    // ends its own line gets no second line break).
    const size_t textLength = std::strlen(text);
    const bool textEndsLine = textLength > 0 && text[textLength - 1] == '\n';
    std::fprintf(stderr, "%s\n%s%s", caption, text, textEndsLine ? "" : "\n");
    std::fflush(stderr);
    if (buttons == Buttons::YesNo) noteJournal("answer Yes");
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

// ---------------------------------------------------------------------------
// The clock.

namespace {

struct ClockState {
    double fixedStepFps = 0.0;
    uint64_t framesDrawn = 0;
    uint32_t (*testClock)() = nullptr;
};

ClockState clock;

}  // namespace

uint32_t timeGetTime() {
    if (clock.testClock != nullptr) return clock.testClock();
    if (clock.fixedStepFps > 0.0) {
        const double elapsed = std::floor(static_cast<double>(clock.framesDrawn) * 1000.0 / clock.fixedStepFps);
        return static_cast<uint32_t>(1000 + static_cast<uint64_t>(elapsed));
    }
    // Milliseconds of the monotonic clock, wrapping at 2^32 like the old
    // multimedia timer.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void setFixedStepClock(double framesPerSecond) {
    clock.fixedStepFps = framesPerSecond;
    clock.framesDrawn = 0;
}

void frameDrawn() {
    ++clock.framesDrawn;
}

void setClockForTesting(uint32_t (*testClock)()) {
    clock.testClock = testClock;
}

// ---------------------------------------------------------------------------
// The journal.

namespace {
bool journalOn = false;
}

void enableJournal(bool on) {
    journalOn = on;
}

std::vector<std::string>& journal() {
    static std::vector<std::string> entries;
    return entries;
}

void noteJournal(const std::string& entry) {
    if (journalOn) journal().push_back(entry);
}

}  // namespace platform
