// The main song: "velto 63k", driving, in E minor, 150 beats a minute,
// sixteen patterns of 6.4 s, 102 s before it goes back to the verse; its
// first row is a hit on every channel.
#include <vector>

#include "tools/makedata/composing.h"
#include "tools/makedata/instruments.h"
#include "tools/makedata/songs.h"

using xm::Cell;

xm::Module mainSong() {
    enum Channel { kicks, snares, hats, bass, arp, lead, echoes, padding, channelCount };
    enum Ins { kick = 1, snare, hat, openHat, crash, sawBass, pluck, sawLead, choir };
    xm::Module song;
    song.name = "velto 63k";
    song.channels = channelCount;
    song.speed = 6;
    song.bpm = 150;
    song.restart = 2;
    song.instruments = {
        drumInstrument("kick", kickSound(44.0f, 0.4f, 1.0f), 128),
        drumInstrument("snare", snareSound(0.55f, 0.8f, 0.28f), 136),
        drumInstrument("closed hat", hissSound(0.07f, 0.9982f, 0.0f, 0x4A7u), 180),
        drumInstrument("open hat", hissSound(0.4f, 0.99982f, 0.35f, 0x0A7u), 180),
        drumInstrument("crash", hissSound(1.3f, 0.99994f, 0.6f, 0xC4A5u), 100),
        waveInstrument("saw bass", sawWave, 0.0f, 1, 1, {{{0, 64}, {8, 46}, {30, 38}}, 2}, 2000, 128),
        waveInstrument("pulse pluck 12.5%", pulseWave, 0.125f, 1, 1, {{{0, 64}, {6, 30}, {20, 16}, {50, 0}}, -1}, 0, 76),
        waveInstrument("twin saw lead", sawWave, 0.0f, 128, 1, {{{0, 52}, {3, 64}, {20, 52}}, 2}, 900, 112),
        waveInstrument("chorus square pad", pulseWave, 0.5f, 64, 6, {{{0, 0}, {30, 40}, {60, 34}}, 2}, 400, 150),
    };

    enum class Beat { None, Hit, Verse, Chorus, Break, Build };
    auto beat = [&](Pattern& p, Beat style, bool fill) {
        for (int bar = 0; bar < barsPerPattern; bar++) {
            int b = bar * rowsPerBar;
            for (int r = 0; r < rowsPerBar; r++) {
                int row = b + r;
                switch (style) {
                case Beat::None: break;
                case Beat::Hit:
                case Beat::Verse:
                case Beat::Chorus:
                    if (r % 4 == 0) setNote(p, row, kicks, drumNote, kick, 64);
                    if (style == Beat::Chorus && r == 14 && bar % 2) setNote(p, row, kicks, drumNote, kick, 48);
                    if ((r == 4 || r == 12) && !(style == Beat::Hit && bar == 0))
                        setNote(p, row, snares, drumNote, snare, 52);
                    if (r == 15 && style != Beat::Hit) setNote(p, row, snares, drumNote, snare, 14);
                    if (style == Beat::Chorus) {
                        if (r % 4 == 2) setNote(p, row, hats, drumNote, openHat, 26);
                        else setNote(p, row, hats, drumNote, hat, r % 2 ? 16 : 28);
                    } else if (r % 2 == 0) {
                        setNote(p, row, hats, drumNote, hat, r % 4 ? 34 : 22);
                    }
                    break;
                case Beat::Break:
                    if (r % 4 == 2) setNote(p, row, hats, drumNote, hat, 20);
                    if (r == 0 && bar == 0) setNote(p, row, snares, drumNote, crash, 40);
                    break;
                case Beat::Build:
                    if (r % 4 == 0) setNote(p, row, kicks, drumNote, kick, 40 + bar * 8);
                    if (r % (bar < 2 ? 4 / (bar + 1) : 1) == 0)
                        setNote(p, row, snares, drumNote, snare, 14 + (bar * rowsPerBar + r) * 40 / 64);
                    if (r % 2 == 0) setNote(p, row, hats, drumNote, hat, 16 + bar * 4);
                    break;
                }
            }
        }
        if (fill) {
            static const int rows[] = {56, 58, 60, 61, 62, 63};
            for (int i = 0; i < 6; i++) setNote(p, rows[i], snares, drumNote, snare, 34 + i * 5);
            setNote(p, 62, kicks, drumNote, kick, 56);
        }
    };
    const Voice leadVoice{lead, sawLead, 52, 0x36, 0x0C};
    const std::vector<int> arpAccents{40, 22, 30, 22};
    auto section = [&](const Progression& chords, const char* tune, Beat style, bool fill, bool crashIn) {
        Pattern p(channelCount);
        beat(p, style, fill);
        if (crashIn) setNote(p, 0, snares, drumNote, crash, 52);
        bassLine(p, bass, sawBass, chords, style == Beat::Break ? Bass::Pedal : Bass::Drive, 2, 56);
        arpeggios(p, arp, pluck, chords, 5, style == Beat::Chorus ? 2 : 4, arpAccents);
        pad(p, padding, choir, chords, 4, 36);
        if (tune) {
            melody(p, leadVoice, tune);
            echo(p, lead, echoes, 3, 35, 0xD0);
        }
        return p;
    };

    const Progression verse = progression({"Em", "C", "G", "D"});
    const Progression verse2 = progression({"Em", "C", "Am", "B"});
    const Progression chorus = progression({"Am", "D", "G", "Em"});
    const Progression chorus2 = progression({"Am", "D", "B", "Em"});
    const Progression drift = progression({"C", "C", "Em", "Em"});
    const Progression rise = progression({"Am", "Am", "B", "B"});
    const Progression bridge = progression({"G", "D", "Am", "C"});
    const Progression bridge2 = progression({"G", "D", "C", "B"});
    const Progression turn = progression({"Em", "C", "D", "B"});

    const char* hook = "B4 . E5 . G5 . B5 . | A5 . G5 . E5 . . . | D5 . G5 . B5 . D6 . | C6 . B5 . A5 . F#5 .";
    const char* verseTune = "E5 . . G5 . . B5 . | C6 . . B5 . . G5 . | B5 . . A5 . . G5 . | F#5 . . . D5 . . .";
    const char* verseTune2 = "E5 . . G5 . . B5 . | C6 . . B5 . . G5 . | A5 . . C6 . . E6 . | D#6 . . . . . ^ _";
    const char* chorusTune = "A5 . . . E5 . ~A5 . | F#5 . . . D5 . A5 . | G5 . . . B5 . D6 . | B5 . . . . . . .";
    const char* chorusTune2 = "A5 . . . E5 . ~A5 . | F#5 . . . D5 . A5 . | F#5 . . . D#5 . B4 . | E5 . . . . . ^ _";
    const char* driftTune = "G5 . . . . . . . | . . . . E5 . . . | B5 . . . . . . . | . . . . G5 . ^ _";
    const char* bridgeTune = "D6 . . B5 . . G5 . | A5 . . F#5 . . D5 . | E5 . . A5 . . C6 . | G5 . . . . . . .";
    const char* bridgeTune2 = "D6 . . B5 . . G5 . | A5 . . F#5 . . D5 . | E5 . . G5 . . C6 . | B5 . . . A5 . F#5 .";
    const char* turnTune = "E5 . . . . . . . | G5 . . . . . . . | F#5 . . . A5 . . . | B5 . . . . . ^ _";

    play(song, section(verse, nullptr, Beat::Hit, false, true));         // 0: the hit, the groove
    play(song, section(verse, hook, Beat::Verse, false, false));         // 1: the hook
    play(song, section(verse, verseTune, Beat::Verse, false, true));     // 2: verse (the song returns here)
    play(song, section(verse2, verseTune2, Beat::Verse, true, false));   // 3
    play(song, section(chorus, chorusTune, Beat::Chorus, false, true));  // 4: chorus
    play(song, section(chorus2, chorusTune2, Beat::Chorus, true, false));// 5
    {
        Pattern p = section(drift, nullptr, Beat::Break, false, false);  // 6: the break
        melody(p, {lead, sawLead, 34, 0x48, 0x08}, driftTune);
        echo(p, lead, echoes, 6, 50, 0x30);
        // the bass dives for the last two beats, into the build
        setNote(p, 56, bass, chordNote(drift[3], 2) + 12, sawBass, 56);
        for (int row = 57; row < 64; row++) setEffect(p, row, bass, portamentoDown, 0x10);
        play(song, p);
    }
    {
        Pattern p(channelCount);                                          // 7: the build
        beat(p, Beat::Build, false);
        bassLine(p, bass, sawBass, rise, Bass::Pump, 2, 48);
        arpeggios(p, arp, pluck, rise, 5, 2, {24, 30, 36, 42, 48, 54, 60, 64});
        pad(p, padding, choir, rise, 4, 16);
        // the pad swells through the build: a volume-column slide up of 1 a tick
        for (int row = 2; row < 64; row += 4) p.at(row, padding).volume = 0x71;
        play(song, p);
    }
    play(song, section(verse, verseTune, Beat::Verse, false, true));     // 8
    play(song, section(verse2, verseTune2, Beat::Verse, true, false));   // 9
    play(song, section(chorus, chorusTune, Beat::Chorus, false, true));  // 10
    play(song, section(chorus2, chorusTune2, Beat::Chorus, true, false));// 11
    play(song, section(bridge, bridgeTune, Beat::Verse, false, true));   // 12: the bridge
    play(song, section(bridge2, bridgeTune2, Beat::Verse, true, false)); // 13
    play(song, section(chorus, chorusTune, Beat::Chorus, false, true));  // 14: last chorus
    play(song, section(turn, turnTune, Beat::Verse, true, false));       // 15: the turn back to the verse
    return song;
}
