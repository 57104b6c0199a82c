// The picture: the output the show draws into (its window, offscreen frame
// or capture), the 4:3 picture placed in it, its scale and what follows the
// scale (the line width, the bitmap fonts, the samples a pixel), the view
// set for it and the bars around it. The one owner of the drawing size: the
// command line, the desktop and the page hand their sizes here, the display
// reads the output's size back, and the viewport is set here.
#pragma once

// The size the show draws at, pixels: its window, its offscreen frame and
// every frame a capture or showframe reads back.
constexpr int showWidth = 640;
constexpr int showHeight = 480;

// Multisampling of a picture larger than the show's own, samples a pixel.
constexpr int largerPictureSamples = 4;

// Unsized, the default, the output is the show's own 640 x 480 and the
// picture all of it, one pixel a show pixel. Sized (--size, --desktop or
// the page), the picture is the largest 4:3 rectangle the output holds,
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

// Sizes the output before the display opens: the picture is placed in it
// and its scale set. With `smoothLarger`, the windows and frames made next
// ask for largerPictureSamples where the picture is larger than the show's
// own, and for none otherwise.
void sizeOutput(int width, int height, bool smoothLarger = true);
// Places the picture in an output resized to width x height (a window
// resized by its user, a page gone full screen); at another scale the line
// width and the bitmap fonts made so far follow it. Unsized: nothing.
void placePicture(int width, int height);
// The width of the show's lines: one pixel at 640 x 480, `scale` pixels in
// a larger picture; the points that fill their corners as wide.
void setPictureLineWidth();
// Whether line corners are filled: at a picture's scale above 1 lines are
// wider than a pixel, and where two meet at an angle the wedge outside the
// corner that neither covers is filled by a point as wide as the lines
// (round where drawn with samples), which the ring's outlines and the
// sphere draw at their corners.
inline bool lineCornersFilled() { return picture.scale > 1.0f; }
// Viewport and a 45-degree perspective for an output of that size; on a
// sized output, for the picture placed in it.
void resizeView(int width, int height);
// Whether the output has bars around the picture.
bool pictureHasBars();
// Paints the bars of a sized output black, after a frame is drawn: the
// show's clears would give them its clear colour. Without bars: nothing.
void blackenBars();
