// The two songs of the show.
#pragma once

#include "platform/audio/sound.h"

extern FMUSIC_MODULE* introSong;  // "data/Tq_outro.xm", played during the slideshow
extern FMUSIC_MODULE* mainSong;   // "data/VELTO63K.XM", from the first scene switch to the end

constexpr const char* introSongPath = "data/Tq_outro.xm";
constexpr const char* mainSongPath = "data/VELTO63K.XM";
