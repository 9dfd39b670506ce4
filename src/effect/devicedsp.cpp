#include "effect/devicedsp.h"

#include "device/devicegui.h"
#include "gui/exceptions.h"

#include <memory>
#include <new>

namespace VLM {

namespace {

constexpr VstInt32 kProgramCount = 2;
constexpr VstInt32 kParameterCount = Controls::kBandCount;

} // namespace

// The editor is built before the effect's bases, which take it over with ownership.
CDeviceDSP::CDeviceDSP(audioMasterCallback hostCallback)
    : CVSTDSP(hostCallback, std::make_unique<CDeviceGUI>(this), L"Velmora", L"VLM Tarvix",
              L"VLM Tarvix", kProgramCount, kParameterCount) {
    device = static_cast<CDeviceGUI*>(controlEditor);
    engine.Init(getSampleRate());
    setUniqueID(kUniqueId);
}

CDeviceDSP::~CDeviceDSP() = default;

void CDeviceDSP::Process(float** buffers, VstInt32 frames) {
    if (buffers == nullptr || frames <= 0) {
        return;
    }
    // Each control value is read once, so the whole block sees one consistent setting.
    // Unrolled: for ten reads the loop's own counting costs as much as the reads (measured).
    float faders[Controls::kBandCount];
#pragma GCC unroll 16
    for (int band = 0; band < Controls::kBandCount; ++band) {
        faders[band] = device->Fader(band).Value();
    }
    const float in = device->InButton().Value();
    engine.ProcessBlock(buffers, frames, deviceSampleRate.load(std::memory_order_relaxed), faders,
                        in);
    // The lamp follows the switch; in a block at rest it shows the switch already.
    CLED& lamp = device->InLamp();
    if (lamp.Value() != in) {
        lamp.SetValue(in);
    }
}

} // namespace VLM

// The device's creation operation, called by the entry point.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    try {
        return new VLM::CDeviceDSP(audioMaster);
    } catch (const VLM::Exceptions::Std& error) {
        VLM::Exceptions::ShowError(error, VLM::kErrorCaption);
        return nullptr;
    } catch (...) {
        // Anything else (such as running out of memory) must not reach the host either.
        return nullptr;
    }
}
