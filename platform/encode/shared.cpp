// What the writers share: the text of a write error, the claim of a new
// file, a part file put in place (a frame's PNG, the subtitles written
// whole), the capture's lock, and a frame turned top row first and
// enlarged.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/encode/encode.h"

namespace platform::encode {

std::string writeErrorText(const std::string& path, int errnoValue) {
    const bool full = errnoValue == ENOSPC || errnoValue == EDQUOT || errnoValue == EFBIG;
    return (full ? "disk full while writing " : "cannot write ") + path + ": " + std::strerror(errnoValue);
}

int openNewFile(int dirFd, const std::string& name, int access) {
    return openat(dirFd, name.c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int replaceWithNewFile(int dirFd, const std::string& name, int access) {
    if (unlinkat(dirFd, name.c_str(), 0) != 0) return -1;
    return openNewFile(dirFd, name, access);
}

bool placePartFile(int dirFd, const std::string& part, const std::string& name, bool force) {
    const bool placed = force ? renameat(dirFd, part.c_str(), dirFd, name.c_str()) == 0
                              : linkat(dirFd, part.c_str(), dirFd, name.c_str(), 0) == 0;
    const int err = errno;
    if (!placed || !force) unlinkat(dirFd, part.c_str(), 0);
    errno = err;
    return placed;
}

bool writeWholeFile(const std::string& path, const std::string& bytes, bool force, std::string& error) {
    // 1. Written whole under a new name beside it, never through a link.
    const std::string part = path + ".part";
    if (force) unlink(part.c_str());
    const int fd = openNewFile(AT_FDCWD, part, O_WRONLY);
    if (fd < 0) {
        error = errno == EEXIST ? part + " already exists (give --force to overwrite it)" : writeErrorText(part, errno);
        return false;
    }
    size_t done = 0;
    int failure = 0;
    while (done < bytes.size() && failure == 0) {
        const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno != EINTR) failure = errno;
        if (wrote > 0) done += static_cast<size_t>(wrote);
    }
    if (close(fd) != 0 && failure == 0) failure = errno;
    if (failure != 0) {
        unlink(part.c_str());
        error = writeErrorText(path, failure);
        return false;
    }
    // 2. Put in place.
    if (placePartFile(AT_FDCWD, part, path, force)) return true;
    error = errno == EEXIST ? path + " appeared meanwhile (give --force to overwrite it)" : writeErrorText(path, errno);
    return false;
}

bool lockForCapture(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

namespace {

// One row of RGBA pixels packed as RGB or as B, G, R, 0, at its own size:
// the common case, in loops the compiler can widen.
void packRgbaRow(const uint8_t* in, int width, PackedPixels packing, uint8_t* out) {
    if (packing == PackedPixels::Rgb) {
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
        return;
    }
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
        uint32_t rgba;
        std::memcpy(&rgba, in, 4);
        const uint32_t bgr0 = (rgba & 0xFFu) << 16 | (rgba & 0xFF00u) | (rgba >> 16 & 0xFFu);
        std::memcpy(out, &bgr0, 4);
    }
}

}  // namespace

// Output row y comes from input row height - 1 - y / scale: the input is
// bottom row first. The first row of each block is built pixel by pixel,
// the other scale - 1 rows are copies of it.
void flipAndScale(const FrameView& frame, int scale, PackedPixels packing, uint8_t* out,
                           ptrdiff_t rowStride) {
    const bool rgb = packing == PackedPixels::Rgb;
    const int step = rgb ? 3 : 4;                 // output bytes a pixel
    const int redAt = rgb ? 0 : 2;
    const int blueAt = rgb ? 2 : 0;
    const size_t inRowBytes = static_cast<size_t>(frame.width) * frame.bytesPerPixel;
    const size_t outRowBytes = static_cast<size_t>(frame.width) * scale * step;
    for (int y = 0; y < frame.height; ++y) {
        const uint8_t* in = frame.pixels + static_cast<size_t>(frame.height - 1 - y) * inRowBytes;
        uint8_t* first = out + static_cast<ptrdiff_t>(y) * scale * rowStride;
        if (rgb && scale == 1 && frame.bytesPerPixel == 3) {  // rows as they are
            std::memcpy(first, in, inRowBytes);
            continue;
        }
        if (scale == 1 && frame.bytesPerPixel == 4) {  // a capture's frames as read
            packRgbaRow(in, frame.width, packing, first);
            continue;
        }
        uint8_t* o = first;
        for (int x = 0; x < frame.width; ++x, in += frame.bytesPerPixel)
            for (int k = 0; k < scale; ++k, o += step) {
                o[redAt] = in[0];
                o[1] = in[1];
                o[blueAt] = in[2];
                if (!rgb) o[3] = 0;
            }
        for (int k = 1; k < scale; ++k) std::memcpy(first + k * rowStride, first, outRowBytes);
    }
}

}  // namespace platform::encode
