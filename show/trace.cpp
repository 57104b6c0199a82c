#include "show/trace.h"

#include <cstdarg>

bool traceEnabled = false;
uint32_t traceFrame = 0;
uint32_t traceMillis = 0;

namespace {
std::FILE* traceStream = nullptr;
}

void setTraceStream(std::FILE* stream) {
    traceStream = stream;
}

void traceEvent(const char* format, ...) {
    if (!traceEnabled) return;
    std::FILE* out = traceStream != nullptr ? traceStream : stdout;
    std::fprintf(out, "%u %u ", traceFrame, traceMillis);
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fflush(out);
}
