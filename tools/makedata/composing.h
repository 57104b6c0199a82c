// Composing: notes and chords by name, and the parts a song is built from
// (melodies written as text, echoes, arpeggios, pads, bass lines, drums by
// hand), each written into a pattern of four bars of sixteen rows.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/makedata/xm_writer.h"

using xm::Pattern;

constexpr int rowsPerBar = 16;  // four beats of four rows
constexpr int barsPerPattern = 4;

// The effects the songs use, by their XM effect number.
enum Effect : uint8_t {
    arpeggioEffect = 0x0,
    portamentoDown = 0x2,
    tonePortamento = 0x3,
    vibratoEffect = 0x4,
    setPanning = 0x8,
    volumeSlide = 0xA,
};

// A triad: root is the pitch class 0..11 (C = 0).
struct Chord {
    int root;
    bool minor;
};

using Progression = std::vector<Chord>;  // one chord a bar

// Chords by name, one a bar: {"Em", "C", "F#m", "Bb"}.
Progression progression(std::initializer_list<const char*> names);

// The note number of the chord's root in an octave (C-4 is 49).
int chordNote(const Chord& c, int octave);

// Writes a note into a cell: volume 0..64, or -1 for none; instrument 0
// keeps the channel's instrument.
void setNote(Pattern& p, int row, int channel, int note, int instrument, int volume,
             uint8_t effect = 0, uint8_t param = 0);
void setEffect(Pattern& p, int row, int channel, uint8_t effect, uint8_t param);

// A played line: its channel, instrument and loudness, the vibrato (4xy)
// on long notes and the speed of slides (3xx) into notes marked "~".
struct Voice {
    int channel;
    int instrument;
    int volume;
    uint8_t vibrato;
    uint8_t slide;
};

// Writes a melody from text: one token a step of stepRows rows, "E5" a
// note, "~E5" a slide into it from the note before, "." holds, "^" lets go,
// "_" rests; "|" between bars is only for reading. A note held for more
// than two steps starts to vibrate from its third step on.
void melody(Pattern& p, const Voice& voice, const std::string& text, int stepRows = 2, int startRow = 0);

// The tracker's echo: the notes of one channel again on another, delayRows
// later, quieter (percent of their volume) and panned aside.
void echo(Pattern& p, int from, int to, int delayRows, int percent, uint8_t panning);

// Chords as fast arpeggios (0xy): the root struck every strikeRows rows
// with volumes taken in turn from accents, the arpeggio held on every row.
void arpeggios(Pattern& p, int channel, int instrument, const Progression& chords, int octave,
               int strikeRows, const std::vector<int>& accents);

// A slow voice that keeps to the chord tone nearest its last note, gliding
// into each bar's note with a portamento.
void pad(Pattern& p, int channel, int instrument, const Progression& chords, int octave, int volume);

enum class Bass {
    Calm,    // root, root, fifth, octave: one bar a breath
    Drive,   // eighths jumping an octave, a walk into the next chord
    Pedal,   // the root held twice a bar
    Pump,    // sixteenths on the root
};

void bassLine(Pattern& p, int channel, int instrument, const Progression& chords, Bass style, int octave, int volume);

// Fades a channel out over the last bar with a volume slide.
void fadeLastBar(Pattern& p, int channel, uint8_t speed);

// Appends the pattern to the song's order list, adding it to the patterns
// unless an identical one is there.
void play(xm::Module& song, const Pattern& pattern);
