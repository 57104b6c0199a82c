// Encoded capture files through FFmpeg: mp4 (H.264 by x264 + AAC) and mkv
// (FFV1 + FLAC, bit-exact: the same input gives the same bytes).
//
// The file is written through our own descriptor rather than FFmpeg's file
// protocol, so that a full disk is seen where it happens: at open some room
// is set aside in an unnamed file beside the output, and the first write
// that finds the disk full gives that room back and goes on. The capture
// then fails, but the rest of the encoded data, the chapters and the index
// (which an mp4 cannot be played without) still fit.
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
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
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

namespace platform::capture {

namespace {

// ---------------------------------------------------------------------------
// 1. State and clean-up

constexpr int ioBufferBytes = 1 << 16;
// What may still have to be written once the disk is full: the index and
// the chapters of a long capture (an mp4 index takes about 20 bytes a frame,
// some 0.5 MB for five minutes at 60 frames a second), the rest of the
// Matroska cluster being written, the cluster still being gathered (each at
// most clusterBytes plus one frame), and the pictures the muxer holds back
// until the sound of their time has come (one sound frame's worth). The
// room set aside is reserveBaseBytes plus that many raw frames and
// reserveSpareFrames more.
constexpr off_t reserveBaseBytes = 8 << 20;
constexpr int reserveSpareFrames = 4;
constexpr int soundFrameSamples = 1024;    // AAC's size, and FLAC's here
constexpr int clusterBytes = 1 << 20;
constexpr int clusterMilliseconds = 1000;
constexpr int64_t interleaveMicroseconds = 1000000;  // sound and pictures at most this far apart
constexpr int soundChunkFrames = 4096;     // stereo frames converted at a time
constexpr const char* x264Preset = "veryfast";
constexpr const char* x264Crf = "18";      // visually lossless
constexpr int64_t aacBitsPerSecond = 192000;

struct EncodedFile {
    std::string path;
    CaptureFormat format = CaptureFormat::Mp4;
    int scale = 1;
    int fd = -1;
    int reserveFd = -1;                    // the room set aside; -1 once given back
    int writeErrno = 0;                    // first failed write, 0 when none

    AVFormatContext* muxer = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    SwsContext* toYuv = nullptr;           // mp4 only
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

// Frees everything; with removeFile, the output is deleted as well (open
// failed after creating it).
void freeAll(bool removeFile) {
    EncodedFile& f = file;
    sws_freeContext(f.toYuv);
    swr_free(&f.toAudio);
    if (f.soundFifo != nullptr) av_audio_fifo_free(f.soundFifo);
    if (f.soundChunk != nullptr) av_freep(&f.soundChunk[0]);
    av_freep(&f.soundChunk);
    av_frame_free(&f.picture);
    av_frame_free(&f.sound);
    av_packet_free(&f.packet);
    avcodec_free_context(&f.video);
    avcodec_free_context(&f.audio);
    avformat_free_context(f.muxer);
    if (f.io != nullptr) av_freep(&f.io->buffer);
    avio_context_free(&f.io);
    if (f.reserveFd >= 0) close(f.reserveFd);
    if (f.fd >= 0) close(f.fd);
    if (removeFile) unlink(f.path.c_str());
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

#if LIBAVFORMAT_VERSION_MAJOR >= 61
int writeBytes(void*, const uint8_t* bytes, int count) {
#else
int writeBytes(void*, uint8_t* bytes, int count) {
#endif
    EncodedFile& f = file;
    int left = count;
    while (left > 0) {
        const ssize_t written = write(f.fd, bytes, static_cast<size_t>(left));
        if (written > 0) {
            bytes += written;
            left -= static_cast<int>(written);
            continue;
        }
        const int err = written < 0 ? errno : ENOSPC;
        if (err == EINTR) continue;
        if (f.writeErrno == 0) f.writeErrno = err;
        if ((err == ENOSPC || err == EDQUOT) && f.reserveFd >= 0) {
            close(f.reserveFd);
            f.reserveFd = -1;
            continue;
        }
        return AVERROR(err);
    }
    return count;
}

int64_t seekBytes(void*, int64_t offset, int whence) {
    struct stat info {};
    if (whence & AVSEEK_SIZE) return fstat(file.fd, &info) == 0 ? int64_t(info.st_size) : AVERROR(errno);
    const off_t at = lseek(file.fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

// An unnamed file of `bytes` in the output's directory. False only when
// the disk has not even that much room; where unnamed files or allocation
// are not supported the capture goes on without the reserve.
bool setRoomAside(off_t bytes, std::string& error) {
    const size_t slash = file.path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.path.substr(0, slash);
    int fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = dir + "/.capture-reserve-XXXXXX";
        fd = mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) unlink(name.c_str());
    }
    if (fd < 0) return true;
    const int err = posix_fallocate(fd, 0, bytes);
    if (err == ENOSPC || err == EDQUOT) {
        close(fd);
        error = writeErrorText(file.path, err);
        return false;
    }
    if (err != 0) {
        close(fd);
        return true;
    }
    file.reserveFd = fd;
    return true;
}

// ---------------------------------------------------------------------------
// 3. Encoders

// Sends what the encoder has ready to the muxer.
bool writePackets(AVCodecContext* encoder, AVStream* stream, std::string& error) {
    EncodedFile& f = file;
    for (;;) {
        int code = avcodec_receive_packet(encoder, f.packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return true;
        if (code < 0) {
            error = failureText("encode", code);
            return false;
        }
        // Every picture lasts one tick of the frame rate.
        if (encoder == f.video) f.packet->duration = 1;
        av_packet_rescale_ts(f.packet, encoder->time_base, stream->time_base);
        f.packet->stream_index = stream->index;
        code = av_interleaved_write_frame(f.muxer, f.packet);
        if (code < 0 || f.writeErrno != 0) {
            error = failureText("write", code);
            return false;
        }
    }
}

bool sendToEncoder(AVCodecContext* encoder, AVStream* stream, const AVFrame* frame, std::string& error) {
    const int code = avcodec_send_frame(encoder, frame);
    if (code < 0) {
        error = failureText("encode", code);
        return false;
    }
    return writePackets(encoder, stream, error);
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
    if (f.muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (mp4) {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_BT709;
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_BT709;
        c->gop_size = std::max(1, static_cast<int>(settings.framesPerSecond * 2));  // a key frame every 2 s
        c->thread_count = 2;
        av_opt_set(c->priv_data, "preset", x264Preset, 0);
        av_opt_set(c->priv_data, "crf", x264Crf, 0);
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
    f.videoStream = avformat_new_stream(f.muxer, nullptr);
    if (f.videoStream == nullptr || avcodec_parameters_from_context(f.videoStream->codecpar, c) < 0) {
        error = failureText("add the video stream to", AVERROR(ENOMEM));
        return false;
    }
    f.videoStream->time_base = c->time_base;
    f.videoStream->avg_frame_rate = frameRate;

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
        f.toYuv = sws_getContext(c->width, c->height, AV_PIX_FMT_RGB24, c->width, c->height, AV_PIX_FMT_YUV420P,
                                 SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP | SWS_BITEXACT, nullptr,
                                 nullptr, nullptr);
        if (f.toYuv == nullptr) {
            error = failureText("set up the colour conversion for", AVERROR(EINVAL));
            return false;
        }
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(f.toYuv, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
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
    c->sample_rate = captureSampleRate;
    c->sample_fmt = mp4 ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
    c->time_base = AVRational{1, captureSampleRate};
    c->flags |= AV_CODEC_FLAG_BITEXACT;
    if (mp4)
        c->bit_rate = aacBitsPerSecond;
    else
        c->frame_size = soundFrameSamples;
    if (f.muxer->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int code = avcodec_open2(c, nullptr, nullptr);
    if (code < 0) {
        error = failureText("set up the sound encoder for", code);
        return false;
    }
    f.audioStream = avformat_new_stream(f.muxer, nullptr);
    if (f.audioStream == nullptr || avcodec_parameters_from_context(f.audioStream->codecpar, c) < 0) {
        error = failureText("add the sound stream to", AVERROR(ENOMEM));
        return false;
    }
    f.audioStream->time_base = c->time_base;

    code = swr_alloc_set_opts2(&f.toAudio, &c->ch_layout, c->sample_fmt, c->sample_rate, &stereo,
                               AV_SAMPLE_FMT_S16, captureSampleRate, 0, nullptr);
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
        if (!sendToEncoder(c, f.audioStream, f.sound, error)) return false;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. Open, frames, sound, close

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

    // 1. The file, never replacing one without force.
    const int exclusive = settings.force ? O_TRUNC : O_EXCL;
    f.fd = open(f.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | exclusive, 0666);
    if (f.fd < 0) {
        const int err = errno;
        error = err == EEXIST ? f.path + " already exists (give --force to overwrite it)" : "cannot write " + f.path + ": " + std::strerror(err);
        f = EncodedFile{};
        return false;
    }

    // 2. Room for the end of the file, the muxer writing through our
    //    descriptor, the two encoders and the header.
    const off_t frameBytes = off_t(settings.frameWidth) * settings.frameHeight * settings.scale * settings.scale * 3;
    const int heldFrames =
        static_cast<int>(std::ceil(settings.framesPerSecond * soundFrameSamples / captureSampleRate)) + reserveSpareFrames;
    bool ready = setRoomAside(reserveBaseBytes + heldFrames * frameBytes, error);
    int code = 0;
    if (ready) {
        code = avformat_alloc_output_context2(&f.muxer, nullptr,
                                              settings.format == CaptureFormat::Mp4 ? "mp4" : "matroska", nullptr);
        uint8_t* buffer = code >= 0 ? static_cast<uint8_t*>(av_malloc(ioBufferBytes)) : nullptr;
        if (buffer != nullptr) f.io = avio_alloc_context(buffer, ioBufferBytes, 1, nullptr, nullptr, writeBytes, seekBytes);
        if (f.io == nullptr) {
            av_free(buffer);
            error = failureText("set up the muxer for", code < 0 ? code : AVERROR(ENOMEM));
            ready = false;
        }
    }
    if (ready) {
        f.muxer->pb = f.io;
        f.muxer->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_BITEXACT;
        f.muxer->max_interleave_delta = interleaveMicroseconds;
        f.muxer->url = av_strdup(f.path.c_str());
        f.packet = av_packet_alloc();
        ready = f.packet != nullptr && setUpVideo(settings, error) && setUpAudio(settings, error);
    }
    if (ready) {
        AVDictionary* options = nullptr;
        if (settings.format == CaptureFormat::Mkv) {
            av_dict_set_int(&options, "cluster_size_limit", clusterBytes, 0);
            av_dict_set_int(&options, "cluster_time_limit", clusterMilliseconds, 0);
        }
        code = avformat_write_header(f.muxer, &options);
        av_dict_free(&options);
        if (code < 0) {
            error = failureText("write the header of", code);
            ready = false;
        }
    }
    if (!ready) {
        if (error.empty()) error = failureText("set up", AVERROR(ENOMEM));
        freeAll(true);
        return false;
    }
    return true;
}

bool encodeFrame(const FrameView& frame, std::string& error) {
    EncodedFile& f = file;
    int code = av_frame_make_writable(f.picture);
    if (code < 0) {
        error = failureText("encode", code);
        return false;
    }
    if (f.format == CaptureFormat::Mp4) {
        const int rowBytes = f.picture->width * 3;
        flipAndScale(frame, f.scale, PackedPixels::Rgb, f.rgb.data(), rowBytes);
        const uint8_t* planes[1] = {f.rgb.data()};
        sws_scale(f.toYuv, planes, &rowBytes, 0, f.picture->height, f.picture->data, f.picture->linesize);
    } else {
        flipAndScale(frame, f.scale, PackedPixels::Bgr0, f.picture->data[0], f.picture->linesize[0]);
    }
    f.picture->pts = f.framesEncoded++;
    return sendToEncoder(f.video, f.videoStream, f.picture, error);
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

bool closeEncodedFile(bool complete, const std::vector<Chapter>& chapters, std::string& error) {
    EncodedFile& f = file;
    bool closed = true;

    // 1. What the encoders still hold: the rest of the sound, then the
    //    delayed packets of both.
    if (complete)
        closed = encodeWaitingSound(true, error) && sendToEncoder(f.audio, f.audioStream, nullptr, error) &&
                 sendToEncoder(f.video, f.videoStream, nullptr, error);

    // 2. The chapters in frame ticks, each ending where the next begins,
    //    the last at the last frame.
    AVChapter** list = static_cast<AVChapter**>(av_calloc(chapters.size(), sizeof(AVChapter*)));
    for (size_t i = 0; list != nullptr && i < chapters.size(); ++i) {
        AVChapter* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) break;
        chapter->id = static_cast<int64_t>(i) + 1;
        chapter->time_base = f.video->time_base;
        chapter->start = chapters[i].firstFrame - 1;
        chapter->end = i + 1 < chapters.size() ? chapters[i + 1].firstFrame - 1 : f.framesEncoded;
        av_dict_set(&chapter->metadata, "title", chapters[i].title.c_str(), 0);
        list[i] = chapter;
        f.muxer->chapters = list;  // the muxer's context frees the list and what it holds
        f.muxer->nb_chapters = static_cast<unsigned>(i) + 1;
    }
    if (f.muxer->chapters != list) av_free(list);

    // 3. The index, even after a failure, then the file itself.
    const int code = av_write_trailer(f.muxer);
    if (code < 0 && closed) {
        error = failureText("finish", code);
        closed = false;
    }
    if (f.io != nullptr) avio_flush(f.io);
    if (f.writeErrno != 0 && closed) {
        error = writeErrorText(f.path, f.writeErrno);
        closed = false;
    }
    if (close(f.fd) != 0 && closed) {
        error = writeErrorText(f.path, errno);
        closed = false;
    }
    f.fd = -1;
    freeAll(false);
    return closed;
}

}  // namespace platform::capture
