// The video capture writing real files, read back with libavformat and
// libpng: streams, codecs, sizes, frame counts, durations and chapters of
// mp4 and mkv; exact pixels and samples where the format is lossless; frame
// directories with their WAV; the errors refused at open; a full disk in
// the middle of a capture; the same bytes from the same input.
//
// Every frame carries its number in a row of black and white blocks, a
// smooth gradient whose brightness grows downwards (a frame upside down is
// seen at once) and single-pixel checks (scaling other than by whole blocks
// is seen at once).
#include "capture/output.h"

#include <gtest/gtest.h>

#include <png.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using platform::encode::CaptureFormat;
using capture::CapturePixels;
using platform::encode::CaptureSettings;
using testing_support::ScratchDir;
using Bytes = std::vector<uint8_t>;

constexpr int width = 640;
constexpr int height = 480;
constexpr int frameCount = 12;
constexpr int lossyTolerance = 12;        // levels of 255 after H.264 and back

// --- the input -------------------------------------------------------------

struct Rgb {
    int r, g, b;
};

// Pixel (x, y), counted from the top left, of frame n (from 1).
Rgb patternPixel(int n, int x, int y) {
    if (y < 40) return ((n >> (x / 40)) & 1) ? Rgb{255, 255, 255} : Rgb{0, 0, 0};   // 16 bits of n
    if (y >= 440) return x < 320 ? Rgb{230, 30, 60} : Rgb{20, 200, 90};              // two colour bars
    if (x < 320) return {x * 4 / 5, (y - 40) * 255 / 399, 128};                     // gradient
    return {(x * 7 + y * 13 + n * 5) & 255, ((x ^ y) & 1) * 255, (x + n) & 255};      // fine detail
}

// Frame n as GL reads it: bottom row first.
Bytes framePixels(int n, CapturePixels layout) {
    const int channels = layout == CapturePixels::Rgba ? 4 : 3;
    Bytes out(size_t(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgb c = patternPixel(n, x, y);
            uint8_t* p = out.data() + (size_t(height - 1 - y) * width + x) * channels;
            p[0] = uint8_t(c.r);
            p[1] = uint8_t(c.g);
            p[2] = uint8_t(c.b);
            if (channels == 4) p[3] = uint8_t(n * 17);
        }
    return out;
}

// Stereo frame i: a 440 Hz tone on the left, a ramp on the right.
int16_t toneSample(int64_t i, int channel) {
    return channel == 0 ? int16_t(std::lround(9000 * std::sin(double(i) * 2 * M_PI * 440 / platform::showMixRate)))
                        : int16_t((i * 37) % 20000 - 10000);
}

int64_t soundFramesAfter(int frames, double fps) {
    return std::llround(frames * double(platform::showMixRate) / fps);
}

struct Chapter {
    std::string title;
    int64_t firstFrame;
};
// Added in this order; "Scroller" replaces "Ring tunnel" at frame 9, and
// the credits start after the last frame.
const std::vector<Chapter> chaptersGiven = {
    {"Slideshow", 1}, {"Title", 4}, {"Ring tunnel", 9}, {"Scroller", 9}, {"Credits and greetings", 30}};
struct ChapterSpan {
    std::string title;
    int firstFrame, endFrame;  // [first, end), from 0
};
const std::vector<ChapterSpan> chaptersExpected = {{"Slideshow", 0, 3}, {"Title", 3, 8}, {"Scroller", 8, frameCount}};

// Writes frameCount frames with the sound of each after it; every call
// must succeed.
void writeCapture(const CaptureSettings& settings, CapturePixels layout) {
    std::string error;
    ASSERT_TRUE(capture::openCapture(settings, error)) << error;
    for (const Chapter& c : chaptersGiven) capture::addChapter(c.title, c.firstFrame);
    int64_t soundDone = 0;
    for (int n = 1; n <= frameCount; ++n) {
        const Bytes pixels = framePixels(n, layout);
        ASSERT_TRUE(capture::captureFrame(n, pixels.data(), layout, error)) << "frame " << n << ": " << error;
        const int64_t soundEnd = soundFramesAfter(n, settings.framesPerSecond);
        std::vector<int16_t> sound;
        for (int64_t i = soundDone; i < soundEnd; ++i) sound.insert(sound.end(), {toneSample(i, 0), toneSample(i, 1)});
        ASSERT_TRUE(capture::captureAudio(sound.data(), int(soundEnd - soundDone), error)) << error;
        soundDone = soundEnd;
    }
    ASSERT_TRUE(capture::closeCapture(error)) << error;
    EXPECT_FALSE(capture::captureOpen());
}

// --- reading back ------------------------------------------------------------

struct Media {
    bool opened = false;
    bool readToEnd = false;               // av_read_frame stopped at the end of the file
    std::string videoCodec, audioCodec;
    int width = 0, height = 0;
    int64_t videoPackets = 0;
    double durationSeconds = 0;           // the container's duration
    double audioSeconds = 0;              // the sound stream's duration
    std::vector<Bytes> pictures;          // decoded, RGB top row first
    std::vector<int16_t> sound;           // decoded, for 16-bit decoders
    struct Mark {
        std::string title;
        double start, end;                // seconds
    };
    std::vector<Mark> chapters;
};

double seconds(int64_t t, AVRational base) {
    return t == AV_NOPTS_VALUE ? -1 : double(t) * base.num / base.den;
}

// Decoded pictures go to RGB by the matrix and range the frame is tagged
// with, as a player would.
Bytes toRgb(const AVFrame* frame) {
    SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                     frame->height, AV_PIX_FMT_RGB24, SWS_POINT | SWS_ACCURATE_RND | SWS_BITEXACT,
                                     nullptr, nullptr, nullptr);
    const int* matrix = sws_getCoefficients(frame->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame->colorspace);
    sws_setColorspaceDetails(sws, matrix, frame->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0, 1 << 16, 1 << 16);
    Bytes rgb(size_t(frame->width) * frame->height * 3);
    uint8_t* planes[1] = {rgb.data()};
    const int stride[1] = {frame->width * 3};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, stride);
    sws_freeContext(sws);
    return rgb;
}

Media readMedia(const std::string& path, bool decode) {
    Media m;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return m;
    m.opened = avformat_find_stream_info(input, nullptr) >= 0;
    m.durationSeconds = seconds(input->duration, AVRational{1, AV_TIME_BASE});
    for (unsigned i = 0; i < input->nb_chapters; ++i) {
        const AVChapter* c = input->chapters[i];
        const AVDictionaryEntry* title = av_dict_get(c->metadata, "title", nullptr, 0);
        m.chapters.push_back({title ? title->value : "", seconds(c->start, c->time_base), seconds(c->end, c->time_base)});
    }
    AVCodecContext* decoders[2] = {nullptr, nullptr};  // by stream index
    for (unsigned i = 0; i < input->nb_streams && i < 2; ++i) {
        const AVCodecParameters* p = input->streams[i]->codecpar;
        const std::string name = avcodec_get_name(p->codec_id);
        if (p->codec_type == AVMEDIA_TYPE_VIDEO) {
            m.videoCodec = name;
            m.width = p->width;
            m.height = p->height;
        } else {
            m.audioCodec = name;
            m.audioSeconds = seconds(input->streams[i]->duration, input->streams[i]->time_base);
        }
        if (!decode) continue;
        decoders[i] = avcodec_alloc_context3(avcodec_find_decoder(p->codec_id));
        avcodec_parameters_to_context(decoders[i], p);
        avcodec_open2(decoders[i], nullptr, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receive = [&](AVCodecContext* decoder) {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            if (decoder->codec_type == AVMEDIA_TYPE_VIDEO)
                m.pictures.push_back(toRgb(frame));
            else if (frame->format == AV_SAMPLE_FMT_S16)
                m.sound.insert(m.sound.end(), reinterpret_cast<int16_t*>(frame->data[0]),
                               reinterpret_cast<int16_t*>(frame->data[0]) + frame->nb_samples * 2);
            av_frame_unref(frame);
        }
    };
    int code = 0;
    while ((code = av_read_frame(input, packet)) >= 0) {
        const int s = packet->stream_index;
        if (input->streams[s]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++m.videoPackets;
        if (s < 2 && decoders[s] != nullptr && avcodec_send_packet(decoders[s], packet) >= 0) receive(decoders[s]);
        av_packet_unref(packet);
    }
    m.readToEnd = code == AVERROR_EOF;
    for (AVCodecContext* decoder : decoders)
        if (decoder != nullptr && avcodec_send_packet(decoder, nullptr) >= 0) receive(decoder);
    for (AVCodecContext*& decoder : decoders) avcodec_free_context(&decoder);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&input);
    return m;
}

// The colour at (x, y) of a top-down RGB picture `pictureWidth` wide.
Rgb at(const Bytes& rgb, int pictureWidth, int x, int y) {
    const uint8_t* p = rgb.data() + (size_t(y) * pictureWidth + x) * 3;
    return {p[0], p[1], p[2]};
}

std::string describe(const Rgb& c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

// The first pixel of a picture enlarged `scale` times that differs from
// frame n; empty when all agree.
std::string firstDifference(const Bytes& rgb, int n, int scale) {
    const int w = width * scale;
    for (int y = 0; y < height * scale; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb got = at(rgb, w, x, y), want = patternPixel(n, x / scale, y / scale);
            if (got.r != want.r || got.g != want.g || got.b != want.b)
                return "frame " + std::to_string(n) + " pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                       "): expected " + describe(want) + ", got " + describe(got);
        }
    return "";
}

// A lossy picture checked at the centres of blocks: its frame number, the
// two colour bars and the gradient near the top and the bottom.
void expectLossyFrame(const Bytes& rgb, int n, int scale) {
    const int w = width * scale;
    auto probe = [&](int x, int y) { return at(rgb, w, x * scale + scale / 2, y * scale + scale / 2); };
    int number = 0;
    for (int bit = 0; bit < 16; ++bit) number |= (probe(bit * 40 + 20, 20).g > 128) << bit;
    EXPECT_EQ(number, n) << "frame number read from the blocks";
    for (auto [x, y] : {std::pair{160, 460}, std::pair{480, 460}, std::pair{100, 60}, std::pair{100, 420}}) {
        const Rgb want = patternPixel(n, x, y), got = probe(x, y);
        EXPECT_TRUE(std::abs(got.r - want.r) <= lossyTolerance && std::abs(got.g - want.g) <= lossyTolerance &&
                    std::abs(got.b - want.b) <= lossyTolerance)
            << "frame " << n << " at (" << x << ", " << y << "): expected " << describe(want) << ", got "
            << describe(got);
    }
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t le32(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

uint16_t le16(const Bytes& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

// A PNG as 8-bit RGB rows, top first; empty when it cannot be read.
Bytes readPng(const fs::path& path, int& pngWidth, int& pngHeight) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    Bytes rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    pngWidth = int(image.width);
    pngHeight = int(image.height);
    return rgb;
}

CaptureSettings settingsFor(const std::string& path, int scale = 1, double fps = 60.0) {
    CaptureSettings s;
    s.path = path;
    s.frameWidth = width;
    s.frameHeight = height;
    std::string error;
    EXPECT_TRUE(capture::captureFormatFor(path, s.format, error)) << error;
    s.scale = scale;
    s.framesPerSecond = fps;
    return s;
}

// --- encoded files -------------------------------------------------------------

struct FileCase {
    const char* name;
    const char* file;
    int scale;
    double fps;
    CapturePixels layout;
    const char* videoCodec;
    const char* audioCodec;
    bool lossless;
};

class EncodedFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(EncodedFile, HoldsEveryFrameTheSoundAndTheChapters) {
    const FileCase& c = GetParam();
    ScratchDir dir;
    const std::string path = (dir.path() / c.file).string();
    writeCapture(settingsFor(path, c.scale, c.fps), c.layout);
    const Media m = readMedia(path, true);
    ASSERT_TRUE(m.opened) << path;

    // 1. Streams, sizes, frames, duration.
    EXPECT_EQ(m.videoCodec, c.videoCodec);
    EXPECT_EQ(m.audioCodec, c.audioCodec);
    EXPECT_EQ(m.width, width * c.scale);
    EXPECT_EQ(m.height, height * c.scale);
    EXPECT_TRUE(m.readToEnd);
    EXPECT_EQ(m.videoPackets, frameCount);
    ASSERT_EQ(m.pictures.size(), size_t(frameCount));
    const double showSeconds = frameCount / c.fps;
    const double aacFrameSeconds = 1024.0 / platform::showMixRate;  // sound may end one encoder frame late
    EXPECT_NEAR(m.durationSeconds, showSeconds, c.lossless ? 0.001 : aacFrameSeconds);
    if (!c.lossless) {  // Matroska keeps no duration of a stream
        EXPECT_NEAR(m.audioSeconds, showSeconds, aacFrameSeconds);
    }

    // 2. Pictures: exact where lossless, probed where not.
    for (int n = 1; n <= frameCount; ++n) {
        if (c.lossless)
            EXPECT_EQ(firstDifference(m.pictures[size_t(n - 1)], n, c.scale), "");
        else
            expectLossyFrame(m.pictures[size_t(n - 1)], n, c.scale);
    }

    // 3. Sound: every sample exact where lossless.
    if (c.lossless) {
        const int64_t soundFrames = soundFramesAfter(frameCount, c.fps);
        ASSERT_EQ(m.sound.size(), size_t(soundFrames * 2));
        for (int64_t i = 0; i < soundFrames; ++i)
            for (int channel = 0; channel < 2; ++channel)
                ASSERT_EQ(m.sound[size_t(2 * i + channel)], toneSample(i, channel)) << "sound frame " << i << " channel " << channel;
    }

    // 4. The finished file alone, an mp4 with its index in front (it
    //    streams from a web server).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "a temporary file stays";
    if (!c.lossless) {
        const Bytes bytes = readFile(path);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_LT(text.find("moov"), text.find("mdat"));
    }

    // 5. Chapters: names and spans in frames.
    ASSERT_EQ(m.chapters.size(), chaptersExpected.size());
    for (size_t i = 0; i < chaptersExpected.size(); ++i) {
        const ChapterSpan& want = chaptersExpected[i];
        EXPECT_EQ(m.chapters[i].title, want.title);
        EXPECT_NEAR(m.chapters[i].start, want.firstFrame / c.fps, 0.001) << want.title;
        EXPECT_NEAR(m.chapters[i].end, want.endFrame / c.fps, c.lossless ? 0.001 : aacFrameSeconds) << want.title;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Capture, EncodedFile,
    ::testing::Values(FileCase{"Mp4", "show.mp4", 1, 60.0, CapturePixels::Rgb, "h264", "aac", false},
                      FileCase{"Mp4TwiceAt2997", "show.MP4", 2, 29.97, CapturePixels::Rgba, "h264", "aac", false},
                      FileCase{"Mkv", "show.mkv", 1, 60.0, CapturePixels::Rgb, "ffv1", "flac", true},
                      FileCase{"MkvThriceRgbaAt2997", "show.mkv", 3, 29.97, CapturePixels::Rgba, "ffv1", "flac", true}),
    [](const ::testing::TestParamInfo<FileCase>& param) { return std::string(param.param.name); });

TEST(Mp4Colour, IsTaggedWithTheMatrixItWasConvertedWith) {
    ScratchDir dir;
    const std::string path = (dir.path() / "show.mp4").string();
    writeCapture(settingsFor(path), CapturePixels::Rgb);
    AVFormatContext* input = nullptr;
    ASSERT_GE(avformat_open_input(&input, path.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(input, nullptr), 0);
    const AVCodecParameters* p = input->streams[0]->codecpar;
    EXPECT_EQ(p->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(p->color_space, AVCOL_SPC_BT709);
    EXPECT_EQ(p->color_range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(p->color_primaries, AVCOL_PRI_BT709);
    avformat_close_input(&input);
}

// --- a capture that is never closed ---------------------------------------------

// What a killed capture leaves, looked at while the capture is still open:
// NAME.part.mp4 plays up to its last fragment (about a second before the
// last frame handed over, plus the encoder's delay); a folder's audio.wav
// has a header that tells the sound of all but about its last second.
TEST(WhileOpen, TheFilesOnDiskPlayAsFarAsTheyGot) {
    ScratchDir dir;
    constexpr int frames = 130;                     // 2.2 s at 60 frames a second
    for (const char* target : {"show.mp4", "frames/"}) {
        SCOPED_TRACE(target);
        const CaptureSettings settings = settingsFor((dir.path() / target).string());
        std::string error;
        ASSERT_TRUE(capture::openCapture(settings, error)) << error;
        const std::vector<int16_t> sound(size_t(soundFramesAfter(1, 60.0)) * 2, 500);
        for (int n = 1; n <= frames; ++n) {
            const Bytes pixels = framePixels(n, CapturePixels::Rgb);
            ASSERT_TRUE(capture::captureFrame(n, pixels.data(), CapturePixels::Rgb, error)) << error;
            ASSERT_TRUE(capture::captureAudio(sound.data(), int(sound.size() / 2), error)) << error;
        }
        const Bytes stray = framePixels(1, CapturePixels::Rgb);
        EXPECT_FALSE(capture::captureFrame(frames + 2, stray.data(), CapturePixels::Rgb, error)) << "a frame number skipped";
        EXPECT_EQ(error, "frame 132 handed over after frame 130");
        // What the disk holds is looked at once the worker got through the
        // queue as far as the disk shows it (at most 30 s): audio.wav holds
        // all the sound handed over; the mp4 holds all but its last second
        // and the encoder's delay.
        const bool folder = settings.format == CaptureFormat::Frames;
        const fs::path onDisk = folder ? dir.path() / "frames/audio.wav" : dir.path() / "show.part.mp4";
        const uintmax_t allSound = 44 + uintmax_t(frames) * sound.size() * sizeof(int16_t);
        const int64_t leastPictures = frames - 60 - 40;
        auto reached = [&] {
            std::error_code none;
            return folder ? fs::file_size(onDisk, none) >= allSound && !none
                          : readMedia(onDisk.string(), false).videoPackets >= leastPictures;
        };
        for (int i = 0; i < 1500 && !reached(); ++i) usleep(20000);
        if (settings.format == CaptureFormat::Frames) {
            const Bytes wav = readFile(onDisk);
            ASSERT_GT(wav.size(), 44u);
            const uint32_t told = le32(wav, 40);
            EXPECT_EQ(le32(wav, 4), 36 + told);
            EXPECT_LE(told, wav.size() - 44);
            EXPECT_GE(told + 44100u * 4, wav.size() - 44) << "the header is more than a second behind";
        } else {
            const Media m = readMedia(onDisk.string(), true);
            ASSERT_TRUE(m.opened);
            EXPECT_EQ(m.pictures.size(), size_t(m.videoPackets));
            EXPECT_GE(m.pictures.size(), size_t(leastPictures)) << "a second and the encoder's delay";
            for (size_t i = 0; i < m.pictures.size(); i += 50) expectLossyFrame(m.pictures[i], int(i) + 1, 1);
        }
        ASSERT_TRUE(capture::closeCapture(error)) << error;
        EXPECT_FALSE(fs::exists(dir.path() / "show.part.mp4"));
    }
}

// --- frame directories -------------------------------------------------------

class FrameDirectory : public ::testing::TestWithParam<std::pair<int, CapturePixels>> {};

TEST_P(FrameDirectory, HoldsExactPicturesAndTheWholeSound) {
    const auto [scale, layout] = GetParam();
    ScratchDir dir;
    const fs::path frames = dir.path() / "frames";
    writeCapture(settingsFor(frames.string() + "/", scale), layout);

    // 1. One PNG a frame, nothing else but audio.wav.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(frames)) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names.size(), size_t(frameCount + 1));
    for (int n = 1; n <= frameCount; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", n);
        int w = 0, h = 0;
        const Bytes rgb = readPng(frames / name, w, h);
        ASSERT_FALSE(rgb.empty()) << name;
        EXPECT_EQ(w, width * scale) << name;
        EXPECT_EQ(h, height * scale) << name;
        EXPECT_EQ(firstDifference(rgb, n, scale), "");
    }

    // 2. audio.wav: the canonical header and every sample given.
    const Bytes wav = readFile(frames / "audio.wav");
    const int64_t soundFrames = soundFramesAfter(frameCount, 60.0);
    ASSERT_EQ(wav.size(), size_t(44 + soundFrames * 4));
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1) << "PCM";
    EXPECT_EQ(le16(wav, 22), 2) << "channels";
    EXPECT_EQ(le32(wav, 24), 44100u);
    EXPECT_EQ(le32(wav, 28), 44100u * 4);
    EXPECT_EQ(le16(wav, 32), 4) << "block align";
    EXPECT_EQ(le16(wav, 34), 16) << "bits";
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(le32(wav, 40), uint32_t(soundFrames * 4));
    for (int64_t i = 0; i < soundFrames; ++i)
        for (int channel = 0; channel < 2; ++channel)
            ASSERT_EQ(int16_t(le16(wav, size_t(44 + 4 * i + 2 * channel))), toneSample(i, channel)) << "sound frame " << i;
}

INSTANTIATE_TEST_SUITE_P(Capture, FrameDirectory,
                         ::testing::Values(std::pair{1, CapturePixels::Rgb}, std::pair{3, CapturePixels::Rgba}));

// --- the same bytes again ----------------------------------------------------

// The two files, or every file of the two folders, byte for byte the same.
void expectSameFiles(const fs::path& a, const fs::path& b) {
    if (!fs::is_directory(a)) {
        EXPECT_TRUE(readFile(a) == readFile(b)) << a.filename();
        return;
    }
    for (const auto& entry : fs::directory_iterator(a))
        EXPECT_TRUE(readFile(entry.path()) == readFile(b / entry.path().filename())) << entry.path().filename();
}

// mkv and frame directories promise it; x264 and FFmpeg's AAC encoder give
// it too, with a fixed thread count.
TEST(Determinism, EveryFormatComesOutByteForByteTheSame) {
    ScratchDir first, second;
    for (const char* target : {"show.mkv", "frames/", "show.mp4"}) {
        for (ScratchDir* dir : {&first, &second}) writeCapture(settingsFor((dir->path() / target).string()), CapturePixels::Rgb);
        expectSameFiles(first.path() / target, second.path() / target);
    }
}

// Frames handed over as GL reads them (RGBA, the alpha varying) are
// converted as they are, without a packed copy: the files are the ones
// their RGB makes.
TEST(Determinism, RgbaFramesMakeTheFilesTheirRgbMakes) {
    ScratchDir rgb, rgba;
    for (const char* target : {"show.mkv", "show.mp4", "frames/"}) {
        writeCapture(settingsFor((rgb.path() / target).string()), CapturePixels::Rgb);
        writeCapture(settingsFor((rgba.path() / target).string()), CapturePixels::Rgba);
        expectSameFiles(rgb.path() / target, rgba.path() / target);
    }
}

// --- refused at open -----------------------------------------------------------

TEST(CaptureFormat, ComesFromTheExtensionOrADirectory) {
    ScratchDir dir;
    struct Case {
        std::string path;
        bool known;
        CaptureFormat format;
    };
    const Case cases[] = {
        {"out.mp4", true, CaptureFormat::Mp4},       {"out.MKV", true, CaptureFormat::Mkv},
        {"frames/", true, CaptureFormat::Frames},    {dir.path().string(), true, CaptureFormat::Frames},
        {"out.avi", false, CaptureFormat::Mp4},      {"out", false, CaptureFormat::Mp4},
        {"dir.mp4/out.webm", false, CaptureFormat::Mp4},
    };
    for (const Case& c : cases) {
        CaptureFormat format = CaptureFormat::Mp4;
        std::string error;
        EXPECT_EQ(capture::captureFormatFor(c.path, format, error), c.known) << c.path;
        if (c.known)
            EXPECT_EQ(format, c.format) << c.path;
        else
            EXPECT_NE(error.find("unknown extension"), std::string::npos) << c.path << ": " << error;
    }
}

TEST(OpenCapture, RefusesBadSettingsAndKeepsWhatIsOnDisk) {
    ScratchDir dir;
    const Bytes kept = {'k', 'e', 'p', 't'};
    struct Case {
        const char* name;
        std::string target;              // inside the scratch directory
        std::string existing;            // a file made there first, inside it
        int scale;
        double fps;
        bool force;
        bool opens;
        std::string message;             // part of the error
    };
    const Case cases[] = {
        {"no parent of a file", "missing/a.mp4", "", 1, 60, false, false, "cannot write "},
        {"no parent of a directory", "missing/frames/", "", 1, 60, false, false, "cannot make directory "},
        {"mp4 there", "b.mp4", "b.mp4", 1, 60, false, false, "b.mp4 already exists"},
        {"mkv there", "b.mkv", "b.mkv", 1, 60, false, false, "b.mkv already exists"},
        {"first frame there", "f/", "f/frame-000001.png", 1, 60, false, false, "frame-000001.png already exists"},
        {"audio there", "g/", "g/audio.wav", 1, 60, false, false, "audio.wav already exists"},
        {"mp4 replaced with force", "c.mp4", "c.mp4", 1, 60, true, true, ""},
        {"frames replaced with force", "h/", "h/frame-000001.png", 1, 60, true, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path target = dir.path() / c.target;
        const std::string existing = c.existing.empty() ? "" : dir.write(c.existing, kept);
        CaptureSettings settings = settingsFor(target.string(), c.scale, c.fps);
        settings.force = c.force;
        std::string error;
        const bool opened = capture::openCapture(settings, error);
        EXPECT_EQ(opened, c.opens) << error;
        if (opened) {
            // A capture of no frames keeps nothing and leaves what was there.
            EXPECT_TRUE(capture::closeCapture(error)) << error;
            EXPECT_EQ(capture::capturedKept().path, "");
            EXPECT_EQ(readFile(existing), kept) << "replaced by a capture of no frames";
            continue;
        }
        EXPECT_NE(error.find(c.message), std::string::npos) << "error: " << error;
        if (c.message.find("cannot") == 0) {
            EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
        }
        if (existing.empty())
            EXPECT_FALSE(fs::exists(target)) << "made at a refused open";
        else
            EXPECT_EQ(readFile(existing), kept) << "changed at a refused open";
    }
}

// --- a full disk ---------------------------------------------------------------

// Frames of noise, which hardly compress: the disk fills after a few.
Bytes noiseFrame(uint32_t seed) {
    Bytes rgb(size_t(width) * height * 3);
    for (uint8_t& v : rgb) {
        seed = seed * 1664525u + 1013904223u;
        v = uint8_t(seed >> 24);
    }
    return rgb;
}

// Hands over noise frames with their sound until a call fails (at most
// `limit` frames); returns the error, empty when none failed.
std::string fillUntilFailure(const CaptureSettings& settings, int limit) {
    std::string error;
    if (!capture::openCapture(settings, error)) return "open: " + error;
    capture::addChapter("Slideshow", 1);
    const std::vector<int16_t> sound(size_t(soundFramesAfter(1, settings.framesPerSecond)) * 2, 1000);
    bool ok = true;
    for (int n = 1; n <= limit && ok; ++n) {
        const Bytes frame = noiseFrame(uint32_t(n));
        ok = capture::captureFrame(n, frame.data(), CapturePixels::Rgb, error) &&
             capture::captureAudio(sound.data(), int(sound.size() / 2), error);
    }
    std::string closeError;
    const bool closed = capture::closeCapture(closeError);
    EXPECT_FALSE(capture::captureOpen());
    if (ok && closed) return "";
    EXPECT_FALSE(closed) << "a failed capture closes as failed";
    EXPECT_EQ(closeError, ok ? closeError : error) << "close repeats the first error";
    return ok ? closeError : error;
}

// A file size limit (writes fail with EFBIG, SIGXFSZ ignored): works for
// every user.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST(DiskFull, MkvStaysReadableUpToWhereTheFileStopped) {
    ScratchDir dir;
    const std::string path = (dir.path() / "show.mkv").string();
    std::string error;
    {
        FileSizeLimit limit(4 << 20);
        error = fillUntilFailure(settingsFor(path), 100);
    }
    EXPECT_NE(error.find("disk full while writing " + path + ": File too large"), std::string::npos) << error;
    // Its index did not fit either: it stays under its temporary name.
    const platform::encode::CaptureKept kept = capture::capturedKept();
    EXPECT_EQ(kept.path, (dir.path() / "show.part.mkv").string());
    const Media m = readMedia(kept.path, true);
    ASSERT_TRUE(m.opened);
    EXPECT_GT(m.pictures.size(), 0u);
    EXPECT_EQ(m.pictures.size(), size_t(kept.frames));
}

TEST(DiskFull, FrameDirectoryKeepsWholeFramesAndAWavOfWhatWasWritten) {
    ScratchDir dir;
    const fs::path frames = dir.path() / "frames";
    std::string soundError, frameError;
    {
        // A PNG of noise enlarged twice is some 3.7 MB.
        FileSizeLimit limit(1 << 20);
        CaptureSettings settings = settingsFor(frames.string() + "/");
        std::string error;
        ASSERT_TRUE(capture::openCapture(settings, error)) << error;
        const std::vector<int16_t> sound(size_t(platform::showMixRate) * 4 * 2, 7);  // 4 s: 705600 bytes
        EXPECT_TRUE(capture::captureAudio(sound.data(), int(sound.size() / 2), error)) << error;
        EXPECT_TRUE(capture::captureAudio(sound.data(), int(sound.size() / 2), error)) << error;
        capture::closeCapture(soundError);

        settings.path = (dir.path() / "big").string() + "/";
        settings.scale = 2;
        frameError = fillUntilFailure(settings, 3);
    }
    EXPECT_NE(soundError.find("disk full while writing " + (frames / "audio.wav").string()), std::string::npos) << soundError;
    EXPECT_NE(frameError.find("disk full while writing " + (dir.path() / "big/frame-000001.png").string()),
              std::string::npos) << frameError;
    EXPECT_FALSE(fs::exists(dir.path() / "big/frame-000001.png"));
    EXPECT_FALSE(fs::exists(dir.path() / "big/frame-000001.png.part")) << "a cut frame is left";

    const Bytes wav = readFile(frames / "audio.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(le32(wav, 40), wav.size() - 44) << "data length";
    EXPECT_EQ(le32(wav, 4), wav.size() - 8) << "RIFF length";
    EXPECT_EQ((wav.size() - 44) % 4, 0u) << "whole stereo frames";
}

// A small tmpfs that really fills (ENOSPC): mounting needs root.
class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
        mountPoint_ = scratch_.path() / "disk";
        fs::create_directories(mountPoint_);
        if (mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=24m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) umount2(mountPoint_.c_str(), MNT_DETACH);
    }
    ScratchDir scratch_;
    fs::path mountPoint_;
    bool mounted_ = false;
};

TEST_F(SmallDisk, Mp4AndMkvStillGetTheirIndexAndChapters) {
    for (const char* name : {"show.mp4", "show.mkv"}) {
        SCOPED_TRACE(name);
        const std::string path = (mountPoint_ / name).string();
        const std::string error = fillUntilFailure(settingsFor(path), 400);
        EXPECT_NE(error.find("disk full while writing " + path + ": No space left on device"), std::string::npos)
            << error;
        const Media m = readMedia(path, true);
        ASSERT_TRUE(m.opened);
        EXPECT_TRUE(m.readToEnd);
        EXPECT_GT(m.pictures.size(), 0u);
        EXPECT_EQ(m.pictures.size(), size_t(m.videoPackets));
        ASSERT_EQ(m.chapters.size(), 1u);
        EXPECT_EQ(m.chapters[0].title, "Slideshow");
        fs::remove(path);
    }
}

TEST(CaptureCalls, FailWhenNoCaptureIsOpenAndCloseIsHarmless) {
    std::string error;
    const Bytes frame = framePixels(1, CapturePixels::Rgb);
    EXPECT_FALSE(capture::captureFrame(1, frame.data(), CapturePixels::Rgb, error));
    EXPECT_EQ(error, "no capture is open");
    const int16_t sound[2] = {0, 0};
    EXPECT_FALSE(capture::captureAudio(sound, 1, error));
    EXPECT_TRUE(capture::closeCapture(error));
}

}  // namespace
