#include "show/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "show/clock.h"

bool traceEnabled = false;
bool traceFailed = false;
bool traceQuiet = false;

namespace {
std::FILE* traceStream = nullptr;
}

void setTraceStream(std::FILE* stream) {
    traceStream = stream;
}

void traceEvent(const char* format, ...) {
    if (!traceEnabled || traceFailed || traceQuiet) return;
    std::FILE* out = traceStream != nullptr ? traceStream : stdout;
    const unsigned long long frame = clockFramesDrawn() + 1;
    bool written = std::fprintf(out, "%llu %u ", frame, lastFrameTime) >= 0;
    va_list args;
    va_start(args, format);
    written = std::vfprintf(out, format, args) >= 0 && written;
    va_end(args);
    written = std::fputc('\n', out) != EOF && written;
    if (std::fflush(out) != 0 || !written) {
        traceFailed = true;
        std::fprintf(stderr, "eyesonly: cannot write the trace: %s\n", std::strerror(errno));
    }
}
