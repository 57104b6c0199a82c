// Drawing data that start-up makes once and the scenes use: the scroller's
// column masks, the wire sphere's display list and the red light's vectors.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>
#include <cstdint>

// The size the show draws at, pixels: its window, its offscreen frame and
// every frame a capture or showframe reads back.
constexpr int showWidth = 640;
constexpr int showHeight = 480;

// The output the show draws into (its window, offscreen frame or capture)
// and the picture in it. Unsized, the default, the output is the show's own
// 640 x 480 and the picture all of it, one pixel a show pixel. Sized (--size
// or --desktop), the picture is the largest 4:3 rectangle the output holds,
// centred, black bars beside or above and below it, and everything measured
// in pixels (line widths, point sizes, bitmap glyphs and the raster
// position's moves) is `scale` times its size at 640 x 480.
struct Picture {
    bool sized = false;
    int outputWidth = showWidth;   // pixels
    int outputHeight = showHeight;
    int x = 0, y = 0;              // the picture's lower left corner, GL pixels
    int width = showWidth;
    int height = showHeight;
    float scale = 1.0f;            // picture height / showHeight
};
extern Picture picture;

// Sizes the output: the picture is placed in it and its scale set. Called
// before the display opens.
void sizeOutput(int width, int height);
// Places the picture in an output resized to width x height (a window
// resized by its user, a page gone full screen); at another scale the line
// width and the bitmap fonts made so far follow it. Unsized: nothing.
void placePicture(int width, int height);
// Whether line corners are filled: lines are drawn wider than a pixel at a
// picture's scale above 1, and
// where two wide lines meet at an angle, the wedge outside the corner that
// neither covers is filled by a point as wide as the lines (round where
// drawn with samples), which the ring's outlines and the sphere draw at
// their corners.
inline bool lineCornersFilled() { return picture.scale > 1.0f; }
// Whether the output has bars around the picture.
inline bool pictureHasBars() {
    return picture.sized && (picture.width != picture.outputWidth || picture.height != picture.outputHeight);
}

extern int32_t bitMasks[8];        // {128, 64, ..., 1}: entry k selects column k of a glyph row
extern GLUquadric* quadric;        // wire-frame, smooth normals
extern GLuint sphereList;          // a wire sphere of radius 0.25
extern GLuint sphereCornersList;   // its corners as points, for wide lines (sized pictures); 0 unsized
extern float lightAmbient[4];      // {0, 0, 0, 1}
extern float lightDiffuse[4];      // {1, 0, 0, 1}: a red light
extern float lightPosition[4];     // {lightX, 0, -4, 1}, filled before the show starts

// True while the frames a jump runs through are drawn, which nobody sees: a
// scene may leave out what it draws there, where that changes no state a
// later frame reads (vertices alone between glBegin and glEnd), and
// printCentered moves the matrix or the raster position as the glyphs'
// lists would, without calling them, while the lists still to make wait.
extern bool framesUnseen;

// Puts the drawing data back to its values at program start (tests).
void resetDrawingState();
