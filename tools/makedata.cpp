// makedata: writes the show's data files into a directory: three photos
// (a coast at dusk, a forest in fog, a city at night) and two tracker songs
// (a calm intro tune and a driving main tune), all made here from nothing.
//
//   makedata OUTDIR [--ppm]
//
// Every run on every machine writes the same bytes: all randomness comes
// from one integer generator, all arithmetic is +, -, *, / and sqrt on
// 32-bit floats (exactly rounded everywhere; the build turns off fused
// multiply-add), the sine is our own polynomial, and every file is written
// byte by byte in little-endian order. --ppm also writes each photo as a
// PPM picture for looking at.
//
// Sections:
//   1. Bytes and numbers: the byte writer, the generator, noise, sine
//   2. Photos: the canvas, painting helpers and the three pictures
//   3. Bitmap files: 24-bit with the info header, 8-bit with a palette of
//      its own, 24-bit packed with the core header
//   4. The XM writer: header, patterns, instruments, delta-coded samples
//   5. Instruments: synthesized waves, drums and their envelopes
//   6. Composing: notes, chords, melodies, drums, bass, arpeggios
//   7. The intro song
//   8. The main song
//   9. main
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// 1. Bytes and numbers
// ---------------------------------------------------------------------------

struct Bytes {
    std::vector<uint8_t> data;

    void u8(unsigned v) { data.push_back(static_cast<uint8_t>(v & 0xFF)); }
    void u16(unsigned v) { u8(v); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    // text in a field of exactly width bytes, filled with NULs
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; i++) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void zeros(size_t count) { data.insert(data.end(), count, 0); }
    void append(const std::vector<uint8_t>& more) { data.insert(data.end(), more.begin(), more.end()); }
    size_t size() const { return data.size(); }
};

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

uint32_t hash2(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u ^ static_cast<uint32_t>(x) * 0x85EBCA6Bu ^
                 static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float hashUnit(int32_t x, int32_t y, uint32_t seed) {
    return static_cast<float>(hash2(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

float clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }
float lerp(float a, float b, float t) { return a + (b - a) * t; }
float smoothstep(float edge0, float edge1, float x) {
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

// Value noise on a unit lattice, smoothly interpolated; result in [0, 1).
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

// Fractal sum of octaves of value noise, each twice as fine and half as
// strong; result in [0, 1).
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

// Sine of an angle given in turns, from a Taylor polynomial on a quarter
// turn: error below 1e-6 and the same bits on every machine.
float sineTurns(float turns) {
    float p = turns - std::floor(turns);
    float x = (p < 0.5f ? p : p - 1.0f) * 6.28318531f;
    if (x > 1.57079633f) x = 3.14159265f - x;
    else if (x < -1.57079633f) x = -3.14159265f - x;
    float x2 = x * x;
    return x * (1.0f + x2 * (-1.0f / 6.0f + x2 * (1.0f / 120.0f +
                x2 * (-1.0f / 5040.0f + x2 * (1.0f / 362880.0f)))));
}

// ---------------------------------------------------------------------------
// 2. Photos
// ---------------------------------------------------------------------------

constexpr int photoSize = 256;  // pixels a side

struct Rgb {
    float r = 0.0f, g = 0.0f, b = 0.0f;
};
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }
Rgb mix(Rgb a, Rgb b, float t) { return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t)}; }

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
float pixelU(int x) { return (static_cast<float>(x) + 0.5f) * (1.0f / photoSize); }
float pixelV(int y) { return (static_cast<float>(y) + 0.5f) * (1.0f / photoSize); }

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

// Darkens the corners like a lens and adds a fine grain, then rounds to bytes.
Photo develop(const Canvas& canvas, float vignette, float grain, uint32_t seed) {
    Photo photo;
    photo.rgb.resize(static_cast<size_t>(photoSize) * photoSize * 3);
    for (int y = 0; y < photoSize; y++) {
        for (int x = 0; x < photoSize; x++) {
            float du = pixelU(x) - 0.5f, dv = pixelV(y) - 0.5f;
            float shade = 1.0f - vignette * (du * du + dv * dv) * 2.0f;
            float noise = (hashUnit(x, y, seed) - 0.5f) * grain;
            const Rgb& c = canvas.at(x, y);
            float channels[3] = {c.r, c.g, c.b};
            for (int i = 0; i < 3; i++) {
                float v = clamp01(channels[i] * shade + noise);
                photo.rgb[(static_cast<size_t>(y) * photoSize + x) * 3 + i] =
                    static_cast<uint8_t>(std::floor(v * 255.0f + 0.5f));
            }
        }
    }
    return photo;
}

// Distance from point (px, py) to the segment (ax, ay)-(bx, by).
float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    float dx = bx - ax, dy = by - ay;
    float t = clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
    float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

// Coast at dusk: a sun half down behind a calm sea, a glitter path, a
// headland with a lighthouse, streaked clouds lit from below, rocks in front.
Canvas paintCoast() {
    constexpr uint32_t seed = 0xC0A57u;
    constexpr float horizon = 0.58f;
    constexpr float sunX = 0.66f, sunY = horizon - 0.012f, sunRadius = 0.052f;
    static const ColourStop sky[] = {
        {0.00f, {0.06f, 0.05f, 0.19f}},
        {0.38f, {0.28f, 0.14f, 0.36f}},
        {0.68f, {0.80f, 0.34f, 0.32f}},
        {0.88f, {1.00f, 0.56f, 0.28f}},
        {1.00f, {1.00f, 0.76f, 0.42f}},
    };
    const Rgb sunCore{1.0f, 0.95f, 0.74f};
    const Rgb gold{1.0f, 0.62f, 0.26f};
    const Rgb land{0.045f, 0.03f, 0.06f};

    Canvas canvas;
    for (int y = 0; y < photoSize; y++) {
        float v = pixelV(y);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            Rgb c;
            float dx = u - sunX, dy = (v - sunY) * 1.2f;
            float d2 = dx * dx + dy * dy;
            if (v < horizon) {
                c = ramp(sky, v / horizon);
                c = c + gold * (0.75f / (1.0f + d2 * 500.0f)) + gold * (0.22f / (1.0f + d2 * 30.0f));
                if (d2 < sunRadius * sunRadius) {
                    float edge = smoothstep(sunRadius, sunRadius * 0.85f, std::sqrt(d2));
                    c = mix(c, sunCore, edge);
                }
                // long clouds in bands, their undersides lit near the sun
                float n = fbm(u * 2.5f, v * 15.0f, seed + 1, 5);
                float band = smoothstep(0.05f, 0.18f, v) * (1.0f - smoothstep(0.40f, 0.52f, v));
                float cover = smoothstep(0.48f, 0.70f, n) * band;
                float near = clamp01(1.0f - (u - sunX) * (u - sunX) * 5.0f);
                float lit = clamp01(near * (0.35f + v / horizon));
                Rgb cloud = mix(Rgb{0.20f, 0.09f, 0.20f}, Rgb{1.0f, 0.52f, 0.40f}, lit * lit);
                c = mix(c, cloud, cover * 0.92f);
            } else {
                float s = (v - horizon) / (1.0f - horizon);  // 0 at the horizon, 1 at the bottom
                Rgb reflected = ramp(sky, 1.0f - s * 0.75f) * (0.55f - 0.3f * s);
                c = mix(reflected, Rgb{0.02f, 0.04f, 0.10f}, s * 0.6f);
                // ripples in perspective: near waves are large, far ones fine
                float depth = 1.0f / (s + 0.035f);
                float wx = (u - 0.5f) * depth * 2.0f, wz = depth * 6.0f;
                float ripple = 0.65f * valueNoise(wx * 1.5f, wz, seed + 7) +
                               0.35f * valueNoise(wx * 4.0f, wz * 2.5f, seed + 8);
                c = c * (0.75f + 0.5f * ripple);
                // the sun's path on the water
                float pathWidth = 0.025f + 0.22f * s;
                float path = clamp01(1.0f - std::fabs(u - sunX) / pathWidth);
                float glitter = path * path * smoothstep(0.42f, 0.78f, ripple);
                c = c + gold * (glitter * 1.3f) + gold * (0.5f / (1.0f + d2 * 900.0f));
            }
            canvas.at(x, y) = c;
        }
    }

    // the headland on the left, sloping into the sea, with a lighthouse
    constexpr float lighthouseU = 0.12f;
    auto ridge = [&](float u) {
        float height = (0.19f + 0.06f * (fbm(u * 7.0f, 0.5f, seed + 3, 4) - 0.5f)) *
                       (1.0f - smoothstep(0.16f, 0.46f, u));
        return horizon - height + 0.01f;
    };
    const float towerBase = ridge(lighthouseU);
    const float towerTop = towerBase - 0.085f;
    for (int y = 0; y < photoSize; y++) {
        float v = pixelV(y);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            Rgb& c = canvas.at(x, y);
            // below the horizon the foot of the headland runs back to the
            // left towards the viewer, ragged where the waves break on it
            float foot = 0.47f - clamp01((v - horizon) * 1.6f) * 0.36f -
                         0.03f * valueNoise(v * 40.0f, 0.5f, seed + 10);
            float top = ridge(u);
            if (v > top && top < horizon && u < foot) {
                float rim = smoothstep(0.012f, 0.0f, v - top) * clamp01(u * 2.0f);
                float texture = 0.7f + 0.6f * fbm(u * 30.0f, v * 30.0f, seed + 4, 3);
                c = land * texture + gold * (rim * 0.35f);
            } else if (v > horizon && u >= foot && u < foot + 0.02f) {
                float foam = smoothstep(0.02f, 0.0f, u - foot) *
                             smoothstep(0.4f, 0.8f, valueNoise(u * 50.0f, v * 80.0f, seed + 12));
                c = mix(c, Rgb{0.90f, 0.66f, 0.55f}, foam * 0.5f * clamp01((v - horizon) * 8.0f));
            } else if (v > horizon && u >= foot && top < horizon) {
                // the headland's dark reflection under it
                float mirrored = horizon + (horizon - top) * 0.7f;
                if (v < mirrored) c = c * (0.35f + 0.65f * (v - horizon) / (mirrored - horizon));
            }
            // tower, slightly narrower at the top, with a dark gallery
            float k = (towerBase - v) / (towerBase - towerTop);
            float halfWidth = 0.011f - 0.004f * k;
            if (k >= 0.0f && k <= 1.0f && std::fabs(u - lighthouseU) < halfWidth) {
                bool band = k > 0.45f && k < 0.58f;
                c = band ? land * 0.6f : Rgb{0.16f, 0.10f, 0.13f} + gold * (0.08f * (u - lighthouseU > 0 ? 1.0f : 0.0f));
            }
            float lx = u - lighthouseU, ly = (v - towerTop + 0.008f) * 1.5f;
            float l2 = lx * lx + ly * ly;
            c = c + Rgb{1.0f, 0.92f, 0.70f} * (0.9f / (1.0f + l2 * 9000.0f));
            // its beam, a thin cone to the right
            float beam = lx > 0.0f ? clamp01(1.0f - std::fabs(ly) / (0.006f + lx * 0.08f)) : 0.0f;
            c = c + Rgb{1.0f, 0.9f, 0.65f} * (beam * 0.18f * clamp01(1.0f - lx * 2.5f));
        }
    }

    // rocks along the bottom, with foam where the sea meets them
    for (int y = 0; y < photoSize; y++) {
        float v = pixelV(y);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            float edge = 0.90f - 0.09f * fbm(u * 5.0f, 1.5f, seed + 5, 4) -
                         0.05f * smoothstep(0.55f, 1.0f, u) - 0.08f * smoothstep(0.3f, 0.0f, u);
            Rgb& c = canvas.at(x, y);
            if (v > edge) {
                float texture = 0.6f + 0.8f * fbm(u * 40.0f, v * 40.0f, seed + 6, 3);
                float rim = smoothstep(0.015f, 0.0f, v - edge) * smoothstep(0.3f, 0.8f, u);
                c = land * texture + gold * (rim * 0.25f);
            } else if (edge - v < 0.018f && c.r + c.g + c.b > 0.3f) {
                float foam = smoothstep(0.018f, 0.0f, edge - v) * smoothstep(0.35f, 0.75f, valueNoise(u * 60.0f, v * 20.0f, seed + 9));
                c = mix(c, Rgb{0.95f, 0.75f, 0.65f}, foam * 0.6f);
            }
        }
    }

    // three gulls
    static const float gulls[][3] = {{0.36f, 0.24f, 0.022f}, {0.42f, 0.205f, 0.016f}, {0.46f, 0.265f, 0.013f}};
    for (const auto& gull : gulls) {
        float gx = gull[0], gy = gull[1], span = gull[2];
        for (int y = 0; y < photoSize; y++) {
            for (int x = 0; x < photoSize; x++) {
                float u = pixelU(x), v = pixelV(y);
                float d = std::min(segmentDistance(u, v, gx - span, gy - span * 0.45f, gx, gy),
                                   segmentDistance(u, v, gx, gy, gx + span, gy - span * 0.5f));
                float ink = smoothstep(0.0035f, 0.0012f, d);
                canvas.at(x, y) = mix(canvas.at(x, y), land, ink * 0.9f);
            }
        }
    }
    return canvas;
}

// City at night: towers with lit windows along a harbour, their lights
// drawn out into streaks on the water, a moon, stars, the sky glowing
// orange over the town.
Canvas paintCity() {
    constexpr uint32_t seed = 0xC17Fu;
    constexpr int waterline = 182;  // pixel row where the quay meets the water
    static const ColourStop sky[] = {
        {0.00f, {0.020f, 0.030f, 0.110f}},
        {0.45f, {0.080f, 0.085f, 0.250f}},
        {0.80f, {0.340f, 0.170f, 0.280f}},
        {1.00f, {0.780f, 0.400f, 0.240f}},
    };
    Canvas canvas;
    Random random(seed);

    // 1. sky, faint clouds, stars and moon
    constexpr float moonU = 0.2f, moonV = 0.14f, moonRadius = 0.034f;
    for (int y = 0; y < waterline; y++) {
        float v = pixelV(y);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            Rgb c = ramp(sky, static_cast<float>(y) / waterline);
            float cloud = smoothstep(0.5f, 0.8f, fbm(u * 3.0f, v * 9.0f, seed + 1, 5));
            c = mix(c, Rgb{0.28f, 0.16f, 0.20f} * (0.4f + v), cloud * 0.5f);
            uint32_t h = hash2(x, y, seed + 2);
            if ((h & 1023u) < 5u && v < 0.5f)
                c = c + Rgb{0.9f, 0.9f, 1.0f} * (static_cast<float>((h >> 10) & 255u) / 255.0f * (1.0f - cloud) * (0.6f - v));
            float dx = u - moonU, dy = v - moonV;
            float d = std::sqrt(dx * dx + dy * dy);
            c = c + Rgb{0.5f, 0.5f, 0.55f} * (0.25f / (1.0f + d * d * 700.0f));
            if (d < moonRadius) {
                float crater = fbm(u * 40.0f, v * 40.0f, seed + 3, 3);
                Rgb moon = Rgb{0.95f, 0.93f, 0.84f} * (0.82f + 0.25f * crater);
                c = mix(c, moon, smoothstep(moonRadius, moonRadius * 0.88f, d));
            }
            canvas.at(x, y) = c;
        }
    }

    // 2. two rows of buildings: a hazy far row and a dark near row
    static const Rgb windowColours[] = {
        {1.00f, 0.78f, 0.42f}, {1.00f, 0.86f, 0.58f}, {0.95f, 0.92f, 0.80f},
        {0.62f, 0.82f, 1.00f}, {0.75f, 0.45f, 0.18f},
    };
    struct Row {
        Rgb body;
        int minWidth, maxWidth, minHeight, maxHeight;
        float lit, windowGain;
        int base;
    };
    const Row rows[] = {
        {{0.120f, 0.100f, 0.210f}, 6, 16, 18, 62, 0.25f, 0.5f, waterline - 6},
        {{0.035f, 0.035f, 0.060f}, 12, 30, 30, 128, 0.55f, 1.0f, waterline},
    };
    int tallestX = 0, tallestTop = photoSize;
    for (const Row& row : rows) {
        int x0 = -static_cast<int>(random.next() % 10u);
        while (x0 < photoSize) {
            int width = row.minWidth + static_cast<int>(random.next() % static_cast<uint32_t>(row.maxWidth - row.minWidth + 1));
            int height = row.minHeight + static_cast<int>(random.next() % static_cast<uint32_t>(row.maxHeight - row.minHeight + 1));
            // the near row rises towards the middle right, where the tallest towers stand
            if (&row == &rows[1]) {
                float centre = pixelU(x0 + width / 2);
                height = static_cast<int>(static_cast<float>(height) * (0.55f + 0.7f * clamp01(1.0f - std::fabs(centre - 0.62f) * 2.2f)));
            }
            int top = row.base - height;
            int setback = random.unit() < 0.35f ? width / 4 : 0;   // a narrower crown on some
            int crown = top + height / 5;
            float lit = row.lit * random.range(0.5f, 1.4f);
            const Rgb& tint = windowColours[random.next() % 5u];
            bool office = random.unit() < 0.25f;                    // whole floors lit alike
            for (int y = std::max(top, 0); y < row.base; y++) {
                for (int x = std::max(x0, 0); x < std::min(x0 + width, photoSize); x++) {
                    if (y < crown && (x < x0 + setback || x >= x0 + width - setback)) continue;
                    float glow = static_cast<float>(y - top) / static_cast<float>(height + 1);
                    Rgb c = row.body * (0.8f + 0.5f * glow) + Rgb{0.10f, 0.05f, 0.03f} * (glow * glow * 0.4f);
                    int cx = (x - x0) % 4, cy = (y - top) % 5;
                    if (cx >= 1 && cx <= 2 && cy >= 1 && cy <= 3 && y < row.base - 3 && x > x0 && x < x0 + width - 1) {
                        int wx = (x - x0) / 4, wy = (y - top) / 5;
                        float roll = office ? hashUnit(0, wy, seed + static_cast<uint32_t>(x0) * 7u)
                                            : hashUnit(wx + x0 * 31, wy, seed + 5);
                        if (roll < lit) {
                            float level = 0.55f + 0.45f * hashUnit(wx + x0 * 17, wy, seed + 6);
                            c = tint * (level * row.windowGain);
                        }
                    }
                    canvas.at(x, y) = c;
                }
            }
            if (&row == &rows[1] && top < tallestTop && x0 > 20 && x0 + width < photoSize - 20) {
                tallestTop = top;
                tallestX = x0 + width / 2;
            }
            x0 += width + (random.unit() < 0.2f ? 2 : 0);
        }
    }
    // a mast on the tallest tower with a red light
    for (int y = tallestTop - 22; y < tallestTop; y++) canvas.at(tallestX, y) = Rgb{0.03f, 0.03f, 0.05f};
    for (int y = 0; y < waterline; y++) {
        for (int x = 0; x < photoSize; x++) {
            float dx = static_cast<float>(x - tallestX), dy = static_cast<float>(y - (tallestTop - 22));
            canvas.at(x, y) = canvas.at(x, y) + Rgb{1.0f, 0.12f, 0.08f} * (1.2f / (1.0f + (dx * dx + dy * dy) * 0.5f));
        }
    }

    // 3. street lamps along the quay
    for (int lamp = 3; lamp < photoSize; lamp += 9) {
        for (int y = waterline - 14; y < waterline; y++) {
            for (int x = std::max(lamp - 8, 0); x < std::min(lamp + 9, photoSize); x++) {
                float dx = static_cast<float>(x - lamp), dy = static_cast<float>(y - (waterline - 4));
                canvas.at(x, y) = canvas.at(x, y) + Rgb{1.0f, 0.62f, 0.25f} * (0.9f / (1.0f + (dx * dx + dy * dy) * 0.6f));
            }
        }
    }
    for (int x = 0; x < photoSize; x++) canvas.at(x, waterline - 1) = canvas.at(x, waterline - 1) * 0.3f;

    // 4. the water: the town mirrored, broken by ripples and drawn out
    //    downwards into streaks
    for (int y = waterline; y < photoSize; y++) {
        float v = pixelV(y);
        float below = static_cast<float>(y - waterline);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            float wobble = (valueNoise(u * 6.0f, v * 45.0f, seed + 8) - 0.5f) * (2.0f + below * 0.09f);
            int sx = std::clamp(x + static_cast<int>(std::floor(wobble + 0.5f)), 0, photoSize - 1);
            Rgb sum;
            for (int k = 0; k < 4; k++) {
                int sy = std::clamp(waterline - 1 - static_cast<int>(below * 0.8f) - k * 3, 0, waterline - 1);
                sum = sum + canvas.at(sx, sy);
            }
            float ripple = valueNoise(u * 30.0f, v * 120.0f, seed + 9);
            Rgb c = sum * (0.3f * (0.5f + 0.6f * ripple) * (1.0f - below / 160.0f));
            canvas.at(x, y) = c + Rgb{0.015f, 0.025f, 0.06f};
        }
    }
    return canvas;
}

// Forest in fog: ranks of firs on rising ground, each rank paler with
// distance, low mist in the hollows, shafts of light from the upper right.
struct Fir {
    float x, base, height, width, phase;
};

float firCoverage(const Fir& fir, float u, float v, uint32_t seed) {
    float h = fir.base - v;
    if (h < 0.0f || h > fir.height) return 0.0f;
    float k = h / fir.height;  // 0 at the foot, 1 at the tip
    if (k < 0.08f) return std::fabs(u - fir.x) < fir.width * 0.07f ? 1.0f : 0.0f;
    float kk = (k - 0.08f) / 0.92f;
    float tier = kk * 7.0f + fir.phase;
    float inTier = tier - std::floor(tier);
    float half = fir.width * (1.0f - kk) * (0.5f + 0.5f * (1.0f - inTier));
    half += (valueNoise(u * 260.0f, v * 90.0f, seed) - 0.5f) * fir.width * 0.25f * (1.0f - kk);
    return std::fabs(u - fir.x) < half ? 1.0f : 0.0f;
}

Canvas paintForest() {
    constexpr uint32_t seed = 0xF0665u;
    constexpr float lightU = 0.80f, lightV = -0.12f;
    auto fog = [&](float u, float v) {
        float dx = u - lightU, dy = v - lightV;
        float light = 1.0f / (1.0f + (dx * dx + dy * dy) * 4.0f);
        return mix(Rgb{0.50f, 0.57f, 0.56f}, Rgb{0.95f, 0.92f, 0.80f}, light);
    };
    Canvas canvas;
    std::vector<float> mistiness(static_cast<size_t>(photoSize) * photoSize, 1.0f);
    for (int y = 0; y < photoSize; y++)
        for (int x = 0; x < photoSize; x++) canvas.at(x, y) = fog(pixelU(x), pixelV(y));

    // far to near: ground line, how much fog lies in front, how many trees
    struct Rank {
        float ground, fogAmount, treeHeight;
        int trees;
    };
    static const Rank ranks[] = {
        {0.56f, 0.80f, 0.17f, 18},
        {0.63f, 0.63f, 0.24f, 13},
        {0.71f, 0.46f, 0.33f, 10},
        {0.82f, 0.28f, 0.48f, 7},
        {0.97f, 0.08f, 0.90f, 4},
    };
    const Rgb needles{0.035f, 0.085f, 0.055f};
    Random random(seed);
    for (size_t r = 0; r < std::size(ranks); r++) {
        const Rank& rank = ranks[r];
        std::vector<Fir> firs;
        for (int i = 0; i < rank.trees; i++) {
            Fir fir;
            // the nearest rank frames the picture at both sides
            fir.x = r == 4 ? (i == 0 ? 0.04f : i == 1 ? 0.95f : i == 2 ? 0.16f : 0.84f)
                           : (static_cast<float>(i) + random.range(0.1f, 0.9f)) / static_cast<float>(rank.trees);
            fir.height = rank.treeHeight * random.range(0.7f, 1.25f);
            fir.width = fir.height * random.range(0.22f, 0.3f);
            fir.base = rank.ground + random.range(0.0f, 0.03f);
            fir.phase = random.unit();
            firs.push_back(fir);
        }
        for (int y = 0; y < photoSize; y++) {
            float v = pixelV(y);
            for (int x = 0; x < photoSize; x++) {
                float u = pixelU(x);
                float ground = rank.ground + 0.02f - 0.035f * fbm(u * 3.0f, static_cast<float>(r), seed + 11, 3);
                bool solid = v > ground, tree = false;
                float side = 0.0f;
                for (const Fir& fir : firs) {
                    if (firCoverage(fir, u, v, seed + static_cast<uint32_t>(r)) > 0.0f) {
                        solid = tree = true;
                        side = u > fir.x ? 1.0f : 0.0f;  // the side facing the light
                    }
                }
                if (!solid) continue;
                float amount = rank.fogAmount;
                // mist lies thicker near the ground of each rank
                amount += (1.0f - amount) * 0.35f * smoothstep(ground - 0.12f, ground + 0.02f, v) *
                          fbm(u * 4.0f, v * 12.0f, seed + 13, 3);
                float texture = 0.8f + 0.4f * valueNoise(u * 120.0f, v * 160.0f, seed + 14);
                Rgb body = needles * texture + Rgb{0.05f, 0.05f, 0.02f} * (side * (1.0f - amount));
                if (!tree) {
                    // moss and needles on the ground, in patches of light
                    float patch = fbm(u * 14.0f, v * 40.0f, seed + 16, 4);
                    body = mix(Rgb{0.05f, 0.07f, 0.035f}, Rgb{0.20f, 0.22f, 0.11f}, smoothstep(0.4f, 0.75f, patch));
                }
                canvas.at(x, y) = mix(body, fog(u, v), amount);
                mistiness[static_cast<size_t>(y) * photoSize + x] = amount;
            }
        }
    }

    // shafts of light fanning out from the source, strongest in thick fog
    for (int y = 0; y < photoSize; y++) {
        float v = pixelV(y);
        for (int x = 0; x < photoSize; x++) {
            float u = pixelU(x);
            float slope = (u - lightU) / (v - lightV);
            float shaft = smoothstep(0.55f, 0.8f, fbm(slope * 7.0f, 0.3f, seed + 15, 3));
            float reach = clamp01(1.2f - (v - lightV) * 0.9f);
            float amount = mistiness[static_cast<size_t>(y) * photoSize + x];
            canvas.at(x, y) = canvas.at(x, y) + Rgb{0.30f, 0.28f, 0.20f} * (shaft * reach * amount);
        }
    }
    return canvas;
}

// ---------------------------------------------------------------------------
// 3. Bitmap files
// ---------------------------------------------------------------------------

constexpr uint32_t pixelsPerMetre = 2835;  // 72 dots an inch

// The 14-byte file header: "BM", file size, two reserved words, pixel offset.
void putFileHeader(Bytes& out, uint32_t fileSize, uint32_t pixelOffset) {
    out.u8('B');
    out.u8('M');
    out.u32(fileSize);
    out.u32(0);
    out.u32(pixelOffset);
}

void putInfoHeader(Bytes& out, int bitsPerPixel, uint32_t imageSize) {
    out.u32(40);
    out.u32(photoSize);      // width
    out.u32(photoSize);      // height, positive: bottom row first
    out.u16(1);              // planes
    out.u16(static_cast<unsigned>(bitsPerPixel));
    out.u32(0);              // no compression
    out.u32(imageSize);
    out.u32(pixelsPerMetre);
    out.u32(pixelsPerMetre);
    out.u32(0);              // colours used: 0, so the table has 2^bits entries
    out.u32(0);              // colours important: all
}

// 24-bit rows, bottom row first, blue green red; a 256-pixel row is 768
// bytes, already a multiple of 4.
void putPixels24(Bytes& out, const Photo& photo) {
    for (int y = photoSize - 1; y >= 0; y--)
        for (int x = 0; x < photoSize; x++)
            for (int c = 2; c >= 0; c--) out.u8(photo.channel(x, y, c));
}

std::vector<uint8_t> bitmap24(const Photo& photo) {
    constexpr uint32_t imageSize = photoSize * photoSize * 3;
    Bytes out;
    putFileHeader(out, 14 + 40 + imageSize, 14 + 40);
    putInfoHeader(out, 24, imageSize);
    putPixels24(out, photo);
    return out.data;
}

std::vector<uint8_t> packedCore24(const Photo& photo) {
    Bytes out;
    out.u32(12);
    out.u16(photoSize);
    out.u16(photoSize);
    out.u16(1);
    out.u16(24);
    putPixels24(out, photo);
    return out.data;
}

// A 256-colour palette for one picture by median cut: the box of colours
// with the widest spread is split at its median until there are 256 boxes,
// and each box gives its mean colour. Ties are broken by pixel index, so
// the result is fully determined.
struct Palette {
    uint8_t colours[256][3];
};

Palette medianCut(const Photo& photo) {
    const int count = photoSize * photoSize;
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) order[static_cast<size_t>(i)] = i;
    struct Box {
        int begin, end;
    };
    auto channelOf = [&](int pixel, int c) { return photo.rgb[static_cast<size_t>(pixel) * 3 + c]; };
    auto spread = [&](const Box& box, int& widest) {
        int best = -1;
        for (int c = 0; c < 3; c++) {
            int lo = 255, hi = 0;
            for (int i = box.begin; i < box.end; i++) {
                int value = channelOf(order[static_cast<size_t>(i)], c);
                lo = std::min(lo, value);
                hi = std::max(hi, value);
            }
            if (hi - lo > best) {
                best = hi - lo;
                widest = c;
            }
        }
        return best;
    };
    std::vector<Box> boxes{{0, count}};
    while (boxes.size() < 256) {
        size_t pick = 0;
        int pickChannel = 0;
        long bestScore = -1;
        for (size_t b = 0; b < boxes.size(); b++) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            int channel = 0;
            int s = spread(boxes[b], channel);
            // weigh by the square root of the pixel count: big flat areas and
            // small bright details both get colours
            long score = static_cast<long>(s) * static_cast<long>(std::sqrt(static_cast<float>(boxes[b].end - boxes[b].begin)));
            if (score > bestScore) {
                bestScore = score;
                pick = b;
                pickChannel = channel;
            }
        }
        if (bestScore <= 0) break;
        Box box = boxes[pick];
        std::sort(order.begin() + box.begin, order.begin() + box.end, [&](int a, int b) {
            int va = channelOf(a, pickChannel), vb = channelOf(b, pickChannel);
            return va != vb ? va < vb : a < b;
        });
        int middle = box.begin + (box.end - box.begin) / 2;
        boxes[pick] = {box.begin, middle};
        boxes.push_back({middle, box.end});
    }
    Palette palette{};
    for (size_t b = 0; b < boxes.size(); b++) {
        for (int c = 0; c < 3; c++) {
            long sum = 0;
            for (int i = boxes[b].begin; i < boxes[b].end; i++) sum += channelOf(order[static_cast<size_t>(i)], c);
            long n = boxes[b].end - boxes[b].begin;
            palette.colours[b][c] = static_cast<uint8_t>((sum + n / 2) / n);
        }
    }
    return palette;
}

// 8 bits a pixel with the picture's own palette, Floyd-Steinberg error
// diffusion in integers so that the fog's soft gradients do not band.
std::vector<uint8_t> bitmap8(const Photo& photo) {
    const Palette palette = medianCut(photo);
    constexpr uint32_t tableSize = 256 * 4;
    constexpr uint32_t imageSize = photoSize * photoSize;
    Bytes out;
    putFileHeader(out, 14 + 40 + tableSize + imageSize, 14 + 40 + tableSize);
    putInfoHeader(out, 8, imageSize);
    for (const auto& colour : palette.colours) {
        out.u8(colour[2]);
        out.u8(colour[1]);
        out.u8(colour[0]);
        out.u8(0);
    }
    // errors in 1/16 levels for this row and the next, with a pixel of room each side
    std::vector<int> error(static_cast<size_t>(photoSize + 2) * 3 * 2, 0);
    auto errorAt = [&](int row, int x, int c) -> int& {
        return error[(static_cast<size_t>(row & 1) * (photoSize + 2) + static_cast<size_t>(x + 1)) * 3 + c];
    };
    std::vector<uint8_t> indices(imageSize);
    for (int y = 0; y < photoSize; y++) {
        for (int x = -1; x <= photoSize; x++)
            for (int c = 0; c < 3; c++) errorAt(y + 1, x, c) = 0;
        for (int x = 0; x < photoSize; x++) {
            int want[3];
            for (int c = 0; c < 3; c++)
                want[c] = std::clamp(photo.channel(x, y, c) + (errorAt(y, x, c) + (errorAt(y, x, c) >= 0 ? 8 : -8)) / 16, 0, 255);
            int best = 0;
            long bestDistance = -1;
            for (int i = 0; i < 256; i++) {
                long d = 0;
                for (int c = 0; c < 3; c++) {
                    long e = want[c] - palette.colours[i][c];
                    d += e * e;
                }
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            indices[static_cast<size_t>(y) * photoSize + x] = static_cast<uint8_t>(best);
            for (int c = 0; c < 3; c++) {
                int e = want[c] - palette.colours[best][c];
                errorAt(y, x + 1, c) += e * 7;
                errorAt(y + 1, x - 1, c) += e * 3;
                errorAt(y + 1, x, c) += e * 5;
                errorAt(y + 1, x + 1, c) += e;
            }
        }
    }
    for (int y = photoSize - 1; y >= 0; y--)
        for (int x = 0; x < photoSize; x++) out.u8(indices[static_cast<size_t>(y) * photoSize + x]);
    return out.data;
}

std::vector<uint8_t> portablePixmap(const Photo& photo) {
    std::string header = "P6\n" + std::to_string(photoSize) + " " + std::to_string(photoSize) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), photo.rgb.begin(), photo.rgb.end());
    return out;
}

// ---------------------------------------------------------------------------
// 4. The XM writer
// ---------------------------------------------------------------------------

constexpr int noteOff = 97;  // the XM key-off note

enum Effect : uint8_t {
    arpeggioEffect = 0x0,
    portamentoDown = 0x2,
    tonePortamento = 0x3,
    vibratoEffect = 0x4,
    setPanning = 0x8,
    volumeSlide = 0xA,
};

struct Cell {
    uint8_t note = 0;        // 1 = C-0 ... 96 = B-7, 97 = key off
    uint8_t instrument = 0;  // 1-based, 0 = none
    uint8_t volume = 0;      // volume column: 0x10 + level 0..64, 0 = none
    uint8_t effect = 0;
    uint8_t param = 0;
    bool operator==(const Cell&) const = default;
};

struct Pattern {
    int rows;
    int channels;
    std::vector<Cell> cells;
    Pattern(int channelCount, int rowCount = 64)
        : rows(rowCount), channels(channelCount), cells(static_cast<size_t>(rowCount * channelCount)) {}
    Cell& at(int row, int channel) { return cells[static_cast<size_t>(row * channels + channel)]; }
    bool operator==(const Pattern&) const = default;
};

struct Envelope {
    std::vector<std::pair<int, int>> points;  // tick, level 0..64; empty: no envelope
    int sustain = -1;                         // point index, -1 = none
};

struct Instrument {
    std::string name;
    std::vector<int16_t> samples;  // 16-bit sample data
    int loopStart = 0;             // in samples
    int loopLength = 0;            // in samples; 0 = plays once
    int volume = 64;               // 0..64
    int relativeNote = 0;          // semitones added to every note
    int panning = 128;             // 0 left .. 255 right
    Envelope envelope;             // volume envelope
    int fadeout = 0;               // volume lost per tick after key off, of 65536
};

struct Song {
    std::string name;
    int channels = 8;
    int speed = 6;     // ticks a row
    int bpm = 125;     // 2.5 / bpm seconds a tick
    int restart = 0;   // order the song goes back to at its end
    std::vector<int> orders;
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;

    // Adds a pattern unless an identical one is there, and appends it to the order list.
    void play(const Pattern& pattern) {
        auto found = std::find(patterns.begin(), patterns.end(), pattern);
        if (found == patterns.end()) {
            patterns.push_back(pattern);
            found = patterns.end() - 1;
        }
        orders.push_back(static_cast<int>(found - patterns.begin()));
    }
};

std::vector<uint8_t> packPattern(const Pattern& pattern) {
    Bytes out;
    for (const Cell& c : pattern.cells) {
        if (c.note && c.instrument && c.volume && c.effect && c.param) {
            out.u8(c.note);
            out.u8(c.instrument);
            out.u8(c.volume);
            out.u8(c.effect);
            out.u8(c.param);
            continue;
        }
        out.u8(0x80u | (c.note ? 1u : 0u) | (c.instrument ? 2u : 0u) | (c.volume ? 4u : 0u) |
               (c.effect ? 8u : 0u) | (c.param ? 16u : 0u));
        if (c.note) out.u8(c.note);
        if (c.instrument) out.u8(c.instrument);
        if (c.volume) out.u8(c.volume);
        if (c.effect) out.u8(c.effect);
        if (c.param) out.u8(c.param);
    }
    return out.data;
}

std::vector<uint8_t> writeXm(const Song& song) {
    Bytes out;
    // module header: 60 bytes, then 276 more counted by the header size
    out.text("Extended Module: ", 17);
    out.text(song.name, 20);
    out.u8(0x1A);
    out.text("makedata", 20);
    out.u16(0x0104);
    out.u32(276);
    out.u16(static_cast<unsigned>(song.orders.size()));
    out.u16(static_cast<unsigned>(song.restart));
    out.u16(static_cast<unsigned>(song.channels));
    out.u16(static_cast<unsigned>(song.patterns.size()));
    out.u16(static_cast<unsigned>(song.instruments.size()));
    out.u16(1);  // linear frequency table
    out.u16(static_cast<unsigned>(song.speed));
    out.u16(static_cast<unsigned>(song.bpm));
    for (size_t i = 0; i < 256; i++) out.u8(i < song.orders.size() ? static_cast<unsigned>(song.orders[i]) : 0u);

    for (const Pattern& pattern : song.patterns) {
        std::vector<uint8_t> packed = packPattern(pattern);
        out.u32(9);  // pattern header size
        out.u8(0);   // packing type
        out.u16(static_cast<unsigned>(pattern.rows));
        out.u16(static_cast<unsigned>(packed.size()));
        out.append(packed);
    }

    for (const Instrument& ins : song.instruments) {
        const Envelope& env = ins.envelope;
        out.u32(263);  // instrument header size
        out.text(ins.name, 22);
        out.u8(0);     // type
        out.u16(1);    // one sample
        out.u32(40);   // sample header size
        out.zeros(96); // every note plays sample 0
        for (size_t i = 0; i < 12; i++) {
            out.u16(i < env.points.size() ? static_cast<unsigned>(env.points[i].first) : 0u);
            out.u16(i < env.points.size() ? static_cast<unsigned>(env.points[i].second) : 0u);
        }
        out.zeros(48);  // no panning envelope
        out.u8(static_cast<unsigned>(env.points.size()));
        out.u8(0);
        out.u8(env.sustain >= 0 ? static_cast<unsigned>(env.sustain) : 0u);
        out.u8(0);  // volume loop start
        out.u8(0);  // volume loop end
        out.u8(0);  // panning sustain, loop start, loop end
        out.u8(0);
        out.u8(0);
        out.u8((env.points.empty() ? 0u : 1u) | (env.sustain >= 0 ? 2u : 0u));
        out.u8(0);      // panning envelope off
        out.zeros(4);   // no auto-vibrato
        out.u16(static_cast<unsigned>(ins.fadeout));
        out.zeros(22);  // reserved

        const uint32_t bytesPerSample = 2;
        out.u32(static_cast<uint32_t>(ins.samples.size()) * bytesPerSample);
        out.u32(static_cast<uint32_t>(ins.loopStart) * bytesPerSample);
        out.u32(static_cast<uint32_t>(ins.loopLength) * bytesPerSample);
        out.u8(static_cast<unsigned>(ins.volume));
        out.u8(0);  // finetune
        out.u8((ins.loopLength > 0 ? 1u : 0u) | 0x10u);  // forward loop, 16-bit
        out.u8(static_cast<unsigned>(ins.panning));
        out.u8(static_cast<unsigned>(static_cast<uint8_t>(static_cast<int8_t>(ins.relativeNote))));
        out.u8(0);
        out.text(ins.name, 22);
        int16_t previous = 0;
        for (int16_t s : ins.samples) {
            out.u16(static_cast<uint16_t>(static_cast<uint16_t>(s) - static_cast<uint16_t>(previous)));
            previous = s;
        }
    }
    return out.data;
}

// ---------------------------------------------------------------------------
// 5. Instruments
// ---------------------------------------------------------------------------

constexpr int cycleLength = 128;       // samples in one cycle of a melodic wave
constexpr int waveRelativeNote = 24;   // with 128-sample cycles, C-4 sounds at 261 Hz
constexpr float drumRate = 33452.0f;   // samples a second of drums played at C-4 (8363 Hz x 4)
constexpr int drumNote = 49;           // C-4

int16_t toSample(float x) {
    return static_cast<int16_t>(std::floor(std::clamp(x, -1.0f, 1.0f) * 32767.0f + 0.5f));
}

using Wave = float (*)(float phase, float shape);  // phase in turns 0..1

float pulseWave(float phase, float duty) { return phase < duty ? 1.0f : -1.0f; }
float sawWave(float phase, float) { return 1.0f - 2.0f * phase; }
float triangleWave(float phase, float) { return phase < 0.5f ? 4.0f * phase - 1.0f : 3.0f - 4.0f * phase; }

// Removes the wave's mean, takes the edge off with a few passes of a
// [1 2 1] smoothing around the loop, and scales its peak to amplitude.
void finishLoop(std::vector<float>& wave, int smoothing, float amplitude) {
    const size_t n = wave.size();
    for (int pass = 0; pass < smoothing; pass++) {
        std::vector<float> smoothed(n);
        for (size_t i = 0; i < n; i++)
            smoothed[i] = 0.25f * wave[(i + n - 1) % n] + 0.5f * wave[i] + 0.25f * wave[(i + 1) % n];
        wave = smoothed;
    }
    float mean = 0.0f;
    for (float v : wave) mean += v;
    mean /= static_cast<float>(n);
    float peak = 0.0f;
    for (float& v : wave) {
        v -= mean;
        peak = std::max(peak, std::fabs(v));
    }
    for (float& v : wave) v *= amplitude / peak;
}

// A looped wave: one cycle, or with detune > 0 two copies of the wave,
// one doing `cycles` turns and the other `cycles - 1` over the loop, which
// makes a slow chorus that still loops without a seam.
Instrument waveInstrument(const char* name, Wave wave, float shape, int cycles, int smoothing,
                          Envelope envelope, int fadeout, int panning) {
    const int length = cycleLength * cycles;
    std::vector<float> loop(static_cast<size_t>(length));
    for (int i = 0; i < length; i++) {
        float a = wave(static_cast<float>(i % cycleLength) / cycleLength, shape);
        if (cycles > 1) {
            float turns = static_cast<float>(i) * static_cast<float>(cycles - 1) / static_cast<float>(length);
            a = 0.5f * (a + wave(turns - std::floor(turns), shape));
        }
        loop[static_cast<size_t>(i)] = a;
    }
    finishLoop(loop, smoothing, 0.75f);
    Instrument ins;
    ins.name = name;
    for (float v : loop) ins.samples.push_back(toSample(v));
    ins.loopStart = 0;
    ins.loopLength = length;
    ins.relativeNote = waveRelativeNote;
    ins.envelope = std::move(envelope);
    ins.fadeout = fadeout;
    ins.panning = panning;
    return ins;
}

Instrument drumInstrument(const char* name, const std::vector<float>& sound, int panning) {
    Instrument ins;
    ins.name = name;
    const size_t n = sound.size();
    for (size_t i = 0; i < n; i++) {
        // a short fade at the very end, so that no tail is cut off with a click
        float fade = i + 256 > n ? static_cast<float>(n - i) / 256.0f : 1.0f;
        ins.samples.push_back(toSample(sound[i] * fade));
    }
    ins.relativeNote = waveRelativeNote;
    ins.panning = panning;
    return ins;
}

// A sine whose pitch falls from about 170 Hz to `low` Hz, with a click of noise at the start.
std::vector<float> kickSound(float low, float seconds, float punch) {
    Random random(0x4B1Cu);
    std::vector<float> out(static_cast<size_t>(seconds * drumRate));
    float phase = 0.0f, sweep = 1.0f, amp = 1.0f;
    for (size_t i = 0; i < out.size(); i++) {
        phase += (low + 125.0f * sweep) / drumRate;
        phase -= std::floor(phase);
        sweep *= 0.99955f;
        amp *= 0.99988f;
        float s = sineTurns(phase) * amp;
        if (i < 80) s += random.signedUnit() * 0.5f * (1.0f - static_cast<float>(i) / 80.0f);
        s *= punch;
        out[i] = s / (1.0f + 0.35f * std::fabs(s));  // a little soft saturation
    }
    return out;
}

// Band-passed noise over a short tone that falls from 200 Hz.
std::vector<float> snareSound(float toneLevel, float noiseLevel, float seconds) {
    Random random(0x5A4Eu);
    std::vector<float> out(static_cast<size_t>(seconds * drumRate));
    float phase = 0.0f, toneAmp = toneLevel, noiseAmp = noiseLevel, low = 0.0f, lower = 0.0f;
    for (size_t i = 0; i < out.size(); i++) {
        float pitch = 160.0f + 40.0f * toneAmp / toneLevel;
        phase += pitch / drumRate;
        phase -= std::floor(phase);
        low += (random.signedUnit() - low) * 0.55f;  // takes off the top
        lower += (low - lower) * 0.06f;              // what lies under 300 Hz or so
        out[i] = sineTurns(phase) * toneAmp + (low - lower) * 1.6f * noiseAmp;
        toneAmp *= 0.99925f;
        noiseAmp *= 0.99968f;
    }
    return out;
}

// High-passed noise: a difference of neighbours keeps the hiss; metal adds
// three inharmonic square tones for a cymbal's ring.
std::vector<float> hissSound(float seconds, float decayPerSample, float metal, uint32_t seed) {
    Random random(seed);
    std::vector<float> out(static_cast<size_t>(seconds * drumRate));
    float amp = 1.0f, previous = 0.0f;
    static const float ringHz[] = {3127.0f, 4521.0f, 5987.0f};
    float ringPhase[3] = {0.0f, 0.3f, 0.6f};
    for (size_t i = 0; i < out.size(); i++) {
        float white = random.signedUnit();
        float s = (white - previous) * 0.6f;
        previous = white;
        for (int k = 0; k < 3; k++) {
            ringPhase[k] += ringHz[k] / drumRate;
            ringPhase[k] -= std::floor(ringPhase[k]);
            s += metal * (ringPhase[k] < 0.5f ? 0.12f : -0.12f);
        }
        out[i] = s * amp;
        amp *= decayPerSample;
    }
    return out;
}

// ---------------------------------------------------------------------------
// 6. Composing
// ---------------------------------------------------------------------------

constexpr int rowsPerBar = 16;  // four beats of four rows
constexpr int barsPerPattern = 4;

// "C4" is note 49; sharps as "F#5", flats as "Bb3".
int noteNumber(const std::string& name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int semitone = semitones[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#') { semitone++; i++; }
    else if (name[i] == 'b') { semitone--; i++; }
    int octave = name[i] - '0';
    return octave * 12 + semitone + 1;
}

// A triad by name: "Em", "C", "F#m", "Bb". root is the pitch class 0..11.
struct Chord {
    int root;
    bool minor;
};

Chord chord(const std::string& name) {
    bool minor = name.back() == 'm';
    std::string rootName = minor ? name.substr(0, name.size() - 1) : name;
    return {(noteNumber(rootName + "0") - 1 + 12) % 12, minor};
}

int chordNote(const Chord& c, int octave) { return octave * 12 + c.root + 1; }
uint8_t arpeggioParam(const Chord& c) { return c.minor ? 0x37 : 0x47; }
int chordTone(const Chord& c, int degree) {  // 0 root, 1 third, 2 fifth, as semitones
    static const int minorTones[] = {0, 3, 7}, majorTones[] = {0, 4, 7};
    return (c.minor ? minorTones : majorTones)[degree];
}

using Progression = std::vector<Chord>;  // one chord a bar

Progression progression(std::initializer_list<const char*> names) {
    Progression p;
    for (const char* n : names) p.push_back(chord(n));
    return p;
}

uint8_t level(int volume) { return static_cast<uint8_t>(0x10 + std::clamp(volume, 0, 64)); }

void setNote(Pattern& p, int row, int channel, int note, int instrument, int volume,
             uint8_t effect = 0, uint8_t param = 0) {
    Cell& c = p.at(row, channel);
    c.note = static_cast<uint8_t>(note);
    c.instrument = static_cast<uint8_t>(instrument);
    c.volume = volume >= 0 ? level(volume) : 0;
    c.effect = effect;
    c.param = param;
}

void setEffect(Pattern& p, int row, int channel, uint8_t effect, uint8_t param) {
    p.at(row, channel).effect = effect;
    p.at(row, channel).param = param;
}

// A played line: its channel, instrument and loudness, the vibrato (4xy)
// on long notes and the speed of slides (3xx) into notes marked "~".
struct Voice {
    int channel;
    int instrument;
    int volume;
    uint8_t vibrato;
    uint8_t slide;
};

// Writes a melody from text: one token a step of stepRows rows, "E5" a
// note, "~E5" a slide into it from the note before, "." holds, "^" lets go,
// "_" rests; "|" between bars is only for reading. A note held for more
// than two steps starts to vibrate from its third step on.
void melody(Pattern& p, const Voice& voice, const std::string& text, int stepRows = 2, int startRow = 0) {
    int row = startRow, held = -1;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find(' ', i);
        if (end == std::string::npos) end = text.size();
        std::string token = text.substr(i, end - i);
        i = end + 1;
        if (token.empty() || token == "|") continue;
        if (row >= p.rows) break;
        if (token == ".") {
            held++;
            if (held >= 2 && voice.vibrato)
                for (int r = row; r < row + stepRows; r++) setEffect(p, r, voice.channel, vibratoEffect, voice.vibrato);
        } else if (token == "^") {
            setNote(p, row, voice.channel, noteOff, 0, -1);
            held = -1;
        } else if (token == "_") {
            held = -1;
        } else if (token[0] == '~') {
            setNote(p, row, voice.channel, noteNumber(token.substr(1)), 0, -1, tonePortamento, voice.slide);
            for (int r = row + 1; r < row + stepRows; r++) setEffect(p, r, voice.channel, tonePortamento, 0);
            held = 0;
        } else {
            setNote(p, row, voice.channel, noteNumber(token), voice.instrument, voice.volume);
            held = 0;
        }
        row += stepRows;
    }
}

// The tracker's echo: the notes of one channel again on another, delayRows
// later, quieter and panned aside.
void echo(Pattern& p, int from, int to, int delayRows, int percent, uint8_t panning) {
    for (int row = p.rows - 1 - delayRows; row >= 0; row--) {
        const Cell src = p.at(row, from);
        if (!src.note) continue;
        Cell& dst = p.at(row + delayRows, to);
        dst.note = src.note;
        dst.instrument = src.instrument;
        if (src.note != noteOff && src.instrument) {
            int volume = src.volume ? src.volume - 0x10 : 64;
            dst.volume = level(volume * percent / 100);
            dst.effect = setPanning;
            dst.param = panning;
        } else if (src.effect == tonePortamento) {
            dst.effect = tonePortamento;
            dst.param = src.param;
        }
    }
}

// Chords as fast arpeggios (0xy): the root struck every strikeRows rows
// with volumes taken in turn from accents, the arpeggio held on every row.
void arpeggios(Pattern& p, int channel, int instrument, const Progression& chords, int octave,
               int strikeRows, const std::vector<int>& accents) {
    int strike = 0;
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        for (int r = 0; r < rowsPerBar; r++) {
            int row = bar * rowsPerBar + r;
            if (r % strikeRows == 0)
                setNote(p, row, channel, chordNote(c, octave), instrument,
                        accents[static_cast<size_t>(strike++) % accents.size()]);
            setEffect(p, row, channel, arpeggioEffect, arpeggioParam(c));
        }
    }
}

// A slow voice that keeps to the chord tone nearest its last note, gliding
// into each bar's note with a portamento.
void pad(Pattern& p, int channel, int instrument, const Progression& chords, int octave, int volume) {
    int current = chordNote(chords[0], octave) + chordTone(chords[0], 1);
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        int best = current, bestDistance = 1000;
        for (int o = octave - 1; o <= octave + 1; o++) {
            for (int degree = 1; degree < 3; degree++) {
                int candidate = chordNote(c, o) + chordTone(c, degree);
                int distance = std::abs(candidate - current);
                if (distance < bestDistance && distance > 0) {
                    bestDistance = distance;
                    best = candidate;
                }
            }
        }
        int row = bar * rowsPerBar;
        if (bar == 0) {
            current = chordNote(c, octave) + chordTone(c, 1);
            setNote(p, row, channel, current, instrument, volume);
        } else {
            current = best;
            setNote(p, row, channel, current, 0, -1, tonePortamento, 0x04);
            for (int r = 1; r < 6; r++) setEffect(p, row + r, channel, tonePortamento, 0);
        }
    }
}

enum class Bass {
    Calm,    // root, root, fifth, octave: one bar a breath
    Drive,   // eighths jumping an octave, a walk into the next chord
    Pedal,   // the root held twice a bar
    Pump,    // sixteenths on the root
};

void bassLine(Pattern& p, int channel, int instrument, const Progression& chords, Bass style, int octave, int volume) {
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        const Chord& next = chords[static_cast<size_t>((bar + 1) % barsPerPattern)];
        int root = chordNote(c, octave);
        int base = bar * rowsPerBar;
        switch (style) {
        case Bass::Calm:
            setNote(p, base + 0, channel, root, instrument, volume);
            setNote(p, base + 6, channel, root, instrument, volume * 3 / 4);
            setNote(p, base + 8, channel, root + 7, instrument, volume * 7 / 8);
            setNote(p, base + 12, channel, root + 12, instrument, volume * 3 / 4);
            setNote(p, base + 15, channel, noteOff, 0, -1);
            break;
        case Bass::Drive:
            for (int r = 0; r < 12; r += 2)
                setNote(p, base + r, channel, root + ((r / 2) % 2 ? 12 : 0), instrument, (r / 2) % 2 ? volume * 3 / 4 : volume);
            setNote(p, base + 12, channel, root + 7, instrument, volume);
            setNote(p, base + 14, channel, chordNote(next, octave) + (next.root > c.root ? -1 : 2), instrument, volume * 3 / 4);
            break;
        case Bass::Pedal:
            setNote(p, base + 0, channel, root, instrument, volume);
            setNote(p, base + 8, channel, root, instrument, volume * 2 / 3);
            break;
        case Bass::Pump:
            for (int r = 0; r < rowsPerBar; r++)
                setNote(p, base + r, channel, root + (r % 4 == 3 ? 12 : 0), instrument, r % 2 ? volume * 2 / 3 : volume);
            break;
        }
    }
}

// Fades a channel out over the last bar with a volume slide.
void fadeLastBar(Pattern& p, int channel, uint8_t speed) {
    for (int row = p.rows - rowsPerBar; row < p.rows; row++)
        if (!p.at(row, channel).effect) setEffect(p, row, channel, volumeSlide, speed);
}

// ---------------------------------------------------------------------------
// 7. The intro song: "harbour lights", a calm chiptune in A minor, 100 beats
//    a minute, seven patterns of 9.6 s, 67 s before it starts over
// ---------------------------------------------------------------------------

Song introSong() {
    enum Channel { drums, hats, bass, arp, lead, echoes, padding, channelCount };
    enum Ins { kick = 1, snare, hat, openHat, triangleBass, pluck, square, choir };
    Song song;
    song.name = "harbour lights";
    song.channels = channelCount;
    song.speed = 6;
    song.bpm = 100;
    song.restart = 0;
    song.instruments = {
        drumInstrument("soft kick", kickSound(48.0f, 0.35f, 0.9f), 128),
        drumInstrument("brush snare", snareSound(0.25f, 0.7f, 0.3f), 140),
        drumInstrument("hat", hissSound(0.06f, 0.9975f, 0.0f, 0x4A7u), 176),
        drumInstrument("open hat", hissSound(0.35f, 0.99985f, 0.3f, 0x0A7u), 176),
        waveInstrument("triangle bass", triangleWave, 0.0f, 1, 0, {{{0, 64}, {6, 52}, {40, 44}}, 2}, 1200, 128),
        waveInstrument("pulse pluck 25%", pulseWave, 0.25f, 1, 1, {{{0, 64}, {10, 36}, {40, 22}, {90, 0}}, -1}, 0, 84),
        waveInstrument("square lead", pulseWave, 0.5f, 1, 2, {{{0, 44}, {4, 64}, {16, 52}, {60, 46}}, 3}, 700, 144),
        waveInstrument("chorus pad", sawWave, 0.0f, 64, 4, {{{0, 0}, {40, 42}, {90, 38}}, 2}, 300, 110),
    };

    const Voice leadVoice{lead, square, 46, 0x34, 0x10};
    const std::vector<int> softArp{28, 16, 22, 16}, arp2{34, 18, 26, 18};
    auto drumsBar = [&](Pattern& p, int bar, bool full, bool fill) {
        int b = bar * rowsPerBar;
        setNote(p, b + 0, drums, drumNote, kick, 56);
        if (full) {
            setNote(p, b + 4, drums, drumNote, snare, 40);
            setNote(p, b + 10, drums, drumNote, kick, 44);
            setNote(p, b + 12, drums, drumNote, snare, 40);
        }
        for (int r = 0; r < rowsPerBar; r += 2) setNote(p, b + r, hats, drumNote, hat, r % 4 ? 18 : 30);
        if (fill) {
            setNote(p, b + 13, drums, drumNote, snare, 20);
            setNote(p, b + 14, drums, drumNote, snare, 30);
            setNote(p, b + 15, drums, drumNote, snare, 42);
            setNote(p, b + 14, hats, drumNote, openHat, 26);
        }
    };
    auto section = [&](const Progression& chords, const char* tune, bool full, int drumFrom) {
        Pattern p(channelCount);
        pad(p, padding, choir, chords, 4, 40);
        arpeggios(p, arp, pluck, chords, 4, 4, full ? arp2 : softArp);
        bassLine(p, bass, triangleBass, chords, Bass::Calm, 2, 60);
        for (int row = 0; row < drumFrom * rowsPerBar; row++) p.at(row, bass) = Cell{};
        for (int bar = drumFrom; bar < barsPerPattern; bar++) drumsBar(p, bar, full, bar == 3);
        if (tune) {
            melody(p, leadVoice, tune);
            echo(p, lead, echoes, 3, 40, 0xD0);
        }
        return p;
    };

    const Progression verse = progression({"Am", "F", "C", "G"});
    const Progression lift = progression({"F", "G", "Em", "Am"});
    const Progression shadow = progression({"Dm", "Am", "F", "E"});
    const char* tuneA = "E5 . . . C5 . D5 . | C5 . . . A4 . . . | G4 . . . C5 . E5 . | D5 . . . . . . ^";
    const char* tuneA2 = "E5 . . . C5 . D5 E5 | F5 . . . E5 . C5 . | G5 . . . E5 . C5 . | D5 . . . B4 . ~D5 .";
    const char* tuneB = "A5 . . . G5 . F5 . | G5 . . . . . D5 . | E5 . . . G5 . B5 . | A5 . . . . . . ^";
    const char* tuneShadow = "D5 . . . . . . . | C5 . . . . . ~E5 . | F5 . . . . . . . | ~E5 . . . . . ^ _";
    const char* tuneEnd = "E5 . . . C5 . D5 . | C5 . . . . . . . | G4 . . . . . . . | A4 . . . . . ^ _";

    song.play(section(verse, nullptr, false, 2));    // pad and plucks, hats from the third bar
    song.play(section(verse, tuneA, false, 0));      // the tune enters
    song.play(section(verse, tuneA2, true, 0));      // the beat enters
    song.play(section(lift, tuneB, true, 0));        // the lift
    {
        Pattern p(channelCount);                     // the break: no beat, the bass holds
        pad(p, padding, choir, shadow, 4, 44);
        arpeggios(p, arp, pluck, shadow, 4, 2, softArp);
        bassLine(p, bass, triangleBass, shadow, Bass::Pedal, 2, 54);
        melody(p, {lead, square, 38, 0x44, 0x08}, tuneShadow);
        echo(p, lead, echoes, 6, 45, 0x30);
        for (int r = 0; r < 64; r += 4) setNote(p, r, hats, drumNote, hat, r % 8 ? 14 : 22);
        song.play(p);
    }
    song.play(section(verse, tuneA2, true, 0));      // the return
    {
        Pattern p = section(verse, tuneEnd, true, 0);  // winding down into the start
        for (int row = 48; row < 64; row++) {
            p.at(row, drums) = Cell{};
            p.at(row, hats) = Cell{};
        }
        fadeLastBar(p, arp, 0x02);
        fadeLastBar(p, padding, 0x01);
        song.play(p);
    }
    return song;
}

// ---------------------------------------------------------------------------
// 8. The main song: "velto 63k", driving, in E minor, 150 beats a minute,
//    sixteen patterns of 6.4 s, 102 s before it goes back to the verse;
//    its first row is a hit on every channel
// ---------------------------------------------------------------------------

Song mainSong() {
    enum Channel { kicks, snares, hats, bass, arp, lead, echoes, padding, channelCount };
    enum Ins { kick = 1, snare, hat, openHat, crash, sawBass, pluck, sawLead, choir };
    Song song;
    song.name = "velto 63k";
    song.channels = channelCount;
    song.speed = 6;
    song.bpm = 150;
    song.restart = 2;
    song.instruments = {
        drumInstrument("kick", kickSound(44.0f, 0.4f, 1.0f), 128),
        drumInstrument("snare", snareSound(0.55f, 0.8f, 0.28f), 136),
        drumInstrument("closed hat", hissSound(0.07f, 0.9982f, 0.0f, 0x4A7u), 180),
        drumInstrument("open hat", hissSound(0.4f, 0.99982f, 0.35f, 0x0A7u), 180),
        drumInstrument("crash", hissSound(1.3f, 0.99994f, 0.6f, 0xC4A5u), 100),
        waveInstrument("saw bass", sawWave, 0.0f, 1, 1, {{{0, 64}, {8, 46}, {30, 38}}, 2}, 2000, 128),
        waveInstrument("pulse pluck 12.5%", pulseWave, 0.125f, 1, 1, {{{0, 64}, {6, 30}, {20, 16}, {50, 0}}, -1}, 0, 76),
        waveInstrument("twin saw lead", sawWave, 0.0f, 128, 1, {{{0, 52}, {3, 64}, {20, 52}}, 2}, 900, 112),
        waveInstrument("chorus square pad", pulseWave, 0.5f, 64, 6, {{{0, 0}, {30, 40}, {60, 34}}, 2}, 400, 150),
    };

    enum class Beat { None, Hit, Verse, Chorus, Break, Build };
    auto beat = [&](Pattern& p, Beat style, bool fill) {
        for (int bar = 0; bar < barsPerPattern; bar++) {
            int b = bar * rowsPerBar;
            for (int r = 0; r < rowsPerBar; r++) {
                int row = b + r;
                switch (style) {
                case Beat::None: break;
                case Beat::Hit:
                case Beat::Verse:
                case Beat::Chorus:
                    if (r % 4 == 0) setNote(p, row, kicks, drumNote, kick, 64);
                    if (style == Beat::Chorus && r == 14 && bar % 2) setNote(p, row, kicks, drumNote, kick, 48);
                    if ((r == 4 || r == 12) && !(style == Beat::Hit && bar == 0))
                        setNote(p, row, snares, drumNote, snare, 52);
                    if (r == 15 && style != Beat::Hit) setNote(p, row, snares, drumNote, snare, 14);
                    if (style == Beat::Chorus) {
                        if (r % 4 == 2) setNote(p, row, hats, drumNote, openHat, 26);
                        else setNote(p, row, hats, drumNote, hat, r % 2 ? 16 : 28);
                    } else if (r % 2 == 0) {
                        setNote(p, row, hats, drumNote, hat, r % 4 ? 34 : 22);
                    }
                    break;
                case Beat::Break:
                    if (r % 4 == 2) setNote(p, row, hats, drumNote, hat, 20);
                    if (r == 0 && bar == 0) setNote(p, row, snares, drumNote, crash, 40);
                    break;
                case Beat::Build:
                    if (r % 4 == 0) setNote(p, row, kicks, drumNote, kick, 40 + bar * 8);
                    if (r % (bar < 2 ? 4 / (bar + 1) : 1) == 0)
                        setNote(p, row, snares, drumNote, snare, 14 + (bar * rowsPerBar + r) * 40 / 64);
                    if (r % 2 == 0) setNote(p, row, hats, drumNote, hat, 16 + bar * 4);
                    break;
                }
            }
        }
        if (fill) {
            static const int rows[] = {56, 58, 60, 61, 62, 63};
            for (int i = 0; i < 6; i++) setNote(p, rows[i], snares, drumNote, snare, 34 + i * 5);
            setNote(p, 62, kicks, drumNote, kick, 56);
        }
    };
    const Voice leadVoice{lead, sawLead, 52, 0x36, 0x0C};
    const std::vector<int> arpAccents{40, 22, 30, 22};
    auto section = [&](const Progression& chords, const char* tune, Beat style, bool fill, bool crashIn) {
        Pattern p(channelCount);
        beat(p, style, fill);
        if (crashIn) setNote(p, 0, snares, drumNote, crash, 52);
        bassLine(p, bass, sawBass, chords, style == Beat::Break ? Bass::Pedal : Bass::Drive, 2, 56);
        arpeggios(p, arp, pluck, chords, 5, style == Beat::Chorus ? 2 : 4, arpAccents);
        pad(p, padding, choir, chords, 4, 36);
        if (tune) {
            melody(p, leadVoice, tune);
            echo(p, lead, echoes, 3, 35, 0xD0);
        }
        return p;
    };

    const Progression verse = progression({"Em", "C", "G", "D"});
    const Progression verse2 = progression({"Em", "C", "Am", "B"});
    const Progression chorus = progression({"Am", "D", "G", "Em"});
    const Progression chorus2 = progression({"Am", "D", "B", "Em"});
    const Progression drift = progression({"C", "C", "Em", "Em"});
    const Progression rise = progression({"Am", "Am", "B", "B"});
    const Progression bridge = progression({"G", "D", "Am", "C"});
    const Progression bridge2 = progression({"G", "D", "C", "B"});
    const Progression turn = progression({"Em", "C", "D", "B"});

    const char* hook = "B4 . E5 . G5 . B5 . | A5 . G5 . E5 . . . | D5 . G5 . B5 . D6 . | C6 . B5 . A5 . F#5 .";
    const char* verseTune = "E5 . . G5 . . B5 . | C6 . . B5 . . G5 . | B5 . . A5 . . G5 . | F#5 . . . D5 . . .";
    const char* verseTune2 = "E5 . . G5 . . B5 . | C6 . . B5 . . G5 . | A5 . . C6 . . E6 . | D#6 . . . . . ^ _";
    const char* chorusTune = "A5 . . . E5 . ~A5 . | F#5 . . . D5 . A5 . | G5 . . . B5 . D6 . | B5 . . . . . . .";
    const char* chorusTune2 = "A5 . . . E5 . ~A5 . | F#5 . . . D5 . A5 . | F#5 . . . D#5 . B4 . | E5 . . . . . ^ _";
    const char* driftTune = "G5 . . . . . . . | . . . . E5 . . . | B5 . . . . . . . | . . . . G5 . ^ _";
    const char* bridgeTune = "D6 . . B5 . . G5 . | A5 . . F#5 . . D5 . | E5 . . A5 . . C6 . | G5 . . . . . . .";
    const char* bridgeTune2 = "D6 . . B5 . . G5 . | A5 . . F#5 . . D5 . | E5 . . G5 . . C6 . | B5 . . . A5 . F#5 .";
    const char* turnTune = "E5 . . . . . . . | G5 . . . . . . . | F#5 . . . A5 . . . | B5 . . . . . ^ _";

    song.play(section(verse, nullptr, Beat::Hit, false, true));         // 0: the hit, the groove
    song.play(section(verse, hook, Beat::Verse, false, false));         // 1: the hook
    song.play(section(verse, verseTune, Beat::Verse, false, true));     // 2: verse (the song returns here)
    song.play(section(verse2, verseTune2, Beat::Verse, true, false));   // 3
    song.play(section(chorus, chorusTune, Beat::Chorus, false, true));  // 4: chorus
    song.play(section(chorus2, chorusTune2, Beat::Chorus, true, false));// 5
    {
        Pattern p = section(drift, nullptr, Beat::Break, false, false);  // 6: the break
        melody(p, {lead, sawLead, 34, 0x48, 0x08}, driftTune);
        echo(p, lead, echoes, 6, 50, 0x30);
        // the bass dives for the last two beats, into the build
        setNote(p, 56, bass, chordNote(drift[3], 2) + 12, sawBass, 56);
        for (int row = 57; row < 64; row++) setEffect(p, row, bass, portamentoDown, 0x10);
        song.play(p);
    }
    {
        Pattern p(channelCount);                                          // 7: the build
        beat(p, Beat::Build, false);
        bassLine(p, bass, sawBass, rise, Bass::Pump, 2, 48);
        arpeggios(p, arp, pluck, rise, 5, 2, {24, 30, 36, 42, 48, 54, 60, 64});
        pad(p, padding, choir, rise, 4, 16);
        // the pad swells through the build: a volume-column slide up of 1 a tick
        for (int row = 2; row < 64; row += 4) p.at(row, padding).volume = 0x71;
        song.play(p);
    }
    song.play(section(verse, verseTune, Beat::Verse, false, true));     // 8
    song.play(section(verse2, verseTune2, Beat::Verse, true, false));   // 9
    song.play(section(chorus, chorusTune, Beat::Chorus, false, true));  // 10
    song.play(section(chorus2, chorusTune2, Beat::Chorus, true, false));// 11
    song.play(section(bridge, bridgeTune, Beat::Verse, false, true));   // 12: the bridge
    song.play(section(bridge2, bridgeTune2, Beat::Verse, true, false)); // 13
    song.play(section(chorus, chorusTune, Beat::Chorus, false, true));  // 14: last chorus
    song.play(section(turn, turnTune, Beat::Verse, true, false));       // 15: the turn back to the verse
    return song;
}

// ---------------------------------------------------------------------------
// 9. main
// ---------------------------------------------------------------------------

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "makedata: cannot write %s: %s\n", path.string().c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int savedErrno = errno;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "makedata: cannot write %s: %s\n", path.string().c_str(), std::strerror(savedErrno ? savedErrno : errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool ppm = argc == 3 && std::strcmp(argv[2], "--ppm") == 0;
    if (argc < 2 || argc > 3 || (argc == 3 && !ppm) || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: makedata OUTDIR [--ppm]\n"
                             "  writes skorv1.bitmap, skorv2.bitmap, skorv3.bitmap, Tq_outro.xm and VELTO63K.XM into OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "makedata: cannot make directory %s: %s\n", dir.string().c_str(), error.message().c_str());
        return 1;
    }

    const Photo coast = develop(paintCoast(), 0.45f, 0.03f, 1);
    const Photo forest = develop(paintForest(), 0.35f, 0.02f, 2);
    const Photo city = develop(paintCity(), 0.4f, 0.025f, 3);
    bool ok = writeFile(dir / "skorv1.bitmap", bitmap24(coast)) &&
              writeFile(dir / "skorv2.bitmap", bitmap8(forest)) &&
              writeFile(dir / "skorv3.bitmap", packedCore24(city)) &&
              writeFile(dir / "Tq_outro.xm", writeXm(introSong())) &&
              writeFile(dir / "VELTO63K.XM", writeXm(mainSong()));
    if (ok && ppm) {
        ok = writeFile(dir / "skorv1.ppm", portablePixmap(coast)) &&
             writeFile(dir / "skorv2.ppm", portablePixmap(forest)) &&
             writeFile(dir / "skorv3.ppm", portablePixmap(city));
    }
    return ok ? 0 : 1;
}
