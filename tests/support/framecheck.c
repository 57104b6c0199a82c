/* Measures showframe's frames (binary PPM, top row first) for the tests of
 * the show drawn at a size. A frame's picture is the largest 4:3 rectangle
 * it holds, centred, as the show places it.
 *   framecheck near SMALL LARGE LEVELS  LARGE's picture averaged down to
 *       SMALL's (whole pixels each way): the per cent of pixels whose three
 *       channels are all within LEVELS of SMALL's
 *   framecheck text FRAME  the box of the text (every channel above 64) in
 *       picture pixels, "left top right bottom", or "none"
 *   framecheck bars FRAME  the brightest channel outside the picture
 *   framecheck soft FRAME X Y W H  in the picture's rectangle X Y W H (in
 *       640 x 480 picture pixels, scaled to the frame's), the pixels that
 *       lie between their neighbours across an edge, left and right or
 *       above and below (brightest channels at least 64 apart, the pixel's
 *       in their middle half): 0 where edges step, more where smoothed
 * Exit code 2 for a file that is no 8-bit PPM, or sizes that do not divide. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    int width, height, x, y, w, h; /* the picture: x, y from the top left */
    unsigned char* rgb;
} Frame;

static int readFrame(const char* path, Frame* f) {
    FILE* in = fopen(path, "rb");
    int max = 0, whole = 0;
    f->rgb = NULL;
    if (in != NULL && fscanf(in, "P6 %d %d %d", &f->width, &f->height, &max) == 3 && max == 255 &&
        fgetc(in) != EOF && f->width > 0 && f->height > 0) {
        size_t bytes = (size_t)f->width * f->height * 3;
        f->rgb = malloc(bytes);
        whole = f->rgb != NULL && fread(f->rgb, 1, bytes, in) == bytes;
    }
    if (in != NULL) fclose(in);
    /* From the bottom left as GL places it: the odd pixel goes above. */
    int wide = (long long)f->width * 480 > (long long)f->height * 640;
    f->w = wide ? (int)((long long)f->height * 640 / 480) : f->width;
    f->h = wide ? f->height : (int)((long long)f->width * 480 / 640);
    f->x = (f->width - f->w) / 2;
    f->y = f->height - f->h - (f->height - f->h) / 2;
    return whole;
}

static const unsigned char* at(const Frame* f, int x, int y) { return f->rgb + ((size_t)y * f->width + x) * 3; }

static int brightest(const Frame* f, int x, int y) {
    const unsigned char* p = at(f, x, y);
    return p[0] > p[1] ? (p[0] > p[2] ? p[0] : p[2]) : (p[1] > p[2] ? p[1] : p[2]);
}

static int between(int a, int c, int b) {
    const int low = a < b ? a : b, high = a < b ? b : a, quarter = (high - low) / 4;
    return high - low >= 64 && c > low + quarter && c < high - quarter;
}

int main(int argc, char** argv) {
    Frame a, b;
    const char* what = argc > 2 ? argv[1] : "";
    if (argc < 3 || !readFrame(argv[2], &a)) return 2;
    if (strcmp(what, "near") == 0 && argc == 5) {
        if (!readFrame(argv[3], &b) || b.w % a.w != 0 || b.h % a.h != 0 || b.w / a.w != b.h / a.h) return 2;
        const int k = b.w / a.w, levels = atoi(argv[4]);
        long within = 0;
        for (int y = 0; y < a.h; ++y)
            for (int x = 0; x < a.w; ++x) {
                int good = 1;
                for (int c = 0; c < 3; ++c) {
                    long sum = 0;
                    for (int v = 0; v < k * k; ++v) sum += at(&b, b.x + x * k + v % k, b.y + y * k + v / k)[c];
                    const int d = (int)((sum + k * k / 2) / (k * k)) - at(&a, a.x + x, a.y + y)[c];
                    good = good && d >= -levels && d <= levels;
                }
                within += good;
            }
        printf("%.1f\n", 100.0 * within / ((double)a.w * a.h));
        free(b.rgb);
    } else if (strcmp(what, "text") == 0) {
        int left = a.w, top = a.h, right = -1, bottom = -1;
        for (int y = 0; y < a.h; ++y)
            for (int x = 0; x < a.w; ++x) {
                const unsigned char* p = at(&a, a.x + x, a.y + y);
                if (p[0] <= 64 || p[1] <= 64 || p[2] <= 64) continue;
                left = x < left ? x : left, right = x > right ? x : right;
                top = y < top ? y : top, bottom = y > bottom ? y : bottom;
            }
        if (right < 0) printf("none\n");
        else printf("%d %d %d %d\n", left, top, right, bottom);
    } else if (strcmp(what, "bars") == 0) {
        int brightest = 0;
        for (int y = 0; y < a.height; ++y)
            for (int x = 0; x < a.width; ++x)
                for (int c = 0; c < 3; ++c)
                    if ((x < a.x || x >= a.x + a.w || y < a.y || y >= a.y + a.h) && at(&a, x, y)[c] > brightest)
                        brightest = at(&a, x, y)[c];
        printf("%d\n", brightest);
    } else if (strcmp(what, "soft") == 0 && argc == 7) {
        const double k = a.h / 480.0;
        const int x0 = (int)(atoi(argv[3]) * k), y0 = (int)(atoi(argv[4]) * k);
        const int x1 = x0 + (int)(atoi(argv[5]) * k), y1 = y0 + (int)(atoi(argv[6]) * k);
        long soft = 0;
        for (int y = y0 > 1 ? y0 : 1; y < y1 && y < a.h - 1; ++y)
            for (int x = x0 > 1 ? x0 : 1; x < x1 && x < a.w - 1; ++x) {
                const int X = a.x + x, Y = a.y + y, c = brightest(&a, X, Y);
                soft += between(brightest(&a, X - 1, Y), c, brightest(&a, X + 1, Y)) ||
                        between(brightest(&a, X, Y - 1), c, brightest(&a, X, Y + 1));
            }
        printf("%ld\n", soft);
    } else {
        return 2;
    }
    free(a.rgb);
    return 0;
}
