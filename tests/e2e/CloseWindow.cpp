// Asks a window to close the way a window manager's close button does: a
// WM_DELETE_WINDOW client message. End-to-end tests run under Xvfb without a
// window manager, so there is no title bar to click.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
    {
        std::fprintf (stderr, "cannot open display\n");
        return 1;
    }
    const auto window = (Window) std::strtoul (argv[1], nullptr, 0);
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long) XInternAtom (display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent (display, window, False, NoEventMask, &event);
    XSync (display, False);
    XCloseDisplay (display);
    return 0;
}
