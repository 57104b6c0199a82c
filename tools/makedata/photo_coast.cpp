#include <algorithm>
#include <cmath>

#include "tools/makedata/photos.h"

namespace {

// Distance from point (px, py) to the segment (ax, ay)-(bx, by).
float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
    float dx = bx - ax, dy = by - ay;
    float t = clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
    float ex = px - (ax + t * dx), ey = py - (ay + t * dy);
    return std::sqrt(ex * ex + ey * ey);
}

}  // namespace

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
