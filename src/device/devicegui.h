// The equaliser's editor: ten band faders, the IN button and the IN lamp on the faceplate.
#pragma once

#include "dsp/controldesc.h"
#include "gui/vstgui.h"
#include "widgets/button.h"
#include "widgets/knob.h"
#include "widgets/meter.h"

namespace VLM {

class CDeviceGUI : public CVSTGUI {
public:
    // Throws Exceptions::Std when the editor frame cannot be built. [construction]
    explicit CDeviceGUI(AudioEffect* effect);
    // Closes the window while the controls still exist, then lets them go.
    ~CDeviceGUI() override;

    CKnob& Fader(int band) { return faders[band]; }
    CButton& InButton() { return inButton; }
    CLED& InLamp() { return inLamp; }

private:
    CKnob faders[Controls::kBandCount];
    CButton inButton;
    CLED inLamp;
};

} // namespace VLM
