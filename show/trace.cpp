#include "show/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

bool traceEnabled = false;
bool traceFailed = false;
bool traceQuiet = false;
uint32_t traceFrame = 0;
uint32_t traceMillis = 0;

namespace {
std::FILE* traceStream = nullptr;
}

void setTraceStream(std::FILE* stream) {
    traceStream = stream;
}

void traceEvent(const char* format, ...) {
    if (!traceEnabled || traceFailed || traceQuiet) return;
    std::FILE* out = traceStream != nullptr ? traceStream : stdout;
    bool written = std::fprintf(out, "%u %u ", traceFrame, traceMillis) >= 0;
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
