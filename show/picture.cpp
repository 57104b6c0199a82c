// The picture: its place in the output, its scale, and the view set for it.
#include "show/picture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>

#include "platform/display/display.h"
#include "resources/text.h"
#include "show/view.h"

Picture picture;

namespace {

void placeInOutput(int width, int height) {
    picture.outputWidth = std::max(width, 1);
    picture.outputHeight = std::max(height, 1);
    // The largest 4:3 rectangle that fits, in whole pixels.
    const int64_t w = picture.outputWidth, h = picture.outputHeight;
    if (w * showHeight > h * showWidth) {
        picture.height = static_cast<int>(h);
        picture.width = static_cast<int>(h * showWidth / showHeight);
    } else {
        picture.width = static_cast<int>(w);
        picture.height = static_cast<int>(w * showHeight / showWidth);
    }
    picture.width = std::max(picture.width, 1);
    picture.height = std::max(picture.height, 1);
    picture.x = (picture.outputWidth - picture.width) / 2;
    picture.y = (picture.outputHeight - picture.height) / 2;
}

float pictureScale() { return static_cast<float>(picture.height) / static_cast<float>(showHeight); }

}  // namespace

void sizeOutput(int width, int height, bool smoothLarger) {
    picture.sized = true;
    placeInOutput(width, height);
    picture.scale = pictureScale();
    if (smoothLarger) platform::askForSamples(picture.scale > 1.0f ? largerPictureSamples : 0);
}

void placePicture(int width, int height) {
    if (!picture.sized) return;
    placeInOutput(width, height);
    if (pictureScale() == picture.scale) return;
    picture.scale = pictureScale();
    setPictureLineWidth();
    rescaleBitmapFonts(picture.scale);
}

void setPictureLineWidth() {
    glLineWidth(picture.scale);
    glPointSize(picture.scale);
}

void resizeView(int width, int height) {
    if (height == 0) height = 1;
    // A sized output draws the picture in its place, at the show's shape.
    if (picture.sized) {
        placePicture(width, height);
        width = picture.width;
        height = picture.height;
        glViewport(picture.x, picture.y, width, height);
    } else {
        glViewport(0, 0, width, height);
    }
    setShowPerspective(width, height);
}

bool pictureHasBars() {
    return picture.sized && (picture.width != picture.outputWidth || picture.height != picture.outputHeight);
}

void blackenBars() {
    if (!pictureHasBars()) return;
    // The show's clear colour and scissor state are its own and are put
    // back; the bars are the output outside the picture, at most two.
    GLfloat clearColour[4];
    GLint scissorBox[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    glGetIntegerv(GL_SCISSOR_BOX, scissorBox);
    const GLboolean scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    const Picture& p = picture;
    if (p.x > 0) {
        glScissor(0, 0, p.x, p.outputHeight);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(p.x + p.width, 0, p.outputWidth - p.x - p.width, p.outputHeight);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (p.y > 0) {
        glScissor(0, 0, p.outputWidth, p.y);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(0, p.y + p.height, p.outputWidth, p.outputHeight - p.y - p.height);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glScissor(scissorBox[0], scissorBox[1], scissorBox[2], scissorBox[3]);
    if (!scissorTest) glDisable(GL_SCISSOR_TEST);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
}
