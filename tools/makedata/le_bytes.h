// Little-endian bytes for the file writers: every value low byte first,
// texts in fields of a fixed width filled with NULs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LeBytes {
    std::vector<uint8_t> data;

    void u8(unsigned v) { data.push_back(static_cast<uint8_t>(v & 0xFF)); }
    void u16(unsigned v) { u8(v); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    // text in a field of exactly width bytes, cut or filled with NULs
    void text(const std::string& s, size_t width) {
        for (size_t i = 0; i < width; i++) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
    }
    void zeros(size_t count) { data.insert(data.end(), count, 0); }
    void append(const std::vector<uint8_t>& more) { data.insert(data.end(), more.begin(), more.end()); }
    size_t size() const { return data.size(); }
};
