// The GL subset's shared state: what every part of it reads and changes,
// and the few helpers one part offers the others. The parts, each with its
// internals beside its GL entry points:
//
//   state.cpp     enables, clear values, depth, blend, scissor, viewport,
//                 errors, queries, light 0, the attribute stacks, selection
//                 glEnable glDisable glIsEnabled glHint glShadeModel
//                 glClearColor glClearDepth glClear glDepthFunc glBlendFunc
//                 glScissor glViewport glLineWidth glPointSize glGetError glGetIntegerv glGetFloatv
//                 glGetBooleanv glLightfv glPushAttrib glPopAttrib
//                 glPushClientAttrib glPopClientAttrib glRenderMode
//                 glSelectBuffer
//   matrices.cpp  glMatrixMode glLoadIdentity glMultMatrixf glMultMatrixd
//                 glTranslatef glTranslated glRotatef glScalef glOrtho
//                 glPushMatrix glPopMatrix
//   draw.cpp      the shader, the streaming buffer and draws; glBegin's
//                 blocks; webglStart, webglStop
//                 glBegin glEnd glVertex2f glVertex3f glNormal3f glColor3f
//                 glColor4f glTexCoord2f
//   lists.cpp     glGenLists glNewList glEndList glCallList glCallLists
//                 glListBase glDeleteLists glIsList
//   pixels.cpp    the raster position, bitmaps, pixel transfer, textures
//                 glRasterPos2f glRasterPos3f glBitmap glPixelStorei
//                 glReadPixels glGenTextures glBindTexture glTexImage2D
//                 glTexParameteri
//
// Quads, strips, fans and polygons become triangles, strips and loops
// become separate lines, so that the vertices of many blocks go out in one
// draw. Lighting is one positional or directional light 0 over the default
// material, per vertex, as the fixed pipeline does it. Bitmaps are drawn as
// one-pixel points in window coordinates.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "webgl/webgl_calls.h"

namespace webgl {

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
    // lines: wider than a pixel, drawn as quads (WebGL's own are often 1 pixel at most)
    float lineWidth = 1.0f;
    // points: wider than a pixel, drawn round
    float pointSize = 1.0f;
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

enum Attrib : unsigned { aPosition = 0, aNormal = 1, aColor = 2, aTex = 3, aOther = 4 };
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
    // The static vertices: sent to the list's buffer when it first draws
    // (most of a font's glyphs never do), then kept only where it draws
    // lines, which may be drawn wide.
    std::vector<Vertex> vertices;
    bool drawsLines = false;
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
    std::vector<Vertex> wide;          // wide lines turned into quads
    std::vector<float> wideOther;      // per vertex of those: the line's other end, and its side

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
    GLuint program = 0, stream = 0, otherStream = 0, boundBuffer = ~0u;
    GLint uMvp = -1, uModelview = -1, uNormalMatrix = -1, uLit = -1, uLightPos = -1, uBase = -1,
          uAmbient = -1, uDiffuse = -1, uTextured = -1, uWide = -1, uPointSize = -1;
    unsigned arraysOn = 0;
    std::vector<GLuint> textures;  // every texture made, deleted with the context
};

extern Gl gl;

// state.cpp
void setError(GLenum e);             // keeps the first error until glGetError
bool* enableFlag(GLenum cap);        // the switch glEnable sets; null for one the subset ignores
void syncState();                    // sends all the state the subset keeps to WebGL

// matrices.cpp
Mat4 multiply(const Mat4& a, const Mat4& b);
void transformPoint(float q[4], const Mat4& m, const float p[4]);
std::array<float, 9> normalMatrix(const Mat4& m);

inline float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// draw.cpp
void bindBuffer(GLuint buffer);
void setArrays(unsigned baked, const float color[4], const float normal[3], const float tex[2]);
void setUniforms(GLenum primitive);
void drawStream(GLenum primitive, const std::vector<Vertex>& vertices, unsigned baked);  // lines wide where set
bool linesWide();  // lines are drawn as quads, being wider than a pixel
void drawWideLines(const Vertex* vertices, size_t count, unsigned baked);

// lists.cpp
bool record(std::function<void()> call);
void recordCurrent(unsigned bits);

// A call a list keeps: recorded into the list being made, if any, and run
// now unless that list is only compiled.
template <typename Run>
void recordOrRun(const Run& run) {
    if (!gl.compiling || !record(run)) run();  // the call is copied into a std::function only for a list
}

// pixels.cpp
void flushBitmaps();
void runBitmap(const Bitmap& b);

}  // namespace webgl
