// Instruments: melodic waves synthesized as seamless loops, and drums as
// one-shot sounds, each an XM instrument with its envelope.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/makedata/xm_writer.h"

constexpr int drumNote = 49;  // C-4: drums sound as they were synthesized

using Wave = float (*)(float phase, float shape);  // phase in turns 0..1, result -1..1

float pulseWave(float phase, float duty);
float sawWave(float phase, float unused);
float triangleWave(float phase, float unused);

// A looped wave: one cycle, or with cycles > 1 two copies of the wave,
// one doing `cycles` turns and the other `cycles - 1` over the loop, which
// makes a slow chorus that still loops without a seam. smoothing: passes of
// a [1 2 1] filter that take the edge off.
xm::Instrument waveInstrument(const char* name, Wave wave, float shape, int cycles, int smoothing,
                              xm::Envelope envelope, int fadeout, int panning);

// A sound played once at drumNote, with a short fade at its very end.
xm::Instrument drumInstrument(const char* name, const std::vector<float>& sound, int panning);

// A sine whose pitch falls from about 170 Hz to `low` Hz, with a click of noise at the start.
std::vector<float> kickSound(float low, float seconds, float punch);
// Band-passed noise over a short tone that falls from 200 Hz.
std::vector<float> snareSound(float toneLevel, float noiseLevel, float seconds);
// High-passed noise: a difference of neighbours keeps the hiss; metal adds
// three inharmonic square tones for a cymbal's ring.
std::vector<float> hissSound(float seconds, float decayPerSample, float metal, uint32_t seed);
