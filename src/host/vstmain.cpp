// The library's entry point. The aliases main and MAIN are given at the plug-in's link step
// (a .def file on Windows, --defsym on Linux), since test programs have a main of their own.
#include "host/vstmain.h"

#include "host/audioeffect.h"

extern "C" {

AEffect* VLM_VSTCALL VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr) {
        return nullptr;
    }
    AudioEffect* effect = nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
            return nullptr;
        }
        effect = createEffectInstance(audioMaster);
        if (effect == nullptr) {
            return nullptr;
        }
        return effect->getAeffect();
    } catch (...) {
        // An instance that was built but cannot be handed over is not left behind.
        delete effect;
        return nullptr;
    }
}

void* GetPluginFactory() {
    return nullptr;
}

} // extern "C"
