// The tracker-music player: the calls the show makes on its sound library,
// with their old names and arguments, over libopenmpt and an SDL audio
// device.
//
// A loaded song starts from its beginning the moment it is played, loops
// until it is stopped and falls silent the moment it is stopped; playing
// songs mix. Every call with a null handle does nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FMUSIC_MODULE;  // a loaded song; null when loading failed

void FSOUND_SetOutput(int outputType);
void FSOUND_SetBufferSize(int milliseconds);
// Opens the audio device at the mixing rate. Without a device (none present,
// or it fails to open) songs still load and the show goes on in silence.
void FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned flags);
void FSOUND_Close();

FMUSIC_MODULE* FMUSIC_LoadSong(const char* path);   // null when the file is not a module
bool FMUSIC_PlaySong(FMUSIC_MODULE* song);          // false when it did not start
void FMUSIC_StopSong(FMUSIC_MODULE* song);
void FMUSIC_FreeSong(FMUSIC_MODULE* song);

namespace platform {

// Where the mixed sound goes.
enum class SoundOutput {
    Device,   // the SDL audio device
    Silent,   // nothing is heard, but songs count as playing
    Capture,  // mixed on demand by renderSound (video capture, tests)
};
void selectSoundOutput(SoundOutput output);

// Mixes the playing songs into interleaved stereo 16-bit frames, as the
// device callback does. For the Capture and Silent outputs.
void renderSound(int16_t* frames, int frameCount);

bool songPlaying(const FMUSIC_MODULE* song);
// Length of one pass through the song's order list, in seconds (0 for null).
double songLengthSeconds(const FMUSIC_MODULE* song);
// What the module loader wrote to its log while loading the song, one
// message a line; empty for a clean load.
const std::vector<std::string>& songLoadLog(const FMUSIC_MODULE* song);
int soundMixRate();     // 0 before FSOUND_Init
bool soundDeviceOpen();

// Puts the player back to its state before FSOUND_SetOutput (tests).
void resetSound();

}  // namespace platform
