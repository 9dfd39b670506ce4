// The modal error box on X11: a top-level window of its own on a display connection of its own
// (the editor's connection may be what failed), transient for the owner's top-level window and
// centred on it or on the screen, showing the text with Cairo and an OK button. Its own event
// loop runs until OK, Enter, Escape, Space or the window manager's close. The text also goes to
// the standard error stream, and only there when no X server answers.
#include "platform/linux/errortext.h"
#include "platform/platform.h"
#include "platform/x11/font.h"
#include "platform/x11/windowid.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <string>
#include <vector>

namespace VLM {
namespace Platform {

namespace {

constexpr double kMargin = 16.0;
constexpr double kIconSize = 32.0;
constexpr double kMaxTextWidth = 560.0;
constexpr double kButtonWidth = 88.0;
constexpr double kButtonHeight = 26.0;

int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

// The message's lines ("\r\n" or "\n" apart), each wrapped at blanks to kMaxTextWidth.
std::vector<std::string> Lines(cairo_t* cr, const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // Break the line at the last blank that keeps each piece within the width.
        while (true) {
            cairo_text_extents_t e;
            cairo_text_extents(cr, line.c_str(), &e);
            std::size_t blank = line.size();
            while (e.x_advance > kMaxTextWidth && blank != std::string::npos && blank > 0) {
                blank = line.rfind(' ', blank - 1);
                if (blank != std::string::npos) {
                    cairo_text_extents(cr, line.substr(0, blank).c_str(), &e);
                }
            }
            if (blank == std::string::npos || blank == 0 || blank >= line.size()) {
                lines.push_back(line);
                break;
            }
            lines.push_back(line.substr(0, blank));
            line.erase(0, blank + 1);
        }
        start = end + 1;
    }
    return lines;
}

struct Layout {
    std::vector<std::string> lines;
    double lineHeight = 16.0;
    double ascent = 12.0;
    int width = 0;
    int height = 0;
    double buttonX = 0;
    double buttonY = 0;
};

void UseFont(cairo_t* cr) {
    if (cairo_font_face_t* face = ReadoutFace()) {
        cairo_set_font_face(cr, face);
    }
    cairo_set_font_size(cr, kReadoutPixelSize);
}

Layout Measure(const std::string& text) {
    Layout layout;
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    UseFont(cr);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    layout.lineHeight = font.height;
    layout.ascent = font.ascent;
    layout.lines = Lines(cr, text);
    double widest = 0;
    for (const std::string& line : layout.lines) {
        cairo_text_extents_t e;
        cairo_text_extents(cr, line.c_str(), &e);
        widest = std::max(widest, e.x_advance);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    const double textHeight = layout.lineHeight * static_cast<double>(layout.lines.size());
    const double width = std::max(kMargin * 3 + kIconSize + widest, kButtonWidth + kMargin * 2);
    const double height = kMargin * 3 + std::max(textHeight, kIconSize) + kButtonHeight;
    layout.width = static_cast<int>(width + 0.5);
    layout.height = static_cast<int>(height + 0.5);
    layout.buttonX = (width - kButtonWidth) / 2;
    layout.buttonY = height - kMargin - kButtonHeight;
    return layout;
}

void Draw(Display* display, ::Window window, const Layout& layout, bool pressed) {
    const int screen = DefaultScreen(display);
    cairo_surface_t* surface = cairo_xlib_surface_create(
        display, window, DefaultVisual(display, screen), layout.width, layout.height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
    cairo_paint(cr);
    // The error sign: a red disc with a white cross.
    const double r = kIconSize / 2;
    cairo_arc(cr, kMargin + r, kMargin + r, r, 0, 6.283185307179586);
    cairo_set_source_rgb(cr, 0.85, 0.15, 0.12);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, kMargin + r * 0.55, kMargin + r * 0.55);
    cairo_line_to(cr, kMargin + r * 1.45, kMargin + r * 1.45);
    cairo_move_to(cr, kMargin + r * 1.45, kMargin + r * 0.55);
    cairo_line_to(cr, kMargin + r * 0.55, kMargin + r * 1.45);
    cairo_stroke(cr);
    UseFont(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    double y = kMargin + layout.ascent;
    for (const std::string& line : layout.lines) {
        cairo_move_to(cr, kMargin * 2 + kIconSize, y);
        cairo_show_text(cr, line.c_str());
        y += layout.lineHeight;
    }
    // The OK button.
    cairo_rectangle(cr, layout.buttonX + 0.5, layout.buttonY + 0.5, kButtonWidth - 1,
                    kButtonHeight - 1);
    const double face = pressed ? 0.8 : 0.99;
    cairo_set_source_rgb(cr, face, face, face);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.0, 0.47, 0.84);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_text_extents_t ok;
    cairo_text_extents(cr, "OK", &ok);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, layout.buttonX + (kButtonWidth - ok.x_advance) / 2,
                  layout.buttonY + (kButtonHeight - layout.lineHeight) / 2 + layout.ascent);
    cairo_show_text(cr, "OK");
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    XFlush(display);
}

bool InButton(const Layout& layout, int x, int y) {
    return x >= layout.buttonX && x < layout.buttonX + kButtonWidth && y >= layout.buttonY &&
           y < layout.buttonY + kButtonHeight;
}

bool IsCloseKey(KeySym key) {
    return key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space;
}

// The top-level ancestor of `window` (the child of the root it lies in); 0 when there is none
// or it is no window of this server.
::Window TopLevelOf(Display* display, ::Window window) {
    while (window != 0) {
        ::Window root = 0;
        ::Window parent = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
            return 0;
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (parent == root) {
            return window;
        }
        window = parent;
    }
    return 0;
}

// Where the box goes: centred on the owner's top-level window, else on the screen.
void Place(Display* display, ::Window owner, const Layout& layout, int& x, int& y) {
    const int screen = DefaultScreen(display);
    int left = 0;
    int top = 0;
    int width = DisplayWidth(display, screen);
    int height = DisplayHeight(display, screen);
    XWindowAttributes attributes;
    ::Window child = 0;
    if (owner != 0 && XGetWindowAttributes(display, owner, &attributes) != 0 &&
        XTranslateCoordinates(display, owner, RootWindow(display, screen), 0, 0, &left, &top,
                              &child) != 0) {
        width = attributes.width;
        height = attributes.height;
    }
    x = std::max(0, left + (width - layout.width) / 2);
    y = std::max(0, top + (height - layout.height) / 2);
}

void RunBox(Display* display, ::Window ownerChild, const std::string& text,
            const std::string& caption) {
    const Layout layout = Measure(text);
    const int screen = DefaultScreen(display);
    const ::Window root = RootWindow(display, screen);
    const ::Window owner = TopLevelOf(display, ownerChild);
    int x = 0;
    int y = 0;
    Place(display, owner, layout, x, y);

    XSetWindowAttributes set{};
    set.background_pixel = WhitePixel(display, screen);
    set.event_mask = ExposureMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                     ButtonReleaseMask | StructureNotifyMask;
    const ::Window box =
        XCreateWindow(display, root, x, y, static_cast<unsigned>(layout.width),
                      static_cast<unsigned>(layout.height), 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWBackPixel | CWEventMask, &set);

    // Title (Latin-1 and UTF-8), fixed size and position, a dialogue transient for the owner.
    XStoreName(display, box, caption.c_str());
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, box, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(caption.c_str()),
                    static_cast<int>(caption.size()));
    XSizeHints* hints = XAllocSizeHints();
    if (hints != nullptr) {
        hints->flags = PPosition | PMinSize | PMaxSize;
        hints->x = x;
        hints->y = y;
        hints->min_width = hints->max_width = layout.width;
        hints->min_height = hints->max_height = layout.height;
        XSetWMNormalHints(display, box, hints);
        XFree(hints);
    }
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, box, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dialog), 1);
    if (owner != 0) {
        XSetTransientForHint(display, box, owner);
    }
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, box, &deleteWindow, 1);
    XMapRaised(display, box);

    bool pressed = false;
    unsigned keyDown = 0;
    bool done = false;
    while (!done) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case Expose:
            if (event.xexpose.count == 0) {
                Draw(display, box, layout, pressed);
            }
            break;
        case MapNotify:
            XSetInputFocus(display, box, RevertToParent, CurrentTime);
            break;
        case KeyPress:
            keyDown = IsCloseKey(XLookupKeysym(&event.xkey, 0)) ? event.xkey.keycode : 0;
            break;
        case KeyRelease:
            // The release of a key pressed here: a key held down when the box came up does not
            // close it, and the release does not go to whatever lies below once it is gone.
            done = keyDown != 0 && event.xkey.keycode == keyDown;
            break;
        case ButtonPress:
            if (event.xbutton.button == Button1 &&
                InButton(layout, event.xbutton.x, event.xbutton.y)) {
                pressed = true;
                Draw(display, box, layout, pressed);
            }
            break;
        case ButtonRelease:
            if (event.xbutton.button == Button1 && pressed) {
                pressed = false;
                done = InButton(layout, event.xbutton.x, event.xbutton.y);
                Draw(display, box, layout, pressed);
            }
            break;
        case ClientMessage:
            done = static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow;
            break;
        case DestroyNotify:
            done = event.xdestroywindow.window == box;
            break;
        default:
            break;
        }
    }
    XDestroyWindow(display, box);
    XSync(display, False);
}

} // namespace

void ShowErrorBox(WindowHandle owner, const std::wstring& text, const std::wstring& caption) {
    WriteErrorToStderr(text, caption);
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return;
    }
    // An owner that is gone or a refused focus is no reason to end the process.
    XSync(display, False);
    const XErrorHandler previous = XSetErrorHandler(&IgnoreError);
    RunBox(display, static_cast<::Window>(WindowIdOf(owner)), ReadoutUtf8(text),
           ReadoutUtf8(caption));
    XSetErrorHandler(previous);
    XCloseDisplay(display);
}

} // namespace Platform
} // namespace VLM
