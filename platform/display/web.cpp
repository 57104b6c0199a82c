// The browser's back end: one canvas on the page, a WebGL 1 context drawn
// through the GL subset in webgl/, and key events from the page's document.
// The show draws at the canvas's own size (the window size it asks for);
// the page scales the canvas to fit with its shape kept. The browser shows
// a frame when the turn that drew it returns, so a swap does nothing, and
// message boxes are text on the page: nothing waits for an answer.
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <deque>

#include "platform/display/backend.h"
#include "webgl/webgl.h"

// The page's side (app/page/page.js).
EM_JS(void, pageShowMessage, (const char* caption, const char* text), {
    if (typeof eyesonlyPage !== 'undefined') eyesonlyPage.showMessage(UTF8ToString(caption), UTF8ToString(text));
});
EM_JS(void, pageSetTitle, (const char* title), { document.title = UTF8ToString(title); });

namespace platform {

// The page's title stands for the window's.
void setWindowTitle(const char* title) { pageSetTitle(title); }

namespace {
int samplesAsked = 0;  // askForSamples: the context's antialiasing, when not 0
}  // namespace

// WebGL offers antialiasing, not a count of samples: the browser picks it.
void askForSamples(int samples) { samplesAsked = samples; }

// The page is the desktop here: its size is the canvas's, which app/web.cpp sets.
bool desktopSize(int&, int&) { return false; }

namespace web {
namespace {

constexpr const char* canvas = "#canvas";

struct WebDisplay {
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
    bool keysWatched = false;
    bool window = false;
    std::deque<Message> arrived;  // key messages since the last poll
};

WebDisplay page;

// Key codes of the page's events are the virtual-key codes the show knows
// (Escape 27, Space 32, arrows 37 to 40, Home 36, letters in capitals).
// F belongs to the page (full screen), Tab to the browser (it moves the
// focus between the page's controls), and keys with Ctrl, Alt or Meta to
// the browser.
EM_BOOL onKey(int eventType, const EmscriptenKeyboardEvent* event, void*) {
    if (!page.window || event->ctrlKey || event->altKey || event->metaKey) return EM_FALSE;
    const unsigned long code = event->keyCode;
    if (code == 0 || code >= 256 || code == 'F' || code == '\t') return EM_FALSE;
    const bool down = eventType == EMSCRIPTEN_EVENT_KEYDOWN;
    page.arrived.push_back({down ? WM_KEYDOWN : WM_KEYUP, static_cast<uintptr_t>(code), event->repeat ? 1 : 0});
    return EM_TRUE;  // the page does not scroll on Space or the arrows
}

bool startVideo() { return true; }

bool changeDisplayMode(int, int, int) { return true; }

void restoreDisplayMode() {}

void showCursor(bool) {}

bool createWindow(const char* title, int width, int height, bool) {
    if (emscripten_set_canvas_element_size(canvas, width, height) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    pageSetTitle(title);
    if (!page.keysWatched) {
        emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
        emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
        page.keysWatched = true;
    }
    page.arrived.clear();
    page.window = true;
    return true;
}

bool createContext() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = EM_FALSE;  // the clear colour's alpha must not show the page through
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = samplesAsked > 0 ? EM_TRUE : EM_FALSE;
    // The GL subset needs no WebGL extension; enabling each one the browser
    // offers costs most of the context's making.
    attributes.enableExtensionsByDefault = EM_FALSE;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    page.context = emscripten_webgl_create_context(canvas, &attributes);
    return page.context > 0;
}

bool makeContextCurrent() {
    if (page.context <= 0 || emscripten_webgl_make_context_current(page.context) != EMSCRIPTEN_RESULT_SUCCESS)
        return false;
    return webglStart();
}

void showWindow() {}

bool releaseContext() {
    return emscripten_webgl_make_context_current(0) == EMSCRIPTEN_RESULT_SUCCESS;
}

// What the context held (lists, textures) goes with it, as a desktop
// context's does: a run after this one starts from nothing.
void deleteContext() {
    if (page.context > 0) {
        if (emscripten_webgl_make_context_current(page.context) == EMSCRIPTEN_RESULT_SUCCESS) webglStop();
        emscripten_webgl_destroy_context(page.context);
    }
    page.context = 0;
}

void destroyWindow() {
    page.window = false;
    page.arrived.clear();
}

void swapBuffers() {}

// WebGL reads the canvas's drawing buffer, resolved by the browser.
void bindFrameForReading() {}

void pollEvents() {
    while (!page.arrived.empty()) {
        postMessage(page.arrived.front());
        page.arrived.pop_front();
    }
}

int refreshRateHz() { return 0; }

bool showMessageBox(const char* text, const char* caption, Buttons buttons, Answer& answer) {
    pageShowMessage(caption, text);
    answer = buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    return true;
}

}  // namespace
}  // namespace web

const DisplayBackend webBackend = {
    web::startVideo,
    web::changeDisplayMode,
    web::restoreDisplayMode,
    web::showCursor,
    web::createWindow,
    web::createContext,
    web::makeContextCurrent,
    web::showWindow,
    web::releaseContext,
    web::deleteContext,
    web::destroyWindow,
    web::swapBuffers,
    web::bindFrameForReading,
    web::pollEvents,
    web::refreshRateHz,
    web::showMessageBox,
};

}  // namespace platform
