// The tracker-music player over libopenmpt and an SDL audio device. The
// show starts the output, loads, plays, stops and frees its songs through
// the FSOUND_ and FMUSIC_ functions below, one for each thing it does with
// sound, with the arguments the show passes.
//
// A loaded song starts from its beginning the moment it is played, loops
// until it is stopped and falls silent the moment it is stopped; playing
// songs mix. Every call with a null handle does nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FMUSIC_MODULE;  // a loaded song; null when loading failed

void FSOUND_SetOutput(int outputType);       // noted only: the output is selectSoundOutput's
void FSOUND_SetBufferSize(int milliseconds);  // the device buffer for the next FSOUND_Init: at most 1000, 40 for 0 or less
// Opens the audio device at the mixing rate (8000 to 192000 Hz; any other
// rate opens nothing). Without a device (none present, or it fails to open)
// songs still load and the show goes on in silence. The channel count and
// flags are noted only.
void FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned flags);
void FSOUND_Close();                          // stops every song and closes the device

// Null when the file is not a module. A song read ahead (readSongAhead) is
// taken as it was read.
FMUSIC_MODULE* FMUSIC_LoadSong(const char* path);
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

// Starts reading and parsing the song file at `path` on a thread of its own
// (the first song parsed also builds the mixer's tables), while the caller
// goes on (the display opening); FMUSIC_LoadSong of the same path takes
// what it made. Nothing where there are no threads (the page).
void readSongAhead(const char* path);

// Mixes the playing songs into interleaved stereo 16-bit frames, as the
// device callback does. For the Capture and Silent outputs.
void renderSound(int16_t* frames, int frameCount);

// A pause: the device stops asking for sound, so every song keeps its
// place until released. Nothing for the other outputs.
void holdSound(bool held);
// The device plays silence while muted; the songs play on in their places.
void muteSound(bool muted);
// Moves a loaded song to `seconds` after its start, to that moment's exact
// sample as the song plays from its start (looping as it does). Nothing for
// null.
void setSongPosition(FMUSIC_MODULE* song, double seconds);
// Starts that move ahead, on a thread of its own, while the caller goes on
// (a jump's frames); setSongPosition to the same moment then takes what it
// made. Stopping or freeing the song, closing the output or moving it
// elsewhere drops it. Nothing where there are no threads (the page), and for null.
void prepareSongPosition(FMUSIC_MODULE* song, double seconds);

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
