// OpenGL 1.1, the part the show and GLU's quadrics and projections use,
// drawn through WebGL 1. The functions it defines:
//
//   state     glEnable glDisable glIsEnabled glHint glShadeModel glClearColor
//             glClearDepth glClear glDepthFunc
//             glBlendFunc glScissor glViewport glGetError
//   queries   glGetIntegerv glGetFloatv glGetBooleanv
//   matrices  glMatrixMode glLoadIdentity glMultMatrixf
//             glMultMatrixd glTranslatef glTranslated glRotatef glScalef
//             glOrtho glPushMatrix glPopMatrix
//   vertices  glBegin glEnd glVertex2f glVertex3f glNormal3f glColor3f
//             glColor4f glTexCoord2f
//   lighting  glLightfv (light 0)
//   lists     glGenLists glNewList glEndList glCallList glCallLists
//             glListBase glDeleteLists glIsList
//   pixels    glRasterPos2f glRasterPos3f glBitmap glPixelStorei glReadPixels
//   textures  glGenTextures glBindTexture glTexImage2D
//             glTexParameteri
//   attribs   glPushAttrib glPopAttrib glPushClientAttrib glPopClientAttrib
//   select    glRenderMode glSelectBuffer
//
// Quads, strips, fans and polygons become triangles, strips and loops
// become separate lines, so that the vertices of many blocks go out in one
// draw. Lighting is one positional or directional light 0 over the default
// material, per vertex, as the fixed pipeline does it. Bitmaps are drawn as
// one-pixel points in window coordinates.
#include "webgl/webgl.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <emscripten/html5.h>

#include "webgl/webgl_calls.h"

namespace {

// ---------------------------------------------------------------------------
// 1. State

using Mat4 = std::array<float, 16>;  // column-major, as GL keeps it

constexpr Mat4 identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

struct Light {
    float ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float position[4] = {0.0f, 0.0f, 1.0f, 0.0f};  // in eye coordinates
};

// Everything glPushAttrib can save, in one piece.
struct Attribs {
    // current
    float color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float normal[3] = {0.0f, 0.0f, 1.0f};
    float texCoord[2] = {0.0f, 0.0f};
    float rasterPos[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float rasterColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    bool rasterValid = true;
    // enables
    bool lighting = false, light0 = false, texture2d = false, normalize = false;
    bool depthTest = false, blend = false, scissorTest = false, cullFace = false, dither = true;
    // colour and depth buffers
    float clearColor[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float clearDepth = 1.0f;
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
    GLenum depthFunc = GL_LESS;
    // lighting
    Light light;
    float modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    GLenum shadeModel = GL_SMOOTH;
    // scissor and viewport
    GLint scissor[4] = {0, 0, 0, 0};
    GLint viewport[4] = {0, 0, 0, 0};
    // texture, transform, list
    GLuint texture = 0;
    GLenum matrixMode = GL_MODELVIEW;
    GLuint listBase = 0;
};

struct PixelStore {
    GLint unpackAlignment = 4, unpackRowLength = 0, unpackSkipRows = 0, unpackSkipPixels = 0;
    bool unpackLsbFirst = false, unpackSwapBytes = false;
    GLint packAlignment = 4, packRowLength = 0, packSkipRows = 0, packSkipPixels = 0;
};

// One vertex as the shader reads it.
struct Vertex {
    float pos[3];
    float normal[3];
    float color[4];
    float tex[2];
};

enum Attrib : unsigned { aPosition = 0, aNormal = 1, aColor = 2, aTex = 3 };
enum Source : unsigned { fromNormal = 1, fromColor = 2, fromTex = 4 };  // taken from the vertices

// Vertices of one draw, made of triangles, lines or points.
struct Block {
    GLenum primitive = GL_TRIANGLES;
    GLint first = 0;
    GLsizei count = 0;
    unsigned baked = 0;  // Source bits: the attributes the vertices carry
};

// A list's bitmap: the offsets of its set bits from its lower left corner.
struct Bitmap {
    float xorig = 0, yorig = 0, xmove = 0, ymove = 0;
    GLsizei width = 0, height = 0;
    std::vector<int16_t> bits;  // x, y pairs
};

struct Op {
    enum Kind { Call, Draw, Current, DrawBitmap } kind = Call;
    std::function<void()> call;
    Block block;
    unsigned currentMask = 0;  // for Current: which of the values to set
    float color[4] = {}, normal[3] = {}, tex[2] = {};
    std::shared_ptr<Bitmap> bitmap;
    std::vector<Vertex> vertices;  // a Draw block whose vertices mix given and current values
    std::vector<unsigned> vertexKnown;
};

struct List {
    std::vector<Op> ops;
    GLuint buffer = 0;
};

struct Compiling {
    GLuint name = 0;
    GLenum mode = 0;
    List list;
    std::vector<Vertex> staticVertices;
    unsigned known = 0;    // Source bits set by the list so far
    unsigned inBlock = 0;  // Source bits set in the open glBegin block
    float color[4] = {}, normal[3] = {}, tex[2] = {};  // their values
};

struct Gl {
    bool started = false;
    Attribs a;
    PixelStore pixels;
    std::vector<std::pair<GLbitfield, Attribs>> attribStack;
    std::vector<PixelStore> clientStack;
    std::vector<Mat4> modelview{identity}, projection{identity}, texture{identity};

    // glBegin to glEnd
    bool inBegin = false;
    GLenum beginMode = 0;
    std::vector<Vertex> begun;
    std::vector<unsigned> begunKnown;  // per vertex, in a list: Source bits the list gave
    std::vector<Vertex> out;           // the block turned into triangles, lines or points

    // lists
    std::map<GLuint, List> lists;
    GLuint nextList = 1;
    std::unique_ptr<Compiling> compiling;
    int callDepth = 0;

    // bitmaps waiting to be drawn: window x, y pairs
    std::vector<int32_t> bitmapPoints;
    float bitmapColor[4] = {};
    float bitmapZ = 0.0f;

    GLenum renderMode = GL_RENDER;
    GLenum error = GL_NO_ERROR;

    // WebGL objects and what was last sent
    GLuint program = 0, stream = 0, boundBuffer = ~0u;
    GLint uMvp = -1, uModelview = -1, uNormalMatrix = -1, uLit = -1, uLightPos = -1, uBase = -1,
          uAmbient = -1, uDiffuse = -1, uTextured = -1;
    unsigned arraysOn = 0;
    std::vector<GLuint> textures;  // every texture made, deleted with the context
};

Gl gl;

void setError(GLenum e) {
    if (gl.error == GL_NO_ERROR) gl.error = e;
}

Mat4& top() {
    switch (gl.a.matrixMode) {
    case GL_PROJECTION: return gl.projection.back();
    case GL_TEXTURE: return gl.texture.back();
    default: return gl.modelview.back();
    }
}

std::vector<Mat4>& stack() {
    switch (gl.a.matrixMode) {
    case GL_PROJECTION: return gl.projection;
    case GL_TEXTURE: return gl.texture;
    default: return gl.modelview;
    }
}

// product = a * b, summed in the order the fixed pipeline sums it
Mat4 multiply(const Mat4& a, const Mat4& b) {
    Mat4 p;
    for (int i = 0; i < 4; ++i) {
        const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
        for (int j = 0; j < 4; ++j)
            p[4 * j + i] = ai0 * b[4 * j] + ai1 * b[4 * j + 1] + ai2 * b[4 * j + 2] + ai3 * b[4 * j + 3];
    }
    return p;
}

void transformPoint(float q[4], const Mat4& m, const float p[4]) {
    for (int i = 0; i < 4; ++i) q[i] = m[i] * p[0] + m[4 + i] * p[1] + m[8 + i] * p[2] + m[12 + i] * p[3];
}

// The inverse of the upper 3 x 3, transposed, for normals; the identity
// when it has none.
std::array<float, 9> normalMatrix(const Mat4& m) {
    auto in = [&](int r, int c) { return m[4 * c + r]; };
    const float det = in(0, 0) * (in(1, 1) * in(2, 2) - in(2, 1) * in(1, 2)) -
                      in(0, 1) * (in(1, 0) * in(2, 2) - in(2, 0) * in(1, 2)) +
                      in(0, 2) * (in(1, 0) * in(2, 1) - in(2, 0) * in(1, 1));
    if (std::fabs(det) < 1e-25f) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const float d = 1.0f / det;
    float inv[3][3];  // inv[r][c]
    inv[0][0] = (in(1, 1) * in(2, 2) - in(2, 1) * in(1, 2)) * d;
    inv[0][1] = -(in(0, 1) * in(2, 2) - in(2, 1) * in(0, 2)) * d;
    inv[0][2] = (in(0, 1) * in(1, 2) - in(1, 1) * in(0, 2)) * d;
    inv[1][0] = -(in(1, 0) * in(2, 2) - in(2, 0) * in(1, 2)) * d;
    inv[1][1] = (in(0, 0) * in(2, 2) - in(2, 0) * in(0, 2)) * d;
    inv[1][2] = -(in(0, 0) * in(1, 2) - in(1, 0) * in(0, 2)) * d;
    inv[2][0] = (in(1, 0) * in(2, 1) - in(2, 0) * in(1, 1)) * d;
    inv[2][1] = -(in(0, 0) * in(2, 1) - in(2, 0) * in(0, 1)) * d;
    inv[2][2] = (in(0, 0) * in(1, 1) - in(1, 0) * in(0, 1)) * d;
    // Column-major transpose of the inverse: element (r, c) = inv[c][r],
    // stored at 3 * c + r.
    std::array<float, 9> n;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) n[3 * c + r] = inv[c][r];
    return n;
}

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// Lights one eye-space point with the default material: the colour a
// vertex of the shader gets, for the raster position.
void lightPoint(float out[4], const float eye[4], const float n[3]) {
    const Attribs& a = gl.a;
    float c[3];
    for (int i = 0; i < 3; ++i) c[i] = a.modelAmbient[i] * 0.2f;
    if (a.light0) {
        float l[3];
        if (a.light.position[3] != 0.0f) {
            for (int i = 0; i < 3; ++i) l[i] = a.light.position[i] - eye[i];
        } else {
            for (int i = 0; i < 3; ++i) l[i] = a.light.position[i];
        }
        const float len = std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
        if (len > 0.0f)
            for (float& v : l) v /= len;
        const float d = std::fmax(n[0] * l[0] + n[1] * l[1] + n[2] * l[2], 0.0f);
        for (int i = 0; i < 3; ++i) c[i] = c[i] + a.light.ambient[i] * 0.2f + d * (a.light.diffuse[i] * 0.8f);
    }
    for (int i = 0; i < 3; ++i) out[i] = clamp01(c[i]);
    out[3] = 1.0f;  // the default material's diffuse alpha
}

// ---------------------------------------------------------------------------
// 2. The shader and draws

const char* vertexSource = R"(
precision highp float;
attribute vec3 aPosition;
attribute vec3 aNormal;
attribute vec4 aColor;
attribute vec2 aTex;
uniform mat4 uMvp;
uniform mat4 uModelview;
uniform mat3 uNormalMatrix;
uniform int uLit;          // 0 unlit, 1 lit without light 0, 2 lit by light 0
uniform vec4 uLightPos;    // eye coordinates
uniform vec4 uBase;        // the scene's ambient on the material
uniform vec4 uAmbient;     // light 0's ambient on the material
uniform vec4 uDiffuse;     // light 0's diffuse on the material
varying vec4 vColor;
varying vec2 vTex;
void main() {
    vec4 p = vec4(aPosition, 1.0);
    gl_Position = uMvp * p;
    gl_PointSize = 1.0;
    vTex = aTex;
    if (uLit == 0) {
        vColor = clamp(aColor, 0.0, 1.0);
    } else {
        vec3 c = uBase.rgb;
        if (uLit == 2) {
            vec3 n = uNormalMatrix * aNormal;
            vec3 l = uLightPos.w != 0.0 ? uLightPos.xyz - (uModelview * p).xyz : uLightPos.xyz;
            l = l * inversesqrt(dot(l, l));
            c = c + uAmbient.rgb + max(dot(n, l), 0.0) * uDiffuse.rgb;
        }
        vColor = vec4(clamp(c, 0.0, 1.0), uDiffuse.a);
    }
}
)";

const char* fragmentSource = R"(
precision highp float;
uniform int uTextured;
uniform sampler2D uSampler;
varying vec4 vColor;
varying vec2 vTex;
void main() {
    gl_FragColor = uTextured == 1 ? vColor * texture2D(uSampler, vTex) : vColor;
}
)";

GLuint compileShader(GLenum type, const char* source) {
    const GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "webgl: shader: %s\n", log);
        return 0;
    }
    return shader;
}

void bindBuffer(GLuint buffer) {
    if (gl.boundBuffer == buffer) return;
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, buffer);
    gl.boundBuffer = buffer;
}

// Points the shader's attributes at the bound buffer; those the vertices do
// not carry are the current values.
void setArrays(unsigned baked, const float color[4], const float normal[3], const float tex[2]) {
    const unsigned on =
        1u | (baked & fromNormal ? 2u : 0u) | (baked & fromColor ? 4u : 0u) | (baked & fromTex ? 8u : 0u);
    const GLsizei stride = sizeof(Vertex);
    struct Array { unsigned bit; GLuint index; GLint size; size_t offset; };
    const Array arrays[] = {{1u, aPosition, 3, offsetof(Vertex, pos)},
                            {2u, aNormal, 3, offsetof(Vertex, normal)},
                            {4u, aColor, 4, offsetof(Vertex, color)},
                            {8u, aTex, 2, offsetof(Vertex, tex)}};
    for (const Array& arr : arrays) {
        if (on & arr.bit) {
            emscripten_glVertexAttribPointer(arr.index, arr.size, GL_FLOAT, GL_FALSE, stride,
                                             reinterpret_cast<const void*>(arr.offset));
            if (!(gl.arraysOn & arr.bit)) emscripten_glEnableVertexAttribArray(arr.index);
        } else if (gl.arraysOn & arr.bit) {
            emscripten_glDisableVertexAttribArray(arr.index);
        }
    }
    gl.arraysOn = on;
    if (!(baked & fromNormal)) {
        const float v[4] = {normal[0], normal[1], normal[2], 1.0f};
        emscripten_glVertexAttrib4fv(aNormal, v);
    }
    if (!(baked & fromColor)) emscripten_glVertexAttrib4fv(aColor, color);
    if (!(baked & fromTex)) {
        const float v[4] = {tex[0], tex[1], 0.0f, 1.0f};
        emscripten_glVertexAttrib4fv(aTex, v);
    }
}

// Sends the matrices, the light and the texture switch as they are now.
void setUniforms() {
    const Mat4& mv = gl.modelview.back();
    const Mat4 mvp = multiply(gl.projection.back(), mv);
    emscripten_glUniformMatrix4fv(gl.uMvp, 1, GL_FALSE, mvp.data());
    const Attribs& a = gl.a;
    const int lit = !a.lighting ? 0 : (a.light0 ? 2 : 1);
    emscripten_glUniform1i(gl.uLit, lit);
    if (lit != 0) {
        emscripten_glUniformMatrix4fv(gl.uModelview, 1, GL_FALSE, mv.data());
        emscripten_glUniformMatrix3fv(gl.uNormalMatrix, 1, GL_FALSE, normalMatrix(mv).data());
        float base[4], ambient[4], diffuse[4];
        for (int i = 0; i < 4; ++i) {
            base[i] = a.modelAmbient[i] * 0.2f;
            ambient[i] = a.light.ambient[i] * 0.2f;
            diffuse[i] = a.light.diffuse[i] * 0.8f;
        }
        diffuse[3] = 1.0f;  // the default material's diffuse alpha
        emscripten_glUniform4fv(gl.uLightPos, 1, a.light.position);
        emscripten_glUniform4fv(gl.uBase, 1, base);
        emscripten_glUniform4fv(gl.uAmbient, 1, ambient);
        emscripten_glUniform4fv(gl.uDiffuse, 1, diffuse);
    }
    emscripten_glUniform1i(gl.uTextured, a.texture2d && a.texture != 0 ? 1 : 0);
}

void drawStream(GLenum primitive, const std::vector<Vertex>& vertices, unsigned baked) {
    if (vertices.empty() || gl.renderMode != GL_RENDER) return;
    bindBuffer(gl.stream);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                            vertices.data(), GL_STREAM_DRAW);
    setArrays(baked, gl.a.color, gl.a.normal, gl.a.texCoord);
    setUniforms();
    emscripten_glDrawArrays(primitive, 0, static_cast<GLsizei>(vertices.size()));
}

// The bitmaps gathered so far, as points at pixel centres over the whole
// drawing buffer (a bitmap is not clipped to the viewport).
void flushBitmaps() {
    if (gl.bitmapPoints.empty()) return;
    int width = 0, height = 0;
    emscripten_webgl_get_drawing_buffer_size(emscripten_webgl_get_current_context(), &width, &height);
    std::vector<Vertex> points(gl.bitmapPoints.size() / 2);
    const float z = gl.bitmapZ * 2.0f - 1.0f;
    for (size_t i = 0; i < points.size(); ++i) {
        Vertex& v = points[i];
        v.pos[0] = (static_cast<float>(gl.bitmapPoints[2 * i]) + 0.5f) * 2.0f / static_cast<float>(width) - 1.0f;
        v.pos[1] = (static_cast<float>(gl.bitmapPoints[2 * i + 1]) + 0.5f) * 2.0f / static_cast<float>(height) - 1.0f;
        v.pos[2] = z;
    }
    gl.bitmapPoints.clear();
    bindBuffer(gl.stream);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(points.size() * sizeof(Vertex)), points.data(),
                            GL_STREAM_DRAW);
    const float none[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    setArrays(0, gl.bitmapColor, none, none);
    emscripten_glUniformMatrix4fv(gl.uMvp, 1, GL_FALSE, identity.data());
    emscripten_glUniform1i(gl.uLit, 0);
    emscripten_glUniform1i(gl.uTextured, 0);
    emscripten_glViewport(0, 0, width, height);
    emscripten_glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(points.size()));
    emscripten_glViewport(gl.a.viewport[0], gl.a.viewport[1], gl.a.viewport[2], gl.a.viewport[3]);
}

// ---------------------------------------------------------------------------
// 3. Blocks: glBegin's primitives as triangles, lines or points

GLenum blockPrimitive(GLenum mode) {
    switch (mode) {
    case GL_POINTS: return GL_POINTS;
    case GL_LINES:
    case GL_LINE_STRIP:
    case GL_LINE_LOOP: return GL_LINES;
    default: return GL_TRIANGLES;
    }
}

// The vertex indices of the block's primitives, in the order the desktop's
// GL takes them. It cuts a quad along one diagonal or the other, and a lit
// or coloured quad is shaded along that cut: 0-1-2 and 0-2-3 for a block
// drawn at once and wholly inside the view volume, 0-1-3 and 1-2-3 (the
// last vertex provoking) for one that must be clipped and for one kept in
// a display list.
std::vector<uint32_t> blockIndices(GLenum mode, uint32_t n, bool lastProvokes) {
    std::vector<uint32_t> idx;
    auto quad = [&](uint32_t v0, uint32_t v1, uint32_t v2, uint32_t v3) {
        if (lastProvokes) idx.insert(idx.end(), {v0, v1, v3, v1, v2, v3});
        else idx.insert(idx.end(), {v0, v1, v2, v0, v2, v3});
    };
    switch (mode) {
    case GL_POINTS:
        for (uint32_t i = 0; i < n; ++i) idx.push_back(i);
        break;
    case GL_LINES:
        for (uint32_t i = 0; i + 1 < n; i += 2) idx.insert(idx.end(), {i, i + 1});
        break;
    case GL_LINE_STRIP:
    case GL_LINE_LOOP:
        for (uint32_t i = 0; i + 1 < n; ++i) idx.insert(idx.end(), {i, i + 1});
        if (mode == GL_LINE_LOOP && n >= 2) idx.insert(idx.end(), {n - 1, 0});
        break;
    case GL_TRIANGLES:
        for (uint32_t i = 0; i + 2 < n; i += 3) idx.insert(idx.end(), {i, i + 1, i + 2});
        break;
    case GL_TRIANGLE_STRIP:
        for (uint32_t i = 0; i + 2 < n; ++i) {
            if (i % 2 == 0) idx.insert(idx.end(), {i, i + 1, i + 2});
            else idx.insert(idx.end(), {i + 1, i, i + 2});
        }
        break;
    case GL_TRIANGLE_FAN:
    case GL_POLYGON:
        for (uint32_t i = 1; i + 1 < n; ++i) idx.insert(idx.end(), {0, i, i + 1});
        break;
    case GL_QUADS:
        for (uint32_t i = 0; i + 3 < n; i += 4) quad(i, i + 1, i + 2, i + 3);
        break;
    case GL_QUAD_STRIP:
        for (uint32_t i = 0; i + 3 < n; i += 2) quad(i, i + 1, i + 3, i + 2);
        break;
    default: break;
    }
    return idx;
}

bool validMode(GLenum mode) { return mode <= GL_POLYGON; }

// ---------------------------------------------------------------------------
// 4. Lists

// Records a call into the list being made; true when it is not to run now.
bool record(std::function<void()> call) {
    if (!gl.compiling) return false;
    Op op;
    op.call = std::move(call);
    gl.compiling->list.ops.push_back(std::move(op));
    return gl.compiling->mode == GL_COMPILE;
}

void callList(GLuint name);

void setCurrent(unsigned mask, const float color[4], const float normal[3], const float tex[2]) {
    if (mask & fromColor) std::memcpy(gl.a.color, color, sizeof gl.a.color);
    if (mask & fromNormal) std::memcpy(gl.a.normal, normal, sizeof gl.a.normal);
    if (mask & fromTex) std::memcpy(gl.a.texCoord, tex, sizeof gl.a.texCoord);
}

// A colour, normal or texture coordinate given in a list outside glBegin:
// known from here on in the list, and current after it.
void recordCurrent(unsigned bits) {
    Compiling& c = *gl.compiling;
    std::vector<Op>& ops = c.list.ops;
    if (ops.empty() || ops.back().kind != Op::Current) {
        Op op;
        op.kind = Op::Current;
        ops.push_back(std::move(op));
    }
    Op& op = ops.back();
    op.currentMask |= bits;
    std::memcpy(op.color, c.color, sizeof op.color);
    std::memcpy(op.normal, c.normal, sizeof op.normal);
    std::memcpy(op.tex, c.tex, sizeof op.tex);
}

void drawMixed(const Op& op) {
    // Vertices the list gave partly: the rest from the current values.
    std::vector<Vertex> v = op.vertices;
    for (size_t i = 0; i < v.size(); ++i) {
        if (!(op.vertexKnown[i] & fromColor)) std::memcpy(v[i].color, gl.a.color, sizeof v[i].color);
        if (!(op.vertexKnown[i] & fromNormal)) std::memcpy(v[i].normal, gl.a.normal, sizeof v[i].normal);
        if (!(op.vertexKnown[i] & fromTex)) std::memcpy(v[i].tex, gl.a.texCoord, sizeof v[i].tex);
    }
    drawStream(op.block.primitive, v, fromColor | fromNormal | fromTex);
}

void runBitmap(const Bitmap& b);

void runOp(const Op& op, const List& list) {
    if (op.kind != Op::DrawBitmap) flushBitmaps();
    switch (op.kind) {
    case Op::Call: op.call(); break;
    case Op::Current: setCurrent(op.currentMask, op.color, op.normal, op.tex); break;
    case Op::DrawBitmap: runBitmap(*op.bitmap); break;
    case Op::Draw:
        if (!op.vertices.empty()) {
            drawMixed(op);
        } else if (gl.renderMode == GL_RENDER && op.block.count > 0) {
            bindBuffer(list.buffer);
            setArrays(op.block.baked, gl.a.color, gl.a.normal, gl.a.texCoord);
            setUniforms();
            emscripten_glDrawArrays(op.block.primitive, op.block.first, op.block.count);
        }
        break;
    }
}

void callList(GLuint name) {
    constexpr int maxNesting = 64;
    const auto found = gl.lists.find(name);
    if (found == gl.lists.end() || gl.callDepth >= maxNesting) return;
    ++gl.callDepth;
    // Lists cannot delete or remake lists (those calls run at once when
    // compiled), so the list stays whole while it runs.
    const List& list = found->second;
    for (size_t i = 0; i < list.ops.size(); ++i) runOp(list.ops[i], list);
    --gl.callDepth;
}

// Joins draws of the same kind that only current values separate, and
// moves the static vertices into one buffer.
void finishList(Compiling& c) {
    List& list = c.list;
    std::vector<Op> ops;
    int lastDraw = -1;  // index in ops of a draw the next one may join
    for (Op& op : list.ops) {
        if (op.kind == Op::Draw && op.vertices.empty()) {
            if (lastDraw >= 0) {
                Block& prev = ops[static_cast<size_t>(lastDraw)].block;
                if (prev.primitive == op.block.primitive && prev.baked == op.block.baked &&
                    prev.first + prev.count == op.block.first) {
                    prev.count += op.block.count;
                    continue;
                }
            }
            ops.push_back(std::move(op));
            lastDraw = static_cast<int>(ops.size()) - 1;
        } else {
            if (op.kind != Op::Current) lastDraw = -1;
            ops.push_back(std::move(op));
        }
    }
    list.ops = std::move(ops);
    if (!c.staticVertices.empty()) {
        emscripten_glGenBuffers(1, &list.buffer);
        bindBuffer(list.buffer);
        emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(c.staticVertices.size() * sizeof(Vertex)),
                                c.staticVertices.data(), GL_STATIC_DRAW);
    }
}

void deleteList(GLuint name) {
    const auto found = gl.lists.find(name);
    if (found == gl.lists.end()) return;
    if (found->second.buffer != 0) {
        if (gl.boundBuffer == found->second.buffer) gl.boundBuffer = ~0u;
        emscripten_glDeleteBuffers(1, &found->second.buffer);
    }
    gl.lists.erase(found);
}

// ---------------------------------------------------------------------------
// 5. Bitmaps and the raster position

void runBitmap(const Bitmap& b) {
    if (!gl.a.rasterValid) return;
    if (gl.renderMode == GL_RENDER && !b.bits.empty()) {
        // Truncated, a hair above, as the desktop's GL places bitmaps.
        constexpr float epsilon = 0.0001f;
        const int x = static_cast<int>(std::floor(gl.a.rasterPos[0] + epsilon - b.xorig));
        const int y = static_cast<int>(std::floor(gl.a.rasterPos[1] + epsilon - b.yorig));
        const bool sameLook = gl.bitmapZ == gl.a.rasterPos[2] &&
                              std::memcmp(gl.bitmapColor, gl.a.rasterColor, sizeof gl.bitmapColor) == 0;
        if (!sameLook) flushBitmaps();
        gl.bitmapZ = gl.a.rasterPos[2];
        std::memcpy(gl.bitmapColor, gl.a.rasterColor, sizeof gl.bitmapColor);
        for (size_t i = 0; i + 1 < b.bits.size(); i += 2) {
            gl.bitmapPoints.push_back(x + b.bits[i]);
            gl.bitmapPoints.push_back(y + b.bits[i + 1]);
        }
    }
    gl.a.rasterPos[0] += b.xmove;
    gl.a.rasterPos[1] += b.ymove;
}

// The set bits of a bitmap as the unpack settings lay them out.
std::shared_ptr<Bitmap> readBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
                                   GLfloat ymove, const GLubyte* bits) {
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->xorig = xorig;
    b->yorig = yorig;
    b->xmove = xmove;
    b->ymove = ymove;
    if (bits == nullptr || width <= 0 || height <= 0 || width > 32767 || height > 32767) return b;
    const PixelStore& p = gl.pixels;
    const long rowPixels = p.unpackRowLength > 0 ? p.unpackRowLength : width;
    const long align = p.unpackAlignment > 0 ? p.unpackAlignment : 1;
    const long rowBytes = ((rowPixels + 7) / 8 + align - 1) / align * align;
    for (long row = 0; row < height; ++row) {
        const GLubyte* line = bits + (row + p.unpackSkipRows) * rowBytes;
        for (long col = 0; col < width; ++col) {
            const long bit = col + p.unpackSkipPixels;
            const GLubyte byte = line[bit / 8];
            const GLubyte mask = p.unpackLsbFirst ? (1u << (bit % 8)) : (0x80u >> (bit % 8));
            if (byte & mask) {
                b->bits.push_back(static_cast<int16_t>(col));
                b->bits.push_back(static_cast<int16_t>(row));
            }
        }
    }
    return b;
}

void rasterPos(float x, float y, float z) {
    const float object[4] = {x, y, z, 1.0f};
    float eye[4], clip[4];
    transformPoint(eye, gl.modelview.back(), object);
    transformPoint(clip, gl.projection.back(), eye);
    // Outside the view volume: no raster position.
    if (clip[2] < -clip[3] || clip[2] > clip[3] || clip[0] > clip[3] || clip[0] < -clip[3] || clip[1] > clip[3] ||
        clip[1] < -clip[3]) {
        gl.a.rasterValid = false;
        return;
    }
    const float d = clip[3] == 0.0f ? 1.0f : 1.0f / clip[3];
    const float ndc[3] = {clip[0] * d, clip[1] * d, clip[2] * d};
    const GLint* v = gl.a.viewport;
    const float halfWidth = static_cast<float>(v[2]) * 0.5f, halfHeight = static_cast<float>(v[3]) * 0.5f;
    gl.a.rasterPos[0] = ndc[0] * halfWidth + (halfWidth + static_cast<float>(v[0]));
    gl.a.rasterPos[1] = ndc[1] * halfHeight + (halfHeight + static_cast<float>(v[1]));
    gl.a.rasterPos[2] = ndc[2] * 0.5f + 0.5f;
    gl.a.rasterPos[3] = clip[3];
    gl.a.rasterValid = true;
    if (gl.a.lighting) {
        const std::array<float, 9> nm = normalMatrix(gl.modelview.back());
        const float* n = gl.a.normal;
        float ne[3];
        for (int r = 0; r < 3; ++r) ne[r] = nm[r] * n[0] + nm[3 + r] * n[1] + nm[6 + r] * n[2];
        lightPoint(gl.a.rasterColor, eye, ne);
    } else {
        for (int i = 0; i < 4; ++i) gl.a.rasterColor[i] = clamp01(gl.a.color[i]);
    }
}

// ---------------------------------------------------------------------------
// 6. Enables, and the WebGL state that follows the subset's

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

// ---------------------------------------------------------------------------
// 7. Pixels

// Copies width x height texels of the client's layout into tight rows.
std::vector<GLubyte> unpackImage(GLsizei width, GLsizei height, int components, const GLubyte* pixels) {
    const PixelStore& p = gl.pixels;
    const size_t rowPixels = static_cast<size_t>(p.unpackRowLength > 0 ? p.unpackRowLength : width);
    const size_t align = static_cast<size_t>(p.unpackAlignment > 0 ? p.unpackAlignment : 1);
    const size_t rowBytes = (rowPixels * components + align - 1) / align * align;
    const size_t tight = static_cast<size_t>(width) * components;
    std::vector<GLubyte> out(tight * static_cast<size_t>(height));
    for (size_t row = 0; row < static_cast<size_t>(height); ++row)
        std::memcpy(out.data() + row * tight,
                    pixels + (row + p.unpackSkipRows) * rowBytes + static_cast<size_t>(p.unpackSkipPixels) * components,
                    tight);
    return out;
}

int components(GLenum format) {
    switch (format) {
    case GL_RGB: return 3;
    case GL_RGBA: return 4;
    case GL_LUMINANCE:
    case GL_ALPHA: return 1;
    case GL_LUMINANCE_ALPHA: return 2;
    default: return 0;
    }
}

GLenum baseFormat(GLint internal) {
    switch (internal) {
    case 1: case GL_LUMINANCE: case GL_LUMINANCE8: return GL_LUMINANCE;
    case 2: case GL_LUMINANCE_ALPHA: case GL_LUMINANCE8_ALPHA8: return GL_LUMINANCE_ALPHA;
    case GL_ALPHA: case GL_ALPHA8: return GL_ALPHA;
    case 3: case GL_RGB: case GL_RGB8: return GL_RGB;
    case 4: case GL_RGBA: case GL_RGBA8: return GL_RGBA;
    default: return 0;
    }
}

// Turns client pixels of one format into another (WebGL takes the
// texture's own), by the base formats' rules.
std::vector<GLubyte> convertPixels(const std::vector<GLubyte>& in, size_t count, GLenum from, GLenum to) {
    const int cf = components(from), ct = components(to);
    std::vector<GLubyte> out(count * static_cast<size_t>(ct));
    for (size_t i = 0; i < count; ++i) {
        const GLubyte* s = in.data() + i * cf;
        GLubyte rgba[4] = {0, 0, 0, 255};
        switch (from) {
        case GL_RGB: rgba[0] = s[0]; rgba[1] = s[1]; rgba[2] = s[2]; break;
        case GL_RGBA: std::memcpy(rgba, s, 4); break;
        case GL_LUMINANCE: rgba[0] = rgba[1] = rgba[2] = s[0]; break;
        case GL_LUMINANCE_ALPHA: rgba[0] = rgba[1] = rgba[2] = s[0]; rgba[3] = s[1]; break;
        case GL_ALPHA: rgba[3] = s[0]; break;
        default: break;
        }
        GLubyte* d = out.data() + i * ct;
        switch (to) {
        case GL_RGB: std::memcpy(d, rgba, 3); break;
        case GL_RGBA: std::memcpy(d, rgba, 4); break;
        case GL_LUMINANCE: d[0] = rgba[0]; break;
        case GL_LUMINANCE_ALPHA: d[0] = rgba[0]; d[1] = rgba[3]; break;
        case GL_ALPHA: d[0] = rgba[3]; break;
        default: break;
        }
    }
    return out;
}

void loadMatrix(const Mat4& m) { top() = m; }
void multMatrix(const Mat4& m) { top() = multiply(top(), m); }

Mat4 toMat4(const GLfloat* m) {
    Mat4 r;
    std::memcpy(r.data(), m, sizeof r);
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// 8. Start

bool webglStart() {
    if (gl.started) return true;
    const GLuint vs = compileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fs = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
    if (vs == 0 || fs == 0) return false;
    gl.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(gl.program, vs);
    emscripten_glAttachShader(gl.program, fs);
    emscripten_glBindAttribLocation(gl.program, aPosition, "aPosition");
    emscripten_glBindAttribLocation(gl.program, aNormal, "aNormal");
    emscripten_glBindAttribLocation(gl.program, aColor, "aColor");
    emscripten_glBindAttribLocation(gl.program, aTex, "aTex");
    emscripten_glLinkProgram(gl.program);
    // The program keeps what it was linked from.
    emscripten_glDeleteShader(vs);
    emscripten_glDeleteShader(fs);
    GLint ok = 0;
    emscripten_glGetProgramiv(gl.program, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        emscripten_glGetProgramInfoLog(gl.program, sizeof log, nullptr, log);
        std::fprintf(stderr, "webgl: program: %s\n", log);
        return false;
    }
    emscripten_glUseProgram(gl.program);
    gl.uMvp = emscripten_glGetUniformLocation(gl.program, "uMvp");
    gl.uModelview = emscripten_glGetUniformLocation(gl.program, "uModelview");
    gl.uNormalMatrix = emscripten_glGetUniformLocation(gl.program, "uNormalMatrix");
    gl.uLit = emscripten_glGetUniformLocation(gl.program, "uLit");
    gl.uLightPos = emscripten_glGetUniformLocation(gl.program, "uLightPos");
    gl.uBase = emscripten_glGetUniformLocation(gl.program, "uBase");
    gl.uAmbient = emscripten_glGetUniformLocation(gl.program, "uAmbient");
    gl.uDiffuse = emscripten_glGetUniformLocation(gl.program, "uDiffuse");
    gl.uTextured = emscripten_glGetUniformLocation(gl.program, "uTextured");
    emscripten_glUniform1i(emscripten_glGetUniformLocation(gl.program, "uSampler"), 0);
    emscripten_glGenBuffers(1, &gl.stream);

    // GL's initial state where WebGL's differs; the viewport and scissor box
    // start as the drawing buffer.
    int width = 0, height = 0;
    emscripten_webgl_get_drawing_buffer_size(emscripten_webgl_get_current_context(), &width, &height);
    gl.a = Attribs{};
    gl.a.viewport[2] = gl.a.scissor[2] = width;
    gl.a.viewport[3] = gl.a.scissor[3] = height;
    emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    emscripten_glPixelStorei(GL_PACK_ALIGNMENT, 4);
    syncState();
    gl.started = true;
    return true;
}

void webglStop() {
    if (gl.started) {
        if (!gl.textures.empty())
            emscripten_glDeleteTextures(static_cast<GLsizei>(gl.textures.size()), gl.textures.data());
        emscripten_glDeleteBuffers(1, &gl.stream);
        emscripten_glDeleteProgram(gl.program);
    }
    gl = Gl{};
}

extern "C" {

// ---------------------------------------------------------------------------
// 9. State calls

void glEnable(GLenum cap) {
    if (record([=] { setEnable(cap, true); })) return;
    setEnable(cap, true);
}

void glDisable(GLenum cap) {
    if (record([=] { setEnable(cap, false); })) return;
    setEnable(cap, false);
}

GLboolean glIsEnabled(GLenum cap) {
    const bool* flag = enableFlag(cap);
    return flag != nullptr && *flag ? GL_TRUE : GL_FALSE;
}

void glHint(GLenum, GLenum) {}

void glShadeModel(GLenum mode) {
    if (record([=] { gl.a.shadeModel = mode; })) return;
    gl.a.shadeModel = mode;
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf alpha) {
    auto run = [=] {
        const float c[4] = {clamp01(r), clamp01(g), clamp01(b), clamp01(alpha)};
        std::memcpy(gl.a.clearColor, c, sizeof c);
        emscripten_glClearColor(c[0], c[1], c[2], c[3]);
    };
    if (record(run)) return;
    run();
}

void glClearDepth(GLclampd depth) {
    auto run = [=] {
        gl.a.clearDepth = clamp01(static_cast<float>(depth));
        emscripten_glClearDepthf(gl.a.clearDepth);
    };
    if (record(run)) return;
    run();
}

void glClear(GLbitfield mask) {
    auto run = [=] {
        flushBitmaps();
        if (gl.renderMode == GL_RENDER) emscripten_glClear(mask & (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT));
    };
    if (record(run)) return;
    run();
}

void glDepthFunc(GLenum func) {
    auto run = [=] {
        gl.a.depthFunc = func;
        emscripten_glDepthFunc(func);
    };
    if (record(run)) return;
    run();
}

void glBlendFunc(GLenum sfactor, GLenum dfactor) {
    auto run = [=] {
        gl.a.blendSrc = sfactor;
        gl.a.blendDst = dfactor;
        emscripten_glBlendFunc(sfactor, dfactor);
    };
    if (record(run)) return;
    run();
}

void glScissor(GLint x, GLint y, GLsizei width, GLsizei height) {
    auto run = [=] {
        if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
        const GLint box[4] = {x, y, width, height};
        std::memcpy(gl.a.scissor, box, sizeof box);
        emscripten_glScissor(x, y, width, height);
    };
    if (record(run)) return;
    run();
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    auto run = [=] {
        if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
        const GLint box[4] = {x, y, width, height};
        std::memcpy(gl.a.viewport, box, sizeof box);
        emscripten_glViewport(x, y, width, height);
    };
    if (record(run)) return;
    run();
}

GLenum glGetError(void) {
    const GLenum e = gl.error;
    gl.error = GL_NO_ERROR;
    return e;
}

// ---------------------------------------------------------------------------
// 10. Queries

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
// 11. Matrices

void glMatrixMode(GLenum mode) {
    auto run = [=] {
        if (mode == GL_MODELVIEW || mode == GL_PROJECTION || mode == GL_TEXTURE) gl.a.matrixMode = mode;
        else setError(GL_INVALID_ENUM);
    };
    if (record(run)) return;
    run();
}

void glLoadIdentity(void) {
    if (record([] { loadMatrix(identity); })) return;
    loadMatrix(identity);
}

void glMultMatrixf(const GLfloat* m) {
    const Mat4 mat = toMat4(m);
    if (record([=] { multMatrix(mat); })) return;
    multMatrix(mat);
}

void glMultMatrixd(const GLdouble* m) {
    Mat4 mat;
    for (int i = 0; i < 16; ++i) mat[i] = static_cast<float>(m[i]);
    if (record([=] { multMatrix(mat); })) return;
    multMatrix(mat);
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    auto run = [=] {
        Mat4& m = top();
        m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
        m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
        m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
        m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
    };
    if (record(run)) return;
    run();
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    auto run = [=] {
        Mat4& m = top();
        for (int i = 0; i < 4; ++i) {
            m[i] *= x;
            m[4 + i] *= y;
            m[8 + i] *= z;
        }
    };
    if (record(run)) return;
    run();
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    auto run = [=] {
        const float s = static_cast<float>(std::sin(angle * M_PI / 180.0));
        const float c = static_cast<float>(std::cos(angle * M_PI / 180.0));
        Mat4 m = identity;
        auto at = [&](int row, int col) -> float& { return m[4 * col + row]; };
        // Turns about one axis are written out, as the desktop's GL does.
        if (x == 0.0f && y == 0.0f && z != 0.0f) {
            at(0, 0) = c;
            at(1, 1) = c;
            at(0, 1) = z < 0.0f ? s : -s;
            at(1, 0) = z < 0.0f ? -s : s;
        } else if (x == 0.0f && z == 0.0f && y != 0.0f) {
            at(0, 0) = c;
            at(2, 2) = c;
            at(0, 2) = y < 0.0f ? -s : s;
            at(2, 0) = y < 0.0f ? s : -s;
        } else if (y == 0.0f && z == 0.0f && x != 0.0f) {
            at(1, 1) = c;
            at(2, 2) = c;
            at(1, 2) = x < 0.0f ? s : -s;
            at(2, 1) = x < 0.0f ? -s : s;
        } else {
            const float mag = std::sqrt(x * x + y * y + z * z);
            if (mag <= 1.0e-4f) return;
            const float ux = x / mag, uy = y / mag, uz = z / mag;
            const float xx = ux * ux, yy = uy * uy, zz = uz * uz, xy = ux * uy, yz = uy * uz, zx = uz * ux;
            const float xs = ux * s, ys = uy * s, zs = uz * s, oneC = 1.0f - c;
            at(0, 0) = (oneC * xx) + c;
            at(0, 1) = (oneC * xy) - zs;
            at(0, 2) = (oneC * zx) + ys;
            at(1, 0) = (oneC * xy) + zs;
            at(1, 1) = (oneC * yy) + c;
            at(1, 2) = (oneC * yz) - xs;
            at(2, 0) = (oneC * zx) - ys;
            at(2, 1) = (oneC * yz) + xs;
            at(2, 2) = (oneC * zz) + c;
        }
        multMatrix(m);
    };
    if (record(run)) return;
    run();
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top_, GLdouble nearVal, GLdouble farVal) {
    Mat4 m = identity;
    m[0] = static_cast<float>(2.0 / (right - left));
    m[5] = static_cast<float>(2.0 / (top_ - bottom));
    m[10] = static_cast<float>(-2.0 / (farVal - nearVal));
    m[12] = static_cast<float>(-(right + left) / (right - left));
    m[13] = static_cast<float>(-(top_ + bottom) / (top_ - bottom));
    m[14] = static_cast<float>(-(farVal + nearVal) / (farVal - nearVal));
    if (record([=] { multMatrix(m); })) return;
    multMatrix(m);
}

void glPushMatrix(void) {
    auto run = [] {
        std::vector<Mat4>& s = stack();
        const size_t limit = gl.a.matrixMode == GL_MODELVIEW ? 32 : 4;
        if (s.size() >= limit) return setError(GL_STACK_OVERFLOW);
        s.push_back(s.back());
    };
    if (record(run)) return;
    run();
}

void glPopMatrix(void) {
    auto run = [] {
        std::vector<Mat4>& s = stack();
        if (s.size() <= 1) return setError(GL_STACK_UNDERFLOW);
        s.pop_back();
    };
    if (record(run)) return;
    run();
}

// ---------------------------------------------------------------------------
// 12. Vertices

// Whether a vertex lies outside the view volume, where the block must be
// clipped.
bool anyOutsideView(const std::vector<Vertex>& vertices) {
    const Mat4 mvp = multiply(gl.projection.back(), gl.modelview.back());
    for (const Vertex& v : vertices) {
        const float object[4] = {v.pos[0], v.pos[1], v.pos[2], 1.0f};
        float clip[4];
        transformPoint(clip, mvp, object);
        const float w = clip[3];
        if (clip[0] < -w || clip[0] > w || clip[1] < -w || clip[1] > w || clip[2] < -w || clip[2] > w) return true;
    }
    return false;
}

void glBegin(GLenum mode) {
    if (gl.inBegin || !validMode(mode)) return setError(gl.inBegin ? GL_INVALID_OPERATION : GL_INVALID_ENUM);
    flushBitmaps();
    gl.inBegin = true;
    gl.beginMode = mode;
    gl.begun.clear();
    gl.begunKnown.clear();
}

void glEnd(void) {
    if (!gl.inBegin) return setError(GL_INVALID_OPERATION);
    gl.inBegin = false;
    const bool quads = gl.beginMode == GL_QUADS || gl.beginMode == GL_QUAD_STRIP;
    const std::vector<uint32_t> idx = blockIndices(gl.beginMode, static_cast<uint32_t>(gl.begun.size()),
                                                   gl.compiling != nullptr || (quads && anyOutsideView(gl.begun)));
    const GLenum primitive = blockPrimitive(gl.beginMode);
    if (!gl.compiling) {
        gl.out.resize(idx.size());
        for (size_t i = 0; i < idx.size(); ++i) gl.out[i] = gl.begun[idx[i]];
        drawStream(primitive, gl.out, fromColor | fromNormal | fromTex);
        return;
    }
    // In a list: the attributes every vertex has from the list go with the
    // vertices, those none has are the current ones when the list runs; a
    // block with some of each keeps its vertices to fill them in then.
    Compiling& c = *gl.compiling;
    unsigned all = fromColor | fromNormal | fromTex, any = 0;
    for (uint32_t i : idx) {
        all &= gl.begunKnown[i];
        any |= gl.begunKnown[i];
    }
    Op op;
    op.kind = Op::Draw;
    op.block.primitive = primitive;
    op.block.baked = all;
    if (any != all) {
        op.vertices.resize(idx.size());
        op.vertexKnown.resize(idx.size());
        for (size_t i = 0; i < idx.size(); ++i) {
            op.vertices[i] = gl.begun[idx[i]];
            op.vertexKnown[i] = gl.begunKnown[idx[i]];
        }
    } else {
        op.block.first = static_cast<GLint>(c.staticVertices.size());
        op.block.count = static_cast<GLsizei>(idx.size());
        for (uint32_t i : idx) c.staticVertices.push_back(gl.begun[i]);
    }
    if (!idx.empty()) c.list.ops.push_back(std::move(op));
    if (c.inBlock != 0) recordCurrent(c.inBlock);
    c.inBlock = 0;
    if (c.mode == GL_COMPILE_AND_EXECUTE) {
        gl.out.resize(idx.size());
        for (size_t i = 0; i < idx.size(); ++i) gl.out[i] = gl.begun[idx[i]];
        drawStream(primitive, gl.out, fromColor | fromNormal | fromTex);
    }
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!gl.inBegin) return;
    Vertex v;
    v.pos[0] = x;
    v.pos[1] = y;
    v.pos[2] = z;
    const bool listed = gl.compiling != nullptr;
    std::memcpy(v.normal, listed ? gl.compiling->normal : gl.a.normal, sizeof v.normal);
    std::memcpy(v.color, listed ? gl.compiling->color : gl.a.color, sizeof v.color);
    std::memcpy(v.tex, listed ? gl.compiling->tex : gl.a.texCoord, sizeof v.tex);
    gl.begun.push_back(v);
    gl.begunKnown.push_back(gl.compiling ? gl.compiling->known : 0u);
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0.0f); }

// A colour, normal or texture coordinate: current at once, and in a list
// known to the rest of the list (its own glBegin blocks and its end).
void setAttribute(unsigned bit, const float* v) {
    const size_t bytes = sizeof(float) * (bit == fromColor ? 4 : bit == fromNormal ? 3 : 2);
    if (gl.compiling) {
        Compiling& c = *gl.compiling;
        std::memcpy(bit == fromColor ? c.color : bit == fromNormal ? c.normal : c.tex, v, bytes);
        c.known |= bit;
        if (gl.inBegin) c.inBlock |= bit;
        else recordCurrent(bit);
        if (c.mode == GL_COMPILE) return;
    }
    std::memcpy(bit == fromColor ? gl.a.color : bit == fromNormal ? gl.a.normal : gl.a.texCoord, v, bytes);
}

void glNormal3f(GLfloat nx, GLfloat ny, GLfloat nz) {
    const float n[3] = {nx, ny, nz};
    setAttribute(fromNormal, n);
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat alpha) {
    // Kept as given; clamped where it is used.
    const float c[4] = {r, g, b, alpha};
    setAttribute(fromColor, c);
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b) { glColor4f(r, g, b, 1.0f); }

void glTexCoord2f(GLfloat s, GLfloat t) {
    const float st[2] = {s, t};
    setAttribute(fromTex, st);
}

// ---------------------------------------------------------------------------
// 13. Lighting

void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    const bool single = pname == GL_SPOT_EXPONENT || pname == GL_SPOT_CUTOFF || pname == GL_CONSTANT_ATTENUATION ||
                        pname == GL_LINEAR_ATTENUATION || pname == GL_QUADRATIC_ATTENUATION;
    float v[4] = {};
    std::memcpy(v, params, sizeof(float) * (single ? 1 : pname == GL_SPOT_DIRECTION ? 3 : 4));
    auto run = [=] {
        if (light != GL_LIGHT0) return;  // the only light the subset draws with
        Light& l = gl.a.light;
        switch (pname) {
        case GL_AMBIENT: std::memcpy(l.ambient, v, sizeof v); break;
        case GL_DIFFUSE: std::memcpy(l.diffuse, v, sizeof v); break;
        case GL_SPECULAR: std::memcpy(l.specular, v, sizeof v); break;
        case GL_POSITION: transformPoint(l.position, gl.modelview.back(), v); break;
        default: break;
        }
    };
    if (record(run)) return;
    run();
}

// ---------------------------------------------------------------------------
// 14. Lists

GLuint glGenLists(GLsizei range) {
    if (range <= 0) return 0;
    // The first of range free names in a row.
    GLuint first = 1;
    for (;;) {
        const auto next = gl.lists.lower_bound(first);
        if (next == gl.lists.end() || next->first - first >= static_cast<GLuint>(range)) break;
        first = next->first + 1;
    }
    // Reserved as empty lists, so that the next call hands out others.
    for (GLsizei i = 0; i < range; ++i) gl.lists[first + static_cast<GLuint>(i)];
    return first;
}

GLboolean glIsList(GLuint list) { return gl.lists.count(list) ? GL_TRUE : GL_FALSE; }

void glDeleteLists(GLuint list, GLsizei range) {
    if (range < 0) return setError(GL_INVALID_VALUE);
    for (GLsizei i = 0; i < range; ++i) deleteList(list + static_cast<GLuint>(i));
}

void glNewList(GLuint list, GLenum mode) {
    if (list == 0) return setError(GL_INVALID_VALUE);
    if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) return setError(GL_INVALID_ENUM);
    if (gl.compiling || gl.inBegin) return setError(GL_INVALID_OPERATION);
    gl.compiling = std::make_unique<Compiling>();
    Compiling& c = *gl.compiling;
    c.name = list;
    c.mode = mode;
    std::memcpy(c.color, gl.a.color, sizeof c.color);
    std::memcpy(c.normal, gl.a.normal, sizeof c.normal);
    std::memcpy(c.tex, gl.a.texCoord, sizeof c.tex);
}

void glEndList(void) {
    if (!gl.compiling || gl.inBegin) return setError(GL_INVALID_OPERATION);
    std::unique_ptr<Compiling> c = std::move(gl.compiling);
    finishList(*c);
    deleteList(c->name);
    gl.lists[c->name] = std::move(c->list);
}

void glListBase(GLuint base) {
    if (record([=] { gl.a.listBase = base; })) return;
    gl.a.listBase = base;
}

void glCallList(GLuint list) {
    if (record([=] { callList(list); })) return;
    callList(list);
    if (gl.callDepth == 0) flushBitmaps();
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    if (n < 0) return setError(GL_INVALID_VALUE);
    if (lists == nullptr) return;
    std::vector<GLuint> names(static_cast<size_t>(n));
    for (GLsizei i = 0; i < n; ++i) {
        switch (type) {
        case GL_UNSIGNED_BYTE: names[i] = static_cast<const GLubyte*>(lists)[i]; break;
        case GL_BYTE: names[i] = static_cast<GLuint>(static_cast<const GLbyte*>(lists)[i]); break;
        case GL_UNSIGNED_SHORT: names[i] = static_cast<const GLushort*>(lists)[i]; break;
        case GL_SHORT: names[i] = static_cast<GLuint>(static_cast<const GLshort*>(lists)[i]); break;
        case GL_UNSIGNED_INT:
        case GL_INT: names[i] = static_cast<const GLuint*>(lists)[i]; break;
        default: return setError(GL_INVALID_ENUM);
        }
    }
    auto run = [names] {
        for (GLuint name : names) callList(gl.a.listBase + name);
    };
    if (record(run)) return;
    run();
    if (gl.callDepth == 0) flushBitmaps();
}

// ---------------------------------------------------------------------------
// 15. Raster position, bitmaps, pixels

void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    auto run = [=] {
        flushBitmaps();
        rasterPos(x, y, z);
    };
    if (record(run)) return;
    run();
}

void glRasterPos2f(GLfloat x, GLfloat y) { glRasterPos3f(x, y, 0.0f); }

void glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove, GLfloat ymove,
              const GLubyte* bitmap) {
    if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
    std::shared_ptr<Bitmap> b = readBitmap(width, height, xorig, yorig, xmove, ymove, bitmap);
    if (gl.compiling) {
        Op op;
        op.kind = Op::DrawBitmap;
        op.bitmap = b;
        gl.compiling->list.ops.push_back(std::move(op));
        if (gl.compiling->mode == GL_COMPILE) return;
    }
    runBitmap(*b);
    if (gl.callDepth == 0) flushBitmaps();
}

void glPixelStorei(GLenum pname, GLint param) {
    PixelStore& p = gl.pixels;
    const bool alignment = pname == GL_UNPACK_ALIGNMENT || pname == GL_PACK_ALIGNMENT;
    if (alignment && param != 1 && param != 2 && param != 4 && param != 8) return setError(GL_INVALID_VALUE);
    if (!alignment && param < 0 && pname != GL_UNPACK_LSB_FIRST && pname != GL_UNPACK_SWAP_BYTES)
        return setError(GL_INVALID_VALUE);
    switch (pname) {
    case GL_UNPACK_ALIGNMENT: p.unpackAlignment = param; break;
    case GL_UNPACK_ROW_LENGTH: p.unpackRowLength = param; break;
    case GL_UNPACK_SKIP_ROWS: p.unpackSkipRows = param; break;
    case GL_UNPACK_SKIP_PIXELS: p.unpackSkipPixels = param; break;
    case GL_UNPACK_LSB_FIRST: p.unpackLsbFirst = param != 0; break;
    case GL_UNPACK_SWAP_BYTES: p.unpackSwapBytes = param != 0; break;
    case GL_PACK_ALIGNMENT: p.packAlignment = param; break;
    case GL_PACK_ROW_LENGTH: p.packRowLength = param; break;
    case GL_PACK_SKIP_ROWS: p.packSkipRows = param; break;
    case GL_PACK_SKIP_PIXELS: p.packSkipPixels = param; break;
    default: setError(GL_INVALID_ENUM); break;
    }
}


// WebGL reads RGBA bytes only: the rows are read so and laid out as asked.
void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
    if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
    const int n = components(format);
    // Colour only: the subset reads no luminance sums, depth or stencil.
    if (type != GL_UNSIGNED_BYTE || (format != GL_RGB && format != GL_RGBA)) return setError(GL_INVALID_ENUM);
    if (width == 0 || height == 0 || pixels == nullptr) return;
    flushBitmaps();
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<GLubyte> rgba(count * 4);
    emscripten_glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    const std::vector<GLubyte> tight = convertPixels(rgba, count, GL_RGBA, format);
    const PixelStore& p = gl.pixels;
    const size_t rowPixels = static_cast<size_t>(p.packRowLength > 0 ? p.packRowLength : width);
    const size_t align = static_cast<size_t>(p.packAlignment);
    const size_t rowBytes = (rowPixels * n + align - 1) / align * align;
    const size_t lineBytes = static_cast<size_t>(width) * n;
    GLubyte* out = static_cast<GLubyte*>(pixels);
    for (size_t row = 0; row < static_cast<size_t>(height); ++row)
        std::memcpy(out + (row + p.packSkipRows) * rowBytes + static_cast<size_t>(p.packSkipPixels) * n,
                    tight.data() + row * lineBytes, lineBytes);
}

// ---------------------------------------------------------------------------
// 16. Textures

void glGenTextures(GLsizei n, GLuint* textures) {
    emscripten_glGenTextures(n, textures);
    if (n > 0) gl.textures.insert(gl.textures.end(), textures, textures + n);
}

void glBindTexture(GLenum target, GLuint texture) {
    auto run = [=] {
        if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
        gl.a.texture = texture;
        emscripten_glBindTexture(GL_TEXTURE_2D, texture);
    };
    if (record(run)) return;
    run();
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels) {
    const GLenum base = baseFormat(internalFormat);
    const int n = components(format);
    if (target != GL_TEXTURE_2D || base == 0 || n == 0 || type != GL_UNSIGNED_BYTE) return setError(GL_INVALID_ENUM);
    if (border != 0 || width < 0 || height < 0) return setError(GL_INVALID_VALUE);
    std::vector<GLubyte> texels;
    if (pixels != nullptr) {
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        texels = convertPixels(unpackImage(width, height, n, static_cast<const GLubyte*>(pixels)), count, format, base);
    }
    auto run = [=] {
        emscripten_glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(base), width, height, 0, base,
                                GL_UNSIGNED_BYTE, texels.empty() ? nullptr : texels.data());
    };
    if (record(run)) return;
    run();
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    // WebGL has no GL_CLAMP: clamping to the edge is the nearest to it.
    const GLint value = param == GL_CLAMP ? GL_CLAMP_TO_EDGE : param;
    auto run = [=] { emscripten_glTexParameteri(target, pname, value); };
    if (record(run)) return;
    run();
}

// ---------------------------------------------------------------------------
// 17. Attribute stacks

void glPushAttrib(GLbitfield mask) {
    auto run = [=] {
        constexpr size_t maxDepth = 16;
        if (gl.attribStack.size() >= maxDepth) return setError(GL_STACK_OVERFLOW);
        flushBitmaps();
        gl.attribStack.emplace_back(mask, gl.a);
    };
    if (record(run)) return;
    run();
}

void glPopAttrib(void) {
    auto run = [] {
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
        if (mask & GL_TEXTURE_BIT) a.texture2d = s.texture2d;
        syncState();
    };
    if (record(run)) return;
    run();
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
// 18. Selection

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
