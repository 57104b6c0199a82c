// Helpers shared by the tests: a real GL context with no display (Mesa
// llvmpipe through SDL's offscreen driver and EGL), pixel probes with named
// tolerances, and scratch files on disk.
#pragma once

#include <GL/gl.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

// llvmpipe differs by about one level of 255 across processors.
constexpr int probeTolerance = 3;
// For colours the scenes blend or light: the buffer may hold as few as 5
// bits a channel.
constexpr int colourTolerance = 9;

// An offscreen 640 x 480 double-buffered RGBA context with a 16-bit depth
// buffer, current for the life of the object, with the show's projection
// set (45-degree perspective, near 0.1, far 100) and the model-view matrix
// selected. One per test program is enough; creating it again is cheap.
class OffscreenGL {
public:
    explicit OffscreenGL(int width = 640, int height = 480);
    ~OffscreenGL();
    OffscreenGL(const OffscreenGL&) = delete;
    OffscreenGL& operator=(const OffscreenGL&) = delete;
    int width() const { return width_; }
    int height() const { return height_; }
private:
    int width_;
    int height_;
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The pixel at (x, y) counted from the top-left corner of the back buffer.
Rgb probe(int x, int y);
// Whether two colours agree within the tolerance on every channel.
bool near(const Rgb& a, const Rgb& b, int tolerance = probeTolerance);
std::string describe(const Rgb& c);

// Bounding box of all pixels brighter than threshold on any channel, in
// top-left pixel coordinates; empty (width 0) when there are none.
struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    bool empty() const { return right < left; }
};
Box litBox(int threshold = 16);

// The line segments that draw() sends down the pipeline, read back through
// GL feedback: the window x, y and depth of both ends. Points and
// pass-through tokens are passed over; any other token fails the test.
struct FedBackLine {
    float from[3];
    float to[3];
};
std::vector<FedBackLine> linesFedBack(const std::function<void()>& draw);

// The whole back buffer, top row first, RGB.
std::vector<uint8_t> readFrame(int width, int height);

// The fixed GL state start-up leaves for the first frame (smooth shading,
// black clear colour, depth test with GL_LEQUAL, additive blend function with
// blending off, the red light 0 at (3, 0, -4) and lighting on, an identity
// model-view matrix and GL's default normal), without reading any file.
void setUpStartupGlState();

// Puts every module's globals back to their values at program start and
// clears the platform's test seams (forced failures, clocks, the player).
void resetShow();

// The message boxes shown since the journal was last cleared, as
// "caption|text", in order.
std::vector<std::string> shownBoxes();

// With EYESONLY_DUMP_DIR set, writes the 640 x 480 back buffer there as
// name.ppm, for a person to look at; otherwise does nothing.
void dumpFrame(const char* name);

// The show's trace written to a temporary file, from start() until stop()
// or the end of the object.
class TraceCapture {
public:
    TraceCapture() = default;
    ~TraceCapture() { stop(); }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    std::FILE* start();  // turns tracing on; the file to read the lines from
    void stop();         // turns tracing off and closes the file
private:
    std::FILE* file_ = nullptr;
};

// Every line written to a trace file so far, without line breaks.
std::vector<std::string> readTrace(std::FILE* file);

// A fresh empty directory under the build's temporary area, removed with
// the object; the working directory is not changed.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }
    // Writes bytes to name inside the directory and returns the full path.
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;
private:
    std::filesystem::path path_;
};

// Changes the working directory for the life of the object.
class WorkingDir {
public:
    explicit WorkingDir(const std::filesystem::path& dir);
    ~WorkingDir();
private:
    std::filesystem::path previous_;
};

// A "BM" file with a 40-byte header, 24 bits per pixel, every pixel of the
// given colour: a photo any reader of this show accepts.
std::vector<uint8_t> solidBmp(int width, int height, uint8_t red, uint8_t green, uint8_t blue);

// Makes dir/data/ with the three photos as small solid pictures (red, green,
// blue) and, when withSongs, copies of the generated songs.
void makeShowData(const std::filesystem::path& dir, bool withSongs);

// The build directory's data folder, where the show's generated files are.
std::filesystem::path dataDir();

}  // namespace testing_support
