// The glyph pack: the show's glyphs as fonts.cpp gives them on the machine
// that builds the show, written by tools/glyphpack into data/glyphs.pack and
// read by the fonts of pack.cpp where there is no fontconfig or FreeType.
//
// The file, little-endian throughout; a float or double is its IEEE bit
// pattern, so that every coordinate comes back bit for bit:
//
//   magic        8 bytes   "EOGLYPHS"
//   version      u32       1
//   family       string    the face's family      (string: u32 length, bytes)
//   file         string    the face's file, as fontconfig names it
//   outlineSets  u32
//     height     i32       the font's em height in pixels
//     tolerance  f64       em units, as glyphOutline is asked
//     255 glyphs, codes 0 to 254:
//       metrics  6 x f32   blackBoxX, blackBoxY, originX, originY, cellIncX, cellIncY
//       flags    u8        1: fillRight, 2: evenOdd
//       contours u32
//         points u32, then each point as x f64, y f64
//   bitmapSets   u32       only heights the face accepts
//     height     i32       pixels
//     255 glyphs, codes 0 to 254:
//       width    i32, rows i32
//       xorig    f32, yorig f32, advance f32
//       bits     rows x ((width + 7) / 8) bytes, bottom row first
//
// The file ends with the last set: bytes after it make the pack corrupt.
#pragma once

#include <cstdint>
#include <string>

namespace glyphpack {

constexpr char magic[8] = {'E', 'O', 'G', 'L', 'Y', 'P', 'H', 'S'};
constexpr uint32_t version = 1;
constexpr int glyphCount = 255;  // codes 0 to 254; 255 is never asked for

constexpr uint8_t fillRightFlag = 1;
constexpr uint8_t evenOddFlag = 2;

// The pack's name under the show's data folder.
constexpr const char* fileName = "data/glyphs.pack";

}  // namespace glyphpack

namespace platform {

// Where the fonts read the pack from (fileName under the working directory
// until told); the next font call reads it again.
void useGlyphPack(const std::string& path);

}  // namespace platform
