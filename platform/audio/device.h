// The sound device the player mixes into: one per build, in a file of its
// own (sdl_device.cpp on the desktop, web_device.cpp in the browser).
//
// The device asks for sound by calling the callback given to
// openSoundDevice with a buffer of interleaved 16-bit frames to fill, on a
// thread of its own or not; the callback runs with the device locked.
#pragma once

#include <cmath>
#include <cstdint>

namespace platform {

// The rate the show's sound is mixed at everywhere: the device, the
// capture's soundtrack, the page's Web Audio. Always stereo, 16-bit.
constexpr int showMixRate = 44100;  // Hz
// The sound frame heard at showMs milliseconds into the show, the same in a
// capture and on the page: where a picture drawn then is heard from.
inline int64_t mixFrameAt(double showMs) { return std::llround(showMs * (showMixRate / 1000.0)); }

using SoundCallback = void (*)(uint8_t* stream, int byteCount);

// Opens the device at mixRate Hz with channelCount interleaved 16-bit
// channels and a buffer of bufferFrames frames, and starts it asking for
// sound. False: no device (none present, or it failed to open).
bool openSoundDevice(int mixRate, int channelCount, uint16_t bufferFrames, SoundCallback callback);
void closeSoundDevice();  // waits for a callback under way to return
void lockSoundDevice();   // no callback runs until unlockSoundDevice
void unlockSoundDevice();
void pauseSoundDevice(bool paused);  // paused, it asks for nothing

}  // namespace platform
