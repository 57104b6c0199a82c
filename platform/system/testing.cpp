// The forced failure and the journal behind platform/system/testing.h.
#include "platform/system/testing.h"

namespace platform {

namespace {

struct Seams {
    std::string forcedFailure;         // the step that fails; empty for none
    bool journalOn = false;
    std::vector<std::string> journal;
};

Seams seams;

}  // namespace

bool passes(const std::string& call) {
    noteJournal(call);
    if (seams.forcedFailure.empty() || call.substr(0, call.find(' ')) != seams.forcedFailure) return true;
    noteJournal("forced failure " + seams.forcedFailure);
    return false;
}

void forceFailure(const std::string& step) { seams.forcedFailure = step; }

void enableJournal(bool on) { seams.journalOn = on; }

std::vector<std::string>& journal() { return seams.journal; }

void noteJournal(const std::string& entry) {
    if (seams.journalOn) seams.journal.push_back(entry);
}

}  // namespace platform
