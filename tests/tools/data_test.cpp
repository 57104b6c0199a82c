// The show's data files as makedata writes them into the build's data
// folder: the same bytes on every run, photos in the three bitmap layouts
// that the reader must accept and that decode to rich 256 x 256 pictures,
// and songs that are well-formed XM, load cleanly in the player, play long
// enough before they loop, and neither clip nor whisper.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/audio/sound.h"
#include "resources/dib.h"
#include "tests/support/support.h"

namespace {

using testing_support::dataDir;
using testing_support::ScratchDir;

const char* const dataFiles[] = {"skorv1.bitmap", "skorv2.bitmap", "skorv3.bitmap", "Tq_outro.xm", "VELTO63K.XM"};

constexpr int photoSide = 256;                       // pixels
constexpr uint32_t pixelBytes24 = photoSide * photoSide * 3;
constexpr int mixRate = 44100;                       // Hz, as the show mixes
constexpr int blockFrames = mixRate / 10;            // 100 ms
constexpr int renderSeconds = 60;
constexpr int clipLimit = 32000;                     // highest sample value allowed, of 32767
constexpr double minSongRmsDb = -30.0;               // dBFS over the first 60 s
constexpr double minWindowRmsDb = -40.0;             // dBFS in every 5-second window
constexpr double minHitRmsDb = -30.0;                // dBFS over the main song's first 100 ms

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }
uint32_t le32(const std::vector<uint8_t>& b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// Runs the built makedata with arguments; returns its exit status, or -1
// when it did not exit normally. Its messages go to messages when given.
int runMakedata(const std::string& arguments, const std::string& messages = "/dev/null") {
    std::string command = std::string(EYESONLY_BINARY_DIR "/makedata ") + arguments + " >/dev/null 2>" + messages;
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// --- the tool ---------------------------------------------------------------

TEST(Makedata, WritesTheSameBytesOnEveryRunAsTheBuildDid) {
    ScratchDir first, second;
    ASSERT_EQ(runMakedata(quoted(first.path())), 0);
    ASSERT_EQ(runMakedata(quoted(second.path())), 0);
    for (const char* name : dataFiles) {
        std::vector<uint8_t> built = readBytes(dataDir() / name);
        ASSERT_FALSE(built.empty()) << "the build made no " << (dataDir() / name);
        std::vector<uint8_t> a = readBytes(first.path() / name), b = readBytes(second.path() / name);
        EXPECT_EQ(a.size(), built.size()) << name;
        EXPECT_TRUE(a == built) << name << " differs from the build's copy";
        EXPECT_TRUE(a == b) << name << " differs between two runs";
    }
}

TEST(Makedata, RefusesBadArgumentsAndReportsFilesItCannotWrite) {
    ScratchDir scratch;
    EXPECT_EQ(runMakedata(""), 2) << "no output directory";
    EXPECT_EQ(runMakedata(quoted(scratch.path()) + " --frobnicate"), 2) << "an unknown option";
    EXPECT_EQ(runMakedata("''"), 2) << "an empty directory name";

    // a directory below a plain file cannot be made
    std::string plain = scratch.write("plain", {1, 2, 3});
    std::string messages = (scratch.path() / "messages").string();
    EXPECT_EQ(runMakedata(quoted(std::filesystem::path(plain) / "data"), messages), 1);
    std::vector<uint8_t> text = readBytes(messages);
    EXPECT_NE(std::string(text.begin(), text.end()).find("makedata: cannot"), std::string::npos);

    // a directory standing where a photo should go cannot be written over
    std::filesystem::path out = scratch.path() / "out";
    std::filesystem::create_directories(out / "skorv2.bitmap");
    EXPECT_EQ(runMakedata(quoted(out), messages), 1);
    text = readBytes(messages);
    EXPECT_NE(std::string(text.begin(), text.end()).find("skorv2.bitmap"), std::string::npos)
        << "the message names the file: " << std::string(text.begin(), text.end());
}

// --- the photos ---------------------------------------------------------------

TEST(Photos, HaveTheirThreeLayouts) {
    // skorv1: "BM", the 40-byte info header, 24 bits a pixel, no colour table
    std::vector<uint8_t> one = readBytes(dataDir() / "skorv1.bitmap");
    ASSERT_EQ(one.size(), 14u + 40u + pixelBytes24);
    EXPECT_EQ(one[0], 'B');
    EXPECT_EQ(one[1], 'M');
    EXPECT_EQ(le32(one, 2), one.size()) << "file size field";
    EXPECT_EQ(le32(one, 10), 54u) << "pixel data offset";
    EXPECT_EQ(le32(one, 14), 40u) << "header size";
    EXPECT_EQ(le32(one, 18), 256u);
    EXPECT_EQ(le32(one, 22), 256u);
    EXPECT_EQ(le16(one, 26), 1u) << "planes";
    EXPECT_EQ(le16(one, 28), 24u) << "bits a pixel";
    EXPECT_EQ(le32(one, 30), 0u) << "compression";
    EXPECT_EQ(dibColorCount(one.data() + 14), 0);

    // skorv2: "BM", the 40-byte header, 8 bits a pixel, colours used 0 and so
    // a table of 256 entries of its own
    std::vector<uint8_t> two = readBytes(dataDir() / "skorv2.bitmap");
    ASSERT_EQ(two.size(), 14u + 40u + 256u * 4u + photoSide * photoSide);
    EXPECT_EQ(two[0], 'B');
    EXPECT_EQ(two[1], 'M');
    EXPECT_EQ(le32(two, 2), two.size());
    EXPECT_EQ(le32(two, 10), 14u + 40u + 1024u) << "pixels right after the table";
    EXPECT_EQ(le32(two, 14), 40u);
    EXPECT_EQ(le32(two, 18), 256u);
    EXPECT_EQ(le32(two, 22), 256u);
    EXPECT_EQ(le16(two, 28), 8u);
    EXPECT_EQ(le32(two, 30), 0u);
    EXPECT_EQ(le32(two, 46), 0u) << "colours used";
    EXPECT_EQ(dibColorCount(two.data() + 14), 256);
    std::set<uint32_t> tableColours;
    for (size_t i = 0; i < 256; i++) {
        size_t at = 54 + i * 4;
        EXPECT_EQ(two[at + 3], 0) << "reserved byte of entry " << i;
        tableColours.insert(le32(two, at));
    }
    std::set<uint8_t> indices(two.begin() + 1078, two.end());
    EXPECT_GE(tableColours.size(), 200u) << "a palette chosen for the picture has few repeats";
    EXPECT_GE(indices.size(), 200u) << "the picture uses most of its palette";

    // skorv3: a packed DIB with the 12-byte core header, 24 bits a pixel
    std::vector<uint8_t> three = readBytes(dataDir() / "skorv3.bitmap");
    ASSERT_EQ(three.size(), 12u + pixelBytes24);
    EXPECT_NE(three[0], 'B') << "no file header";
    EXPECT_EQ(le32(three, 0), 12u);
    EXPECT_EQ(le16(three, 4), 256u);
    EXPECT_EQ(le16(three, 6), 256u);
    EXPECT_EQ(le16(three, 8), 1u);
    EXPECT_EQ(le16(three, 10), 24u);
    EXPECT_EQ(dibColorCount(three.data()), 0);
}

struct PictureStats {
    double meanLuma = 0;       // 0..255
    double lumaSpread = 0;     // standard deviation, 0..255
    size_t colours = 0;        // distinct RGB values
};

PictureStats measure(const Image& image) {
    PictureStats stats;
    const size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    double sum = 0, squares = 0;
    std::set<uint32_t> colours;
    for (size_t i = 0; i < count; i++) {
        const uint8_t* p = image.pixels.get() + i * 3;
        double luma = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
        sum += luma;
        squares += luma * luma;
        colours.insert(static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]));
    }
    stats.meanLuma = sum / static_cast<double>(count);
    stats.lumaSpread = std::sqrt(squares / static_cast<double>(count) - stats.meanLuma * stats.meanLuma);
    stats.colours = colours.size();
    return stats;
}

// Each photo decodes to 256 x 256 and is a picture, not a flat field or a
// handful of colours: neither black nor washed out, with light and shade.
TEST(Photos, DecodeThroughTheReaderToRichPictures) {
    showImageErrors = false;
    std::vector<std::unique_ptr<Image>> images;
    for (int i = 0; i < 3; i++) {
        std::string path = (dataDir() / dataFiles[i]).string();
        std::unique_ptr<Image> image = readDibFile(path.c_str());
        ASSERT_NE(image, nullptr) << path;
        EXPECT_EQ(image->width, photoSide) << path;
        EXPECT_EQ(image->height, photoSide) << path;
        PictureStats stats = measure(*image);
        EXPECT_GT(stats.meanLuma, 20.0) << path << " is nearly black";
        EXPECT_LT(stats.meanLuma, 180.0) << path << " is washed out";
        EXPECT_GT(stats.lumaSpread, 20.0) << path << " has no light and shade";
        EXPECT_GT(stats.colours, i == 1 ? 150u : 5000u) << path << " has too few colours";
        images.push_back(std::move(image));
    }
    // three different places, not one picture thrice
    for (size_t a = 0; a < 3; a++) {
        for (size_t b = a + 1; b < 3; b++) {
            double difference = 0;
            for (size_t i = 0; i < pixelBytes24; i++)
                difference += std::abs(images[a]->pixels[i] - images[b]->pixels[i]);
            EXPECT_GT(difference / pixelBytes24, 20.0) << dataFiles[a] << " and " << dataFiles[b];
        }
    }
    showImageErrors = true;
}

// The 24-bit photos hold their pixels as stored: the first pixel of the
// decoded picture (its bottom-left) is the first stored blue, green, red.
TEST(Photos, TwentyFourBitPixelsArriveUnchanged) {
    const struct {
        const char* name;
        size_t pixelsAt;
    } photos[] = {{"skorv1.bitmap", 54}, {"skorv3.bitmap", 12}};
    for (const auto& photo : photos) {
        std::vector<uint8_t> bytes = readBytes(dataDir() / photo.name);
        std::unique_ptr<Image> image = readDibFile((dataDir() / photo.name).string().c_str());
        ASSERT_NE(image, nullptr) << photo.name;
        for (size_t pixel : {size_t{0}, size_t{255}, size_t{256 * 128 + 77}, size_t{256 * 256 - 1}}) {
            const uint8_t* stored = bytes.data() + photo.pixelsAt + pixel * 3;
            const uint8_t* decoded = image->pixels.get() + pixel * 3;
            EXPECT_EQ(decoded[0], stored[2]) << photo.name << " pixel " << pixel << " red";
            EXPECT_EQ(decoded[1], stored[1]) << photo.name << " pixel " << pixel << " green";
            EXPECT_EQ(decoded[2], stored[0]) << photo.name << " pixel " << pixel << " blue";
        }
    }
}

// --- the songs ----------------------------------------------------------------

// Walks the whole XM file: header, every pattern (its packed cells must
// fill exactly rows x channels), every instrument and sample, and must end
// exactly at the end of the file. Returns an empty string or the fault.
std::string walkXm(const std::vector<uint8_t>& b, uint32_t& channels) {
    if (b.size() < 336) return "shorter than its header";
    if (std::string(b.begin(), b.begin() + 17) != "Extended Module: ") return "no \"Extended Module: \" signature";
    if (b[37] != 0x1A) return "no 0x1A after the name";
    if (le16(b, 58) != 0x0104) return "version is not 0x0104";
    if (le32(b, 60) != 276) return "header size is not 276";
    uint32_t length = le16(b, 64), restart = le16(b, 66);
    channels = le16(b, 68);
    uint32_t patterns = le16(b, 70), instruments = le16(b, 72);
    if (length < 1 || length > 256) return "song length out of range";
    if (restart >= length) return "restart position beyond the song";
    if (patterns < 1 || instruments < 1) return "no patterns or no instruments";
    for (uint32_t i = 0; i < length; i++)
        if (b[80 + i] >= patterns) return "order " + std::to_string(i) + " names a missing pattern";
    size_t at = 60 + 276;
    for (uint32_t p = 0; p < patterns; p++) {
        if (at + 9 > b.size() || le32(b, at) != 9 || b[at + 4] != 0) return "bad header of pattern " + std::to_string(p);
        uint32_t rows = le16(b, at + 5), packed = le16(b, at + 7);
        at += 9;
        if (rows < 1 || rows > 256 || at + packed > b.size()) return "bad size of pattern " + std::to_string(p);
        size_t end = at + packed, cells = 0;
        while (at < end) {
            uint8_t first = b[at++];
            if (first & 0x80) {
                for (int bit = 0; bit < 5; bit++) at += (first >> bit) & 1;
            } else {
                if (first > 97) return "note out of range in pattern " + std::to_string(p);
                at += 4;
            }
            cells++;
        }
        if (at != end || cells != rows * channels) return "pattern " + std::to_string(p) + " does not fill its rows";
    }
    for (uint32_t i = 0; i < instruments; i++) {
        if (at + 29 > b.size()) return "instrument " + std::to_string(i) + " cut short";
        uint32_t headerSize = le32(b, at), samples = le16(b, at + 27);
        if (samples == 0) {
            at += headerSize;
            continue;
        }
        if (at + 263 > b.size() || le32(b, at + 29) != 40) return "bad header of instrument " + std::to_string(i);
        if (b[at + 225] > 12) return "too many envelope points in instrument " + std::to_string(i);
        at += headerSize;
        size_t dataBytes = 0;
        for (uint32_t s = 0; s < samples; s++, at += 40) {
            if (at + 40 > b.size()) return "sample header cut short";
            uint32_t bytes = le32(b, at), loopStart = le32(b, at + 4), loopLength = le32(b, at + 8);
            if ((b[at + 14] & 3) != 0 && (loopLength == 0 || loopStart + loopLength > bytes))
                return "loop outside sample of instrument " + std::to_string(i);
            if (b[at + 12] > 64) return "sample volume above 64";
            dataBytes += bytes;
        }
        at += dataBytes;
    }
    if (at != b.size()) return "file size does not match its contents";
    return "";
}

TEST(SongFiles, AreWellFormedXmWithSixToEightChannels) {
    for (const char* name : {"Tq_outro.xm", "VELTO63K.XM"}) {
        std::vector<uint8_t> bytes = readBytes(dataDir() / name);
        uint32_t channels = 0;
        EXPECT_EQ(walkXm(bytes, channels), "") << name;
        EXPECT_GE(channels, 6u) << name;
        EXPECT_LE(channels, 8u) << name;
    }
}

struct Levels {
    int peak = 0;
    double rmsDb = 0;          // over the whole rendering
    double quietestDb = 0;     // of its 5-second windows
    double firstBlockDb = 0;   // over its first 100 ms
};

double decibels(double sumOfSquares, double count) {
    return 10.0 * std::log10(sumOfSquares / count / (32768.0 * 32768.0) + 1e-12);
}

// Plays the song alone through the capture output and measures what comes out.
Levels render(FMUSIC_MODULE* song, int seconds) {
    Levels levels;
    levels.quietestDb = 0;
    EXPECT_TRUE(FMUSIC_PlaySong(song));
    std::vector<int16_t> block(static_cast<size_t>(blockFrames) * 2);
    double total = 0, window = 0;
    const int blocksPerWindow = 50;
    for (int i = 0; i < seconds * 10; i++) {
        platform::renderSound(block.data(), blockFrames);
        double sum = 0;
        for (int16_t v : block) {
            sum += static_cast<double>(v) * v;
            levels.peak = std::max(levels.peak, std::abs(static_cast<int>(v)));
        }
        if (i == 0) levels.firstBlockDb = decibels(sum, static_cast<double>(block.size()));
        total += sum;
        window += sum;
        if ((i + 1) % blocksPerWindow == 0) {
            levels.quietestDb = std::min(levels.quietestDb, decibels(window, static_cast<double>(block.size()) * blocksPerWindow));
            window = 0;
        }
    }
    FMUSIC_StopSong(song);
    levels.rmsDb = decibels(total, static_cast<double>(block.size()) * seconds * 10);
    return levels;
}

class SongPlayback : public ::testing::Test {
protected:
    void SetUp() override {
        platform::selectSoundOutput(platform::SoundOutput::Capture);
        FSOUND_Init(mixRate, 32, 0);
    }
    void TearDown() override { platform::resetSound(); }
};

// The intro plays under the slideshow (about 56 s), the main song under the
// other four scenes (about 89 s): each must last at least that long before
// it loops, and must be heard, not clip.
TEST_F(SongPlayback, LoadCleanlyLastLongEnoughAndSitAtSaneLevels) {
    const struct {
        const char* name;
        double minSeconds, maxSeconds;
    } songs[] = {{"Tq_outro.xm", 57.0, 120.0}, {"VELTO63K.XM", 90.0, 200.0}};
    for (const auto& expected : songs) {
        SCOPED_TRACE(expected.name);
        FMUSIC_MODULE* song = FMUSIC_LoadSong((dataDir() / expected.name).string().c_str());
        ASSERT_NE(song, nullptr);
        const std::vector<std::string>& log = platform::songLoadLog(song);
        EXPECT_TRUE(log.empty()) << "the loader said: " << (log.empty() ? "" : log.front());
        double seconds = platform::songLengthSeconds(song);
        EXPECT_GE(seconds, expected.minSeconds);
        EXPECT_LT(seconds, expected.maxSeconds);

        Levels levels = render(song, renderSeconds);
        EXPECT_LE(levels.peak, clipLimit) << "clips";
        EXPECT_GT(levels.rmsDb, minSongRmsDb) << "too quiet overall";
        EXPECT_GT(levels.quietestDb, minWindowRmsDb) << "a stretch of 5 s is nearly silent";
        FMUSIC_FreeSong(song);
    }
}

// The title lines fly in with the main song's first beat, so its first
// 100 ms must already be loud.
TEST_F(SongPlayback, MainSongStartsWithAHit) {
    FMUSIC_MODULE* song = FMUSIC_LoadSong((dataDir() / "VELTO63K.XM").string().c_str());
    ASSERT_NE(song, nullptr);
    Levels levels = render(song, 1);
    EXPECT_GT(levels.firstBlockDb, minHitRmsDb);
    FMUSIC_FreeSong(song);
}

}  // namespace
