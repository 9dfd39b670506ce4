// The value read-out: while a control is dragged, its "label: value unit" text floats just
// above it, rendered into a texture of the read-out's own.
#pragma once

#include "widgets/widget.h"

namespace VLM {

class CHint : public CWidget {
public:
    explicit CHint(CVSTGUI* owner);
    ~CHint() override;

    // Renders `text` into a texture and places the box above the target, inside the
    // editor. [UI thread] (editor open)
    bool AcquireTexture() override;
    // Renders again whenever the target's text changed. [UI thread] (editor open)
    void Draw() override;
    // True when the box appeared, went, moved to another control or has another text since
    // the last Draw. [UI thread] (editor open)
    bool Changed() override;
    // Deletes the read-out's own texture. [UI thread] (editor open)
    void ReleaseTexture() override;

    CWidget* target = nullptr;
    std::wstring text;

private:
    const CWidget* placedFor = nullptr; // the control the box was last placed over
    bool shown = false;                 // whether the last Draw showed the box
};

} // namespace VLM
