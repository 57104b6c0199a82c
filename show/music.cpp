#include "show/music.h"

FMUSIC_MODULE* introSong = nullptr;
FMUSIC_MODULE* mainSong = nullptr;
