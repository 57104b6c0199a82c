// A capture's format, decided by its path alone, for the options and the
// capture both.
#pragma once

#include <string>

#include "platform/encode/encode.h"

namespace capture {

using platform::encode::CaptureFormat;

// The format a path asks for: "*.mp4", "*.mkv" (in any case), or a
// directory (one that exists, or a path ending in '/'). False with "unknown
// extension ..." for anything else.
bool captureFormatFor(const std::string& path, CaptureFormat& format, std::string& error);

}  // namespace capture
