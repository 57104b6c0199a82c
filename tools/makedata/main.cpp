// makedata: writes the show's data files into a directory: three photos
// (a coast at dusk, a forest in fog, a city at night) and two tracker songs
// (a calm intro tune and a driving main tune), all made here from nothing.
//
//   makedata OUTDIR [--ppm]
//
// Every run on every machine writes the same bytes: all randomness comes
// from one integer generator, all arithmetic is +, -, *, / and sqrt on
// 32-bit floats (exactly rounded everywhere; the build turns off fused
// multiply-add), the sine is our own polynomial, and every file is written
// byte by byte in little-endian order. --ppm also writes each photo as a
// PPM picture for looking at. Each file is written whole or not at all: a
// full disk leaves the file that was there before.
//
// The rooms of this folder:
//   numbers.h/.cpp          the generator, lattice hashes, noise, the sine
//   photos.h/.cpp           the canvas, painting helpers, developing to bytes
//   photo_coast.cpp         the coast at dusk
//   photo_forest.cpp        the forest in fog
//   photo_city.cpp          the city at night
//   photo_files.h/.cpp      the photos as bitmap files (median-cut palette,
//                           error diffusion) and as PPM pictures
//   instruments.h/.cpp      synthesized waves and drums as XM instruments
//   composing.h/.cpp        notes, chords, melodies, bass lines, arpeggios
//   songs.h, song_intro.cpp, song_main.cpp   the two songs
//   main.cpp                arguments and the files written
// and the writers the tests share (the makedata_writers library):
//   bmp_writer.h/.cpp       bitmap files from a description
//   xm_writer.h/.cpp        XM modules from a description
//   atomic_file.h/.cpp      whole files or nothing
//   le_bytes.h              little-endian bytes
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/makedata/atomic_file.h"
#include "tools/makedata/photo_files.h"
#include "tools/makedata/photos.h"
#include "tools/makedata/songs.h"
#include "tools/makedata/xm_writer.h"

namespace {

void printUsage(std::FILE* to) {
    std::fprintf(to, "usage: makedata OUTDIR [--ppm]\n"
                     "  writes skorv1.bitmap, skorv2.bitmap, skorv3.bitmap, Tq_outro.xm and VELTO63K.XM into OUTDIR\n"
                     "  --ppm  also writes the photos as skorv1.ppm, skorv2.ppm and skorv3.ppm\n");
}

bool writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    const int error = writeFileAtomically(path.string(), bytes);
    if (error != 0) std::fprintf(stderr, "makedata: cannot write %s: %s\n", path.string().c_str(), std::strerror(error));
    return error == 0;
}

}  // namespace

int main(int argc, char** argv) {
    // 1. the arguments: one directory, options anywhere
    const char* dirName = nullptr;
    bool ppm = false, help = false, wrong = false;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) help = true;
        else if (std::strcmp(argv[i], "--ppm") == 0) ppm = true;
        else if (argv[i][0] == '-' || argv[i][0] == '\0' || dirName != nullptr) wrong = true;
        else dirName = argv[i];
    }
    if (help) {
        printUsage(stdout);
        return 0;
    }
    if (wrong || dirName == nullptr) {
        printUsage(stderr);
        return 2;
    }

    // 2. the directory
    const std::filesystem::path dir = dirName;
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "makedata: cannot make directory %s: %s\n", dir.string().c_str(), error.message().c_str());
        return 1;
    }

    // 3. the photos and songs, made and written one after another
    const Photo coast = develop(paintCoast(), 0.45f, 0.03f, 1);
    const Photo forest = develop(paintForest(), 0.35f, 0.02f, 2);
    const Photo city = develop(paintCity(), 0.4f, 0.025f, 3);
    bool ok = writeFile(dir / "skorv1.bitmap", bitmap24(coast)) &&
              writeFile(dir / "skorv2.bitmap", bitmap8(forest)) &&
              writeFile(dir / "skorv3.bitmap", packedCore24(city)) &&
              writeFile(dir / "Tq_outro.xm", xm::write(introSong())) &&
              writeFile(dir / "VELTO63K.XM", xm::write(mainSong()));
    if (ok && ppm) {
        ok = writeFile(dir / "skorv1.ppm", portablePixmap(coast)) &&
             writeFile(dir / "skorv2.ppm", portablePixmap(forest)) &&
             writeFile(dir / "skorv3.ppm", portablePixmap(city));
    }
    return ok ? 0 : 1;
}
