// Frame directories: frame-000001.png, frame-000002.png, ... (8-bit RGB,
// fast compression) and audio.wav (16-bit stereo PCM at 44100 Hz).
//
// A frame is written under a temporary name and renamed when complete, so a
// full disk never leaves a cut picture behind. Every file is made new
// through the folder's descriptor and never through a link: whatever is in
// a name's way (a file, a link, a pipe) is removed as a name with force and
// is an error that names it without. audio.wav is written as the
// sound comes, its lengths brought up to date about every second of sound
// and at close to what reached the disk: the folder of a capture that was
// killed holds whole frames and a valid audio.wav of what was rendered.
//
// Sections:
//   1. State
//   2. PNG files
//   3. The WAV file
//   4. Open, frames, sound, close
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/encode/encode.h"

namespace platform::encode {

namespace {

// ---------------------------------------------------------------------------
// 1. State

constexpr int pngCompressionLevel = 2;    // zlib 0..9: fast, and flat graphics still pack well
constexpr int wavHeaderBytes = 44;
constexpr int wavFrameBytes = 4;          // one stereo frame of two 16-bit samples

struct FrameDirectory {
    std::string path;                     // without a trailing '/'
    bool made = false;                    // the directory was made by this capture
    int lockFd = -1;                      // the directory, locked against a second capture; files are made through it
    int scale = 1;
    bool force = false;
    std::vector<uint8_t> rgb;             // one frame top row first and enlarged
    int64_t framesWritten = 0;
    int wavFd = -1;
    uint64_t wavDataBytes = 0;            // sound bytes that reached audio.wav
    uint64_t wavHeaderSecond = 0;         // the second of sound the header last told
    int wavErrno = 0;                     // first failed write to audio.wav
};

FrameDirectory directory;

constexpr const char* wavName = "audio.wav";

std::string frameName(int64_t number) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(number));
    return name;
}

std::string pathOf(const std::string& name) {
    return directory.path + "/" + name;
}

bool exists(const std::string& name) {
    struct stat info {};
    return fstatat(directory.lockFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// The number of a "frame-NNNNNN.png" name, or of the "frame-NNNNNN.png.part"
// a capture killed mid-frame left; 0 for any other name.
int64_t frameNumberOf(const char* name) {
    long long number = 0;
    int length = 0;
    if (std::sscanf(name, "frame-%6lld.png%n", &number, &length) != 1 || length != 16) return 0;
    return name[16] == '\0' || std::strcmp(name + 16, ".part") == 0 ? number : 0;
}

// The names of the frames (and cut frames) in the directory whose number is
// above `after`, read through `folder`.
std::vector<std::string> framesAbove(int folder, int64_t after) {
    std::vector<std::string> names;
    const int listed = folder >= 0 ? dup(folder) : -1;
    DIR* dir = listed >= 0 ? fdopendir(listed) : nullptr;
    if (dir == nullptr) {
        if (listed >= 0) close(listed);
        return names;
    }
    while (const dirent* entry = readdir(dir))
        if (frameNumberOf(entry->d_name) > after) names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

// A new file under name in the directory, open for writing, never through a
// link. Whatever has the name already is removed as a name first when force
// is on (a directory is not); without force that is an error naming it.
// -1 with one line in error.
int createFile(const std::string& name, bool force, std::string& error) {
    int fd = openNewFile(directory.lockFd, name, O_WRONLY);
    if (fd < 0 && errno == EEXIST && force) fd = replaceWithNewFile(directory.lockFd, name, O_WRONLY);
    if (fd < 0)
        error = errno == EEXIST ? pathOf(name) + " already exists (give --force to overwrite it)"
                                : writeErrorText(pathOf(name), errno);
    return fd;
}

// ---------------------------------------------------------------------------
// 2. PNG files

struct PngSink {
    std::FILE* file = nullptr;
    int writeErrno = 0;
    char message[128] = {};               // libpng's own, when it failed
};

void pngWrite(png_structp png, png_bytep bytes, size_t count) {
    PngSink* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    if (std::fwrite(bytes, 1, count, sink->file) != count) {
        sink->writeErrno = errno != 0 ? errno : EIO;
        png_error(png, "write failed");
    }
}

// libpng's errors end the picture and are reported by the capture once;
// its warnings are not about anything the caller can change.
void pngFailed(png_structp png, png_const_charp message) {
    PngSink* sink = static_cast<PngSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void pngWarned(png_structp, png_const_charp) {}

void pngFlush(png_structp) {}

// libpng reports its errors by a long jump back here; nothing with a
// destructor lives in this function for the jump to skip.
bool writePng(PngSink& sink, const uint8_t* rgb, int width, int height) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, pngFailed, pngWarned);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &sink, pngWrite, pngFlush);
    png_set_compression_level(png, pngCompressionLevel);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) png_write_row(png, rgb + static_cast<size_t>(y) * width * 3);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ---------------------------------------------------------------------------
// 3. The WAV file

void put16(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void put32(uint8_t* at, uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

// The canonical 44-byte header of a PCM file holding dataBytes of sound.
void wavHeader(uint8_t* header, uint32_t dataBytes) {
    std::memcpy(header, "RIFF", 4);
    put32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(header + 16, 16);                                  // fmt chunk size
    put16(header + 20, 1);                                   // PCM
    put16(header + 22, 2);                                   // channels
    put32(header + 24, showMixRate);
    put32(header + 28, showMixRate * wavFrameBytes);   // bytes a second
    put16(header + 32, wavFrameBytes);                       // block align
    put16(header + 34, 16);                                  // bits a sample
    std::memcpy(header + 36, "data", 4);
    put32(header + 40, dataBytes);
}

// Writes all bytes, counting what reached the file; false with errno.
bool writeAll(int fd, const uint8_t* bytes, size_t count, uint64_t& written) {
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        bytes += n;
        count -= static_cast<size_t>(n);
        written += static_cast<uint64_t>(n);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. Open, frames, sound, close

bool openFrameDirectory(const CaptureSettings& settings, std::string& error) {
    FrameDirectory& d = directory;
    d = FrameDirectory{};
    d.path = settings.path;
    while (d.path.size() > 1 && d.path.back() == '/') d.path.pop_back();
    d.scale = settings.scale;
    d.force = settings.force;

    // 1. Nothing of an earlier capture is replaced without force: no frame
    //    of any number, cut or whole, no audio.wav.
    if (!settings.force) {
        d.lockFd = open(d.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::vector<std::string> earlier = framesAbove(d.lockFd, 0);
        if (d.lockFd >= 0 && exists(wavName)) earlier.insert(earlier.begin(), wavName);
        if (d.lockFd >= 0) close(d.lockFd);
        d.lockFd = -1;
        if (!earlier.empty()) {
            error = pathOf(earlier.front()) + " already exists (give --force to overwrite it)";
            d = FrameDirectory{};
            return false;
        }
    }

    // 2. The directory, made when missing (its parent must exist).
    struct stat info {};
    d.made = mkdir(d.path.c_str(), 0777) == 0;
    if (!d.made) {
        const int err = errno;
        if (err != EEXIST || stat(d.path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = "cannot make directory " + d.path + ": " + std::strerror(err == EEXIST ? ENOTDIR : err);
            d = FrameDirectory{};
            return false;
        }
    }
    d.lockFd = open(d.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d.lockFd < 0 || !lockForCapture(d.lockFd)) {
        error = d.lockFd < 0 ? writeErrorText(d.path, errno) : "another capture is writing " + d.path;
        if (d.lockFd >= 0) close(d.lockFd);
        if (d.made) rmdir(d.path.c_str());
        d = FrameDirectory{};
        return false;
    }

    // 3. audio.wav, new, with a header for no sound yet, which proves the
    //    directory writable.
    d.wavFd = createFile(wavName, settings.force, error);
    uint8_t header[wavHeaderBytes];
    wavHeader(header, 0);
    uint64_t headerWritten = 0;
    if (d.wavFd < 0 || !writeAll(d.wavFd, header, sizeof header, headerWritten)) {
        if (d.wavFd >= 0) {
            error = writeErrorText(pathOf(wavName), errno);
            close(d.wavFd);
            unlinkat(d.lockFd, wavName, 0);
        }
        close(d.lockFd);
        if (d.made) rmdir(d.path.c_str());
        d = FrameDirectory{};
        return false;
    }
    d.rgb.resize(static_cast<size_t>(settings.frameWidth) * settings.scale * settings.frameHeight * settings.scale * 3);
    return true;
}

bool writeFramePng(const FrameView& frame, int64_t frameNumber, std::string& error) {
    FrameDirectory& d = directory;
    const int width = frame.width * d.scale;
    const int height = frame.height * d.scale;
    flipAndScale(frame, d.scale, PackedPixels::Rgb, d.rgb.data(), static_cast<ptrdiff_t>(width) * 3);

    // 1. The picture under its temporary name.
    const std::string finalName = frameName(frameNumber);
    const std::string partName = finalName + ".part";
    const std::string finalPath = pathOf(finalName);
    PngSink sink;
    const int fd = createFile(partName, d.force, error);
    if (fd < 0) return false;
    sink.file = fdopen(fd, "wb");
    if (sink.file == nullptr) {
        error = writeErrorText(pathOf(partName), errno);
        close(fd);
        unlinkat(d.lockFd, partName.c_str(), 0);
        return false;
    }
    bool written = writePng(sink, d.rgb.data(), width, height);
    if (std::fflush(sink.file) != 0 && sink.writeErrno == 0) sink.writeErrno = errno;
    if (std::fclose(sink.file) != 0 && sink.writeErrno == 0) sink.writeErrno = errno;
    written = written && sink.writeErrno == 0;
    if (!written) {
        unlinkat(d.lockFd, partName.c_str(), 0);
        error = sink.writeErrno != 0 ? writeErrorText(finalPath, sink.writeErrno)
                                     : "cannot write " + finalPath + ": " + (sink.message[0] ? sink.message : "out of memory");
        return false;
    }

    // 2. Its real name; without force a file already there stays. Neither
    //    call follows a link that has the name: a rename replaces the link.
    if (!placePartFile(d.lockFd, partName, finalName, d.force)) {
        error = errno == EEXIST ? finalPath + " already exists" : writeErrorText(finalPath, errno);
        return false;
    }
    d.framesWritten = frameNumber;
    return true;
}

bool writeWavSound(const int16_t* frames, int frameCount, std::string& error) {
    FrameDirectory& d = directory;
    const uint64_t bytes = static_cast<uint64_t>(frameCount) * wavFrameBytes;
    if (d.wavDataBytes + bytes > 0xFFFFFFFFull - 36) {
        d.wavErrno = EFBIG;
        error = "cannot write " + pathOf(wavName) + ": the sound is too long for a WAV file";
        return false;
    }
    // WAV samples are little-endian, as they are in memory here.
    std::vector<uint8_t> little(bytes);
    for (size_t i = 0; i < static_cast<size_t>(frameCount) * 2; ++i)
        put16(little.data() + 2 * i, static_cast<uint16_t>(frames[i]));
    if (!writeAll(d.wavFd, little.data(), little.size(), d.wavDataBytes)) {
        d.wavErrno = errno;
        error = writeErrorText(pathOf(wavName), d.wavErrno);
        return false;
    }
    // About every second, the header tells the sound written so far.
    const uint64_t second = d.wavDataBytes / (static_cast<uint64_t>(showMixRate) * wavFrameBytes);
    if (second != d.wavHeaderSecond) {
        d.wavHeaderSecond = second;
        uint8_t header[wavHeaderBytes];
        wavHeader(header, static_cast<uint32_t>(d.wavDataBytes / wavFrameBytes * wavFrameBytes));
        if (pwrite(d.wavFd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
            d.wavErrno = errno;
            error = writeErrorText(pathOf(wavName), d.wavErrno);
            return false;
        }
    }
    return true;
}

bool closeFrameDirectory(std::string& error, CaptureKept& kept) {
    FrameDirectory& d = directory;
    bool closed = true;

    // 1. audio.wav cut to whole frames and its header telling that length.
    const uint32_t dataBytes = static_cast<uint32_t>(d.wavDataBytes / wavFrameBytes * wavFrameBytes);
    uint8_t header[wavHeaderBytes];
    wavHeader(header, dataBytes);
    const bool fixed = ftruncate(d.wavFd, wavHeaderBytes + static_cast<off_t>(dataBytes)) == 0 &&
                       pwrite(d.wavFd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    const int err = errno;
    if (close(d.wavFd) != 0 || !fixed) {
        error = writeErrorText(pathOf(wavName), fixed ? errno : err);
        closed = false;
    }

    // 2. With force, frames beyond the last one, whole or cut, left by a
    //    capture before, go, so that the directory holds this capture only;
    //    a capture of no frames leaves the frames there were, and no empty
    //    audio.wav.
    if (d.force && d.framesWritten > 0)
        for (const std::string& name : framesAbove(d.lockFd, d.framesWritten)) unlinkat(d.lockFd, name.c_str(), 0);

    // 3. What the folder holds, read back: a folder that is no longer at its
    //    path, or frames or audio.wav removed while the capture ran, are a
    //    loss, and only the frames still there from the first on count.
    struct stat opened {}, named {};
    const bool inPlace = fstat(d.lockFd, &opened) == 0 && stat(d.path.c_str(), &named) == 0 &&
                         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    int64_t present = 0;
    while (inPlace && present < d.framesWritten && exists(frameName(present + 1))) ++present;
    if (d.framesWritten > 0 && closed && (!inPlace || present < d.framesWritten || !exists(wavName))) {
        const std::string lost = !inPlace ? d.path : present < d.framesWritten ? pathOf(frameName(present + 1)) : pathOf(wavName);
        error = lost + " was removed while the capture ran";
        closed = false;
    }
    kept = {present, present > 0 ? d.path : ""};
    if (d.framesWritten == 0 && dataBytes == 0) {
        unlinkat(d.lockFd, wavName, 0);
        if (d.made) rmdir(d.path.c_str());
    }
    if (d.lockFd >= 0) close(d.lockFd);
    d = FrameDirectory{};
    return closed;
}

bool writePngFile(const char* path, const uint8_t* rgb, int width, int height) {
    PngSink sink;
    sink.file = std::fopen(path, "wb");
    if (sink.file == nullptr) return false;
    const bool written = writePng(sink, rgb, width, height);
    const bool closed = std::fclose(sink.file) == 0;
    if (!written && sink.writeErrno != 0) errno = sink.writeErrno;
    return written && closed;
}

}  // namespace platform::encode
