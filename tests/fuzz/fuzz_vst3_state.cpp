// The VST3 component's setState with any stream a host or a damaged project can hand it, read
// in pieces of any size. A refused stream changes nothing: the saved state is the same bytes as
// before. A taken one is a state the component saves again and takes again, unchanged, and the
// controller's setComponentState agrees with the component on every stream.
#include "formats/vst3/vst3entry.h"
#include "vst3/vst3.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace Vst3;

namespace {

// A broken promise: says what was expected and what came, and stops, so libFuzzer keeps the
// input. (The VST2 targets' host links the VST2 entry, whose factory query would clash.)
[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fprintf(stderr, "fuzz_vst3_state: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
    va_end(args);
    std::abort();
}

constexpr Uid kOurClass = MakeUid(0x5E1C7A93, 0x0B2D4F68, 0x9A47C3E1, 0x6D28F05B);

// Hands out its bytes at most `piece` at a time, as a host's file stream may.
class Stream final : public IBStream {
public:
    Stream(const std::uint8_t* data, std::size_t size, int32 readPiece)
        : bytes(data, data + size), piece(readPiece) {}
    Stream() = default;

    tresult VLM_VST3CALL queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    tresult VLM_VST3CALL read(void* buffer, int32 n, int32* got) override {
        if (n < 0) {
            Fail("read asked for %d bytes", n);
        }
        const std::size_t count = std::min(
            {static_cast<std::size_t>(n), static_cast<std::size_t>(piece), bytes.size() - at});
        if (count > 0) {
            std::memcpy(buffer, bytes.data() + at, count);
        }
        at += count;
        *got = static_cast<int32>(count);
        return kResultOk;
    }
    tresult VLM_VST3CALL write(void* buffer, int32 n, int32* put) override {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), in, in + n);
        *put = n;
        return kResultOk;
    }
    tresult VLM_VST3CALL seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult VLM_VST3CALL tell(int64* pos) override {
        *pos = static_cast<int64>(at);
        return kResultOk;
    }

    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    int32 piece = 1 << 30;
};

struct Instance {
    IComponent* component = nullptr;
    IEditController* controller = nullptr;
    std::vector<std::uint8_t> initial;

    Instance() {
        void* obj = nullptr;
        if (GetPluginFactory()->createInstance(kOurClass.bytes, kIComponentIid.bytes, &obj) !=
                kResultOk ||
            obj == nullptr) {
            Fail("the factory made no component");
        }
        component = static_cast<IComponent*>(obj);
        component->initialize(nullptr);
        if (component->queryInterface(kIEditControllerIid.bytes, &obj) != kResultOk) {
            Fail("the component has no controller");
        }
        controller = static_cast<IEditController*>(obj);
        initial = Save();
    }

    std::vector<std::uint8_t> Save() {
        Stream out;
        if (component->getState(&out) != kResultOk || out.bytes.empty()) {
            Fail("getState failed");
        }
        return out.bytes;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Instance instance;
    // The first byte chooses the read piece, the rest is the stream.
    const int32 piece = size > 0 ? 1 + data[0] % 16 : 1;
    const std::uint8_t* stream = size > 0 ? data + 1 : data;
    const std::size_t length = size > 0 ? size - 1 : 0;

    const std::vector<std::uint8_t> before = instance.Save();
    Stream in(stream, length, piece);
    const tresult taken = instance.component->setState(&in);
    Stream again(stream, length, piece);
    const tresult controllerTaken = instance.controller->setComponentState(&again);
    if ((taken == kResultOk) != (controllerTaken == kResultOk)) {
        Fail("setState answered %d but setComponentState %d", taken, controllerTaken);
    }
    const std::vector<std::uint8_t> after = instance.Save();
    if (taken != kResultOk) {
        if (taken != kResultFalse) {
            Fail("a refused stream answered %d, not kResultFalse", taken);
        }
        if (after != before) {
            Fail("a refused stream of %zu bytes changed the state", length);
        }
    } else {
        Stream resaved(after.data(), after.size(), piece);
        if (instance.component->setState(&resaved) != kResultOk || instance.Save() != after) {
            Fail("the state saved after a taken stream does not load back unchanged");
        }
    }
    Stream reset(instance.initial.data(), instance.initial.size(), 1 << 30);
    if (instance.component->setState(&reset) != kResultOk) {
        Fail("the initial state no longer loads");
    }
    return 0;
}
