// The glyph pack: glyphpack writes the desktop's glyphs, and the fonts of
// platform/fonts/pack.cpp read back exactly what platform/fonts/fonts.cpp
// gives, bit for bit, for every code at every height the show uses; a pack
// that is absent, cut short or corrupt gives no face and reads nothing
// outside the file. pack.cpp is built into this test with its calls in
// namespace EYESONLY_PACK_FONTS (see tests/CMakeLists.txt).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/fonts/fonts.h"
#include "resources/glyphs.h"
#include "tests/support/support.h"

namespace EYESONLY_PACK_FONTS {
struct FontFace;
bool chosenFace(std::string& family, std::string& file);
FontFace* createFont(int height);
void deleteFont(FontFace* font);
platform::GlyphOutline glyphOutline(FontFace& font, int code, double tolerance);
bool useBitmapHeight(FontFace& font);
platform::GlyphBitmap glyphBitmap(FontFace& font, int code);
void useGlyphPack(const std::string& path);
}  // namespace EYESONLY_PACK_FONTS

namespace {

namespace pack = EYESONLY_PACK_FONTS;
using testing_support::ScratchDir;

constexpr int codes = 255;                 // 0 to 254, as the show asks
constexpr int outlineHeight = 9;           // the show's outline font
constexpr int bitmapHeights[] = {72, 24, 42};

// Runs the built glyphpack; its exit status, or -1 when it did not exit.
int runGlyphpack(const std::string& arguments, const std::string& environment = "") {
    const std::string command =
        environment + " " EYESONLY_BINARY_DIR "/glyphpack " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t(b.at(at + 3)) << 24;
}
void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// Bit patterns, so that -0.0 and 0.0 differ and nothing is "close enough".
uint32_t bits(float v) { return std::bit_cast<uint32_t>(v); }
uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

using M = platform::GlyphMetrics;
constexpr float M::*metricFields[] = {&M::blackBoxX, &M::blackBoxY, &M::originX, &M::originY, &M::cellIncX, &M::cellIncY};

void expectSameOutline(const platform::GlyphOutline& want, const platform::GlyphOutline& got, int code) {
    SCOPED_TRACE("code " + std::to_string(code));
    for (float M::*field : metricFields) EXPECT_EQ(bits(want.metrics.*field), bits(got.metrics.*field));
    EXPECT_EQ(want.fillRight, got.fillRight);
    EXPECT_EQ(want.evenOdd, got.evenOdd);
    ASSERT_EQ(want.contours.size(), got.contours.size());
    for (size_t c = 0; c < want.contours.size(); ++c) {
        ASSERT_EQ(want.contours[c].size(), got.contours[c].size()) << "contour " << c;
        for (size_t p = 0; p < want.contours[c].size(); ++p) {
            ASSERT_EQ(bits(want.contours[c][p].x), bits(got.contours[c][p].x)) << "contour " << c << " point " << p;
            ASSERT_EQ(bits(want.contours[c][p].y), bits(got.contours[c][p].y)) << "contour " << c << " point " << p;
        }
    }
}

void expectSameBitmap(const platform::GlyphBitmap& want, const platform::GlyphBitmap& got, int code) {
    SCOPED_TRACE("code " + std::to_string(code));
    EXPECT_EQ(want.width, got.width);
    EXPECT_EQ(want.rows, got.rows);
    EXPECT_EQ(bits(want.xorig), bits(got.xorig));
    EXPECT_EQ(bits(want.yorig), bits(got.yorig));
    EXPECT_EQ(bits(want.advance), bits(got.advance));
    EXPECT_EQ(want.bits, got.bits);
}

bool isEmpty(const platform::GlyphOutline& glyph) {
    for (float M::*field : metricFields)
        if (glyph.metrics.*field != 0.0f) return false;
    return glyph.contours.empty();
}

// One pack written by the tool for the whole program, read from where it
// was written.
class FontPack : public testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new ScratchDir;
        packPath = (folder->path() / "glyphs.pack").string();
        ASSERT_EQ(runGlyphpack("'" + packPath + "'"), 0);
        written = readBytes(packPath);
    }
    static void TearDownTestSuite() { delete folder; }
    void SetUp() override {
        std::filesystem::remove(packPath);
        folder->write("glyphs.pack", written);
        pack::useGlyphPack(packPath);
    }

    static inline ScratchDir* folder = nullptr;
    static inline std::string packPath;
    static inline std::vector<uint8_t> written;
};

TEST_F(FontPack, GivesWhatTheDesktopFontsGiveForEveryCodeAndHeight) {
    std::string wantFamily, wantFile, family, file;
    ASSERT_TRUE(platform::chosenFace(wantFamily, wantFile));
    ASSERT_TRUE(pack::chosenFace(family, file));
    EXPECT_EQ(wantFamily, family);
    EXPECT_EQ(wantFile, file);

    platform::FontFace* desktop = platform::createFont(outlineHeight);
    pack::FontFace* packed = pack::createFont(outlineHeight);
    ASSERT_TRUE(desktop && packed);
    int inked = 0;
    for (int code = 0; code < codes; ++code) {
        const platform::GlyphOutline want = platform::glyphOutline(*desktop, code, defaultDeviation);
        expectSameOutline(want, pack::glyphOutline(*packed, code, defaultDeviation), code);
        inked += !want.contours.empty();
    }
    EXPECT_GT(inked, 180) << "the face gave too few outlines for the comparison to mean much";
    // A tolerance or a height the pack does not hold: the empty glyph.
    EXPECT_TRUE(isEmpty(pack::glyphOutline(*packed, 'A', defaultDeviation / 2)));
    pack::FontFace* otherHeight = pack::createFont(outlineHeight + 1);
    ASSERT_NE(otherHeight, nullptr);
    EXPECT_TRUE(isEmpty(pack::glyphOutline(*otherHeight, 'A', defaultDeviation)));
    pack::deleteFont(otherHeight);
    // A bitmap height the pack does not hold (a larger picture's text): no
    // glyphs from the pack; drawn from the packed outline instead, in
    // FreeType's box within a pixel or two (hinting moves edges), with about
    // as many pixels inked. Every glyph, the space too, moves on by
    // FreeType's advance and has a bitmap when it moves on (a list of an
    // empty glBitmap does not move): at the heights of pictures 1000 x 750
    // and 1366 x 768 (38, 66, 113 and 38, 67, 115) and others.
    for (int height : {30, 38, 57, 66, 67, 96, 113, 115, 216}) {
        pack::FontFace* unheld = pack::createFont(height);
        platform::FontFace* rendered = platform::createFont(height);
        ASSERT_TRUE(unheld && rendered && platform::useBitmapHeight(*rendered));
        EXPECT_FALSE(pack::useBitmapHeight(*unheld));
        pack::deleteFont(unheld);
        const auto drawn = [&](int code) {
            return glyphFromOutline(pack::glyphOutline(*packed, code, defaultDeviation), height);
        };
        for (int code = 0; code < codes; ++code) {
            const platform::GlyphBitmap got = drawn(code);
            const platform::GlyphBitmap want = platform::glyphBitmap(*rendered, code);
            EXPECT_NEAR(got.advance, want.advance, 1.0f) << "height " << height << ", code " << code;
            EXPECT_EQ(got.advance > 0.0f, got.width > 0 && got.rows > 0) << "height " << height << ", code " << code;
        }
        for (int code : {'A', 'g', '%', '@'}) {
            const platform::GlyphBitmap got = drawn(code);
            const platform::GlyphBitmap want = platform::glyphBitmap(*rendered, code);
            const auto edges = [](const platform::GlyphBitmap& g) {
                int ink = 0;
                for (uint8_t b : g.bits) ink += __builtin_popcount(b);
                return std::vector<float>{g.advance, -g.xorig, g.width - g.xorig, -g.yorig, g.rows - g.yorig, ink / 50.0f};
            };
            const std::vector<float> a = edges(got), b = edges(want);
            for (size_t k = 0; k < a.size(); ++k)
                EXPECT_NEAR(a[k], b[k], k == 5 ? 0.15f * b[5] : 1.0f + 0.02f * height)
                    << "height " << height << ", code " << code << ", measure " << k
                    << " (advance, left, right, bottom, top, ink / 50)";
        }
        platform::deleteFont(rendered);
    }
    platform::deleteFont(desktop);
    pack::deleteFont(packed);

    for (int height : bitmapHeights) {
        SCOPED_TRACE("height " + std::to_string(height));
        desktop = platform::createFont(height);
        packed = pack::createFont(height);
        ASSERT_TRUE(desktop && packed);
        ASSERT_TRUE(platform::useBitmapHeight(*desktop));
        ASSERT_TRUE(pack::useBitmapHeight(*packed));
        inked = 0;
        for (int code = 0; code < codes; ++code) {
            const platform::GlyphBitmap want = platform::glyphBitmap(*desktop, code);
            expectSameBitmap(want, pack::glyphBitmap(*packed, code), code);
            inked += !want.bits.empty();
        }
        EXPECT_GT(inked, 180);
        platform::deleteFont(desktop);
        pack::deleteFont(packed);
    }
}

TEST_F(FontPack, ToolExitsZeroOneOrTwo) {
    const std::string out = "'" + (folder->path() / "out.pack").string() + "'";
    // fontconfig with no font folders at all: no face.
    const std::string conf = folder->write(
        "empty.conf", [] {
            const std::string text = "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
            return std::vector<uint8_t>(text.begin(), text.end());
        }());
    const struct {
        const char* what;
        std::string arguments, environment;
        int status;
    } runs[] = {
        {"help", "--help", "", 0},
        {"no arguments", "", "", 2},
        {"two arguments", out + " " + out, "", 2},
        {"an unknown option", "--size", "", 2},
        {"a folder that is not there", "/nonexistent-folder/glyphs.pack", "", 1},
        {"no face", out, "FONTCONFIG_FILE='" + conf + "'", 1},
    };
    for (const auto& run : runs) EXPECT_EQ(runGlyphpack(run.arguments, run.environment), run.status) << run.what;
    EXPECT_FALSE(std::filesystem::exists(folder->path() / "out.pack")) << "a failed run left a file";
}

TEST_F(FontPack, ADamagedPackGivesNoFace) {
    // Where the first glyph's contour count lies: magic, version, the two
    // names, the set count, height and tolerance, then metrics and flags.
    const size_t fileAt = 12 + 4 + le32(written, 12);
    const size_t firstContoursAt = fileAt + 4 + le32(written, fileAt) + 4 + 4 + 8 + 24 + 1;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
    for (int part = 0; part < 16; ++part)
        damaged.emplace_back("cut to " + std::to_string(part) + "/16",
                             std::vector<uint8_t>(written.begin(), written.begin() + written.size() * part / 16));
    damaged.emplace_back("the last byte missing", std::vector<uint8_t>(written.begin(), written.end() - 1));
    damaged.emplace_back("a byte too many", written);
    damaged.back().second.push_back(0);
    damaged.emplace_back("a wrong magic", written);
    damaged.back().second[0] ^= 0x20;
    damaged.emplace_back("a later version", written);
    putLe32(damaged.back().second, 8, 2);
    damaged.emplace_back("a name longer than the file", written);
    putLe32(damaged.back().second, 12, 0xFFFFFFF0u);
    damaged.emplace_back("four billion contours", written);
    putLe32(damaged.back().second, firstContoursAt, 0xFFFFFFFFu);
    // Codes 0 to 32 have no contours (29 bytes each); '!' has some.
    const size_t exclamationContoursAt = firstContoursAt + 4 + 32 * 29 + 24 + 1;
    ASSERT_GT(le32(written, exclamationContoursAt), 0u);
    damaged.emplace_back("four billion points", written);
    putLe32(damaged.back().second, exclamationContoursAt + 4, 0xFFFFFFFFu);

    // A font made from the whole pack keeps its glyphs whatever comes later.
    pack::FontFace* before = pack::createFont(outlineHeight);
    ASSERT_NE(before, nullptr);
    const platform::GlyphOutline a = pack::glyphOutline(*before, 'A', defaultDeviation);
    ASSERT_FALSE(a.contours.empty());

    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        folder->write("glyphs.pack", bytes);
        pack::useGlyphPack(packPath);
        std::string family, file;
        EXPECT_FALSE(pack::chosenFace(family, file));
        EXPECT_EQ(pack::createFont(outlineHeight), nullptr);
    }
    std::filesystem::remove(packPath);
    pack::useGlyphPack(packPath);
    EXPECT_EQ(pack::createFont(outlineHeight), nullptr) << "with no pack at all";

    expectSameOutline(a, pack::glyphOutline(*before, 'A', defaultDeviation), 'A');
    pack::deleteFont(before);
}

}  // namespace
