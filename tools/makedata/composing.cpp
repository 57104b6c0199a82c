#include "tools/makedata/composing.h"

#include <algorithm>
#include <cstdlib>

using xm::Cell;
using xm::noteOff;

namespace {

// "C4" is note 49; sharps as "F#5", flats as "Bb3".
int noteNumber(const std::string& name) {
    static const int semitones[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    int semitone = semitones[name[0] - 'A'];
    size_t i = 1;
    if (name[i] == '#') { semitone++; i++; }
    else if (name[i] == 'b') { semitone--; i++; }
    int octave = name[i] - '0';
    return octave * 12 + semitone + 1;
}

// A triad by name: "Em", "C", "F#m", "Bb".
Chord chord(const std::string& name) {
    bool minor = name.back() == 'm';
    std::string rootName = minor ? name.substr(0, name.size() - 1) : name;
    return {(noteNumber(rootName + "0") - 1 + 12) % 12, minor};
}

// The arpeggio effect's parameter: a minor or a major triad.
uint8_t arpeggioParam(const Chord& c) { return c.minor ? 0x37 : 0x47; }

// Semitones above the root of degree 0 (root), 1 (third) or 2 (fifth).
int chordTone(const Chord& c, int degree) {
    static const int minorTones[] = {0, 3, 7}, majorTones[] = {0, 4, 7};
    return (c.minor ? minorTones : majorTones)[degree];
}

// A volume-column byte for a level 0..64, clamped.
uint8_t level(int volume) { return static_cast<uint8_t>(0x10 + std::clamp(volume, 0, 64)); }

}  // namespace

int chordNote(const Chord& c, int octave) { return octave * 12 + c.root + 1; }

Progression progression(std::initializer_list<const char*> names) {
    Progression p;
    for (const char* n : names) p.push_back(chord(n));
    return p;
}

void setNote(Pattern& p, int row, int channel, int note, int instrument, int volume,
             uint8_t effect, uint8_t param) {
    Cell& c = p.at(row, channel);
    c.note = static_cast<uint8_t>(note);
    c.instrument = static_cast<uint8_t>(instrument);
    c.volume = volume >= 0 ? level(volume) : 0;
    c.effect = effect;
    c.param = param;
}

void setEffect(Pattern& p, int row, int channel, uint8_t effect, uint8_t param) {
    p.at(row, channel).effect = effect;
    p.at(row, channel).param = param;
}

void melody(Pattern& p, const Voice& voice, const std::string& text, int stepRows, int startRow) {
    int row = startRow, held = -1;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find(' ', i);
        if (end == std::string::npos) end = text.size();
        std::string token = text.substr(i, end - i);
        i = end + 1;
        if (token.empty() || token == "|") continue;
        if (row >= p.rows) break;
        if (token == ".") {
            held++;
            if (held >= 2 && voice.vibrato)
                for (int r = row; r < row + stepRows; r++) setEffect(p, r, voice.channel, vibratoEffect, voice.vibrato);
        } else if (token == "^") {
            setNote(p, row, voice.channel, noteOff, 0, -1);
            held = -1;
        } else if (token == "_") {
            held = -1;
        } else if (token[0] == '~') {
            setNote(p, row, voice.channel, noteNumber(token.substr(1)), 0, -1, tonePortamento, voice.slide);
            for (int r = row + 1; r < row + stepRows; r++) setEffect(p, r, voice.channel, tonePortamento, 0);
            held = 0;
        } else {
            setNote(p, row, voice.channel, noteNumber(token), voice.instrument, voice.volume);
            held = 0;
        }
        row += stepRows;
    }
}

void echo(Pattern& p, int from, int to, int delayRows, int percent, uint8_t panning) {
    for (int row = p.rows - 1 - delayRows; row >= 0; row--) {
        const Cell src = p.at(row, from);
        if (!src.note) continue;
        Cell& dst = p.at(row + delayRows, to);
        dst.note = src.note;
        dst.instrument = src.instrument;
        if (src.note != noteOff && src.instrument) {
            int volume = src.volume ? src.volume - 0x10 : 64;
            dst.volume = level(volume * percent / 100);
            dst.effect = setPanning;
            dst.param = panning;
        } else if (src.effect == tonePortamento) {
            dst.effect = tonePortamento;
            dst.param = src.param;
        }
    }
}

void arpeggios(Pattern& p, int channel, int instrument, const Progression& chords, int octave,
               int strikeRows, const std::vector<int>& accents) {
    int strike = 0;
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        for (int r = 0; r < rowsPerBar; r++) {
            int row = bar * rowsPerBar + r;
            if (r % strikeRows == 0)
                setNote(p, row, channel, chordNote(c, octave), instrument,
                        accents[static_cast<size_t>(strike++) % accents.size()]);
            setEffect(p, row, channel, arpeggioEffect, arpeggioParam(c));
        }
    }
}

void pad(Pattern& p, int channel, int instrument, const Progression& chords, int octave, int volume) {
    int current = chordNote(chords[0], octave) + chordTone(chords[0], 1);
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        int best = current, bestDistance = 1000;
        for (int o = octave - 1; o <= octave + 1; o++) {
            for (int degree = 1; degree < 3; degree++) {
                int candidate = chordNote(c, o) + chordTone(c, degree);
                int distance = std::abs(candidate - current);
                if (distance < bestDistance && distance > 0) {
                    bestDistance = distance;
                    best = candidate;
                }
            }
        }
        int row = bar * rowsPerBar;
        if (bar == 0) {
            current = chordNote(c, octave) + chordTone(c, 1);
            setNote(p, row, channel, current, instrument, volume);
        } else {
            current = best;
            setNote(p, row, channel, current, 0, -1, tonePortamento, 0x04);
            for (int r = 1; r < 6; r++) setEffect(p, row + r, channel, tonePortamento, 0);
        }
    }
}

void bassLine(Pattern& p, int channel, int instrument, const Progression& chords, Bass style, int octave, int volume) {
    for (int bar = 0; bar < barsPerPattern; bar++) {
        const Chord& c = chords[static_cast<size_t>(bar)];
        const Chord& next = chords[static_cast<size_t>((bar + 1) % barsPerPattern)];
        int root = chordNote(c, octave);
        int base = bar * rowsPerBar;
        switch (style) {
        case Bass::Calm:
            setNote(p, base + 0, channel, root, instrument, volume);
            setNote(p, base + 6, channel, root, instrument, volume * 3 / 4);
            setNote(p, base + 8, channel, root + 7, instrument, volume * 7 / 8);
            setNote(p, base + 12, channel, root + 12, instrument, volume * 3 / 4);
            setNote(p, base + 15, channel, noteOff, 0, -1);
            break;
        case Bass::Drive:
            for (int r = 0; r < 12; r += 2)
                setNote(p, base + r, channel, root + ((r / 2) % 2 ? 12 : 0), instrument, (r / 2) % 2 ? volume * 3 / 4 : volume);
            setNote(p, base + 12, channel, root + 7, instrument, volume);
            setNote(p, base + 14, channel, chordNote(next, octave) + (next.root > c.root ? -1 : 2), instrument, volume * 3 / 4);
            break;
        case Bass::Pedal:
            setNote(p, base + 0, channel, root, instrument, volume);
            setNote(p, base + 8, channel, root, instrument, volume * 2 / 3);
            break;
        case Bass::Pump:
            for (int r = 0; r < rowsPerBar; r++)
                setNote(p, base + r, channel, root + (r % 4 == 3 ? 12 : 0), instrument, r % 2 ? volume * 2 / 3 : volume);
            break;
        }
    }
}

void fadeLastBar(Pattern& p, int channel, uint8_t speed) {
    for (int row = p.rows - rowsPerBar; row < p.rows; row++)
        if (!p.at(row, channel).effect) setEffect(p, row, channel, volumeSlide, speed);
}

void play(xm::Module& song, const Pattern& pattern) {
    auto found = std::find(song.patterns.begin(), song.patterns.end(), pattern);
    if (found == song.patterns.end()) {
        song.patterns.push_back(pattern);
        found = song.patterns.end() - 1;
    }
    song.orders.push_back(static_cast<int>(found - song.patterns.begin()));
}
