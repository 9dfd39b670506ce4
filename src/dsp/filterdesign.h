#pragma once

#include <complex>
#include <cstdint>

namespace VLM {

constexpr int kEqBandCount = 10;
constexpr int kTablePositions = 25;
constexpr float kBandGainRange = 12.0f;
constexpr float kBandCentreFrequency[kEqBandCount] = {31.0f,   63.0f,   125.0f,  250.0f,  500.0f,
                                                      1000.0f, 2000.0f, 4000.0f, 8000.0f, 16000.0f};

// Gain in dB and Q of each band at each of the 25 fader positions. Stored position by position,
// as the measurements were tabulated, so a row reads across the ten bands.
struct BandShapeTable {
    float gainDb[kTablePositions][kEqBandCount];
    float q[kTablePositions][kEqBandCount];
};
extern const BandShapeTable kBandShapes;

// Gain and Q of a band interpolated at a gain position (-1..+1).
struct BandShape {
    float gainDb = 0.0f;
    float q = 0.0f;
};
BandShape BandShapeAt(std::int32_t band, float gainPosition);

// b0, b1, b2, a1, a2 of a second-order section whose a0 is 1.
struct BandCoefficients {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};
// The peaking section of a band; an identity section when no stable design exists.
BandCoefficients DesignBand(std::int32_t band, float gainPosition, float centreFrequency,
                            float sampleRate);
bool IsStable(const BandCoefficients& c);

using Complex = std::complex<double>;

// A pair whose second pole and second zero are both 0 holds one real pole and one real zero.
struct PoleZeroPair {
    Complex poles[2];
    Complex zeros[2];
    bool IsSingle() const { return poles[1] == 0.0 && zeros[1] == 0.0; }
};

struct PoleZeroLayout {
    std::int32_t numPoles = 0;
    std::int32_t maxPoles = 3;
    PoleZeroPair pairs[2];
    double normalW = 0.0;
    double normalGain = 1.0;

    void Clear();
    void AddConjugatePairs(Complex pole, Complex zero);
    void Add(Complex pole, Complex zero);
};

// Coefficients in the order a0, a1, a2, b1, b2, b0.
struct Biquad {
    double a0 = 1.0, a1 = 0.0, a2 = 0.0, b1 = 0.0, b2 = 0.0, b0 = 1.0;
};

struct BiquadCascade {
    std::int32_t numSections = 0;
    std::int32_t maxSections = 2;
    Biquad sections[2];
};

// Complex response of the cascade at a frequency given as a fraction of the sample rate.
Complex Response(const BiquadCascade& cascade, double normalisedFrequency);

constexpr double kLowPassCutoff = 21500.0;

// The third-order Butterworth output low-pass: analog prototype, its bilinear image and the
// resulting cascade. A cascade of 0 sections means the low-pass is left out.
struct OutputLowPass {
    PoleZeroLayout analog;
    std::int32_t analogOrder = -1;
    PoleZeroLayout digital;
    BiquadCascade cascade;
};
void DesignOutputLowPass(OutputLowPass& lowPass, double sampleRate);

} // namespace VLM
