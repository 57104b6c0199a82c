// Numbers and noise: the one random generator, lattice hashes, value noise
// and its fractal sum, and a sine that gives the same bits everywhere.
#pragma once

#include <cstdint>

// xorshift32: the one source of randomness, seeded per picture and sample.
struct Random {
    uint32_t state;
    explicit Random(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    // uniform in [0, 1), 24 bits
    float unit() { return static_cast<float>(next() >> 8) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * unit(); }
    // uniform in [-1, 1)
    float signedUnit() { return unit() * 2.0f - 1.0f; }
};

inline uint32_t hash2(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^
                 static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// The hash of a lattice point as a number in [0, 1), 24 bits.
inline float hashUnit(int32_t x, int32_t y, uint32_t seed) {
    return static_cast<float>(hash2(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

inline float clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float edge0, float edge1, float x) {
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

// Value noise on a unit lattice, smoothly interpolated; result in [0, 1).
float valueNoise(float x, float y, uint32_t seed);

// Fractal sum of octaves of value noise, each twice as fine and half as
// strong; result in [0, 1).
float fbm(float x, float y, uint32_t seed, int octaves);

// Sine of an angle given in turns, from a Taylor polynomial on a quarter
// turn: error below 1e-6 and the same bits on every machine.
float sineTurns(float turns);
