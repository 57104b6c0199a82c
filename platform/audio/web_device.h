// What the browser's sound device adds to device.h: the show feeds it.
#pragma once

#include <cstdint>

namespace platform {

// Mixes the stream on to frame untilFrame (counted from the device's
// opening) and hands it to the page. Nothing without an open device.
void pumpSoundDevice(int64_t untilFrame);
// Frames the page has played since the device opened (0 without one).
int64_t soundDevicePlayedFrames();
// The music's own count of frames mixed, skipped ones included: that of the
// frame the page plays now, and that of the next frame to be mixed.
int64_t soundDeviceHeardMusicFrame();
int64_t soundDeviceNextMusicFrame();
// Moves the music against the stream by frames: forward (positive) mixes
// that much of it and drops it, so that it catches up; backward (negative)
// leaves that much silence in the stream before the next block, so that it
// waits.
void shiftSoundDevice(int64_t frames);

}  // namespace platform
