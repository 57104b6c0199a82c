// The GL window, its context and SDL's events as window messages, for the
// window, desktop and headless back ends.
#include "platform/display/sdl_gl.h"

#include <cstring>
#include <string>

#include "platform/display/backend.h"
#include "platform/display/display.h"

namespace platform {

void setWindowTitle(const char* title) {
    if (sdl::window != nullptr) SDL_SetWindowTitle(sdl::window, title);
}

void askForSamples(int samples) { sdl::samplesAsked = samples; }

bool desktopSize(int& width, int& height) {
    SDL_Rect bounds{};
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetDisplayBounds(0, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0)
        return false;
    width = bounds.w;
    height = bounds.h;
    return true;
}

}  // namespace platform

namespace platform::sdl {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
ViewSize fixedViewSize;
int samplesAsked = 0;

namespace {

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
    case SDLK_AUDIONEXT: return VK_MEDIA_NEXT_TRACK;
    case SDLK_AUDIOPREV: return VK_MEDIA_PREV_TRACK;
    case SDLK_AUDIOSTOP: return VK_MEDIA_STOP;
    case SDLK_AUDIOPLAY: return VK_MEDIA_PLAY_PAUSE;
    default: return 0;
    }
}

void translateEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        postMessage({WM_CLOSE, 0, 0});
        break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            postMessage({WM_CLOSE, 0, 0});
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            postMessage({WM_ACTIVATE, WA_MINIMIZED_HIGH << 16, 0});
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            postMessage({WM_ACTIVATE, 1, 0});
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            postMessage({WM_ACTIVATE, 0, 0});
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            // The view follows the GL drawable, which is in pixels, unless
            // the back end draws at a fixed size.
            int width = fixedViewSize.width, height = fixedViewSize.height;
            if (width == 0 && window != nullptr) SDL_GL_GetDrawableSize(window, &width, &height);
            postMessage({WM_SIZE, 0, packSize(width, height)});
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
        postMessage({message, code, 0});
        break;
    }
    default:
        break;
    }
}

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>

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

bool displayVideoStarted = false;

}  // namespace

bool startDisplayVideo() {
    if (displayVideoStarted) return true;
    // Without a runtime folder and a Wayland display named by its path,
    // Wayland cannot be reached, and its library only prints a stray line
    // on trying: X11 alone is tried then, unless the user chose a driver
    // (on Linux: other systems have drivers of their own).
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
    const bool linux = std::strcmp(SDL_GetPlatform(), "Linux") == 0;
    if (linux && (runtime == nullptr || *runtime == '\0') && (wayland == nullptr || *wayland != '/'))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        noteVideoFailure(SDL_GetError());
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver != nullptr && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
        (asked == nullptr || SDL_strcasecmp(asked, driver) != 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        noteVideoFailure((std::string("only SDL's ") + driver + " video driver answered").c_str());
        return false;
    }
    SDL_DisableScreenSaver();
    displayVideoStarted = true;
    return true;
}

bool createWindow(const char* title, int width, int height, Uint32 flags) {
    // Multisampled where the system offers it, else without.
    for (const int samples : {samplesAsked, 0}) {
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 5);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        if (samples > 0) {
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
            SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
        }
        window = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                  SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | flags);
        if (window != nullptr || samples == 0) break;
    }
    return window != nullptr;
}

bool createContext() {
    if (window == nullptr) return false;
    context = SDL_GL_CreateContext(window);
    if (context != nullptr) pinDriverModules();
    return context != nullptr;
}

void askForVsync() {
    if (SDL_GL_SetSwapInterval(-1) != 0) SDL_GL_SetSwapInterval(1);
}

bool makeContextCurrent() {
    return context != nullptr && SDL_GL_MakeCurrent(window, context) == 0;
}

bool releaseContext() {
    return SDL_GL_MakeCurrent(window, nullptr) == 0;
}

void deleteContext() {
    if (context != nullptr) SDL_GL_DeleteContext(context);
    context = nullptr;
}

void destroyWindow() {
    if (window != nullptr) SDL_DestroyWindow(window);
    window = nullptr;
}

void pollEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) translateEvent(event);
}

int refreshRateHz() {
    int display = window != nullptr ? SDL_GetWindowDisplayIndex(window) : 0;
    if (display < 0) display = 0;
    SDL_DisplayMode mode{};
    if (SDL_GetCurrentDisplayMode(display, &mode) != 0) return 0;
    return mode.refresh_rate;
}

bool showMessageBox(const char* text, const char* caption, Buttons buttons, Answer& answer) {
    const SDL_MessageBoxButtonData okButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "OK"},
    };
    // Return answers Yes and Escape answers No.
    const SDL_MessageBoxButtonData yesNoButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
    };
    const bool question = buttons == Buttons::YesNo;
    SDL_MessageBoxData data{};
    data.flags = question ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_ERROR;
    data.window = nullptr;
    data.title = caption;
    data.message = text;
    data.numbuttons = question ? 2 : 1;
    data.buttons = question ? yesNoButtons : okButtons;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) return false;
    answer = !question ? Answer::Ok : pressed == 1 ? Answer::Yes : Answer::No;
    return true;
}

}  // namespace platform::sdl
