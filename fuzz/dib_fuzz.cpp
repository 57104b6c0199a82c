// libFuzzer target: any bytes, as a bitmap file on disk, through the reader
// with its messages off. A box shown anyway, a crash, a sanitizer report or
// a read past the file (the checked build fences the bytes after the map)
// all count as findings.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/display/display.h"
#include "resources/dib.h"

// The reader is the only code linked in: message boxes must never be asked for.
namespace platform {
Answer messageBox(const char*, const char*, Buttons) {
    std::fprintf(stderr, "a message box was shown with showImageErrors false\n");
    std::abort();
}
}  // namespace platform

namespace {

uint32_t readLe(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

// Run-length files can declare a picture of gigabytes in a few bytes; the
// reader would rightly allocate it. Such inputs only cost memory and time here.
bool hugeRunLengthPicture(const uint8_t* data, size_t size) {
    size_t at = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    if (size < at + 40 || readLe(data + at, 4) != 40) return false;
    const uint32_t compression = readLe(data + at + 16, 4);
    if (compression != 1 && compression != 2) return false;
    const int64_t width = static_cast<int32_t>(readLe(data + at + 4, 4));
    const int64_t height = static_cast<int32_t>(readLe(data + at + 8, 4));
    return width * (height < 0 ? -height : height) > (int64_t{1} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int fd = memfd_create("dib_fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || hugeRunLengthPicture(data, size)) return 0;
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;

    showImageErrors = false;
    std::unique_ptr<Image> image = readDibFile(path.c_str());
    if (image) {
        // Every byte of the picture must have been written: reading them all
        // lets the sanitizers see any that were not.
        if (image->width <= 0 || image->height <= 0) std::abort();
        const size_t bytes = static_cast<size_t>(image->width) * static_cast<size_t>(image->height) * 3;
        unsigned sum = 0;
        for (size_t i = 0; i < bytes; ++i) sum += image->pixels[i];
        volatile unsigned sink = sum;
        (void)sink;
    }
    return 0;
}
