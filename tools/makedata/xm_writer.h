// Extended Module (XM) files from a description: the song header, patterns
// packed cell by cell, and instruments of one 16-bit sample each with a
// volume envelope, written delta-coded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xm {

constexpr int noteOff = 97;             // the key-off note
constexpr size_t songHeaderBytes = 336; // the 60 fixed bytes and the 276 the header size counts
constexpr size_t patternHeaderBytes = 9;

struct Cell {
    uint8_t note = 0;        // 1 = C-0 ... 96 = B-7, 97 = key off, 0 = none
    uint8_t instrument = 0;  // 1-based, 0 = none
    uint8_t volume = 0;      // volume column: 0x10 + level 0..64, 0 = none
    uint8_t effect = 0;
    uint8_t param = 0;
    bool operator==(const Cell&) const = default;
};

struct Pattern {
    int rows;
    int channels;
    std::vector<Cell> cells;  // row by row, channel by channel
    Pattern(int channelCount, int rowCount = 64)
        : rows(rowCount), channels(channelCount), cells(static_cast<size_t>(rowCount * channelCount)) {}
    Cell& at(int row, int channel) { return cells[static_cast<size_t>(row * channels + channel)]; }
    const Cell& at(int row, int channel) const { return cells[static_cast<size_t>(row * channels + channel)]; }
    bool operator==(const Pattern&) const = default;
};

struct Envelope {
    std::vector<std::pair<int, int>> points;  // tick, level 0..64, at most 12; empty: no envelope
    int sustain = -1;                         // point index, -1 = none
};

struct Instrument {
    std::string name{};              // also the sample's name; 22 characters are kept
    std::vector<int16_t> samples{};  // 16-bit sample data
    int loopStart = 0;               // in samples
    int loopLength = 0;              // in samples; 0 = plays once
    int volume = 64;                 // 0..64
    int relativeNote = 0;            // semitones added to every note
    int panning = 128;               // 0 left .. 255 right
    Envelope envelope{};             // volume envelope
    int fadeout = 0;                 // volume lost per tick after key off, of 65536
};

struct Module {
    std::string name;             // 20 characters are kept
    int channels = 8;
    int speed = 6;                // ticks a row
    int bpm = 125;                // 2.5 / bpm seconds a tick
    int restart = 0;              // order the song goes back to at its end
    std::vector<int> orders;      // pattern numbers, at most 256
    std::vector<Pattern> patterns;
    std::vector<Instrument> instruments;
};

// The file's bytes, with the linear frequency table and "makedata" as the
// tracker's name. The last instrument's sample data ends the file.
std::vector<uint8_t> write(const Module& module);

}  // namespace xm
