#include "tools/makedata/numbers.h"

#include <cmath>

float valueNoise(float x, float y, uint32_t seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    float a = hashUnit(ix, iy, seed), b = hashUnit(ix + 1, iy, seed);
    float c = hashUnit(ix, iy + 1, seed), d = hashUnit(ix + 1, iy + 1, seed);
    return lerp(lerp(a, b, tx), lerp(c, d, tx), ty);
}

float fbm(float x, float y, uint32_t seed, int octaves) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    for (int i = 0; i < octaves; i++) {
        sum += amplitude * valueNoise(x, y, seed + static_cast<uint32_t>(i) * 101u);
        total += amplitude;
        x *= 2.0f;
        y *= 2.0f;
        amplitude *= 0.5f;
    }
    return sum / total;
}

float sineTurns(float turns) {
    float p = turns - std::floor(turns);
    float x = (p < 0.5f ? p : p - 1.0f) * 6.28318531f;
    if (x > 1.57079633f) x = 3.14159265f - x;
    else if (x < -1.57079633f) x = -3.14159265f - x;
    float x2 = x * x;
    return x * (1.0f + x2 * (-1.0f / 6.0f + x2 * (1.0f / 120.0f +
                x2 * (-1.0f / 5040.0f + x2 * (1.0f / 362880.0f)))));
}
