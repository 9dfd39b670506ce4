// processReplacing with any audio (NaN, infinities, subnormals and huge values included), any
// block length, in place or into separate buffers, interleaved with sample-rate and block-size
// changes, IN toggles and parameter writes. Checked after every block:
// - with IN off the output is the input, bit for bit;
// - with IN on the output is finite whenever the block's input is ordinary audio, unless the
//   session has had input beyond kOrdinaryLimit;
// - the lamp shows the IN button's value from the block on; a block of no frames changes nothing;
// - every control value stays in 0..1.
#include "fuzz_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace VLM::FuzzHost;

namespace {

// Ordinary audio: finite, and no louder than 240 dB above full scale, which ten bands of +12 dB
// cannot carry past the single-precision range.
constexpr float kOrdinaryLimit = 1e12f;
// The engine clears any band or low-pass state that is not finite at the end of the block, so a
// NaN or an infinity is gone with its own block: the next block of ordinary input must come out
// finite. A finite value beyond kOrdinaryLimit may overflow on the way through the bands, and
// what it leaves in a filter's state is not cleared; it may stay there for long (a filter that a
// sample rate leaves out keeps its state as it was), so the rest of such a session is not held
// to finite output.

constexpr VstInt32 kMaxFrames = 4096;

struct Signal {
    std::vector<float> left;
    std::vector<float> right;
};

float Amplitude(std::uint8_t selector) {
    static const float table[] = {1.0f, 0.5f, 1e-3f, 1e-20f, 1e-38f, 1e-42f, 8.0f, 1e5f};
    return table[selector % (sizeof table / sizeof table[0])];
}

// A small generator of noise, the same on every machine.
float NextNoise(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
}

Signal MakeSignal(Reader& in, VstInt32 frames) {
    Signal s;
    s.left.resize(static_cast<std::size_t>(frames));
    s.right.resize(static_cast<std::size_t>(frames));
    const std::uint8_t kind = in.Byte() % 6;
    const float amplitude = Amplitude(in.Byte());
    std::uint32_t noise = in.Bits32();
    const float step = 0.0001f + static_cast<float>(in.Byte()) * 0.012f;
    for (VstInt32 i = 0; i < frames; ++i) {
        const auto k = static_cast<std::size_t>(i);
        switch (kind) {
        case 0: // silence
            s.left[k] = s.right[k] = 0.0f;
            break;
        case 1: // a sine, and a cosine on the right
            s.left[k] = amplitude * std::sin(step * static_cast<float>(i));
            s.right[k] = amplitude * std::cos(step * static_cast<float>(i));
            break;
        case 2: // noise
            s.left[k] = amplitude * NextNoise(noise);
            s.right[k] = amplitude * NextNoise(noise);
            break;
        case 3: // an impulse
            s.left[k] = s.right[k] = i == 0 ? amplitude : 0.0f;
            break;
        case 4: // any bit patterns the input holds, silence after them
            s.left[k] = in.Left() >= 4 ? [&] {
                const std::uint32_t bits = in.Bits32();
                float f = 0.0f;
                std::memcpy(&f, &bits, sizeof f);
                return f;
            }()
                                       : 0.0f;
            s.right[k] = s.left[k];
            break;
        default: // a constant
            s.left[k] = amplitude;
            s.right[k] = -amplitude;
            break;
        }
    }
    // A few awkward samples scattered over the block.
    const int sprinkled = in.Byte() % 4;
    for (int n = 0; n < sprinkled && frames > 0; ++n) {
        const auto at = static_cast<std::size_t>(in.Word() % frames);
        const float v = in.Float();
        ((in.Byte() & 1) != 0 ? s.left : s.right)[at] = v;
    }
    return s;
}

bool Ordinary(float x) {
    return std::fabs(x) <= kOrdinaryLimit;
}

bool Huge(float x) {
    return std::isfinite(x) && !Ordinary(x);
}

class Session {
public:
    void Block(Reader& in) {
        const std::uint8_t lengthKind = in.Byte();
        VstInt32 frames = 0;
        switch (lengthKind % 5) {
        case 0:
            frames = 512;
            break;
        case 1:
            frames = 1 + in.Byte() % 16;
            break;
        case 2:
            frames = 0;
            break;
        default:
            frames = 1 + in.Word() % kMaxFrames;
            break;
        }
        const Signal input = MakeSignal(in, frames);
        const bool inPlace = (in.Byte() & 1) != 0;
        Signal output = input;
        if (!inPlace) {
            // Separate output buffers hold leftovers of an earlier block, as in a host.
            std::fill(output.left.begin(), output.left.end(), 123.0f);
            std::fill(output.right.begin(), output.right.end(), -123.0f);
        }
        Signal source = input;
        float* inputs[2] = {source.left.data(), source.right.data()};
        float* outputs[2] = {output.left.data(), output.right.data()};
        float** from = inPlace ? outputs : inputs;

        const float inValue = fx.GetParameter(kInButton);
        const float lampBefore = fx.GetParameter(kInLamp);
        fx.Record()->processReplacing(fx.Record(), from, outputs, frames);

        if (frames == 0) {
            if (!(fx.GetParameter(kInLamp) == lampBefore)) {
                Fail("a block of 0 frames changed the lamp from %.9g to %.9g",
                     static_cast<double>(lampBefore),
                     static_cast<double>(fx.GetParameter(kInLamp)));
            }
            return;
        }
        if (!(fx.GetParameter(kInLamp) == inValue)) {
            Fail("after a block the lamp reads %.9g, expected the IN button's %.9g",
                 static_cast<double>(fx.GetParameter(kInLamp)), static_cast<double>(inValue));
        }
        if (!inPlace) {
            for (std::size_t i = 0; i < source.left.size(); ++i) {
                if (std::memcmp(&source.left[i], &input.left[i], sizeof(float)) != 0 ||
                    std::memcmp(&source.right[i], &input.right[i], sizeof(float)) != 0) {
                    Fail("frame %zu of the input buffers was changed, expected them untouched", i);
                }
            }
        }
        if (inValue == 0.0f) {
            for (std::size_t i = 0; i < output.left.size(); ++i) {
                if (std::memcmp(&output.left[i], &input.left[i], sizeof(float)) != 0 ||
                    std::memcmp(&output.right[i], &input.right[i], sizeof(float)) != 0) {
                    Fail("IN off: frame %zu came out as %.9g %.9g from %.9g %.9g, expected the "
                         "input bit for bit",
                         i, static_cast<double>(output.left[i]),
                         static_cast<double>(output.right[i]), static_cast<double>(input.left[i]),
                         static_cast<double>(input.right[i]));
                }
            }
        }
        bool ordinary = true;
        for (std::size_t i = 0; i < input.left.size(); ++i) {
            ordinary = ordinary && Ordinary(input.left[i]) && Ordinary(input.right[i]);
            hadHugeInput = hadHugeInput || Huge(input.left[i]) || Huge(input.right[i]);
        }
        if (ordinary && !hadHugeInput && inValue != 0.0f) {
            for (std::size_t i = 0; i < output.left.size(); ++i) {
                if (!std::isfinite(output.left[i]) || !std::isfinite(output.right[i])) {
                    Fail("frame %zu of a block of %d came out as %.9g %.9g from %.9g %.9g, "
                         "expected finite audio",
                         i, frames, static_cast<double>(output.left[i]),
                         static_cast<double>(output.right[i]), static_cast<double>(input.left[i]),
                         static_cast<double>(input.right[i]));
                }
            }
        }
    }

    void Step(Reader& in) {
        switch (in.Byte() % 8) {
        case 0:
        case 1:
        case 2:
            Block(in);
            break;
        case 3: // a fader or any control written as automation
            fx.SetParameter(in.Index(), in.Float());
            break;
        case 4: // the IN switch
            fx.SetParameter(kInButton, (in.Byte() & 1) != 0 ? 1.0f : 0.0f);
            break;
        case 5:
            fx.Dispatch(effSetSampleRate, 0, 0, nullptr, in.Float());
            break;
        case 6:
            fx.Dispatch(effSetBlockSize, 0, in.Value());
            break;
        default:
            fx.Dispatch(effMainsChanged, 0, in.Byte() & 1);
            break;
        }
        CheckControls(fx);
    }

private:
    Instance fx;
    bool hadHugeInput = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Session session;
    for (int step = 0; step < 64 && !in.Done(); ++step) {
        session.Step(in);
    }
    return 0;
}
