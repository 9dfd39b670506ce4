// The editor command's window: a top-level window of the tool's own that hosts the plug-in's
// editor, a Win32 window on Windows and an X window on Linux.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace VLM {

class CPlugin;

class CEditorWindow {
public:
    // Creates the window sized by effEditGetRect and opens the editor in it; throws
    // Exceptions::HostFailure when the editor does not open. [UI thread]
    // With `timeFirstFrame`, the window first waits (2 s at most) until it shows its own empty
    // background, and then times the editor's first picture (see FirstFrameMilliseconds).
    explicit CEditorWindow(CPlugin& plugin, bool timeFirstFrame = false);
    // effEditClose, when the window is still open, and the window goes. [UI thread]
    ~CEditorWindow();
    CEditorWindow(const CEditorWindow&) = delete;
    CEditorWindow& operator=(const CEditorWindow&) = delete;

    // Runs the message loop, idling the editor on a timer, until the window is closed or
    // `seconds` have passed (seconds <= 0: no limit). [UI thread]
    void Run(double seconds);

    int Width() const { return width; }
    int Height() const { return height; }
    // Milliseconds from effEditOpen until the window first showed a pixel other than its empty
    // background, in three rows sampled from the screen at a quarter, half and three quarters
    // of its height, looked at every few milliseconds; negative when not timed or not seen.
    double FirstFrameMilliseconds() const { return firstFrame; }

private:
    // The sampled rows as the screen shows them now, one 32-bit value per pixel; empty when
    // they cannot be read. [platform]
    std::vector<std::uint32_t> SampleRows();
    // Waits until the sampled rows show one colour only and keeps it as the background.
    void LearnBackground();
    // Notes the time of the effEditOpen call; when timing, also prints it on the system clock.
    void NoteOpenCall();
    // Notes the time of the first picture once the sampled rows show it.
    void CheckFirstFrame();
    friend struct SEditorWindowAccess;
    CPlugin& plugin;
    void* window = nullptr;
    bool editorOpen = false;
    int width = 0;
    int height = 0;
    bool timing = false;
    bool backgroundKnown = false;
    std::uint32_t background = 0;
    std::chrono::steady_clock::time_point openCalled;
    double firstFrame = -1.0;
};

} // namespace VLM
