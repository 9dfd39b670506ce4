#include "host/vst3host.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/module.h"
#include "host/plugin.h"
#include "os/files.h"
#include "vst3/vst3.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#endif

namespace VLM::Vst3Host {
namespace {

using namespace Vst3;

// An entry function of the module by name; the search yields one type, each entry has its own.
template <typename Function> Function FindEntry(void* module, const char* name) {
    using Generic = void (*)();
    return reinterpret_cast<Function>(reinterpret_cast<Generic>(Module::Find(module, name)));
}

// Text answers are bounded like a VST 2.4 plug-in's generous ones; the tool's buffers are larger.
constexpr std::size_t kTextLimit = 64;

std::string Utf8(const char16* text, std::size_t capacity) {
    std::string out;
    for (std::size_t i = 0; i < capacity && text[i] != 0; ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        // The tool prints texts through Printable; anything beyond ASCII is shown as '?'.
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

void CopyOut(void* ptr, const std::string& text) {
    if (ptr == nullptr) {
        return;
    }
    const std::size_t n = std::min(text.size(), kTextLimit - 1);
    std::memcpy(ptr, text.data(), n);
    static_cast<char*>(ptr)[n] = '\0';
}

// The state as bytes in memory, read and written through the stream interface.
class CMemoryStream final : public IBStream {
public:
    explicit CMemoryStream(std::vector<std::uint8_t> initial = {}) : bytes(std::move(initial)) {}

    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = nullptr;
        if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIBStreamIid)) {
            *obj = this;
            return kResultOk;
        }
        return kNoInterface;
    }
    // Lives on the caller's stack: the module may not keep it.
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }

    tresult VLM_VST3CALL read(void* buffer, int32 numBytes, int32* numBytesRead) override {
        if (buffer == nullptr || numBytes < 0) {
            return kInvalidArgument;
        }
        const std::size_t n = std::min(static_cast<std::size_t>(numBytes), bytes.size() - at);
        if (n > 0) {
            std::memcpy(buffer, bytes.data() + at, n);
        }
        at += n;
        if (numBytesRead != nullptr) {
            *numBytesRead = static_cast<int32>(n);
        }
        return kResultOk;
    }
    tresult VLM_VST3CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) override {
        if (buffer == nullptr || numBytes < 0) {
            return kInvalidArgument;
        }
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        if (at + static_cast<std::size_t>(numBytes) > bytes.size()) {
            bytes.resize(at + static_cast<std::size_t>(numBytes));
        }
        std::copy(in, in + numBytes, bytes.begin() + static_cast<std::ptrdiff_t>(at));
        at += static_cast<std::size_t>(numBytes);
        if (numBytesWritten != nullptr) {
            *numBytesWritten = numBytes;
        }
        return kResultOk;
    }
    tresult VLM_VST3CALL seek(int64 pos, int32 mode, int64* result) override {
        const int64 base = mode == kIBSeekSet   ? 0
                           : mode == kIBSeekCur ? static_cast<int64>(at)
                           : mode == kIBSeekEnd ? static_cast<int64>(bytes.size())
                                                : -1;
        if (base < 0 || base + pos < 0 || base + pos > static_cast<int64>(bytes.size())) {
            return kInvalidArgument;
        }
        at = static_cast<std::size_t>(base + pos);
        if (result != nullptr) {
            *result = static_cast<int64>(at);
        }
        return kResultOk;
    }
    tresult VLM_VST3CALL tell(int64* pos) override {
        if (pos == nullptr) {
            return kInvalidArgument;
        }
        *pos = static_cast<int64>(at);
        return kResultOk;
    }

    const std::vector<std::uint8_t>& Bytes() const { return bytes; }
    void Rewind() { at = 0; }

private:
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
};

// One value for one parameter: the tool sets values between blocks, never inside one.
class CQueue final : public IParamValueQueue {
public:
    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj != nullptr) {
            *obj = SameUid(iid, kFUnknownIid) ? this : nullptr;
        }
        return obj != nullptr && *obj != nullptr ? kResultOk : kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    ParamID VLM_VST3CALL getParameterId() override { return id; }
    int32 VLM_VST3CALL getPointCount() override { return 1; }
    tresult VLM_VST3CALL getPoint(int32 index, int32& sampleOffset, ParamValue& point) override {
        if (index != 0) {
            return kInvalidArgument;
        }
        sampleOffset = 0;
        point = value;
        return kResultOk;
    }
    tresult VLM_VST3CALL addPoint(int32, ParamValue, int32&) override { return kResultFalse; }

    ParamID id = 0;
    ParamValue value = 0.0;
};

// The changes of one block: a queue for every parameter set since the last block.
class CChanges final : public IParameterChanges {
public:
    explicit CChanges(std::size_t capacity) : queues(capacity) {}
    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj != nullptr) {
            *obj = SameUid(iid, kFUnknownIid) ? this : nullptr;
        }
        return obj != nullptr && *obj != nullptr ? kResultOk : kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    int32 VLM_VST3CALL getParameterCount() override { return static_cast<int32>(used); }
    IParamValueQueue* VLM_VST3CALL getParameterData(int32 index) override {
        return index >= 0 && static_cast<std::size_t>(index) < used ? &queues[index] : nullptr;
    }
    IParamValueQueue* VLM_VST3CALL addParameterData(const ParamID&, int32&) override {
        return nullptr;
    }

    void Clear() { used = 0; }
    void Add(ParamID id, ParamValue value) {
        if (used < queues.size()) {
            queues[used].id = id;
            queues[used].value = value;
            ++used;
        }
    }

private:
    std::vector<CQueue> queues;
    std::size_t used = 0;
};

// The window the view lives in, as the tool's editor window offers it: resize requests go to
// the tool's window, and on Linux the view's timers and file descriptors are served from the
// record's idle calls, on the thread that opened the editor.
class CFrame final : public IPlugFrame
#if !defined(_WIN32)
    ,
                     public IRunLoop
#endif
{
public:
    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = nullptr;
        if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPlugFrameIid)) {
            *obj = static_cast<IPlugFrame*>(this);
#if !defined(_WIN32)
        } else if (SameUid(iid, kIRunLoopIid)) {
            *obj = static_cast<IRunLoop*>(this);
#endif
        } else {
            return kNoInterface;
        }
        return kResultOk;
    }
    // Owned by the record, which outlives every view.
    uint32 VLM_VST3CALL addRef() override {
        return 1;
    }
    uint32 VLM_VST3CALL release() override {
        return 1;
    }

    tresult VLM_VST3CALL resizeView(IPlugView* view, ViewRect* size) override {
        if (view == nullptr || size == nullptr) {
            return kInvalidArgument;
        }
        const int width = size->right - size->left;
        const int height = size->bottom - size->top;
        const auto& resize = HostContext().sizeWindow;
        if (!resize || !resize(width, height)) {
            return kResultFalse;
        }
        view->onSize(size);
        return kResultOk;
    }

#if !defined(_WIN32)
    tresult VLM_VST3CALL registerEventHandler(IEventHandler* handler, FileDescriptor fd) override {
        if (handler == nullptr || fd < 0) {
            return kInvalidArgument;
        }
        events.push_back({handler, fd});
        return kResultOk;
    }
    tresult VLM_VST3CALL unregisterEventHandler(IEventHandler* handler) override {
        events.erase(std::remove_if(events.begin(), events.end(),
                                    [&](const SEvent& e) { return e.handler == handler; }),
                     events.end());
        return kResultOk;
    }
    tresult VLM_VST3CALL registerTimer(ITimerHandler* handler, TimerInterval ms) override {
        if (handler == nullptr) {
            return kInvalidArgument;
        }
        timers.push_back(handler);
        (void)ms; // served at every idle call, which comes every 20 ms
        return kResultOk;
    }
    tresult VLM_VST3CALL unregisterTimer(ITimerHandler* handler) override {
        timers.erase(std::remove(timers.begin(), timers.end(), handler), timers.end());
        return kResultOk;
    }

    // [UI thread] One turn of the run loop: ready descriptors, then the timers.
    void Serve() {
        for (std::size_t i = 0; i < events.size(); ++i) {
            pollfd watch{events[i].fd, POLLIN, 0};
            if (poll(&watch, 1, 0) > 0) {
                events[i].handler->onFDIsSet(events[i].fd);
            }
        }
        for (std::size_t i = 0; i < timers.size(); ++i) {
            timers[i]->onTimer();
        }
    }
#else
    void Serve() {}
#endif

private:
#if !defined(_WIN32)
    struct SEvent {
        IEventHandler* handler;
        FileDescriptor fd;
    };
    std::vector<SEvent> events;
    std::vector<ITimerHandler*> timers;
#endif
};

// The host's side of the user's edits: told to the tool as a VST 2.4 plug-in tells them.
class CHandler final : public IComponentHandler {
public:
    explicit CHandler(AEffect* record, audioMasterCallback callback,
                      std::function<VstInt32(ParamID)> indexOf,
                      std::function<void(VstInt32, float)> apply)
        : effect(record), host(callback), index(std::move(indexOf)), forward(std::move(apply)) {}

    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = SameUid(iid, kFUnknownIid) || SameUid(iid, kIComponentHandlerIid) ? this : nullptr;
        return *obj != nullptr ? kResultOk : kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    tresult VLM_VST3CALL beginEdit(ParamID id) override {
        return Tell(audioMasterBeginEdit, id, 0.0f);
    }
    tresult VLM_VST3CALL performEdit(ParamID id, ParamValue value) override {
        const VstInt32 at = index(id);
        if (at < 0) {
            return kInvalidArgument;
        }
        // The processor hears the edit with the next block, as a host passes it on.
        forward(at, static_cast<float>(value));
        return Tell(audioMasterAutomate, id, static_cast<float>(value));
    }
    tresult VLM_VST3CALL endEdit(ParamID id) override { return Tell(audioMasterEndEdit, id, 0.0f); }
    tresult VLM_VST3CALL restartComponent(int32) override { return kResultOk; }

private:
    tresult Tell(VstInt32 opcode, ParamID id, float value) {
        const VstInt32 at = index(id);
        if (at < 0) {
            return kInvalidArgument;
        }
        host(effect, opcode, at, 0, nullptr, value);
        return kResultOk;
    }

    AEffect* effect;
    audioMasterCallback host;
    std::function<VstInt32(ParamID)> index;
    std::function<void(VstInt32, float)> forward;
};

// The record and everything it stands for.
class CFacade {
public:
    AEffect record{};

    CFacade(void* loadedModule, IComponent* c, IAudioProcessor* p, IEditController* e,
            bool ownController, const PClassInfo2& classInfo, const std::string& factoryVendor)
        : module(loadedModule), component(c), processor(p), controller(e),
          separateController(ownController), info(classInfo), vendor(factoryVendor) {}

    ~CFacade() {
        CloseView();
        controller->setComponentHandler(nullptr);
        if (active) {
            Dispatch(effMainsChanged, 0, 0, nullptr, 0.0f);
        }
        processor->release();
        if (separateController) {
            controller->terminate();
        }
        controller->release();
        component->terminate();
        component->release();
        EndModule(module);
    }

    // Reads the buses and parameters the record announces. False when there is no audio.
    bool Describe() {
        int32 channels[2] = {0, 0};
        for (const BusDirection dir : {kInput, kOutput}) {
            if (component->getBusCount(kAudio, dir) < 1) {
                continue;
            }
            BusInfo bus{};
            if (component->getBusInfo(kAudio, dir, 0, bus) == kResultOk && bus.busType == kMain) {
                channels[dir] = std::max(bus.channelCount, 0);
                component->activateBus(kAudio, dir, 0, 1);
            }
        }
        record.numInputs = channels[kInput];
        record.numOutputs = channels[kOutput];
        const int32 count = std::max(controller->getParameterCount(), 0);
        for (int32 i = 0; i < count; ++i) {
            ParameterInfo parameter{};
            if (controller->getParameterInfo(i, parameter) == kResultOk) {
                parameters.push_back(parameter);
            }
        }
        record.numParams = static_cast<VstInt32>(parameters.size());
        pending = std::make_unique<std::atomic<float>[]>(parameters.size());
        dirty = std::make_unique<std::atomic<bool>[]>(parameters.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            pending[i].store(0.0f, std::memory_order_relaxed);
            dirty[i].store(false, std::memory_order_relaxed);
        }
        changes = std::make_unique<CChanges>(parameters.size());
        record.initialDelay = static_cast<VstInt32>(processor->getLatencySamples());
        // The view is made once, here, to learn whether there is an editor, and kept.
        view = controller->createView(kEditorViewName);
        if (view != nullptr && view->isPlatformTypeSupported(kPlatformType) == kResultTrue) {
            record.flags |= effFlagsHasEditor;
        }
        return record.numOutputs > 0;
    }

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        switch (opcode) {
        case effSetSampleRate:
            sampleRate = opt;
            return 1;
        case effSetBlockSize:
            blockSize = static_cast<int32>(value);
            return 1;
        case effMainsChanged:
            return SetActive(value != 0);
        case effStartProcess:
            return processor->setProcessing(1) == kResultOk ? 1 : 0;
        case effStopProcess:
            return processor->setProcessing(0) == kResultOk ? 1 : 0;
        case effGetEffectName:
        case effGetProductString:
            CopyOut(ptr, FromBuffer(info.name, sizeof info.name));
            return 1;
        case effGetVendorString: {
            const std::string classVendor = FromBuffer(info.vendor, sizeof info.vendor);
            CopyOut(ptr, classVendor.empty() ? vendor : classVendor);
            return 1;
        }
        case effGetVendorVersion:
            return record.version;
        case effGetPlugCategory:
            return std::strstr(info.subCategories, "Instrument") != nullptr ? kPlugCategSynth
                                                                            : kPlugCategEffect;
        case effGetParamName:
        case effGetParamLabel:
        case effGetParamDisplay:
            return ParameterText(opcode, index, ptr);
        case effGetChunk:
            return GetChunk(ptr);
        case effSetChunk:
            return SetChunk(value, ptr);
        case effGetTailSize:
            return static_cast<VstIntPtr>(processor->getTailSamples());
        case effEditGetRect:
            return EditorRect(ptr);
        case effEditOpen:
            return OpenView(ptr);
        case effEditIdle:
            frame.Serve();
            return 1;
        case effEditClose:
            CloseView();
            return 1;
        case effVendorSpecific:
            return index == kVendorScaleIndex && value == kVendorScaleValue ? Scale(opt) : 0;
        default:
            return 0;
        }
    }

    float GetParameter(VstInt32 index) {
        if (!IsParameter(index)) {
            return 0.0f;
        }
        return static_cast<float>(controller->getParamNormalized(parameters[index].id));
    }

    // The controller learns the value at once; the processor with the next block.
    void SetParameter(VstInt32 index, float value) {
        if (!IsParameter(index)) {
            return;
        }
        controller->setParamNormalized(parameters[index].id, value);
        Queue(index, value);
    }

    void Process(float** inputs, float** outputs, VstInt32 frames) {
        changes->Clear();
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (dirty[i].exchange(false, std::memory_order_acquire)) {
                changes->Add(parameters[i].id, pending[i].load(std::memory_order_relaxed));
            }
        }
        AudioBusBuffers in{};
        in.numChannels = record.numInputs;
        in.channelBuffers32 = inputs;
        AudioBusBuffers out{};
        out.numChannels = record.numOutputs;
        out.channelBuffers32 = outputs;
        ProcessData data{};
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = frames;
        data.numInputs = record.numInputs > 0 ? 1 : 0;
        data.numOutputs = 1;
        data.inputs = record.numInputs > 0 ? &in : nullptr;
        data.outputs = &out;
        data.inputParameterChanges = changes.get();
        processor->process(data);
    }

    static void EndModule(void* module) {
#if defined(_WIN32)
        if (auto exitDll = FindEntry<ExitDllProc>(module, "ExitDll")) {
            exitDll();
        }
#else
        if (auto exitModule = FindEntry<ModuleExitProc>(module, "ModuleExit")) {
            exitModule();
        }
#endif
    }

private:
    bool IsParameter(VstInt32 index) const {
        return index >= 0 && static_cast<std::size_t>(index) < parameters.size();
    }

    VstIntPtr SetActive(bool on) {
        if (on == active) {
            return 1;
        }
        if (on) {
            ProcessSetup setup{};
            setup.processMode = kRealtime;
            setup.symbolicSampleSize = kSample32;
            setup.maxSamplesPerBlock = blockSize;
            setup.sampleRate = static_cast<double>(sampleRate);
            if (processor->canProcessSampleSize(kSample32) != kResultTrue ||
                processor->setupProcessing(setup) != kResultOk) {
                return 0;
            }
        }
        active = on;
        return component->setActive(on ? 1 : 0) == kResultOk ? 1 : 0;
    }

    VstIntPtr ParameterText(VstInt32 opcode, VstInt32 index, void* ptr) {
        if (!IsParameter(index)) {
            return 0;
        }
        const ParameterInfo& p = parameters[index];
        if (opcode == effGetParamName) {
            CopyOut(ptr, Utf8(p.title, 128));
        } else if (opcode == effGetParamLabel) {
            CopyOut(ptr, Utf8(p.units, 128));
        } else {
            String128 text = {};
            if (controller->getParamStringByValue(p.id, controller->getParamNormalized(p.id),
                                                  text) != kResultOk) {
                return 0;
            }
            CopyOut(ptr, Utf8(text, 128));
        }
        return 1;
    }

    VstIntPtr GetChunk(void* ptr) {
        if (ptr == nullptr) {
            return 0;
        }
        CMemoryStream stream;
        if (component->getState(&stream) != kResultOk) {
            return 0;
        }
        chunk = stream.Bytes();
        *static_cast<void**>(ptr) = chunk.data();
        return static_cast<VstIntPtr>(chunk.size());
    }

    VstIntPtr SetChunk(VstIntPtr size, void* ptr) {
        if (ptr == nullptr || size <= 0) {
            return 0;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(ptr);
        CMemoryStream stream(std::vector<std::uint8_t>(bytes, bytes + size));
        if (component->setState(&stream) != kResultOk) {
            return 0;
        }
        stream.Rewind();
        controller->setComponentState(&stream);
        return 1;
    }

#if defined(_WIN32)
    static constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
    static constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

    VstIntPtr EditorRect(void* ptr) {
        ViewRect size{};
        if (ptr == nullptr || view == nullptr || view->getSize(&size) != kResultOk) {
            return 0;
        }
        rect.left = 0;
        rect.top = 0;
        rect.right = static_cast<std::int16_t>(std::min(size.right - size.left, 32767));
        rect.bottom = static_cast<std::int16_t>(std::min(size.bottom - size.top, 32767));
        *static_cast<ERect**>(ptr) = &rect;
        return 1;
    }

    VstIntPtr OpenView(void* parent) {
        if (view == nullptr || parent == nullptr || attached) {
            return 0;
        }
        view->setFrame(&frame);
        attached = view->attached(parent, kPlatformType) == kResultOk;
        if (!attached) {
            view->setFrame(nullptr);
        }
        return attached ? 1 : 0;
    }

    void CloseView() {
        if (view == nullptr) {
            return;
        }
        if (attached) {
            view->removed();
            attached = false;
        }
        view->setFrame(nullptr);
        view->release();
        view = nullptr;
    }

    VstIntPtr Scale(float factor) {
        void* obj = nullptr;
        if (view == nullptr ||
            view->queryInterface(kIPlugViewContentScaleSupportIid.bytes, &obj) != kResultOk) {
            return 0;
        }
        auto* scale = static_cast<IPlugViewContentScaleSupport*>(obj);
        const bool taken = scale->setContentScaleFactor(factor) == kResultOk;
        scale->release();
        return taken ? 1 : 0;
    }

public:
    // The tool's callback hears the user's edits from the controller. [construction]
    void ConnectHandler(audioMasterCallback host) {
        handler = std::make_unique<CHandler>(
            &record, host,
            [this](ParamID id) {
                for (std::size_t i = 0; i < parameters.size(); ++i) {
                    if (parameters[i].id == id) {
                        return static_cast<VstInt32>(i);
                    }
                }
                return VstInt32{-1};
            },
            [this](VstInt32 at, float value) { Queue(at, value); });
        controller->setComponentHandler(handler.get());
    }

private:
    void Queue(VstInt32 index, float value) {
        pending[index].store(value, std::memory_order_relaxed);
        dirty[index].store(true, std::memory_order_release);
    }

    void* module;
    IComponent* component;
    IAudioProcessor* processor;
    IEditController* controller;
    bool separateController;
    PClassInfo2 info;
    std::string vendor;
    std::vector<ParameterInfo> parameters;
    std::unique_ptr<std::atomic<float>[]> pending;
    std::unique_ptr<std::atomic<bool>[]> dirty;
    std::unique_ptr<CChanges> changes;
    std::vector<std::uint8_t> chunk;
    CFrame frame;
    std::unique_ptr<CHandler> handler;
    IPlugView* view = nullptr;
    bool attached = false;
    ERect rect{};
    float sampleRate = 44100.0f;
    int32 blockSize = 512;
    bool active = false;
};

CFacade* FacadeOf(AEffect* effect) {
    return static_cast<CFacade*>(effect->object);
}

VstIntPtr VLM_VSTCALL FacadeDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                       VstIntPtr value, void* ptr, float opt) {
    CFacade* facade = FacadeOf(effect);
    if (opcode == effClose) {
        delete facade;
        return 1;
    }
    return facade->Dispatch(opcode, index, value, ptr, opt);
}

void VLM_VSTCALL FacadeProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames) {
    FacadeOf(effect)->Process(inputs, outputs, frames);
}

void VLM_VSTCALL FacadeSetParameter(AEffect* effect, VstInt32 index, float value) {
    FacadeOf(effect)->SetParameter(index, value);
}

float VLM_VSTCALL FacadeGetParameter(AEffect* effect, VstInt32 index) {
    return FacadeOf(effect)->GetParameter(index);
}

template <typename Interface> Interface* Query(FUnknown* object, const Uid& iid) {
    void* obj = nullptr;
    if (object == nullptr || object->queryInterface(iid.bytes, &obj) != kResultOk) {
        return nullptr;
    }
    return static_cast<Interface*>(obj);
}

// "1.2.3" as the VST 2.4 vendor version 1230... : major * 1000 + minor * 100 + patch.
VstInt32 VersionNumber(const char* text) {
    int parts[3] = {0, 0, 0};
    int part = 0;
    for (const char* p = text; *p != '\0' && part < 3; ++p) {
        if (std::isdigit(static_cast<unsigned char>(*p))) {
            parts[part] = std::min(parts[part] * 10 + (*p - '0'), 99);
        } else if (*p == '.') {
            ++part;
        } else {
            break;
        }
    }
    return parts[0] * 1000 + parts[1] * 100 + parts[2];
}

bool EndsWithVst3(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    if (path.size() < 5) {
        return false;
    }
    std::string tail = path.substr(path.size() - 5);
    for (char& c : tail) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return tail == ".vst3";
}

} // namespace

bool IsVst3Path(const std::string& path) {
    return EndsWithVst3(path);
}

std::string ModulePath(const std::string& path) {
    if (PathKind(path) != EPathKind::Directory) {
        return path;
    }
    std::string bundle = path;
    while (bundle.size() > 1 && (bundle.back() == '/' || bundle.back() == '\\')) {
        bundle.pop_back();
    }
    std::size_t slash = bundle.find_last_of("/\\");
    std::string name = bundle.substr(slash == std::string::npos ? 0 : slash + 1);
    name.erase(name.size() - 5); // ".vst3"
#if defined(_WIN32)
    return bundle + "\\Contents\\x86_64-win\\" + name + ".vst3";
#else
    return bundle + "/Contents/x86_64-linux/" + name + ".so";
#endif
}

AEffect* CreateEffect(void* module, audioMasterCallback host) {
#if defined(_WIN32)
    if (auto init = FindEntry<InitDllProc>(module, "InitDll")) {
        if (!init()) {
            throw Exceptions::HostFailure("the VST3 module's InitDll failed");
        }
    }
#else
    if (auto entry = FindEntry<ModuleEntryProc>(module, "ModuleEntry")) {
        if (!entry(module)) {
            throw Exceptions::HostFailure("the VST3 module's ModuleEntry failed");
        }
    }
#endif
    // From here on every failure ends the module's use again.
    auto fail = [&](const std::string& why) -> AEffect* {
        CFacade::EndModule(module);
        throw Exceptions::HostFailure("not a usable VST3 plug-in: " + why);
    };
    auto getFactory = FindEntry<GetFactoryProc>(module, "GetPluginFactory");
    if (getFactory == nullptr) {
        return fail("the module does not export GetPluginFactory");
    }
    IPluginFactory* factory = getFactory();
    if (factory == nullptr) {
        return fail("GetPluginFactory returned no factory");
    }
    PFactoryInfo factoryInfo{};
    factory->getFactoryInfo(&factoryInfo);
    IPluginFactory2* factory2 = Query<IPluginFactory2>(factory, kIPluginFactory2Iid);

    // The first audio effect class.
    PClassInfo2 info{};
    bool found = false;
    for (int32 i = 0; i < factory->countClasses() && !found; ++i) {
        PClassInfo plain{};
        if (factory->getClassInfo(i, &plain) != kResultOk ||
            std::strncmp(plain.category, kVstAudioEffectClass, sizeof plain.category) != 0) {
            continue;
        }
        if (factory2 == nullptr || factory2->getClassInfo2(i, &info) != kResultOk) {
            info = PClassInfo2{};
            std::memcpy(info.cid, plain.cid, sizeof info.cid);
            std::memcpy(info.name, plain.name, sizeof info.name);
        }
        found = true;
    }
    if (factory2 != nullptr) {
        factory2->release();
    }
    if (!found) {
        factory->release();
        return fail("the module's factory offers no audio effect class");
    }

    void* obj = nullptr;
    IComponent* component = nullptr;
    if (factory->createInstance(info.cid, kIComponentIid.bytes, &obj) == kResultOk) {
        component = static_cast<IComponent*>(obj);
    }
    if (component == nullptr || component->initialize(nullptr) != kResultOk) {
        if (component != nullptr) {
            component->release();
        }
        factory->release();
        return fail("its component could not be made");
    }
    // The controller is the component itself, or a class of its own the component names.
    IEditController* controller = Query<IEditController>(component, kIEditControllerIid);
    bool separate = false;
    TUID controllerId = {};
    if (controller == nullptr && component->getControllerClassId(controllerId) == kResultOk) {
        obj = nullptr;
        if (factory->createInstance(controllerId, kIEditControllerIid.bytes, &obj) == kResultOk &&
            obj != nullptr) {
            controller = static_cast<IEditController*>(obj);
            separate = true;
            if (controller->initialize(nullptr) != kResultOk) {
                controller->release();
                controller = nullptr;
            }
        }
    }
    factory->release();
    IAudioProcessor* processor = Query<IAudioProcessor>(component, kIAudioProcessorIid);
    if (controller == nullptr || processor == nullptr) {
        if (processor != nullptr) {
            processor->release();
        }
        if (controller != nullptr) {
            controller->release();
        }
        component->terminate();
        component->release();
        return fail(controller == nullptr ? "it has no edit controller"
                                          : "its component is no audio processor");
    }
    if (separate) {
        // A separate controller starts from the component's state.
        CMemoryStream stream;
        if (component->getState(&stream) == kResultOk) {
            stream.Rewind();
            controller->setComponentState(&stream);
        }
    }

    auto facade = std::make_unique<CFacade>(module, component, processor, controller, separate,
                                            info, FromBuffer(factoryInfo.vendor, 64));
    AEffect& r = facade->record;
    r.magic = kEffectMagic;
    r.dispatcher = &FacadeDispatcher;
    r.setParameter = &FacadeSetParameter;
    r.getParameter = &FacadeGetParameter;
    r.processReplacing = &FacadeProcess;
    r.flags = effFlagsCanReplacing | effFlagsProgramChunks;
    r.version = VersionNumber(info.version);
    r.uniqueID = static_cast<VstInt32>(
        static_cast<std::uint32_t>(static_cast<unsigned char>(info.cid[0])) << 24 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(info.cid[1])) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(info.cid[2])) << 8 |
        static_cast<unsigned char>(info.cid[3]));
    r.object = facade.get();
    facade->Describe();
    facade->ConnectHandler(host);
    return &facade.release()->record;
}

} // namespace VLM::Vst3Host
