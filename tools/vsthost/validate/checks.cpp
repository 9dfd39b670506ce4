#include "validate/checks.h"

#include "common/text_format.h"
#include "host/opcode_names.h"
#include "host/plugin.h"
#include "os/alloc_count.h"
#include "validate/validator.h"

#include <xmmintrin.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace VLM {

std::uint64_t CRandom::Next() {
    state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

float CRandom::Unit() {
    return static_cast<float>(Next() >> 40) / 16777216.0f;
}

std::int64_t CRandom::Range(std::int64_t low, std::int64_t high) {
    const auto span = static_cast<std::uint64_t>(high - low) + 1;
    return low + static_cast<std::int64_t>(span == 0 ? Next() : Next() % span);
}

std::uint64_t TestSeed(std::uint32_t seed, const std::string& testName) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (const char c : testName) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h ^ (static_cast<std::uint64_t>(seed) * 0x9E3779B97F4A7C15ull);
}

// ---- Texts -------------------------------------------------------------------------------

STextCheck JudgeTextBuffer(const unsigned char* buffer, std::size_t size, std::size_t capacity) {
    STextCheck r;
    std::size_t end = size;
    for (std::size_t i = 0; i < size; ++i) {
        if (buffer[i] == 0) {
            end = i;
            break;
        }
    }
    std::size_t lastWritten = size;
    for (std::size_t i = size; i-- > 0;) {
        if (buffer[i] != kGuardByte) {
            lastWritten = i;
            break;
        }
    }
    if (lastWritten == size) {
        r.untouched = true;
        return r;
    }
    r.text = Printable(std::string(reinterpret_cast<const char*>(buffer), std::min(end, size)));
    if (end >= capacity) {
        r.fault = end < size ? Format("its text needs %zu bytes with the terminator, more than "
                                      "the %zu bytes of the buffer",
                                      end + 1, capacity)
                             : Format("the text is not terminated within the %zu bytes of the "
                                      "buffer (nor within %zu bytes)",
                                      capacity, size);
    } else if (lastWritten >= capacity) {
        r.fault = Format("it wrote up to byte %zu, beyond the %zu bytes of the buffer",
                         lastWritten + 1, capacity);
    }
    return r;
}

STextCheck ProbeText(CPlugin& plugin, VstInt32 opcode, VstInt32 index, std::size_t capacity,
                     VstIntPtr* answer, VstIntPtr value) {
    std::vector<unsigned char> buffer(capacity + kTextRoom, kGuardByte);
    const VstIntPtr a = plugin.Dispatch(opcode, index, value, buffer.data());
    if (answer != nullptr) {
        *answer = a;
    }
    return JudgeTextBuffer(buffer.data(), buffer.size(), capacity);
}

std::string CallName(VstInt32 opcode, VstInt32 index) {
    return Format("%s(%d)", EffectOpcodeName(opcode), index);
}

// ---- Samples -----------------------------------------------------------------------------

std::string SSampleScan::Describe() const {
    std::string out;
    auto add = [&](std::size_t n, const char* what) {
        if (n > 0) {
            out += Format("%s%zu %s", out.empty() ? "" : ", ", n, what);
        }
    };
    add(nan, "NaN");
    add(infinite, "infinite");
    add(subnormal, "subnormal");
    return out + Format(" (first at sample %zu)", firstBad);
}

SSampleScan ScanSamples(const float* samples, std::size_t count) {
    SSampleScan s;
    for (std::size_t i = 0; i < count; ++i) {
        const int kind = std::fpclassify(samples[i]);
        std::size_t* counter = kind == FP_NAN         ? &s.nan
                               : kind == FP_INFINITE  ? &s.infinite
                               : kind == FP_SUBNORMAL ? &s.subnormal
                                                      : nullptr;
        if (counter != nullptr) {
            if (s.Clean()) {
                s.firstBad = i;
            }
            ++*counter;
        }
    }
    return s;
}

namespace {

constexpr std::size_t kGuardSamples = 16;
// Bit patterns no arithmetic produces by chance: a write over them is seen.
constexpr std::uint32_t kGuardBits = 0x7FA5A5A5u;  // a signalling NaN
constexpr std::uint32_t kMarkerBits = 0x7FC0BEEFu; // a quiet NaN with a payload

float FromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

bool HasBits(float f, std::uint32_t bits) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b == bits;
}

void WriteGuards(std::vector<float>& store, int frames) {
    const float guard = FromBits(kGuardBits);
    for (std::size_t i = 0; i < kGuardSamples; ++i) {
        store[i] = guard;
    }
    for (std::size_t i = kGuardSamples + static_cast<std::size_t>(frames); i < store.size(); ++i) {
        store[i] = guard;
    }
}

// The first guard sample that changed, or -1.
long ChangedGuard(const std::vector<float>& store, int frames) {
    for (std::size_t i = 0; i < kGuardSamples; ++i) {
        if (!HasBits(store[i], kGuardBits)) {
            return static_cast<long>(i) - static_cast<long>(kGuardSamples);
        }
    }
    for (std::size_t i = kGuardSamples + static_cast<std::size_t>(frames); i < store.size(); ++i) {
        if (!HasBits(store[i], kGuardBits)) {
            return static_cast<long>(i - kGuardSamples);
        }
    }
    return -1;
}

} // namespace

CAudioBuffers::CAudioBuffers(int inputs, int outputs, int frames) : maxFrames(frames) {
    const std::size_t size = static_cast<std::size_t>(frames) + 2 * kGuardSamples;
    inputStore.assign(static_cast<std::size_t>(inputs), std::vector<float>(size));
    outputStore.assign(static_cast<std::size_t>(outputs), std::vector<float>(size));
    inputCopy.assign(static_cast<std::size_t>(inputs),
                     std::vector<float>(static_cast<std::size_t>(frames)));
    for (auto& s : inputStore) {
        inputPointers.push_back(s.data() + kGuardSamples);
    }
    for (auto& s : outputStore) {
        outputPointers.push_back(s.data() + kGuardSamples);
    }
}

void CAudioBuffers::Prepare(int frames, bool noise, CRandom& random) {
    for (std::size_t c = 0; c < inputStore.size(); ++c) {
        WriteGuards(inputStore[c], frames);
        for (int f = 0; f < frames; ++f) {
            const float v = noise ? (random.Unit() * 2.0f - 1.0f) * 0.5f : 0.0f;
            inputPointers[c][f] = v;
            inputCopy[c][static_cast<std::size_t>(f)] = v;
        }
    }
    const float marker = FromBits(kMarkerBits);
    for (std::size_t c = 0; c < outputStore.size(); ++c) {
        WriteGuards(outputStore[c], frames);
        for (int f = 0; f < frames; ++f) {
            outputPointers[c][f] = marker;
        }
    }
}

std::string CAudioBuffers::Judge(int frames, const std::string& where) const {
    std::string faults;
    auto add = [&](const std::string& text) {
        faults += (faults.empty() ? "" : "; ") + where + ": " + text;
    };
    for (std::size_t c = 0; c < outputStore.size(); ++c) {
        const float* out = outputPointers[c];
        std::size_t unwritten = 0;
        for (int f = 0; f < frames; ++f) {
            unwritten += HasBits(out[f], kMarkerBits) ? 1 : 0;
        }
        if (unwritten > 0) {
            add(Format("output %zu: %zu of %d samples not written", c + 1, unwritten, frames));
            continue;
        }
        const SSampleScan scan = ScanSamples(out, static_cast<std::size_t>(frames));
        if (!scan.Clean()) {
            add(Format("output %zu: %s", c + 1, scan.Describe().c_str()));
        }
        const long guard = ChangedGuard(outputStore[c], frames);
        if (guard >= 0 || guard < -1) {
            add(Format("output %zu: written outside the %d-sample block (at sample %ld)", c + 1,
                       frames, guard));
        }
    }
    for (std::size_t c = 0; c < inputStore.size(); ++c) {
        const long guard = ChangedGuard(inputStore[c], frames);
        if (guard >= 0 || guard < -1) {
            add(Format("input %zu: written outside the %d-sample block (at sample %ld)", c + 1,
                       frames, guard));
        }
        if (std::memcmp(inputPointers[c], inputCopy[c].data(),
                        sizeof(float) * static_cast<std::size_t>(frames)) != 0) {
            add(Format("input %zu: the plug-in wrote into its input buffer", c + 1));
        }
    }
    (void)maxFrames;
    return faults;
}

unsigned FloatControl() {
    // The exception flags (the low six bits) are status, not control: a plug-in may raise them.
    return _mm_getcsr() & ~0x3Fu;
}

void SetFloatControl(unsigned bits) {
    _mm_setcsr((_mm_getcsr() & 0x3Fu) | bits);
}

// ---- The plug-in's requests to the host ---------------------------------------------------

namespace {

constexpr int kTrackedParams = 4096;

struct SWatchState {
    std::atomic<VstInt32> numParams{0};
    std::atomic<std::uint64_t> automations{0};
    std::atomic<std::uint64_t> edits{0};
    std::atomic<std::uint64_t> badIndex{0};
    std::atomic<VstInt32> firstBadIndex{0};
    std::atomic<std::uint64_t> badValue{0};
    std::atomic<VstInt32> badValueIndex{0};
    std::atomic<float> firstBadValue{0.0f};
    std::atomic<std::uint64_t> badEditIndex{0};
    std::atomic<VstInt32> firstBadEditIndex{0};
    std::atomic<std::uint64_t> endWithoutBegin{0};
    std::atomic<VstInt32> firstEndWithoutBegin{0};
    std::array<std::atomic<int>, kTrackedParams> open{};
    std::array<std::atomic<float>, kTrackedParams> last{};
};

SWatchState gWatch;

void Observe(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    SWatchState& w = gWatch;
    const VstInt32 count = w.numParams.load(std::memory_order_relaxed);
    const bool inRange = index >= 0 && index < count;
    switch (opcode) {
    case audioMasterAutomate:
        w.automations.fetch_add(1, std::memory_order_relaxed);
        if (!inRange) {
            if (w.badIndex.fetch_add(1, std::memory_order_relaxed) == 0) {
                w.firstBadIndex.store(index, std::memory_order_relaxed);
            }
        } else if (!(opt >= 0.0f && opt <= 1.0f)) {
            if (w.badValue.fetch_add(1, std::memory_order_relaxed) == 0) {
                w.badValueIndex.store(index, std::memory_order_relaxed);
                w.firstBadValue.store(opt, std::memory_order_relaxed);
            }
        }
        if (inRange && index < kTrackedParams) {
            w.last[static_cast<std::size_t>(index)].store(opt, std::memory_order_relaxed);
        }
        break;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        w.edits.fetch_add(1, std::memory_order_relaxed);
        if (!inRange) {
            if (w.badEditIndex.fetch_add(1, std::memory_order_relaxed) == 0) {
                w.firstBadEditIndex.store(index, std::memory_order_relaxed);
            }
        } else if (index < kTrackedParams) {
            auto& depth = w.open[static_cast<std::size_t>(index)];
            if (opcode == audioMasterBeginEdit) {
                depth.fetch_add(1, std::memory_order_relaxed);
            } else if (depth.fetch_sub(1, std::memory_order_relaxed) <= 0) {
                depth.fetch_add(1, std::memory_order_relaxed);
                if (w.endWithoutBegin.fetch_add(1, std::memory_order_relaxed) == 0) {
                    w.firstEndWithoutBegin.store(index, std::memory_order_relaxed);
                }
            }
        }
        break;
    default:
        break;
    }
}

} // namespace

CHostWatch::CHostWatch(VstInt32 numParams) {
    ResetCounts();
    gWatch.numParams.store(numParams, std::memory_order_relaxed);
    HostContext().observer.store(Observe, std::memory_order_relaxed);
}

CHostWatch::~CHostWatch() {
    HostContext().observer.store(nullptr, std::memory_order_relaxed);
}

void CHostWatch::ResetCounts() {
    SWatchState& w = gWatch;
    w.automations = 0;
    w.edits = 0;
    w.badIndex = 0;
    w.badValue = 0;
    w.badEditIndex = 0;
    w.endWithoutBegin = 0;
    for (auto& d : w.open) {
        d.store(0, std::memory_order_relaxed);
    }
    for (auto& v : w.last) {
        v.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    }
}

std::uint64_t CHostWatch::Automations() const {
    return gWatch.automations.load(std::memory_order_relaxed);
}

std::uint64_t CHostWatch::Edits() const {
    return gWatch.edits.load(std::memory_order_relaxed);
}

float CHostWatch::LastAutomated(VstInt32 index) const {
    return index >= 0 && index < kTrackedParams
               ? gWatch.last[static_cast<std::size_t>(index)].load(std::memory_order_relaxed)
               : std::numeric_limits<float>::quiet_NaN();
}

std::vector<std::string> CHostWatch::Faults(bool requireClosedEdits) const {
    const SWatchState& w = gWatch;
    const VstInt32 count = w.numParams.load();
    std::vector<std::string> out;
    if (const auto n = w.badIndex.load()) {
        out.push_back(Format("audioMasterAutomate named parameter %d, outside 0..%d (%llu times)",
                             w.firstBadIndex.load(), count - 1,
                             static_cast<unsigned long long>(n)));
    }
    if (const auto n = w.badValue.load()) {
        out.push_back(Format("audioMasterAutomate of parameter %d sent the value %g, outside "
                             "0..1 (%llu times)",
                             w.badValueIndex.load(), static_cast<double>(w.firstBadValue.load()),
                             static_cast<unsigned long long>(n)));
    }
    if (const auto n = w.badEditIndex.load()) {
        out.push_back(Format("audioMasterBeginEdit or EndEdit named parameter %d, outside "
                             "0..%d (%llu times)",
                             w.firstBadEditIndex.load(), count - 1,
                             static_cast<unsigned long long>(n)));
    }
    if (const auto n = w.endWithoutBegin.load()) {
        out.push_back(Format("audioMasterEndEdit of parameter %d without a matching BeginEdit "
                             "(%llu times)",
                             w.firstEndWithoutBegin.load(), static_cast<unsigned long long>(n)));
    }
    if (requireClosedEdits) {
        for (int i = 0; i < kTrackedParams; ++i) {
            if (const int depth = w.open[static_cast<std::size_t>(i)].load(); depth > 0) {
                out.push_back(Format("audioMasterBeginEdit of parameter %d was not ended "
                                     "(%d open)",
                                     i, depth));
                break;
            }
        }
    }
    return out;
}

// ---- Instances ---------------------------------------------------------------------------

std::unique_ptr<CPlugin> OpenInstance(CTestContext& test, float sampleRate, int blockSize) {
    auto plugin = std::make_unique<CPlugin>(test.PluginPath());
    plugin->Open(sampleRate, blockSize);
    return plugin;
}

void RequireProcessing(const CPlugin& plugin) {
    const AEffect& r = plugin.Record();
    if (r.processReplacing == nullptr || (r.flags & effFlagsCanReplacing) == 0) {
        Stop(EOutcome::Fail, "the plug-in does not process through processReplacing");
    }
    if (r.numOutputs < 1) {
        Stop(EOutcome::Skip, "the plug-in has no audio outputs");
    }
}

void ProcessChecked(CTestContext& test, CPlugin& plugin, CAudioBuffers& buffers, int frames,
                    bool countAllocations) {
    const unsigned before = FloatControl();
    if (countAllocations) {
        Alloc::Arm();
    }
    plugin.Process(buffers.Inputs(), buffers.Outputs(), frames);
    if (countAllocations) {
        Alloc::Disarm();
    }
    const unsigned after = FloatControl();
    if (after != before) {
        static const CPlugin* reported = nullptr;
        if (reported != &plugin) {
            reported = &plugin;
            test.Fail(Format("processReplacing changed the floating-point control register "
                             "from 0x%04X to 0x%04X and left it so",
                             before, after));
        }
        SetFloatControl(before);
    }
}

std::vector<float> ReadParameters(CPlugin& plugin) {
    std::vector<float> values;
    for (VstInt32 i = 0; i < plugin.Record().numParams; ++i) {
        values.push_back(plugin.GetParameter(i));
    }
    return values;
}

std::vector<float> RandomiseParameters(CPlugin& plugin, CRandom& random) {
    for (VstInt32 i = 0; i < plugin.Record().numParams; ++i) {
        plugin.SetParameter(i, random.Unit());
    }
    return ReadParameters(plugin);
}

bool ProcessBlocks(CTestContext& test, CPlugin& plugin, CAudioBuffers& buffers, int count,
                   int frames, bool noise, CRandom& random, const std::string& where) {
    for (int b = 0; b < count; ++b) {
        buffers.Prepare(frames, noise, random);
        ProcessChecked(test, plugin, buffers, frames);
        const std::string fault = buffers.Judge(frames, Format("%s, block %d", where.c_str(), b));
        if (!fault.empty()) {
            test.Fail(fault);
            return false;
        }
    }
    return true;
}

void CheckWatch(CTestContext& test, const CHostWatch& watch, bool closedEdits) {
    for (const std::string& f : watch.Faults(closedEdits)) {
        test.Fail(f);
    }
}

} // namespace VLM
