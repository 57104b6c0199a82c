/* Prints a hash of what an X window shows (its pixels, read back from the
 * screen), so that a test can tell whether two moments look the same; with
 * OUT, also writes those pixels there as a binary PPM (top row first).
 * Usage: xgrab WINDOW-ID [OUT] */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: xgrab WINDOW-ID [OUT]\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "xgrab: cannot open the display\n");
        return 1;
    }
    Window window = (Window)strtoul(argv[1], NULL, 0);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        fprintf(stderr, "xgrab: no window %s\n", argv[1]);
        return 1;
    }
    XImage* image = XGetImage(display, window, 0, 0, (unsigned)attributes.width, (unsigned)attributes.height,
                              AllPlanes, ZPixmap);
    if (image == NULL) {
        fprintf(stderr, "xgrab: cannot read window %s\n", argv[1]);
        return 1;
    }
    /* 64-bit FNV-1a over the pixel values, row by row. */
    unsigned long long hash = 14695981039346656037ull;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            for (int byte = 0; byte < 4; ++byte) hash = (hash ^ ((pixel >> (8 * byte)) & 0xFF)) * 1099511628211ull;
        }
    printf("%016llx %dx%d\n", hash, image->width, image->height);
    FILE* out = argc == 3 ? fopen(argv[2], "wb") : NULL;
    if (out != NULL) {
        fprintf(out, "P6\n%d %d\n255\n", image->width, image->height);
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                fputc((int)((pixel & image->red_mask) * 255 / image->red_mask), out);
                fputc((int)((pixel & image->green_mask) * 255 / image->green_mask), out);
                fputc((int)((pixel & image->blue_mask) * 255 / image->blue_mask), out);
            }
    }
    if (argc == 3 && (out == NULL || fclose(out) != 0)) {
        fprintf(stderr, "xgrab: cannot write %s\n", argv[2]);
        return 1;
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    return 0;
}
