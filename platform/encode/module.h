// The capture module: the encoders (ffmpeg.cpp, png.cpp, shared.cpp) built
// as a shared module of their own, which the program opens with dlopen when
// a capture is opened, so that a run that only shows the show maps none of
// FFmpeg's libraries. The module exports one C function, which returns the
// table of its entry points; loader.cpp defines the encode.h functions of the
// same names in the program and forwards each call through that table.
//
// The tools and the tests link the encoders themselves and use neither file.
#pragma once

#include "platform/encode/encode.h"

namespace platform::encode {

constexpr const char* captureModuleFile = "eyesonly-capture.so";
// Where an installed program finds the module, from its own folder.
constexpr const char* installedModuleFolder = "../lib/eyesonly/modules";
constexpr const char* captureModuleEntry = "eyesonlyCaptureEntries";
// Raised whenever the table changes, so that a program never calls a module
// built for another table.
constexpr int captureModuleVersion = 3;

struct CaptureEntries {
    int version;
    bool (*openEncodedFile)(const CaptureSettings&, std::string&);
    bool (*encodeFrame)(const FrameView&, int64_t, std::string&);
    bool (*encodeSound)(const int16_t*, int, std::string&);
    bool (*closeEncodedFile)(bool, const std::vector<Chapter>&, std::string&, CaptureKept&);
    bool (*holdFilePlayable)(std::chrono::milliseconds);
    bool (*openFrameDirectory)(const CaptureSettings&, std::string&);
    bool (*writeFramePng)(const FrameView&, int64_t, std::string&);
    bool (*writeWavSound)(const int16_t*, int, std::string&);
    bool (*closeFrameDirectory)(std::string&, CaptureKept&);
    bool (*writeWholeFile)(const std::string&, const std::string&, bool, std::string&);
};

using CaptureEntriesFunction = const CaptureEntries* (*)();

}  // namespace platform::encode
