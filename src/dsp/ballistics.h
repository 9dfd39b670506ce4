#pragma once

namespace VLM {

// One-pole follower with separate rise and fall times and a snap threshold; one Follow step per
// audio block in the engine, one per redraw in a control.
struct Ballistics {
    struct Half {
        float rate = 0, settle = 0, timeMs = 0, coefficient = 0;
    };
    Half rise, fall;

    void Set(float riseTime, float fallTime, float rate, float settle);
    // Recomputes only a half whose rate differs, so repeated calls with the same rate are free.
    void SetRate(float rate);
    // Moves current one step toward target, in place, and returns the new value.
    float Follow(float target, float& current) const;
};

} // namespace VLM
