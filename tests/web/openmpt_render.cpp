// Renders a tracker song the way the show's player does, for comparing two
// builds of libopenmpt (the desktop's and the browser's) sample for sample.
//
//   openmpt_render SONG SECONDS OUT      writes SECONDS of 44100 Hz 16-bit
//                                        stereo (native order) to OUT
//   openmpt_render --compare A B         exit 0 when A and B are identical;
//                                        otherwise 1, with the largest
//                                        difference and where it first is;
//                                        1 as well when A is silence
//
// Built natively against Debian's libopenmpt and with em++ against the web
// one (run under node, which sees the real files). Exit 2: wrong arguments
// or unreadable files.
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int mixRate = 44100;      // Hz, the show's rate
constexpr int chunkFrames = 1024;   // frames a pass, as the player mixes them
constexpr int channelCount = 2;

bool readFile(const char* path, std::vector<char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

int render(const char* songPath, long seconds, const char* outPath) {
    std::vector<char> bytes;
    if (!readFile(songPath, bytes)) {
        std::cerr << "openmpt_render: cannot read " << songPath << "\n";
        return 2;
    }
    std::vector<int16_t> samples;
    try {
        // 1. a fresh module from the file's bytes, looping, without dither
        openmpt::module module(bytes, std::cerr);
        module.set_repeat_count(-1);
        module.ctl_set_integer("dither", 0);
        // 2. the song in 1024-frame passes; a pass that renders nothing is silence
        std::vector<int16_t> block(static_cast<size_t>(chunkFrames) * channelCount);
        for (long left = seconds * mixRate; left > 0; left -= chunkFrames) {
            const int frames = static_cast<int>(std::min<long>(left, chunkFrames));
            std::fill(block.begin(), block.end(), int16_t{0});
            module.read_interleaved_stereo(mixRate, frames, block.data());
            samples.insert(samples.end(), block.begin(), block.begin() + static_cast<long>(frames) * channelCount);
        }
    } catch (const std::exception& e) {
        std::cerr << "openmpt_render: " << songPath << ": " << e.what() << "\n";
        return 1;
    }
    // 3. the samples as they are in memory
    std::ofstream out(outPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * sizeof(int16_t)));
    if (!out.flush()) {
        std::cerr << "openmpt_render: cannot write " << outPath << "\n";
        return 2;
    }
    return 0;
}

int compare(const char* pathA, const char* pathB) {
    std::vector<char> a, b;
    if (!readFile(pathA, a) || !readFile(pathB, b)) {
        std::cerr << "openmpt_render: cannot read " << pathA << " or " << pathB << "\n";
        return 2;
    }
    if (a.size() != b.size()) {
        std::cout << "lengths differ: " << a.size() << " and " << b.size() << " bytes\n";
        return 1;
    }
    const size_t count = a.size() / sizeof(int16_t);
    const auto* sa = reinterpret_cast<const int16_t*>(a.data());
    const auto* sb = reinterpret_cast<const int16_t*>(b.data());
    int largest = 0, peak = 0;
    size_t differing = 0, first = count;
    for (size_t i = 0; i < count; ++i) {
        peak = std::max(peak, std::abs(int{sa[i]}));
        const int d = std::abs(sa[i] - sb[i]);
        if (d == 0) continue;
        if (first == count) first = i;
        ++differing;
        largest = std::max(largest, d);
    }
    std::cout << "largest difference " << largest << " levels, " << differing << " of " << count << " samples differ";
    if (differing > 0) std::cout << ", the first at frame " << first / channelCount;
    std::cout << "; peak " << peak << "\n";
    return differing == 0 && peak > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--compare") return compare(argv[2], argv[3]);
    if (argc == 4 && argv[1][0] != '-') {
        char* end = nullptr;
        const long seconds = std::strtol(argv[2], &end, 10);
        if (*end == '\0' && seconds > 0 && seconds <= 3600) return render(argv[1], seconds, argv[3]);
    }
    std::cerr << "usage: openmpt_render SONG SECONDS OUT | openmpt_render --compare A B\n";
    return 2;
}
