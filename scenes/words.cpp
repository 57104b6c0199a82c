#include "scenes/words.h"

#include "scenes/scroller.h"
#include "scenes/slideshow.h"
#include "scenes/sphere.h"
#include "scenes/title.h"
#include "show/sequencer.h"

namespace {

constexpr int noLine = -1;
constexpr int notTold = -2;
int toldLine = notTold;

// A table row as it is shown: "%%" prints one percent sign, and the spaces
// at either end only move the text.
std::string shownText(const char* row) {
    std::string text;
    for (const char* c = row; *c != 0; ++c) {
        if (c[0] == '%' && c[1] == '%') ++c;
        text += *c;
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string headed(const char* heading, const char* name) {
    const std::string left = shownText(heading), right = shownText(name);
    return right.empty() ? left : left + " " + right;
}

std::vector<ShowLine> makeLines() {
    std::vector<ShowLine> lines;
    for (int32_t row = 0; row < captionRows; ++row) lines.push_back({-1, row, shownText(captionLines[row])});
    for (int32_t row = 0; row < titleRows; ++row) lines.push_back({0, row, shownText(titleLines[row])});
    for (int32_t at = 0; at < scrollerLength; ++at) {
        if (scrollerText[at] == ' ' || (at > 0 && scrollerText[at - 1] != ' ')) continue;
        int32_t end = at;
        while (end < scrollerLength && scrollerText[end] != ' ') ++end;
        lines.push_back({2, at, std::string(scrollerText + at, scrollerText + end)});
    }
    for (int32_t row = 0; row < creditRows; ++row)
        lines.push_back({3, row, headed(creditHeadings[row], creditNames[row])});
    for (int32_t row = 0; row < greetingRows; ++row)
        lines.push_back({3, creditRows + row, headed(greetingHeading, greetings[row])});
    return lines;
}

// The row on screen in the frame drawn last, as showLines() numbers its
// scene's rows; -1 for none. A scene that handed over at the end of that
// frame has moved past its last row.
int32_t rowOnScreen() {
    switch (sceneDrawn) {
    case -1:
        return slideshowState.captionIndex < captionRows ? slideshowState.captionIndex : -1;
    case 0:
        return titleState.titleLine < titleRows ? titleState.titleLine : -1;
    case 2:
        return scrollerState.scrollPos < scrollerLength ? scrollerState.scrollPos : -1;
    case 3:
        if (sphereState.greetPhase == 0) return sphereState.creditIndex;
        return sphereState.creditIndex < greetingRows ? creditRows + sphereState.creditIndex : -1;
    default:
        return -1;
    }
}

}  // namespace

const std::vector<ShowLine>& showLines() {
    static const std::vector<ShowLine> lines = makeLines();
    return lines;
}

int currentShowLine() {
    const int32_t row = rowOnScreen();
    if (row < 0) return noLine;
    // The last of the scene's lines that starts at or before the row: a
    // scroller's word holds from its first letter through the space after it.
    int found = noLine;
    const std::vector<ShowLine>& lines = showLines();
    for (int i = 0; i < static_cast<int>(lines.size()); ++i)
        if (lines[i].scene == sceneDrawn && lines[i].row <= row) found = i;
    return found;
}

bool newShowWords(std::string& text) {
    const int line = currentShowLine();
    if (line == toldLine || (line == noLine && toldLine == notTold)) return false;
    toldLine = line;
    text = line == noLine ? std::string() : showLines()[line].text;
    return true;
}

void resetShowWordsState() { toldLine = notTold; }
