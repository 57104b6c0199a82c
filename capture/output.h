// Video capture: frames and sound of the show written to a file.
//
// Three kinds of output, chosen by the path:
//   name.mp4   H.264 (x264, crf 18 unless told, yuv420p, BT.709 limited range) with AAC
//   name.mkv   FFV1 (lossless RGB) with FLAC; the same input gives the same bytes
//   name/      frame-000001.png, frame-000002.png, ... and audio.wav
//
// A file is written under NAME.part.EXT beside its target and renamed into
// place when finished; an mp4 is written fragmented meanwhile (a fragment
// about every second), so that a capture killed at any moment leaves a
// NAME.part.mp4 that plays up to about a second before the end. An output
// that cannot seek (a FIFO) is written straight to. A second capture to the
// same target while one runs is refused.
//
// One capture is open at a time. The caller numbers the frames it hands
// over, 1, 2, 3, ... in order; frame n is shown from (n - 1) / fps seconds on.
// Frames and sound are copied into a small queue and encoded by a worker
// thread, so the caller goes on drawing while the previous frames are
// encoded; a call waits only until a queue slot frees.
//
// Every function that can fail returns false and puts one line into error;
// it reports nothing itself. After a failure the capture stays open until
// closeCapture, which keeps what was written so far playable (see there).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "capture/format.h"
#include "platform/encode/encode.h"

namespace capture {

using platform::encode::CaptureFormat;
using platform::encode::CaptureKept;
using platform::encode::CaptureSettings;


// Checks the settings and creates the output. The scale and the rate are
// the options' to check (app/options.h). False, with nothing on disk
// touched, when the frame size is out of range, when the output already exists
// and force is off (for Frames: any frame-NNNNNN.png or audio.wav in it),
// or when the file or directory cannot be made (missing parent, no
// permission, ...), or when an encoder cannot be set up. False as well when
// a capture is already open, and when another capture writes the target.
bool openCapture(const CaptureSettings& settings, std::string& error);

bool captureOpen();

// How the frame's bytes are laid out: as glReadPixels returns them, bottom
// row first, rows tightly packed (frameWidth x 3 or x 4 bytes).
enum class CapturePixels { Rgb, Rgba };

// Hands over frame `number` of the file, the one after the last handed
// over; the buffer may be reused when the call returns. False when no
// capture is open, when the number is not the next one, or when an earlier
// frame or sound block failed to encode or write ("disk full while writing
// PATH: ...").
bool captureFrame(int64_t number, const uint8_t* pixels, CapturePixels layout, std::string& error);

// Hands over the next frameCount stereo frames (interleaved left, right) of
// the soundtrack. The caller ends the soundtrack with the last picture
// frame. False like captureFrame.
bool captureAudio(const int16_t* frames, int frameCount, std::string& error);

// Names the part of the file that starts at picture frame firstFrame (from
// 1); it ends where the next one starts, the last at the end of the file.
// A frame below 1 counts as 1; a later chapter at the same frame replaces
// the earlier one; chapters that start after the last frame are dropped.
// Ignored for Frames.
void addChapter(const std::string& title, int64_t firstFrame);

// Finishes the file: encodes what is still queued, flushes the encoders,
// writes the chapters and the index (mp4, mkv) or the WAV header (Frames),
// closes it and puts it in place. Safe after any failure and at any point
// between frames (for instance once a stop was asked for): what was written
// stays a valid, playable file as far as it got (see capturedKept). Returns
// false with the first error of the whole capture when any call failed, so
// a true result means a complete file. Does nothing and returns true when
// no capture is open.
bool closeCapture(std::string& error);

// What the last closed capture left on disk (see CaptureKept).
CaptureKept capturedKept();

// For a process that ends at once (a second stop signal): waits at most
// limit until an open capture's file plays as it stands (between two of an
// mp4's fragments), and keeps it so. False when the limit passed first.
bool holdCaptureFilePlayable(std::chrono::milliseconds limit);

}  // namespace capture
