// The equaliser effect: joins the engine to the controls of its editor. Once per block it
// reads the ten faders and the IN switch, lets the engine filter, and lights the IN lamp.
#pragma once

#include "dsp/eqcore.h"
#include "effect/cvstdsp.h"

namespace VLM {

class CDeviceGUI;

class CDeviceDSP : public CVSTDSP {
public:
    // Throws what the editor's construction throws. [construction]
    explicit CDeviceDSP(audioMasterCallback hostCallback);
    ~CDeviceDSP() override;

    // [audio thread] Filters the two output channels in place.
    void Process(float** buffers, VstInt32 frames) override;

    // The four-character code hosts identify the effect by.
    static constexpr VstInt32 kUniqueId = FourCharCode('V', 'L', 'M', '1');

private:
    CDeviceGUI* device = nullptr; // the editor object, owned by the effect base
    EqCore engine;
};

} // namespace VLM
