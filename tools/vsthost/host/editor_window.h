// The editor command's window: a top-level window of the tool's own that hosts the plug-in's
// editor, a Win32 window on Windows and an X window on Linux.
#pragma once

namespace VLM {

class CPlugin;

class CEditorWindow {
public:
    /// Creates the window sized by effEditGetRect and opens the editor in it; throws
    /// Exceptions::HostFailure when the editor does not open. [UI thread]
    explicit CEditorWindow(CPlugin& plugin);
    /// effEditClose, when the window is still open, and the window goes. [UI thread]
    ~CEditorWindow();
    CEditorWindow(const CEditorWindow&) = delete;
    CEditorWindow& operator=(const CEditorWindow&) = delete;

    /// Runs the message loop, idling the editor on a timer, until the window is closed or
    /// `seconds` have passed (seconds <= 0: no limit). [UI thread]
    void Run(double seconds);

    int Width() const { return width; }
    int Height() const { return height; }

private:
    friend struct SEditorWindowAccess;
    CPlugin& plugin;
    void* window = nullptr;
    bool editorOpen = false;
    int width = 0;
    int height = 0;
};

} // namespace VLM
