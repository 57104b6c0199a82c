// The show's view, shared with the GL tests that draw on both GLs.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

// A 45-degree perspective for a viewport of width x height, from 0.1 to 100
// units, then the identity model-view matrix.
inline void setShowPerspective(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The near plane is the single-precision 0.1 widened to double.
    gluPerspective(45.0, static_cast<double>(static_cast<float>(width) / static_cast<float>(height)),
                   static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
