#include "tests/gui/window_close.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The process id the toolkit stored on a window (_NET_WM_PID); -1 when there is none.
long window_pid(Display* display, Window window, Atom pid_atom)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long left = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &left, &data) == Success &&
        type == XA_CARDINAL && format == 32 && count == 1)
        pid = *reinterpret_cast<long*>(data);
    if (data != nullptr)
        XFree(data);
    return pid;
}

bool accepts(Display* display, Window window, Atom protocol)
{
    Atom* protocols = nullptr;
    int count = 0;
    bool found = false;
    if (XGetWMProtocols(display, window, &protocols, &count) != 0) {
        for (int i = 0; i < count; ++i)
            found = found || protocols[i] == protocol;
        XFree(protocols);
    }
    return found;
}

} // namespace

int ask_windows_to_close(pid_t pid)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        return 0;
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", False);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    int asked = 0;
    // Without a window manager, as under Xvfb, top-level windows are the root's children.
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) == 0 ||
                attributes.map_state != IsViewable ||
                window_pid(display, children[i], pid_atom) != pid ||
                !accepts(display, children[i], delete_window))
                continue;
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = children[i];
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(delete_window);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, children[i], False, NoEventMask, &event);
            ++asked;
        }
        if (children != nullptr)
            XFree(children);
    }
    XCloseDisplay(display); // sends what was asked
    return asked;
}
