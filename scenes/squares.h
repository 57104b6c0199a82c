// The two squares the scenes draw, shared with the GL tests that draw them
// on both GLs. Each is 2 x 2 units in the z = 0 plane, centred on the
// origin, between its own glBegin and glEnd.
#pragma once

#include <GL/gl.h>

// The lit square (the slideshow's turning square, the sphere's floor): no
// normal or colour of its own, so lit with whatever normal is current.
inline void drawLitSquare() {
    glBegin(GL_QUADS);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glEnd();
}

// The photo: the texture upright, its first row at the bottom.
inline void drawPhotoSquare() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glEnd();
}
