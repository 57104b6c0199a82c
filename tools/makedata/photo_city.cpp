#include <algorithm>
#include <cmath>

#include "tools/makedata/photos.h"

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
