#include "fuzz_host.h"

#include "host/vstmain.h"

#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

namespace VLM {
namespace FuzzHost {

namespace {

// Floats that have broken audio code before: signed zeros, subnormals, the ends of the range,
// infinities, NaNs of both signs and a signalling NaN, and values just outside 0..1.
float SpecialFloat(std::uint8_t selector) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const float signallingNaN = [] {
        const std::uint32_t bits = 0x7F800001u;
        float f = 0.0f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }();
    const float table[] = {0.0f,
                           -0.0f,
                           1.0f,
                           0.5f,
                           0.25f,
                           0.75f,
                           -1.0f,
                           1.0000001f,
                           -1e-7f,
                           std::numeric_limits<float>::denorm_min(),
                           -std::numeric_limits<float>::denorm_min(),
                           FLT_MIN,
                           FLT_MIN / 2.0f,
                           FLT_MAX,
                           -FLT_MAX,
                           kInf,
                           -kInf,
                           std::numeric_limits<float>::quiet_NaN(),
                           -std::numeric_limits<float>::quiet_NaN(),
                           signallingNaN,
                           1e30f,
                           -1e30f,
                           2.0f,
                           100.0f,
                           8000.0f,
                           22050.0f,
                           44100.0f,
                           48000.0f,
                           96000.0f,
                           192000.0f,
                           1e9f,
                           0.01f};
    return table[selector % (sizeof table / sizeof table[0])];
}

HostLog hostLog;
AEffect* liveEffect = nullptr;

VstIntPtr VLM_VSTCALL Host(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr /*value*/,
                           void* /*ptr*/, float opt) {
    switch (opcode) {
    case audioMasterVersion:
        return kVstVersion;
    case audioMasterAutomate:
        // A host stores what it is told: the effect may only report its own controls, and
        // only values a parameter can hold.
        if (effect != liveEffect) {
            Fail("automation from record %p, expected the live record %p",
                 static_cast<void*>(effect), static_cast<void*>(liveEffect));
        }
        if (index < 0 || index >= kParameterCount) {
            Fail("automation of index %d, expected an announced parameter 0..%d", index,
                 kParameterCount - 1);
        }
        if (!(opt >= 0.0f && opt <= 1.0f)) {
            Fail("automation of index %d with %.9g, expected a value in 0..1", index,
                 static_cast<double>(opt));
        }
        ++hostLog.automations;
        hostLog.lastIndex = index;
        hostLog.lastValue = opt;
        return 0;
    case audioMasterBeginEdit:
        ++hostLog.beginEdits;
        return 1;
    case audioMasterEndEdit:
        ++hostLog.endEdits;
        return 1;
    default:
        return 0;
    }
}

} // namespace

std::uint8_t Reader::Byte() {
    return Done() ? 0 : bytes[position++];
}

std::uint16_t Reader::Word() {
    return static_cast<std::uint16_t>(Byte() | (Byte() << 8));
}

std::uint32_t Reader::Bits32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    }
    return v;
}

std::uint64_t Reader::Bits64() {
    const std::uint64_t low = Bits32();
    return low | (static_cast<std::uint64_t>(Bits32()) << 32);
}

std::int32_t Reader::Index() {
    const std::uint8_t selector = Byte();
    if (selector < 200) {
        return static_cast<std::int32_t>(selector % 20) - 2; // -2..17 around the twelve ids
    }
    return static_cast<std::int32_t>(Bits32());
}

VstIntPtr Reader::Value() {
    const std::uint8_t selector = Byte();
    if (selector < 160) {
        return static_cast<VstIntPtr>(selector % 40) - 4;
    }
    if (selector < 220) {
        return static_cast<VstIntPtr>(static_cast<std::int32_t>(Bits32()));
    }
    return static_cast<VstIntPtr>(Bits64());
}

float Reader::Float() {
    const std::uint8_t selector = Byte();
    if (selector < 128) {
        return SpecialFloat(selector);
    }
    const std::uint32_t raw = Bits32();
    float f = 0.0f;
    std::memcpy(&f, &raw, sizeof f);
    return f;
}

std::vector<char> Reader::Text(std::size_t maxChars) {
    const std::size_t length = Byte() % (maxChars + 1);
    std::vector<char> text;
    for (std::size_t i = 0; i < length && !Done(); ++i) {
        const char c = static_cast<char>(Byte());
        text.push_back(c == '\0' ? 'x' : c);
    }
    return text;
}

std::vector<std::uint8_t> Reader::Bytes(std::size_t n) {
    const std::size_t take = n < Left() ? n : Left();
    std::vector<std::uint8_t> out(bytes + position, bytes + position + take);
    position += take;
    return out;
}

HostLog& Log() {
    return hostLog;
}

void Fail(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "\nFUZZ INVARIANT BROKEN: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

Instance::Instance() {
    effect = VSTPluginMain(Host);
    if (effect == nullptr) {
        Fail("the entry point answered null, expected an effect record");
    }
    liveEffect = effect;
    hostLog = HostLog{};
}

Instance::~Instance() {
    if (effect != nullptr) {
        const VstIntPtr answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        liveEffect = nullptr;
        if (answer != 1) {
            Fail("effClose answered %lld, expected 1", static_cast<long long>(answer));
        }
    }
}

void Instance::Reopen() {
    const VstIntPtr answer = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    if (answer != 1) {
        Fail("effClose answered %lld, expected 1", static_cast<long long>(answer));
    }
    effect = nullptr;
    liveEffect = nullptr;
    effect = VSTPluginMain(Host);
    if (effect == nullptr) {
        Fail("the entry point answered null for a second instance, expected an effect record");
    }
    liveEffect = effect;
}

Instance& Instance::Reused() {
    static Instance* instance = [] {
        auto* fresh = new Instance;
        fresh->initialChunk = CheckedChunk(*fresh, false);
        return fresh;
    }();
    instance->Reset();
    return *instance;
}

void Instance::Reset() {
    if (initialChunk.empty()) {
        initialChunk = CheckedChunk(*this, false);
    }
    Dispatch(effEditClose);
    Dispatch(effSetProgram, 0, 0);
    // Every value moved away first: a control holding -0 would not take +0 (they compare
    // equal), and the next input must find the very same bits.
    std::vector<std::uint8_t> away = initialChunk;
    for (std::size_t r = 0; r + 8 <= away.size(); r += 8) {
        float v = 0.0f;
        std::memcpy(&v, away.data() + r + 4, 4);
        v = v == 1.0f ? 0.5f : 1.0f;
        std::memcpy(away.data() + r + 4, &v, 4);
    }
    Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(away.size()), away.data());
    std::vector<std::uint8_t> chunk = initialChunk;
    Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()), chunk.data());
    Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    Dispatch(effSetBlockSize, 0, 1024);
    Dispatch(effMainsChanged, 0, 1);
    if (CheckedChunk(*this, false) != initialChunk) {
        Fail("restoring the first chunk did not bring the controls back to where they started");
    }
    hostLog = HostLog{};
}

VstIntPtr Instance::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void Instance::SetParameter(VstInt32 index, float value) {
    effect->setParameter(effect, index, value);
}

float Instance::GetParameter(VstInt32 index) {
    return effect->getParameter(effect, index);
}

void CheckControls(Instance& instance) {
    for (VstInt32 id = 0; id < kControlCount; ++id) {
        const float v = instance.GetParameter(id);
        if (!(v >= 0.0f && v <= 1.0f)) {
            Fail("control %d holds %.9g, expected a value in 0..1", id, static_cast<double>(v));
        }
    }
}

std::size_t TextBufferBytes(VstInt32 opcode) {
    // Two more opcodes write into a text buffer of the host; the effect answers neither, and the
    // fuzzer checks that it stays within them.
    switch (opcode) {
    case effShellGetNextPlugin:
        return kVstMaxProductStrLen;
    case effGetErrorText:
        return 256;
    default:
        return HostTextCapacity(opcode);
    }
}

std::vector<char> CheckedText(Instance& instance, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              std::size_t bytes) {
    // Exactly the host's size on the heap, so that a write past it is caught.
    std::unique_ptr<char[]> buffer(new char[bytes]);
    std::memset(buffer.get(), 0x7E, bytes);
    const VstIntPtr answer = instance.Dispatch(opcode, index, value, buffer.get());
    const void* end = std::memchr(buffer.get(), 0, bytes);
    if (end == nullptr) {
        // Only a request the effect declines (answer 0, nothing written) may leave the buffer
        // without a terminator; a host reads the others whatever the answer.
        bool untouched = answer == 0;
        for (std::size_t i = 0; i < bytes && untouched; ++i) {
            untouched = buffer[i] == 0x7E;
        }
        const bool declinable = opcode == effShellGetNextPlugin || opcode == effGetErrorText;
        if (!(declinable && untouched)) {
            Fail("opcode %d (index %d) answered %lld and left no terminator in its buffer of "
                 "%zu bytes",
                 opcode, index, static_cast<long long>(answer), bytes);
        }
    }
    const std::size_t length =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer.get()) : 0;
    return std::vector<char>(buffer.get(), buffer.get() + length);
}

std::vector<std::uint8_t> CheckedChunk(Instance& instance, bool preset) {
    // The host's slot for the pointer, on the heap so that a wider write is caught.
    std::unique_ptr<void*> slot(new void*(nullptr));
    const VstIntPtr size = instance.Dispatch(effGetChunk, preset ? 1 : 0, 0, slot.get());
    if (size != kChunkRecords * 8) {
        Fail("effGetChunk answered %lld bytes, expected %d", static_cast<long long>(size),
             kChunkRecords * 8);
    }
    if (*slot == nullptr) {
        Fail("effGetChunk answered %lld bytes at a null address", static_cast<long long>(size));
    }
    const auto* data = static_cast<const std::uint8_t*>(*slot);
    std::vector<std::uint8_t> chunk(data, data + size);
    static const std::int32_t kIds[kChunkRecords] = {-1, -1, 0, 1, 2,  3,  4, 5,
                                                     6,  7,  8, 9, 10, 11, -1};
    for (int r = 0; r < kChunkRecords; ++r) {
        std::int32_t id = 0;
        float v = 0.0f;
        std::memcpy(&id, chunk.data() + 8 * r, 4);
        std::memcpy(&v, chunk.data() + 8 * r + 4, 4);
        if (id != kIds[r]) {
            Fail("chunk record %d has id %d, expected %d", r, id, kIds[r]);
        }
        if (!(v >= 0.0f && v <= 1.0f)) {
            Fail("chunk record %d (id %d) holds %.9g, expected a value in 0..1", r, id,
                 static_cast<double>(v));
        }
    }
    return chunk;
}

float ChunkValue(const std::vector<std::uint8_t>& chunk, VstInt32 id) {
    // Faders start at record 2; the ids 0..11 follow in order.
    float v = 0.0f;
    std::memcpy(&v, chunk.data() + 8 * (id + 2) + 4, 4);
    return v;
}

bool Clamped(float v, float& stored) {
    if (std::isnan(v)) {
        return false;
    }
    stored = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
    return true;
}

} // namespace FuzzHost
} // namespace VLM
