// The public BMP test suite beside the checkout (../shared/bmpsuite, or where
// BMPSUITE_DIR says; where it is absent the test says so and does not run): every
// file the reader must decode matches its reference decode byte for byte,
// every file with a header size other than 12 or 40 is refused as unknown,
// every malformed file is refused with one message, and the rest are either
// refused cleanly or match their reference. The checked build fences the
// bytes after each mapped file, so any read outside a file fails the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resources/dib.h"
#include "tests/support/dib_files.h"
#include "tests/support/support.h"

using namespace dib_files;

namespace {

std::filesystem::path suiteFolder() {
    const char* dir = std::getenv("BMPSUITE_DIR");
    if (dir != nullptr && *dir != '\0') return dir;
    return std::filesystem::path(EYESONLY_SOURCE_DIR).parent_path() / "shared" / "bmpsuite";
}
const std::filesystem::path suiteDir = suiteFolder();

struct Row {
    std::string set, file, hasRef, strict;
    std::string stem() const { return file.substr(0, file.size() - 4); }
    std::string name() const { return set + "/" + file; }
};

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.push_back("");
    return fields;
}

std::vector<Row> readManifest() {
    std::vector<Row> rows;
    std::ifstream in(suiteDir / "MANIFEST.tsv");
    std::string line;
    std::getline(in, line);
    const std::vector<std::string> names = splitTabs(line);
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < names.size(); ++i) column[names[i]] = i;
    while (std::getline(in, line)) {
        std::vector<std::string> f = splitTabs(line);
        f.resize(names.size());
        rows.push_back({f[column["set"]], f[column["file"]], f[column["has_ref"]], f[column["strict_reader"]]});
    }
    return rows;
}

// A reference decode, turned bottom row first like an Image.
struct Reference {
    int width = 0, height = 0;
    Bytes pixels;
};

bool readReference(const std::filesystem::path& path, Reference& ref) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> ref.width >> ref.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || ref.width <= 0 || ref.height <= 0) return false;
    const size_t rowBytes = size_t(ref.width) * 3;
    Bytes topFirst(rowBytes * ref.height);
    in.read(reinterpret_cast<char*>(topFirst.data()), std::streamsize(topFirst.size()));
    if (!in) return false;
    ref.pixels.resize(topFirst.size());
    for (int row = 0; row < ref.height; ++row)
        std::copy_n(topFirst.begin() + std::ptrdiff_t(rowBytes * (ref.height - 1 - row)), rowBytes,
                    ref.pixels.begin() + std::ptrdiff_t(rowBytes * row));
    return true;
}

// Files without a reference of their own whose picture is another file's:
// the same pixels stored differently, or only ignored fields changed.
const std::map<std::string, std::string> sharedReference = {
    {"q/pal8oversizepal.bmp", "g/pal8"},
    {"b/badfilesize.bmp", "g/pal1"},
    {"b/badplanes.bmp", "g/pal1"},
    {"g/pal4rle.bmp", "g/pal4"},
    {"g/rgb32bf.bmp", "g/rgb24"},
};

// Expects image to equal the reference of row, if it has one.
void expectMatchesReference(const Row& row, const Image& image) {
    std::filesystem::path refPath;
    if (row.hasRef == "yes")
        refPath = suiteDir / "ref" / row.set / (row.stem() + ".ppm");
    else if (auto shared = sharedReference.find(row.name()); shared != sharedReference.end())
        refPath = suiteDir / "ref" / (shared->second + ".ppm");
    else
        return;
    Reference ref;
    ASSERT_TRUE(readReference(refPath, ref)) << refPath;
    ASSERT_EQ(image.width, ref.width) << row.name();
    ASSERT_EQ(image.height, ref.height) << row.name();
    const Bytes got(image.pixels.get(), image.pixels.get() + ref.pixels.size());
    size_t firstDiff = 0;
    while (firstDiff < got.size() && got[firstDiff] == ref.pixels[firstDiff]) ++firstDiff;
    EXPECT_EQ(firstDiff, got.size()) << row.name() << " differs from " << refPath.filename()
                                     << " first at byte " << firstDiff << " (bottom row first)";
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(suiteDir / "MANIFEST.tsv"))
            GTEST_SKIP() << "did not run: the BMP suite is not at " << suiteDir.string()
                         << " (put it there, or give its folder as BMPSUITE_DIR=...)";
        rows = readManifest();
        ASSERT_EQ(rows.size(), 90u);
        startJournal();
        showImageErrors = true;
    }
    std::vector<Row> rows;
};

TEST_F(BmpSuite, EveryFileHasTheOutcomeAStrictReaderMustHave) {
    int decoded = 0, compared = 0, refused = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name() + " (" + row.strict + ")");
        platform::journal().clear();
        const std::string path = (suiteDir / row.set / row.file).string();
        std::unique_ptr<Image> image = readDibFile(path.c_str());
        const std::vector<std::string> boxes = shownBoxes();
        if (image) {
            ++decoded;
            EXPECT_NE(row.strict, "reject-header-size");
            EXPECT_NE(row.strict, "reject-malformed");
            EXPECT_TRUE(boxes.empty());
            EXPECT_GT(image->width, 0);
            EXPECT_GT(image->height, 0);
            if (row.hasRef == "yes" || sharedReference.count(row.name())) ++compared;
            expectMatchesReference(row, *image);
        } else {
            ++refused;
            EXPECT_NE(row.strict, "decode");
            ASSERT_EQ(boxes.size(), 1u);
            if (row.strict == "reject-header-size")
                EXPECT_EQ(boxes[0], "Error|Unknown DIB file format.");
            else
                EXPECT_EQ(boxes[0], "Error|Image file conversion error.");
        }
    }
    // The required 26 and the optional formats we convert.
    EXPECT_GE(decoded, 26);
    EXPECT_GE(compared, 26);
    std::printf("bmpsuite: %d decoded (%d compared with a reference), %d refused\n", decoded, compared, refused);
}

// Widened channels of 16-bit files are within half a step of the 24-bit
// picture they were made from: 4 levels for 5 bits.
TEST_F(BmpSuite, SixteenBitFilesMatchTheTrueColourPictureWithinTheirPrecision) {
    Reference truth;
    ASSERT_TRUE(readReference(suiteDir / "ref" / "g" / "rgb24.ppm", truth));
    for (const char* name : {"g/rgb16.bmp", "g/rgb16bfdef.bmp", "g/rgb16-565.bmp", "g/rgb16-565pal.bmp",
                             "q/rgb16faketrns.bmp"}) {
        std::unique_ptr<Image> image = readDibFile((suiteDir / name).c_str());
        ASSERT_NE(image, nullptr) << name;
        ASSERT_EQ(image->width, truth.width);
        ASSERT_EQ(image->height, truth.height);
        int worst = 0;
        for (size_t i = 0; i < truth.pixels.size(); ++i)
            worst = std::max(worst, std::abs(int(image->pixels[i]) - int(truth.pixels[i])));
        EXPECT_LE(worst, 4) << name;
    }
}

// The files of the suite without their "BM" header are packed DIBs with the
// same pictures, except where the pixels do not follow the colour table.
TEST_F(BmpSuite, PackedDibsDecodeLikeTheirFiles) {
    testing_support::ScratchDir scratch;
    int checked = 0;
    for (const Row& row : rows) {
        if (row.strict != "decode" || row.name() == "q/pal8offs.bmp" || row.name() == "q/pal8os2sp.bmp") continue;
        SCOPED_TRACE(row.name());
        std::ifstream in(suiteDir / row.set / row.file, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_GT(bytes.size(), 14u);
        bytes.erase(bytes.begin(), bytes.begin() + 14);
        std::unique_ptr<Image> image = readDibFile(scratch.write(row.stem() + ".dib", bytes).c_str());
        ASSERT_NE(image, nullptr);
        expectMatchesReference(row, *image);
        ++checked;
    }
    EXPECT_EQ(checked, 24);
}

}  // namespace
