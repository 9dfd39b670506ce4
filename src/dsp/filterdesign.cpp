#include "dsp/filterdesign.h"

#include <cmath>
#include <limits>

namespace VLM {

constexpr BandShapeTable kBandShapes = {
    {
        {-12.05f, -12.2f, -12.1f, -12.17f, -11.9f, -12.34f, -12.3f, -12.2f, -12.68f, -13.33f}, // 0
        {-8.05f, -8.09f, -7.75f, -7.75f, -7.53f, -7.8f, -7.75f, -7.7f, -8.31f, -8.76f},        // 1
        {-5.9f, -5.92f, -5.55f, -5.55f, -5.39f, -5.56f, -5.51f, -5.51f, -6.07f, -6.41f},       // 2
        {-4.55f, -4.6f, -4.21f, -4.21f, -4.1f, -4.22f, -4.25f, -4.17f, -4.68f, -4.93f},        // 3
        {-3.62f, -3.65f, -3.3f, -3.3f, -3.19f, -3.3f, -3.25f, -3.25f, -3.7f, -3.9f},           // 4
        {-2.9f, -2.92f, -2.61f, -2.6f, -2.5f, -2.6f, -2.6f, -2.57f, -2.95f, -3.1f},            // 5
        {-2.32f, -2.35f, -2.09f, -2.09f, -2.0f, -2.06f, -2.06f, -2.03f, -2.35f, -2.47f},       // 6
        {-1.85f, -1.85f, -1.62f, -1.62f, -1.55f, -1.62f, -1.62f, -1.6f, -1.85f, -1.94f},       // 7
        {-1.4f, -1.4f, -1.25f, -1.25f, -1.19f, -1.23f, -1.23f, -1.22f, -1.42f, -1.48f},        // 8
        {-1.05f, -1.05f, -0.9f, -0.9f, -0.85f, -0.9f, -0.9f, -0.88f, -1.04f, -1.08f},          // 9
        {-0.7f, -0.7f, -0.6f, -0.6f, -0.55f, -0.56f, -0.56f, -0.57f, -0.68f, -0.7f},           // 10
        {-0.35f, -0.35f, -0.3f, -0.3f, -0.28f, -0.3f, -0.3f, -0.3f, -0.34f, -0.35f},           // 11
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},                          // 12
        {0.3f, 0.3f, 0.28f, 0.28f, 0.28f, 0.28f, 0.28f, 0.21f, 0.2f, 0.22f},                   // 13
        {0.65f, 0.65f, 0.56f, 0.56f, 0.56f, 0.54f, 0.54f, 0.3f, 0.26f, 0.31f},                 // 14
        {1.0f, 1.0f, 0.88f, 0.88f, 0.85f, 0.77f, 0.77f, 0.41f, 0.35f, 0.42f},                  // 15
        {1.4f, 1.4f, 1.21f, 1.21f, 1.12f, 1.03f, 1.03f, 0.55f, 0.45f, 0.55f},                  // 16
        {1.8f, 1.8f, 1.6f, 1.6f, 1.45f, 1.34f, 1.0f, 0.72f, 0.57f, 0.7f},                      // 17
        {2.3f, 2.3f, 2.1f, 2.1f, 1.82f, 1.73f, 1.3f, 0.96f, 0.77f, 0.9f},                      // 18
        {2.88f, 2.9f, 2.54f, 2.55f, 2.35f, 2.2f, 1.77f, 1.3f, 1.03f, 1.19f},                   // 19
        {3.6f, 3.61f, 3.2f, 3.21f, 2.95f, 2.87f, 2.4f, 1.8f, 1.43f, 1.58f},                    // 20
        {4.52f, 4.55f, 4.1f, 4.15f, 3.84f, 3.76f, 3.3f, 2.57f, 2.08f, 2.2f},                   // 21
        {5.88f, 5.9f, 5.45f, 5.45f, 5.15f, 5.12f, 4.6f, 3.85f, 3.25f, 3.25f},                  // 22
        {8.0f, 8.05f, 7.62f, 7.65f, 7.3f, 7.4f, 6.9f, 6.2f, 5.57f, 5.3f},                      // 23
        {12.0f, 12.0f, 12.0f, 12.0f, 11.75f, 12.0f, 11.8f, 11.15f, 10.13f, 10.03f},            // 24
    },
    {
        {0.74f, 0.86f, 0.54f, 0.8f, 0.74f, 0.64f, 0.59f, 0.73f, 0.65f, 0.3f},   // 0
        {0.58f, 0.67f, 0.39f, 0.57f, 0.49f, 0.45f, 0.39f, 0.51f, 0.53f, 0.23f}, // 1
        {0.49f, 0.55f, 0.33f, 0.43f, 0.39f, 0.36f, 0.28f, 0.4f, 0.42f, 0.21f},  // 2
        {0.41f, 0.53f, 0.29f, 0.38f, 0.33f, 0.3f, 0.25f, 0.35f, 0.38f, 0.19f},  // 3
        {0.37f, 0.42f, 0.26f, 0.31f, 0.28f, 0.3f, 0.25f, 0.28f, 0.35f, 0.19f},  // 4
        {0.37f, 0.42f, 0.26f, 0.31f, 0.28f, 0.25f, 0.19f, 0.25f, 0.32f, 0.16f}, // 5
        {0.37f, 0.4f, 0.23f, 0.31f, 0.28f, 0.25f, 0.19f, 0.25f, 0.3f, 0.16f},   // 6
        {0.31f, 0.4f, 0.2f, 0.31f, 0.28f, 0.25f, 0.19f, 0.21f, 0.25f, 0.15f},   // 7
        {0.31f, 0.4f, 0.2f, 0.28f, 0.28f, 0.25f, 0.1f, 0.21f, 0.25f, 0.14f},    // 8
        {0.31f, 0.4f, 0.17f, 0.2f, 0.2f, 0.22f, 0.1f, 0.21f, 0.25f, 0.12f},     // 9
        {0.31f, 0.38f, 0.15f, 0.2f, 0.2f, 0.22f, 0.1f, 0.17f, 0.25f, 0.12f},    // 10
        {0.31f, 0.38f, 0.15f, 0.2f, 0.2f, 0.22f, 0.1f, 0.17f, 0.21f, 0.12f},    // 11
        {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},           // 12
        {0.31f, 0.38f, 0.15f, 0.2f, 0.2f, 0.22f, 0.1f, 0.17f, 0.21f, 0.12f},    // 13
        {0.31f, 0.38f, 0.15f, 0.2f, 0.2f, 0.22f, 0.1f, 0.17f, 0.25f, 0.12f},    // 14
        {0.31f, 0.4f, 0.17f, 0.2f, 0.2f, 0.22f, 0.1f, 0.21f, 0.25f, 0.12f},     // 15
        {0.31f, 0.4f, 0.2f, 0.28f, 0.28f, 0.25f, 0.1f, 0.21f, 0.25f, 0.14f},    // 16
        {0.31f, 0.4f, 0.2f, 0.31f, 0.28f, 0.25f, 0.19f, 0.21f, 0.25f, 0.15f},   // 17
        {0.37f, 0.4f, 0.23f, 0.31f, 0.28f, 0.25f, 0.19f, 0.25f, 0.3f, 0.15f},   // 18
        {0.37f, 0.42f, 0.26f, 0.31f, 0.28f, 0.25f, 0.19f, 0.25f, 0.32f, 0.15f}, // 19
        {0.37f, 0.42f, 0.26f, 0.31f, 0.28f, 0.3f, 0.25f, 0.28f, 0.32f, 0.15f},  // 20
        {0.41f, 0.53f, 0.29f, 0.38f, 0.33f, 0.3f, 0.25f, 0.3f, 0.32f, 0.15f},   // 21
        {0.49f, 0.55f, 0.33f, 0.43f, 0.39f, 0.36f, 0.28f, 0.33f, 0.34f, 0.15f}, // 22
        {0.58f, 0.67f, 0.39f, 0.57f, 0.49f, 0.45f, 0.39f, 0.43f, 0.34f, 0.15f}, // 23
        {0.74f, 0.86f, 0.54f, 0.8f, 0.74f, 0.64f, 0.59f, 0.53f, 0.55f, 0.3f},   // 24
    },
};

namespace {

constexpr float kLastPosition = static_cast<float>(kTablePositions - 1);
// Centre frequencies are kept below 0.45 of the sample rate: at or above half the rate the
// peaking design turns unstable, and close below it the section degenerates.
constexpr float kMaxBandW = 2.8274334f;
constexpr double kPi = 3.14159265358979323846;

bool IsInfinite(Complex c) {
    return std::isinf(c.real());
}

} // namespace

BandShape BandShapeAt(std::int32_t band, float gainPosition) {
    if (band < 0 || band >= kEqBandCount) {
        return {};
    }
    float p = (gainPosition + 1.0f) * kBandGainRange;
    // Whatever reaches here, the reads stay inside the table; NaN reads the flat centre.
    if (std::isnan(p)) {
        p = kBandGainRange;
    }
    if (p < 0.0f) {
        p = 0.0f;
    }
    if (p > kLastPosition) {
        p = kLastPosition;
    }
    const int i = static_cast<int>(p);
    const int j = i < kTablePositions - 1 ? i + 1 : i;
    const float t = p - static_cast<float>(i);
    const auto& g = kBandShapes.gainDb;
    const auto& q = kBandShapes.q;
    BandShape shape;
    shape.gainDb = g[i][band] + (g[j][band] - g[i][band]) * t;
    shape.q = q[i][band] + (q[j][band] - q[i][band]) * t;
    return shape;
}

bool IsStable(const BandCoefficients& c) {
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) &&
           std::isfinite(c.a1) && std::isfinite(c.a2) && std::fabs(c.a2) < 1.0f &&
           std::fabs(c.a1) < 1.0f + c.a2;
}

BandCoefficients DesignBand(std::int32_t band, float gainPosition, float centreFrequency,
                            float sampleRate) {
    const BandShape shape = BandShapeAt(band, gainPosition);
    // At the flat centre the table's Q is 0 and the design has no finite result.
    if (!(shape.q > 0.0f)) {
        return {};
    }
    float w = (centreFrequency * 6.2831855f) / sampleRate;
    if (!(w < kMaxBandW)) {
        w = kMaxBandW;
    }
    if (!(w > 0.0f)) {
        return {};
    }
    const float sn = std::sin(w);
    const float cs = std::cos(w);
    const float alpha = sn / (shape.q + shape.q);
    const float a = std::pow(10.0f, shape.gainDb / 40.0f);
    const float d = 1.0f + alpha / a;
    BandCoefficients c;
    c.b0 = (1.0f + alpha * a) / d;
    c.b1 = (-2.0f * cs) / d;
    c.b2 = (1.0f - alpha * a) / d;
    c.a1 = c.b1;
    c.a2 = (1.0f - alpha / a) / d;
    // Extreme sample rates can still round a pole onto the unit circle; such a band is left out.
    if (!IsStable(c)) {
        return {};
    }
    return c;
}

void PoleZeroLayout::Clear() {
    numPoles = 0;
    for (PoleZeroPair& pair : pairs) {
        pair = PoleZeroPair{};
    }
}

void PoleZeroLayout::AddConjugatePairs(Complex pole, Complex zero) {
    if (numPoles + 2 > maxPoles) {
        return;
    }
    PoleZeroPair& pair = pairs[numPoles / 2];
    pair.poles[0] = pole;
    pair.poles[1] = std::conj(pole);
    pair.zeros[0] = zero;
    pair.zeros[1] = std::conj(zero);
    numPoles += 2;
}

void PoleZeroLayout::Add(Complex pole, Complex zero) {
    if (numPoles + 1 > maxPoles) {
        return;
    }
    PoleZeroPair& pair = pairs[numPoles / 2];
    pair.poles[0] = pole;
    pair.poles[1] = 0.0;
    pair.zeros[0] = zero;
    pair.zeros[1] = 0.0;
    numPoles += 1;
}

Complex Response(const BiquadCascade& cascade, double normalisedFrequency) {
    const double w = 2.0 * kPi * normalisedFrequency;
    const Complex czn1 = std::polar(1.0, -w);
    const Complex czn2 = std::polar(1.0, -2.0 * w);
    Complex response = 1.0;
    for (std::int32_t s = 0; s < cascade.numSections && s < cascade.maxSections; ++s) {
        const Biquad& q = cascade.sections[s];
        const Complex top = q.b0 / q.a0 + (q.b1 / q.a0) * czn1 + (q.b2 / q.a0) * czn2;
        const Complex bottom = 1.0 + (q.a1 / q.a0) * czn1 + (q.a2 / q.a0) * czn2;
        response *= top / bottom;
    }
    return response;
}

namespace {

// Second-order polynomial 1 + c1 z^-1 + c2 z^-2 with the roots r1, r2.
void FromRoots(Complex r1, Complex r2, double& c1, double& c2) {
    if (r1.imag() != 0.0) {
        c1 = -2.0 * r1.real();
        c2 = std::norm(r1);
    } else {
        c1 = -(r1.real() + r2.real());
        c2 = r1.real() * r2.real();
    }
}

Biquad SectionOf(const PoleZeroPair& pair) {
    Biquad s;
    if (pair.IsSingle()) {
        s.a1 = -pair.poles[0].real();
        s.b1 = -pair.zeros[0].real();
    } else {
        FromRoots(pair.poles[0], pair.poles[1], s.a1, s.a2);
        FromRoots(pair.zeros[0], pair.zeros[1], s.b1, s.b2);
    }
    return s;
}

bool IsStable(const Biquad& s) {
    return std::isfinite(s.b0) && std::isfinite(s.b1) && std::isfinite(s.b2) &&
           std::isfinite(s.a1) && std::isfinite(s.a2) && std::fabs(s.a2) < 1.0 &&
           std::fabs(s.a1) < 1.0 + s.a2;
}

void LeaveOut(OutputLowPass& lowPass) {
    lowPass.digital.Clear();
    lowPass.cascade.numSections = 0;
}

} // namespace

void DesignOutputLowPass(OutputLowPass& lowPass, double sampleRate) {
    constexpr std::int32_t kOrder = 3;
    if (lowPass.analogOrder != kOrder) {
        const Complex infinity(std::numeric_limits<double>::infinity(), 0.0);
        lowPass.analog.Clear();
        lowPass.analog.AddConjugatePairs(
            Complex(std::cos(2.0 * kPi / 3.0), std::sin(2.0 * kPi / 3.0)), infinity);
        lowPass.analog.Add(-1.0, infinity);
        lowPass.analog.normalW = 0.0;
        lowPass.analog.normalGain = 1.0;
        lowPass.analogOrder = kOrder;
    }

    // With the cutoff at or above half the sample rate there is nothing above it to remove, and
    // the bilinear image would put poles on or outside the unit circle: the low-pass is left out.
    if (!(sampleRate > 2.0 * kLowPassCutoff) || !std::isfinite(sampleRate)) {
        LeaveOut(lowPass);
        return;
    }
    const double f = std::tan(kPi * kLowPassCutoff / sampleRate);
    if (!(f > 0.0) || !std::isfinite(f)) {
        LeaveOut(lowPass);
        return;
    }
    const auto transform = [f](Complex c) {
        return IsInfinite(c) ? Complex(-1.0, 0.0) : (1.0 + f * c) / (1.0 - f * c);
    };

    PoleZeroLayout& digital = lowPass.digital;
    digital.Clear();
    const PoleZeroLayout& analog = lowPass.analog;
    for (std::int32_t i = 0; i < (analog.numPoles + 1) / 2; ++i) {
        const PoleZeroPair& pair = analog.pairs[i];
        if (pair.IsSingle()) {
            digital.Add(transform(pair.poles[0]), transform(pair.zeros[0]));
        } else {
            digital.AddConjugatePairs(transform(pair.poles[0]), transform(pair.zeros[0]));
        }
    }
    digital.normalW = analog.normalW;
    digital.normalGain = analog.normalGain;

    BiquadCascade& cascade = lowPass.cascade;
    cascade.numSections = (digital.numPoles + 1) / 2;
    for (std::int32_t i = 0; i < cascade.numSections; ++i) {
        cascade.sections[i] = SectionOf(digital.pairs[i]);
    }
    const double gain =
        digital.normalGain / std::abs(Response(cascade, digital.normalW / (2.0 * kPi)));
    cascade.sections[0].b0 *= gain;
    cascade.sections[0].b1 *= gain;
    cascade.sections[0].b2 *= gain;

    for (std::int32_t i = 0; i < cascade.numSections; ++i) {
        if (!IsStable(cascade.sections[i])) {
            LeaveOut(lowPass);
            return;
        }
    }
}

} // namespace VLM
