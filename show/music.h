// The two songs of the show.
#pragma once

#include <cstdint>

#include "platform/audio/sound.h"

extern FMUSIC_MODULE* introSong;  // "data/Tq_outro.xm", played during the slideshow
extern FMUSIC_MODULE* mainSong;   // "data/VELTO63K.XM", from the first scene switch to the end

constexpr const char* introSongPath = "data/Tq_outro.xm";
constexpr const char* mainSongPath = "data/VELTO63K.XM";

extern uint32_t songStartTime;    // ms, the clock reading the current song started at

// Forgets the songs (their players are the sound's to free) and their start.
void resetMusicState();

// Moves the song that plays to where it is at clock reading `reading`,
// counted from songStartTime: for the end of a jump, whose frames ran with
// the sound held.
void placeSongs(uint32_t reading);
// Starts that move for the song playing now, beside the frames that lead
// there (the song that plays at `reading` may start on the way: call it
// again then).
void preparePlacingSongs(uint32_t reading);
