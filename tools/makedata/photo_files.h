// The photos as files: the three bitmap layouts the show's reader takes, and
// a PPM picture for looking at.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/makedata/photos.h"

// "BM", the 40-byte info header, 24 bits a pixel.
std::vector<uint8_t> bitmap24(const Photo& photo);
// "BM", the 40-byte info header, 8 bits a pixel with a palette of the
// picture's own (median cut) and error diffusion.
std::vector<uint8_t> bitmap8(const Photo& photo);
// A packed DIB: the 12-byte core header, 24 bits a pixel, no file header.
std::vector<uint8_t> packedCore24(const Photo& photo);
// A binary PPM (P6), top row first.
std::vector<uint8_t> portablePixmap(const Photo& photo);
