#pragma once

#include <cstddef>

namespace VLM::Art {

// The editor's geometry as the plug-in places its controls; the artwork is drawn to it.
constexpr int kEditorWidth = 900;
constexpr int kEditorHeight = 258;

constexpr int kBandCount = 10;
constexpr int kFaderX[kBandCount] = {141, 205, 269, 334, 399, 463, 528, 592, 657, 721};
constexpr int kFaderY = 33;
constexpr int kFaderFrameWidth = 50;
constexpr int kFaderFrameHeight = 235;
constexpr int kFaderFrames = 64;
constexpr int kFaderColumns = 18;
constexpr double kCapWidth = 40.0;
constexpr double kCapHeight = 36.0;

constexpr int kButtonX = 813;
constexpr int kButtonY = 129;
constexpr int kButtonSize = 60;
constexpr int kLampX = 815;
constexpr int kLampY = 50;
constexpr int kLampSize = 50;

constexpr int kKnobFrameSize = 67;
constexpr int kKnobFrames = 61;
constexpr int kKnobColumns = 8;
constexpr double kKnobSweepDegrees = 135.0;

// Where the cap's centre lies below the top of fader frame k (0 = -12 dB, 63 = +12 dB).
constexpr double CapCentreInFrame(int frame) {
    return 169.5 - 145.0 * static_cast<double>(frame) / (kFaderFrames - 1);
}

// The frame a fader shows for a normalised value.
constexpr int FaderFrameForValue(double value) {
    return static_cast<int>((kFaderFrames - 1) * value);
}

// The editor height of the scale mark for a gain, where the cap stands when set to it. The
// 0 dB mark sits between the two middle frames, so that it reads as the centre of the travel.
double ScaleMarkY(double decibels);

// The button and the lamp share one vertical axis on the faceplate.
constexpr double kSwitchAxisX = kButtonX + kButtonSize / 2.0;

// Pointer angle of knob frame k, in degrees clockwise from straight up.
constexpr double KnobAngleDegrees(int frame) {
    return -kKnobSweepDegrees + 2.0 * kKnobSweepDegrees * static_cast<double>(frame) /
                                    static_cast<double>(kKnobFrames - 1);
}

// Top-left corner of frame k in a filmstrip laid out row by row.
struct FrameOrigin {
    int x;
    int y;
};
constexpr FrameOrigin FrameAt(int frame, int columns, int frameWidth, int frameHeight) {
    return {(frame % columns) * frameWidth, (frame / columns) * frameHeight};
}

} // namespace VLM::Art
