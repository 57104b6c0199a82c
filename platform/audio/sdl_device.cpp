// The sound device on the desktop: an SDL audio device, which calls back on
// SDL's audio thread.
#include "platform/audio/device.h"

#include <SDL.h>

namespace platform {

namespace {

struct SdlDevice {
    bool audioSubsystem = false;   // SDL's audio subsystem started by us
    SDL_AudioDeviceID device = 0;  // 0 when none is open
    SoundCallback callback = nullptr;
};

SdlDevice sdl;

void SDLCALL callOut(void*, Uint8* stream, int byteCount) { sdl.callback(stream, byteCount); }

}  // namespace

bool openSoundDevice(int mixRate, int channelCount, uint16_t bufferFrames, SoundCallback callback) {
    closeSoundDevice();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    sdl.audioSubsystem = true;
    sdl.callback = callback;
    SDL_AudioSpec wanted{};
    wanted.freq = mixRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = static_cast<Uint8>(channelCount);
    wanted.samples = bufferFrames;
    wanted.callback = callOut;
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware takes.
    sdl.device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (sdl.device == 0) {
        closeSoundDevice();
        return false;
    }
    SDL_PauseAudioDevice(sdl.device, 0);
    return true;
}

void closeSoundDevice() {
    if (sdl.device != 0) {
        SDL_CloseAudioDevice(sdl.device);  // waits for the callback to return
        sdl.device = 0;
    }
    if (sdl.audioSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        sdl.audioSubsystem = false;
    }
}

void lockSoundDevice() {
    if (sdl.device != 0) SDL_LockAudioDevice(sdl.device);
}

void unlockSoundDevice() {
    if (sdl.device != 0) SDL_UnlockAudioDevice(sdl.device);
}

void pauseSoundDevice(bool paused) {
    if (sdl.device != 0) SDL_PauseAudioDevice(sdl.device, paused ? 1 : 0);
}

}  // namespace platform
