#include "show/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "show/clock.h"
#include "show/sequencer.h"

bool traceEnabled = false;
bool traceFailed = false;

namespace {

std::FILE* traceStream = nullptr;

void writeEventV(const char* format, va_list args) {
    std::FILE* out = traceStream != nullptr ? traceStream : stdout;
    const unsigned long long frame = clockFramesDrawn() + 1;
    bool written = std::fprintf(out, "%llu %u ", frame, lastFrameTime) >= 0;
    written = std::vfprintf(out, format, args) >= 0 && written;
    written = std::fputc('\n', out) != EOF && written;
    if (std::fflush(out) != 0 || !written) {
        traceFailed = true;
        std::fprintf(stderr, "eyesonly: cannot write the trace: %s\n", std::strerror(errno));
    }
}

void writeEvent(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeEventV(format, args);
    va_end(args);
}

}  // namespace

void setTraceStream(std::FILE* stream) {
    traceStream = stream;
}

void traceEvent(const char* format, ...) {
    if (!traceEnabled || traceFailed || frameSight != FrameSight::Shown) return;
    va_list args;
    va_start(args, format);
    writeEventV(format, args);
    va_end(args);
}

void traceQuit() {
    if (!traceEnabled || traceFailed) return;
    writeEvent("quit");
}
