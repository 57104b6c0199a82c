// The music player with real libopenmpt on real module files: tiny XM songs
// are made here with makedata's XM writer, written to disk, loaded, played
// and mixed through the Capture output, so no sound card is needed.
#include "platform/audio/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/nonregular_files.h"
#include "tests/support/support.h"
#include "tools/makedata/xm_writer.h"

namespace {

using testing_support::ScratchDir;

constexpr int mixRate = 44100;             // Hz, as the show asks
constexpr int speedTicks = 6;              // ticks a row
constexpr int tempoBpm = 125;              // 2.5 / 125 = 20 ms a tick
constexpr int patternRows = 16;
constexpr double songSeconds = patternRows * speedTicks * 0.02;  // one pass: 1.92 s
constexpr double halfTickSeconds = 0.01;  // the length is counted in ticks of 0.02 s
constexpr int blockFrames = 4410;          // 100 ms

// --- building an XM module --------------------------------------------------

struct XmLayout {
    std::vector<uint8_t> bytes;
    size_t headerEnd = 0;       // the end of the 336-byte song header
    size_t patternDataAt = 0;   // the first byte of the packed pattern rows
    size_t sampleDataAt = 0;    // the first byte of the sample's delta data
};

// One channel, one pattern of 16 rows with a note every 4 rows (noteOffset
// shifts them), one instrument holding a looped square wave at half of full
// scale, played at sampleVolume (0 to 64).
XmLayout buildXm(int noteOffset, int sampleVolume = 48) {
    xm::Module song;
    song.name = "test song";
    song.channels = 1;
    song.speed = speedTicks;
    song.bpm = tempoBpm;
    song.orders = {0};
    xm::Pattern pattern(1, patternRows);
    const int notes[4] = {49, 53, 56, 61};  // C-4, E-4, G-4, C-5
    for (int i = 0; i < 4; ++i) pattern.at(4 * i, 0) = {.note = uint8_t(notes[i] + noteOffset), .instrument = 1};
    song.patterns = {pattern};

    constexpr int period = 32;  // samples per square-wave cycle
    constexpr int cycles = 4;
    xm::Instrument square{.name = "square", .loopLength = period * cycles, .volume = sampleVolume};
    for (int i = 0; i < period * cycles; ++i) square.samples.push_back(i % period < period / 2 ? 16384 : -16384);
    song.instruments = {square};

    XmLayout layout{xm::write(song)};
    layout.headerEnd = xm::songHeaderBytes;
    layout.patternDataAt = xm::songHeaderBytes + xm::patternHeaderBytes;
    layout.sampleDataAt = layout.bytes.size() - square.samples.size() * 2;  // the last bytes of the file
    return layout;
}

// --- helpers ------------------------------------------------------------------

std::vector<int16_t> render(int frameCount) {
    std::vector<int16_t> frames(static_cast<size_t>(frameCount) * 2, int16_t{-1});
    platform::renderSound(frames.data(), frameCount);
    return frames;
}

int peak(const std::vector<int16_t>& frames) {
    int most = 0;
    for (int16_t s : frames) most = std::max(most, std::abs(static_cast<int>(s)));
    return most;
}

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override { platform::resetSound(); }
    void TearDown() override { platform::resetSound(); }

    // The show's own start-up order, onto the given output.
    static void startSound(platform::SoundOutput output) {
        platform::selectSoundOutput(output);
        FSOUND_SetOutput(2);
        FSOUND_SetBufferSize(40);
        FSOUND_Init(mixRate, 32, 0);
    }

    ScratchDir scratch;
};

// --- tests --------------------------------------------------------------------

TEST_F(SoundTest, LoadsPlaysStopsAndFreesARealModule) {
    startSound(platform::SoundOutput::Capture);
    EXPECT_EQ(platform::soundMixRate(), mixRate);
    EXPECT_FALSE(platform::soundDeviceOpen());

    FMUSIC_MODULE* song = FMUSIC_LoadSong(scratch.write("song.xm", buildXm(0).bytes).c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(platform::songLoadLog(song).empty())
        << "first log line: " << platform::songLoadLog(song).front();
    EXPECT_NEAR(platform::songLengthSeconds(song), songSeconds, halfTickSeconds) << "one pass of the song";
    EXPECT_FALSE(platform::songPlaying(song));
    EXPECT_EQ(peak(render(blockFrames)), 0) << "nothing plays before FMUSIC_PlaySong";

    EXPECT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_TRUE(platform::songPlaying(song));
    EXPECT_GT(peak(render(blockFrames)), 1000) << "a playing square wave is loud";

    FMUSIC_StopSong(song);
    EXPECT_FALSE(platform::songPlaying(song));
    EXPECT_EQ(peak(render(blockFrames)), 0) << "a stopped song is silent at once";

    FMUSIC_FreeSong(song);
    EXPECT_FALSE(platform::songPlaying(song));
    EXPECT_EQ(platform::songLengthSeconds(song), 0.0) << "a freed handle is unknown";
}

// A song read ahead, while the display opens, is the one loaded then,
// playing as a song loaded at once plays; a file that is no module is null
// all the same, and a second load of the path reads the file again.
TEST_F(SoundTest, ASongReadAheadIsTheOneLoaded) {
    startSound(platform::SoundOutput::Capture);
    const std::string path = scratch.write("song.xm", buildXm(0).bytes);
    const std::string missing = (scratch.path() / "missing.xm").string();
    for (const std::string& p : {path, missing}) platform::readSongAhead(p.c_str());

    FMUSIC_MODULE* ahead = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(ahead, nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(missing.c_str()), nullptr);
    EXPECT_NEAR(platform::songLengthSeconds(ahead), songSeconds, halfTickSeconds) << "the song read ahead";
    EXPECT_TRUE(FMUSIC_PlaySong(ahead));
    EXPECT_GT(peak(render(blockFrames)), 1000);
    FMUSIC_MODULE* again = FMUSIC_LoadSong(path.c_str());
    EXPECT_NE(again, nullptr);
    EXPECT_NE(again, ahead);
}

TEST_F(SoundTest, PlayStartsFromTheBeginningAndLoopsUntilStopped) {
    startSound(platform::SoundOutput::Capture);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(scratch.write("song.xm", buildXm(0).bytes).c_str());
    ASSERT_NE(song, nullptr);

    ASSERT_TRUE(FMUSIC_PlaySong(song));
    const std::vector<int16_t> first = render(blockFrames);
    render(blockFrames * 7);  // well into the third note
    ASSERT_TRUE(FMUSIC_PlaySong(song)) << "playing a playing song restarts it";
    EXPECT_EQ(render(blockFrames), first) << "restart while playing";

    FMUSIC_StopSong(song);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_EQ(render(blockFrames), first) << "restart after a stop";

    // Three passes through a 1.92 s song: the third still sounds.
    const int passFrames = static_cast<int>(songSeconds * mixRate);
    render(passFrames * 2);
    const std::vector<int16_t> third = render(passFrames);
    EXPECT_EQ(third.size(), static_cast<size_t>(passFrames) * 2);
    EXPECT_GT(peak(third), 1000) << "the song loops";
    EXPECT_GT(peak(std::vector<int16_t>(third.end() - blockFrames * 2, third.end())), 1000)
        << "the end of the third pass still sounds";
}

TEST_F(SoundTest, PlayingSongsMixAsTheSaturatedSum) {
    startSound(platform::SoundOutput::Capture);
    FMUSIC_MODULE* low = FMUSIC_LoadSong(scratch.write("low.xm", buildXm(0).bytes).c_str());
    FMUSIC_MODULE* high = FMUSIC_LoadSong(scratch.write("high.xm", buildXm(7).bytes).c_str());
    ASSERT_NE(low, nullptr);
    ASSERT_NE(high, nullptr);

    constexpr int frames = blockFrames * 5;
    ASSERT_TRUE(FMUSIC_PlaySong(low));
    const std::vector<int16_t> lowAlone = render(frames);
    FMUSIC_StopSong(low);
    ASSERT_TRUE(FMUSIC_PlaySong(high));
    const std::vector<int16_t> highAlone = render(frames);
    ASSERT_NE(lowAlone, highAlone);

    ASSERT_TRUE(FMUSIC_PlaySong(low));
    ASSERT_TRUE(FMUSIC_PlaySong(high));
    const std::vector<int16_t> both = render(frames);
    int mismatches = 0, firstMismatch = -1;
    for (size_t i = 0; i < both.size(); ++i) {
        const int sum = std::clamp(lowAlone[i] + highAlone[i], -32768, 32767);
        if (both[i] != sum && mismatches++ == 0) firstMismatch = static_cast<int>(i);
    }
    EXPECT_EQ(mismatches, 0) << "first at sample " << firstMismatch;

    // Freeing a playing song stops it first; the other plays on alone.
    FMUSIC_FreeSong(high);
    ASSERT_TRUE(FMUSIC_PlaySong(low));
    EXPECT_EQ(render(frames), lowAlone);
}

TEST_F(SoundTest, ALoudMixClipsInsteadOfWrappingAround) {
    startSound(platform::SoundOutput::Capture);
    constexpr int copies = 10;  // ten full-volume square waves overflow 16 bits
    const std::string path = scratch.write("loud.xm", buildXm(0, 64).bytes);
    std::vector<FMUSIC_MODULE*> songs;
    for (int i = 0; i < copies; ++i) songs.push_back(FMUSIC_LoadSong(path.c_str()));
    ASSERT_NE(songs.back(), nullptr);

    ASSERT_TRUE(FMUSIC_PlaySong(songs[0]));
    const std::vector<int16_t> alone = render(blockFrames);
    ASSERT_GT(peak(alone) * copies, 32767) << "the mix must overflow for this test";
    for (FMUSIC_MODULE* song : songs) ASSERT_TRUE(FMUSIC_PlaySong(song));
    const std::vector<int16_t> all = render(blockFrames);
    int mismatches = 0, firstMismatch = -1;
    for (size_t i = 0; i < all.size(); ++i) {
        const int sum = std::clamp(alone[i] * copies, -32768, 32767);
        if (all[i] != sum && mismatches++ == 0) firstMismatch = static_cast<int>(i);
    }
    EXPECT_EQ(mismatches, 0) << "first at sample " << firstMismatch;
    EXPECT_EQ(peak(all), 32768);
}

TEST_F(SoundTest, FilesThatAreNoModulesLoadAsNull) {
    startSound(platform::SoundOutput::Capture);
    const XmLayout xm = buildXm(0);
    std::vector<uint8_t> noise(4096);
    std::mt19937 random(7);
    for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());

    EXPECT_EQ(FMUSIC_LoadSong((scratch.path() / "missing.xm").c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(scratch.path().c_str()), nullptr) << "a directory";
    EXPECT_EQ(FMUSIC_LoadSong(nullptr), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(scratch.write("empty.xm", {}).c_str()), nullptr);
    EXPECT_EQ(FMUSIC_LoadSong(scratch.write("noise.xm", noise).c_str()), nullptr);
    for (size_t cut : {size_t{16}, size_t{60}, size_t{200}, xm.headerEnd - 1}) {
        const std::vector<uint8_t> head(xm.bytes.begin(), xm.bytes.begin() + cut);
        EXPECT_EQ(FMUSIC_LoadSong(scratch.write("head.xm", head).c_str()), nullptr) << "cut at " << cut;
    }
    EXPECT_EQ(peak(render(blockFrames)), 0);
}

// Only a regular file of at most 64 MB is read as a song: a pipe is not
// waited on, a device is not read for ever, and a module padded past the
// bound is refused while the same module with a little padding loads.
TEST_F(SoundTest, OnlyRegularFilesOfSongSizeAreRead) {
    startSound(platform::SoundOutput::Capture);
    const std::string good = scratch.write("good.xm", buildXm(0).bytes);
    const std::filesystem::path song = scratch.path() / "song.xm";
    {
        nonregular_files::BlockGuard guard;
        for (const nonregular_files::Kind& kind : nonregular_files::kinds) {
            kind.make(song);
            EXPECT_EQ(FMUSIC_LoadSong(song.c_str()), nullptr) << kind.what;
        }
    }

    std::filesystem::remove_all(song);
    std::filesystem::create_symlink(good, song);
    EXPECT_NE(FMUSIC_LoadSong(song.c_str()), nullptr) << "a link to a good song";

    constexpr uintmax_t megabyte = uintmax_t{1} << 20;
    const struct { uintmax_t bytes; bool loads; } padded[] = {{1 * megabyte, true}, {65 * megabyte, false}};
    for (const auto& p : padded) {
        const std::string path = scratch.write("padded.xm", buildXm(0).bytes);
        std::filesystem::resize_file(path, p.bytes);  // the padding is a hole: no disk is used
        EXPECT_EQ(FMUSIC_LoadSong(path.c_str()) != nullptr, p.loads) << p.bytes << " bytes";
    }
}

TEST_F(SoundTest, ModulesCutInTheirDataPlayWithoutHarm) {
    startSound(platform::SoundOutput::Capture);
    const XmLayout xm = buildXm(0);
    for (size_t cut : {xm.headerEnd + 4, xm.patternDataAt + 17, xm.sampleDataAt - 20, xm.sampleDataAt + 50}) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of " + std::to_string(xm.bytes.size()));
        const std::vector<uint8_t> part(xm.bytes.begin(), xm.bytes.begin() + cut);
        FMUSIC_MODULE* song = FMUSIC_LoadSong(scratch.write("cut.xm", part).c_str());
        if (!song) continue;  // refusing is as good as recovering
        EXPECT_TRUE(FMUSIC_PlaySong(song));
        const std::vector<int16_t> frames = render(static_cast<int>(songSeconds * mixRate) * 2);
        EXPECT_EQ(frames.size(), static_cast<size_t>(songSeconds * mixRate) * 4);
        FMUSIC_FreeSong(song);
        EXPECT_EQ(peak(render(blockFrames)), 0);
    }
}

TEST_F(SoundTest, NullHandlesAreHarmless) {
    // Before any start-up, as a shutdown after a failed start would call them.
    FMUSIC_StopSong(nullptr);
    FMUSIC_FreeSong(nullptr);
    EXPECT_FALSE(FMUSIC_PlaySong(nullptr));

    startSound(platform::SoundOutput::Capture);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(scratch.write("song.xm", buildXm(0).bytes).c_str());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_FALSE(FMUSIC_PlaySong(nullptr));
    FMUSIC_StopSong(nullptr);
    FMUSIC_FreeSong(nullptr);
    EXPECT_FALSE(platform::songPlaying(nullptr));
    EXPECT_EQ(platform::songLengthSeconds(nullptr), 0.0);
    EXPECT_TRUE(platform::songLoadLog(nullptr).empty());
    EXPECT_TRUE(platform::songPlaying(song)) << "null calls leave the playing song alone";
    EXPECT_GT(peak(render(blockFrames)), 1000);
}

TEST_F(SoundTest, SilentOutputCountsAsPlaying) {
    startSound(platform::SoundOutput::Silent);
    EXPECT_FALSE(platform::soundDeviceOpen());
    FMUSIC_MODULE* song = FMUSIC_LoadSong(scratch.write("song.xm", buildXm(0).bytes).c_str());
    ASSERT_NE(song, nullptr);
    EXPECT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_TRUE(platform::songPlaying(song));
}

TEST_F(SoundTest, WithoutAnOutputSongsLoadButDoNotPlay) {
    const std::string song = scratch.write("song.xm", buildXm(0).bytes);

    // Never initialised, as at a shutdown that runs before start-up.
    FMUSIC_MODULE* early = FMUSIC_LoadSong(song.c_str());
    ASSERT_NE(early, nullptr);
    EXPECT_FALSE(FMUSIC_PlaySong(early));
    FMUSIC_StopSong(early);
    FMUSIC_FreeSong(early);

    // An audio driver that does not exist: SDL's audio cannot start.
    const char* previous = std::getenv("SDL_AUDIODRIVER");
    const std::string saved = previous ? previous : "";
    setenv("SDL_AUDIODRIVER", "nonexistent", 1);
    startSound(platform::SoundOutput::Device);
    if (previous) setenv("SDL_AUDIODRIVER", saved.c_str(), 1); else unsetenv("SDL_AUDIODRIVER");

    EXPECT_FALSE(platform::soundDeviceOpen());
    FMUSIC_MODULE* loaded = FMUSIC_LoadSong(song.c_str());
    ASSERT_NE(loaded, nullptr) << "songs load without a device";
    EXPECT_FALSE(FMUSIC_PlaySong(loaded)) << "nothing can play without a device";
    EXPECT_FALSE(platform::songPlaying(loaded));
    FMUSIC_StopSong(loaded);
    FMUSIC_FreeSong(loaded);
}

TEST_F(SoundTest, DeviceOutputPlaysOnTheAudioThread) {
    // SDL's dummy driver runs a real audio thread that pulls from the mixer.
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    startSound(platform::SoundOutput::Device);
    unsetenv("SDL_AUDIODRIVER");
    if (!platform::soundDeviceOpen()) GTEST_SKIP() << "this SDL has no dummy audio driver";

    FMUSIC_MODULE* first = FMUSIC_LoadSong(scratch.write("a.xm", buildXm(0).bytes).c_str());
    FMUSIC_MODULE* second = FMUSIC_LoadSong(scratch.write("b.xm", buildXm(7).bytes).c_str());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    // Play, restart, stop and free while the thread mixes.
    for (int round = 0; round < 50; ++round) {
        EXPECT_TRUE(FMUSIC_PlaySong(first));
        EXPECT_TRUE(FMUSIC_PlaySong(second));
        FMUSIC_StopSong(first);
    }
    FMUSIC_FreeSong(second);
    EXPECT_TRUE(FMUSIC_PlaySong(first));
    FSOUND_Close();
    EXPECT_FALSE(platform::soundDeviceOpen());
    EXPECT_FALSE(platform::songPlaying(first)) << "closing the output stops every song";
    FMUSIC_FreeSong(first);
}

// A song moved to a moment mixes, sample for sample, what the song played
// through mixes from that moment on: moments within the first second, and
// past it, where most of the way there is mixed without interpolation;
// mixed when moved, or ahead on a thread of its own, for that moment or
// another.
TEST_F(SoundTest, AMovedSongMixesWhatThePlayedOneMixesFromItsMoment) {
    const std::string path = scratch.write("a.xm", buildXm(0).bytes);
    startSound(platform::SoundOutput::Capture);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    const std::vector<int16_t> whole = render(static_cast<int>(songSeconds * mixRate) * 3);
    // Rows: the moment, and the one the move was prepared for ahead (-1: none).
    for (const auto& [moment, prepared] : {std::pair{0.35, -1.0}, {2.61, 2.61}, {4.2, 3.0}}) {
        if (prepared >= 0.0) platform::prepareSongPosition(song, prepared);
        platform::setSongPosition(song, moment);
        const std::vector<int16_t> placed = render(mixRate / 2);
        const auto from = whole.begin() + std::llround(moment * mixRate) * 2;
        EXPECT_TRUE(std::equal(placed.begin(), placed.end(), from)) << "moved to " << moment << " s";
    }
    FMUSIC_FreeSong(song);
    // A song moved before its first play still starts that play from the beginning.
    FMUSIC_MODULE* unplayed = FMUSIC_LoadSong(path.c_str());
    platform::setSongPosition(unplayed, 2.61);
    ASSERT_TRUE(FMUSIC_PlaySong(unplayed));
    EXPECT_EQ(render(blockFrames), std::vector<int16_t>(whole.begin(), whole.begin() + blockFrames * 2));
    FMUSIC_FreeSong(unplayed);
}

// A jump moves a playing song to a moment between two rows, with the
// device held; once it runs again the device plays from that moment's exact
// sample. Recorded by SDL's disk driver and held against the song rendered
// straight through: within 40 ms, where a seek to the row before would be
// 110 ms early. Each window holds the note that starts at the next row of
// four, which no other shift of the looped square wave matches.
TEST_F(SoundTest, AfterAJumpTheDevicePlaysFromTheMomentsSample) {
    const std::string path = scratch.write("a.xm", buildXm(0).bytes);
    startSound(platform::SoundOutput::Capture);
    FMUSIC_MODULE* song = FMUSIC_LoadSong(path.c_str());
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    const std::vector<int16_t> whole = render(static_cast<int>(songSeconds * mixRate));
    FMUSIC_FreeSong(song);
    platform::resetSound();

    constexpr long window = mixRate / 4;                 // stereo frames compared
    constexpr double tolerance = 0.040;                  // s
    const auto waitForBytes = [](const std::string& file, uintmax_t bytes) {
        std::error_code absent;
        for (int turn = 0; turn < 500 && std::filesystem::file_size(file, absent) < bytes; ++turn)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::filesystem::file_size(file, absent) >= bytes;
    };
    for (const double moment : {0.35, 1.19}) {          // 110 ms into rows 2 and 9
        SCOPED_TRACE("moved to " + std::to_string(moment) + " s");
        const std::string recorded = (scratch.path() / "device.raw").string();
        std::filesystem::remove(recorded);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", recorded.c_str(), 1);
        startSound(platform::SoundOutput::Device);
        unsetenv("SDL_AUDIODRIVER");
        unsetenv("SDL_DISKAUDIOFILE");
        if (!platform::soundDeviceOpen()) GTEST_SKIP() << "this SDL has no disk audio driver";
        song = FMUSIC_LoadSong(path.c_str());
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(FMUSIC_PlaySong(song));

        // 1. Held for a third of a second (the driver writes silence), moved,
        //    and let run for half a second more.
        platform::holdSound(true);
        ASSERT_TRUE(waitForBytes(recorded, mixRate * 4 / 3)) << "the disk driver writes nothing";
        platform::setSongPosition(song, moment);
        const uintmax_t held = std::filesystem::file_size(recorded);
        platform::holdSound(false);
        ASSERT_TRUE(waitForBytes(recorded, held + mixRate * 4 / 2));
        FSOUND_Close();
        FMUSIC_FreeSong(song);

        // 2. The sound after the longest silence, against the song at every
        //    shift within 200 ms of the moment.
        std::vector<int16_t> device(std::filesystem::file_size(recorded) / 2);
        std::FILE* in = std::fopen(recorded.c_str(), "rb");
        ASSERT_NE(in, nullptr);
        device.resize(std::fread(device.data(), 2, device.size(), in));
        std::fclose(in);
        long start = 0, silent = 0, longest = 0;
        for (long i = 0; i + 1 < static_cast<long>(device.size()); i += 2) {
            silent = device[i] == 0 && device[i + 1] == 0 ? silent + 1 : 0;
            if (silent > longest) {
                longest = silent;
                start = i / 2 + 1;
            }
        }
        ASSERT_GE(static_cast<long>(device.size() / 2), start + window) << "too little sound after the hold";
        const auto correlation = [&](long at) {
            double both = 0, mine = 0, theirs = 0;
            for (long i = 0; i < window * 2; ++i) {
                const double d = device[start * 2 + i], w = whole[at * 2 + i];
                both += d * w;
                mine += d * d;
                theirs += w * w;
            }
            return both / std::sqrt(mine * theirs + 1.0);
        };
        const long expected = std::lround(moment * mixRate);
        long best = expected;
        double bestCorrelation = -2.0;
        for (long at = expected - mixRate / 5; at <= expected + mixRate / 5; ++at) {
            const double c = correlation(at);
            if (c > bestCorrelation) {
                best = at;
                bestCorrelation = c;
            }
        }
        EXPECT_NEAR(static_cast<double>(best) / mixRate, moment, tolerance)
            << "the device played from " << static_cast<double>(best) / mixRate << " s of the song";
        EXPECT_GT(bestCorrelation, 0.9) << "the recorded sound is not the song";
    }
}

}  // namespace
