#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dsp/ballistics.h"

using VLM::Ballistics;

namespace {
constexpr float kRedrawRate = 49.999996f; // the float just below 50
constexpr float kSettle = 0.99f;
} // namespace

TEST(Ballistics, CoefficientsAtTheRedrawRate) {
    Ballistics b;
    b.Set(100.0f, 1000.0f, kRedrawRate, kSettle);
    EXPECT_NEAR(b.rise.coefficient, 0.398107f, 1e-6f) << "100 ms at 49.999996 steps per second";
    EXPECT_NEAR(b.fall.coefficient, 0.912011f, 1e-6f) << "1000 ms at 49.999996 steps per second";
}

TEST(Ballistics, CoefficientAtTheBlockRate) {
    Ballistics b;
    b.Set(100.0f, 100.0f, 44100.0f / 512.0f, kSettle);
    EXPECT_NEAR(b.rise.coefficient, 0.5859f, 1e-4f) << "512-frame blocks at 44 100 Hz";
    EXPECT_EQ(b.rise.coefficient, b.fall.coefficient);
}

TEST(Ballistics, ZeroTimeGivesZeroCoefficientEvenAtInfiniteRate) {
    Ballistics b;
    b.Set(0.0f, 100.0f, kRedrawRate, kSettle);
    EXPECT_EQ(b.rise.coefficient, 0.0f);
    b.SetRate(std::numeric_limits<float>::infinity());
    EXPECT_EQ(b.rise.coefficient, 0.0f) << "0 ms at an infinite rate must not become NaN";
    EXPECT_EQ(b.fall.coefficient, 1.0f) << "an infinite rate holds a timed follower still";
}

TEST(Ballistics, NegativeTimeNeverRunsAway) {
    Ballistics b;
    b.Set(-100.0f, 100.0f, kRedrawRate, kSettle);
    EXPECT_GE(b.rise.coefficient, 0.0f);
    EXPECT_LE(b.rise.coefficient, 1.0f) << "a coefficient above 1 would diverge";
}

TEST(Ballistics, FallOfOneSecondTakesFiftySteps) {
    Ballistics b;
    b.Set(0.0f, 1000.0f, kRedrawRate, kSettle);
    float current = 1.0f;
    int steps = 0;
    while (b.Follow(0.0f, current) != 0.0f && steps < 1000) {
        ++steps;
    }
    EXPECT_EQ(steps, 50) << "coefficient steps before the snap to 0";
    EXPECT_EQ(current, 0.0f);
}

TEST(Ballistics, ZeroRiseTimeJumpsToTheTarget) {
    Ballistics b;
    b.Set(0.0f, 1000.0f, kRedrawRate, kSettle);
    float current = 0.0f;
    EXPECT_EQ(b.Follow(1.0f, current), 1.0f);
    EXPECT_EQ(current, 1.0f);
}

TEST(Ballistics, EqualTargetLeavesCurrentUnchanged) {
    Ballistics b;
    b.Set(100.0f, 100.0f, kRedrawRate, kSettle);
    float current = 0.0f;
    EXPECT_EQ(b.Follow(0.0f, current), 0.0f);
    EXPECT_EQ(current, 0.0f);
    current = 0.37f;
    EXPECT_EQ(b.Follow(0.37f, current), 0.37f);
}

TEST(Ballistics, SnapsAtExactlyTheThresholdAndStepsJustAbove) {
    Ballistics b;
    b.Set(100.0f, 100.0f, kRedrawRate, kSettle);
    const float threshold = 1.0f - kSettle;
    float current = 0.0f;
    EXPECT_EQ(b.Follow(threshold, current), threshold) << "a distance of 1 - settle snaps";
    const float above = std::nextafter(threshold, 1.0f);
    current = 0.0f;
    const float stepped = b.Follow(above, current);
    EXPECT_EQ(stepped, (1.0f - b.rise.coefficient) * above)
        << "a distance just above 1 - settle takes one coefficient step";
    EXPECT_LT(stepped, above);
}

TEST(Ballistics, SetRateWithTheSameRateChangesNothing) {
    Ballistics b;
    b.Set(100.0f, 1000.0f, kRedrawRate, kSettle);
    b.rise.coefficient = 0.25f; // a marker that a recomputation would overwrite
    b.SetRate(kRedrawRate);
    EXPECT_EQ(b.rise.coefficient, 0.25f) << "an unchanged rate must not recompute";
}

TEST(Ballistics, SetRateMatchesAFreshSet) {
    Ballistics b;
    b.Set(100.0f, 1000.0f, kRedrawRate, kSettle);
    b.SetRate(48000.0f / 256.0f);
    Ballistics fresh;
    fresh.Set(100.0f, 1000.0f, 48000.0f / 256.0f, kSettle);
    EXPECT_EQ(b.rise.rate, fresh.rise.rate);
    EXPECT_EQ(b.rise.coefficient, fresh.rise.coefficient);
    EXPECT_EQ(b.fall.coefficient, fresh.fall.coefficient);
    EXPECT_EQ(b.fall.timeMs, 1000.0f) << "SetRate keeps the times";
}
