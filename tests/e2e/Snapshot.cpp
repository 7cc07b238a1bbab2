// Writes a window's picture, or a rectangle of it, to stdout as a binary PPM:
//   e2e-snapshot WINDOW_ID|root [WxH+X+Y]
// ImageMagick's import holds the X server while it converts what it read, and
// the utility's own X requests wait meanwhile: every picture a test took showed
// up as a gap of up to a quarter of a second on the utility's message thread.
// Read through shared memory, the picture holds the server only as long as
// one copy: no grab, and no megabytes through the socket to a client that a
// busy machine lets read them slowly.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace
{
bool failed = false;
int recordError (Display*, XErrorEvent*)
{
    failed = true;
    return 0;
}

unsigned channel (unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0)
        ++shift;
    const unsigned long max = mask >> shift;
    return (unsigned) (((pixel & mask) >> shift) * 255 / max);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2 || argc > 3)
    {
        std::fprintf (stderr, "usage: %s WINDOW_ID|root [WxH+X+Y]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
        return 1;
    XSetErrorHandler (recordError);
    const Window window = std::strcmp (argv[1], "root") == 0 ? DefaultRootWindow (display)
                                                             : (Window) std::strtoul (argv[1], nullptr, 0);
    XWindowAttributes attributes {};
    if (XGetWindowAttributes (display, window, &attributes) == 0 || failed)
        return 1;
    int x = 0, y = 0;
    unsigned width = (unsigned) attributes.width, height = (unsigned) attributes.height;
    if (argc == 3)
        XParseGeometry (argv[2], &x, &y, &width, &height);
    XShmSegmentInfo segment {};
    XImage* image = nullptr;
    if (XShmQueryExtension (display))
    {
        image = XShmCreateImage (display, attributes.visual, (unsigned) attributes.depth, ZPixmap, nullptr, &segment,
                                 width, height);
        if (image == nullptr)
            return 1;
        segment.shmid = shmget (IPC_PRIVATE, (size_t) image->bytes_per_line * height, IPC_CREAT | 0600);
        if (segment.shmid < 0)
            return 1;
        segment.shmaddr = image->data = (char*) shmat (segment.shmid, nullptr, 0);
        // Removed now, it goes once both sides have detached, whatever happens.
        shmctl (segment.shmid, IPC_RMID, nullptr);
        if (segment.shmaddr == (char*) -1 || ! XShmAttach (display, &segment)
            || ! XShmGetImage (display, window, image, x, y, AllPlanes))
            return 1;
        XSync (display, False);
    }
    else
    {
        image = XGetImage (display, window, x, y, width, height, AllPlanes, ZPixmap);
    }
    if (image == nullptr || failed)
        return 1;
    std::printf ("P6\n%u %u\n255\n", width, height);
    for (unsigned row = 0; row < height; ++row)
        for (unsigned column = 0; column < width; ++column)
        {
            const auto pixel = XGetPixel (image, (int) column, (int) row);
            std::putchar ((int) channel (pixel, image->red_mask));
            std::putchar ((int) channel (pixel, image->green_mask));
            std::putchar ((int) channel (pixel, image->blue_mask));
        }
    XCloseDisplay (display);
    return std::fflush (stdout) == 0 ? 0 : 1;
}
