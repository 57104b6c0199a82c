#include "tools/makedata/instruments.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "tools/makedata/numbers.h"

namespace {

constexpr int cycleLength = 128;       // samples in one cycle of a melodic wave
constexpr int waveRelativeNote = 24;   // with 128-sample cycles, C-4 sounds at 261 Hz
constexpr float drumRate = 33452.0f;   // samples a second of drums played at C-4 (8363 Hz x 4)

int16_t toSample(float x) {
    return static_cast<int16_t>(std::floor(std::clamp(x, -1.0f, 1.0f) * 32767.0f + 0.5f));
}

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

}  // namespace

float pulseWave(float phase, float duty) { return phase < duty ? 1.0f : -1.0f; }
float sawWave(float phase, float) { return 1.0f - 2.0f * phase; }
float triangleWave(float phase, float) { return phase < 0.5f ? 4.0f * phase - 1.0f : 3.0f - 4.0f * phase; }

xm::Instrument waveInstrument(const char* name, Wave wave, float shape, int cycles, int smoothing,
                              xm::Envelope envelope, int fadeout, int panning) {
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
    xm::Instrument ins;
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

xm::Instrument drumInstrument(const char* name, const std::vector<float>& sound, int panning) {
    xm::Instrument ins;
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
