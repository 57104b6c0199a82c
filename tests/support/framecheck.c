/* Measures frames that showframe writes (binary PPM, top row first), for the
 * tests of the show drawn at a size. The picture of a frame is the largest
 * 4:3 rectangle its size holds, centred, as the show places it.
 *
 *   framecheck near SMALL.ppm LARGE.ppm LEVELS
 *       LARGE's picture averaged down to SMALL's size (a whole number of
 *       pixels each way per pixel), then the share of SMALL's pixels whose
 *       three channels are all within LEVELS of it: "97.3" (per cent).
 *   framecheck text FRAME.ppm
 *       the box of the text's pixels (grey to white: every channel above
 *       64) in the picture's pixels: "left top right bottom", or "none".
 *   framecheck bars FRAME.ppm
 *       the brightest channel outside the picture, 0 to 255 ("0" without bars).
 * Exit code 2 for a file that is no PPM of 8-bit pixels, or sizes that do
 * not divide. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    int width, height;
    unsigned char* rgb;
    int x, y, w, h; /* the picture, from the top left */
} Frame;

static int readFrame(const char* path, Frame* f) {
    FILE* in = fopen(path, "rb");
    int max = 0;
    f->rgb = NULL;
    if (in == NULL) return 0;
    if (fscanf(in, "P6 %d %d %d", &f->width, &f->height, &max) != 3 || max != 255 || fgetc(in) == EOF ||
        f->width <= 0 || f->height <= 0) {
        fclose(in);
        return 0;
    }
    size_t bytes = (size_t)f->width * f->height * 3;
    f->rgb = malloc(bytes);
    int whole = f->rgb != NULL && fread(f->rgb, 1, bytes, in) == bytes;
    fclose(in);
    if (!whole) return 0;
    /* As the show places it: from the bottom left, the odd pixel above. */
    if ((long long)f->width * 480 > (long long)f->height * 640) {
        f->h = f->height;
        f->w = (int)((long long)f->height * 640 / 480);
    } else {
        f->w = f->width;
        f->h = (int)((long long)f->width * 480 / 640);
    }
    f->x = (f->width - f->w) / 2;
    f->y = f->height - f->h - (f->height - f->h) / 2;
    return 1;
}

static const unsigned char* pixel(const Frame* f, int x, int y) {
    return f->rgb + ((size_t)y * f->width + x) * 3;
}

static int near(const char* smallPath, const char* largePath, int levels) {
    Frame s, l;
    if (!readFrame(smallPath, &s) || !readFrame(largePath, &l) || l.w % s.w != 0 || l.h % s.h != 0 ||
        l.w / s.w != l.h / s.h)
        return 2;
    const int k = l.w / s.w;
    long within = 0;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            int good = 1;
            for (int c = 0; c < 3; ++c) {
                long sum = 0;
                for (int v = 0; v < k; ++v)
                    for (int u = 0; u < k; ++u) sum += pixel(&l, l.x + x * k + u, l.y + y * k + v)[c];
                const int mean = (int)((sum + k * k / 2) / (k * k));
                const int d = mean - pixel(&s, s.x + x, s.y + y)[c];
                if (d < -levels || d > levels) good = 0;
            }
            within += good;
        }
    printf("%.1f\n", 100.0 * within / ((double)s.w * s.h));
    free(s.rgb);
    free(l.rgb);
    return 0;
}

static int text(const char* path) {
    Frame f;
    if (!readFrame(path, &f)) return 2;
    int left = f.w, top = f.h, right = -1, bottom = -1;
    for (int y = 0; y < f.h; ++y)
        for (int x = 0; x < f.w; ++x) {
            const unsigned char* p = pixel(&f, f.x + x, f.y + y);
            if (p[0] <= 64 || p[1] <= 64 || p[2] <= 64) continue;
            if (x < left) left = x;
            if (x > right) right = x;
            if (y < top) top = y;
            if (y > bottom) bottom = y;
        }
    if (right < 0)
        printf("none\n");
    else
        printf("%d %d %d %d\n", left, top, right, bottom);
    free(f.rgb);
    return 0;
}

static int bars(const char* path) {
    Frame f;
    if (!readFrame(path, &f)) return 2;
    int brightest = 0;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x) {
            if (x >= f.x && x < f.x + f.w && y >= f.y && y < f.y + f.h) continue;
            for (int c = 0; c < 3; ++c)
                if (pixel(&f, x, y)[c] > brightest) brightest = pixel(&f, x, y)[c];
        }
    printf("%d\n", brightest);
    free(f.rgb);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && strcmp(argv[1], "near") == 0) return near(argv[2], argv[3], atoi(argv[4]));
    if (argc == 3 && strcmp(argv[1], "text") == 0) return text(argv[2]);
    if (argc == 3 && strcmp(argv[1], "bars") == 0) return bars(argv[2]);
    fprintf(stderr, "usage: framecheck near SMALL LARGE LEVELS | text FRAME | bars FRAME\n");
    return 2;
}
