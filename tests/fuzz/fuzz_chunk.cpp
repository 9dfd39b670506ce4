// effSetChunk with any bytes and any size a host can pass with them, then effGetChunk. A model
// of the twelve control values follows every record: the first control with a record's id takes
// its value clamped into 0..1 (a NaN is refused, an unknown id skipped), and each fader whose
// value changed is reported to the host exactly once.
#include "fuzz_host.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using namespace VLM::FuzzHost;

namespace {

struct Model {
    float values[kControlCount] = {};
    int automations = 0;

    void Apply(const std::uint8_t* record) {
        std::int32_t id = 0;
        float v = 0.0f;
        std::memcpy(&id, record, 4);
        std::memcpy(&v, record + 4, 4);
        float stored = 0.0f;
        if (id < 0 || id >= kControlCount || !Clamped(v, stored) || stored == values[id]) {
            return;
        }
        values[id] = stored;
        if (id < kParameterCount) {
            ++automations;
        }
    }
};

Model ModelOf(const std::vector<std::uint8_t>& chunk) {
    Model model;
    for (VstInt32 id = 0; id < kControlCount; ++id) {
        model.values[id] = ChunkValue(chunk, id);
    }
    return model;
}

void Compare(const Model& model, const std::vector<std::uint8_t>& chunk, int automations,
             const char* what) {
    for (VstInt32 id = 0; id < kControlCount; ++id) {
        const float got = ChunkValue(chunk, id);
        if (!(got == model.values[id])) {
            Fail("after %s control %d holds %.9g, expected %.9g", what, id,
                 static_cast<double>(got), static_cast<double>(model.values[id]));
        }
    }
    if (automations != model.automations) {
        Fail("after %s the host saw %d automations, expected %d", what, automations,
             model.automations);
    }
}

// The records a host might restore: bytes straight from the input, or records built from an
// id and a value so that the ids of real controls come up often.
std::vector<std::uint8_t> ChunkBytes(Reader& in) {
    const std::uint8_t kind = in.Byte();
    if ((kind & 1) == 0) {
        return in.Bytes(in.Word() % 600);
    }
    std::vector<std::uint8_t> bytes;
    const int records = in.Byte() % 40;
    for (int r = 0; r < records && !in.Done(); ++r) {
        const std::int32_t id = in.Index();
        const float v = in.Float();
        std::uint8_t record[8];
        std::memcpy(record, &id, 4);
        std::memcpy(record + 4, &v, 4);
        bytes.insert(bytes.end(), record, record + 8);
    }
    // Now and then a tail shorter than a record.
    const std::vector<std::uint8_t> tail = in.Bytes(in.Byte() % 8);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

void RestoreOnce(Instance& fx, Reader& in) {
    const std::vector<std::uint8_t> before = CheckedChunk(fx, false);
    Model model = ModelOf(before);
    const int automationsBefore = Log().automations;

    const std::vector<std::uint8_t> bytes = ChunkBytes(in);
    const std::uint8_t how = in.Byte();
    const bool preset = (how & 1) != 0;
    // Exactly as large as the data, on the heap, so that a read past it is caught.
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    VstIntPtr size = static_cast<VstIntPtr>(bytes.size());
    void* pointer = data.get();
    if ((how & 6) == 2) {
        pointer = nullptr; // a host that has no data
    } else if ((how & 6) == 4) {
        size = -static_cast<VstIntPtr>(in.Bits32() & 0x7FFFFFFF); // a size that claims nothing
    }

    const VstIntPtr answer = fx.Dispatch(effSetChunk, preset ? 1 : 0, size, pointer);
    const bool applies = pointer != nullptr && size > 0;
    if (answer != (applies ? 1 : 0)) {
        Fail("effSetChunk of %lld bytes%s answered %lld, expected %d", static_cast<long long>(size),
             pointer == nullptr ? " at null" : "", static_cast<long long>(answer), applies ? 1 : 0);
    }
    if (applies) {
        for (std::size_t r = 0; r + 8 <= bytes.size(); r += 8) {
            model.Apply(bytes.data() + r);
        }
    }
    const std::vector<std::uint8_t> after = CheckedChunk(fx, !preset);
    Compare(model, after, Log().automations - automationsBefore, "effSetChunk");
    CheckControls(fx);

    // What the effect gave is what it takes back, unchanged and without a word to the host.
    const int automationsRoundTrip = Log().automations;
    std::vector<std::uint8_t> copy = after;
    fx.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(copy.size()), copy.data());
    Model same = ModelOf(after);
    Compare(same, CheckedChunk(fx, false), Log().automations - automationsRoundTrip,
            "restoring the effect's own chunk");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Instance& fx = Instance::Reused();
    for (int step = 0; step < 16 && !in.Done(); ++step) {
        RestoreOnce(fx, in);
    }
    return 0;
}
