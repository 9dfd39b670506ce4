#include "dsp/ballistics.h"

#include <cmath>
#include <initializer_list>

namespace VLM {
namespace {

float Coefficient(float timeMs, float settle, float rate) {
    const float coefficient =
        std::exp(-1.0f / (((timeMs / -1000.0f) / std::log(1.0f - settle)) * rate));
    // A time of 0 at an infinite rate gives NaN, and a negative time or rate gives a coefficient
    // above 1 that would run away from the target; both become an immediate jump.
    if (!(coefficient >= 0.0f && coefficient <= 1.0f)) {
        return 0.0f;
    }
    return coefficient;
}

void SetHalf(Ballistics::Half& half, float timeMs, float rate, float settle) {
    half.rate = rate;
    half.settle = settle;
    half.timeMs = timeMs;
    half.coefficient = Coefficient(timeMs, settle, rate);
}

} // namespace

void Ballistics::Set(float riseTime, float fallTime, float rate, float settle) {
    SetHalf(rise, riseTime, rate, settle);
    SetHalf(fall, fallTime, rate, settle);
}

void Ballistics::SetRate(float rate) {
    for (Half* half : {&rise, &fall}) {
        if (half->rate != rate) {
            half->rate = rate;
            half->coefficient = Coefficient(half->timeMs, half->settle, rate);
        }
    }
}

float Ballistics::Follow(float target, float& current) const {
    if (target == current) {
        return current;
    }
    const Half& half = target > current ? rise : fall;
    if (std::fabs(current - target) <= 1.0f - half.settle) {
        current = target;
    } else {
        current = (1.0f - half.coefficient) * target + half.coefficient * current;
    }
    return current;
}

} // namespace VLM
