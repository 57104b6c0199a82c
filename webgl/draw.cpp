// The GL subset's draws: the shader that stands for the fixed pipeline, the
// streaming buffer, and glBegin's blocks turned into triangles, lines or
// points.
//
// Sections:
//   1. The shader
//   2. Blocks as WebGL primitives
//   3. The stream: buffer, attributes, uniforms, draws
//   4. Start and stop
//   5. glBegin, glEnd and the vertex calls
#include "webgl/subset.h"
#include "webgl/webgl.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <emscripten/html5.h>

namespace webgl {

// ---------------------------------------------------------------------------
// 1. The shader

namespace {

const char* vertexSource = R"(
precision highp float;
attribute vec3 aPosition;
attribute vec3 aNormal;
attribute vec4 aColor;
attribute vec2 aTex;
attribute vec4 aOther;     // a wide line's other end, and the side of it this vertex is on
uniform mat4 uMvp;
uniform mat4 uModelview;
uniform mat3 uNormalMatrix;
uniform int uLit;          // 0 unlit, 1 lit without light 0, 2 lit by light 0
uniform vec4 uLightPos;    // eye coordinates
uniform vec4 uBase;        // the scene's ambient on the material
uniform vec4 uAmbient;     // light 0's ambient on the material
uniform vec4 uDiffuse;     // light 0's diffuse on the material
uniform vec3 uWide;        // half a wide line's width in pixels (0: no wide line), half the viewport
uniform float uPointSize;  // a point's width in pixels: 1 for every other primitive
varying vec4 vColor;
varying vec2 vTex;
void main() {
    vec4 p = vec4(aPosition, 1.0);
    gl_Position = uMvp * p;
    gl_PointSize = uPointSize;
    if (uWide.x > 0.0) {
        // The end is moved across the line by half its width: up or down
        // for a line more across than up, as GL widens its lines. The other
        // end, if behind the eye, is taken where the line meets the near
        // plane.
        vec4 q = uMvp * vec4(aOther.xyz, 1.0);
        if (q.w < 1e-4) q = mix(gl_Position, q, (gl_Position.w - 1e-4) / (gl_Position.w - q.w));
        vec2 d = abs(q.xy / q.w - gl_Position.xy / gl_Position.w) * uWide.yz;
        vec2 across = d.x >= d.y ? vec2(0.0, 1.0) : vec2(1.0, 0.0);
        gl_Position.xy += across * aOther.w * uWide.x / uWide.yz * gl_Position.w;
    }
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
uniform float uPointSize;
varying vec4 vColor;
varying vec2 vTex;
void main() {
    // A point wider than a pixel is round, as GL draws points with samples.
    if (uPointSize > 1.0) {
        vec2 c = gl_PointCoord - 0.5;
        if (dot(c, c) > 0.25) discard;
    }
    gl_FragColor = uTextured == 1 ? vColor * texture2D(uSampler, vTex) : vColor;
}
)";

// The compile is only started here: its status is looked at when the
// program does not link, since each look waits for the compile to end.
GLuint compileShader(GLenum type, const char* source) {
    const GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    return shader;
}

// Why a shader of a program that did not link failed to compile, if it did.
void reportShader(GLuint shader) {
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) return;
    char log[1024] = "";
    emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "webgl: shader: %s\n", log);
}

// ---------------------------------------------------------------------------
// 2. Blocks as WebGL primitives

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

}  // namespace

// ---------------------------------------------------------------------------
// 3. The stream: buffer, attributes, uniforms, draws, wide lines

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

// Sends the matrices, the light, the texture switch and, for points, their
// size as they are now.
void setUniforms(GLenum primitive) {
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
    emscripten_glUniform1f(gl.uPointSize, primitive == GL_POINTS ? a.pointSize : 1.0f);
}

void drawStream(GLenum primitive, const std::vector<Vertex>& vertices, unsigned baked) {
    if (vertices.empty() || gl.renderMode != GL_RENDER) return;
    if (primitive == GL_LINES && linesWide()) return drawWideLines(vertices.data(), vertices.size(), baked);
    bindBuffer(gl.stream);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                            vertices.data(), GL_STREAM_DRAW);
    setArrays(baked, gl.a.color, gl.a.normal, gl.a.texCoord);
    setUniforms(primitive);
    emscripten_glDrawArrays(primitive, 0, static_cast<GLsizei>(vertices.size()));
}

bool linesWide() { return gl.a.lineWidth > 1.0f; }

// Lines (vertex pairs) as quads across them, two triangles each: both ends
// drawn twice, once on each side, the other end and the side in aOther.
// Faces are not culled for them, as lines are not.
void drawWideLines(const Vertex* vertices, size_t count, unsigned baked) {
    if (count < 2 || gl.renderMode != GL_RENDER) return;
    gl.wide.clear();
    gl.wideOther.clear();
    constexpr int ends[6] = {0, 0, 1, 0, 1, 1};
    constexpr float sides[6] = {1.0f, -1.0f, -1.0f, 1.0f, -1.0f, 1.0f};
    for (size_t i = 0; i + 1 < count; i += 2) {
        for (int k = 0; k < 6; ++k) {
            const Vertex& v = vertices[i + ends[k]];
            const Vertex& other = vertices[i + 1 - ends[k]];
            gl.wide.push_back(v);
            gl.wideOther.insert(gl.wideOther.end(), {other.pos[0], other.pos[1], other.pos[2], sides[k]});
        }
    }
    bindBuffer(gl.otherStream);
    emscripten_glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(gl.wideOther.size() * sizeof(float)),
                            gl.wideOther.data(), GL_STREAM_DRAW);
    emscripten_glVertexAttribPointer(aOther, 4, GL_FLOAT, GL_FALSE, 0, nullptr);
    emscripten_glEnableVertexAttribArray(aOther);
    const GLint* view = gl.a.viewport;
    emscripten_glUniform3f(gl.uWide, gl.a.lineWidth * 0.5f, static_cast<float>(view[2]) * 0.5f,
                           static_cast<float>(view[3]) * 0.5f);
    if (gl.a.cullFace) emscripten_glDisable(GL_CULL_FACE);
    drawStream(GL_TRIANGLES, gl.wide, baked);
    if (gl.a.cullFace) emscripten_glEnable(GL_CULL_FACE);
    emscripten_glUniform3f(gl.uWide, 0.0f, 1.0f, 1.0f);
    emscripten_glDisableVertexAttribArray(aOther);
}

}  // namespace webgl

using namespace webgl;

// ---------------------------------------------------------------------------
// 4. Start and stop

bool webglStart() {
    if (gl.started) return true;
    const GLuint vs = compileShader(GL_VERTEX_SHADER, vertexSource);
    const GLuint fs = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
    gl.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(gl.program, vs);
    emscripten_glAttachShader(gl.program, fs);
    emscripten_glBindAttribLocation(gl.program, aPosition, "aPosition");
    emscripten_glBindAttribLocation(gl.program, aNormal, "aNormal");
    emscripten_glBindAttribLocation(gl.program, aColor, "aColor");
    emscripten_glBindAttribLocation(gl.program, aTex, "aTex");
    emscripten_glBindAttribLocation(gl.program, aOther, "aOther");
    emscripten_glLinkProgram(gl.program);
    GLint ok = 0;
    emscripten_glGetProgramiv(gl.program, GL_LINK_STATUS, &ok);
    if (!ok) {
        reportShader(vs);
        reportShader(fs);
        char log[1024] = "";
        emscripten_glGetProgramInfoLog(gl.program, sizeof log, nullptr, log);
        std::fprintf(stderr, "webgl: program: %s\n", log);
    }
    // The program keeps what it was linked from.
    emscripten_glDeleteShader(vs);
    emscripten_glDeleteShader(fs);
    if (!ok) return false;
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
    gl.uWide = emscripten_glGetUniformLocation(gl.program, "uWide");
    gl.uPointSize = emscripten_glGetUniformLocation(gl.program, "uPointSize");
    emscripten_glUniform1i(emscripten_glGetUniformLocation(gl.program, "uSampler"), 0);
    emscripten_glGenBuffers(1, &gl.stream);
    emscripten_glGenBuffers(1, &gl.otherStream);

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
        emscripten_glDeleteBuffers(1, &gl.otherStream);
        emscripten_glDeleteProgram(gl.program);
    }
    gl = Gl{};
}

// ---------------------------------------------------------------------------
// 5. glBegin, glEnd and the vertex calls

namespace {

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

}  // namespace

extern "C" {

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

}  // extern "C"
