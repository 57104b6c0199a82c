// The GL subset's state: the switches, clear values, depth, blend, scissor
// and viewport, which WebGL follows; errors and queries; light 0; the
// attribute stacks; and selection.
#include "webgl/subset.h"

#include <cstring>

namespace webgl {

Gl gl;

void setError(GLenum e) {
    if (gl.error == GL_NO_ERROR) gl.error = e;
}

bool* enableFlag(GLenum cap) {
    Attribs& a = gl.a;
    switch (cap) {
    case GL_LIGHTING: return &a.lighting;
    case GL_LIGHT0: return &a.light0;
    case GL_TEXTURE_2D: return &a.texture2d;
    case GL_NORMALIZE: return &a.normalize;
    case GL_DEPTH_TEST: return &a.depthTest;
    case GL_BLEND: return &a.blend;
    case GL_SCISSOR_TEST: return &a.scissorTest;
    case GL_CULL_FACE: return &a.cullFace;
    case GL_DITHER: return &a.dither;
    default: return nullptr;
    }
}

// Dithering stays off in WebGL: the desktop's GL never dithers.
bool passedOn(GLenum cap) {
    return cap == GL_DEPTH_TEST || cap == GL_BLEND || cap == GL_SCISSOR_TEST || cap == GL_CULL_FACE;
}

void setEnable(GLenum cap, bool on) {
    bool* flag = enableFlag(cap);
    if (flag == nullptr) return;  // a switch the subset has no use for
    *flag = on;
    if (passedOn(cap)) on ? emscripten_glEnable(cap) : emscripten_glDisable(cap);
}

// Sends all the state the subset keeps to WebGL, after glPopAttrib.
void syncState() {
    const Attribs& a = gl.a;
    for (GLenum cap : {GL_DEPTH_TEST, GL_BLEND, GL_SCISSOR_TEST, GL_CULL_FACE}) setEnable(cap, *enableFlag(cap));
    emscripten_glDisable(GL_DITHER);
    emscripten_glClearColor(a.clearColor[0], a.clearColor[1], a.clearColor[2], a.clearColor[3]);
    emscripten_glClearDepthf(a.clearDepth);
    emscripten_glBlendFunc(a.blendSrc, a.blendDst);
    emscripten_glDepthFunc(a.depthFunc);
    emscripten_glScissor(a.scissor[0], a.scissor[1], a.scissor[2], a.scissor[3]);
    emscripten_glViewport(a.viewport[0], a.viewport[1], a.viewport[2], a.viewport[3]);
    emscripten_glBindTexture(GL_TEXTURE_2D, a.texture);
}

}  // namespace webgl

using namespace webgl;

extern "C" {

void glEnable(GLenum cap) {
    recordOrRun([=] { setEnable(cap, true); });
}

void glDisable(GLenum cap) {
    recordOrRun([=] { setEnable(cap, false); });
}

GLboolean glIsEnabled(GLenum cap) {
    const bool* flag = enableFlag(cap);
    return flag != nullptr && *flag ? GL_TRUE : GL_FALSE;
}

void glHint(GLenum, GLenum) {}

void glShadeModel(GLenum mode) {
    recordOrRun([=] { gl.a.shadeModel = mode; });
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf alpha) {
    recordOrRun([=] {
        const float c[4] = {clamp01(r), clamp01(g), clamp01(b), clamp01(alpha)};
        std::memcpy(gl.a.clearColor, c, sizeof c);
        emscripten_glClearColor(c[0], c[1], c[2], c[3]);
    });
}

void glClearDepth(GLclampd depth) {
    recordOrRun([=] {
        gl.a.clearDepth = clamp01(static_cast<float>(depth));
        emscripten_glClearDepthf(gl.a.clearDepth);
    });
}

void glClear(GLbitfield mask) {
    recordOrRun([=] {
        flushBitmaps();
        if (gl.renderMode == GL_RENDER) emscripten_glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    });
}

void glDepthFunc(GLenum func) {
    recordOrRun([=] {
        gl.a.depthFunc = func;
        emscripten_glDepthFunc(func);
    });
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    recordOrRun([=] {
        gl.a.blendSrc = sfactor;
        gl.a.blendDst = dfactor;
        emscripten_glBlendFunc(sfactor, dfactor);
    });
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    recordOrRun([=] {
        if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
        const GLint box[4] = {x, y, width, height};
        std::memcpy(gl.a.scissor, box, sizeof box);
        emscripten_glScissor(x, y, width, height);
    });
}

// WebGL draws lines as wide as the browser allows, often 1 pixel at most:
// wider ones are drawn as quads (draw.cpp).
void glLineWidth(GLfloat width) {
    recordOrRun([=] {
        if (!(width > 0.0f)) return setError(GL_INVALID_VALUE);
        gl.a.lineWidth = width;
    });
}

void glPointSize(GLfloat size) {
    recordOrRun([=] {
        if (!(size > 0.0f)) return setError(GL_INVALID_VALUE);
        gl.a.pointSize = size;
    });
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    recordOrRun([=] {
        if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
        const GLint box[4] = {x, y, width, height};
        std::memcpy(gl.a.viewport, box, sizeof box);
        emscripten_glViewport(x, y, width, height);
    });
}

GLenum glGetError(void) {
    const GLenum e = gl.error;
    gl.error = GL_NO_ERROR;
    return e;
}

// ---------------------------------------------------------------------------
// Queries

void glGetFloatv(GLenum pname, GLfloat* params) {
    const Attribs& a = gl.a;
    auto copy = [&](const float* v, int n) { std::memcpy(params, v, sizeof(float) * static_cast<size_t>(n)); };
    switch (pname) {
    case GL_CURRENT_RASTER_POSITION: return copy(a.rasterPos, 4);
    case GL_CURRENT_RASTER_COLOR: return copy(a.rasterColor, 4);
    case GL_CURRENT_COLOR: return copy(a.color, 4);
    case GL_CURRENT_NORMAL: return copy(a.normal, 3);
    case GL_COLOR_CLEAR_VALUE: return copy(a.clearColor, 4);
    case GL_DEPTH_CLEAR_VALUE: return copy(&a.clearDepth, 1);
    case GL_MODELVIEW_MATRIX: return copy(gl.modelview.back().data(), 16);
    case GL_PROJECTION_MATRIX: return copy(gl.projection.back().data(), 16);
    case GL_TEXTURE_MATRIX: return copy(gl.texture.back().data(), 16);
    case GL_CURRENT_TEXTURE_COORDS: {
        const float t[4] = {a.texCoord[0], a.texCoord[1], 0.0f, 1.0f};
        return copy(t, 4);
    }
    default: {
        GLint v[16] = {};
        glGetIntegerv(pname, v);
        const int n = pname == GL_VIEWPORT || pname == GL_SCISSOR_BOX ? 4 : 1;
        for (int i = 0; i < n; ++i) params[i] = static_cast<float>(v[i]);
    }
    }
}

void glGetIntegerv(GLenum pname, GLint* params) {
    const Attribs& a = gl.a;
    switch (pname) {
    case GL_VIEWPORT: std::memcpy(params, a.viewport, sizeof a.viewport); return;
    case GL_SCISSOR_BOX: std::memcpy(params, a.scissor, sizeof a.scissor); return;
    case GL_MATRIX_MODE: *params = static_cast<GLint>(a.matrixMode); return;
    case GL_LIST_BASE: *params = static_cast<GLint>(a.listBase); return;
    case GL_LIST_INDEX: *params = gl.compiling ? static_cast<GLint>(gl.compiling->name) : 0; return;
    case GL_LIST_MODE: *params = gl.compiling ? static_cast<GLint>(gl.compiling->mode) : 0; return;
    case GL_RENDER_MODE: *params = static_cast<GLint>(gl.renderMode); return;
    case GL_DEPTH_FUNC: *params = static_cast<GLint>(a.depthFunc); return;
    case GL_BLEND_SRC: *params = static_cast<GLint>(a.blendSrc); return;
    case GL_BLEND_DST: *params = static_cast<GLint>(a.blendDst); return;
    case GL_SHADE_MODEL: *params = static_cast<GLint>(a.shadeModel); return;
    case GL_TEXTURE_BINDING_2D: *params = static_cast<GLint>(a.texture); return;
    case GL_UNPACK_ALIGNMENT: *params = gl.pixels.unpackAlignment; return;
    case GL_UNPACK_ROW_LENGTH: *params = gl.pixels.unpackRowLength; return;
    case GL_UNPACK_SKIP_ROWS: *params = gl.pixels.unpackSkipRows; return;
    case GL_UNPACK_SKIP_PIXELS: *params = gl.pixels.unpackSkipPixels; return;
    case GL_PACK_ALIGNMENT: *params = gl.pixels.packAlignment; return;
    case GL_MODELVIEW_STACK_DEPTH: *params = static_cast<GLint>(gl.modelview.size()); return;
    case GL_PROJECTION_STACK_DEPTH: *params = static_cast<GLint>(gl.projection.size()); return;
    case GL_ATTRIB_STACK_DEPTH: *params = static_cast<GLint>(gl.attribStack.size()); return;
    case GL_MAX_LIST_NESTING: *params = 64; return;
    case GL_MAX_ATTRIB_STACK_DEPTH: *params = 16; return;
    case GL_MAX_MODELVIEW_STACK_DEPTH: *params = 32; return;
    case GL_MAX_PROJECTION_STACK_DEPTH: *params = 4; return;
    default: emscripten_glGetIntegerv(pname, params); return;
    }
}

void glGetBooleanv(GLenum pname, GLboolean* params) {
    if (pname == GL_CURRENT_RASTER_POSITION_VALID) {
        *params = gl.a.rasterValid ? GL_TRUE : GL_FALSE;
        return;
    }
    if (const bool* flag = enableFlag(pname)) {
        *params = *flag ? GL_TRUE : GL_FALSE;
        return;
    }
    GLint v = 0;
    glGetIntegerv(pname, &v);
    *params = v != 0 ? GL_TRUE : GL_FALSE;
}

// ---------------------------------------------------------------------------
// Light 0

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    const bool single = pname == GL_SPOT_EXPONENT || pname == GL_SPOT_CUTOFF || pname == GL_CONSTANT_ATTENUATION ||
                        pname == GL_LINEAR_ATTENUATION || pname == GL_QUADRATIC_ATTENUATION;
    float v[4] = {};
    std::memcpy(v, params, sizeof(float) * (single ? 1 : pname == GL_SPOT_DIRECTION ? 3 : 4));
    recordOrRun([=] {
        if (light != GL_LIGHT0) return;  // the only light the subset draws with
        Light& l = gl.a.light;
        switch (pname) {
        case GL_AMBIENT: std::memcpy(l.ambient, v, sizeof v); break;
        case GL_DIFFUSE: std::memcpy(l.diffuse, v, sizeof v); break;
        case GL_SPECULAR: std::memcpy(l.specular, v, sizeof v); break;
        case GL_POSITION: transformPoint(l.position, gl.modelview.back(), v); break;
        default: break;
        }
    });
}

// ---------------------------------------------------------------------------
// Attribute stacks

void glPushAttrib(GLbitfield mask) {
    recordOrRun([=] {
        constexpr size_t maxDepth = 16;
        if (gl.attribStack.size() >= maxDepth) return setError(GL_STACK_OVERFLOW);
        flushBitmaps();
        gl.attribStack.emplace_back(mask, gl.a);
    });
}

void glPopAttrib(void) {
    recordOrRun([] {
        if (gl.attribStack.empty()) return setError(GL_STACK_UNDERFLOW);
        flushBitmaps();
        const auto [mask, s] = gl.attribStack.back();
        gl.attribStack.pop_back();
        Attribs& a = gl.a;
        if (mask & GL_CURRENT_BIT) {
            std::memcpy(a.color, s.color, sizeof a.color);
            std::memcpy(a.normal, s.normal, sizeof a.normal);
            std::memcpy(a.texCoord, s.texCoord, sizeof a.texCoord);
            std::memcpy(a.rasterPos, s.rasterPos, sizeof a.rasterPos);
            std::memcpy(a.rasterColor, s.rasterColor, sizeof a.rasterColor);
            a.rasterValid = s.rasterValid;
        }
        if (mask & GL_ENABLE_BIT) {
            a.lighting = s.lighting;
            a.light0 = s.light0;
            a.texture2d = s.texture2d;
            a.normalize = s.normalize;
            a.depthTest = s.depthTest;
            a.blend = s.blend;
            a.scissorTest = s.scissorTest;
            a.cullFace = s.cullFace;
            a.dither = s.dither;
        }
        if (mask & GL_COLOR_BUFFER_BIT) {
            a.blend = s.blend;
            a.dither = s.dither;
            std::memcpy(a.clearColor, s.clearColor, sizeof a.clearColor);
            a.blendSrc = s.blendSrc;
            a.blendDst = s.blendDst;
        }
        if (mask & GL_DEPTH_BUFFER_BIT) {
            a.depthTest = s.depthTest;
            a.depthFunc = s.depthFunc;
            a.clearDepth = s.clearDepth;
        }
        if (mask & GL_LIGHTING_BIT) {
            a.lighting = s.lighting;
            a.light0 = s.light0;
            a.light = s.light;
            std::memcpy(a.modelAmbient, s.modelAmbient, sizeof a.modelAmbient);
            a.shadeModel = s.shadeModel;
        }
        if (mask & GL_POLYGON_BIT) a.cullFace = s.cullFace;
        if (mask & GL_SCISSOR_BIT) {
            a.scissorTest = s.scissorTest;
            std::memcpy(a.scissor, s.scissor, sizeof a.scissor);
        }
        if (mask & GL_VIEWPORT_BIT) std::memcpy(a.viewport, s.viewport, sizeof a.viewport);
        if (mask & GL_TEXTURE_BIT) a.texture = s.texture;
        if (mask & GL_TRANSFORM_BIT) {
            a.matrixMode = s.matrixMode;
            a.normalize = s.normalize;
        }
        if (mask & GL_LIST_BIT) a.listBase = s.listBase;
        if (mask & GL_LINE_BIT) a.lineWidth = s.lineWidth;
        if (mask & GL_POINT_BIT) a.pointSize = s.pointSize;
        if (mask & GL_TEXTURE_BIT) a.texture2d = s.texture2d;
        syncState();
    });
}

void glPushClientAttrib(GLbitfield mask) {
    constexpr size_t maxDepth = 16;
    if (gl.clientStack.size() >= maxDepth) return setError(GL_STACK_OVERFLOW);
    // Only the pixel store is client state here; it is saved whole.
    (void)mask;
    gl.clientStack.push_back(gl.pixels);
}

void glPopClientAttrib(void) {
    if (gl.clientStack.empty()) return setError(GL_STACK_UNDERFLOW);
    gl.pixels = gl.clientStack.back();
    gl.clientStack.pop_back();
}

// ---------------------------------------------------------------------------
// Selection

// Selection draws nothing and clears nothing. No names are ever pushed by
// the show, so no hit records are written: leaving the mode answers 0.
void glSelectBuffer(GLsizei, GLuint*) {}

GLint glRenderMode(GLenum mode) {
    if (mode != GL_RENDER && mode != GL_SELECT && mode != GL_FEEDBACK) {
        setError(GL_INVALID_ENUM);
        return 0;
    }
    if (gl.inBegin) {
        setError(GL_INVALID_OPERATION);
        return 0;
    }
    flushBitmaps();
    gl.renderMode = mode;
    return 0;
}

}  // extern "C"
