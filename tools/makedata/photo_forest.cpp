#include <cmath>
#include <iterator>

#include "tools/makedata/photos.h"

namespace {

// A fir: its trunk's foot (x across, base down, in picture units), its size
// and where its tiers of branches start.
struct Fir {
    float x, base, height, width, phase;
};

// 1 where the fir covers the point (u, v) in picture units, else 0.
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

}  // namespace

// Forest in fog: ranks of firs on rising ground, each rank paler with
// distance, low mist in the hollows, shafts of light from the upper right.
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
