// The three photos of the slideshow, read through the bitmap reader and kept
// as GL textures by slot.
#include "resources/photos.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/system/regular_file.h"
#include "resources/datafiles.h"

GLuint photoTextures[3] = {0, 0, 0};
const char* const photoFileNames[3] = {
    "data/skorv1.bitmap",
    "data/skorv2.bitmap",
    "data/skorv3.bitmap",
};

constexpr GLint defaultUnpackAlignment = 4;  // bytes, the GL's own default

std::unique_ptr<Image> loadImageFile(const char* fileName) {
    if (fileName == nullptr) return nullptr;
    // A photo that is not there or is no regular file (a pipe, a device, a
    // directory) is skipped without a word; one that is there but cannot be
    // opened (no permission to read it) goes to the reader, which says so.
    uint64_t bytes = 0;
    const int file = platform::openRegularFile(fileName, bytes);
    struct stat info {};
    if (file < 0) return stat(fileName, &info) == 0 && S_ISREG(info.st_mode) ? readDibFile(fileName) : nullptr;
    close(file);
    return readDibFile(fileName);
}

void uploadTexture(const Image& image, GLuint& slot) {
    glGenTextures(1, &slot);
    glBindTexture(GL_TEXTURE_2D, slot);
    // Image rows are packed at 3 x width bytes; under the default alignment
    // the GL would take each row as filled to 4 bytes and read past the end.
    const bool packedRows = (static_cast<size_t>(image.width) * 3) % defaultUnpackAlignment != 0;
    if (packedRows) glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 image.pixels.get());
    if (packedRows) glPixelStorei(GL_UNPACK_ALIGNMENT, defaultUnpackAlignment);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

bool loadPhotoTextures() {
    bool result = false;
    for (int slot = 0; slot < 3; ++slot) {
        std::unique_ptr<Image> image = loadImageFile(dataFilePath(photoFileNames[slot]).c_str());
        if (!image) continue;
        result = true;
        uploadTexture(*image, photoTextures[slot]);
        // The GL keeps its own copy; the image goes here.
    }
    return result;
}

void resetPhotoState() {
    for (GLuint& slot : photoTextures) slot = 0;
}
