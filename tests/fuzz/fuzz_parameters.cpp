// setParameter and getParameter with any index and any float, and the parameter texts for any
// index. A model of the twelve control values follows every write: ids 0..11 take the value
// clamped into 0..1 and a NaN is refused; any other index reads 0 and changes nothing; a changed
// fader is reported to the host exactly once, with its new value; the IN button and the lamp,
// which lie beyond the announced parameters, are not reported.
#include "fuzz_host.h"

#include <cstring>

using namespace VLM::FuzzHost;

namespace {

struct Model {
    float values[kControlCount] = {};
};

void CheckModel(Instance& fx, const Model& model, const char* what) {
    for (VstInt32 id = 0; id < kControlCount; ++id) {
        const float got = fx.GetParameter(id);
        if (!(got == model.values[id])) {
            Fail("after %s control %d reads %.9g, expected %.9g", what, id,
                 static_cast<double>(got), static_cast<double>(model.values[id]));
        }
    }
}

void Write(Instance& fx, Model& model, VstInt32 index, float v) {
    const int before = Log().automations;
    fx.SetParameter(index, v);
    float stored = 0.0f;
    const bool known = index >= 0 && index < kControlCount;
    const bool changes = known && Clamped(v, stored) && !(stored == model.values[index]);
    if (changes) {
        model.values[index] = stored;
    }
    const int expected = changes && index < kParameterCount ? 1 : 0;
    const int reported = Log().automations - before;
    if (reported != expected) {
        Fail("setParameter(%d, %.9g) was reported %d times, expected %d", index,
             static_cast<double>(v), reported, expected);
    }
    if (expected == 1 && (Log().lastIndex != index || !(Log().lastValue == stored))) {
        Fail("setParameter(%d, %.9g) was reported as (%d, %.9g), expected (%d, %.9g)", index,
             static_cast<double>(v), Log().lastIndex, static_cast<double>(Log().lastValue), index,
             static_cast<double>(stored));
    }
    CheckModel(fx, model, "setParameter");
}

void Read(Instance& fx, const Model& model, VstInt32 index) {
    const float got = fx.GetParameter(index);
    const float expected = index >= 0 && index < kControlCount ? model.values[index] : 0.0f;
    if (!(got == expected)) {
        Fail("getParameter(%d) answered %.9g, expected %.9g", index, static_cast<double>(got),
             static_cast<double>(expected));
    }
}

void Texts(Instance& fx, VstInt32 index) {
    const bool fader = index >= 0 && index < kInButton;
    for (VstInt32 opcode : {effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        const auto text = CheckedText(fx, opcode, index, 0, TextBufferBytes(opcode));
        // A fader always has a name, a unit and a read-out; no control means empty texts.
        if (fader && text.empty()) {
            Fail("opcode %d gave an empty text for fader %d", opcode, index);
        }
        if (index < 0 || index >= kControlCount) {
            if (!text.empty()) {
                Fail("opcode %d gave \"%.*s\" for index %d, which has no control, expected an "
                     "empty text",
                     opcode, static_cast<int>(text.size()), text.data(), index);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Instance& fx = Instance::Reused();
    Model model;
    for (VstInt32 id = 0; id < kControlCount; ++id) {
        model.values[id] = fx.GetParameter(id);
    }
    CheckControls(fx);
    for (int step = 0; step < 256 && !in.Done(); ++step) {
        const std::uint8_t op = in.Byte() % 4;
        const VstInt32 index = in.Index();
        switch (op) {
        case 0:
        case 1:
            Write(fx, model, index, in.Float());
            break;
        case 2:
            Read(fx, model, index);
            break;
        default:
            Texts(fx, index);
            break;
        }
    }
    return 0;
}
