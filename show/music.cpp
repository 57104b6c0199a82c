#include "show/music.h"

FMUSIC_MODULE* introSong = nullptr;
FMUSIC_MODULE* mainSong = nullptr;
uint32_t songStartTime = 0;

namespace {
// The playing song's own seconds at a clock reading.
double songSecondsAt(uint32_t reading) { return static_cast<double>(reading - songStartTime) / 1000.0; }
}  // namespace

void placeSongs(uint32_t reading) {
    for (FMUSIC_MODULE* song : {introSong, mainSong})
        if (platform::songPlaying(song)) platform::setSongPosition(song, songSecondsAt(reading));
}

void preparePlacingSongs(uint32_t reading) {
    for (FMUSIC_MODULE* song : {introSong, mainSong})
        if (platform::songPlaying(song)) platform::prepareSongPosition(song, songSecondsAt(reading));
}

void resetMusicState() {
    introSong = nullptr;
    mainSong = nullptr;
    songStartTime = 0;
}
