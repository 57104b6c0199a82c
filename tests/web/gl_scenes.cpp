// Small 640 x 480 scenes drawn with the GL calls the show makes, the same
// source on the desktop's GL and on the browser's GL subset, so that the
// two can be compared pixel by pixel. Each scene also writes notes: values
// it reads back from GL (raster positions, enables, boxes).
//
// Desktop: gl_scenes OUT_DIR writes OUT_DIR/NAME.ppm and OUT_DIR/NAME.txt.
// Browser: glScenesStart, then glScenesCount, glSceneName, glSceneDraw
// (the frame, RGB, bottom row first) and glSceneNotes.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "scenes/squares.h"
#include "show/view.h"

namespace {

constexpr int width = 640, height = 480;

std::string notes;

void note(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    notes += line;
    notes += '\n';
}

void noteRaster(const char* what) {
    GLfloat p[4];
    glGetFloatv(GL_CURRENT_RASTER_POSITION, p);
    note("%s %.3f %.3f %.4f %.3f", what, p[0], p[1], p[2], p[3]);
}

// The show's view, a black clear.
void begin() {
    glViewport(0, 0, width, height);
    setShowPerspective(width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void redLight(float x, float y, float z) {
    const GLfloat ambient[4] = {0.1f, 0.0f, 0.05f, 1.0f};
    const GLfloat diffuse[4] = {1.0f, 0.2f, 0.1f, 1.0f};
    const GLfloat position[4] = {x, y, z, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
}

// An extruded star: faces as triangles, walls as quads with smooth normals.
void star(float depth) {
    constexpr int points = 5;
    float x[2 * points], y[2 * points];
    for (int i = 0; i < 2 * points; ++i) {
        const float r = i % 2 == 0 ? 1.0f : 0.45f, a = static_cast<float>(i) * 3.14159265f / points;
        x[i] = r * std::sin(a);
        y[i] = r * std::cos(a);
    }
    glBegin(GL_TRIANGLES);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (int i = 0; i < 2 * points; ++i) {
        const int j = (i + 1) % (2 * points);
        glVertex3f(0.0f, 0.0f, 0.0f);
        glVertex3f(x[j], y[j], 0.0f);
        glVertex3f(x[i], y[i], 0.0f);
    }
    glEnd();
    glBegin(GL_QUADS);
    for (int i = 0; i < 2 * points; ++i) {
        const int j = (i + 1) % (2 * points);
        const float nx = y[i] - y[j], ny = x[j] - x[i], len = std::hypot(nx, ny);
        glNormal3f(-nx / len, -ny / len, 0.0f);
        glVertex3f(x[i], y[i], 0.0f);
        glVertex3f(x[i], y[i], -depth);
        glNormal3f(-nx / len * 0.8f, -ny / len * 0.8f, 0.6f);
        glVertex3f(x[j], y[j], -depth);
        glVertex3f(x[j], y[j], 0.0f);
    }
    glEnd();
}

void litShape() {
    begin();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    redLight(2.0f, 1.0f, -3.0f);
    glTranslatef(-0.3f, 0.1f, -4.0f);
    glRotatef(35.0f, 0.3f, 1.0f, 0.2f);
    glRotatef(-20.0f, 1.0f, 0.0f, 0.0f);
    star(0.6f);
    glLoadIdentity();
    glTranslatef(1.6f, -0.9f, -5.0f);
    glRotatef(160.0f, 0.0f, 1.0f, 0.0f);
    star(0.3f);
    glDisable(GL_LIGHTING);
}

// Lit squares cut along either diagonal: one inside the view, one that
// reaches past its edges (clipped, as the slideshow's turning square is),
// and one from a display list.
void litSquares() {
    begin();
    glDisable(GL_DEPTH_TEST);
    glNormal3f(0.0f, 0.0f, 1.0f);
    const GLuint list = glGenLists(1);
    glNewList(list, GL_COMPILE);
    drawLitSquare();
    glEndList();
    const float places[3][3] = {{-2.2f, 0.8f, -6.0f}, {0.5f, -0.3f, -1.6f}, {2.3f, 1.0f, -6.0f}};
    for (int i = 0; i < 3; ++i) {
        glLoadIdentity();
        // A light close to the square's corner shades it far from evenly.
        redLight(places[i][0] + 0.6f, places[i][1] + 0.5f, places[i][2] + 0.4f);
        glTranslatef(places[i][0], places[i][1], places[i][2]);
        glRotatef(40.0f + 25.0f * i, 0.4f, 1.0f, 0.3f);
        if (i == 2) {
            glCallList(list);
            continue;
        }
        drawLitSquare();
    }
    glDeleteLists(list, 1);
    glDisable(GL_LIGHTING);
}

GLuint photo = 0;

void texturedQuad() {
    begin();
    if (photo == 0) {
        // A format-3 texture from rows packed to the byte.
        std::vector<unsigned char> rgb(256 * 256 * 3);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                unsigned char* p = &rgb[(y * 256 + x) * 3];
                p[0] = static_cast<unsigned char>(x);
                p[1] = static_cast<unsigned char>(((x / 16 + y / 16) % 2) * 200 + 30);
                p[2] = static_cast<unsigned char>(255 - y);
            }
        glGenTextures(1, &photo);
        glBindTexture(GL_TEXTURE_2D, photo);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, 3, 256, 256, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    }
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, photo);
    glColor4f(1.0f, 0.8f, 0.6f, 1.0f);
    glTranslatef(0.0f, 0.0f, -3.0f);
    glRotatef(12.0f, 0.0f, 0.0f, 1.0f);
    drawPhotoSquare();
    glDisable(GL_TEXTURE_2D);
}

void square(float x, float y, float size) {
    glBegin(GL_QUADS);
    glVertex2f(x - size, y - size);
    glVertex2f(x + size, y - size);
    glVertex2f(x + size, y + size);
    glVertex2f(x - size, y + size);
    glEnd();
}

void blendedQuads() {
    begin();
    glDisable(GL_DEPTH_TEST);
    glColor4f(0.3f, 0.3f, 0.3f, 0.0f);
    glTranslatef(0.0f, 0.0f, -4.0f);
    square(0.0f, 0.0f, 1.2f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1.0f, 0.2f, 0.1f, 0.6f);
    square(-0.4f, 0.2f, 0.9f);
    glColor4f(0.1f, 0.9f, 0.3f, 0.35f);
    square(0.5f, -0.1f, 0.8f);
    // The photo faded in over them, as the slideshow does.
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, photo);
    glColor4f(1.0f, 1.0f, 1.0f, 0.45f);
    drawPhotoSquare();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
}

GLuint sphereList = 0;

void linesAndSphere() {
    begin();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    // Rings, as the tunnel draws them.
    for (int k = 0; k < 4; ++k) {
        glLoadIdentity();
        glTranslatef(0.0f, 0.0f, -3.0f - static_cast<float>(k));
        glRotatef(20.0f * static_cast<float>(k), 0.4f, 0.3f, 1.0f);
        glBegin(GL_LINE_LOOP);
        glColor3f(0.9f - 0.2f * static_cast<float>(k), 0.9f, 0.9f);
        for (int i = 0; i < 24; ++i) {
            const double a = i * 2.0 * 3.14159265358979 / 24;
            glVertex2f(static_cast<float>(1.2 * std::cos(a)), static_cast<float>(1.2 * std::sin(a)));
        }
        glEnd();
    }
    glBegin(GL_LINE_STRIP);
    glVertex3f(-1.5f, -1.0f, -4.0f);
    glVertex3f(1.5f, -0.7f, -6.0f);
    glVertex3f(0.4f, 1.1f, -5.0f);
    glEnd();
    // The wire sphere, lit, as the sphere scene draws it.
    if (sphereList == 0) {
        GLUquadric* q = gluNewQuadric();
        gluQuadricDrawStyle(q, GLU_LINE);
        gluQuadricNormals(q, GLU_SMOOTH);
        sphereList = glGenLists(1);
        glNewList(sphereList, GL_COMPILE);
        gluSphere(q, 0.25, 15, 10);
        glEndList();
        gluDeleteQuadric(q);
    }
    redLight(1.0f, 2.0f, -2.0f);
    glLoadIdentity();
    glTranslatef(0.5f, 0.2f, -2.0f);
    glRotatef(40.0f, 0.2f, 0.3f, 0.4f);
    glCallList(sphereList);
    GLfloat n[4];
    glGetFloatv(GL_CURRENT_NORMAL, n);
    note("normal after the sphere %.4f %.4f %.4f", n[0], n[1], n[2]);
    // A square lit with the normal the list left behind.
    glLoadIdentity();
    glTranslatef(-0.8f, -0.5f, -4.0f);
    square(0.0f, 0.0f, 0.5f);
    glDisable(GL_LIGHTING);
}

// The same at three pixels wide, as a picture three times the show's size
// draws them, with faces culled as the glyphs leave it.
void wideLines() {
    glLineWidth(3.0f);
    glEnable(GL_CULL_FACE);
    linesAndSphere();
    glDisable(GL_CULL_FACE);
    glLineWidth(1.0f);
}

// Points three pixels wide on a grid, as a sized picture fills the corners
// of its wide lines with, each centred on a pixel.
void widePoints() {
    begin();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPointSize(3.0f);
    glBegin(GL_POINTS);
    for (int y = 10; y < height; y += 8)
        for (int x = 10; x < width; x += 8) glVertex2f(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
    glEnd();
    glPointSize(1.0f);
}

GLuint glyphBase = 0;

// Glyph lists: a shape and a step to the right; one lit, one of line
// loops with the normals set outside glBegin, one of the current colour.
void glyphLists() {
    begin();
    glEnable(GL_DEPTH_TEST);
    if (glyphBase == 0) {
        glyphBase = glGenLists(3);
        glNewList(glyphBase, GL_COMPILE);
        star(0.4f);
        glTranslatef(2.2f, 0.0f, 0.0f);
        glEndList();
        glNewList(glyphBase + 1, GL_COMPILE);
        for (float z : {0.0f, -0.4f}) {
            glNormal3f(0.0f, 0.0f, z == 0.0f ? 1.0f : -1.0f);
            glBegin(GL_LINE_LOOP);
            for (int i = 0; i < 6; ++i)
                glVertex3f(std::cos(static_cast<float>(i)), std::sin(static_cast<float>(i)), z);
            glEnd();
        }
        glTranslatef(2.2f, 0.0f, 0.0f);
        glEndList();
        glNewList(glyphBase + 2, GL_COMPILE);
        square(0.0f, 0.0f, 0.8f);
        glTranslatef(2.2f, 0.0f, 0.0f);
        glEndList();
    }
    GLint before = 0, after = 0;
    glListBase(7);
    redLight(0.0f, 1.0f, -2.0f);
    glTranslatef(-3.3f, 0.8f, -8.0f);
    glRotatef(25.0f, 0.0f, 1.0f, 0.0f);
    const unsigned char text[] = {0, 1, 0, 1};
    glPushAttrib(GL_LIST_BIT);
    glListBase(glyphBase);
    glGetIntegerv(GL_LIST_BASE, &before);
    glCallLists(4, GL_UNSIGNED_BYTE, text);
    glPopAttrib();
    glGetIntegerv(GL_LIST_BASE, &after);
    note("list base inside %d outside %d", before - static_cast<GLint>(glyphBase), after);
    glDisable(GL_LIGHTING);
    glLoadIdentity();
    glTranslatef(-3.3f, -1.8f, -8.0f);
    const unsigned char squares[] = {2, 2, 2};
    glListBase(glyphBase);
    for (int i = 0; i < 3; ++i) {
        glColor3f(0.2f + 0.3f * static_cast<float>(i), 0.5f, 1.0f - 0.3f * static_cast<float>(i));
        glCallLists(1, GL_UNSIGNED_BYTE, &squares[i]);
    }
    glListBase(0);
}

GLuint fontBase = 0;

// A bitmap font: glyph i is an i-wide, 12-high bar with a notch.
void bitmapText() {
    begin();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    if (fontBase == 0) {
        fontBase = glGenLists(8);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (int i = 0; i < 8; ++i) {
            const int w = 3 + 2 * i, h = 12, rowBytes = (w + 7) / 8;
            std::vector<GLubyte> bits(static_cast<size_t>(rowBytes * h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if ((x + y) % 3 != 0 || y == 0) bits[y * rowBytes + x / 8] |= static_cast<GLubyte>(0x80 >> (x % 8));
            glNewList(fontBase + i, GL_COMPILE);
            glBitmap(w, h, 1.0f, 2.0f, static_cast<float>(w) + 1.5f, 0.0f, bits.data());
            glEndList();
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
    // A lit square near the eye hides part of the text behind it.
    redLight(0.0f, 0.0f, 0.0f);
    glTranslatef(0.3f, 0.0f, -1.0f);
    square(0.0f, 0.0f, 0.1f);
    glDisable(GL_LIGHTING);

    glLoadIdentity();
    glColor3f(1.0f, 0.9f, 0.2f);
    glTranslatef(0.0f, 0.0f, -2.0f);
    glRasterPos2f(-0.7f, 0.05f);
    noteRaster("start");
    const unsigned char text[] = {0, 3, 7, 1, 5, 2, 6, 4, 0, 7};
    glListBase(fontBase);
    glCallLists(10, GL_UNSIGNED_BYTE, text);
    glListBase(0);
    noteRaster("end");
    // A bitmap straight from the caller, rows padded to 4 bytes.
    const GLubyte arrow[] = {0x18, 0, 0, 0, 0x3c, 0, 0, 0, 0x7e, 0, 0, 0, 0xff, 0, 0, 0};
    glColor3f(0.3f, 1.0f, 1.0f);
    glRasterPos2f(-0.5f, -0.4f);
    glBitmap(8, 4, 0.0f, 0.0f, 0.0f, 0.0f, arrow);
    // Moved by a bitmap of no pixels.
    glBitmap(0, 0, 0.0f, 0.0f, 37.25f, -4.5f, nullptr);
    glBitmap(8, 4, 0.0f, 0.0f, 0.0f, 0.0f, arrow);
    noteRaster("moved");
    // Behind the eye: no raster position, and bitmaps do nothing.
    glRasterPos3f(0.0f, 0.0f, 5.0f);
    GLboolean valid = GL_TRUE;
    glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    glBitmap(8, 4, 0.0f, 0.0f, 10.0f, 10.0f, arrow);
    note("valid %d", valid);
    noteRaster("invalid");
}

void attribStack() {
    begin();
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.2f, 0.6f, 0.9f);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glScissor(100, 50, 400, 300);
    glPushAttrib(GL_ALL_ATTRIB_BITS & ~GL_VIEWPORT_BIT);
    glEnable(GL_BLEND);
    glEnable(GL_SCISSOR_TEST);
    glScissor(10, 10, 50, 50);
    glEnable(GL_LIGHTING);
    glColor3f(1.0f, 0.0f, 0.0f);
    glClearColor(0.5f, 0.5f, 0.5f, 0.5f);
    glViewport(0, 0, 320, 240);
    glPopAttrib();
    GLint box[4], viewport[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    glGetIntegerv(GL_VIEWPORT, viewport);
    note("enabled blend %d scissor %d lighting %d", glIsEnabled(GL_BLEND), glIsEnabled(GL_SCISSOR_TEST),
         glIsEnabled(GL_LIGHTING));
    note("scissor %d %d %d %d viewport %d %d %d %d", box[0], box[1], box[2], box[3], viewport[0], viewport[1],
         viewport[2], viewport[3]);
    // Drawn in the restored colour into the viewport left as it was set.
    glTranslatef(0.0f, 0.0f, -3.0f);
    square(0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT);  // the restored clear colour, in the box
    glDisable(GL_SCISSOR_TEST);
    glViewport(0, 0, width, height);
}

void selection() {
    begin();
    glDisable(GL_DEPTH_TEST);
    glColor3f(0.8f, 0.8f, 0.8f);
    glTranslatef(0.0f, 0.0f, -3.0f);
    square(0.0f, 0.0f, 0.5f);
    // A skipped frame, as a jump draws it.
    GLuint names[64];
    glScissor(0, 0, 1, 1);
    glEnable(GL_SCISSOR_TEST);
    glSelectBuffer(64, names);
    glRenderMode(GL_SELECT);
    glClearColor(1.0f, 1.0f, 1.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);
    square(0.3f, 0.3f, 2.0f);
    glCallList(sphereList);
    glLoadIdentity();
    glRasterPos3f(0.0f, 0.0f, -1.0f);
    glListBase(fontBase);
    const unsigned char text[] = {1, 2, 3};
    glCallLists(3, GL_UNSIGNED_BYTE, text);
    glListBase(0);
    noteRaster("after select text");
    glRenderMode(GL_RENDER);
    glDisable(GL_SCISSOR_TEST);
    glScissor(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
}

// A list whose block has colours for some vertices only, one made and run
// at once, matrices pushed and popped under an orthographic projection, and
// a bitmap in the colour of a lit raster position.
void mixedLists() {
    begin();
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-4.0, 4.0, -3.0, 3.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    static GLuint mixed = 0;
    if (mixed == 0) {
        mixed = glGenLists(1);
        glNewList(mixed, GL_COMPILE);
        glBegin(GL_TRIANGLE_FAN);
        glVertex2f(0.0f, 0.0f);
        glColor3f(1.0f, 0.5f, 0.0f);
        glVertex2f(1.0f, 0.0f);
        glVertex2f(0.7f, 0.7f);
        glColor4f(0.0f, 2.0f, 0.5f, 1.0f);  // green beyond 1: clamped when drawn
        glVertex2f(0.0f, 1.0f);
        glEnd();
        glEndList();
    }
    glColor3f(0.1f, 0.2f, 1.0f);
    glPushMatrix();
    glTranslatef(-2.5f, 0.5f, 0.0f);
    glCallList(mixed);
    glPopMatrix();
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    note("colour after the list %.3f %.3f %.3f %.3f", c[0], c[1], c[2], c[3]);
    glColor3f(1.0f, 1.0f, 1.0f);
    glCallList(mixed);
    glTranslatef(1.5f, -2.0f, 0.0f);
    const GLuint shown = glGenLists(1);
    glNewList(shown, GL_COMPILE_AND_EXECUTE);
    glColor3f(0.6f, 0.1f, 0.9f);
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < 4; ++i) {
        glVertex2f(static_cast<float>(i) * 0.5f, 0.0f);
        glVertex2f(static_cast<float>(i) * 0.5f, 0.6f + 0.1f * static_cast<float>(i));
    }
    glEnd();
    glEndList();
    glTranslatef(0.0f, 1.0f, 0.0f);
    glCallList(shown);
    glDeleteLists(shown, 1);
    note("deleted list is a list %d", glIsList(shown));
    // A list that calls itself runs 64 deep.
    const GLuint nested = glGenLists(1);
    glNewList(nested, GL_COMPILE);
    glBegin(GL_TRIANGLES);
    glVertex2f(0.0f, 0.0f);
    glVertex2f(0.04f, 0.0f);
    glVertex2f(0.0f, 0.3f);
    glEnd();
    glTranslatef(0.05f, 0.0f, 0.0f);
    glCallList(nested);
    glEndList();
    glLoadIdentity();
    glTranslatef(-3.5f, -2.8f, 0.0f);
    glColor3f(0.9f, 0.9f, 0.2f);
    glCallList(nested);
    glDeleteLists(nested, 1);
    GLint depth = 0;
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    note("projection stack %d", depth);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glNormal3f(0.0f, 0.0f, 1.0f);
    redLight(0.5f, 0.5f, -1.0f);
    // The model-view matrix stays as it was at glLightfv: the desktop's GL
    // lights a raster position with the light where that matrix put it.
    glRasterPos3f(-0.6f, -0.6f, -2.0f);
    glGetFloatv(GL_CURRENT_RASTER_COLOR, c);
    note("lit raster colour %.3f %.3f %.3f %.3f", c[0], c[1], c[2], c[3]);
    const GLubyte block[] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(8, 8, 0.0f, 0.0f, 0.0f, 0.0f, block);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glDisable(GL_LIGHTING);
}

struct Scene {
    const char* name;
    void (*draw)();
};

const Scene scenes[] = {
    {"lit", litShape},         {"texture", texturedQuad}, {"blend", blendedQuads},     {"lines", linesAndSphere},
    {"lists", glyphLists},     {"bitmap", bitmapText},    {"attrib", attribStack},     {"select", selection},
    {"mixed", mixedLists},     {"squares", litSquares},   {"wide", wideLines},
    {"points", widePoints},
};

std::vector<unsigned char> frame(width * height * 3);

}  // namespace

extern "C" {

int glScenesCount() { return static_cast<int>(sizeof scenes / sizeof scenes[0]); }

const char* glSceneName(int i) { return scenes[i].name; }

// Draws scene i and reads it back: RGB, rows packed, bottom row first.
unsigned char* glSceneDraw(int i) {
    notes.clear();
    scenes[i].draw();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    return frame.data();
}

const char* glSceneNotes() { return notes.c_str(); }

}  // extern "C"

#ifdef __EMSCRIPTEN__
#include <emscripten/html5.h>

#include "webgl/webgl.h"

extern "C" int glScenesStart() {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;
    attributes.depth = true;
    attributes.antialias = false;
    attributes.majorVersion = 1;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) return 0;
    return webglStart() ? 1 : 0;
}
#else
#include <filesystem>
#include <fstream>

#include "platform/display/display.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gl_scenes OUT_DIR\n");
        return 2;
    }
    if (!platform::openOffscreenContext(width, height)) {
        std::fprintf(stderr, "gl_scenes: no offscreen GL context\n");
        return 1;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    for (int i = 0; i < glScenesCount(); ++i) {
        const unsigned char* rgb = glSceneDraw(i);
        std::ofstream ppm(dir / (std::string(glSceneName(i)) + ".ppm"), std::ios::binary);
        ppm << "P6\n" << width << ' ' << height << "\n255\n";
        for (int y = height - 1; y >= 0; --y) ppm.write(reinterpret_cast<const char*>(rgb + y * width * 3), width * 3);
        std::ofstream(dir / (std::string(glSceneName(i)) + ".txt")) << glSceneNotes();
        if (!ppm) {
            std::fprintf(stderr, "gl_scenes: cannot write %s\n", (dir / glSceneName(i)).c_str());
            return 1;
        }
    }
    platform::closeOffscreenContext();
    return 0;
}
#endif
