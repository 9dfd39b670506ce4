#include "device/devicegui.h"

namespace VLM {

CDeviceGUI::CDeviceGUI(AudioEffect* owningEffect)
    : CVSTGUI(owningEffect),
      faders{CKnob{this, Controls::BandFader[0]}, CKnob{this, Controls::BandFader[1]},
             CKnob{this, Controls::BandFader[2]}, CKnob{this, Controls::BandFader[3]},
             CKnob{this, Controls::BandFader[4]}, CKnob{this, Controls::BandFader[5]},
             CKnob{this, Controls::BandFader[6]}, CKnob{this, Controls::BandFader[7]},
             CKnob{this, Controls::BandFader[8]}, CKnob{this, Controls::BandFader[9]}},
      inButton(this, Controls::InButton), inLamp(this, Controls::InLamp) {}

CDeviceGUI::~CDeviceGUI() {
    // The effect is being destroyed (it deletes its editor): report nothing more to it.
    effect = nullptr;
    close();
}

} // namespace VLM
