#include "show/chapters.h"

#include <cctype>
#include <cstring>

const Chapter chapters[chapterCount] = {
    {"Slideshow",             -1,      0},
    {"Title",                  0,  56250},
    {"Ring tunnel",            1,  68033},
    {"Scroller",               2,  79783},
    {"Credits and greetings",  3, 109033},
};

int chapterOfScene(int32_t scene) {
    return scene < -1 ? 0 : scene >= chapterCount - 1 ? chapterCount - 1 : scene + 1;
}

int chapterAtMs(double showMs) {
    int chapter = 0;
    while (chapter + 1 < chapterCount && chapters[chapter + 1].startMs <= showMs) ++chapter;
    return chapter;
}

namespace {
bool isWordGap(char c) { return c == ' ' || c == '-' || c == '_'; }
}  // namespace

int chapterNamed(std::string_view name) {
    for (int chapter = 0; chapter < chapterCount; ++chapter) {
        const char* own = chapters[chapter].name;
        if (std::strlen(own) != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            const char asked = name[i];
            same = own[i] == ' ' ? isWordGap(asked)
                                 : std::tolower(static_cast<unsigned char>(asked)) ==
                                       std::tolower(static_cast<unsigned char>(own[i]));
        }
        if (same) return chapter;
    }
    return -1;
}
