#include "show/music.h"

#include "show/sequencer.h"

FMUSIC_MODULE* introSong = nullptr;
FMUSIC_MODULE* mainSong = nullptr;

void placeSongs(uint32_t reading) {
    const double seconds = static_cast<double>(reading - songStartTime) / 1000.0;
    for (FMUSIC_MODULE* song : {introSong, mainSong})
        if (platform::songPlaying(song)) platform::setSongPosition(song, seconds);
}
