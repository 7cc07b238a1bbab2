// Closes a window as a window manager's close button does (a WM_DELETE_WINDOW
// message): under Xvfb there is no window manager. With --intern it only
// creates the window-manager atoms a fresh X server lacks: applications that
// look them up without creating them (JUCE does) announce no close protocol.
#include <X11/Xlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

int main (int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf (stderr, "usage: %s WINDOW_ID | --intern\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return 1;
    if (std::strcmp (argv[1], "--intern") == 0)
    {
        for (const char* name : { "WM_PROTOCOLS", "WM_DELETE_WINDOW", "WM_TAKE_FOCUS", "_NET_WM_PING", "_NET_WM_NAME",
                                  "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN", "_NET_ACTIVE_WINDOW",
                                  "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_PID", "UTF8_STRING",
                                  "_MOTIF_WM_HINTS", "WM_STATE", "WM_CHANGE_STATE", "_NET_FRAME_EXTENTS" })
            XInternAtom (display, name, False);
    }
    else
    {
        const auto window = (Window) std::strtoul (argv[1], nullptr, 0);
        XEvent event {};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom (display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long) XInternAtom (display, "WM_DELETE_WINDOW", False);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent (display, window, False, NoEventMask, &event);
    }
    XSync (display, False);
    XCloseDisplay (display);
    return 0;
}
