// The two songs, each in a file of its own.
#pragma once

#include "tools/makedata/xm_writer.h"

xm::Module introSong();  // song_intro.cpp: "harbour lights", under the slideshow
xm::Module mainSong();   // song_main.cpp: "velto 63k", under the other scenes
