// The three photos of the slideshow, as linear-filtered GL textures.
#pragma once

#include <GL/gl.h>
#include <memory>

#include "resources/dib.h"

// Slot i holds the texture of photo i, or 0 when that photo was not read.
extern GLuint photoTextures[3];
extern const char* const photoFileNames[3];

// The picture in fileName, or none. A file that cannot be opened, or is not
// a regular file, gives none silently; one that opens but cannot be decoded
// shows the reader's message.
std::unique_ptr<Image> loadImageFile(const char* fileName);
// Makes a texture name into slot, binds it and loads image into it.
void uploadTexture(const Image& image, GLuint& slot);
// True when at least one of the three photos was read and loaded.
bool loadPhotoTextures();

void resetPhotoState();
