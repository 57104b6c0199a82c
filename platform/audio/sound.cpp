// The tracker-music player over libopenmpt and a sound device (device.h).
//
// Sections:
//   1. songs and the mixer's state
//   2. mixing (shared by the device callback and renderSound)
//   3. the output: FSOUND_SetOutput, FSOUND_SetBufferSize, FSOUND_Init, FSOUND_Close
//   4. the songs: readSongAhead, FMUSIC_LoadSong, FMUSIC_PlaySong, FMUSIC_StopSong, FMUSIC_FreeSong
//   5. queries, capture and reset
//
// Threads: the device callback may run on the device's own thread and reads only the
// list of playing songs and their modules. Every change to that list, and
// every exchange of a playing song's module, is made with the device locked.
// A song's move to a moment may be mixed ahead on a thread of its own
// (prepareSongPosition), which touches nothing but its own copy of the file;
// so may a song's loading (readSongAhead), which touches nothing but its
// file and the song it makes.
// libopenmpt reports failures by exceptions; none leaves this file.
#include "platform/audio/sound.h"

#include "platform/audio/device.h"
#include "platform/system/regular_file.h"
#include "platform/system/testing.h"

#include <libopenmpt/libopenmpt.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <atomic>
#include <cmath>
#include <future>
#include <map>
#include <memory>
#include <sstream>
#include <string>

// ---------------------------------------------------------------------------
// 1. songs and the mixer's state

struct FMUSIC_MODULE {
    std::vector<char> bytes;                  // the file, for a fresh start on every play
    std::unique_ptr<openmpt::module> module;  // rendered by the mixer while playing
    std::vector<std::string> loadLog;         // the loader's messages, one a line
    bool playing = false;                     // changed on the show's thread only
    bool asLoaded = false;                    // the module is as loaded: never mixed nor moved
};

namespace {

constexpr int channelCount = 2;              // interleaved stereo
constexpr int defaultBufferMs = 40;          // until FSOUND_SetBufferSize says otherwise
constexpr int minMixRate = 8000;             // Hz, the range libopenmpt renders at
constexpr int maxMixRate = 192000;           // Hz
constexpr int mixChunkFrames = 1024;         // frames mixed per pass, so no buffer grows
constexpr int nearestSample = 1;             // interpolation filter taps: none
constexpr int playerFilter = 0;              // interpolation filter taps: the player's default

struct SongMixer {
    platform::SoundOutput selectedOutput = platform::SoundOutput::Device;  // for the next FSOUND_Init
    platform::SoundOutput output = platform::SoundOutput::Device;          // the one FSOUND_Init set up
    int bufferMs = defaultBufferMs;
    int mixRate = 0;                         // Hz; 0 until FSOUND_Init succeeds
    bool device = false;                     // a device is open
    std::vector<std::unique_ptr<FMUSIC_MODULE>> songs;  // every loaded song
    std::vector<FMUSIC_MODULE*> playing;     // read by the audio thread
    bool muted = false;                      // read by the audio thread
    std::array<int16_t, mixChunkFrames * channelCount> songBlock{};  // one song's frames
    std::array<int32_t, mixChunkFrames * channelCount> mixBlock{};   // the unsaturated sum

    // Songs being moved to a moment ahead of setSongPosition, on threads
    // of their own.
    struct Prepared {
        const FMUSIC_MODULE* song = nullptr;
        double seconds = 0.0;
        std::shared_ptr<std::atomic<bool>> dropped;  // the mixing stops early once set
        std::future<std::unique_ptr<openmpt::module>> module;
    };
    std::vector<Prepared> prepared;

    // Songs being read ahead of FMUSIC_LoadSong, by path.
    struct ReadAhead {
        std::string path;
        std::future<std::unique_ptr<FMUSIC_MODULE>> song;  // null: not a module
    };
    std::vector<ReadAhead> readAhead;

    ~SongMixer();
};

SongMixer mixer;

void closeDevice() {
    if (mixer.device) platform::closeSoundDevice();  // waits for the callback to return
    mixer.device = false;
}

// Drops the moves prepared for `song` (every song for null), waiting for
// their threads to stop.
void dropPrepared(const FMUSIC_MODULE* song) {
    for (SongMixer::Prepared& p : mixer.prepared)
        if (!song || p.song == song) p.dropped->store(true);
    std::erase_if(mixer.prepared, [song](const SongMixer::Prepared& p) { return !song || p.song == song; });
}

// The audio thread must be gone before the songs are destroyed at exit, and
// the threads that prepare moves before the mixer.
SongMixer::~SongMixer() {
    readAhead.clear();  // waits for each to finish
    dropPrepared(nullptr);
    closeDevice();
}

// Holds the device lock for its lifetime when a device is open.
class DeviceLock {
public:
    DeviceLock() : device_(mixer.device) {
        if (device_) platform::lockSoundDevice();
    }
    ~DeviceLock() {
        if (device_) platform::unlockSoundDevice();
    }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;
private:
    bool device_;
};

// The song behind a handle, or null for a null or unknown handle.
FMUSIC_MODULE* findSong(const FMUSIC_MODULE* song) {
    if (!song) return nullptr;
    for (auto& owned : mixer.songs)
        if (owned.get() == song) return owned.get();
    return nullptr;
}

// Whether FSOUND_Init left something for songs to play into.
bool outputReady() {
    if (mixer.mixRate == 0) return false;
    return mixer.output != platform::SoundOutput::Device || mixer.device;
}

// The device buffer in frames: the power of two nearest to the requested time.
uint16_t deviceBufferFrames(int mixRate, int bufferMs) {
    const long wanted = std::max(1L, static_cast<long>(mixRate) * bufferMs / 1000);
    long frames = 64;
    while (frames < 32768 && frames * 2 - wanted <= wanted - frames) frames *= 2;
    return static_cast<uint16_t>(frames);
}

// libopenmpt makes an empty song of an XM module cut inside its song header
// (the order list and the counts of patterns and instruments). Such a file
// is not a song: it must hold the whole header that it announces.
bool xmHeaderComplete(const std::vector<char>& bytes) {
    static constexpr char signature[] = "Extended Module: ";
    constexpr size_t signatureLength = sizeof signature - 1;
    constexpr size_t headerSizeAt = 60;      // bytes; the size counts from here
    if (bytes.size() < signatureLength || !std::equal(signature, signature + signatureLength, bytes.begin()))
        return true;                         // not an XM module: libopenmpt judges it alone
    if (bytes.size() < headerSizeAt + 4) return false;
    uint32_t headerSize = 0;
    for (int i = 3; i >= 0; --i) headerSize = headerSize << 8 | static_cast<uint8_t>(bytes[headerSizeAt + i]);
    return bytes.size() - headerSizeAt >= headerSize;
}

// A module ready to play: looping until stopped, and without dither, so that
// it renders the same every time it is played. Throws what libopenmpt throws.
// One played from its start does not need its length worked out at load
// (a run through the whole song, most of a load's time): libopenmpt then
// works it out when asked; one to be moved (seeking) has it made at load.
enum class ModuleUse { FromStart, Seeking };
std::unique_ptr<openmpt::module> openModule(const std::vector<char>& bytes, std::ostream& log,
                                            ModuleUse use = ModuleUse::FromStart) {
    const std::map<std::string, std::string> loading{
        {"load.skip_subsongs_init", use == ModuleUse::FromStart ? "1" : "0"}};
    auto module = std::make_unique<openmpt::module>(bytes, log, loading);
    module->set_repeat_count(-1);
    module->ctl_set_integer("dither", 0);
    return module;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// ---------------------------------------------------------------------------
// 2. mixing

// Sums every playing song into frames, saturated to 16 bits. The caller holds
// the device lock (or is the device callback, which the device runs locked).
void mixPlaying(int16_t* frames, int frameCount) {
    while (frameCount > 0) {
        const int chunk = std::min(frameCount, mixChunkFrames);
        const size_t samples = static_cast<size_t>(chunk) * channelCount;
        std::fill_n(mixer.mixBlock.begin(), samples, 0);
        for (FMUSIC_MODULE* song : mixer.playing) {
            size_t rendered = 0;
            try {
                rendered = song->module->read_interleaved_stereo(mixer.mixRate, chunk, mixer.songBlock.data());
            } catch (...) {
                rendered = 0;  // a song that cannot render is silent
            }
            for (size_t i = 0; i < rendered * channelCount; ++i) mixer.mixBlock[i] += mixer.songBlock[i];
        }
        for (size_t i = 0; i < samples; ++i)
            frames[i] = static_cast<int16_t>(std::clamp(mixer.mixBlock[i], -32768, 32767));
        frames += samples;
        frameCount -= chunk;
    }
}

void deviceCallback(uint8_t* stream, int byteCount) {
    const int frameCount = byteCount / static_cast<int>(channelCount * sizeof(int16_t));
    mixPlaying(reinterpret_cast<int16_t*>(stream), frameCount);
    // Muted, the songs are mixed all the same, so that they keep their places.
    if (mixer.muted) std::fill_n(stream, byteCount, uint8_t{0});
}

void stopAll() {
    DeviceLock lock;
    for (FMUSIC_MODULE* song : mixer.playing) song->playing = false;
    mixer.playing.clear();
}

}  // namespace

// ---------------------------------------------------------------------------
// 3. the output

// Where the sound goes is selectSoundOutput's choice; the output type the
// show asks for is only noted in the journal.
void FSOUND_SetOutput(int outputType) {
    platform::noteJournal("FSOUND_SetOutput " + std::to_string(outputType));
}

void FSOUND_SetBufferSize(int milliseconds) {
    platform::noteJournal("FSOUND_SetBufferSize " + std::to_string(milliseconds));
    mixer.bufferMs = milliseconds > 0 ? std::min(milliseconds, 1000) : defaultBufferMs;
}

void FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned flags) {
    platform::noteJournal("FSOUND_Init " + std::to_string(mixRate) + " " + std::to_string(maxSoftwareChannels) + " " +
                          std::to_string(flags));
    FSOUND_Close();
    if (mixRate < minMixRate || mixRate > maxMixRate) return;  // no output at all
    mixer.mixRate = mixRate;
    mixer.output = mixer.selectedOutput;
    if (mixer.output != platform::SoundOutput::Device) return;

    // No audio device leaves the show silent: songs load, but do not play.
    mixer.device = platform::openSoundDevice(mixRate, channelCount, deviceBufferFrames(mixRate, mixer.bufferMs),
                                              deviceCallback);
}

void FSOUND_Close() {
    dropPrepared(nullptr);
    stopAll();
    closeDevice();
    mixer.mixRate = 0;
}

// ---------------------------------------------------------------------------
// 4. the songs

namespace {

// The song file's bytes, read up to the size it had when it was opened.
// False for anything but a regular file (a pipe would block, a device never
// ends), for a file above maxSongBytes and on a read error. Throws bad_alloc.
bool readSongFile(const char* path, std::vector<char>& bytes) {
    constexpr uint64_t maxSongBytes = uint64_t{64} << 20;  // modules run from kilobytes to a few megabytes
    uint64_t size = 0;
    const int fd = platform::openRegularFile(path, size);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    if (size > maxSongBytes) return false;
    bytes.resize(static_cast<size_t>(size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;  // the file shrank since it was opened: keep what it holds
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return true;
}

// The song in the file at `path`, ready to play; null when the file is not
// a module or not readable: nothing half-made is kept.
std::unique_ptr<FMUSIC_MODULE> readSong(const std::string& path) {
    try {
        std::vector<char> bytes;
        if (!readSongFile(path.c_str(), bytes) || bytes.empty() || !xmHeaderComplete(bytes)) return nullptr;

        auto song = std::make_unique<FMUSIC_MODULE>();
        std::ostringstream log;
        song->module = openModule(bytes, log);
        song->loadLog = splitLines(log.str());
        song->bytes = std::move(bytes);
        song->asLoaded = true;
        return song;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

namespace platform {

void readSongAhead(const char* path) {
#ifndef __EMSCRIPTEN__
    if (!path) return;
    for (const SongMixer::ReadAhead& r : mixer.readAhead)
        if (r.path == path) return;
    mixer.readAhead.push_back({path, std::async(std::launch::async, [file = std::string(path)] { return readSong(file); })});
#else
    (void)path;
#endif
}

}  // namespace platform

FMUSIC_MODULE* FMUSIC_LoadSong(const char* path) {
    platform::noteJournal(std::string("FMUSIC_LoadSong ") + (path ? path : "(null)"));
    if (!path) return nullptr;
    std::unique_ptr<FMUSIC_MODULE> song;
    const auto ahead = std::find_if(mixer.readAhead.begin(), mixer.readAhead.end(),
                                    [path](const SongMixer::ReadAhead& r) { return r.path == path; });
    if (ahead != mixer.readAhead.end()) {
        song = ahead->song.get();
        mixer.readAhead.erase(ahead);
    } else {
        song = readSong(path);
    }
    if (!song) return nullptr;
    mixer.songs.push_back(std::move(song));
    return mixer.songs.back().get();
}

bool FMUSIC_PlaySong(FMUSIC_MODULE* handle) {
    FMUSIC_MODULE* song = findSong(handle);
    if (!song || !outputReady()) return false;
    // A module made afresh from the file starts exactly as on the first play;
    // seeking back to the start leaves the mixer's volume ramps a level off.
    // The loaded one is such a module until it is first played or moved.
    std::unique_ptr<openmpt::module> fresh;
    if (!song->asLoaded) {
        try {
            std::ostringstream ignored;
            fresh = openModule(song->bytes, ignored);
        } catch (...) {
            return false;
        }
    }
    {
        DeviceLock lock;
        if (!song->asLoaded) song->module.swap(fresh);
        song->asLoaded = false;
        if (!song->playing) {
            mixer.playing.push_back(song);
            song->playing = true;
        }
    }
    return true;  // the old module is destroyed here, outside the lock
}

void FMUSIC_StopSong(FMUSIC_MODULE* handle) {
    FMUSIC_MODULE* song = findSong(handle);
    if (!song || !song->playing) return;
    dropPrepared(song);  // a play starts it afresh
    DeviceLock lock;
    std::erase(mixer.playing, song);
    song->playing = false;
}

void FMUSIC_FreeSong(FMUSIC_MODULE* handle) {
    FMUSIC_MODULE* song = findSong(handle);
    if (!song) return;
    FMUSIC_StopSong(song);
    dropPrepared(song);
    // Off the playing list, the audio thread no longer reaches it.
    std::erase_if(mixer.songs, [song](const auto& owned) { return owned.get() == song; });
}

// ---------------------------------------------------------------------------
// 5. queries, capture and reset

namespace platform {

void selectSoundOutput(SoundOutput output) { mixer.selectedOutput = output; }

void renderSound(int16_t* frames, int frameCount) {
    if (!frames || frameCount <= 0) return;
    DeviceLock lock;
    if (mixer.mixRate == 0) {
        std::fill_n(frames, static_cast<size_t>(frameCount) * channelCount, int16_t{0});
        return;
    }
    mixPlaying(frames, frameCount);
}

void holdSound(bool held) {
    if (mixer.device) platform::pauseSoundDevice(held);
}

void muteSound(bool muted) {
    DeviceLock lock;
    mixer.muted = muted;
}

namespace {

// A song made afresh from its file and moved to `seconds` after its start,
// mixed at mixRate. A module's own seek lands on a row, and its seconds
// drift from the samples it mixes by each tick's rounding. So the song is
// mixed through to the moment's sample, as a capture plays it (a few
// hundred times faster than it plays). The interpolation filter shapes
// only the samples heard, not where the song stands, so all but the last
// second is mixed without it, at half the cost; that second is mixed with
// the player's own filter, so that what the mixer keeps of the samples it
// made (its click removal) is as in a song played through. Stops early,
// with a song not in place, once `dropped` is set. Throws what libopenmpt
// throws.
std::unique_ptr<openmpt::module> movedSong(const std::vector<char>& bytes, int mixRate, double seconds,
                                          const std::atomic<bool>& dropped) {
    std::ostringstream ignored;
    std::unique_ptr<openmpt::module> placed = openModule(bytes, ignored, ModuleUse::Seeking);
    if (mixRate > 0) {
        std::array<int16_t, mixChunkFrames * channelCount> unheard{};
        auto left = static_cast<int64_t>(std::llround(std::max(seconds, 0.0) * mixRate));
        const int64_t filteredFrames = mixRate;
        placed->set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, nearestSample);
        while (left > 0 && !dropped.load(std::memory_order_relaxed)) {
            if (left <= filteredFrames)
                placed->set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, playerFilter);
            const int64_t part = left > filteredFrames ? left - filteredFrames : left;
            const auto chunk = static_cast<size_t>(std::min<int64_t>(part, mixChunkFrames));
            const size_t rendered = placed->read_interleaved_stereo(mixRate, chunk, unheard.data());
            if (rendered == 0) break;  // the song ended there
            left -= static_cast<int64_t>(rendered);
        }
        placed->set_render_param(openmpt::module::RENDER_INTERPOLATIONFILTER_LENGTH, playerFilter);
    } else {
        const double length = placed->get_duration_seconds();
        placed->set_position_seconds(length > 0.0 ? std::fmod(std::max(seconds, 0.0), length) : 0.0);
    }
    return placed;
}

}  // namespace

void prepareSongPosition(FMUSIC_MODULE* handle, double seconds) {
#ifndef __EMSCRIPTEN__
    const FMUSIC_MODULE* song = findSong(handle);
    if (!song) return;
    for (const SongMixer::Prepared& p : mixer.prepared)
        if (p.song == song && p.seconds == seconds) return;
    SongMixer::Prepared p{song, seconds, std::make_shared<std::atomic<bool>>(false), {}};
    p.module = std::async(std::launch::async, [bytes = song->bytes, rate = mixer.mixRate, seconds, dropped = p.dropped] {
        return movedSong(bytes, rate, seconds, *dropped);
    });
    mixer.prepared.push_back(std::move(p));
#else
    // The page has no threads: the move is mixed when it is made.
    (void)handle;
    (void)seconds;
#endif
}

void setSongPosition(FMUSIC_MODULE* handle, double seconds) {
    FMUSIC_MODULE* song = findSong(handle);
    if (!song) return;
    // 1. The song at the moment: the one prepared for it, or mixed now, away
    //    from the device's lock. Other moves prepared for it are dropped.
    std::unique_ptr<openmpt::module> placed;
    const auto ready = std::find_if(mixer.prepared.begin(), mixer.prepared.end(), [&](const SongMixer::Prepared& p) {
        return p.song == song && p.seconds == seconds;
    });
    try {
        if (ready != mixer.prepared.end()) {
            std::future<std::unique_ptr<openmpt::module>> made = std::move(ready->module);
            mixer.prepared.erase(ready);
            dropPrepared(song);
            placed = made.get();
        } else {
            dropPrepared(song);
            const std::atomic<bool> never{false};
            placed = movedSong(song->bytes, mixer.mixRate, seconds, never);
        }
    } catch (...) {
        return;  // a song that cannot be made again plays on from where it is
    }

    // 2. Put in place.
    DeviceLock lock;
    song->module.swap(placed);  // the old module is destroyed on return, after the lock
    song->asLoaded = false;
}

bool songPlaying(const FMUSIC_MODULE* handle) {
    const FMUSIC_MODULE* song = findSong(handle);
    return song && song->playing;
}

double songLengthSeconds(const FMUSIC_MODULE* handle) {
    const FMUSIC_MODULE* song = findSong(handle);
    if (!song) return 0.0;
    try {
        return song->module->get_duration_seconds();
    } catch (...) {
        return 0.0;
    }
}

const std::vector<std::string>& songLoadLog(const FMUSIC_MODULE* handle) {
    static const std::vector<std::string> none;
    const FMUSIC_MODULE* song = findSong(handle);
    return song ? song->loadLog : none;
}

int soundMixRate() { return mixer.mixRate; }

bool soundDeviceOpen() { return mixer.device; }

void resetSound() {
    mixer.readAhead.clear();
    FSOUND_Close();
    mixer.songs.clear();
    mixer.selectedOutput = SoundOutput::Device;
    mixer.output = SoundOutput::Device;
    mixer.bufferMs = defaultBufferMs;
    mixer.muted = false;
}

}  // namespace platform
