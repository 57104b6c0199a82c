// Drawing data that start-up makes once and the scenes use: the scroller's
// column masks, the wire sphere's display list and the red light's vectors.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdint>

extern int32_t bitMasks[8];        // {128, 64, ..., 1}: entry k selects column k of a glyph row
extern GLUquadric* quadric;        // wire-frame, smooth normals
extern GLuint sphereList;          // a wire sphere of radius 0.25
extern GLuint sphereCornersList;   // its corners as points, for wide lines (sized pictures); 0 unsized
extern float lightAmbient[4];      // {0, 0, 0, 1}
extern float lightDiffuse[4];      // {1, 0, 0, 1}: a red light
extern float lightPosition[4];     // {lightX, 0, -4, 1}, filled before the show starts

// Puts the drawing data back to its values at program start (tests).
void resetDrawingState();
