// What the validator's tests share: seeded random numbers, text buffers with guard bytes,
// audio buffers with guard samples, the scan of output samples, the watch on the plug-in's
// requests to the host, and instances opened the way a DAW opens them.
#pragma once

#include "host/aeffect.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VLM {

class CPlugin;
class CTestContext;

// SplitMix64: the same numbers from the same seed on every platform.
class CRandom {
public:
    explicit CRandom(std::uint64_t seed) : state(seed) {}
    std::uint64_t Next();
    // Uniform in [0, 1).
    float Unit();
    // Uniform in [low, high].
    std::int64_t Range(std::int64_t low, std::int64_t high);

private:
    std::uint64_t state;
};

// A seed of its own for each test, so that tests do not depend on each other's order.
std::uint64_t TestSeed(std::uint32_t seed, const std::string& testName);

// ---- Texts -------------------------------------------------------------------------------

constexpr unsigned char kGuardByte = 0xA5;
// Room after the documented size, watched for writes beyond it.
constexpr std::size_t kTextRoom = 256;

// A text the plug-in wrote into a host buffer of `capacity` bytes (terminator included)
// followed by guard bytes. `fault` is empty when the text ends inside the buffer and
// nothing beyond it changed.
struct STextCheck {
    std::string text;
    bool untouched = false; // the plug-in wrote nothing at all
    std::string fault;
};

// Judges a buffer of `size` bytes that was filled with kGuardByte before the call.
STextCheck JudgeTextBuffer(const unsigned char* buffer, std::size_t size, std::size_t capacity);

// Sends a text request with a guarded buffer and judges what came back.
STextCheck ProbeText(CPlugin& plugin, VstInt32 opcode, VstInt32 index, std::size_t capacity,
                     VstIntPtr* answer = nullptr, VstIntPtr value = 0);

// "effGetParamName(3)" and the like, for messages.
std::string CallName(VstInt32 opcode, VstInt32 index);

// ---- Samples -----------------------------------------------------------------------------

struct SSampleScan {
    std::size_t nan = 0;
    std::size_t infinite = 0;
    std::size_t subnormal = 0;
    std::size_t firstBad = 0; // index of the first sample counted above
    bool Clean() const { return nan == 0 && infinite == 0 && subnormal == 0; }
    // "3 NaN, 1 subnormal (first at sample 17)".
    std::string Describe() const;
};

SSampleScan ScanSamples(const float* samples, std::size_t count);

// Planar buffers for processReplacing with guard samples before and after each channel,
// and a copy of the inputs to tell whether the plug-in wrote into them.
class CAudioBuffers {
public:
    CAudioBuffers(int inputs, int outputs, int maxFrames);

    float** Inputs() { return inputPointers.data(); }
    float** Outputs() { return outputPointers.data(); }
    int InputCount() const { return static_cast<int>(inputPointers.size()); }
    int OutputCount() const { return static_cast<int>(outputPointers.size()); }
    float* Input(int channel) { return inputPointers[static_cast<std::size_t>(channel)]; }
    float* Output(int channel) { return outputPointers[static_cast<std::size_t>(channel)]; }

    // Fills the inputs' first `frames` samples with noise (about -10 dBFS) or silence and
    // the outputs with a marker value, and rewrites every guard.
    void Prepare(int frames, bool noise, CRandom& random);
    // Faults after processing `frames`: bad output samples, writes outside the block,
    // writes into the inputs. Empty when there are none. `where` opens each message.
    std::string Judge(int frames, const std::string& where) const;

private:
    int maxFrames;
    std::vector<std::vector<float>> inputStore, outputStore, inputCopy;
    std::vector<float*> inputPointers, outputPointers;
};

// The floating-point control and status register's control bits (rounding, flush to
// zero, denormals are zero, exception masks).
unsigned FloatControl();
void SetFloatControl(unsigned bits);

// ---- The plug-in's requests to the host ---------------------------------------------------

// Watches the plug-in's requests: automation must name an existing parameter with a value
// from 0 to 1, and edits must begin before they end. One watch at a time.
class CHostWatch {
public:
    explicit CHostWatch(VstInt32 numParams);
    ~CHostWatch();
    CHostWatch(const CHostWatch&) = delete;
    CHostWatch& operator=(const CHostWatch&) = delete;

    std::uint64_t Automations() const;
    std::uint64_t Edits() const;
    // Faults seen so far: out-of-range automation and unbalanced edits. Empty when none.
    std::vector<std::string> Faults(bool requireClosedEdits) const;
    // The last value automated for a parameter (NaN when none).
    float LastAutomated(VstInt32 index) const;
    void ResetCounts();
};

// ---- Instances ---------------------------------------------------------------------------

// Loads an instance and opens it: effOpen, effSetSampleRate, effSetBlockSize.
std::unique_ptr<CPlugin> OpenInstance(CTestContext& test, float sampleRate = 44100.0f,
                                      int blockSize = 512);
// Stops the test as skipped when the plug-in cannot process audio.
void RequireProcessing(const CPlugin& plugin);
// One processReplacing call on the buffers, checking that the plug-in leaves the floating
// point control bits as it found them (a fault is added to `test`, once per instance).
// With `countAllocations` the plug-in's heap calls during the call are counted.
void ProcessChecked(CTestContext& test, CPlugin& plugin, CAudioBuffers& buffers, int frames,
                    bool countAllocations = false);
// Processes `count` blocks of noise or silence, checking each; stops at the first faulty
// block (its fault is recorded) and answers false then.
bool ProcessBlocks(CTestContext& test, CPlugin& plugin, CAudioBuffers& buffers, int count,
                   int frames, bool noise, CRandom& random, const std::string& where);
// Fails the test with each fault the watch saw; `closedEdits` also requires every
// parameter edit the plug-in began to have ended.
void CheckWatch(CTestContext& test, const CHostWatch& watch, bool closedEdits = false);
// Sets every parameter to a random value and answers the values read back.
std::vector<float> RandomiseParameters(CPlugin& plugin, CRandom& random);
std::vector<float> ReadParameters(CPlugin& plugin);

} // namespace VLM
