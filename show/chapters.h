// The show's five chapters, one per scene: the one table that a capture's
// chapters, the player's chapter keys, --from NAME and the page's position
// bar all read.
//
//   chapter  sceneIndex  name                     starts at (60 fps)
//   0        -1          Slideshow                    0 ms
//   1         0          Title                    56250 ms
//   2         1          Ring tunnel              68033 ms
//   3         2          Scroller                 79783 ms
//   4         3          Credits and greetings   109033 ms
//
// A chapter starts with its scene's first frame: for the title, the frame
// whose trace holds the "scene 0" line (the slideshow hands over and the
// title draws in the same frame); for the others, the frame after the one
// whose trace holds the "scene N" line (the scene before hands over at the
// end of its last frame). Where that frame falls depends a little on the
// frame rate, as the show's length does (the title starts at 56041 ms at
// 24 frames a second, 56250 ms at 60, 56104 ms at 144);
// startMs is its moment at 60 frames a second, the rate of the show's
// timings and of a jump where the display tells none, from which --from
// lands on that frame at that rate. The player's chapter jumps and --from
// NAME run to the scene's first frame itself, at any rate.
#pragma once

#include <cstdint>
#include <string_view>

struct Chapter {
    const char* name;    // as a video player's chapter menu shows it
    int32_t scene;       // the sceneIndex it shows
    uint32_t startMs;    // show time of its first frame at 60 frames a second
};

constexpr int chapterCount = 5;
extern const Chapter chapters[chapterCount];

// The chapter of a scene (sceneIndex -1 to 3).
int chapterOfScene(int32_t scene);
// The chapter whose stretch of the timeline holds show time `showMs` (at
// 60 frames a second): the last to start at or before it.
int chapterAtMs(double showMs);
// The chapter a name asks for, or -1: its name in any case, with a space,
// a hyphen or an underscore between its words ("ring tunnel", "Ring-Tunnel",
// "credits_and_greetings").
int chapterNamed(std::string_view name);
