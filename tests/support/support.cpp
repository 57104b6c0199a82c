#include "tests/support/support.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "app/player.h"
#include "app/shell.h"
#include "platform/audio/sound.h"
#include "platform/display/display.h"
#include "platform/system/clock.h"
#include "platform/system/testing.h"
#include "resources/photos.h"
#include "resources/text.h"
#include "scenes/scenes.h"
#include "show/clock.h"
#include "show/drawing.h"
#include "show/music.h"
#include "show/sequencer.h"
#include "show/startup.h"
#include "show/trace.h"
#include "tools/makedata/bmp_writer.h"

namespace testing_support {

OffscreenGL::OffscreenGL(int width, int height) : width_(width), height_(height) {
    if (!platform::openOffscreenContext(width, height)) {
        ADD_FAILURE() << "could not make an offscreen GL context";
        return;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / height, static_cast<double>(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

OffscreenGL::~OffscreenGL() {
    platform::closeOffscreenContext();
}

Rgb probe(int x, int y) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    uint8_t px[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(x, viewport[3] - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    return {px[0], px[1], px[2]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::string describe(const Rgb& c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

std::vector<uint8_t> readFrame(int width, int height) {
    std::vector<uint8_t> bottomUp(static_cast<size_t>(width) * height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> topDown(bottomUp.size());
    const size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y)
        std::copy_n(bottomUp.data() + (height - 1 - y) * row, row, topDown.data() + y * row);
    return topDown;
}

Box litBox(int threshold) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[2], height = viewport[3];
    std::vector<uint8_t> frame = readFrame(width, height);
    Box box{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = frame.data() + (static_cast<size_t>(y) * width + x) * 3;
            if (p[0] > threshold || p[1] > threshold || p[2] > threshold) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
        }
    if (box.right < 0) return Box{};
    return box;
}

void setUpStartupGlState() {
    // What an earlier test may have left on.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glNormal3f(0.0f, 0.0f, 1.0f);  // GL's default; an outline glyph drawn earlier leaves its own
    setFixedGlState();
    setUpRedLight();
}

void resetShow() {
    platform::forceFailure("");
    platform::setClockForTesting(nullptr);
    useFixedClock(0.0);
    resetShowState();
}

std::vector<std::string> shownBoxes() {
    std::vector<std::string> shown;
    for (const std::string& entry : platform::journal())
        if (entry.rfind("messageBox ", 0) == 0) shown.push_back(entry.substr(11));
    return shown;
}

void dumpFrame(const char* name) {
    const char* dir = std::getenv("EYESONLY_DUMP_DIR");
    if (dir == nullptr) return;
    std::vector<uint8_t> rgb = readFrame(640, 480);
    std::FILE* out = std::fopen((std::string(dir) + "/" + name + ".ppm").c_str(), "wb");
    if (out == nullptr) return;
    std::fprintf(out, "P6 640 480 255\n");
    std::fwrite(rgb.data(), 1, rgb.size(), out);
    std::fclose(out);
}

std::FILE* TraceCapture::start() {
    stop();
    file_ = std::tmpfile();
    setTraceStream(file_);
    traceEnabled = file_ != nullptr;
    return file_;
}

void TraceCapture::stop() {
    if (file_ == nullptr) return;
    traceEnabled = false;
    setTraceStream(nullptr);
    std::fclose(file_);
    file_ = nullptr;
}

std::vector<std::string> readTrace(std::FILE* file) {
    std::vector<std::string> lines;
    std::fflush(file);
    std::rewind(file);
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        lines.push_back(text);
    }
    return lines;
}

ScratchDir::ScratchDir() {
    static std::atomic<int> serial{0};
    path_ = std::filesystem::path(EYESONLY_BINARY_DIR) / "scratch" /
            (std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::filesystem::path file = path_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file.string();
}

WorkingDir::WorkingDir(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

WorkingDir::~WorkingDir() {
    std::filesystem::current_path(previous_);
}

std::vector<uint8_t> solidBmp(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {blue, green, red});
    return bmp::write({.width = width, .height = height, .pixels = pixels});
}

void makeShowData(const std::filesystem::path& dir, bool withSongs) {
    std::filesystem::create_directories(dir / "data");
    auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(dir / "data" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    write("skorv1.bitmap", solidBmp(8, 8, 255, 0, 0));
    write("skorv2.bitmap", solidBmp(8, 8, 0, 255, 0));
    write("skorv3.bitmap", solidBmp(8, 8, 0, 0, 255));
    if (withSongs) {
        for (const char* song : {"Tq_outro.xm", "VELTO63K.XM"})
            std::filesystem::copy_file(dataDir() / song, dir / "data" / song,
                                       std::filesystem::copy_options::overwrite_existing);
    }
}

std::filesystem::path dataDir() {
    return std::filesystem::path(EYESONLY_BINARY_DIR) / "data";
}

std::vector<FedBackLine> linesFedBack(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(1 << 16);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "the feedback buffer overflowed";
    std::vector<FedBackLine> lines;
    for (GLint k = 0; k < used;) {
        const GLint token = static_cast<GLint>(buffer[k]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            lines.push_back({{buffer[k + 1], buffer[k + 2], buffer[k + 3]}, {buffer[k + 4], buffer[k + 5], buffer[k + 6]}});
            k += 1 + 2 * 3;
        } else if (token == GL_POINT_TOKEN) {
            k += 1 + 3;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            k += 2;
        } else {
            ADD_FAILURE() << "expected lines, points or pass-through tokens in the feedback, got token " << token;
            break;
        }
    }
    return lines;
}

}  // namespace testing_support
