// The Linux editor's text entry: a child window of the editor window holding one line, drawn
// with Cairo in the read-out's font, with the caret, the whole-text selection and the keys the
// system's entry knows, and the portable editor's filter before each character, as on Windows.
#include "platform/platform.h"
#include "platform/x11/font.h"
#include "platform/x11/xwindow.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <string>

namespace VLM {
namespace Platform {
namespace X11 {

namespace {

constexpr long kEditEvents = ExposureMask | KeyPressMask | FocusChangeMask | ButtonPressMask;

void DrawEdit(XEditBox* e) {
    XWindow* w = e->editor;
    if (!e->shown || w->visual == nullptr || !Alive(w)) {
        return;
    }
    ErrorTrap trap(w->display, w);
    cairo_surface_t* surface =
        cairo_xlib_surface_create(w->display, e->id, w->visual->visual, e->width, e->height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    if (cairo_font_face_t* face = ReadoutFace()) {
        UseReadoutFont(cr, face);
        if (e->fontPixels > 0) {
            cairo_set_font_size(cr, e->fontPixels);
        }
        const std::string all = ReadoutUtf8(e->text);
        const std::string before = ReadoutUtf8(e->text.substr(0, e->caret));
        cairo_text_extents_t extents{};
        cairo_text_extents(cr, all.c_str(), &extents);
        cairo_text_extents_t head{};
        cairo_text_extents(cr, before.c_str(), &head);
        cairo_font_extents_t font{};
        cairo_font_extents(cr, &font);
        // Centred, as the Windows entry's ES_CENTER.
        const double x = (e->width - extents.x_advance) / 2.0;
        const double top = (e->height - font.height) / 2.0;
        if (e->allSelected && !e->text.empty()) {
            cairo_set_source_rgb(cr, 0.0, 0.47, 0.84);
            cairo_rectangle(cr, x, top, extents.x_advance, font.height);
            cairo_fill(cr);
            cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
        } else {
            cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
        }
        cairo_move_to(cr, x, top + font.ascent);
        cairo_show_text(cr, all.c_str());
        if (e->focused && !e->allSelected) {
            cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
            cairo_rectangle(cr, x + head.x_advance, top, 1.0, font.height);
            cairo_fill(cr);
        }
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}

// What the system's entry does with a character the filter let through.
void EditCharacter(XEditBox* e, wchar_t c) {
    if (c == 8) {
        if (e->allSelected) {
            e->text.clear();
            e->caret = 0;
        } else if (e->caret > 0) {
            e->text.erase(e->caret - 1, 1);
            --e->caret;
        }
    } else if (c >= 32) {
        if (e->allSelected) {
            e->text.clear();
            e->caret = 0;
        }
        e->text.insert(e->caret, 1, c);
        ++e->caret;
    }
    e->allSelected = false;
}

// Loss of focus, as the system reports it to the entry once.
void EditLosesFocus(XEditBox* e) {
    if (!e->focused) {
        return;
    }
    e->focused = false;
    if (e->filter != nullptr) {
        e->filter(e->refData, kMsgKillFocus, 0);
    }
}

void EditKey(XEditBox* e, XKeyEvent& key) {
    char bytes[8] = {};
    KeySym sym = NoSymbol;
    const int count = XLookupString(&key, bytes, sizeof bytes, &sym, nullptr);
    wchar_t c = 0;
    switch (sym) {
    case XK_Return:
    case XK_KP_Enter:
        c = 13;
        break;
    case XK_BackSpace:
        c = 8;
        break;
    case XK_Delete:
    case XK_KP_Delete:
        if (e->allSelected) {
            e->text.clear();
            e->caret = 0;
        } else if (e->caret < e->text.size()) {
            e->text.erase(e->caret, 1);
        }
        e->allSelected = false;
        DrawEdit(e);
        return;
    case XK_Left:
    case XK_KP_Left:
        e->caret = e->allSelected ? 0 : (e->caret > 0 ? e->caret - 1 : 0);
        e->allSelected = false;
        DrawEdit(e);
        return;
    case XK_Right:
    case XK_KP_Right:
        e->caret = e->allSelected ? e->text.size() : std::min(e->caret + 1, e->text.size());
        e->allSelected = false;
        DrawEdit(e);
        return;
    case XK_Home:
    case XK_KP_Home:
        e->caret = 0;
        e->allSelected = false;
        DrawEdit(e);
        return;
    case XK_End:
    case XK_KP_End:
        e->caret = e->text.size();
        e->allSelected = false;
        DrawEdit(e);
        return;
    default:
        if (count != 1) {
            return;
        }
        // Latin-1, one byte per character.
        c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[0]));
        break;
    }
    if (e->filter == nullptr) {
        return;
    }
    // The filter may hide the entry (Enter applies the text), or close the editor.
    XWindow* w = e->editor;
    const EditAction action = e->filter(e->refData, kMsgChar, static_cast<std::uintptr_t>(c));
    if (w->destroyed || w->gone || w->edit != e) {
        return;
    }
    if (action != EditAction::Swallow) {
        EditCharacter(e, c);
    }
    DrawEdit(e);
}

// The keyboard focus goes back where it was before the entry took it.
void GiveFocusBack(XEditBox* e) {
    if (e->editor->gone) {
        return;
    }
    Display* d = e->editor->display;
    ErrorTrap trap(d, e->editor);
    XSetInputFocus(d, e->previousFocus != 0 ? e->previousFocus : PointerRoot, e->previousRevert,
                   CurrentTime);
}

} // namespace

void DispatchEdit(XEditBox* e, XEvent& event) {
    switch (event.type) {
    case Expose:
        if (event.xexpose.count == 0) {
            DrawEdit(e);
        }
        break;
    case KeyPress:
        if (e->shown) {
            EditKey(e, event.xkey);
        }
        break;
    case FocusOut:
        // A grab moves the focus only for its duration; the entry keeps it.
        if (event.xfocus.mode == NotifyNormal || event.xfocus.mode == NotifyWhileGrabbed) {
            EditLosesFocus(e);
        }
        break;
    default:
        break;
    }
}

void ShowEdit(XEditBox* e, bool show) {
    XWindow* w = e->editor;
    if (show == e->shown || !Alive(w)) {
        return;
    }
    e->shown = show;
    {
        ErrorTrap trap(w->display, w);
        if (show) {
            XMapRaised(w->display, e->id);
            return;
        }
        XUnmapWindow(w->display, e->id);
    }
    if (e->focused) {
        GiveFocusBack(e);
        // Hiding the focused entry takes its focus, and it hears so at once, as on Windows.
        EditLosesFocus(e);
    }
}

void MoveEdit(XEditBox* e, int x, int y, int width, int height) {
    if (width > 0 && height > 0 && Alive(e->editor)) {
        e->width = width;
        e->height = height;
        ErrorTrap trap(e->editor->display, e->editor);
        XMoveResizeWindow(e->editor->display, e->id, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height));
    }
}

void DestroyEdit(XEditBox* e, bool destroyWindow) {
    XWindow* w = e->editor;
    if (!w->destroyed && !w->gone) {
        if (e->focused) {
            e->focused = false;
            GiveFocusBack(e);
        }
        if (destroyWindow && Alive(w)) {
            ErrorTrap trap(w->display, w);
            XDestroyWindow(w->display, e->id);
        }
    }
    if (w->edit == e) {
        w->edit = nullptr;
    }
    delete e;
}

} // namespace X11

using namespace X11;

WindowHandle CreateEditBox(ModuleHandle, WindowHandle parent, std::int32_t x, std::int32_t y,
                           std::int32_t width, std::int32_t height) {
    XWindow* w = ToWindow(parent);
    if (w == nullptr || w->visual == nullptr || w->edit != nullptr || width <= 0 || height <= 0 ||
        !Alive(w)) {
        return nullptr;
    }
    ErrorTrap trap(w->display, w);
    auto* e = new XEditBox;
    e->editor = w;
    e->width = width;
    e->height = height;
    XSetWindowAttributes set{};
    set.event_mask = kEditEvents;
    set.background_pixmap = None;
    e->id = XCreateWindow(w->display, w->id, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWEventMask | CWBackPixmap, &set);
    w->edit = e;
    return static_cast<XHandle*>(e);
}

bool SubclassEditBox(WindowHandle edit, EditMessageFn filter, void* refData) {
    XEditBox* e = ToEdit(edit);
    if (e == nullptr) {
        return false;
    }
    e->filter = filter;
    e->refData = refData;
    return true;
}

void SetWindowText(WindowHandle window, const std::wstring& text) {
    if (XEditBox* e = ToEdit(window)) {
        e->text = text;
        e->caret = text.size();
        e->allSelected = false;
        DrawEdit(e);
    }
}

std::wstring GetWindowText(WindowHandle window, std::size_t maxChars) {
    XEditBox* e = ToEdit(window);
    return e != nullptr ? e->text.substr(0, maxChars) : std::wstring();
}

void SetEditFont(WindowHandle edit, std::int32_t pixelHeight) {
    if (XEditBox* e = ToEdit(edit)) {
        e->fontPixels = pixelHeight;
        DrawEdit(e);
    }
}

void SelectAllText(WindowHandle edit) {
    if (XEditBox* e = ToEdit(edit)) {
        e->allSelected = true;
        e->caret = e->text.size();
        DrawEdit(e);
    }
}

void SetFocus(WindowHandle window) {
    XEditBox* e = ToEdit(window);
    if (e == nullptr || e->focused || !e->shown || !Alive(e->editor)) {
        return;
    }
    Display* d = e->editor->display;
    ErrorTrap trap(d, e->editor);
    XGetInputFocus(d, &e->previousFocus, &e->previousRevert);
    XSetInputFocus(d, e->id, RevertToParent, CurrentTime);
    e->focused = trap.End() == 0;
    DrawEdit(e);
}

} // namespace Platform
} // namespace VLM
