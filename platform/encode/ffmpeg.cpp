// Encoded capture files through FFmpeg: mp4 (H.264 by x264 + AAC) and mkv
// (FFV1 + FLAC, bit-exact: the same input gives the same bytes).
//
// Files are written through our own descriptors rather than FFmpeg's file
// protocol, so that a full disk is seen where it happens, and under names of
// their own until they are finished, so that nothing already on disk is
// replaced by a capture that did not finish:
//   mkv  NAME.part.mkv, written as it goes (Matroska plays however far it
//        got), renamed to NAME.mkv when finished. Some room is set aside at
//        open in an unnamed file beside it; the first write that finds the
//        disk full gives it back and goes on, so that the rest of the
//        cluster being written and the index still fit.
//   mp4  two files with the same packets: NAME.part.mp4, fragmented (an
//        empty index, then a fragment with its own index about every
//        second), which plays up to its last whole fragment whenever the
//        process ends; and an unnamed file that becomes the finished,
//        ordinary MP4 with its index in front, linked in as NAME.mp4 when
//        done, after which NAME.part.mp4 goes. A full disk gives up the
//        fragmented file first, which makes room for the rest.
// An output that cannot seek (a FIFO, a pipe, a character device, named
// as it is, not through a link) is written straight to: mkv as it goes, mp4
// as the fragmented file alone. Every file of ours is made new and never
// through a link; a link or any other file in the way of one is removed as
// a name with force and is an error that names it without. A finished file
// replaces an older one by a rename, so that the name always holds the one
// or the other.
//
// Sections:
//   1. State and clean-up
//   2. Writing to the descriptor
//   3. Encoders
//   4. Open, frames, sound, close
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/encode/encode.h"

namespace platform::encode {

namespace {

// ---------------------------------------------------------------------------
// 1. State and clean-up

constexpr int ioBufferBytes = 1 << 16;
// What an mkv may still have to write once the disk is full: its index and
// chapters, the rest of the cluster being written and the one still being
// gathered (each at most clusterBytes plus one frame, which at a large
// scale is more than this: such a cluster ends where the disk did). Set
// aside only where the disk has it; it does not grow with the scale.
constexpr off_t reserveBytes = 4 << 20;
constexpr int soundFrameSamples = 1024;    // AAC's size, and FLAC's here
constexpr int clusterBytes = 1 << 20;
constexpr int clusterMilliseconds = 1000;
constexpr int64_t interleaveMicroseconds = 1000000;  // sound and pictures at most this far apart
constexpr int soundChunkFrames = 4096;     // stereo frames converted at a time
constexpr int x264FullScaleMax = 2;        // above it, no look-ahead and no B-frames
constexpr const char* x264LargeParams = "rc-lookahead=0:sync-lookahead=0:bframes=0";
constexpr int64_t aacBitsPerSecond = 192000;

// One file a muxer writes through our descriptor.
struct Sink {
    std::string path;                      // its name now; empty for an unnamed file
    int fd = -1;
    bool fragmented = false;               // the mp4 written a fragment at a time
    bool givenUp = false;                  // writes go nowhere (it failed, or room was needed)
    bool removed = false;                  // it went to make room
    int64_t bytes = 0;                     // written so far
    int64_t playableBytes = 0;             // up to the end of its last whole fragment
    AVFormatContext* muxer = nullptr;
    AVIOContext* io = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    int64_t videoPackets = 0;              // handed to the muxer
    // The fragmented file has no edit list: its times start at 0 with the
    // first packet written, and the other stream keeps its distance to it,
    // so that both stay in step. That first packet must be of the stream
    // that starts earlier: where the pictures' decoding delay is longer
    // than the sound encoder's priming, the sound waits here for the first
    // picture.
    bool soundWaits = false;
    std::vector<AVPacket*> heldSound;
    // The finished file's tracks end together, however early the capture
    // ends: a sound packet waits here until a picture handed over ends
    // after the packet starts, and a picture until the sound has come
    // within one sound frame of its end. What still waits when a capture
    // fails never goes in. The muxer writes what it is handed in time
    // order, so a finished file holds the same packets as without the
    // wait, and the same bytes wherever the pictures come within
    // interleaveMicroseconds of their sound.
    std::deque<AVPacket*> waitingSound;    // in the encoders' time bases
    std::deque<AVPacket*> waitingPictures;
    int64_t picturesEnd = AV_NOPTS_VALUE;  // of the pictures handed over, in frame ticks
    int64_t soundEnd = AV_NOPTS_VALUE;     // of the sound encoded, in samples
    bool broken = false;                   // a write failed for good
};

struct EncodedFile {
    std::string path;                      // where the finished file goes
    CaptureFormat format = CaptureFormat::Mp4;
    int scale = 1;
    double framesPerSecond = 60.0;
    bool force = false;
    bool stream = false;                   // the output cannot seek: written straight to
    int reserveFd = -1;                    // the room set aside; -1 once given back
    int writeErrno = 0;                    // first failed write, 0 when none

    Sink whole;                            // the file that is finished (mkv, mp4 with its index in front)
    Sink fragments;                        // mp4: NAME.part.mp4
    std::string partPath;                  // NAME.part.EXT, locked against a second capture
    int partFd = -1;                       // holds the lock for the whole capture

    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    SwsContext* toYuv = nullptr;           // mp4 only
    SwsContext* rgbaToYuv = nullptr;       // mp4 at scale 1: RGBA frames as read, converted as they are
    SwrContext* toAudio = nullptr;
    AVAudioFifo* soundFifo = nullptr;      // converted sound waiting for a full encoder frame
    uint8_t** soundChunk = nullptr;        // soundChunkFrames in the encoder's format
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    std::vector<uint8_t> rgb;              // mp4: the frame top row first and enlarged
    int64_t framesEncoded = 0;
    int64_t soundFramesEncoded = 0;
};

EncodedFile file;

// Held while NAME.part.mp4 is between two whole fragments, and by a process
// that is ending at once.
std::timed_mutex playableLock;

void freeSink(Sink& s) {
    for (AVPacket*& held : s.heldSound) av_packet_free(&held);
    for (AVPacket*& held : s.waitingSound) av_packet_free(&held);
    for (AVPacket*& held : s.waitingPictures) av_packet_free(&held);
    avformat_free_context(s.muxer);
    if (s.io != nullptr) av_freep(&s.io->buffer);
    avio_context_free(&s.io);
    if (s.fd >= 0 && s.fd != file.partFd) close(s.fd);
    s = Sink{};
}

// Frees everything; with removeFiles, what was made is deleted as well (open
// failed after making it).
void freeAll(bool removeFiles) {
    EncodedFile& f = file;
    sws_freeContext(f.toYuv);
    sws_freeContext(f.rgbaToYuv);
    swr_free(&f.toAudio);
    if (f.soundFifo != nullptr) av_audio_fifo_free(f.soundFifo);
    if (f.soundChunk != nullptr) av_freep(&f.soundChunk[0]);
    av_freep(&f.soundChunk);
    av_frame_free(&f.picture);
    av_frame_free(&f.sound);
    av_packet_free(&f.packet);
    avcodec_free_context(&f.video);
    avcodec_free_context(&f.audio);
    if (removeFiles && !f.partPath.empty()) unlink(f.partPath.c_str());
    if (removeFiles && !f.whole.path.empty() && f.whole.path != f.partPath) unlink(f.whole.path.c_str());
    freeSink(f.whole);
    freeSink(f.fragments);
    if (f.reserveFd >= 0) close(f.reserveFd);
    if (f.partFd >= 0) close(f.partFd);
    f = EncodedFile{};
}

// FFmpeg's log: nothing is printed; the last error line is kept to go into
// our one message about the failure. Any FFmpeg thread may log.
std::mutex logLock;
std::string lastLoggedError;

void keepLoggedError(void* context, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) return;
    char line[256];
    int printPrefix = 1;
    av_log_format_line2(context, level, format, arguments, line, sizeof line, &printPrefix);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::lock_guard<std::mutex> guard(logLock);
    lastLoggedError = text;
}

// The message for a failed FFmpeg call: a failed write of ours, when there
// was one, says more than FFmpeg's code; FFmpeg's last error line follows.
std::string failureText(const char* what, int code) {
    if (file.writeErrno != 0) return writeErrorText(file.path, file.writeErrno);
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    std::string message = std::string("cannot ") + what + " " + file.path + ": " + text;
    std::lock_guard<std::mutex> guard(logLock);
    if (!lastLoggedError.empty()) message += " (" + lastLoggedError + ")";
    lastLoggedError.clear();
    return message;
}

// ---------------------------------------------------------------------------
// 2. Writing to the descriptor

// Gives up the fragmented file to make room: it goes, and its writes go
// nowhere from now on.
void giveUpFragments() {
    Sink& s = file.fragments;
    if (s.muxer == nullptr || s.removed) return;
    s.givenUp = s.removed = true;
    if (ftruncate(s.fd, 0) == 0) unlink(s.path.c_str());
}

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int writeBytes(void* opaque, const uint8_t* bytes, int count) {
#else
int writeBytes(void* opaque, uint8_t* bytes, int count) {
#endif
    EncodedFile& f = file;
    Sink& s = *static_cast<Sink*>(opaque);
    int left = count;
    while (left > 0 && !s.givenUp) {
        const ssize_t written = write(s.fd, bytes, static_cast<size_t>(left));
        if (written > 0) {
            bytes += written;
            left -= static_cast<int>(written);
            s.bytes += written;
            continue;
        }
        const int err = written < 0 ? errno : ENOSPC;
        if (err == EINTR) continue;
        if (f.writeErrno == 0) f.writeErrno = err;
        // The fragmented file stops at its last whole fragment and is
        // written no more; the capture fails, and the finished file still
        // gets what was encoded, its chapters and its index.
        if (&s == &f.fragments) {
            s.givenUp = true;
            [[maybe_unused]] const int cut = ftruncate(s.fd, s.playableBytes);
            return count;
        }
        const bool full = err == ENOSPC || err == EDQUOT;
        if (full && f.fragments.muxer != nullptr && !f.fragments.removed) {
            giveUpFragments();
            continue;
        }
        if (full && f.reserveFd >= 0) {
            close(f.reserveFd);
            f.reserveFd = -1;
            continue;
        }
        s.broken = true;
        return AVERROR(err);
    }
    return count;
}

int64_t seekBytes(void* opaque, int64_t offset, int whence) {
    const Sink& s = *static_cast<Sink*>(opaque);
    struct stat info {};
    if (whence & AVSEEK_SIZE) return fstat(s.fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
    const off_t at = lseek(s.fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// An unnamed file of `bytes` in the output's directory, where the disk has
// that much room and the file system allows it; the capture goes on
// without it otherwise.
void setRoomAside(off_t bytes) {
    const std::string dir = directoryOf(file.path);
    int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = dir + "/.capture-reserve-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) unlink(name.c_str());
    }
    if (fd < 0) return;
    if (posix_fallocate(fd, 0, bytes) != 0) {
        close(fd);
        return;
    }
    file.reserveFd = fd;
}

// Starts a muxer writing to sink.fd: "mp4" or "matroska".
bool newMuxer(Sink& sink, const char* format, bool seekable, std::string& error) {
    int code = avformat_alloc_output_context2(&sink.muxer, nullptr, format, nullptr);
    uint8_t* buffer = code >= 0 ? static_cast<uint8_t*>(av_malloc(ioBufferBytes)) : nullptr;
    if (buffer != nullptr)
        sink.io = avio_alloc_context(buffer, ioBufferBytes, 1, &sink, nullptr, writeBytes, seekable ? seekBytes : nullptr);
    if (sink.io == nullptr) {
        av_free(buffer);
        error = failureText("set up the muxer for", code < 0 ? code : AVERROR(ENOMEM));
        return false;
    }
    sink.muxer->pb = sink.io;
    sink.muxer->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
    sink.muxer->max_interleave_delta = interleaveMicroseconds;
    // The file's own name, where the muxer reads it back (an mp4's index
    // moved to the front).
    sink.muxer->url = av_strdup(("/proc/self/fd/" + std::to_string(sink.fd)).c_str());
    return true;
}

// The two streams of a sink, as the encoders describe them.
bool addStreams(Sink& sink, std::string& error) {
    EncodedFile& f = file;
    sink.videoStream = avformat_new_stream(sink.muxer, nullptr);
    if (sink.videoStream == nullptr || avcodec_parameters_from_context(sink.videoStream->codecpar, f.video) < 0) {
        error = failureText("add the video stream to", AVERROR(ENOMEM));
        return false;
    }
    sink.videoStream->time_base = f.video->time_base;
    sink.videoStream->avg_frame_rate = f.video->framerate;
    sink.audioStream = avformat_new_stream(sink.muxer, nullptr);
    if (sink.audioStream == nullptr || avcodec_parameters_from_context(sink.audioStream->codecpar, f.audio) < 0) {
        error = failureText("add the sound stream to", AVERROR(ENOMEM));
        return false;
    }
    sink.audioStream->time_base = f.audio->time_base;
    return true;
}

// Ends the fragment being gathered: from here on the fragmented file plays
// as far as it is written.
bool endFragment(std::string& error) {
    Sink& s = file.fragments;
    if (s.muxer == nullptr || s.givenUp) return true;
    std::lock_guard<std::timed_mutex> guard(playableLock);
    const int code = av_write_frame(s.muxer, nullptr);
    avio_flush(s.io);
    if (code < 0 || s.io->error < 0) {
        error = failureText("write", code < 0 ? code : s.io->error);
        return false;
    }
    if (!s.givenUp) s.playableBytes = s.bytes;
    return true;
}

// ---------------------------------------------------------------------------
// 3. Encoders

// Hands one packet (in the encoder's time base) to a sink's muxer, which
// takes it over.
bool muxPacket(Sink& sink, AVPacket* packet, bool picture, std::string& error) {
    AVStream* stream = picture ? sink.videoStream : sink.audioStream;
    av_packet_rescale_ts(packet, (picture ? file.video : file.audio)->time_base, stream->time_base);
    packet->stream_index = stream->index;
    const int code = av_interleaved_write_frame(sink.muxer, packet);
    if (code < 0 || file.writeErrno != 0) {
        error = failureText("write", code);
        return false;
    }
    if (picture) ++sink.videoPackets;
    return true;
}

// Hands the finished file what may go in now (see Sink::waitingSound);
// with all, everything that waits, as at the end of a complete capture.
// After a failed write it goes on, so that the sound of the pictures
// handed over still goes in; the first failure is the answer.
bool handOverWaiting(bool all, std::string& error) {
    const EncodedFile& f = file;
    Sink& s = file.whole;
    bool written = true;
    for (;;) {
        AVPacket* picture = s.waitingPictures.empty() ? nullptr : s.waitingPictures.front();
        AVPacket* sound = s.waitingSound.empty() ? nullptr : s.waitingSound.front();
        const bool pictureGoes =
            picture != nullptr &&
            (all || (s.soundEnd != AV_NOPTS_VALUE &&
                     av_compare_ts(s.soundEnd + soundFrameSamples, f.audio->time_base,
                                   picture->pts + picture->duration, f.video->time_base) >= 0));
        const bool soundGoes =
            !pictureGoes && sound != nullptr &&
            (all || (s.picturesEnd != AV_NOPTS_VALUE &&
                     av_compare_ts(sound->pts, f.audio->time_base, s.picturesEnd, f.video->time_base) < 0));
        if (!pictureGoes && !soundGoes) return written;
        AVPacket* packet = pictureGoes ? picture : sound;
        (pictureGoes ? s.waitingPictures : s.waitingSound).pop_front();
        if (pictureGoes)
            s.picturesEnd = s.picturesEnd == AV_NOPTS_VALUE ? packet->pts + packet->duration
                                                            : std::max(s.picturesEnd, packet->pts + packet->duration);
        std::string failure;
        if (!muxPacket(s, packet, pictureGoes, failure) && written) {
            error = failure;
            written = false;
        }
        av_packet_free(&packet);
    }
}

// Sends what the encoder has ready to the muxers.
bool writePackets(AVCodecContext* encoder, std::string& error) {
    EncodedFile& f = file;
    for (;;) {
        int code = avcodec_receive_packet(encoder, f.packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code < 0) {
            error = failureText("encode", code);
            return false;
        }
        // Every picture lasts one tick of the frame rate.
        const bool picture = encoder == f.video;
        if (picture) f.packet->duration = 1;
        Sink& fragments = f.fragments;
        if (fragments.muxer != nullptr) {
            AVPacket* copy = av_packet_clone(f.packet);
            if (copy == nullptr) {
                error = failureText("write", AVERROR(ENOMEM));
                return false;
            }
            if (!picture && fragments.soundWaits && fragments.videoPackets == 0) {
                fragments.heldSound.push_back(copy);
            } else {
                bool written = muxPacket(fragments, copy, picture, error);
                av_packet_free(&copy);
                for (AVPacket*& held : fragments.heldSound) {
                    written = written && muxPacket(fragments, held, false, error);
                    av_packet_free(&held);
                }
                fragments.heldSound.clear();
                if (!written) return false;
            }
        }
        Sink& whole = f.whole;
        if (whole.muxer != nullptr) {
            AVPacket* waiting = av_packet_alloc();
            if (waiting == nullptr) {
                error = failureText("write", AVERROR(ENOMEM));
                return false;
            }
            av_packet_move_ref(waiting, f.packet);
            if (!picture) whole.soundEnd = waiting->pts + waiting->duration;
            (picture ? whole.waitingPictures : whole.waitingSound).push_back(waiting);
            if (!handOverWaiting(false, error)) return false;
        }
        av_packet_unref(f.packet);
    }
}

bool sendToEncoder(AVCodecContext* encoder, const AVFrame* frame, std::string& error) {
    const int code = avcodec_send_frame(encoder, frame);
    if (code < 0) {
        error = failureText("encode", code);
        return false;
    }
    return writePackets(encoder, error);
}

AVCodecContext* newEncoder(const char* name, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    AVCodecContext* context = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    if (context == nullptr) error = std::string("cannot encode ") + file.path + ": no " + name + " encoder";
    return context;
}

// mp4: H.264 in yuv420p, BT.709 limited range, converted by swscale with
// the same matrix and range it is tagged with. mkv: FFV1 version 3 in its
// 8-bit RGB (B, G, R, 0 in memory), which keeps RGB exactly; every frame a
// key frame.
bool setUpVideo(const CaptureSettings& settings, std::string& error) {
    EncodedFile& f = file;
    const bool mp4 = settings.format == CaptureFormat::Mp4;
    f.video = newEncoder(mp4 ? "libx264" : "ffv1", error);
    if (f.video == nullptr) return false;
    AVCodecContext* c = f.video;
    const AVRational frameRate = av_d2q(settings.framesPerSecond, 1000000);
    c->width = settings.frameWidth * settings.scale;
    c->height = settings.frameHeight * settings.scale;
    c->sample_aspect_ratio = AVRational{1, 1};
    c->framerate = frameRate;
    c->time_base = av_inv_q(frameRate);
    c->flags |= AV_CODEC_FLAG_BITEXACT;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // both containers keep the codec's setup in their header
    if (mp4) {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->gop_size = std::max(1, static_cast<int>(settings.framesPerSecond * 2));  // a key frame every 2 s
        c->thread_count = 2;
        av_opt_set(c->priv_data, "preset", settings.preset.c_str(), 0);
        av_opt_set(c->priv_data, "crf", std::to_string(settings.crf).c_str(), 0);
        // x264 keeps every picture it looks ahead at, holds back for its
        // B-frames or works on in a thread, some 70 MB each at scale 8:
        // large pictures are encoded as they come.
        if (settings.scale > x264FullScaleMax) av_opt_set(c->priv_data, "x264-params", x264LargeParams, 0);
    } else {
        c->pix_fmt = AV_PIX_FMT_0RGB32;
        c->level = 3;
        c->gop_size = 1;
        // A fixed slice count keeps the bytes the same whatever the threads.
        c->thread_count = 2;
        av_opt_set_int(c->priv_data, "slices", 4, 0);
        av_opt_set_int(c->priv_data, "slicecrc", 1, 0);
    }
    int code = avcodec_open2(c, nullptr, nullptr);
    if (code < 0) {
        error = failureText("set up the video encoder for", code);
        return false;
    }
    f.picture = av_frame_alloc();
    if (f.picture == nullptr) return false;
    f.picture->format = c->pix_fmt;
    f.picture->width = c->width;
    f.picture->height = c->height;
    if ((code = av_frame_get_buffer(f.picture, 0)) < 0) {
        error = failureText("set up the video encoder for", code);
        return false;
    }
    if (mp4) {
        f.rgb.resize(static_cast<size_t>(c->width) * c->height * 3);
        // The same conversion from RGB and, for frames at their own size,
        // from RGBA as read: the alpha is not read, so both make the same
        // picture, without a packed copy of the frame first.
        const auto converter = [c](AVPixelFormat from) {
            SwsContext* sws = sws_getContext(c->width, c->height, from, c->width, c->height, AV_PIX_FMT_YUV420P,
                                             SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP | SWS_BITEXACT,
                                             nullptr, nullptr, nullptr);
            if (sws == nullptr) return sws;
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(sws, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
            return sws;
        };
        f.toYuv = converter(AV_PIX_FMT_RGB24);
        f.rgbaToYuv = settings.scale == 1 ? converter(AV_PIX_FMT_RGBA) : nullptr;
        if (f.toYuv == nullptr || (settings.scale == 1 && f.rgbaToYuv == nullptr)) {
            error = failureText("set up the colour conversion for", AVERROR(EINVAL));
            return false;
        }
    }
    return true;
}

// mp4: AAC at 192 kb/s from float planar samples. mkv: FLAC from the 16-bit
// samples as they are.
bool setUpAudio(const CaptureSettings& settings, std::string& error) {
    EncodedFile& f = file;
    const bool mp4 = settings.format == CaptureFormat::Mp4;
    f.audio = newEncoder(mp4 ? "aac" : "flac", error);
    if (f.audio == nullptr) return false;
    AVCodecContext* c = f.audio;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&c->ch_layout, &stereo);
    c->sample_rate = showMixRate;
    c->sample_fmt = mp4 ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    c->time_base = AVRational{1, showMixRate};
    c->flags |= AV_CODEC_FLAG_BITEXACT;
    if (mp4)
        c->bit_rate = aacBitsPerSecond;
    else
        c->frame_size = soundFrameSamples;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = avcodec_open2(c, nullptr, nullptr);
    if (code < 0) {
        error = failureText("set up the sound encoder for", code);
        return false;
    }
    code = swr_alloc_set_opts2(&f.toAudio, &c->ch_layout, c->sample_fmt, c->sample_rate, &stereo,
                               AV_SAMPLE_FMT_S16, showMixRate, 0, nullptr);
    if (code >= 0) code = swr_init(f.toAudio);
    if (code >= 0)
        code = av_samples_alloc_array_and_samples(&f.soundChunk, nullptr, 2, soundChunkFrames, c->sample_fmt, 0);
    f.soundFifo = av_audio_fifo_alloc(c->sample_fmt, 2, soundChunkFrames);
    f.sound = av_frame_alloc();
    if (code < 0 || f.soundFifo == nullptr || f.sound == nullptr) {
        error = failureText("set up the sound conversion for", code < 0 ? code : AVERROR(ENOMEM));
        return false;
    }
    return true;
}

// Encodes the waiting sound in frames of the encoder's size; with last, the
// rest as well, in a shorter frame (or padded with silence for an encoder
// that takes only whole frames).
bool encodeWaitingSound(bool last, std::string& error) {
    EncodedFile& f = file;
    AVCodecContext* c = f.audio;
    const int frameSize = c->frame_size > 0 ? c->frame_size : soundChunkFrames;
    const bool shortLastFrame = (c->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0 || c->frame_size == 0;
    for (;;) {
        const int waiting = av_audio_fifo_size(f.soundFifo);
        if (waiting == 0 || (waiting < frameSize && !last)) return true;
        const int take = std::min(waiting, frameSize);
        av_frame_unref(f.sound);
        f.sound->format = c->sample_fmt;
        f.sound->sample_rate = c->sample_rate;
        av_channel_layout_copy(&f.sound->ch_layout, &c->ch_layout);
        f.sound->nb_samples = shortLastFrame ? take : frameSize;
        int code = av_frame_get_buffer(f.sound, 0);
        if (code >= 0) code = av_audio_fifo_read(f.soundFifo, reinterpret_cast<void**>(f.sound->data), take);
        if (code < 0) {
            error = failureText("encode the sound of", code);
            return false;
        }
        if (take < f.sound->nb_samples)
            av_samples_set_silence(f.sound->data, take, f.sound->nb_samples - take, 2, c->sample_fmt);
        f.sound->pts = f.soundFramesEncoded;
        f.soundFramesEncoded += f.sound->nb_samples;
        if (!sendToEncoder(c, f.sound, error)) return false;
    }
}

// The pictures a file really holds, read back as a player reads it: the
// whole packets of its video stream.
int64_t picturesIn(const std::string& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return 0;
    int64_t pictures = 0;
    const int video = avformat_find_stream_info(input, nullptr) >= 0
                          ? av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                          : -1;
    AVPacket* packet = av_packet_alloc();
    while (video >= 0 && packet != nullptr && av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == video && !(packet->flags & AV_PKT_FLAG_CORRUPT)) ++pictures;
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return pictures;
}

// The finished file under the name asked for: replacing what is there only
// with force.
bool putInPlace(std::string& error) {
    EncodedFile& f = file;
    bool placed = false;
    if (f.whole.path.empty() && !f.force) {  // an unnamed file, linked in where nothing is
        const std::string self = "/proc/self/fd/" + std::to_string(f.whole.fd);
        placed = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, f.path.c_str(), AT_SYMLINK_FOLLOW) == 0;
    } else if (f.whole.path.empty()) {
        // Linked in under a hidden name of its own, then renamed over what
        // is there.
        const std::string self = "/proc/self/fd/" + std::to_string(f.whole.fd);
        const size_t slash = f.path.find_last_of('/');
        const std::string stem = directoryOf(f.path) + "/." + f.path.substr(slash == std::string::npos ? 0 : slash + 1);
        std::random_device random;
        std::string temporary;
        for (int attempt = 0; attempt < 100 && !placed; ++attempt) {
            temporary = stem + "." + std::to_string(random()) + ".new";
            placed = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0;
            if (!placed && errno != EEXIST) break;
        }
        if (placed && rename(temporary.c_str(), f.path.c_str()) != 0) {
            const int err = errno;
            unlink(temporary.c_str());
            errno = err;
            placed = false;
        }
    } else if (f.force) {
        placed = rename(f.whole.path.c_str(), f.path.c_str()) == 0;
    } else {
        placed = link(f.whole.path.c_str(), f.path.c_str()) == 0;
        if (placed) unlink(f.whole.path.c_str());
    }
    if (!placed) {
        error = errno == EEXIST ? f.path + " appeared meanwhile (give --force to overwrite it)" : writeErrorText(f.path, errno);
        return false;
    }
    // With the name in place, what the unnamed file had is a named file.
    f.whole.path = f.path;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. Open, frames, sound, close

namespace {

// Step 1 of opening: where the file goes. Straight into an output that
// cannot seek; else under NAME.part.EXT, locked against a second capture,
// never replacing a finished file (nor one a stopped capture left) without
// force. False with the error and nothing made.
bool claimPartFile(std::string& error) {
    EncodedFile& f = file;
    struct stat info {};
    const bool there = lstat(f.path.c_str(), &info) == 0;
    f.stream = there && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISSOCK(info.st_mode));
    if (f.stream) {
        // Opening a FIFO waits for its reader.
        f.partFd = open(f.path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        if (f.partFd < 0) error = "cannot write " + f.path + ": " + std::strerror(errno);
        return f.partFd >= 0;
    }
    if (!f.force && there) {
        error = f.path + " already exists (give --force to overwrite it)";
        return false;
    }
    const size_t dot = f.path.find_last_of('.');
    f.partPath = f.path.substr(0, dot) + ".part" + f.path.substr(dot);
    f.partFd = openNewFile(AT_FDCWD, f.partPath, O_RDWR);
    if (f.partFd < 0 && errno == EEXIST) {
        // Something has the name: the file of a capture that writes it (its
        // lock says so), of one that was stopped, or anything else, a link
        // included, which is not opened through.
        const int old = open(f.partPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat oldInfo {};
        const bool regular = old >= 0 && fstat(old, &oldInfo) == 0 && S_ISREG(oldInfo.st_mode);
        const bool locked = regular && !lockForCapture(old);
        if (old >= 0) close(old);
        if (locked) {
            error = "another capture is writing " + f.path + " (through " + f.partPath + ")";
            return false;
        }
        if (!f.force) {
            error = f.partPath + (regular ? " already exists, left by a capture that was stopped" : " already exists") +
                    " (give --force to overwrite it)";
            return false;
        }
        f.partFd = replaceWithNewFile(AT_FDCWD, f.partPath, O_RDWR);
    }
    if (f.partFd < 0) {
        error = "cannot write " + f.path + ": " + std::strerror(errno);
        return false;
    }
    if (!lockForCapture(f.partFd)) {
        error = "another capture is writing " + f.path + " (through " + f.partPath + ")";
        close(f.partFd);
        f.partFd = -1;
        return false;
    }
    return true;
}

// Step 2 of opening: the sinks. An mkv is its part file; an mp4 is the
// fragmented part file and an unnamed file beside it that becomes the
// finished one.
bool openSinks(bool mp4, std::string& error) {
    EncodedFile& f = file;
    if (!mp4) {
        f.whole.fd = f.partFd;
        f.whole.path = f.partPath;  // none for an output that cannot seek: it is not ours
        const bool ready = newMuxer(f.whole, "matroska", !f.stream, error);
        if (!f.stream) setRoomAside(reserveBytes);
        return ready;
    }
    f.fragments.fd = f.partFd;
    f.fragments.path = f.partPath;
    f.fragments.fragmented = true;
    if (!newMuxer(f.fragments, "mp4", !f.stream, error)) return false;
    if (f.stream) return true;
    const std::string dir = directoryOf(f.path);
    f.whole.fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (f.whole.fd < 0) {
        // Where unnamed files are not supported, a hidden name of its own.
        const size_t slash = f.path.find_last_of('/');
        std::string name = dir + "/." + f.path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
        f.whole.fd = mkostemp(name.data(), O_CLOEXEC);
        if (f.whole.fd >= 0) f.whole.path = name;
    }
    if (f.whole.fd < 0) {
        error = "cannot write " + f.path + ": " + std::strerror(errno);
        return false;
    }
    return newMuxer(f.whole, "mp4", true, error);
}

// Step 3 of opening: the two encoders, the streams and the headers.
bool startEncoding(const CaptureSettings& settings, bool mp4, std::string& error) {
    EncodedFile& f = file;
    f.packet = av_packet_alloc();
    if (f.packet == nullptr || !setUpVideo(settings, error) || !setUpAudio(settings, error)) return false;
    f.fragments.soundWaits = f.video->has_b_frames * av_q2d(f.video->time_base) >
                             static_cast<double>(f.audio->initial_padding) / showMixRate;
    for (Sink* sink : {&f.fragments, &f.whole}) {
        if (sink->muxer == nullptr) continue;
        if (!addStreams(*sink, error)) return false;
        AVDictionary* options = nullptr;
        if (!mp4) {
            av_dict_set_int(&options, "cluster_size_limit", clusterBytes, 0);
            av_dict_set_int(&options, "cluster_time_limit", clusterMilliseconds, 0);
        } else if (sink->fragmented) {
            av_dict_set(&options, "movflags", "frag_custom+empty_moov+default_base_moof", 0);
        } else {
            av_dict_set(&options, "movflags", "faststart", 0);
        }
        const int code = avformat_write_header(sink->muxer, &options);
        av_dict_free(&options);
        if (code < 0) {
            error = failureText("write the header of", code);
            return false;
        }
        if (sink->fragmented) {
            avio_flush(sink->io);
            sink->playableBytes = sink->bytes;
        }
    }
    return true;
}

}  // namespace

bool openEncodedFile(const CaptureSettings& settings, std::string& error) {
    EncodedFile& f = file;
    av_log_set_callback(keepLoggedError);
    {
        std::lock_guard<std::mutex> guard(logLock);
        lastLoggedError.clear();
    }
    f.path = settings.path;
    f.format = settings.format;
    f.scale = settings.scale;
    f.framesPerSecond = settings.framesPerSecond;
    f.force = settings.force;
    const bool mp4 = settings.format == CaptureFormat::Mp4;

    // 1. Where it goes; nothing is made when that fails.
    if (!claimPartFile(error)) {
        if (f.partFd >= 0) close(f.partFd);
        f = EncodedFile{};
        return false;
    }
    // 2. The sinks, then 3. the encoders and the headers; a failure in
    //    either removes what was made.
    if (!openSinks(mp4, error) || !startEncoding(settings, mp4, error)) {
        if (error.empty()) error = failureText("set up", AVERROR(ENOMEM));
        freeAll(!f.stream);
        return false;
    }
    return true;
}

bool encodeFrame(const FrameView& frame, int64_t frameNumber, std::string& error) {
    EncodedFile& f = file;
    int code = av_frame_make_writable(f.picture);
    if (code < 0) {
        error = failureText("encode", code);
        return false;
    }
    if (f.format == CaptureFormat::Mp4 && f.rgbaToYuv != nullptr && frame.bytesPerPixel == 4) {
        // Bottom row first: read from the last row up.
        const int rowBytes = frame.width * 4;
        const uint8_t* planes[1] = {frame.pixels + static_cast<ptrdiff_t>(frame.height - 1) * rowBytes};
        const int strides[1] = {-rowBytes};
        sws_scale(f.rgbaToYuv, planes, strides, 0, frame.height, f.picture->data, f.picture->linesize);
    } else if (f.format == CaptureFormat::Mp4) {
        const int rowBytes = f.picture->width * 3;
        flipAndScale(frame, f.scale, PackedPixels::Rgb, f.rgb.data(), rowBytes);
        const uint8_t* planes[1] = {f.rgb.data()};
        sws_scale(f.toYuv, planes, &rowBytes, 0, f.picture->height, f.picture->data, f.picture->linesize);
    } else {
        flipAndScale(frame, f.scale, PackedPixels::Bgr0, f.picture->data[0], f.picture->linesize[0]);
    }
    // Frame n of the file shows from tick n - 1 on.
    f.picture->pts = frameNumber - 1;
    f.framesEncoded = frameNumber;
    if (!sendToEncoder(f.video, f.picture, error)) return false;
    // A fragment about every second of pictures.
    const auto second = [&](int64_t frames) { return std::floor(static_cast<double>(frames) / f.framesPerSecond); };
    return second(f.framesEncoded) == second(f.framesEncoded - 1) || endFragment(error);
}

bool encodeSound(const int16_t* frames, int frameCount, std::string& error) {
    EncodedFile& f = file;
    while (frameCount > 0) {
        const int take = std::min(frameCount, soundChunkFrames);
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(frames)};
        const int converted = swr_convert(f.toAudio, f.soundChunk, soundChunkFrames, in, take);
        const int code = converted < 0 ? converted
                                       : av_audio_fifo_write(f.soundFifo, reinterpret_cast<void**>(f.soundChunk),
                                                             converted);
        if (code < 0) {
            error = failureText("encode the sound of", code);
            return false;
        }
        frames += static_cast<size_t>(take) * 2;
        frameCount -= take;
        if (!encodeWaitingSound(false, error)) return false;
    }
    return true;
}

namespace {

// Step 2 of closing: the chapters in frame ticks, each ending where the
// next begins, the last at `lastFrame`; the fragmented file has none.
void addChapters(const std::vector<Chapter>& chapters, int64_t lastFrame) {
    EncodedFile& f = file;
    AVFormatContext* muxer = f.whole.muxer;
    if (muxer == nullptr) return;
    AVChapter** list = static_cast<AVChapter**>(av_calloc(chapters.size(), sizeof(AVChapter*)));
    for (size_t i = 0; list != nullptr && i < chapters.size() && chapters[i].firstFrame <= lastFrame; ++i) {
        AVChapter* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) break;
        chapter->id = static_cast<int64_t>(i) + 1;
        chapter->time_base = f.video->time_base;
        chapter->start = chapters[i].firstFrame - 1;
        chapter->end = i + 1 < chapters.size() ? std::min(chapters[i + 1].firstFrame - 1, lastFrame) : lastFrame;
        av_dict_set(&chapter->metadata, "title", chapters[i].title.c_str(), 0);
        list[i] = chapter;
        muxer->chapters = list;  // the muxer's context frees the list and what it holds
        muxer->nb_chapters = static_cast<unsigned>(i) + 1;
    }
    if (muxer->chapters != list) av_free(list);
}

// Step 3 of closing: the indexes, even after a failure: the fragmented
// file's last fragment, then the finished file's index (put in front), and
// both on disk. Whether the finished file is whole; `closed` and the error
// say the first failure.
bool writeIndexes(bool& closed, std::string& error) {
    EncodedFile& f = file;
    if (f.fragments.muxer != nullptr) {
        std::lock_guard<std::timed_mutex> guard(playableLock);
        const int code = av_write_trailer(f.fragments.muxer);
        avio_flush(f.fragments.io);
        if (code < 0 && closed) {
            error = failureText("finish", code);
            closed = false;
        }
        if (!f.fragments.givenUp) f.fragments.playableBytes = f.fragments.bytes;
    }
    bool wholeFinished = false;
    if (f.whole.muxer != nullptr) {
        const int code = av_write_trailer(f.whole.muxer);
        avio_flush(f.whole.io);
        wholeFinished = code >= 0 && !f.whole.broken;
        if (code < 0 && closed) {
            error = failureText("finish", code);
            closed = false;
        }
    }
    if (f.writeErrno != 0 && closed) {
        error = writeErrorText(f.path, f.writeErrno);
        closed = false;
    }
    if (!f.stream && f.whole.fd >= 0 && fsync(f.whole.fd) != 0 && closed) {
        error = writeErrorText(f.path, errno);
        wholeFinished = closed = false;
    }
    return wholeFinished;
}

// Step 4 of closing: where it stays. A file that plays goes into place,
// with as many frames as it really holds; a finished file that would hold
// none goes, and what was there before stays.
CaptureKept keepWhatPlays(bool complete, bool wholeFinished, bool& closed, std::string& error) {
    EncodedFile& f = file;
    CaptureKept kept;
    const bool exact = complete && closed;
    if (f.stream) {
        kept = {exact ? f.framesEncoded : (f.format == CaptureFormat::Mp4 ? f.fragments : f.whole).videoPackets, f.path};
    } else if (wholeFinished) {
        const int64_t frames = exact ? f.whole.videoPackets : picturesIn("/proc/self/fd/" + std::to_string(f.whole.fd));
        std::string placeError;
        if (frames > 0 && putInPlace(placeError)) {
            kept = {frames, f.path};
            if (f.format == CaptureFormat::Mp4) unlink(f.partPath.c_str());
        } else if (frames > 0) {
            if (closed) error = placeError;
            closed = false;
            kept = {frames, f.whole.path};
        }
    } else if (f.fragments.muxer != nullptr && !f.fragments.removed) {
        // The finished file failed: the fragmented one stays under its own
        // name, cut after its last whole fragment.
        [[maybe_unused]] const int cut = ftruncate(f.fragments.fd, f.fragments.playableBytes);
        kept = {picturesIn(f.partPath), f.partPath};
    } else if (f.format == CaptureFormat::Mkv) {
        kept = {picturesIn(f.partPath), f.partPath};
    }
    if (kept.frames == 0) kept.path.clear();
    return kept;
}

// Step 5 of closing: read back, the name kept still holds this file,
// unless its folder or the file was removed meanwhile, which loses it;
// nothing else under our names is then ours to remove.
void checkKeptName(CaptureKept& kept, bool& closed, std::string& error) {
    EncodedFile& f = file;
    struct stat named {}, written {};
    const int keptFd = kept.path == f.partPath ? f.partFd : f.whole.fd;
    if (!f.stream && !kept.path.empty() &&
        (stat(kept.path.c_str(), &named) != 0 || fstat(keptFd, &written) != 0 || named.st_dev != written.st_dev ||
         named.st_ino != written.st_ino)) {
        if (closed) error = kept.path + " was removed while the capture ran";
        closed = false;
        kept = CaptureKept{};
    } else {
        if (!f.stream && kept.path != f.partPath) unlink(f.partPath.c_str());
        if (!f.whole.path.empty() && kept.path != f.whole.path) unlink(f.whole.path.c_str());
    }
}

}  // namespace

bool closeEncodedFile(bool complete, const std::vector<Chapter>& chapters, std::string& error, CaptureKept& kept) {
    EncodedFile& f = file;
    bool closed = true;

    // 1. What the encoders still hold: the rest of the sound, then the
    //    delayed packets of both, and all that waits for the finished
    //    file. After a failure what waits stays out: the file ends with
    //    the last picture it has.
    if (complete)
        closed = encodeWaitingSound(true, error) && sendToEncoder(f.audio, nullptr, error) &&
                 sendToEncoder(f.video, nullptr, error) && handOverWaiting(true, error);

    // 2. The chapters, the last ending at the last frame the file holds
    //    (after a failure the encoder's delayed frames never reach it).
    addChapters(chapters, complete && closed ? f.framesEncoded : std::min(f.framesEncoded, f.whole.videoPackets));

    // 3. The indexes; 4. the file kept; 5. its name read back.
    const bool wholeFinished = writeIndexes(closed, error);
    kept = keepWhatPlays(complete, wholeFinished, closed, error);
    checkKeptName(kept, closed, error);
    freeAll(false);
    return closed;
}

bool holdFilePlayable(std::chrono::milliseconds limit) {
    return playableLock.try_lock_for(limit);
}

}  // namespace platform::encode
