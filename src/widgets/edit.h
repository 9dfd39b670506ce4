// The text entry: a small native edit box that opens over a control after a double click
// and applies the number typed into it on Enter or when it loses the keyboard focus.
#pragma once

#include "platform/platform.h"
#include "widgets/widget.h"

namespace VLM {

class CEdit : public CWidget {
public:
    static constexpr std::int32_t kWidth = 50;
    static constexpr std::int32_t kHeight = 15;
    static constexpr std::size_t kMaxChars = 11; // a buffer of 12 wide characters
    // The text's size at a drawing scale other than 1: the read-out's 10 points at 96 dpi, in
    // layout pixels. At 1 the edit box keeps the system's own font.
    static constexpr double kFontPixels = 10.0 * 96.0 / 72.0;

    explicit CEdit(CVSTGUI* owner);

    // Creates the edit box inside the editor window, at every opening. [UI thread]
    void CreateChild(Platform::WindowHandle parent);
    // The editor's drawing scale has changed: the text takes the new size. [UI thread]
    void ApplyScale();
    // Opens the entry over `widget`, or closes it for null. [UI thread]
    void Show(CWidget* widget);
    // Applies the typed number to the target and closes the entry. [UI thread]
    void Commit();
    // Closes the entry without applying anything. [UI thread]
    void Cancel();
    // The editor window, and the edit box with it, is gone. [UI thread]
    void ForgetWindow();
    // The edit box's subclass procedure. [UI thread]
    static Platform::EditAction EditProc(void* refData, std::uint32_t message,
                                         std::uintptr_t wParam);
    // Whether a typed character reaches the edit box.
    static bool IsAllowedCharacter(std::uintptr_t character);
    // The entry is a window of its own and draws nothing into the picture, but the picture is
    // drawn again once it opened or closed, for what it covered. [UI thread] (editor open)
    void Draw() override;
    bool Changed() override;

    Platform::WindowHandle window = nullptr;
    CWidget* target = nullptr;

private:
    bool shown = false; // whether the entry was open at the last Draw
};

} // namespace VLM
