#include "platform/display/framebuffer.h"

#include <SDL2/SDL.h>

#include <cstdio>

namespace platform::framebuffer {

Calls gl;

namespace {

template <typename Call>
void load(Call& call, const char* name) {
    call = reinterpret_cast<Call>(SDL_GL_GetProcAddress(name));
}

bool loadCalls() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    if (version == nullptr || std::sscanf(version, "%d", &major) != 1) return false;
    if (major < 3 && !SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object")) return false;
    load(gl.GenFramebuffers, "glGenFramebuffers");
    load(gl.BindFramebuffer, "glBindFramebuffer");
    load(gl.FramebufferRenderbuffer, "glFramebufferRenderbuffer");
    load(gl.CheckFramebufferStatus, "glCheckFramebufferStatus");
    load(gl.GenRenderbuffers, "glGenRenderbuffers");
    load(gl.BindRenderbuffer, "glBindRenderbuffer");
    load(gl.RenderbufferStorage, "glRenderbufferStorage");
    load(gl.BlitFramebuffer, "glBlitFramebuffer");
    load(gl.RenderbufferStorageMultisample, "glRenderbufferStorageMultisample");
    return gl.GenFramebuffers != nullptr && gl.BindFramebuffer != nullptr && gl.FramebufferRenderbuffer != nullptr &&
           gl.CheckFramebufferStatus != nullptr && gl.GenRenderbuffers != nullptr &&
           gl.BindRenderbuffer != nullptr && gl.RenderbufferStorage != nullptr && gl.BlitFramebuffer != nullptr;
}

}  // namespace

bool make(Frame& frame) {
    if (!loadCalls()) return false;
    // Multisampled where asked and offered.
    GLint maxSamples = 0;
    if (frame.samples > 0) glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    if (gl.RenderbufferStorageMultisample == nullptr || maxSamples < frame.samples) frame.samples = 0;
    const auto storage = [&](GLenum format) {
        if (frame.samples > 0)
            gl.RenderbufferStorageMultisample(GL_RENDERBUFFER, frame.samples, format, frame.width, frame.height);
        else
            gl.RenderbufferStorage(GL_RENDERBUFFER, format, frame.width, frame.height);
    };
    if (frame.samples > 0) {
        gl.GenRenderbuffers(1, &frame.resolvedBuffer);
        gl.BindRenderbuffer(GL_RENDERBUFFER, frame.resolvedBuffer);
        gl.RenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, frame.width, frame.height);
        gl.GenFramebuffers(1, &frame.resolvedFramebuffer);
        gl.BindFramebuffer(GL_FRAMEBUFFER, frame.resolvedFramebuffer);
        gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frame.resolvedBuffer);
        if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
    }
    gl.GenRenderbuffers(1, &frame.colourBuffer);
    gl.BindRenderbuffer(GL_RENDERBUFFER, frame.colourBuffer);
    storage(GL_RGBA8);
    gl.GenRenderbuffers(1, &frame.depthBuffer);
    gl.BindRenderbuffer(GL_RENDERBUFFER, frame.depthBuffer);
    storage(GL_DEPTH_COMPONENT16);
    gl.BindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.GenFramebuffers(1, &frame.framebuffer);
    gl.BindFramebuffer(GL_FRAMEBUFFER, frame.framebuffer);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, frame.colourBuffer);
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, frame.depthBuffer);
    return gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

void forget(Frame& frame) {
    frame.framebuffer = frame.colourBuffer = frame.depthBuffer = 0;
    frame.resolvedFramebuffer = frame.resolvedBuffer = 0;
}

void bindForReading(const Frame& frame) {
    if (frame.samples > 0) {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, frame.framebuffer);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, frame.resolvedFramebuffer);
        gl.BlitFramebuffer(0, 0, frame.width, frame.height, 0, 0, frame.width, frame.height, GL_COLOR_BUFFER_BIT,
                           GL_NEAREST);
        gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, frame.framebuffer);
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, frame.resolvedFramebuffer);
    } else {
        gl.BindFramebuffer(GL_READ_FRAMEBUFFER, frame.framebuffer);
    }
    glReadBuffer(GL_COLOR_ATTACHMENT0);
}

}  // namespace platform::framebuffer
