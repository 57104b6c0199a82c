// CPU time that mixing the two songs takes, as a share of one core: each
// song is rendered on its own at 44100 Hz for a minute of sound, the way the
// player mixes for the sound device, and the process's CPU time is divided
// by the length of the sound made. Run it where the show's data/ folder is.
//
//   music_bench [SECONDS]      (default 60 s of each song)
//
// Prints one line per song and a last line "music-cpu <share>" for both.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/audio/sound.h"
#include "show/music.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 60.0;
    if (!(seconds > 0.0)) {
        std::fprintf(stderr, "usage: music_bench [SECONDS]\n");
        return 2;
    }
    constexpr int rate = 44100;
    constexpr int block = 1024;  // stereo frames a call
    platform::selectSoundOutput(platform::SoundOutput::Capture);
    FSOUND_Init(rate, 32, 0);
    std::vector<int16_t> buffer(block * 2);
    double total = 0.0;
    for (const char* path : {introSongPath, mainSongPath}) {
        FMUSIC_MODULE* song = FMUSIC_LoadSong(path);
        if (song == nullptr) {
            std::fprintf(stderr, "music_bench: cannot load %s (run it where data/ is)\n", path);
            return 1;
        }
        FMUSIC_PlaySong(song);
        const long frames = static_cast<long>(seconds * rate);
        const double before = cpuSeconds();
        for (long done = 0; done < frames; done += block) platform::renderSound(buffer.data(), block);
        const double share = (cpuSeconds() - before) / seconds;
        std::printf("%-20s %.4f of a core\n", path, share);
        total += share;
        FMUSIC_StopSong(song);
        FMUSIC_FreeSong(song);
    }
    std::printf("music-cpu %.4f\n", total);
    FSOUND_Close();
    return 0;
}
