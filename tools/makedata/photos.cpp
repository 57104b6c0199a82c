#include "tools/makedata/photos.h"

#include <cmath>

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
