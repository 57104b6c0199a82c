// The platform's test seams: forced failures, a journal of the calls made,
// a hook after every buffer swap and a clock of the test's own. All are off
// unless a test turns them on.
//
// The display steps of display.h go through passes() once, in display.cpp
// where they are handed to the back end, so the back ends know nothing of
// tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Notes the call in the journal and answers whether its step may go on:
// false when a test forced that step to fail. The step is the call's first
// word ("changeDisplayMode 640x480x16" is the step "changeDisplayMode").
bool passes(const std::string& call);

// Makes the named step fail every time it is reached; empty clears it.
void forceFailure(const std::string& step);

// The journal: the platform calls and message boxes in the order they came
// ("restoreDisplayMode", "messageBox caption|text", "FSOUND_Init 44100 32 0").
void enableJournal(bool on);
std::vector<std::string>& journal();
void noteJournal(const std::string& entry);  // does nothing while the journal is off

// Called after every buffer swap (a scripted message source); null for none.
void setSwapHookForTesting(void (*hook)());
// Read in place of the millisecond clock; null restores the normal clock.
void setClockForTesting(uint32_t (*clock)());
// How many times the frame pacing slept since setFramePacing was last called.
uint64_t framePacingSleeps();

}  // namespace platform
