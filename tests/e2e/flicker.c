/* A native X window that repaints itself red and blue as fast as the server
 * takes it, one fill request per colour: the server draws each fill at once,
 * so any one moment of the screen shows it in a single colour.
 * Usage: flicker X Y WIDTH HEIGHT (root coordinates); runs until killed. */
#include <stdlib.h>

#include <X11/Xlib.h>

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(NULL);
    if (!display || argc != 5)
        return 1;
    const int x = atoi(argv[1]), y = atoi(argv[2]);
    const unsigned width = (unsigned)atoi(argv[3]), height = (unsigned)atoi(argv[4]);
    XSetWindowAttributes attributes = {0};
    attributes.override_redirect = True;
    const int screen = DefaultScreen(display);
    const Window window = XCreateWindow(display, RootWindow(display, screen), x, y, width, height, 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, window);
    GC colours[2] = {XCreateGC(display, window, 0, NULL), XCreateGC(display, window, 0, NULL)};
    XSetForeground(display, colours[0], 0xff0000);
    XSetForeground(display, colours[1], 0x0000ff);
    for (int i = 0;; i ^= 1) {
        XFillRectangle(display, window, colours[i], 0, 0, width, height);
        XSync(display, False); /* each colour stays until the server answers */
    }
}
