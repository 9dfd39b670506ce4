#include "host/claphost.h"

#include "clap.h"
#include "common/errors.h"
#include "common/text_format.h"
#include "host/module.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#if !defined(_WIN32)
#include <poll.h>
#endif

namespace VLM::ClapHost {
namespace {

#if defined(_WIN32)
const char* const kWindowApi = CLAP_WINDOW_API_WIN32;
#else
const char* const kWindowApi = CLAP_WINDOW_API_X11;
#endif
// The longest text a plug-in may write for a parameter's value.
constexpr std::size_t kTextSize = 256;
// Bigger than any state a plug-in should keep: a stream beyond this is refused.
constexpr std::size_t kMaxStateBytes = std::size_t{64} << 20;

struct SParam {
    clap_id id = 0;
    std::string name;
    double min = 0.0;
    double max = 1.0;
};

struct STimer {
    clap_id id = 0;
    std::chrono::milliseconds period{0};
    std::chrono::steady_clock::time_point due;
};

// Values the tool sets while the plug-in processes, carried into its next block.
class CValueRing {
public:
    bool Push(clap_id id, double value) {
        const std::uint32_t at = tail.load(std::memory_order_relaxed);
        if (at - head.load(std::memory_order_acquire) >= kCapacity) {
            return false;
        }
        ring[at % kCapacity] = {id, value};
        tail.store(at + 1, std::memory_order_release);
        return true;
    }
    bool Pop(clap_id& id, double& value) {
        const std::uint32_t at = head.load(std::memory_order_relaxed);
        if (at == tail.load(std::memory_order_acquire)) {
            return false;
        }
        id = ring[at % kCapacity].id;
        value = ring[at % kCapacity].value;
        head.store(at + 1, std::memory_order_release);
        return true;
    }

private:
    static constexpr std::uint32_t kCapacity = 256;
    struct SValue {
        clap_id id;
        double value;
    };
    SValue ring[kCapacity] = {};
    std::atomic<std::uint32_t> head{0};
    std::atomic<std::uint32_t> tail{0};
};

// An input event list over a fixed array, filled just before the plug-in reads it.
struct SInputList {
    static constexpr std::uint32_t kCapacity = 256;
    clap_input_events_t list{};
    clap_event_param_value_t events[kCapacity] = {};
    std::uint32_t count = 0;
};

class CClapEffect {
public:
    explicit CClapEffect(audioMasterCallback hostCallback) : callback(hostCallback) {}
    ~CClapEffect();
    // Loads the plug-in; throws Exceptions::HostFailure. The destructor undoes what was done.
    void Start(void* module, const std::string& path);
    CClapEffect(const CClapEffect&) = delete;
    CClapEffect& operator=(const CClapEffect&) = delete;

    AEffect* Record() { return &record; }

private:
    static CClapEffect* From(AEffect* effect) {
        return effect != nullptr ? static_cast<CClapEffect*>(effect->object) : nullptr;
    }
    static CClapEffect* From(const clap_host_t* host) {
        return host != nullptr ? static_cast<CClapEffect*>(host->host_data) : nullptr;
    }

    // The record's entries.
    static VstIntPtr VLM_VSTCALL DispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                 VstIntPtr value, void* ptr, float opt);
    static void VLM_VSTCALL ProcessEntry(AEffect* effect, float** inputs, float** outputs,
                                         VstInt32 frames);
    static void VLM_VSTCALL SetParameterEntry(AEffect* effect, VstInt32 index, float value);
    static float VLM_VSTCALL GetParameterEntry(AEffect* effect, VstInt32 index);

    // The host's side, as the plug-in calls it.
    static const void* VLM_CLAP_ABI HostExtension(const clap_host_t* host, const char* id);
    static void VLM_CLAP_ABI HostRequest(const clap_host_t* /*host*/) {}
    static void VLM_CLAP_ABI HostRescan(const clap_host_t* /*host*/, clap_param_rescan_flags) {}
    static void VLM_CLAP_ABI HostClear(const clap_host_t* /*host*/, clap_id,
                                       clap_param_clear_flags) {}
    static void VLM_CLAP_ABI HostRequestFlush(const clap_host_t* host);
    static void VLM_CLAP_ABI HostMarkDirty(const clap_host_t* /*host*/) {}
    static void VLM_CLAP_ABI HostLatencyChanged(const clap_host_t* /*host*/) {}
    static void VLM_CLAP_ABI HostResizeHintsChanged(const clap_host_t* /*host*/) {}
    static bool VLM_CLAP_ABI HostRequestResize(const clap_host_t* host, std::uint32_t width,
                                               std::uint32_t height);
    static bool VLM_CLAP_ABI HostRequestShowHide(const clap_host_t* /*host*/) { return false; }
    static void VLM_CLAP_ABI HostGuiClosed(const clap_host_t* /*host*/, bool) {}
    static bool VLM_CLAP_ABI HostRegisterTimer(const clap_host_t* host, std::uint32_t periodMs,
                                               clap_id* id);
    static bool VLM_CLAP_ABI HostUnregisterTimer(const clap_host_t* host, clap_id id);
    static bool VLM_CLAP_ABI HostRegisterFd(const clap_host_t* host, int fd,
                                            clap_posix_fd_flags_t flags);
    static bool VLM_CLAP_ABI HostModifyFd(const clap_host_t* host, int fd,
                                          clap_posix_fd_flags_t flags);
    static bool VLM_CLAP_ABI HostUnregisterFd(const clap_host_t* host, int fd);
    static bool VLM_CLAP_ABI PushOutput(const clap_output_events_t* list,
                                        const clap_event_header_t* event);
    static std::uint32_t VLM_CLAP_ABI InputSize(const clap_input_events_t* list);
    static const clap_event_header_t* VLM_CLAP_ABI InputGet(const clap_input_events_t* list,
                                                            std::uint32_t index);

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    void Process(float** inputs, float** outputs, VstInt32 frames);
    void SetParameter(VstInt32 index, float value);
    float GetParameter(VstInt32 index);

    void ReadParams();
    void ReadPorts();
    int ParamIndex(clap_id id) const;
    double PlainValue(int index, float normalised) const;
    float Normalised(int index, double plain) const;
    std::string ParamText(int index, bool unit);
    void FillInputs(SInputList& list);
    void Flush();
    bool EnsureGui();
    void CloseGui();
    void ServeEditor();
    bool SaveChunk();
    bool LoadChunk(const void* bytes, std::size_t size);

    AEffect record{};
    audioMasterCallback callback = nullptr;
    const clap_plugin_entry_t* entry = nullptr;
    bool entryInitialised = false;
    const clap_plugin_t* plugin = nullptr;
    clap_host_t host{};
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_latency_t* latency = nullptr;
    const clap_plugin_gui_t* gui = nullptr;
    const clap_plugin_audio_ports_t* ports = nullptr;
    const clap_plugin_timer_support_t* timerSupport = nullptr;
    const clap_plugin_posix_fd_support_t* fdSupport = nullptr;

    std::vector<SParam> paramList;
    double sampleRate = 44100.0;
    std::uint32_t blockSize = 512;
    bool active = false;
    std::atomic<bool> wantProcessing{false};
    bool processing = false; // the audio thread's, while the tool processes
    std::atomic<bool> flushRequested{false};
    // Held around every process and flush call: the tool's UI thread flushes when no audio
    // thread runs (an editor without audio), and never during a block.
    std::atomic<bool> inPlugin{false};
    std::int64_t steadyTime = 0;
    CValueRing pending;
    SInputList processInputs;
    SInputList flushInputs;
    clap_output_events_t outputs{};

    std::vector<std::uint8_t> chunk;
    ERect rect{};
    bool guiCreated = false;
    bool editorOpen = false;
    std::vector<STimer> timers;
    clap_id nextTimer = 1;
    std::vector<int> fds;

    static const clap_host_params_t kHostParams;
    static const clap_host_state_t kHostState;
    static const clap_host_latency_t kHostLatency;
    static const clap_host_gui_t kHostGui;
    static const clap_host_timer_support_t kHostTimer;
    static const clap_host_posix_fd_support_t kHostFd;
};

const clap_host_params_t CClapEffect::kHostParams = {
    &CClapEffect::HostRescan, &CClapEffect::HostClear, &CClapEffect::HostRequestFlush};
const clap_host_state_t CClapEffect::kHostState = {&CClapEffect::HostMarkDirty};
const clap_host_latency_t CClapEffect::kHostLatency = {&CClapEffect::HostLatencyChanged};
const clap_host_gui_t CClapEffect::kHostGui = {
    &CClapEffect::HostResizeHintsChanged, &CClapEffect::HostRequestResize,
    &CClapEffect::HostRequestShowHide, &CClapEffect::HostRequestShowHide,
    &CClapEffect::HostGuiClosed};
const clap_host_timer_support_t CClapEffect::kHostTimer = {&CClapEffect::HostRegisterTimer,
                                                           &CClapEffect::HostUnregisterTimer};
const clap_host_posix_fd_support_t CClapEffect::kHostFd = {
    &CClapEffect::HostRegisterFd, &CClapEffect::HostModifyFd, &CClapEffect::HostUnregisterFd};

void CopyText(void* ptr, const std::string& text, std::size_t capacity) {
    if (ptr == nullptr || capacity == 0) {
        return;
    }
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(ptr, text.data(), n);
    static_cast<char*>(ptr)[n] = '\0';
}

// A CLAP plug-in is known by its id text; a VST2 host by a 32-bit number: the text's FNV-1a hash.
VstInt32 IdHash(const char* id) {
    std::uint32_t hash = 2166136261u;
    for (; *id != '\0'; ++id) {
        hash = (hash ^ static_cast<unsigned char>(*id)) * 16777619u;
    }
    return static_cast<VstInt32>(hash);
}

// "1.2.3" as the VST2 vendor version 1230... ("1.0.0": 1000).
VstInt32 VersionNumber(const char* text) {
    int parts[3] = {0, 0, 0};
    if (text != nullptr) {
        std::sscanf(text, "%d.%d.%d", &parts[0], &parts[1], &parts[2]);
    }
    return parts[0] * 1000 + parts[1] * 100 + parts[2] * 10;
}

void CClapEffect::Start(void* module, const std::string& path) {
    const std::string quoted = "'" + Printable(path) + "'";
    // The entry is a data symbol; the module lookup hands every symbol out as a function.
    entry = reinterpret_cast<const clap_plugin_entry_t*>(Module::Find(module, "clap_entry"));
    if (entry == nullptr) {
        throw Exceptions::HostFailure("not a CLAP plug-in: " + quoted + " exports no clap_entry");
    }
    if (!ClapVersionIsCompatible(entry->clap_version) || entry->init == nullptr ||
        entry->deinit == nullptr || entry->get_factory == nullptr) {
        throw Exceptions::HostFailure("not a CLAP 1.x plug-in: " + quoted);
    }
    if (!entry->init(path.c_str())) {
        throw Exceptions::HostFailure("the CLAP plug-in " + quoted + " refused to initialise");
    }
    entryInitialised = true;
    const auto* factory =
        static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_descriptor_t* descriptor =
        factory != nullptr && factory->get_plugin_count(factory) > 0
            ? factory->get_plugin_descriptor(factory, 0)
            : nullptr;
    if (descriptor == nullptr || descriptor->id == nullptr) {
        throw Exceptions::HostFailure("the CLAP plug-in " + quoted + " has no plug-in to make");
    }

    host.clap_version = kClapVersion;
    host.host_data = this;
    host.name = "vsthost";
    host.vendor = "Velmora";
    host.url = "";
    host.version = "1.0.0";
    host.get_extension = &CClapEffect::HostExtension;
    host.request_restart = &CClapEffect::HostRequest;
    host.request_process = &CClapEffect::HostRequest;
    host.request_callback = &CClapEffect::HostRequest;

    plugin = factory->create_plugin(factory, &host, descriptor->id);
    if (plugin == nullptr) {
        throw Exceptions::HostFailure("the CLAP plug-in " + quoted + " could not be made");
    }
    if (!plugin->init(plugin)) {
        plugin->destroy(plugin);
        plugin = nullptr;
        throw Exceptions::HostFailure("the CLAP plug-in " + quoted + " failed to initialise");
    }
    auto extension = [this](const char* id) { return plugin->get_extension(plugin, id); };
    params = static_cast<const clap_plugin_params_t*>(extension(CLAP_EXT_PARAMS));
    state = static_cast<const clap_plugin_state_t*>(extension(CLAP_EXT_STATE));
    latency = static_cast<const clap_plugin_latency_t*>(extension(CLAP_EXT_LATENCY));
    gui = static_cast<const clap_plugin_gui_t*>(extension(CLAP_EXT_GUI));
    ports = static_cast<const clap_plugin_audio_ports_t*>(extension(CLAP_EXT_AUDIO_PORTS));
    timerSupport =
        static_cast<const clap_plugin_timer_support_t*>(extension(CLAP_EXT_TIMER_SUPPORT));
    fdSupport =
        static_cast<const clap_plugin_posix_fd_support_t*>(extension(CLAP_EXT_POSIX_FD_SUPPORT));

    record.magic = kEffectMagic;
    record.dispatcher = &CClapEffect::DispatcherEntry;
    record.setParameter = &CClapEffect::SetParameterEntry;
    record.getParameter = &CClapEffect::GetParameterEntry;
    record.processReplacing = &CClapEffect::ProcessEntry;
    record.object = this;
    record.ioRatio = 1.0f;
    record.version = VersionNumber(descriptor->version);
    record.uniqueID = IdHash(descriptor->id);
    record.flags = effFlagsCanReplacing;
    if (state != nullptr) {
        record.flags |= effFlagsProgramChunks;
    }
    if (gui != nullptr && gui->is_api_supported(plugin, kWindowApi, false)) {
        record.flags |= effFlagsHasEditor;
    }
    ReadParams();
    ReadPorts();

    for (SInputList* list : {&processInputs, &flushInputs}) {
        list->list.ctx = list;
        list->list.size = &CClapEffect::InputSize;
        list->list.get = &CClapEffect::InputGet;
    }
    outputs.ctx = this;
    outputs.try_push = &CClapEffect::PushOutput;
}

CClapEffect::~CClapEffect() {
    if (plugin != nullptr) {
        CloseGui();
        if (processing) {
            plugin->stop_processing(plugin);
        }
        if (active) {
            plugin->deactivate(plugin);
        }
        plugin->destroy(plugin);
    }
    if (entryInitialised) {
        entry->deinit();
    }
}

void CClapEffect::ReadParams() {
    const std::uint32_t count = params != nullptr ? params->count(plugin) : 0;
    for (std::uint32_t i = 0; i < count && i < (1u << 20); ++i) {
        clap_param_info_t info{};
        if (!params->get_info(plugin, i, &info)) {
            continue;
        }
        info.name[sizeof info.name - 1] = '\0';
        paramList.push_back({info.id, info.name, info.min_value, info.max_value});
    }
    record.numParams = static_cast<VstInt32>(paramList.size());
}

// The channels of every port: the tool feeds and reads the first two of them.
void CClapEffect::ReadPorts() {
    for (const bool input : {true, false}) {
        VstInt32 channels = 0;
        const std::uint32_t count = ports != nullptr ? ports->count(plugin, input) : 0;
        for (std::uint32_t i = 0; i < count && i < 64; ++i) {
            clap_audio_port_info_t info{};
            if (ports->get(plugin, i, input, &info) && info.channel_count <= 64) {
                channels += static_cast<VstInt32>(info.channel_count);
            }
        }
        (input ? record.numInputs : record.numOutputs) = channels;
    }
}

int CClapEffect::ParamIndex(clap_id id) const {
    for (std::size_t i = 0; i < paramList.size(); ++i) {
        if (paramList[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The record's 0..1 over the parameter's range, in double so that a value goes and comes back
// with the same bits.
double CClapEffect::PlainValue(int index, float normalised) const {
    const SParam& p = paramList[static_cast<std::size_t>(index)];
    return p.min + static_cast<double>(normalised) * (p.max - p.min);
}

float CClapEffect::Normalised(int index, double plain) const {
    const SParam& p = paramList[static_cast<std::size_t>(index)];
    if (!(p.max > p.min) || !std::isfinite(plain)) {
        return 0.0f;
    }
    return static_cast<float>(std::clamp((plain - p.min) / (p.max - p.min), 0.0, 1.0));
}

// A CLAP text carries its unit after the number ("+6.0 dB"); the record hands out the number
// (`unit` false) and the unit apart, as VST2 plug-ins do, each within a VST2 host's 8 bytes.
std::string CClapEffect::ParamText(int index, bool unit) {
    double value = 0.0;
    char buffer[kTextSize] = {};
    const clap_id id = paramList[static_cast<std::size_t>(index)].id;
    if (!params->get_value(plugin, id, &value)) {
        return "";
    }
    if (!params->value_to_text(plugin, id, value, buffer, sizeof buffer)) {
        return unit ? "" : Format("%g", value);
    }
    buffer[sizeof buffer - 1] = '\0';
    const std::string text = buffer;
    const std::size_t space = text.rfind(' ');
    const bool hasUnit = space != std::string::npos && space > 0 &&
                         text.find_first_of("0123456789", space) == std::string::npos;
    if (!hasUnit) {
        return unit ? "" : text;
    }
    return unit ? text.substr(space + 1) : text.substr(0, space);
}

VstIntPtr VLM_VSTCALL CClapEffect::DispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                   VstIntPtr value, void* ptr, float opt) {
    CClapEffect* self = From(effect);
    if (self == nullptr) {
        return 0;
    }
    if (opcode == effClose) {
        delete self;
        return 1;
    }
    return self->Dispatch(opcode, index, value, ptr, opt);
}

VstIntPtr CClapEffect::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    const bool isParam = index >= 0 && index < static_cast<VstInt32>(paramList.size());
    switch (opcode) {
    case effSetSampleRate:
        if (std::isfinite(opt) && opt > 0.0f) {
            sampleRate = static_cast<double>(opt);
        }
        return 1;
    case effSetBlockSize:
        if (value > 0 && value <= (VstIntPtr{1} << 24)) {
            blockSize = static_cast<std::uint32_t>(value);
        }
        return 1;
    case effMainsChanged:
        if (value != 0 && !active) {
            active = plugin->activate(plugin, sampleRate, 1, blockSize);
            if (active && latency != nullptr) {
                record.initialDelay =
                    static_cast<VstInt32>(std::min<std::uint32_t>(latency->get(plugin), 1u << 30));
            }
            return active ? 1 : 0;
        }
        if (value == 0 && active) {
            if (processing) {
                plugin->stop_processing(plugin);
                processing = false;
            }
            wantProcessing.store(false);
            plugin->deactivate(plugin);
            active = false;
        }
        return 1;
    case effStartProcess:
        // The plug-in starts processing on the audio thread, with its first block.
        wantProcessing.store(active);
        return 1;
    case effStopProcess:
        wantProcessing.store(false);
        if (processing) {
            plugin->stop_processing(plugin);
            processing = false;
        }
        return 1;
    case effGetEffectName:
        CopyText(ptr, plugin->desc->name != nullptr ? plugin->desc->name : "",
                 kVstMaxEffectNameLen);
        return 1;
    case effGetProductString:
        CopyText(ptr, plugin->desc->name != nullptr ? plugin->desc->name : "",
                 kVstMaxProductStrLen);
        return 1;
    case effGetVendorString:
        CopyText(ptr, plugin->desc->vendor != nullptr ? plugin->desc->vendor : "",
                 kVstMaxVendorStrLen);
        return 1;
    case effGetVendorVersion:
        return record.version;
    case effGetVstVersion:
        return kVstVersion;
    case effGetPlugCategory:
        for (const char* const* f = plugin->desc->features; f != nullptr && *f != nullptr; ++f) {
            if (std::strcmp(*f, "instrument") == 0) {
                return kPlugCategSynth;
            }
            if (std::strcmp(*f, "audio-effect") == 0) {
                return kPlugCategEffect;
            }
        }
        return kPlugCategUnknown;
    case effGetParamName:
        if (isParam) {
            CopyText(ptr, paramList[static_cast<std::size_t>(index)].name, kVstMaxParamStrLen);
        }
        return isParam ? 1 : 0;
    case effGetParamDisplay:
        if (isParam) {
            CopyText(ptr, ParamText(index, false), kVstMaxParamStrLen);
        }
        return isParam ? 1 : 0;
    case effGetParamLabel:
        if (isParam) {
            CopyText(ptr, ParamText(index, true), kVstMaxParamStrLen);
        }
        return isParam ? 1 : 0;
    case effGetChunk:
        if (ptr == nullptr || !SaveChunk()) {
            return 0;
        }
        *static_cast<void**>(ptr) = chunk.data();
        return static_cast<VstIntPtr>(chunk.size());
    case effSetChunk:
        return ptr != nullptr && value > 0 && LoadChunk(ptr, static_cast<std::size_t>(value)) ? 1
                                                                                              : 0;
    case effEditGetRect: {
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (ptr == nullptr || !EnsureGui() || !gui->get_size(plugin, &w, &h)) {
            return 0;
        }
        rect.top = 0;
        rect.left = 0;
        rect.bottom = static_cast<std::int16_t>(std::min<std::uint32_t>(h, 32767));
        rect.right = static_cast<std::int16_t>(std::min<std::uint32_t>(w, 32767));
        *static_cast<ERect**>(ptr) = &rect;
        return 1;
    }
    case effEditOpen: {
        if (ptr == nullptr || editorOpen || !EnsureGui()) {
            return 0;
        }
        clap_window_t window{};
        window.api = kWindowApi;
#if defined(_WIN32)
        window.win32 = ptr;
#else
        window.x11 = static_cast<clap_xwnd>(reinterpret_cast<std::uintptr_t>(ptr));
#endif
        if (!gui->set_parent(plugin, &window)) {
            CloseGui();
            return 0;
        }
        gui->show(plugin);
        editorOpen = true;
        return 1;
    }
    case effEditIdle:
        ServeEditor();
        if (flushRequested.exchange(false)) {
            Flush();
        }
        return 1;
    case effEditClose:
        CloseGui();
        return 1;
    case effVendorSpecific:
        if (index == kVendorScaleIndex && value == kVendorScaleValue) {
            return EnsureGui() && gui->set_scale(plugin, static_cast<double>(opt)) ? 1 : 0;
        }
        return 0;
    default:
        return 0;
    }
}

bool CClapEffect::SaveChunk() {
    if (state == nullptr) {
        return false;
    }
    chunk.clear();
    clap_ostream_t stream{};
    stream.ctx = this;
    stream.write = [](const clap_ostream_t* s, const void* buffer,
                      std::uint64_t size) -> std::int64_t {
        auto* self = static_cast<CClapEffect*>(s->ctx);
        if (buffer == nullptr || self->chunk.size() + size > kMaxStateBytes) {
            return -1;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        self->chunk.insert(self->chunk.end(), bytes, bytes + size);
        return static_cast<std::int64_t>(size);
    };
    return state->save(plugin, &stream) && !chunk.empty();
}

bool CClapEffect::LoadChunk(const void* bytes, std::size_t size) {
    if (state == nullptr) {
        return false;
    }
    struct SReader {
        const std::uint8_t* at;
        std::size_t left;
    } reader{static_cast<const std::uint8_t*>(bytes), size};
    clap_istream_t stream{};
    stream.ctx = &reader;
    stream.read = [](const clap_istream_t* s, void* buffer, std::uint64_t want) -> std::int64_t {
        auto* r = static_cast<SReader*>(s->ctx);
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, r->left));
        if (n > 0) {
            std::memcpy(buffer, r->at, n);
        }
        r->at += n;
        r->left -= n;
        return static_cast<std::int64_t>(n);
    };
    return state->load(plugin, &stream);
}

// The editor is made when it is first needed (its size is asked before it opens).
bool CClapEffect::EnsureGui() {
    if (gui == nullptr) {
        return false;
    }
    if (!guiCreated) {
        guiCreated = gui->create(plugin, kWindowApi, false);
    }
    return guiCreated;
}

void CClapEffect::CloseGui() {
    if (guiCreated) {
        gui->destroy(plugin);
    }
    guiCreated = false;
    editorOpen = false;
    timers.clear();
    fds.clear();
}

// The tool's editor loop calls this every 20 ms: due timers fire, and descriptors with input
// are handed to the plug-in, as a host's run loop does.
void CClapEffect::ServeEditor() {
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < timers.size(); ++i) {
        if (now >= timers[i].due && timerSupport != nullptr) {
            timers[i].due = now + timers[i].period;
            timerSupport->on_timer(plugin, timers[i].id);
        }
    }
#if !defined(_WIN32)
    for (std::size_t i = 0; i < fds.size(); ++i) {
        pollfd watch{fds[i], POLLIN, 0};
        if (poll(&watch, 1, 0) > 0 && (watch.revents & (POLLIN | POLLERR | POLLHUP)) != 0 &&
            fdSupport != nullptr) {
            const clap_posix_fd_flags_t flags =
                ((watch.revents & POLLIN) != 0 ? clap_posix_fd_flags_t{CLAP_POSIX_FD_READ} : 0u) |
                ((watch.revents & (POLLERR | POLLHUP)) != 0
                     ? clap_posix_fd_flags_t{CLAP_POSIX_FD_ERROR}
                     : 0u);
            fdSupport->on_fd(plugin, fds[i], flags);
        }
    }
#endif
}

// Edits the plug-in queued reach the tool in its next block, or in a flush between blocks that
// also hands over values the tool set meanwhile. A block running now does both anyway.
void CClapEffect::Flush() {
    if (params == nullptr || inPlugin.exchange(true, std::memory_order_acquire)) {
        return;
    }
    FillInputs(flushInputs);
    params->flush(plugin, &flushInputs.list, &outputs);
    inPlugin.store(false, std::memory_order_release);
}

void CClapEffect::FillInputs(SInputList& list) {
    list.count = 0;
    clap_id id = 0;
    double value = 0.0;
    while (list.count < SInputList::kCapacity && pending.Pop(id, value)) {
        clap_event_param_value_t& e = list.events[list.count++];
        e = clap_event_param_value_t{};
        e.header.size = sizeof e;
        e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        e.header.type = CLAP_EVENT_PARAM_VALUE;
        e.param_id = id;
        e.note_id = -1;
        e.port_index = -1;
        e.channel = -1;
        e.key = -1;
        e.value = value;
    }
}

void VLM_VSTCALL CClapEffect::ProcessEntry(AEffect* effect, float** inputs, float** outputs,
                                           VstInt32 frames) {
    if (CClapEffect* self = From(effect)) {
        self->Process(inputs, outputs, frames);
    }
}

// [audio thread] The values set since the last block arrive with this one, at its start.
void CClapEffect::Process(float** inputs, float** outputBuffers, VstInt32 frames) {
    if (!active || frames <= 0) {
        return;
    }
    if (!processing) {
        processing = plugin->start_processing(plugin);
        if (!processing) {
            return;
        }
    }
    clap_audio_buffer_t in{};
    in.data32 = inputs;
    in.channel_count = static_cast<std::uint32_t>(record.numInputs);
    clap_audio_buffer_t out{};
    out.data32 = outputBuffers;
    out.channel_count = static_cast<std::uint32_t>(record.numOutputs);
    clap_process_t process{};
    process.steady_time = steadyTime;
    process.frames_count = static_cast<std::uint32_t>(frames);
    process.audio_inputs = &in;
    process.audio_outputs = &out;
    process.audio_inputs_count = record.numInputs > 0 ? 1 : 0;
    process.audio_outputs_count = record.numOutputs > 0 ? 1 : 0;
    process.in_events = &processInputs.list;
    process.out_events = &outputs;
    while (inPlugin.exchange(true, std::memory_order_acquire)) {
        // a flush on the UI thread: it takes microseconds
    }
    FillInputs(processInputs);
    plugin->process(plugin, &process);
    inPlugin.store(false, std::memory_order_release);
    steadyTime += frames;
}

void VLM_VSTCALL CClapEffect::SetParameterEntry(AEffect* effect, VstInt32 index, float value) {
    if (CClapEffect* self = From(effect)) {
        self->SetParameter(index, value);
    }
}

// [any thread] Outside processing the value goes in at once, through a flush; while processing,
// with the next block.
void CClapEffect::SetParameter(VstInt32 index, float value) {
    if (params == nullptr || index < 0 || index >= static_cast<VstInt32>(paramList.size())) {
        return;
    }
    pending.Push(paramList[static_cast<std::size_t>(index)].id, PlainValue(index, value));
    Flush();
}

float VLM_VSTCALL CClapEffect::GetParameterEntry(AEffect* effect, VstInt32 index) {
    CClapEffect* self = From(effect);
    return self != nullptr ? self->GetParameter(index) : 0.0f;
}

float CClapEffect::GetParameter(VstInt32 index) {
    double value = 0.0;
    if (params == nullptr || index < 0 || index >= static_cast<VstInt32>(paramList.size()) ||
        !params->get_value(plugin, paramList[static_cast<std::size_t>(index)].id, &value)) {
        return 0.0f;
    }
    return Normalised(index, value);
}

const void* CClapEffect::HostExtension(const clap_host_t* /*host*/, const char* id) {
    if (id == nullptr) {
        return nullptr;
    }
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) {
        return &kHostParams;
    }
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) {
        return &kHostState;
    }
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) {
        return &kHostLatency;
    }
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) {
        return &kHostGui;
    }
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) {
        return &kHostTimer;
    }
#if !defined(_WIN32)
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) {
        return &kHostFd;
    }
#endif
    return nullptr;
}

void CClapEffect::HostRequestFlush(const clap_host_t* host) {
    if (CClapEffect* self = From(host)) {
        self->flushRequested.store(true);
    }
}

bool CClapEffect::HostRequestResize(const clap_host_t* host, std::uint32_t width,
                                    std::uint32_t height) {
    CClapEffect* self = From(host);
    return self != nullptr && width > 0 && height > 0 && width < 32768 && height < 32768 &&
           self->callback(&self->record, audioMasterSizeWindow, static_cast<VstInt32>(width),
                          static_cast<VstIntPtr>(height), nullptr, 0.0f) != 0;
}

bool CClapEffect::HostRegisterTimer(const clap_host_t* host, std::uint32_t periodMs, clap_id* id) {
    CClapEffect* self = From(host);
    if (self == nullptr || id == nullptr || periodMs == 0) {
        return false;
    }
    const auto period = std::chrono::milliseconds(periodMs);
    self->timers.push_back({self->nextTimer, period, std::chrono::steady_clock::now() + period});
    *id = self->nextTimer++;
    return true;
}

bool CClapEffect::HostUnregisterTimer(const clap_host_t* host, clap_id id) {
    CClapEffect* self = From(host);
    if (self == nullptr) {
        return false;
    }
    const auto before = self->timers.size();
    self->timers.erase(std::remove_if(self->timers.begin(), self->timers.end(),
                                      [id](const STimer& t) { return t.id == id; }),
                       self->timers.end());
    return self->timers.size() != before;
}

bool CClapEffect::HostRegisterFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    CClapEffect* self = From(host);
    if (self == nullptr || fd < 0 || (flags & CLAP_POSIX_FD_READ) == 0 ||
        std::find(self->fds.begin(), self->fds.end(), fd) != self->fds.end()) {
        return false;
    }
    self->fds.push_back(fd);
    return true;
}

bool CClapEffect::HostModifyFd(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags) {
    CClapEffect* self = From(host);
    return self != nullptr && (flags & CLAP_POSIX_FD_READ) != 0 &&
           std::find(self->fds.begin(), self->fds.end(), fd) != self->fds.end();
}

bool CClapEffect::HostUnregisterFd(const clap_host_t* host, int fd) {
    CClapEffect* self = From(host);
    if (self == nullptr) {
        return false;
    }
    const auto at = std::find(self->fds.begin(), self->fds.end(), fd);
    if (at == self->fds.end()) {
        return false;
    }
    self->fds.erase(at);
    return true;
}

// The plug-in's edits, told to the tool as a VST2 effect tells its host.
bool CClapEffect::PushOutput(const clap_output_events_t* list, const clap_event_header_t* event) {
    auto* self = static_cast<CClapEffect*>(list->ctx);
    if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) {
        return true;
    }
    if (event->type == CLAP_EVENT_PARAM_VALUE && event->size >= sizeof(clap_event_param_value_t)) {
        const auto* e = reinterpret_cast<const clap_event_param_value_t*>(event);
        const int index = self->ParamIndex(e->param_id);
        if (index >= 0) {
            self->callback(&self->record, audioMasterAutomate, index, 0, nullptr,
                           self->Normalised(index, e->value));
        }
    } else if ((event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                event->type == CLAP_EVENT_PARAM_GESTURE_END) &&
               event->size >= sizeof(clap_event_param_gesture_t)) {
        const auto* e = reinterpret_cast<const clap_event_param_gesture_t*>(event);
        const int index = self->ParamIndex(e->param_id);
        if (index >= 0) {
            self->callback(&self->record,
                           event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? audioMasterBeginEdit
                                                                         : audioMasterEndEdit,
                           index, 0, nullptr, 0.0f);
        }
    }
    return true;
}

std::uint32_t CClapEffect::InputSize(const clap_input_events_t* list) {
    return static_cast<const SInputList*>(list->ctx)->count;
}

const clap_event_header_t* CClapEffect::InputGet(const clap_input_events_t* list,
                                                 std::uint32_t index) {
    const auto* l = static_cast<const SInputList*>(list->ctx);
    return index < l->count ? &l->events[index].header : nullptr;
}

} // namespace

bool IsClapPath(const std::string& path) {
    if (path.size() < 5) {
        return false;
    }
    std::string tail = path.substr(path.size() - 5);
    for (char& c : tail) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return tail == ".clap";
}

AEffect* Open(void* module, const std::string& path, audioMasterCallback callback) {
    std::unique_ptr<CClapEffect> effect(new CClapEffect(callback));
    effect->Start(module, path);
    return effect.release()->Record();
}

} // namespace VLM::ClapHost
