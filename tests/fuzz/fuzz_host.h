// A host for the fuzz targets: it creates the effect through its entry point, drives it through
// the record only, reads the fuzzer's bytes as the host's arguments, and checks after every call
// what any host relies on. A broken promise aborts with a message saying what was expected and
// what came, so libFuzzer keeps the input that shows it.
#pragma once

#include "host/aeffect.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace VLM {
namespace FuzzHost {

// Reads the fuzzer's bytes front to back; past the end every read answers zero.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : bytes(data), count(size) {}

    bool Done() const { return position >= count; }
    std::size_t Left() const { return Done() ? 0 : count - position; }
    std::uint8_t Byte();
    std::uint16_t Word();
    std::uint32_t Bits32();
    std::uint64_t Bits64();
    // Mostly small numbers, now and then anything in the type's range.
    std::int32_t Index();
    VstIntPtr Value();
    // The awkward floats first (NaN, infinities, subnormals, huge), else any bit pattern.
    float Float();
    // A text of at most maxChars bytes with no zero inside.
    std::vector<char> Text(std::size_t maxChars);
    // The next n bytes, or fewer at the end.
    std::vector<std::uint8_t> Bytes(std::size_t n);

private:
    const std::uint8_t* bytes;
    std::size_t count;
    std::size_t position = 0;
};

// Records what the effect reports back through the host callback.
struct HostLog {
    int automations = 0;
    VstInt32 lastIndex = -1;
    float lastValue = 0.0f;
    int beginEdits = 0;
    int endEdits = 0;
};
HostLog& Log();

// The number of controls the effect's state carries: faceplate, text entry, ten faders, IN
// button, IN lamp and read-out.
constexpr int kChunkRecords = 15;
constexpr VstInt32 kInButton = 10;
constexpr VstInt32 kInLamp = 11;
constexpr VstInt32 kControlCount = 12; // ids 0..11 hold a value
// The faders, the parameters the record announces; only these are reported to the host.
constexpr VstInt32 kParameterCount = 10;

// One instance of the effect as a host holds it.
class Instance {
public:
    Instance();
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* Record() const { return effect; }
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void SetParameter(VstInt32 index, float value);
    float GetParameter(VstInt32 index);
    // effClose and a fresh instance, as a host that unloads and loads the effect again.
    void Reopen();

    // One instance for every input of a target, brought back through the record to the state
    // it had when it was new: program 0, the chunk it started with, 44 100 Hz, 1024 frames,
    // editor closed. Creating an instance decodes the faceplate image, which would otherwise
    // take most of the fuzzer's time. Only for targets that do not process audio, since the
    // filters' memory cannot be reset from outside.
    static Instance& Reused();

private:
    void Reset();
    std::vector<std::uint8_t> initialChunk;
    AEffect* effect = nullptr;
};

// Aborts with a message. The fuzzer keeps the input.
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Every control value lies in 0..1.
void CheckControls(Instance& instance);
// A text request answered into a buffer of exactly `bytes` bytes, pre-filled with a byte that
// is not zero: the answer must end inside the buffer. Returns the text.
std::vector<char> CheckedText(Instance& instance, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              std::size_t bytes);
// The host's buffer size for a text-writing opcode, or 0 for an opcode that writes no text.
std::size_t TextBufferBytes(VstInt32 opcode);
// The state chunk, copied out and checked for shape: size, ids in list order, values in 0..1.
std::vector<std::uint8_t> CheckedChunk(Instance& instance, bool preset);
// Value of control `id` inside a chunk taken with CheckedChunk.
float ChunkValue(const std::vector<std::uint8_t>& chunk, VstInt32 id);

// What a control stores when given v: NaN is refused, anything else is clamped into 0..1.
bool Clamped(float v, float& stored);

} // namespace FuzzHost
} // namespace VLM
