// The reader of Windows device-independent bitmaps (DIB, ".bmp"), with or
// without the 14-byte "BM" file header.
#pragma once

#include <cstdint>
#include <memory>

// A decoded picture: 24-bit RGB, rows packed without fill, bottom row first.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint8_t[]> pixels;  // width * height * 3 bytes
};

// While true the reader shows its failures in message boxes.
extern bool showImageErrors;

// Reads a DIB file. Returns none, after showing at most one message, when the
// file cannot be opened or decoded. wideName: fileName is a wchar_t string.
std::unique_ptr<Image> readDibFile(const void* fileName, bool wideName);
std::unique_ptr<Image> readDibFile(const char* fileName);

// Entries of the colour table that follows the DIB header at header (core or
// info header), from the bits per pixel or the colours-used field.
uint16_t dibColorCount(const uint8_t* header);
