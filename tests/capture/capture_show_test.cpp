// The whole show captured by the real program: a folder of frames at 5
// frames a second (and at twice the size), and mp4 and mkv files read back
// with ffprobe. The frames are the frames the show draws at that rate, the
// soundtrack is exactly as long as the frames, and the main song is heard
// from the first sample of the frame that switched to the title.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio/sound.h"
#include "scenes/scroller.h"
#include "scenes/slideshow.h"
#include "scenes/sphere.h"
#include "scenes/title.h"
#include "show/music.h"
#include "scenes/words.h"
#include "tests/support/support.h"

namespace {

// The chapters ffprobe's -show_chapters lists: their titles and start times in seconds.
std::pair<std::vector<std::string>, std::vector<double>> chapterList(const std::string& chapters) {
    std::vector<std::string> titles;
    std::vector<double> starts;
    std::istringstream lines(chapters);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("TAG:title=", 0) == 0) titles.push_back(line.substr(10));
        if (line.rfind("start_time=", 0) == 0) starts.push_back(std::atof(line.c_str() + 11));
    }
    return {titles, starts};
}


using testing_support::ScratchDir;

constexpr double fps = 6.0;  // its frames end between milliseconds: a piece's last samples are mixed exactly
constexpr int sampleRate = 44100;

// Runs a command in the build directory, where the show's data/ is; its
// standard output, and its exit status in status.
// The captures here run without the leak check: started from this test,
// LeakSanitizer's thread tracer (GCC 12's runtime) crashes at the capture's
// exit reading a library's thread-local block ("Tracer caught signal 11",
// exit 1). The capture path's leaks are checked where the program is
// started from the shell (the fault matrix, the package test).
const std::string captureCommand = "ASAN_OPTIONS=detect_leaks=0 ./eyesonly --capture ";

std::string run(const std::string& command, int& status) {
    const std::string full = "cd '" EYESONLY_BINARY_DIR "' && " + command;
    std::string output;
    if (std::FILE* pipe = popen(full.c_str(), "r")) {
        char buffer[4096];
        size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
        const int raw = pclose(pipe);
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    } else {
        status = -1;
    }
    return output;
}

// The frame number of the first trace line with this event, 0 if none.
long traceFrameOf(const std::string& trace, const std::string& event) {
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        long frame = 0, ms = 0;
        char name[64] = {};
        if (std::sscanf(line.c_str(), "%ld %ld %63[^\n]", &frame, &ms, name) == 3 && event == name) return frame;
    }
    return 0;
}

// The cues of a WebVTT file: their start times in seconds and their texts,
// unescaped.
std::pair<std::vector<double>, std::vector<std::string>> cueList(const std::string& path) {
    std::vector<double> starts;
    std::vector<std::string> texts;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        int h = 0, m = 0, sec = 0, ms = 0;
        if (std::sscanf(line.c_str(), "%d:%d:%d.%d -->", &h, &m, &sec, &ms) != 4) continue;
        starts.push_back(h * 3600.0 + m * 60.0 + sec + ms / 1000.0);
        std::string text;
        std::getline(in, text);
        for (const auto& [escaped, plain] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}})
            for (size_t at; (at = text.find(escaped)) != std::string::npos;) text.replace(at, std::strlen(escaped), plain);
        texts.push_back(text);
    }
    return {starts, texts};
}

// The frames in which other words come on screen, by the trace: the first
// frame; a caption, a slide with a caption; the title's first frame and its
// lines; a letter that starts a word, and the first frames of the scroller
// and the sphere (the frames after their "scene" lines); a credit or
// greeting row.
std::vector<long> wordFrames(const std::string& trace) {
    std::vector<long> frames{1};
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        long frame = 0, ms = 0;
        char kind[16] = {};
        int a = -1, b = -1;
        std::sscanf(line.c_str(), "%ld %ld %15s %d %d", &frame, &ms, kind, &a, &b);
        const std::string k = kind;
        if (k == "caption" || (k == "slide" && b < captionRows) || (k == "scene" && a == 0) ||
            (k == "title" && a < titleRows) || (k == "letter" && a < scrollerLength && scrollerText[a - 1] == ' ') ||
            (k == "row" && !(a == 1 && b == greetingRows)))
            frames.push_back(frame);
        if (k == "scene" && (a == 2 || a == 3)) frames.push_back(frame + 1);
    }
    return frames;
}

long lastTraceFrame(const std::string& trace) {
    long frame = 0;
    std::sscanf(trace.c_str() + trace.rfind('\n', trace.size() - 2) + 1, "%ld", &frame);
    return frame;
}

// The samples of a 16-bit stereo WAV file (its "data" chunk), interleaved.
std::vector<int16_t> wavSamples(const std::string& path, int& channels, int& rate) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    auto u32 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24; };
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const uint32_t size = u32(at + 4);
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0) {
            channels = bytes[at + 10] | bytes[at + 11] << 8;
            rate = static_cast<int>(u32(at + 12));
        } else if (std::memcmp(&bytes[at], "data", 4) == 0 && at + 8 + size <= bytes.size()) {
            samples.resize(size / 2);
            std::memcpy(samples.data(), &bytes[at + 8], samples.size() * 2);
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

// The PNG's width and height from its header.
std::pair<int, int> pngSize(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t header[24] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    auto be = [&](int at) { return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3]; };
    return {be(16), be(20)};
}

size_t countFrames(const std::filesystem::path& dir) {
    size_t frames = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        frames += entry.path().filename().string().rfind("frame-", 0) == 0;
    return frames;
}

TEST(CaptureShow, AFolderHoldsTheFramesOfTheShowAndItsSoundtrackInStep) {
    ScratchDir scratch;
    int status = 0;
    const std::string trace = run("./eyesonly --headless --fps 6 --trace", status);
    ASSERT_EQ(status, 0);
    const long frames = lastTraceFrame(trace);
    const long titleFrame = traceFrameOf(trace, "scene 0");
    ASSERT_GT(titleFrame, 1);

    const std::string dir = (scratch.path() / "show").string() + "/";
    run(captureCommand + "'" + dir + "' --fps 6 2>/dev/null", status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(countFrames(dir), static_cast<size_t>(frames)) << "one image per frame the show draws at 6 fps";
    EXPECT_EQ(pngSize(dir + "frame-000001.png"), std::make_pair(640, 480));

    // The soundtrack lasts exactly as long as the frames.
    int channels = 0, rate = 0;
    const std::vector<int16_t> track = wavSamples(dir + "audio.wav", channels, rate);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, sampleRate);
    EXPECT_EQ(static_cast<long>(track.size() / 2), std::lround(frames * sampleRate / fps));

    // From the title frame's first sample on, the soundtrack is the main
    // song as it sounds on its own, sample for sample.
    const double titleMs = std::floor((titleFrame - 1) * 1000.0 / fps);
    const size_t songStart = static_cast<size_t>(std::lround(titleMs * sampleRate / 1000.0));
    constexpr int compared = sampleRate * 2;  // stereo frames: two seconds
    ASSERT_GE(track.size(), (songStart + compared) * 2);
    {
        testing_support::WorkingDir inside(EYESONLY_BINARY_DIR);
        platform::selectSoundOutput(platform::SoundOutput::Capture);
        FSOUND_Init(sampleRate, 32, 0);
        FMUSIC_MODULE* song = FMUSIC_LoadSong(mainSongPath);
        ASSERT_NE(song, nullptr);
        ASSERT_TRUE(FMUSIC_PlaySong(song));
        std::vector<int16_t> alone(compared * 2);
        platform::renderSound(alone.data(), compared);
        FMUSIC_FreeSong(song);
        platform::resetSound();
        // libopenmpt's output moves by a level where the soundtrack was
        // rendered in other slices; a shift by one sample moves it by far more.
        constexpr int sliceTolerance = 2;
        auto largestDifference = [&](long shift) {
            int largest = 0;
            for (size_t i = 0; i < alone.size(); ++i)
                largest = std::max(largest, std::abs(alone[i] - track[(songStart + shift) * 2 + i]));
            return largest;
        };
        EXPECT_LE(largestDifference(0), sliceTolerance) << "the main song starts at sample " << songStart;
        EXPECT_GT(largestDifference(-1), 100) << "one sample earlier";
        EXPECT_GT(largestDifference(1), 100) << "one sample later";
    }

    // A piece: --from 60 --until 70 holds the whole capture's frames from the
    // first at 60 s on, byte for byte, and its samples from that frame's first.
    const std::string piece = (scratch.path() / "piece").string() + "/";
    run("./eyesonly --capture '" + piece + "' --fps 6 --from 60 --until 70 2>/dev/null", status);
    ASSERT_EQ(status, 0);
    const long firstFrame = std::lround(60.0 * fps) + 1;  // at reading 1000 + 60000
    const long lastFrame = std::lround(70.0 * fps) + 1;
    ASSERT_EQ(countFrames(piece), static_cast<size_t>(lastFrame - firstFrame + 1));
    auto bytesOf = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    for (long n = firstFrame; n <= lastFrame; ++n) {
        char mine[32], whole[32];
        std::snprintf(mine, sizeof mine, "frame-%06ld.png", n - firstFrame + 1);
        std::snprintf(whole, sizeof whole, "frame-%06ld.png", n);
        EXPECT_EQ(bytesOf(piece + mine), bytesOf(dir + whole)) << mine << " against the whole capture's " << whole;
    }
    const std::vector<int16_t> pieceTrack = wavSamples(piece + "audio.wav", channels, rate);
    const size_t pieceStart = static_cast<size_t>(60 * sampleRate) * 2;
    ASSERT_EQ(pieceTrack.size(), static_cast<size_t>(std::lround((lastFrame - firstFrame + 1) * sampleRate / fps)) * 2);
    ASSERT_GE(track.size(), pieceStart + pieceTrack.size());
    int largest = 0;
    for (size_t i = 0; i < pieceTrack.size(); ++i)
        largest = std::max(largest, std::abs(pieceTrack[i] - track[pieceStart + i]));
    EXPECT_LE(largest, 1) << "the piece's soundtrack against the whole one's from 60 s on";

    // Twice the size with --scale 2, a stretch only.
    run(captureCommand + "'" + (scratch.path() / "big").string() + "/' --fps 6 --scale 2 --until 1 2>/dev/null", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(pngSize(scratch.path() / "big" / "frame-000001.png"), std::make_pair(1280, 960));
}

TEST(CaptureShow, VideoFilesCarryBothStreamsTheFramesAndOneChapterPerScene) {
    ScratchDir scratch;
    int status = 0;
    const std::string trace = run("./eyesonly --headless --fps 10 --trace", status);
    const long frames = lastTraceFrame(trace);
    for (const char* name : {"show.mp4", "show.mkv"}) {
        const std::string path = (scratch.path() / name).string();
        // Both files' subtitles are show.vtt: the second replaces the first.
        run(captureCommand + "'" + path + "' --fps 10 --force 2>/dev/null", status);
        ASSERT_EQ(status, 0) << name;
        const std::string probe = "ffprobe -v error -of default=nw=1 ";
        const std::string streams = run(probe + "-show_entries stream=codec_type,codec_name '" + path + "'", status);
        EXPECT_NE(streams.find("codec_type=video"), std::string::npos) << name << streams;
        EXPECT_NE(streams.find("codec_type=audio"), std::string::npos) << name << streams;
        const std::string counted = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                        "stream=nb_read_frames -of csv=p=0 '" + path + "'", status);
        EXPECT_EQ(std::atol(counted.c_str()), frames) << name;
        const double duration = std::atof(run(probe + "-show_entries format=duration -of csv=p=0 '" + path + "'", status).c_str());
        EXPECT_NEAR(duration, frames / 10.0, 0.1) << name;

        // Chapters: the five scenes, each from the first frame that shows it:
        // the title's is the frame of "scene 0", the others' the frame after.
        const std::string chapters = run(probe + "-show_chapters '" + path + "'", status);
        const auto [titles, starts] = chapterList(chapters);
        EXPECT_EQ(titles, (std::vector<std::string>{"Slideshow", "Title", "Ring tunnel", "Scroller",
                                                    "Credits and greetings"})) << name;
        ASSERT_EQ(starts.size(), 5u) << name;
        EXPECT_EQ(starts[0], 0.0) << name;
        for (int scene = 0; scene <= 3; ++scene)
            EXPECT_NEAR(starts[scene + 1], (traceFrameOf(trace, "scene " + std::to_string(scene)) - (scene == 0)) / 10.0, 1e-3)
                << name << ": chapter of scene " << scene;

        // Subtitles beside it: every line the show shows, each from the
        // frame the trace has it appear in.
        const auto [cueStarts, cueTexts] = cueList(path.substr(0, path.size() - 4) + ".vtt");
        const std::vector<long> appear = wordFrames(trace);
        ASSERT_EQ(cueStarts.size(), showLines().size()) << name;
        ASSERT_EQ(appear.size(), showLines().size()) << name;
        for (size_t i = 0; i < cueStarts.size(); ++i) {
            EXPECT_NEAR(cueStarts[i], (appear[i] - 1) / 10.0, 5e-4) << name << ": cue " << i + 1;
            EXPECT_EQ(cueTexts[i], showLines()[i].text) << name << ": cue " << i + 1;
        }
    }

    // A piece across the switch to the ring tunnel: its own first frame
    // starts the title's chapter, and the tunnel's starts where it does.
    const std::string piece = (scratch.path() / "piece.mkv").string();
    run("./eyesonly --capture '" + piece + "' --fps 10 --from 60 --until 75 2>/dev/null", status);
    ASSERT_EQ(status, 0);
    const std::string chapters = run("ffprobe -v error -of default=nw=1 -show_chapters '" + piece + "'", status);
    const auto [titles, starts] = chapterList(chapters);
    EXPECT_EQ(titles, (std::vector<std::string>{"Title", "Ring tunnel"}));
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(starts[1], (traceFrameOf(trace, "scene 1") + 1 - 601) / 10.0, 1e-3) << "frame 601 is the piece's first";
    //    Its subtitles from its own first frame: the title line on screen there.
    const auto [cueStarts, cueTexts] = cueList((scratch.path() / "piece.vtt").string());
    ASSERT_FALSE(cueStarts.empty());
    EXPECT_EQ(cueStarts[0], 0.0);
    EXPECT_TRUE(std::any_of(std::begin(titleLines), std::end(titleLines),
                            [&](const char* line) { return cueTexts[0] == line; })) << cueTexts[0];

    // The progress lines (standard error is no terminal here) count from the
    // start moment to the stop: a line at every tenth, the last at 90%.
    const std::string progress =
        run("./eyesonly --capture '" + (scratch.path() / "short.mkv").string() + "' --fps 10 --from 2 --until 4 2>&1", status);
    std::string tenths;
    std::istringstream progressLines(progress);
    for (std::string line; std::getline(progressLines, line);) {
        int percent = 0;
        if (std::sscanf(line.c_str(), "eyesonly: %d%% captured", &percent) == 1) tenths += std::to_string(percent) + " ";
    }
    EXPECT_EQ(tenths, "10 20 30 40 50 60 70 80 90 ") << progress;

    // --crf: a worse quality makes a smaller file of the same frames.
    const std::string fine = (scratch.path() / "fine.mp4").string(), coarse = (scratch.path() / "coarse.mp4").string();
    run("./eyesonly --capture '" + fine + "' --until 2 --crf 10 2>/dev/null", status);
    run("./eyesonly --capture '" + coarse + "' --until 2 --crf 45 --preset ultrafast 2>/dev/null", status);
    EXPECT_LT(std::filesystem::file_size(coarse) * 2, std::filesystem::file_size(fine));
}

}  // namespace
