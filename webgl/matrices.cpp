// The GL subset's matrices: the three stacks (the mode picks one) and the
// calls that change their tops, multiplied in the order the fixed pipeline
// multiplies.
#include "webgl/subset.h"

#include <cmath>
#include <cstring>

namespace webgl {

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

namespace {

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

void loadMatrix(const Mat4& m) { top() = m; }
void multMatrix(const Mat4& m) { top() = multiply(top(), m); }

Mat4 toMat4(const GLfloat* m) {
    Mat4 r;
    std::memcpy(r.data(), m, sizeof r);
    return r;
}

}  // namespace

}  // namespace webgl

using namespace webgl;

extern "C" {

void glMatrixMode(GLenum mode) {
    recordOrRun([=] {
        if (mode == GL_MODELVIEW || mode == GL_PROJECTION || mode == GL_TEXTURE) gl.a.matrixMode = mode;
        else setError(GL_INVALID_ENUM);
    });
}

void glLoadIdentity(void) {
    recordOrRun([] { loadMatrix(identity); });
}

void glMultMatrixf(const GLfloat* m) {
    const Mat4 mat = toMat4(m);
    recordOrRun([=] { multMatrix(mat); });
}

void glMultMatrixd(const GLdouble* m) {
    Mat4 mat;
    for (int i = 0; i < 16; ++i) mat[i] = static_cast<float>(m[i]);
    recordOrRun([=] { multMatrix(mat); });
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    recordOrRun([=] {
        Mat4& m = top();
        m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
        m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
        m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
        m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
    });
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    recordOrRun([=] {
        Mat4& m = top();
        for (int i = 0; i < 4; ++i) {
            m[i] *= x;
            m[4 + i] *= y;
            m[8 + i] *= z;
        }
    });
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    recordOrRun([=] {
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
    });
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top_, GLdouble nearVal, GLdouble farVal) {
    Mat4 m = identity;
    m[0] = static_cast<float>(2.0 / (right - left));
    m[5] = static_cast<float>(2.0 / (top_ - bottom));
    m[10] = static_cast<float>(-2.0 / (farVal - nearVal));
    m[12] = static_cast<float>(-(right + left) / (right - left));
    m[13] = static_cast<float>(-(top_ + bottom) / (top_ - bottom));
    m[14] = static_cast<float>(-(farVal + nearVal) / (farVal - nearVal));
    recordOrRun([=] { multMatrix(m); });
}

void glPushMatrix(void) {
    recordOrRun([] {
        std::vector<Mat4>& s = stack();
        const size_t limit = gl.a.matrixMode == GL_MODELVIEW ? 32 : 4;
        if (s.size() >= limit) return setError(GL_STACK_OVERFLOW);
        s.push_back(s.back());
    });
}

void glPopMatrix(void) {
    recordOrRun([] {
        std::vector<Mat4>& s = stack();
        if (s.size() <= 1) return setError(GL_STACK_UNDERFLOW);
        s.pop_back();
    });
}

}  // extern "C"
