// eyesonly: a small real-time audio-visual show.
#include <cstdio>
#include <string>

#include "app/options.h"
#include "app/shell.h"

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "eyesonly: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    applyOptions(options);
    return runShow();
}
