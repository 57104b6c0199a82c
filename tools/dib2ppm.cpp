// dib2ppm IN OUT.ppm: decodes a bitmap file the way the show reads its photos
// and writes it as a binary PPM (P6, top row first), so that a picture can be
// checked before it goes into data/.
//
// Exit codes: 0 written; 1 the reader refused IN (its message on standard
// error) or OUT could not be written; 2 wrong arguments. OUT is written
// whole or not at all: a full disk leaves what was there before.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/display/display.h"
#include "resources/dib.h"
#include "tools/makedata/atomic_file.h"

namespace {

void printUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: dib2ppm IN OUT.ppm\n"
                 "Decodes the Windows bitmap IN (with or without its \"BM\" file header)\n"
                 "as the show reads its photos, and writes it to OUT.ppm as a binary PPM.\n"
                 "Exit 0 on success, 1 when IN is refused (the reason on standard error)\n"
                 "or OUT cannot be written, 2 for wrong arguments.\n");
}

std::vector<uint8_t> portablePixmap(const Image& image) {
    const std::string header = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    // The image holds its bottom row first; PPM starts at the top.
    for (int32_t row = image.height - 1; row >= 0; --row) {
        const uint8_t* first = image.pixels.get() + static_cast<size_t>(row) * rowBytes;
        out.insert(out.end(), first, first + rowBytes);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 3) {
        printUsage(stderr);
        return 2;
    }
    // Message boxes of the reader go to standard error, caption line then text.
    platform::selectBackend(platform::Backend::Headless);
    std::unique_ptr<Image> image = readDibFile(argv[1]);
    if (!image) return 1;
    if (const int error = writeFileAtomically(argv[2], portablePixmap(*image)); error != 0) {
        std::fprintf(stderr, "dib2ppm: cannot write %s: %s\n", argv[2], std::strerror(error));
        return 1;
    }
    return 0;
}
