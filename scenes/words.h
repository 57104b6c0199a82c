// The show's words as text: every line the show puts on screen, taken from
// the scenes' own tables, and the line on screen as the show runs, for a
// screen reader or a subtitle file.
//
//   scene            a line                          appears in the frame of the trace's
//   slideshow        a caption                       first frame, "caption N", "slide S N"
//   title zoom       a title line                    "scene 0", "title N"
//   scroller         a word of the sentence, from    the frame after "scene 2",
//                    its first letter to the next    "letter N" (its first letter)
//   sphere           a credit or a greeting: the     the frame after "scene 3", "row P N"
//                    heading, a space, the name
//
// A line stays until the next one, or until its scene shows words no more:
// the slideshow's last slide has no caption, the title's last line ends with
// "title 6", the ring tunnel has no words, the last word ends with "letter
// 79", the last greeting with the show.
// Texts are as shown ("%%" prints one percent sign), without the spaces
// that only place them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ShowLine {
    int32_t scene;      // the sceneIndex that shows it
    int32_t row;        // the scene's own row: caption row, title line, the letter
                        // the word starts at, credit row (greetings: 4 + their row)
    std::string text;
};

// Every line, in the order the show shows them.
const std::vector<ShowLine>& showLines();

// The line on screen in the frame drawn last, by its index in showLines(),
// or -1 while the screen holds no words.
int currentShowLine();

// After a frame that is shown: the line on screen when it is not the one
// told before (text "" when the words are gone), else nothing. False when
// there is nothing new to tell. Frames a jump runs through unseen are never
// told, so the line after a jump is told from the frame it lands on.
bool newShowWords(std::string& text);

void resetShowWordsState();
