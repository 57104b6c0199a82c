// The capture's two writers: encoded files (ffmpeg.cpp) and frame
// directories (png.cpp), as the capture's front (capture/output.cpp:
// checks, queue, worker thread) drives them.
//
// Every writer call runs on the worker thread, one at a time, except open,
// which runs on the caller's thread before the worker starts, and close,
// which runs there after the worker has stopped.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/audio/device.h"

namespace platform::encode {

enum class CaptureFormat { Mp4, Mkv, Frames };


struct CaptureSettings {
    std::string path;                            // file, or directory for Frames
    CaptureFormat format = CaptureFormat::Mp4;
    int frameWidth = 0;                          // pixels of the frames handed over: even, 2..4096
    int frameHeight = 0;
    int scale = 1;                               // 1..8: each pixel becomes scale x scale pixels
    double framesPerSecond = 60.0;               // 1..1000, may be fractional (29.97)
    bool force = false;                          // an existing file may be overwritten
    int crf = 18;                                // Mp4: x264's constant rate factor, 0..51
    std::string preset = "veryfast";             // Mp4: x264's preset
};

// What a closed capture left on disk: the frames its file or folder really
// holds, and where (the path asked for, or for a file that could not be
// finished its temporary NAME.part.EXT). A capture of no frames leaves
// nothing (an empty path), and whatever was there before stays.
struct CaptureKept {
    int64_t frames = 0;
    std::string path;
};

// One picture as a PNG file (png.cpp): rgb holds width x height pixels, 3
// bytes each, top row first. False with errno set when the file cannot be
// written.
bool writePngFile(const char* path, const uint8_t* rgb, int width, int height);


// A frame as the caller hands it over: bottom row first, rows packed.
struct FrameView {
    const uint8_t* pixels = nullptr;
    int width = 0;               // pixels
    int height = 0;
    int bytesPerPixel = 3;       // 3 (RGB) or 4 (RGBA; alpha is dropped)
};

struct Chapter {
    std::string title;
    int64_t firstFrame = 1;      // from 1
};

// How enlarged frames are packed: RGB24 (libswscale's input, PNG rows) or
// B, G, R and a zero byte (FFV1's 8-bit RGB).
enum class PackedPixels { Rgb, Bgr0 };

// The frame turned top row first and enlarged scale times (each pixel a
// scale x scale block), packed as asked, rows rowStride bytes apart.
void flipAndScale(const FrameView& frame, int scale, PackedPixels packing, uint8_t* out, ptrdiff_t rowStride);

// "disk full while writing PATH: ..." for a full disk or file size limit,
// "cannot write PATH: ..." for any other errno.
std::string writeErrorText(const std::string& path, int errnoValue);

// A file made new under `name` (in the folder dirFd, or AT_FDCWD), opened
// with `access` (O_WRONLY or O_RDWR): never through a link nor over
// anything there. -1 with errno otherwise (EEXIST: the name is taken).
int openNewFile(int dirFd, const std::string& name, int access);
// With force: what has the name removed as a name (a link is not followed)
// and the file made new in its place. -1 with errno when either fails.
int replaceWithNewFile(int dirFd, const std::string& name, int access);
// Puts a finished part file (in dirFd) under its name: with force over
// what has the name (the name replaced, a link never followed), without it
// only where nothing has it. The part's name is gone afterwards either way.
// False with errno otherwise (EEXIST: the name is taken).
bool placePartFile(int dirFd, const std::string& part, const std::string& name, bool force);
// `bytes` as the file `path`, written whole under PATH.part first and then
// placed (placePartFile); a part file left there is refused unless force.
// Errors as "PATH.part already exists (give --force to overwrite it)",
// "PATH appeared meanwhile (give --force to overwrite it)" or writeErrorText.
bool writeWholeFile(const std::string& path, const std::string& bytes, bool force, std::string& error);
// The capture's lock on an open file or folder, which a second capture of
// the same name asks for too: false when another holds it. Held until the
// descriptor is closed.
bool lockForCapture(int fd);

// Encoded files: mp4 (H.264 + AAC) and mkv (FFV1 + FLAC).
bool openEncodedFile(const CaptureSettings& settings, std::string& error);
bool encodeFrame(const FrameView& frame, int64_t frameNumber, std::string& error);
bool encodeSound(const int16_t* frames, int frameCount, std::string& error);
// complete: flush the encoders first (false after a failure: only what is
// already encoded goes into the file). Chapters are in the order given.
// kept: what stays on disk.
bool closeEncodedFile(bool complete, const std::vector<Chapter>& chapters, std::string& error, CaptureKept& kept);
// Waits at most limit until the encoded file plays as it stands, and keeps
// it so: the lock is never given back (the process is about to end).
bool holdFilePlayable(std::chrono::milliseconds limit);

// Frame directories: numbered PNG files and audio.wav.
bool openFrameDirectory(const CaptureSettings& settings, std::string& error);
bool writeFramePng(const FrameView& frame, int64_t frameNumber, std::string& error);
bool writeWavSound(const int16_t* frames, int frameCount, std::string& error);
bool closeFrameDirectory(std::string& error, CaptureKept& kept);

}  // namespace platform::encode
