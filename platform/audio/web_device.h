// What the browser's sound device adds to device.h: the show feeds it.
#pragma once

#include <cstdint>

namespace platform {

// Mixes the stream on to frame untilFrame (counted from the device's
// opening) and hands it to the page. Nothing without an open device.
void pumpSoundDevice(int64_t untilFrame);
// Frames the page has played since the device opened (0 without one).
int64_t soundDevicePlayedFrames();

}  // namespace platform
