// The window a validator hands to the plug-in's editor as its parent, as a DAW does: an X11
// window on Linux, a top-level Win32 window on Windows.
#pragma once

#include <memory>
#include <string>

namespace VLM {

class CPlugin;

class CParentWindow {
public:
    // A shown window of the given client size; null with the reason when there is no
    // display to open one on. [UI thread]
    static std::unique_ptr<CParentWindow> Create(int width, int height, std::string& why);
    ~CParentWindow();
    CParentWindow(const CParentWindow&) = delete;
    CParentWindow& operator=(const CParentWindow&) = delete;

    // The parent handle effEditOpen receives: an HWND, or an X11 window id.
    void* Handle() const;
    // Handles the window system's messages and idles the editor (effEditIdle every 20 ms)
    // for about `milliseconds`; 0 handles what is pending once. [UI thread]
    void Pump(CPlugin& plugin, int milliseconds);
    // Handles the window system's messages and idles the editor until it has a shown window
    // of its own at (x, y) of this window, which mouse input can reach, for at most
    // `milliseconds`; false when none came by then. [UI thread]
    bool WaitForEditorWindow(CPlugin& plugin, int x, int y, int milliseconds);
    // Presses the left button at (x, y) of the editor's window, drags by `dy` pixels and
    // lets go, as real mouse messages to the plug-in's own window. False when the editor
    // has no window of its own to receive them. [UI thread]
    bool Drag(CPlugin& plugin, int x, int y, int dy);

    struct SImpl;

private:
    explicit CParentWindow(std::unique_ptr<SImpl> impl);
    std::unique_ptr<SImpl> impl;
};

} // namespace VLM
