// The six lines of the title zoom.
#pragma once

#include <cstdint>

constexpr int32_t titleRows = 6;
// Each row is a fixed 20-byte field with a NUL-terminated printf format;
// row 5 is the production's title, the one the red light sweeps across.
extern const char titleLines[titleRows][20];
