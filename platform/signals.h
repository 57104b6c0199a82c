// What the stop-signal watcher needs from the rest of the platform: whether
// the main thread waits in a message box right now.
#pragma once

namespace platform {

// Marks the life of a message box on the main thread.
struct BoxOpen {
    BoxOpen();
    ~BoxOpen();
    BoxOpen(const BoxOpen&) = delete;
    BoxOpen& operator=(const BoxOpen&) = delete;
};

}  // namespace platform
