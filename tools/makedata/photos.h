// Photos: a float canvas to paint on, the helpers the painters share, the
// developer that turns a canvas into 8-bit pixels, and the three pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/makedata/numbers.h"

constexpr int photoSize = 256;  // pixels a side

struct Rgb {
    float r = 0.0f, g = 0.0f, b = 0.0f;
};
inline Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb mix(Rgb a, Rgb b, float t) { return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)}; }

// A picture being painted: top row first, linear-ish colour 0..1 a channel.
struct Canvas {
    std::vector<Rgb> pixels = std::vector<Rgb>(photoSize * photoSize);
    Rgb& at(int x, int y) { return pixels[static_cast<size_t>(y) * photoSize + x]; }
    const Rgb& at(int x, int y) const { return pixels[static_cast<size_t>(y) * photoSize + x]; }
};

// The finished picture: 8 bits a channel, top row first, red green blue.
struct Photo {
    std::vector<uint8_t> rgb;
    uint8_t channel(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * photoSize + x) * 3 + c]; }
};

// Pixel centre in picture units: u across, v down, both 0..1.
inline float pixelU(int x) { return (static_cast<float>(x) + 0.5f) * (1.0f / photoSize); }
inline float pixelV(int y) { return (static_cast<float>(y) + 0.5f) * (1.0f / photoSize); }

struct ColourStop {
    float at;
    Rgb colour;
};

// Piecewise linear colour ramp over stops sorted by position.
template <size_t N>
Rgb ramp(const ColourStop (&stops)[N], float t) {
    if (t <= stops[0].at) return stops[0].colour;
    for (size_t i = 1; i < N; i++) {
        if (t <= stops[i].at)
            return mix(stops[i - 1].colour, stops[i].colour,
                       (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
    }
    return stops[N - 1].colour;
}

// Darkens the corners like a lens (vignette 0..1 at the corners' distance)
// and adds a fine grain of the given strength, then rounds to bytes.
Photo develop(const Canvas& canvas, float vignette, float grain, uint32_t seed);

// The three pictures, each in a file of its own.
Canvas paintCoast();   // photo_coast.cpp
Canvas paintForest();  // photo_forest.cpp
Canvas paintCity();    // photo_city.cpp
