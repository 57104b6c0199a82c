// Decode time of the bitmap reader against two peer decoders on the same
// files: stb_image and SDL's SDL_LoadBMP followed by conversion to 24-bit RGB.
// Files of 256 x 256 and 2048 x 2048 pixels at 8 and 24 bits are written to a
// temporary directory; the decoders take turns in blocks of calls, and each
// figure is the median of all its calls. Goal: the reader no slower than the fastest peer on every file.
//
// usage: dib_bench [calls]   (calls per block: default 21 for the small
//                             files, a quarter of that for the large ones)
#include <SDL2/SDL.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "resources/dib.h"
#include "tools/makedata/bmp_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A "BM" file of a noisy gradient, 8 bits (256-entry table) or 24 bits.
Bytes makeBitmap(int size, int bits) {
    bmp::Bitmap bitmap{.width = size, .height = size, .bitsPerPixel = bits};
    if (bits == 8)
        for (uint32_t i = 0; i < 256; ++i) bitmap.palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
    const uint32_t rowBytes = uint32_t(size) * uint32_t(bits) / 8;
    uint32_t noise = 12345;
    for (int y = 0; y < size; ++y)
        for (uint32_t x = 0; x < rowBytes; ++x) {
            noise = noise * 1103515245u + 12345u;
            bitmap.pixels.push_back(uint8_t(x + y + (noise >> 28)));
        }
    return bmp::write(bitmap);
}

using Clock = std::chrono::steady_clock;

double medianOf(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One decode to packed 24-bit RGB; returns a checksum so it cannot be skipped
// and so the three can be compared.
uint64_t sumOf(const uint8_t* p, size_t n) {
    uint64_t sum = 0;
    for (size_t i = 0; i < n; ++i) sum += p[i] * (i % 7 + 1);
    return sum;
}

uint64_t decodeOurs(const std::string& path) {
    std::unique_ptr<Image> image = readDibFile(path.c_str());
    if (!image) return 0;
    // Bottom row first: compare sums row by row from the top.
    const size_t row = size_t(image->width) * 3;
    uint64_t sum = 0;
    for (int32_t y = image->height - 1; y >= 0; --y) sum = sum * 31 + sumOf(image->pixels.get() + y * row, row);
    return sum;
}

uint64_t decodeStb(const std::string& path) {
    int w = 0, h = 0, n = 0;
    uint8_t* pixels = stbi_load(path.c_str(), &w, &h, &n, 3);
    if (pixels == nullptr) return 0;
    const size_t row = size_t(w) * 3;
    uint64_t sum = 0;
    for (int y = 0; y < h; ++y) sum = sum * 31 + sumOf(pixels + y * row, row);
    stbi_image_free(pixels);
    return sum;
}

uint64_t decodeSdl(const std::string& path) {
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (loaded == nullptr) return 0;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(loaded);
    if (rgb == nullptr) return 0;
    const size_t row = size_t(rgb->w) * 3;
    uint64_t sum = 0;
    for (int y = 0; y < rgb->h; ++y) sum = sum * 31 + sumOf(static_cast<uint8_t*>(rgb->pixels) + y * rgb->pitch, row);
    SDL_FreeSurface(rgb);
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "dib_bench";
    std::filesystem::create_directories(dir);

    struct File { int size, bits; std::string path; };
    std::vector<File> files;
    for (int size : {256, 2048})
        for (int bits : {8, 24}) {
            const std::string path = (dir / ("bench" + std::to_string(size) + "x" + std::to_string(bits) + ".bmp")).string();
            const Bytes bytes = makeBitmap(size, bits);
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            files.push_back({size, bits, path});
        }

    // Each decoder's timed part ends where its packed RGB buffer is ready.
    auto timeIt = [](auto&& decode) {
        const Clock::time_point start = Clock::now();
        decode();
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };

    std::printf("%-16s %12s %12s %12s %10s  %s\n", "file", "reader ms", "stb_image ms", "SDL ms", "vs best", "outputs");
    bool allMet = true;
    for (const File& f : files) {
        const int n = f.size > 1000 ? std::max(3, rounds / 4) : rounds;
        std::vector<double> ours, stb, sdl;
        // Blocks of calls per decoder, the decoders taking turns block by
        // block: each is timed in its own steady state of the heap, as it
        // would be when decoding several pictures in a row.
        const int blocks = 5;
        for (int block = 0; block < blocks; ++block) {
            for (int i = 0; i < n; ++i)
                ours.push_back(timeIt([&] { std::unique_ptr<Image> image = readDibFile(f.path.c_str()); }));
            for (int i = 0; i < n; ++i)
                stb.push_back(timeIt([&] {
                    int w = 0, h = 0, c = 0;
                    stbi_image_free(stbi_load(f.path.c_str(), &w, &h, &c, 3));
                }));
            for (int i = 0; i < n; ++i)
                sdl.push_back(timeIt([&] {
                    SDL_Surface* loaded = SDL_LoadBMP(f.path.c_str());
                    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
                    SDL_FreeSurface(loaded);
                    SDL_FreeSurface(rgb);
                }));
        }
        const uint64_t a = decodeOurs(f.path), b = decodeStb(f.path), c = decodeSdl(f.path);
        const bool agree = a != 0 && a == b && b == c;
        const double mOurs = medianOf(ours), best = std::min(medianOf(stb), medianOf(sdl));
        allMet = allMet && mOurs <= best;
        const std::string label = std::to_string(f.size) + "x" + std::to_string(f.size) + " " + std::to_string(f.bits) + "-bit";
        std::printf("%-16s %12.3f %12.3f %12.3f %9.2fx  %s\n", label.c_str(), mOurs, medianOf(stb), medianOf(sdl),
                    mOurs / best, agree ? "agree" : "DIFFER");
    }
    std::printf("goal (reader no slower than the fastest peer on every file): %s\n", allMet ? "met" : "not met");
    std::filesystem::remove_all(dir);
    return 0;
}
