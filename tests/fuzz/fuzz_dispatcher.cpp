// The dispatcher with any opcode, index, value and opt, each request given the buffer a host
// gives it: texts exactly as large as the interface documents them, pointer slots for the
// requests that hand a pointer back, the editor opened with no parent window. After every
// request the controls must still hold values in 0..1; at the end the effect must still turn
// ordinary audio into finite audio.
#include "fuzz_host.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

using namespace VLM::FuzzHost;

namespace {

VstInt32 Opcode(Reader& in) {
    const std::uint8_t selector = in.Byte();
    if (selector < 160) {
        return selector % 82; // every published opcode and the two after the last
    }
    if (selector < 240) {
        return static_cast<VstInt32>(selector) - 300; // negative opcodes
    }
    return static_cast<VstInt32>(in.Bits32());
}

// A zero-terminated text on the heap, exactly as long as it is.
std::unique_ptr<char[]> HeapText(const std::vector<char>& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    copy[text.size()] = '\0';
    return copy;
}

constexpr std::uint8_t kReopen = 0x5A;

// Room for any of the published structures a request may point at; the effect answers those
// requests without looking inside, and a zeroed record is what a careful host passes.
constexpr std::size_t kStructureBytes = 512;

void SetChunk(Instance& fx, Reader& in, VstInt32 index) {
    const std::vector<std::uint8_t> bytes = in.Bytes(in.Word() % 400);
    std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    // The size is the buffer's or one that claims nothing; a host never claims more than it
    // passes.
    const bool claimNothing = (in.Byte() & 7) == 0;
    const VstIntPtr size =
        claimNothing ? -static_cast<VstIntPtr>(in.Byte()) : static_cast<VstIntPtr>(bytes.size());
    const VstIntPtr answer = fx.Dispatch(effSetChunk, index, size, data.get());
    const VstIntPtr expected = size > 0 ? 1 : 0;
    if (answer != expected) {
        Fail("effSetChunk of %lld bytes answered %lld, expected %lld", static_cast<long long>(size),
             static_cast<long long>(answer), static_cast<long long>(expected));
    }
}

void EditGetRect(Instance& fx, VstInt32 index, VstIntPtr value, float opt) {
    std::unique_ptr<ERect*> slot(new ERect*(nullptr));
    if (fx.Dispatch(effEditGetRect, index, value, slot.get(), opt) == 0) {
        return;
    }
    const ERect* rect = *slot;
    if (rect == nullptr) {
        Fail("effEditGetRect answered 1 with a null rectangle");
    }
    if (rect->right - rect->left != 900 || rect->bottom - rect->top != 258) {
        Fail("effEditGetRect gave %dx%d, expected 900x258", rect->right - rect->left,
             rect->bottom - rect->top);
    }
}

void SpeakerArrangements(Instance& fx, Reader& in, VstInt32 opcode, VstInt32 index, float opt) {
    const std::uint8_t which = in.Byte();
    if (opcode == effGetSpeakerArrangement) {
        std::unique_ptr<void*> input(new void*(reinterpret_cast<void*>(0x1)));
        std::unique_ptr<void*> output(new void*(reinterpret_cast<void*>(0x1)));
        const auto value = (which & 1) ? reinterpret_cast<VstIntPtr>(input.get()) : 0;
        void* ptr = (which & 2) ? output.get() : nullptr;
        if (fx.Dispatch(opcode, index, value, ptr, opt) == 0) {
            return;
        }
        if (*input == nullptr || *output == nullptr) {
            Fail("effGetSpeakerArrangement answered 1 without both arrangements");
        }
        return;
    }
    auto arrangement = std::make_unique<VstSpeakerArrangement>();
    std::memset(arrangement.get(), 0, sizeof(VstSpeakerArrangement));
    arrangement->type = static_cast<VstInt32>(in.Bits32());
    arrangement->numChannels = in.Byte() % 9;
    const auto value = (which & 1) ? reinterpret_cast<VstIntPtr>(arrangement.get()) : 0;
    void* ptr = (which & 2) ? arrangement.get() : nullptr;
    fx.Dispatch(opcode, index, value, ptr, opt);
}

void OneRequest(Instance& fx, Reader& in) {
    const VstInt32 opcode = Opcode(in);
    const VstInt32 index = in.Index();
    const VstIntPtr value = in.Value();
    const float opt = in.Float();

    if (const std::size_t bytes = TextBufferBytes(opcode)) {
        CheckedText(fx, opcode, index, value, bytes);
        return;
    }
    switch (opcode) {
    case effClose:
        // Only on a byte of its own: a new instance costs as much as a thousand requests, and
        // the fuzzer's favourite bytes (0, 1, 255) would make it the common case.
        if (in.Byte() == kReopen) {
            fx.Reopen();
        }
        return;
    case effEditOpen:
        // No parent window: nothing here may open one.
        fx.Dispatch(opcode, index, value, nullptr, opt);
        return;
    case effEditGetRect:
        EditGetRect(fx, index, value, opt);
        return;
    case effGetChunk:
        CheckedChunk(fx, index != 0);
        return;
    case effSetChunk:
        SetChunk(fx, in, index);
        return;
    case effSetProgramName:
    case effCanDo:
    case effString2Parameter: {
        const auto text = HeapText(in.Text(opcode == effSetProgramName ? kVstMaxProgNameLen : 64));
        const bool none = opcode == effString2Parameter && (in.Byte() & 3) == 0;
        fx.Dispatch(opcode, index, value, none ? nullptr : text.get(), opt);
        return;
    }
    case effGetSpeakerArrangement:
    case effSetSpeakerArrangement:
        SpeakerArrangements(fx, in, opcode, index, opt);
        return;
    default: {
        // Whatever else the request is, a host passes a valid record or nothing.
        std::unique_ptr<std::uint8_t[]> structure(new std::uint8_t[kStructureBytes]());
        const bool none = (in.Byte() & 1) != 0;
        fx.Dispatch(opcode, index, value, none ? nullptr : structure.get(), opt);
        return;
    }
    }
}

// Whatever the requests left behind, a block of ordinary audio comes out finite.
void ProcessOrdinaryAudio(Instance& fx) {
    constexpr VstInt32 kFrames = 256;
    std::vector<float> left(kFrames), right(kFrames);
    for (int block = 0; block < 2; ++block) {
        for (VstInt32 i = 0; i < kFrames; ++i) {
            left[static_cast<std::size_t>(i)] = 0.5f * std::sin(0.05f * static_cast<float>(i));
            right[static_cast<std::size_t>(i)] = 0.25f * std::cos(0.3f * static_cast<float>(i));
        }
        float* channels[2] = {left.data(), right.data()};
        fx.Record()->processReplacing(fx.Record(), channels, channels, kFrames);
        for (VstInt32 i = 0; i < kFrames; ++i) {
            if (!std::isfinite(left[static_cast<std::size_t>(i)]) ||
                !std::isfinite(right[static_cast<std::size_t>(i)])) {
                Fail("block %d, frame %d: output %.9g %.9g from a sine of amplitude 0.5, expected "
                     "finite audio",
                     block, i, static_cast<double>(left[static_cast<std::size_t>(i)]),
                     static_cast<double>(right[static_cast<std::size_t>(i)]));
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Instance& fx = Instance::Reused();
    for (int step = 0; step < 256 && !in.Done(); ++step) {
        OneRequest(fx, in);
        CheckControls(fx);
    }
    ProcessOrdinaryAudio(fx);
    CheckControls(fx);
    return 0;
}
