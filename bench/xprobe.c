// SPDX-License-Identifier: MIT
/* What bench/window.sh measures through the X server: when a window first shows a picture,
 * and how long a key press takes to change it.
 *   xprobe first-picture NAME START_NS   ms from START_NS (CLOCK_REALTIME) until the window
 *                                         called NAME shows a pixel that is not black
 *   xprobe key-to-screen NAME COUNT       COUNT presses of Right and Left in turn, each after
 *                                         a quiet spell; the ms from each press until the
 *                                         window's pixels change, one a line */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static Display* dpy;

/* SDL may destroy its first window and make another for the renderer: look again then. */
static int ignore_error(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

static double now_ms(clockid_t clock) {
    struct timespec ts;
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static Window named(Window w, const char* name) {
    char* title = NULL;
    if (XFetchName(dpy, w, &title) && title) {
        int same = strcmp(title, name) == 0;
        XFree(title);
        if (same) return w;
    }
    Window root, parent, *kids = NULL;
    unsigned n = 0;
    Window found = 0;
    if (XQueryTree(dpy, w, &root, &parent, &kids, &n)) {
        for (unsigned i = 0; i < n && !found; ++i) found = named(kids[i], name);
        if (kids) XFree(kids);
    }
    return found;
}

static XImage* grab(Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable) return NULL;
    return XGetImage(dpy, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
}

static int same_image(XImage* a, XImage* b) {
    return a && b && a->height == b->height && a->bytes_per_line == b->bytes_per_line &&
           memcmp(a->data, b->data, (size_t)a->height * a->bytes_per_line) == 0;
}

static int lit(XImage* im) {
    for (int y = 0; y < im->height; y += 2)
        for (int x = 0; x < im->width; x += 2)
            if (XGetPixel(im, x, y) & 0xFFFFFF) return 1;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 4 || !(dpy = XOpenDisplay(NULL))) {
        fprintf(stderr, "usage: xprobe first-picture NAME START_NS | key-to-screen NAME COUNT\n");
        return 2;
    }
    XSetErrorHandler(ignore_error);
    Window w = 0;
    double give_up = now_ms(CLOCK_MONOTONIC) + 30000;
    if (strcmp(argv[1], "first-picture") == 0) {
        double start = atof(argv[3]) / 1e6;
        for (;;) {
            if (now_ms(CLOCK_MONOTONIC) > give_up) return 1;
            if (!w) w = named(DefaultRootWindow(dpy), argv[2]);
            XImage* im = w ? grab(w) : NULL;
            int shown = im && lit(im);
            if (im)
                XDestroyImage(im);
            else
                w = 0;
            if (shown) break;
            usleep(200);
        }
        printf("%.1f\n", now_ms(CLOCK_REALTIME) - start);
        return 0;
    }
    while (!(w = named(DefaultRootWindow(dpy), argv[2])))
        if (now_ms(CLOCK_MONOTONIC) > give_up) return 1;
    int count = atoi(argv[3]);
    KeyCode keys[2] = {XKeysymToKeycode(dpy, XK_Right), XKeysymToKeycode(dpy, XK_Left)};
    srand(1);
    for (int i = 0; i < count; ++i) {
        usleep(250000 + rand() % 50000); /* a quiet spell, ending anywhere in a frame */
        XImage* before = grab(w);
        double pressed = now_ms(CLOCK_MONOTONIC);
        XTestFakeKeyEvent(dpy, keys[i % 2], True, 0);
        XFlush(dpy);
        XImage* after = NULL;
        do {
            if (after) XDestroyImage(after);
            after = grab(w);
        } while (same_image(before, after) && now_ms(CLOCK_MONOTONIC) - pressed < 2000);
        printf("%.2f\n", now_ms(CLOCK_MONOTONIC) - pressed);
        fflush(stdout);
        XTestFakeKeyEvent(dpy, keys[i % 2], False, 0);
        XFlush(dpy);
        XDestroyImage(before);
        XDestroyImage(after);
    }
    return 0;
}
