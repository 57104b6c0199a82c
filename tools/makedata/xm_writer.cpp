#include "tools/makedata/xm_writer.h"

#include "tools/makedata/le_bytes.h"

namespace xm {

namespace {

// A cell with every field set is stored as its five bytes; any other as a
// byte of flags (high bit set, one bit a field present) and its fields.
std::vector<uint8_t> packPattern(const Pattern& pattern) {
    LeBytes out;
    for (const Cell& c : pattern.cells) {
        if (c.note && c.instrument && c.volume && c.effect && c.param) {
            out.u8(c.note);
            out.u8(c.instrument);
            out.u8(c.volume);
            out.u8(c.effect);
            out.u8(c.param);
            continue;
        }
        out.u8(0x80u | (c.note ? 1u : 0u) | (c.instrument ? 2u : 0u) | (c.volume ? 4u : 0u) |
               (c.effect ? 8u : 0u) | (c.param ? 16u : 0u));
        if (c.note) out.u8(c.note);
        if (c.instrument) out.u8(c.instrument);
        if (c.volume) out.u8(c.volume);
        if (c.effect) out.u8(c.effect);
        if (c.param) out.u8(c.param);
    }
    return out.data;
}

}  // namespace

std::vector<uint8_t> write(const Module& song) {
    LeBytes out;
    // 1. the song header: 60 bytes, then the 276 counted by the header size
    out.text("Extended Module: ", 17);
    out.text(song.name, 20);
    out.u8(0x1A);
    out.text("makedata", 20);
    out.u16(0x0104);
    out.u32(276);
    out.u16(static_cast<unsigned>(song.orders.size()));
    out.u16(static_cast<unsigned>(song.restart));
    out.u16(static_cast<unsigned>(song.channels));
    out.u16(static_cast<unsigned>(song.patterns.size()));
    out.u16(static_cast<unsigned>(song.instruments.size()));
    out.u16(1);  // linear frequency table
    out.u16(static_cast<unsigned>(song.speed));
    out.u16(static_cast<unsigned>(song.bpm));
    for (size_t i = 0; i < 256; i++) out.u8(i < song.orders.size() ? static_cast<unsigned>(song.orders[i]) : 0u);

    // 2. the patterns
    for (const Pattern& pattern : song.patterns) {
        std::vector<uint8_t> packed = packPattern(pattern);
        out.u32(patternHeaderBytes);
        out.u8(0);  // packing type
        out.u16(static_cast<unsigned>(pattern.rows));
        out.u16(static_cast<unsigned>(packed.size()));
        out.append(packed);
    }

    // 3. the instruments, each with its one sample
    for (const Instrument& ins : song.instruments) {
        const Envelope& env = ins.envelope;
        out.u32(263);  // instrument header size
        out.text(ins.name, 22);
        out.u8(0);     // type
        out.u16(1);    // one sample
        out.u32(40);   // sample header size
        out.zeros(96); // every note plays sample 0
        for (size_t i = 0; i < 12; i++) {
            out.u16(i < env.points.size() ? static_cast<unsigned>(env.points[i].first) : 0u);
            out.u16(i < env.points.size() ? static_cast<unsigned>(env.points[i].second) : 0u);
        }
        out.zeros(48);  // no panning envelope
        out.u8(static_cast<unsigned>(env.points.size()));
        out.u8(0);
        out.u8(env.sustain >= 0 ? static_cast<unsigned>(env.sustain) : 0u);
        out.u8(0);  // volume loop start
        out.u8(0);  // volume loop end
        out.u8(0);  // panning sustain, loop start, loop end
        out.u8(0);
        out.u8(0);
        out.u8((env.points.empty() ? 0u : 1u) | (env.sustain >= 0 ? 2u : 0u));
        out.u8(0);      // panning envelope off
        out.zeros(4);   // no auto-vibrato
        out.u16(static_cast<unsigned>(ins.fadeout));
        out.zeros(22);  // reserved

        const uint32_t bytesPerSample = 2;
        out.u32(static_cast<uint32_t>(ins.samples.size()) * bytesPerSample);
        out.u32(static_cast<uint32_t>(ins.loopStart) * bytesPerSample);
        out.u32(static_cast<uint32_t>(ins.loopLength) * bytesPerSample);
        out.u8(static_cast<unsigned>(ins.volume));
        out.u8(0);  // finetune
        out.u8((ins.loopLength > 0 ? 1u : 0u) | 0x10u);  // forward loop, 16-bit
        out.u8(static_cast<unsigned>(ins.panning));
        out.u8(static_cast<unsigned>(static_cast<uint8_t>(static_cast<int8_t>(ins.relativeNote))));
        out.u8(0);
        out.text(ins.name, 22);
        int16_t previous = 0;
        for (int16_t s : ins.samples) {
            out.u16(static_cast<uint16_t>(static_cast<uint16_t>(s) - static_cast<uint16_t>(previous)));
            previous = s;
        }
    }
    return out.data;
}

}  // namespace xm
