// The text rows of the closing scene. Each row is a fixed 20-byte field with
// a NUL-terminated printf format ("%%" prints one percent sign).
#pragma once

constexpr int creditRows = 4;
constexpr int greetingRows = 19;

extern const char creditHeadings[creditRows][20];
extern const char creditNames[creditRows][20];
extern const char greetingHeading[20];             // the heading of every greeting
extern const char greetings[greetingRows][20];
