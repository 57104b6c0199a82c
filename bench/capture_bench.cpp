// Encode speed of the video capture: N seconds of synthetic 640 x 480
// frames at 60 frames a second (a scrolling gradient with moving flat
// blocks, like the show's graphics) and a stereo tone, handed over as fast
// as the capture takes them. Prints frames a second, the real-time factor
// (show seconds per wall second), the time the caller waited for a free
// slot and the processor time used. Goal: at least 5x real time for mp4.
//
// usage: capture_bench [seconds] [path]   (default 10 s to a temporary .mp4;
//                                          a .mkv or a directory/ works too)
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/output.h"

namespace {

constexpr int width = 640;
constexpr int height = 480;
constexpr double framesPerSecond = 60.0;

using Clock = std::chrono::steady_clock;

// Frame n, bottom row first as GL reads it.
void paintFrame(std::vector<uint8_t>& rgb, int n) {
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>((x + n) / 3);
            row[3 * x + 1] = static_cast<uint8_t>(y / 2);
            row[3 * x + 2] = static_cast<uint8_t>(96);
        }
    }
    for (int b = 0; b < 8; ++b) {
        const int left = (b * 83 + n * (b + 1)) % (width - 64);
        const int top = (b * 57 + n * 2) % (height - 48);
        for (int y = top; y < top + 48; ++y)
            for (int x = left; x < left + 64; ++x) {
                uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
                p[0] = static_cast<uint8_t>(40 * b);
                p[1] = static_cast<uint8_t>(255 - 30 * b);
                p[2] = static_cast<uint8_t>(b & 1 ? 255 : 0);
            }
    }
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    const std::string path =
        argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "capture_bench.mp4").string();

    platform::encode::CaptureSettings settings;
    settings.path = path;
    settings.frameWidth = width;
    settings.frameHeight = height;
    settings.framesPerSecond = framesPerSecond;
    settings.force = true;
    std::string error;
    if (!capture::captureFormatFor(path, settings.format, error) || !capture::openCapture(settings, error)) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return 1;
    }

    // The frames are painted before the clock starts: only the capture is timed.
    const int frames = static_cast<int>(seconds * framesPerSecond);
    std::vector<std::vector<uint8_t>> pictures(120, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3));
    for (size_t i = 0; i < pictures.size(); ++i) paintFrame(pictures[i], static_cast<int>(i));
    std::vector<int16_t> tone;

    const double cpuStart = processorSeconds();
    const Clock::time_point start = Clock::now();
    double waited = 0;
    int64_t soundFrames = 0;
    bool ok = true;
    for (int n = 0; n < frames && ok; ++n) {
        const Clock::time_point before = Clock::now();
        ok = capture::captureFrame(n + 1, pictures[n % pictures.size()].data(), capture::CapturePixels::Rgb, error);
        waited += std::chrono::duration<double>(Clock::now() - before).count();
        const int64_t soundEnd = std::llround((n + 1) * platform::showMixRate / framesPerSecond);
        tone.resize(static_cast<size_t>(soundEnd - soundFrames) * 2);
        for (int64_t i = soundFrames; i < soundEnd; ++i) {
            const int16_t v = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / platform::showMixRate));
            tone[2 * (i - soundFrames)] = v;
            tone[2 * (i - soundFrames) + 1] = v;
        }
        ok = ok && capture::captureAudio(tone.data(), static_cast<int>(soundEnd - soundFrames), error);
        soundFrames = soundEnd;
    }
    ok = capture::closeCapture(error) && ok;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = processorSeconds() - cpuStart;
    if (!ok) {
        std::fprintf(stderr, "capture_bench: %s\n", error.c_str());
        return 1;
    }

    std::error_code ignored;
    const auto bytes = std::filesystem::is_regular_file(path) ? std::filesystem::file_size(path, ignored) : 0;
    std::printf("%s: %d frames of %dx%d at %.0f fps (%.1f s of show)\n", path.c_str(), frames, width, height,
                framesPerSecond, frames / framesPerSecond);
    std::printf("wall %.2f s   frames/s %.1f   real-time factor %.2fx   caller waited %.2f s\n", wall, frames / wall,
                frames / framesPerSecond / wall, waited);
    // Shared machines give a process what is left: the factor per busy core
    // does not depend on that.
    std::printf("cpu %.2f s on %.2f cores   real-time factor per busy core %.2fx\n", cpu, cpu / wall,
                frames / framesPerSecond / cpu);
    if (bytes > 0) std::printf("file %.2f MB (%.0f kb/s)\n", bytes / 1e6, bytes * 8 / 1e3 / (frames / framesPerSecond));
    std::printf("goal (mp4 at least 5x real time): %s\n", frames / framesPerSecond / wall >= 5 ? "met" : "not met");
    return 0;
}
