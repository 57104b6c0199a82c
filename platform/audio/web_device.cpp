// The sound device in the browser: the page's Web Audio output (an
// AudioWorklet, or a ScriptProcessorNode where there is no worklet), fed
// from the show's own thread. The browser never calls back into the show:
// after each frame the show pumps the device up to a frame count of its
// choosing (pumpSoundDevice), and each block mixed goes to the page with
// its place in the stream, so that a block that comes late is cut to the
// part still to be heard and the sound stays in step with the clock.
#include "platform/audio/device.h"
#include "platform/audio/web_device.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <vector>

// The page's side (app/page/page.js).
EM_JS(int, pageOpenSound, (int mixRate, int channelCount), {
    return typeof eyesonlyPage !== 'undefined' && eyesonlyPage.openSound(mixRate, channelCount) ? 1 : 0;
});
EM_JS(void, pageCloseSound, (), {
    if (typeof eyesonlyPage !== 'undefined') eyesonlyPage.closeSound();
});
EM_JS(void, pagePauseSound, (int paused), {
    if (typeof eyesonlyPage !== 'undefined') eyesonlyPage.pauseSound(paused !== 0);
});
EM_JS(void, pageQueueSound, (const int16_t* samples, int frameCount, double firstFrame), {
    eyesonlyPage.queueSound(HEAP16.subarray(samples >> 1, (samples >> 1) + frameCount * 2), firstFrame);
});
EM_JS(double, pagePlayedFrames, (), {
    return typeof eyesonlyPage !== 'undefined' ? eyesonlyPage.playedFrames() : 0;
});

namespace platform {

namespace {

constexpr int blockFrames = 4096;  // frames mixed at a time

struct WebDevice {
    bool open = false;
    int channelCount = 2;
    SoundCallback callback = nullptr;
    int64_t mixedFrames = 0;     // stream frames handed to the page since the device opened
    int64_t musicAhead = 0;      // the music's frame count minus the stream's, by shifts
    std::vector<int16_t> block;  // one block of interleaved frames
};

WebDevice device;

}  // namespace

bool openSoundDevice(int mixRate, int channelCount, uint16_t, SoundCallback callback) {
    closeSoundDevice();
    if (channelCount != 2 || !pageOpenSound(mixRate, channelCount)) return false;
    device.open = true;
    device.channelCount = channelCount;
    device.callback = callback;
    device.mixedFrames = 0;
    device.musicAhead = 0;
    device.block.assign(static_cast<size_t>(blockFrames) * channelCount, 0);
    return true;
}

void closeSoundDevice() {
    if (device.open) pageCloseSound();
    device.open = false;
}

// One thread: nothing can call back while the show holds the device.
void lockSoundDevice() {}
void unlockSoundDevice() {}

void pauseSoundDevice(bool paused) {
    if (device.open) pagePauseSound(paused ? 1 : 0);
}

void pumpSoundDevice(int64_t untilFrame) {
    while (device.open && device.mixedFrames < untilFrame) {
        const int count = static_cast<int>(std::min<int64_t>(blockFrames, untilFrame - device.mixedFrames));
        device.callback(reinterpret_cast<uint8_t*>(device.block.data()),
                        count * device.channelCount * static_cast<int>(sizeof(int16_t)));
        pageQueueSound(device.block.data(), count, static_cast<double>(device.mixedFrames));
        device.mixedFrames += count;
    }
}

int64_t soundDevicePlayedFrames() { return device.open ? static_cast<int64_t>(pagePlayedFrames()) : 0; }

int64_t soundDeviceHeardMusicFrame() { return soundDevicePlayedFrames() + device.musicAhead; }

int64_t soundDeviceNextMusicFrame() { return device.mixedFrames + device.musicAhead; }

void shiftSoundDevice(int64_t frames) {
    if (!device.open) return;
    if (frames < 0) device.mixedFrames -= frames;
    for (int64_t left = frames; left > 0;) {
        const int count = static_cast<int>(std::min<int64_t>(blockFrames, left));
        device.callback(reinterpret_cast<uint8_t*>(device.block.data()),
                        count * device.channelCount * static_cast<int>(sizeof(int16_t)));
        left -= count;
    }
    device.musicAhead += frames;
}

}  // namespace platform
