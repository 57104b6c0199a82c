#include "show/music.h"

FMUSIC_MODULE* introSong = nullptr;
FMUSIC_MODULE* mainSong = nullptr;
uint32_t songStartTime = 0;

void placeSongs(uint32_t reading) {
    const double seconds = static_cast<double>(reading - songStartTime) / 1000.0;
    for (FMUSIC_MODULE* song : {introSong, mainSong})
        if (platform::songPlaying(song)) platform::setSongPosition(song, seconds);
}

void resetMusicState() {
    introSong = nullptr;
    mainSong = nullptr;
    songStartTime = 0;
}
