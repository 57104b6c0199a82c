// The bitmap reader on files from the shared writer, some damaged on
// purpose: header kinds and colour counts, where the pixel data is found,
// row fill bytes, the other pixel formats, and which message each failure
// shows.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

#include "resources/dib.h"
#include "tests/support/dib_files.h"
#include "tests/support/nonregular_files.h"
#include "tests/support/support.h"

using namespace dib_files;

namespace {

const std::string unknownFormat = "Error|Unknown DIB file format.";
const std::string conversionError = "Error|Image file conversion error.";

class DibTest : public ::testing::Test {
protected:
    void SetUp() override {
        startJournal();
        showImageErrors = true;
    }
    void TearDown() override { showImageErrors = true; }

    std::unique_ptr<Image> read(const Bytes& bytes, const std::string& name = "picture.bmp") {
        return readDibFile(scratch.write(name, bytes).c_str());
    }
    // Reads bytes, expects no image and exactly the one box given.
    void expectRefused(const Bytes& bytes, const std::string& box, const std::string& what) {
        platform::journal().clear();
        std::unique_ptr<Image> image = read(bytes);
        EXPECT_EQ(image, nullptr) << what;
        EXPECT_EQ(shownBoxes(), std::vector<std::string>{box}) << what;
    }

    testing_support::ScratchDir scratch;
};

Bytes pixelsOf(const Image& image) {
    return Bytes(image.pixels.get(), image.pixels.get() + size_t(image.width) * image.height * 3);
}

// A 1 x 1 24-bit packed DIB of the given colour, stored blue, green, red.
Bytes onePixel24(uint8_t r, uint8_t g, uint8_t b) {
    return packedDib({.pixels = {b, g, r}});
}

// ---------------------------------------------------------------------------
TEST(DibColorCount, FollowsTheHeaderKindBitsAndColoursUsed) {
    struct Case { Bytes header; uint16_t expected; const char* what; };
    const Case cases[] = {
        {packedDib({.headerBytes = 12, .width = 4, .height = 4, .bitsPerPixel = 1}), 2, "core, 1 bit"},
        {packedDib({.headerBytes = 12, .width = 4, .height = 4, .bitsPerPixel = 4}), 16, "core, 4 bits"},
        {packedDib({.headerBytes = 12, .width = 4, .height = 4, .bitsPerPixel = 8}), 256, "core, 8 bits"},
        {packedDib({.headerBytes = 12, .width = 4, .height = 4, .bitsPerPixel = 24}), 0, "core, 24 bits"},
        {packedDib({.bitsPerPixel = 8}), 256, "info, 8 bits, colours used 0"},
        {packedDib({.bitsPerPixel = 16}), 0, "info, 16 bits"},
        {packedDib({.bitsPerPixel = 24, .coloursUsed = 2}), 2, "info, 24 bits, colours used 2"},
        {packedDib({.bitsPerPixel = 8, .coloursUsed = 300}), 300, "info, 8 bits, colours used 300"},
        {withHeaderSize(packedDib({.bitsPerPixel = 4, .coloursUsed = 5}), 108), 5, "108-byte header, colours used 5"},
    };
    for (const Case& c : cases) EXPECT_EQ(dibColorCount(c.header.data()), c.expected) << c.what;
}

TEST_F(DibTest, PixelDataFollowsTheColourTableOfAPackedDib) {
    // Core header, 4 bits: 16 three-byte entries, pixels at byte 60.
    {
        const Bytes file = packedDib({.headerBytes = 12, .width = 2, .height = 1, .bitsPerPixel = 4,
                                      .palette = rampPalette(16), .pixels = {0x5A}});  // indices 5 and 10
        ASSERT_EQ(file.size(), 60u + 4u);
        std::unique_ptr<Image> image = read(file);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, 2);
        EXPECT_EQ(image->height, 1);
        EXPECT_EQ(pixelsOf(*image), (Bytes{5, 10, 15, 10, 20, 30}));
    }
    // Info header, 24 bits, no table: pixels at byte 40.
    {
        std::unique_ptr<Image> image = read(onePixel24(0x11, 0x22, 0x33));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{0x11, 0x22, 0x33}));
    }
    // Info header, 24 bits, colours used 2: a two-entry table, pixels at 48.
    {
        const bmp::Colour grey{0xEE, 0xEE, 0xEE};
        std::unique_ptr<Image> image =
            read(packedDib({.coloursUsed = 2, .palette = {grey, grey}, .pixels = {0x33, 0x22, 0x11}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{0x11, 0x22, 0x33}));
    }
    // The same files behind a "BM" header with the matching offset decode alike.
    {
        std::unique_ptr<Image> image = read(bmp::write({.pixels = {9, 8, 7}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{7, 8, 9}));
    }
    EXPECT_TRUE(shownBoxes().empty());
}

TEST_F(DibTest, TheFileHeaderOffsetFindsThePixels) {
    // 8 bits, colours used 0: 256 four-byte entries, then 16 bytes that are
    // not pixels, then the pixels where the offset points.
    const uint32_t tableEnd = 14 + 40 + 256 * 4;
    Bytes file = bmp::write({.width = 2, .height = 1, .bitsPerPixel = 8, .palette = rampPalette(256), .pixels = {3, 200}});
    file.insert(file.begin() + tableEnd, 16, 0xFF);
    setField(file, pixelOffsetAt, tableEnd + 16);
    std::unique_ptr<Image> image = read(file);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(*image), (Bytes{3, 6, 9, 200, 144, 88}));

    // An offset of 0 is taken as it is: the pixel is the file's own first
    // bytes, "BM" and the low byte of the file size, 54.
    Bytes atZero = bmp::write({});
    ASSERT_EQ(atZero.size(), 54u);
    setField(atZero, pixelOffsetAt, 0);
    image = read(atZero);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(*image), (Bytes{54, 'M', 'B'}));
}

TEST_F(DibTest, SectionFillBytesAreSkippedAndImageRowsArePacked) {
    // The 2 x 2 picture: bottom row 01 02 03, 04 05 06, top row 07 08 09,
    // 0A 0B 0C, each stored row filled with two bytes.
    std::unique_ptr<Image> image =
        read(packedDib({.width = 2, .height = 2, .pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, .rowFill = 0xAA}));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(*image), (Bytes{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));

    // Widths 1 to 21 at 8 and 24 bits: stored rows filled to 4 bytes with
    // 0xFF, image rows of 3 x width bytes; pixel (x, y) is colour 16y + x
    // of the table, or that colour stored directly.
    for (int bits : {8, 24})
        for (int32_t width = 1; width <= 21; ++width) {
            const int32_t height = 3;
            Bytes rows, expected;
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x) {
                    const int i = 16 * y + x;
                    if (bits == 8)
                        rows.push_back(uint8_t(i));
                    else
                        append(rows, {uint8_t(3 * i), uint8_t(2 * i), uint8_t(i)});
                    append(expected, {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)});
                }
            const Bytes bmp = packedDib({.width = width, .height = height, .bitsPerPixel = bits,
                                         .palette = rampPalette(bits == 8 ? 256 : 0), .pixels = rows, .rowFill = 0xFF});
            image = read(bmp);
            ASSERT_NE(image, nullptr) << bits << " bits, width " << width;
            EXPECT_EQ(pixelsOf(*image), expected) << bits << " bits, width " << width;
        }
}

TEST_F(DibTest, OtherPixelFormatsDecodeUpright) {
    // Rows stored top to bottom come out bottom row first, height positive.
    {
        std::unique_ptr<Image> image = read(packedDib({.height = 2, .topDown = true, .pixels = {3, 2, 1, 6, 5, 4}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->height, 2);
        EXPECT_EQ(pixelsOf(*image), (Bytes{4, 5, 6, 1, 2, 3}));
    }
    // 16 bits, 5-5-5: full channels, and 16 of 31 rounding to 132.
    {
        std::unique_ptr<Image> image =
            read(packedDib({.width = 3, .bitsPerPixel = 16, .pixels = {0xFF, 0x7F, 0x10, 0x00, 0x00, 0x7C}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{255, 255, 255, 0, 0, 132, 255, 0, 0}));
    }
    // 32 bits, stored blue, green, red, unused.
    {
        std::unique_ptr<Image> image = read(packedDib({.bitsPerPixel = 32, .pixels = {0x30, 0x20, 0x10, 0x99}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{0x10, 0x20, 0x30}));
    }
    // 16 bits with 5-6-5 bit-field masks after the header.
    {
        std::unique_ptr<Image> image = read(packedDib({.width = 2, .bitsPerPixel = 16, .compression = 3,
                                                       .masks = {0xF800, 0x07E0, 0x001F},
                                                       .pixels = {0xE0, 0x07, 0x20, 0x00}}));  // full green; green 1 of 63
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{0, 255, 0, 0, 4, 0}));
    }
    // Run-length 8 bits: a run, a literal, a move over skipped (black)
    // pixels, end of line, end of bitmap.
    {
        std::unique_ptr<Image> image =
            read(packedDib({.width = 4, .height = 2, .bitsPerPixel = 8, .compression = 1, .palette = rampPalette(256),
                            .pixels = {1, 5, 0, 3, 7, 8, 9, 0, 0, 0, 0, 2, 1, 0, 1, 20, 0, 1}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{5, 10, 15, 7, 14, 21, 8, 16, 24, 9, 18, 27,  //
                                            0, 0, 0, 20, 40, 60, 0, 0, 0, 0, 0, 0}));
    }
    // Run-length 4 bits: runs alternate the two indices of their byte.
    {
        std::unique_ptr<Image> image = read(packedDib({.width = 3, .bitsPerPixel = 4, .compression = 2,
                                                       .palette = rampPalette(16), .pixels = {3, 0x12, 0, 1}}));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(pixelsOf(*image), (Bytes{1, 2, 3, 2, 4, 6, 1, 2, 3}));
    }
    EXPECT_TRUE(shownBoxes().empty());
}

// ---------------------------------------------------------------------------
TEST_F(DibTest, HeaderSizesOtherThan12Or40AreUnknown) {
    for (uint32_t size : {108u, 124u, 16u, 64u, 0u})
        expectRefused(withHeaderSize(bmp::write({.pixels = {3, 2, 1}}), size), unknownFormat,
                      "header size " + std::to_string(size));
    // The header size is tested before anything is found to be cut off.
    Bytes cut = withHeaderSize(packedDib({}), 108);
    cut.resize(20);
    expectRefused(cut, unknownFormat, "108-byte header cut to 20 bytes");
    expectRefused({'B', 'M', 1}, unknownFormat, "three bytes");
}

TEST_F(DibTest, FilesThatDeclareMoreThanTheyHoldAreRefused) {
    const Bytes bmp8 =
        bmp::write({.width = 4, .height = 2, .bitsPerPixel = 8, .palette = rampPalette(256), .pixels = Bytes(8, 1)});
    ASSERT_NE(read(bmp8), nullptr);

    struct Case { Bytes file; const char* what; };
    std::vector<Case> cases;
    {
        Bytes f = bmp8;
        f.pop_back();
        cases.push_back({f, "last pixel row one byte short"});
        f.resize(14 + 40 + 1000);
        cases.push_back({f, "cut inside the colour table"});
        f.resize(14 + 30);
        cases.push_back({f, "cut inside the header"});
    }
    {
        Bytes f = bmp8;
        f[10] = 0xFF;  // pixel offset far past the end
        cases.push_back({f, "pixel offset past the end"});
    }
    cases.push_back({packedDib({.headerBytes = 12, .width = 2, .height = 2, .bitsPerPixel = 8,
                                .palette = rampPalette(100)}),
                     "core colour table cut"});
    cases.push_back({packedDib({.bitsPerPixel = 8, .coloursUsed = 65536, .palette = std::vector<bmp::Colour>(65536),
                                .pixels = {0}}),
                     "colours used 65536"});
    cases.push_back({packedDib({.bitsPerPixel = 16, .compression = 3, .pixels = {0, 0}}), "bit-field masks cut"});
    // Headers alone, with 64 bytes that cannot be the pixels they declare.
    const struct { bmp::Bitmap header; const char* what; } headers[] = {
        {{.width = 0, .height = 1}, "dimensions"},
        {{.width = 1, .height = 0}, "dimensions"},
        {{.width = -1, .height = 1}, "dimensions"},
        {{.width = 65536, .height = 65536}, "dimensions"},
        {{.width = 1, .height = INT32_MIN}, "dimensions"},
        {{.bitsPerPixel = 2}, "bits per pixel"},
        {{.bitsPerPixel = 30000}, "bits per pixel"},
        {{.bitsPerPixel = 64}, "bits per pixel"},
        {{.compression = 1}, "compression"},
        {{.compression = 4}, "compression"},
        {{.compression = 5}, "compression"},
        {{.compression = 6}, "compression"},
    };
    for (const auto& h : headers) {
        Bytes f = packedDib(h.header);
        append(f, Bytes(64, 0));
        cases.push_back({f, h.what});
    }
    {
        const bmp::Bitmap rle = {.fileHeader = false, .width = 2, .height = 2, .bitsPerPixel = 8, .compression = 1,
                                 .palette = rampPalette(256)};
        Bytes runPastRow = bmp::write(rle), movePastTop = runPastRow, noEnd = runPastRow;
        bmp::Bitmap topDownRle = rle;
        topDownRle.topDown = true;
        Bytes topDown = bmp::write(topDownRle);
        append(runPastRow, {3, 1, 0, 1});
        append(movePastTop, {0, 2, 0, 2, 1, 1, 0, 1});
        append(noEnd, {2, 1, 0, 0});
        append(topDown, {2, 1, 0, 1});
        cases.push_back({runPastRow, "run-length run past the row"});
        cases.push_back({movePastTop, "run-length move past the top"});
        cases.push_back({noEnd, "run-length data without its end"});
        cases.push_back({topDown, "run-length rows top to bottom"});
    }
    for (const Case& c : cases) expectRefused(c.file, conversionError, c.what);
}

// Reads path in a child process that may map no more than 512 MB beyond
// what it has already, so that a picture the reader wrongly allocates fails
// the read instead of the machine. True when the child read no image and
// showed exactly box; otherwise the child says on stderr what it got.
bool refusedWithoutHugeAllocation(const std::string& path, const std::string& box) {
    const pid_t child = fork();
    if (child == 0) {
        unsigned long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{512} << 20);
        const rlimit addressSpace{limit, limit};
        if (pages == 0 || setrlimit(RLIMIT_AS, &addressSpace) != 0) _exit(2);
        platform::journal().clear();
        const bool image = readDibFile(path.c_str()) != nullptr;
        if (image) std::fprintf(stderr, "an image came back\n");
        _exit(!image && shownBoxes() == std::vector<std::string>{box} ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// At most 64 megapixels (8192 x 8192), refused before anything is allocated
// for them: a few bytes of run-length data can declare a gigapixel.
TEST_F(DibTest, PicturesOfMoreThan64MegapixelsAreRefusedBeforeTheyAreAllocated) {
    struct Case { const char* what; Bytes head; uint64_t fileBytes; };
    const Bytes endOfBitmap = {0, 1};
    const Bytes rle8 = bmp::write({.width = 32768, .height = 32768, .bitsPerPixel = 8, .compression = 1,
                                   .palette = rampPalette(256), .pixels = endOfBitmap});
    const Bytes rle4 = bmp::write({.width = 32768, .height = 32768, .bitsPerPixel = 4, .compression = 2,
                                   .palette = rampPalette(16), .pixels = endOfBitmap});
    // 1 bit a pixel, so the file holds every row it declares: 1028 bytes a
    // row, 8.4 MB in all, read as zeros from a hole.
    const Bytes bits1 = bmp::write({.width = 8193, .height = 8192, .bitsPerPixel = 1, .palette = rampPalette(2)});
    Bytes bits24 = packedDib({.width = 32768, .height = 32768, .bitsPerPixel = 24});
    append(bits24, Bytes(64, 0));
    const std::vector<Case> cases = {
        {"run-length 8 bits, 32768 x 32768 in 1080 bytes", rle8, 1080},
        {"run-length 4 bits, 32768 x 32768", rle4, rle4.size()},
        {"1 bit, 8193 x 8192 with all its rows", bits1, bits1.size() + uint64_t{1028} * 8192},
        {"24 bits, 32768 x 32768 in a file that holds almost none of it", bits24, bits24.size()},
    };
    for (const Case& c : cases) {
        const std::string path = scratch.write("huge.bmp", c.head);
        std::filesystem::resize_file(path, c.fileBytes);
        EXPECT_TRUE(refusedWithoutHugeAllocation(path, conversionError)) << c.what;
    }
}

TEST_F(DibTest, FilesThatCannotBeOpenedNameThemselves) {
    const std::string empty = scratch.write("empty.bmp", {});
    std::unique_ptr<Image> image = readDibFile(empty.c_str());
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(shownBoxes(), std::vector<std::string>{"Error|Failed to open DIB file " + empty + ".\n"});

    platform::journal().clear();
    const std::string missing = (scratch.path() / "missing.bmp").string();
    EXPECT_EQ(readDibFile(missing.c_str()), nullptr);
    EXPECT_EQ(shownBoxes(), std::vector<std::string>{"Error|Failed to open DIB file " + missing + ".\n"});

    // A directory opens but cannot be mapped.
    platform::journal().clear();
    EXPECT_EQ(readDibFile(scratch.path().c_str()), nullptr);
    EXPECT_EQ(shownBoxes().size(), 1u);

    // Nothing but a regular file is opened: a pipe is not waited on, a
    // device not read.
    {
        nonregular_files::BlockGuard guard;
        const std::filesystem::path odd = scratch.path() / "odd.bmp";
        for (const nonregular_files::Kind& kind : nonregular_files::kinds) {
            kind.make(odd);
            platform::journal().clear();
            EXPECT_EQ(readDibFile(odd.c_str()), nullptr) << kind.what;
            EXPECT_EQ(shownBoxes(), std::vector<std::string>{"Error|Failed to open DIB file " + odd.string() + ".\n"})
                << kind.what;
        }
    }

    // A name too long for the 256-byte text is cut; the text keeps its end.
    platform::journal().clear();
    const std::string longName = "data/" + std::string(400, 'x') + ".bmp";
    EXPECT_EQ(readDibFile(longName.c_str()), nullptr);
    const std::vector<std::string> boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    const std::string text = boxes[0].substr(std::string("Error|").size());
    EXPECT_EQ(text.size(), 255u);
    EXPECT_EQ(text.rfind("Failed to open DIB file data/xxx", 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 3), "x.\n") << text;
}

TEST_F(DibTest, WideNamesOpenTheSameFile) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const std::string path = scratch.write("pict\xC3\xA9.bmp", onePixel24(1, 2, 3));
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(std::mbstowcs(wide.data(), path.c_str(), wide.size()));
    ASSERT_EQ(wide.back(), L'p');
    std::unique_ptr<Image> image = readDibFile(wide.c_str(), true);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(pixelsOf(*image), (Bytes{1, 2, 3}));

    std::wstring missing = wide + L"x";
    EXPECT_EQ(readDibFile(missing.c_str(), true), nullptr);
    EXPECT_EQ(shownBoxes(), std::vector<std::string>{"Error|Failed to open DIB file " + path + "x.\n"});
}

TEST_F(DibTest, WithErrorsOffFailuresAreSilent) {
    showImageErrors = false;
    EXPECT_EQ(readDibFile((scratch.path() / "missing.bmp").c_str()), nullptr);
    EXPECT_EQ(read(withHeaderSize(packedDib({}), 124)), nullptr);
    EXPECT_EQ(read(packedDib({.width = 4, .height = 4})), nullptr);
    EXPECT_EQ(read({}), nullptr);
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_NE(read(onePixel24(1, 2, 3)), nullptr);
}

}  // namespace
