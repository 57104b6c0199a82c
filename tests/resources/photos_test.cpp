// The photo slots on a real GL: which photos become textures, in which
// order names are handed out, which messages a bad photo shows, and that the
// textures hold the pictures exactly, whatever their row length.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <fstream>
#include <string>
#include <vector>

#include "resources/photos.h"
#include "tests/support/dib_files.h"
#include "tests/support/nonregular_files.h"
#include "tests/support/support.h"

using namespace dib_files;

namespace {

// A 24-bit "BM" file whose pixel (x, y), counted from the bottom left, is
// (base + x, base + 16 y, base ^ 0xFF).
Bytes photoFile(int32_t width, int32_t height, uint8_t base) {
    Bytes rows;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) append(rows, {uint8_t(base ^ 0xFF), uint8_t(base + 16 * y), uint8_t(base + x)});
    return bmp::write({.width = width, .height = height, .pixels = rows, .rowFill = 0xEE});
}

Bytes expectedPixels(int32_t width, int32_t height, uint8_t base) {
    Bytes rgb;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) append(rgb, {uint8_t(base + x), uint8_t(base + 16 * y), uint8_t(base ^ 0xFF)});
    return rgb;
}

// Level 0 of the texture, as RGB rows packed without fill, t = 0 first.
Bytes textureImage(GLuint name, int32_t width, int32_t height) {
    Bytes rgb(size_t(width) * height * 3 + 16, 0xCD);
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    rgb.resize(size_t(width) * height * 3);
    return rgb;
}

GLint boundTexture() {
    GLint name = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

class PhotoSlots : public ::testing::Test {
protected:
    void SetUp() override {
        startJournal();
        showImageErrors = true;
        resetPhotoState();
        std::filesystem::create_directories(scratch.path() / "data");
    }
    void TearDown() override { resetPhotoState(); }

    void writePhoto(int slot, const Bytes& bytes) {
        scratch.write(std::string("data/skorv") + char('1' + slot) + ".bitmap", bytes);
    }

    testing_support::OffscreenGL gl;
    testing_support::ScratchDir scratch;
    testing_support::WorkingDir inScratch{scratch.path()};
};

TEST_F(PhotoSlots, NoPhotoAtAllIsFalseAndSilent) {
    EXPECT_FALSE(loadPhotoTextures());
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(photoTextures[slot], 0u) << "slot " << slot;
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(boundTexture(), 0);
}

TEST_F(PhotoSlots, AMissingPhotoLeavesItsSlotAtZeroAndTakesNoName) {
    writePhoto(0, photoFile(4, 2, 0x10));
    writePhoto(2, photoFile(8, 4, 0x80));
    EXPECT_TRUE(loadPhotoTextures());
    EXPECT_NE(photoTextures[0], 0u);
    EXPECT_EQ(photoTextures[1], 0u);
    EXPECT_NE(photoTextures[2], 0u);
    EXPECT_NE(photoTextures[0], photoTextures[2]);
    EXPECT_EQ(boundTexture(), GLint(photoTextures[2]));
    EXPECT_TRUE(shownBoxes().empty());
    EXPECT_EQ(textureImage(photoTextures[0], 4, 2), expectedPixels(4, 2, 0x10));
    EXPECT_EQ(textureImage(photoTextures[2], 8, 4), expectedPixels(8, 4, 0x80));

    // Names are made only for photos that were read: with the first one
    // missing, the second and third photos get the next two names in turn.
    std::filesystem::remove("data/skorv1.bitmap");
    writePhoto(1, photoFile(4, 4, 0x40));
    resetPhotoState();
    GLuint before = 0;
    glGenTextures(1, &before);
    EXPECT_TRUE(loadPhotoTextures());
    EXPECT_EQ(photoTextures[0], 0u);
    EXPECT_EQ(photoTextures[1], before + 1);
    EXPECT_EQ(photoTextures[2], before + 2);
}

TEST_F(PhotoSlots, APhotoThatCannotBeDecodedShowsWhyAndTheOthersStillLoad) {
    writePhoto(0, withHeaderSize(bmp::write({.width = 4, .height = 4, .pixels = Bytes(48, 0)}), 108));
    writePhoto(1, {});
    writePhoto(2, photoFile(4, 4, 0x20));
    EXPECT_TRUE(loadPhotoTextures());
    EXPECT_EQ(photoTextures[0], 0u);
    EXPECT_EQ(photoTextures[1], 0u);
    EXPECT_NE(photoTextures[2], 0u);
    EXPECT_EQ(shownBoxes(), (std::vector<std::string>{"Error|Unknown DIB file format.",
                                                      "Error|Failed to open DIB file data/skorv2.bitmap.\n"}));
    EXPECT_EQ(textureImage(photoTextures[2], 4, 4), expectedPixels(4, 4, 0x20));
}

// A photo that is no regular file is skipped exactly like one that cannot be
// opened: no message, its slot stays 0, and it neither blocks nor is read
// for ever. A link to a good photo is a good photo.
TEST_F(PhotoSlots, APhotoThatIsNoRegularFileIsSkippedLikeAnUnreadableOne) {
    writePhoto(0, photoFile(4, 2, 0x10));
    writePhoto(2, photoFile(4, 4, 0x80));
    const std::filesystem::path second = scratch.path() / "data/skorv2.bitmap";
    struct Case { const char* what; void (*make)(const std::filesystem::path&); };
    std::vector<Case> cases = {{"missing", [](const std::filesystem::path& at) { std::filesystem::remove_all(at); }}};
    if (geteuid() != 0)  // root reads every file, whatever its mode
        cases.push_back({"unreadable", [](const std::filesystem::path& at) {
                             std::filesystem::remove_all(at);
                             std::ofstream(at) << "BM";
                             std::filesystem::permissions(at, std::filesystem::perms::none);
                         }});
    for (const nonregular_files::Kind& kind : nonregular_files::kinds) cases.push_back({kind.what, kind.make});

    nonregular_files::BlockGuard guard;
    for (const Case& c : cases) {
        c.make(second);
        resetPhotoState();
        platform::journal().clear();
        EXPECT_TRUE(loadPhotoTextures()) << c.what;
        EXPECT_NE(photoTextures[0], 0u) << c.what;
        EXPECT_EQ(photoTextures[1], 0u) << c.what;
        EXPECT_NE(photoTextures[2], 0u) << c.what;
        EXPECT_EQ(shownBoxes(), std::vector<std::string>{}) << c.what;
    }

    std::filesystem::remove_all(second);
    std::filesystem::create_symlink(scratch.write("elsewhere.bmp", photoFile(8, 2, 0x40)), second);
    resetPhotoState();
    EXPECT_TRUE(loadPhotoTextures());
    ASSERT_NE(photoTextures[1], 0u) << "a link to a good photo";
    EXPECT_EQ(textureImage(photoTextures[1], 8, 2), expectedPixels(8, 2, 0x40));
}

TEST_F(PhotoSlots, TexturesAreLinearAndRowsOfAnyLengthUploadExactly) {
    // Rows of 15, 3 and 21 bytes: none a multiple of 4.
    const int32_t widths[3] = {5, 1, 7};
    for (int slot = 0; slot < 3; ++slot) writePhoto(slot, photoFile(widths[slot], 3, uint8_t(0x30 * slot)));
    EXPECT_TRUE(loadPhotoTextures());
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_NE(photoTextures[slot], 0u);
        EXPECT_EQ(textureImage(photoTextures[slot], widths[slot], 3), expectedPixels(widths[slot], 3, uint8_t(0x30 * slot)))
            << "slot " << slot;
        GLint minFilter = 0, magFilter = 0, width = 0, format = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        EXPECT_EQ(minFilter, GL_LINEAR);
        EXPECT_EQ(magFilter, GL_LINEAR);
        EXPECT_EQ(width, widths[slot]);
        EXPECT_TRUE(format == 3 || format == GL_RGB) << "internal format " << format;
    }
}

// Texture coordinate (0, 0) shows the photo's bottom-left pixel and (1, 1)
// its top-right one.
TEST_F(PhotoSlots, ThePhotoStandsUprightOnScreen) {
    // 2 x 2: bottom row red, green; top row blue, white.
    writePhoto(0, bmp::write({.width = 2, .height = 2, .pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}}));
    ASSERT_TRUE(loadPhotoTextures());

    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, photoTextures[0]);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f); glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f); glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f); glVertex2f(1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f); glVertex2f(-1.0f, 1.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);

    using testing_support::Rgb;
    // Probes at the texel centres, where linear filtering gives the texel itself.
    const int w = gl.width(), h = gl.height();
    const struct { int x, y; Rgb expected; const char* where; } probes[] = {
        {w / 4, 3 * h / 4, {255, 0, 0}, "bottom left"},
        {3 * w / 4, 3 * h / 4, {0, 255, 0}, "bottom right"},
        {w / 4, h / 4, {0, 0, 255}, "top left"},
        {3 * w / 4, h / 4, {255, 255, 255}, "top right"},
    };
    for (const auto& p : probes) {
        const Rgb got = testing_support::probe(p.x, p.y);
        EXPECT_TRUE(testing_support::near(got, p.expected))
            << p.where << ": expected " << testing_support::describe(p.expected) << ", got "
            << testing_support::describe(got);
    }
}

}  // namespace
