#include "tools/makedata/photo_files.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/makedata/bmp_writer.h"

namespace {

// A 256 x 256 picture with the file header and the 40-byte info header,
// rows bottom first, as the full-size photos are stored.
bmp::Bitmap photoBitmap(int bitsPerPixel) {
    bmp::Bitmap bitmap;
    bitmap.width = photoSize;
    bitmap.height = photoSize;
    bitmap.bitsPerPixel = bitsPerPixel;
    return bitmap;
}

// Bottom row first, blue green red: a 256-pixel row is 768 bytes, already
// a multiple of 4.
std::vector<uint8_t> pixels24(const Photo& photo) {
    std::vector<uint8_t> out;
    out.reserve(photo.rgb.size());
    for (int y = photoSize - 1; y >= 0; y--)
        for (int x = 0; x < photoSize; x++)
            for (int c = 2; c >= 0; c--) out.push_back(photo.channel(x, y, c));
    return out;
}

// A 256-colour palette for one picture by median cut: the box of colours
// with the widest spread is split at its median until there are 256 boxes,
// and each box gives its mean colour. Ties are broken by pixel index, so
// the result is fully determined.
struct Palette {
    uint8_t colours[256][3];
};

Palette medianCut(const Photo& photo) {
    const int count = photoSize * photoSize;
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) order[static_cast<size_t>(i)] = i;
    struct Box {
        int begin, end;
    };
    auto channelOf = [&](int pixel, int c) { return photo.rgb[static_cast<size_t>(pixel) * 3 + c]; };
    auto spread = [&](const Box& box, int& widest) {
        int best = -1;
        for (int c = 0; c < 3; c++) {
            int lo = 255, hi = 0;
            for (int i = box.begin; i < box.end; i++) {
                int value = channelOf(order[static_cast<size_t>(i)], c);
                lo = std::min(lo, value);
                hi = std::max(hi, value);
            }
            if (hi - lo > best) {
                best = hi - lo;
                widest = c;
            }
        }
        return best;
    };
    std::vector<Box> boxes{{0, count}};
    while (boxes.size() < 256) {
        size_t pick = 0;
        int pickChannel = 0;
        long bestScore = -1;
        for (size_t b = 0; b < boxes.size(); b++) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            int channel = 0;
            int s = spread(boxes[b], channel);
            // weigh by the square root of the pixel count: big flat areas and
            // small bright details both get colours
            long score = static_cast<long>(s) * static_cast<long>(std::sqrt(static_cast<float>(boxes[b].end - boxes[b].begin)));
            if (score > bestScore) {
                bestScore = score;
                pick = b;
                pickChannel = channel;
            }
        }
        if (bestScore <= 0) break;
        Box box = boxes[pick];
        std::sort(order.begin() + box.begin, order.begin() + box.end, [&](int a, int b) {
            int va = channelOf(a, pickChannel), vb = channelOf(b, pickChannel);
            return va != vb ? va < vb : a < b;
        });
        int middle = box.begin + (box.end - box.begin) / 2;
        boxes[pick] = {box.begin, middle};
        boxes.push_back({middle, box.end});
    }
    Palette palette{};
    for (size_t b = 0; b < boxes.size(); b++) {
        for (int c = 0; c < 3; c++) {
            long sum = 0;
            for (int i = boxes[b].begin; i < boxes[b].end; i++) sum += channelOf(order[static_cast<size_t>(i)], c);
            long n = boxes[b].end - boxes[b].begin;
            palette.colours[b][c] = static_cast<uint8_t>((sum + n / 2) / n);
        }
    }
    return palette;
}

}  // namespace

std::vector<uint8_t> bitmap24(const Photo& photo) {
    bmp::Bitmap bitmap = photoBitmap(24);
    bitmap.pixels = pixels24(photo);
    return bmp::write(bitmap);
}

std::vector<uint8_t> packedCore24(const Photo& photo) {
    bmp::Bitmap bitmap = photoBitmap(24);
    bitmap.fileHeader = false;
    bitmap.headerBytes = 12;
    bitmap.pixels = pixels24(photo);
    return bmp::write(bitmap);
}

// 8 bits a pixel with the picture's own palette, Floyd-Steinberg error
// diffusion in integers so that the fog's soft gradients do not band.
std::vector<uint8_t> bitmap8(const Photo& photo) {
    const Palette palette = medianCut(photo);
    constexpr uint32_t imageSize = photoSize * photoSize;
    // errors in 1/16 levels for this row and the next, with a pixel of room each side
    std::vector<int> error(static_cast<size_t>(photoSize + 2) * 3 * 2, 0);
    auto errorAt = [&](int row, int x, int c) -> int& {
        return error[(static_cast<size_t>(row & 1) * (photoSize + 2) + static_cast<size_t>(x + 1)) * 3 + c];
    };
    std::vector<uint8_t> indices(imageSize);
    for (int y = 0; y < photoSize; y++) {
        for (int x = -1; x <= photoSize; x++)
            for (int c = 0; c < 3; c++) errorAt(y + 1, x, c) = 0;
        for (int x = 0; x < photoSize; x++) {
            int want[3];
            for (int c = 0; c < 3; c++)
                want[c] = std::clamp(photo.channel(x, y, c) + (errorAt(y, x, c) + (errorAt(y, x, c) >= 0 ? 8 : -8)) / 16, 0, 255);
            int best = 0;
            long bestDistance = -1;
            for (int i = 0; i < 256; i++) {
                long d = 0;
                for (int c = 0; c < 3; c++) {
                    long e = want[c] - palette.colours[i][c];
                    d += e * e;
                }
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            indices[static_cast<size_t>(y) * photoSize + x] = static_cast<uint8_t>(best);
            for (int c = 0; c < 3; c++) {
                int e = want[c] - palette.colours[best][c];
                errorAt(y, x + 1, c) += e * 7;
                errorAt(y + 1, x - 1, c) += e * 3;
                errorAt(y + 1, x, c) += e * 5;
                errorAt(y + 1, x + 1, c) += e;
            }
        }
    }
    bmp::Bitmap bitmap = photoBitmap(8);
    for (const auto& colour : palette.colours) bitmap.palette.push_back({colour[0], colour[1], colour[2]});
    for (int y = photoSize - 1; y >= 0; y--)
        bitmap.pixels.insert(bitmap.pixels.end(), indices.begin() + y * photoSize, indices.begin() + (y + 1) * photoSize);
    return bmp::write(bitmap);
}

std::vector<uint8_t> portablePixmap(const Photo& photo) {
    std::string header = "P6\n" + std::to_string(photoSize) + " " + std::to_string(photoSize) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), photo.rgb.begin(), photo.rgb.end());
    return out;
}
