// The capture's front: checks the settings, queues frames and sound, and
// runs the writers on one worker thread.
//
// Sections:
//   1. Paths and formats
//   2. The queue and the worker
//   3. The contract
#include "capture/output.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/encode/encode.h"

namespace capture {

using platform::encode::Chapter;
using platform::encode::FrameView;

// ---------------------------------------------------------------------------
// 1. Paths and formats

// captureFormatFor is in format.cpp, which the options share.

// ---------------------------------------------------------------------------
// 2. The queue and the worker

namespace {

constexpr int frameSlots = 3;                     // frames queued or being encoded
constexpr int64_t queuedSoundFramesMax = platform::showMixRate;  // one second of stereo frames

struct Job {
    bool isFrame = true;
    int64_t frameNumber = 0;                      // from 1
    CapturePixels layout = CapturePixels::Rgb;
    std::vector<uint8_t> pixels;                  // a slot buffer, bottom row first
    std::vector<int16_t> sound;                   // interleaved stereo
};

struct CaptureState {
    bool open = false;
    CaptureSettings settings;
    int64_t lastFrame = 0;                        // the number of the frame handed over last
    std::vector<Chapter> chapters;                // in the order added

    std::thread worker;
    std::mutex lock;                              // guards everything below
    std::condition_variable jobWaiting;           // wakes the worker
    std::condition_variable roomFreed;            // wakes the caller
    std::deque<Job> jobs;
    std::vector<std::vector<uint8_t>> freeSlots;  // frame buffers not in use
    int framesInFlight = 0;                       // queued or being written
    int64_t soundFramesQueued = 0;
    bool stopping = false;                        // closeCapture asked the worker to finish
    bool failed = false;
    std::string firstError;
    CaptureKept kept;                             // what the last close left

    // A program that ends with a capture still open stops the worker; the
    // file is left as the last write left it.
    ~CaptureState() {
        if (!worker.joinable()) return;
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
            failed = true;
            jobWaiting.notify_one();
        }
        worker.join();
    }
};

CaptureState& state() {
    static CaptureState s;
    return s;
}

bool writeJob(const CaptureSettings& settings, const Job& job, std::string& error) {
    if (job.isFrame) {
        const FrameView frame{job.pixels.data(), settings.frameWidth, settings.frameHeight,
                              job.layout == CapturePixels::Rgba ? 4 : 3};
        return settings.format == CaptureFormat::Frames ? platform::encode::writeFramePng(frame, job.frameNumber, error)
                                                        : platform::encode::encodeFrame(frame, job.frameNumber, error);
    }
    const int count = static_cast<int>(job.sound.size() / 2);
    return settings.format == CaptureFormat::Frames ? platform::encode::writeWavSound(job.sound.data(), count, error)
                                                    : platform::encode::encodeSound(job.sound.data(), count, error);
}

// Takes jobs in the order they were queued until stopping is set and the
// queue is empty. After the first failure the rest is dropped unwritten.
void runWorker() {
    CaptureState& s = state();
    std::unique_lock<std::mutex> guard(s.lock);
    for (;;) {
        s.jobWaiting.wait(guard, [&] { return !s.jobs.empty() || s.stopping; });
        if (s.jobs.empty()) return;
        Job job = std::move(s.jobs.front());
        s.jobs.pop_front();
        const bool skip = s.failed;
        guard.unlock();

        std::string error;
        const bool written = skip || writeJob(s.settings, job, error);

        guard.lock();
        if (!written && !s.failed) {
            s.failed = true;
            s.firstError = error;
        }
        if (job.isFrame) {
            s.freeSlots.push_back(std::move(job.pixels));
            --s.framesInFlight;
        } else {
            s.soundFramesQueued -= static_cast<int64_t>(job.sound.size() / 2);
        }
        s.roomFreed.notify_all();
    }
}

// True, with the first error, once the worker has failed.
bool failedBefore(CaptureState& s, std::string& error) {
    if (!s.failed) return false;
    error = s.firstError;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// 3. The contract

bool openCapture(const CaptureSettings& settings, std::string& error) {
    CaptureState& s = state();
    if (s.open) {
        error = "a capture is already open";
        return false;
    }
    // Even sizes, so that yuv420p halves them exactly.
    if (settings.frameWidth < 2 || settings.frameHeight < 2 || settings.frameWidth > 4096 ||
        settings.frameHeight > 4096 || settings.frameWidth % 2 != 0 || settings.frameHeight % 2 != 0) {
        error = "frame size " + std::to_string(settings.frameWidth) + "x" + std::to_string(settings.frameHeight) +
                " is not supported (even sizes from 2 to 4096)";
        return false;
    }
    const bool opened = settings.format == CaptureFormat::Frames ? platform::encode::openFrameDirectory(settings, error)
                                                                 : platform::encode::openEncodedFile(settings, error);
    if (!opened) return false;

    s.open = true;
    s.kept = CaptureKept{};
    s.settings = settings;
    s.lastFrame = 0;
    s.chapters.clear();
    s.jobs.clear();
    s.freeSlots.clear();
    s.framesInFlight = 0;
    s.soundFramesQueued = 0;
    s.stopping = false;
    s.failed = false;
    s.firstError.clear();
    s.worker = std::thread(runWorker);
    return true;
}

bool captureOpen() {
    return state().open;
}

CaptureKept capturedKept() {
    return state().kept;
}

bool holdCaptureFilePlayable(std::chrono::milliseconds limit) {
    return platform::encode::holdFilePlayable(limit);
}

bool captureFrame(int64_t number, const uint8_t* pixels, CapturePixels layout, std::string& error) {
    CaptureState& s = state();
    if (!s.open) {
        error = "no capture is open";
        return false;
    }
    if (number != s.lastFrame + 1) {
        error = "frame " + std::to_string(number) + " handed over after frame " + std::to_string(s.lastFrame);
        return false;
    }
    const size_t bytes = static_cast<size_t>(s.settings.frameWidth) * s.settings.frameHeight *
                         (layout == CapturePixels::Rgba ? 4 : 3);
    std::unique_lock<std::mutex> guard(s.lock);
    s.roomFreed.wait(guard, [&] { return s.framesInFlight < frameSlots || s.failed; });
    if (failedBefore(s, error)) return false;

    Job job;
    job.frameNumber = number;
    s.lastFrame = number;
    job.layout = layout;
    if (!s.freeSlots.empty()) {
        job.pixels = std::move(s.freeSlots.back());
        s.freeSlots.pop_back();
    }
    ++s.framesInFlight;
    guard.unlock();
    // The copy is made outside the lock, so the worker goes on meanwhile.
    job.pixels.resize(bytes);
    std::memcpy(job.pixels.data(), pixels, bytes);
    guard.lock();
    s.jobs.push_back(std::move(job));
    s.jobWaiting.notify_one();
    return true;
}

bool captureAudio(const int16_t* frames, int frameCount, std::string& error) {
    CaptureState& s = state();
    if (!s.open) {
        error = "no capture is open";
        return false;
    }
    if (frameCount <= 0) return !failedBefore(s, error);
    std::unique_lock<std::mutex> guard(s.lock);
    // A block larger than the whole allowance still goes in once the queue
    // has no sound left in it.
    s.roomFreed.wait(guard, [&] {
        return s.soundFramesQueued == 0 || s.soundFramesQueued + frameCount <= queuedSoundFramesMax || s.failed;
    });
    if (failedBefore(s, error)) return false;
    s.soundFramesQueued += frameCount;
    guard.unlock();

    Job job;
    job.isFrame = false;
    job.sound.assign(frames, frames + static_cast<size_t>(frameCount) * 2);
    guard.lock();
    s.jobs.push_back(std::move(job));
    s.jobWaiting.notify_one();
    return true;
}

void addChapter(const std::string& title, int64_t firstFrame) {
    CaptureState& s = state();
    if (!s.open || s.settings.format == CaptureFormat::Frames) return;
    s.chapters.push_back({title, std::max<int64_t>(1, firstFrame)});
}

bool closeCapture(std::string& error) {
    CaptureState& s = state();
    if (!s.open) return true;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.stopping = true;
        s.jobWaiting.notify_one();
    }
    s.worker.join();

    // 1. The chapters that start inside the file, ordered by their first
    //    frame, the last one added winning at a frame given twice.
    std::vector<Chapter> chapters;
    std::stable_sort(s.chapters.begin(), s.chapters.end(),
                     [](const Chapter& a, const Chapter& b) { return a.firstFrame < b.firstFrame; });
    for (const Chapter& c : s.chapters) {
        if (c.firstFrame > s.lastFrame) continue;
        if (!chapters.empty() && chapters.back().firstFrame == c.firstFrame) chapters.pop_back();
        chapters.push_back(c);
    }

    // 2. The file itself, complete only when nothing failed.
    std::string closeError;
    const bool closed = s.settings.format == CaptureFormat::Frames
                            ? platform::encode::closeFrameDirectory(closeError, s.kept)
                            : platform::encode::closeEncodedFile(!s.failed, chapters, closeError, s.kept);

    const bool complete = !s.failed && closed;
    if (s.failed)
        error = s.firstError;
    else if (!closed)
        error = closeError;
    s.open = false;
    s.jobs.clear();
    s.freeSlots.clear();
    s.chapters.clear();
    return complete;
}

}  // namespace capture
