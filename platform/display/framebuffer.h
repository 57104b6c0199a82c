// An offscreen framebuffer of the frame's size that the show draws into,
// multisampled where asked and offered, with a single-sampled copy that a
// multisampled frame is resolved into before it is shown or read. For the
// desktop back end (the frame scaled onto the screen) and the headless one
// (the frame read back).
//
// Framebuffer objects are GL 3.0 (or ARB_framebuffer_object); their entry
// points come from SDL_GL_GetProcAddress.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

namespace platform::framebuffer {

struct Calls {
    PFNGLGENFRAMEBUFFERSPROC GenFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC BindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC FramebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC CheckFramebufferStatus = nullptr;
    PFNGLGENRENDERBUFFERSPROC GenRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC BindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC RenderbufferStorage = nullptr;
    PFNGLBLITFRAMEBUFFERPROC BlitFramebuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEMULTISAMPLEPROC RenderbufferStorageMultisample = nullptr;
};
extern Calls gl;  // filled by make

struct Frame {
    int width = 0;                 // pixels
    int height = 0;
    int samples = 0;               // asked for; make sets what it got (0: single-sampled)
    GLuint framebuffer = 0;        // 0: none
    GLuint colourBuffer = 0;       // RGBA8
    GLuint depthBuffer = 0;        // 16-bit depth
    GLuint resolvedFramebuffer = 0;  // multisampled: the frame resolved, single-sampled
    GLuint resolvedBuffer = 0;
};

// The frame's buffers in the current context, its framebuffer left bound.
// False: the context has no framebuffer objects, or these are incomplete.
// The objects go with the context.
bool make(Frame& frame);

// After the context has gone: the frame has no buffers.
void forget(Frame& frame);

// The frame as drawn so far, single-sampled and bound for reading (its
// colour buffer the read buffer); the frame's own framebuffer stays bound
// for drawing.
void bindForReading(const Frame& frame);

}  // namespace platform::framebuffer
