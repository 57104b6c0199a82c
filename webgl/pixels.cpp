// The GL subset's pixels: the raster position and bitmaps (drawn as points
// at pixel centres, gathered until something else is drawn), the pixel
// store, glReadPixels and textures.
#include "webgl/subset.h"

#include <cmath>
#include <cstring>

#include <emscripten/html5.h>

namespace webgl {

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
    emscripten_glUniform1f(gl.uPointSize, 1.0f);
    emscripten_glViewport(0, 0, width, height);
    emscripten_glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(points.size()));
    emscripten_glViewport(gl.a.viewport[0], gl.a.viewport[1], gl.a.viewport[2], gl.a.viewport[3]);
}

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

namespace {

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

}  // namespace

}  // namespace webgl

using namespace webgl;

extern "C" {

void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    recordOrRun([=] {
        flushBitmaps();
        rasterPos(x, y, z);
    });
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

void glGenTextures(GLsizei n, GLuint* textures) {
    emscripten_glGenTextures(n, textures);
    if (n > 0) gl.textures.insert(gl.textures.end(), textures, textures + n);
}

void glBindTexture(GLenum target, GLuint texture) {
    recordOrRun([=] {
        if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
        gl.a.texture = texture;
        emscripten_glBindTexture(GL_TEXTURE_2D, texture);
    });
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
        texels = unpackImage(width, height, n, static_cast<const GLubyte*>(pixels));
        if (format != base) texels = convertPixels(texels, count, format, base);
    }
    recordOrRun([=] {
        emscripten_glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(base), width, height, 0, base,
                                GL_UNSIGNED_BYTE, texels.empty() ? nullptr : texels.data());
    });
}

void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    // WebGL has no GL_CLAMP: clamping to the edge is the nearest to it.
    const GLint value = param == GL_CLAMP ? GL_CLAMP_TO_EDGE : param;
    recordOrRun([=] { emscripten_glTexParameteri(target, pname, value); });
}

}  // extern "C"
