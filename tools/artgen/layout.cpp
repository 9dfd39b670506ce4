#include "layout.h"

namespace VLM::Art {

double ScaleMarkY(double decibels) {
    if (decibels == 0.0)
        return kFaderY + (CapCentreInFrame(31) + CapCentreInFrame(32)) / 2.0;
    return kFaderY + CapCentreInFrame(FaderFrameForValue((decibels + 12.0) / 24.0));
}

} // namespace VLM::Art
