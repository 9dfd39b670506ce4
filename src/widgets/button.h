// The two-state push button: every press flips its value between 0 and 1.
#pragma once

#include "widgets/meter.h"

namespace VLM {

class CButton : public CMeter {
public:
    CButton(CVSTGUI* owner, const ControlDesc& desc);

    // Toggles, reports the value, and tells the host of a complete edit gesture.
    void OnMouseDown(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    // The system reports a double click's second press as a double click: it toggles too.
    void OnDoubleClick(std::int32_t x, std::int32_t y, std::uint32_t flags) override;
    // Clamps, stores a changed value and reports it to the host.
    void SetValue(float newValue) override;
};

} // namespace VLM
