// The intro song: "harbour lights", a calm chiptune in A minor, 100 beats
// a minute, seven patterns of 9.6 s, 67 s before it starts over.
#include <vector>

#include "tools/makedata/composing.h"
#include "tools/makedata/instruments.h"
#include "tools/makedata/songs.h"

using xm::Cell;

xm::Module introSong() {
    enum Channel { drums, hats, bass, arp, lead, echoes, padding, channelCount };
    enum Ins { kick = 1, snare, hat, openHat, triangleBass, pluck, square, choir };
    xm::Module song;
    song.name = "harbour lights";
    song.channels = channelCount;
    song.speed = 6;
    song.bpm = 100;
    song.restart = 0;
    song.instruments = {
        drumInstrument("soft kick", kickSound(48.0f, 0.35f, 0.9f), 128),
        drumInstrument("brush snare", snareSound(0.25f, 0.7f, 0.3f), 140),
        drumInstrument("hat", hissSound(0.06f, 0.9975f, 0.0f, 0x4A7u), 176),
        drumInstrument("open hat", hissSound(0.35f, 0.99985f, 0.3f, 0x0A7u), 176),
        waveInstrument("triangle bass", triangleWave, 0.0f, 1, 0, {{{0, 64}, {6, 52}, {40, 44}}, 2}, 1200, 128),
        waveInstrument("pulse pluck 25%", pulseWave, 0.25f, 1, 1, {{{0, 64}, {10, 36}, {40, 22}, {90, 0}}, -1}, 0, 84),
        waveInstrument("square lead", pulseWave, 0.5f, 1, 2, {{{0, 44}, {4, 64}, {16, 52}, {60, 46}}, 3}, 700, 144),
        waveInstrument("chorus pad", sawWave, 0.0f, 64, 4, {{{0, 0}, {40, 42}, {90, 38}}, 2}, 300, 110),
    };

    const Voice leadVoice{lead, square, 46, 0x34, 0x10};
    const std::vector<int> softArp{28, 16, 22, 16}, arp2{34, 18, 26, 18};
    auto drumsBar = [&](Pattern& p, int bar, bool full, bool fill) {
        int b = bar * rowsPerBar;
        setNote(p, b + 0, drums, drumNote, kick, 56);
        if (full) {
            setNote(p, b + 4, drums, drumNote, snare, 40);
            setNote(p, b + 10, drums, drumNote, kick, 44);
            setNote(p, b + 12, drums, drumNote, snare, 40);
        }
        for (int r = 0; r < rowsPerBar; r += 2) setNote(p, b + r, hats, drumNote, hat, r % 4 ? 18 : 30);
        if (fill) {
            setNote(p, b + 13, drums, drumNote, snare, 20);
            setNote(p, b + 14, drums, drumNote, snare, 30);
            setNote(p, b + 15, drums, drumNote, snare, 42);
            setNote(p, b + 14, hats, drumNote, openHat, 26);
        }
    };
    auto section = [&](const Progression& chords, const char* tune, bool full, int drumFrom) {
        Pattern p(channelCount);
        pad(p, padding, choir, chords, 4, 40);
        arpeggios(p, arp, pluck, chords, 4, 4, full ? arp2 : softArp);
        bassLine(p, bass, triangleBass, chords, Bass::Calm, 2, 60);
        for (int row = 0; row < drumFrom * rowsPerBar; row++) p.at(row, bass) = Cell{};
        for (int bar = drumFrom; bar < barsPerPattern; bar++) drumsBar(p, bar, full, bar == 3);
        if (tune) {
            melody(p, leadVoice, tune);
            echo(p, lead, echoes, 3, 40, 0xD0);
        }
        return p;
    };

    const Progression verse = progression({"Am", "F", "C", "G"});
    const Progression lift = progression({"F", "G", "Em", "Am"});
    const Progression shadow = progression({"Dm", "Am", "F", "E"});
    const char* tuneA = "E5 . . . C5 . D5 . | C5 . . . A4 . . . | G4 . . . C5 . E5 . | D5 . . . . . . ^";
    const char* tuneA2 = "E5 . . . C5 . D5 E5 | F5 . . . E5 . C5 . | G5 . . . E5 . C5 . | D5 . . . B4 . ~D5 .";
    const char* tuneB = "A5 . . . G5 . F5 . | G5 . . . . . D5 . | E5 . . . G5 . B5 . | A5 . . . . . . ^";
    const char* tuneShadow = "D5 . . . . . . . | C5 . . . . . ~E5 . | F5 . . . . . . . | ~E5 . . . . . ^ _";
    const char* tuneEnd = "E5 . . . C5 . D5 . | C5 . . . . . . . | G4 . . . . . . . | A4 . . . . . ^ _";

    play(song, section(verse, nullptr, false, 2));    // pad and plucks, hats from the third bar
    play(song, section(verse, tuneA, false, 0));      // the tune enters
    play(song, section(verse, tuneA2, true, 0));      // the beat enters
    play(song, section(lift, tuneB, true, 0));        // the lift
    {
        Pattern p(channelCount);                     // the break: no beat, the bass holds
        pad(p, padding, choir, shadow, 4, 44);
        arpeggios(p, arp, pluck, shadow, 4, 2, softArp);
        bassLine(p, bass, triangleBass, shadow, Bass::Pedal, 2, 54);
        melody(p, {lead, square, 38, 0x44, 0x08}, tuneShadow);
        echo(p, lead, echoes, 6, 45, 0x30);
        for (int r = 0; r < 64; r += 4) setNote(p, r, hats, drumNote, hat, r % 8 ? 14 : 22);
        play(song, p);
    }
    play(song, section(verse, tuneA2, true, 0));      // the return
    {
        Pattern p = section(verse, tuneEnd, true, 0);  // winding down into the start
        for (int row = 48; row < 64; row++) {
            p.at(row, drums) = Cell{};
            p.at(row, hats) = Cell{};
        }
        fadeLastBar(p, arp, 0x02);
        fadeLastBar(p, padding, 0x01);
        play(song, p);
    }
    return song;
}
