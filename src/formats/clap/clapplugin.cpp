#include "formats/clap/clapplugin.h"

#include "formats/shared/bands.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#ifndef VLM_PROJECT_VERSION
#define VLM_PROJECT_VERSION "1.0.0"
#endif

namespace VLM {
namespace Clap {

namespace {

#if defined(_WIN32)
const char* const kWindowApi = CLAP_WINDOW_API_WIN32;
#else
const char* const kWindowApi = CLAP_WINDOW_API_X11;
#endif

const char* const kFeatures[] = {"audio-effect", "equalizer", "stereo", nullptr};

const clap_plugin_descriptor_t kDescriptor = {kClapVersion,
                                              kPluginId,
                                              "VLM Tarvix",
                                              "Velmora",
                                              "",
                                              "",
                                              "",
                                              VLM_PROJECT_VERSION,
                                              "Ten-band graphic equaliser",
                                              kFeatures};

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_plugin_factory_t*, std::uint32_t index) -> const clap_plugin_descriptor_t* {
        return index == 0 ? &kDescriptor : nullptr;
    },
    // [UI thread]
    [](const clap_plugin_factory_t*, const clap_host_t* host,
       const char* id) -> const clap_plugin_t* {
        if (host == nullptr || id == nullptr || std::strcmp(id, kPluginId) != 0 ||
            !ClapVersionIsCompatible(host->clap_version)) {
            return nullptr;
        }
        auto* plugin = new (std::nothrow) CPlugin(host);
        return plugin != nullptr ? plugin->Record() : nullptr;
    }};

bool IsBandId(clap_id id) {
    return id < static_cast<clap_id>(Bands::kCount);
}

// A band's value in dB as the effect's normalised value, or false for a value that is no number.
bool BandNormalised(clap_id id, double db, float& normalised) {
    if (!std::isfinite(db)) {
        return false;
    }
    const int band = static_cast<int>(id);
    db = std::clamp(db, static_cast<double>(Bands::kMinDb), static_cast<double>(Bands::kMaxDb));
    normalised = Bands::ToNormalisedPrecise(band, db);
    return Bands::Clamp(normalised);
}

// Copies a text into a host's buffer, cut to fit and always terminated.
bool CopyText(const std::string& text, char* buffer, std::uint32_t capacity) {
    if (buffer == nullptr || capacity == 0) {
        return false;
    }
    const std::size_t n = std::min<std::size_t>(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

std::string Lower(const char* text) {
    std::string out;
    for (; *text != '\0'; ++text) {
        const char c = *text;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

} // namespace

const clap_plugin_factory_t* Factory() {
    return &kFactory;
}

const clap_plugin_descriptor_t* Descriptor() {
    return &kDescriptor;
}

// ---- The queue of edits -------------------------------------------------------------------------

bool CEditQueue::Push(const SEdit& edit) {
    const std::uint32_t at = tail.load(std::memory_order_relaxed);
    if (at - head.load(std::memory_order_acquire) >= kCapacity) {
        return false;
    }
    ring[at % kCapacity] = edit;
    tail.store(at + 1, std::memory_order_release);
    return true;
}

bool CEditQueue::Front(SEdit& edit) const {
    const std::uint32_t at = head.load(std::memory_order_relaxed);
    if (at == tail.load(std::memory_order_acquire)) {
        return false;
    }
    edit = ring[at % kCapacity];
    return true;
}

void CEditQueue::Pop() {
    head.store(head.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// ---- The plug-in --------------------------------------------------------------------------------

const clap_plugin_audio_ports_t CPlugin::kAudioPorts = {&CPlugin::PortCount, &CPlugin::PortInfo};
const clap_plugin_params_t CPlugin::kParams = {&CPlugin::ParamCount,  &CPlugin::ParamInfo,
                                               &CPlugin::ParamValue,  &CPlugin::ValueToText,
                                               &CPlugin::TextToValue, &CPlugin::Flush};
const clap_plugin_state_t CPlugin::kState = {&CPlugin::SaveState, &CPlugin::LoadState};
const clap_plugin_latency_t CPlugin::kLatency = {&CPlugin::Latency};
const clap_plugin_gui_t CPlugin::kGui = {
    &CPlugin::GuiApiSupported, &CPlugin::GuiPreferredApi, &CPlugin::GuiCreate,
    &CPlugin::GuiDestroy,      &CPlugin::GuiSetScale,     &CPlugin::GuiGetSize,
    &CPlugin::GuiCanResize,    &CPlugin::GuiResizeHints,  &CPlugin::GuiAdjustSize,
    &CPlugin::GuiSetSize,      &CPlugin::GuiSetParent,    &CPlugin::GuiSetTransient,
    &CPlugin::GuiSuggestTitle, &CPlugin::GuiShow,         &CPlugin::GuiHide};
const clap_plugin_timer_support_t CPlugin::kTimer = {&CPlugin::OnTimer};
const clap_plugin_posix_fd_support_t CPlugin::kPosixFd = {&CPlugin::OnFd};

CPlugin::CPlugin(const clap_host_t* clapHost) : host(clapHost) {
    record.desc = &kDescriptor;
    record.plugin_data = this;
    record.init = &CPlugin::Init;
    record.destroy = &CPlugin::Destroy;
    record.activate = &CPlugin::Activate;
    record.deactivate = &CPlugin::Deactivate;
    record.start_processing = &CPlugin::StartProcessing;
    record.stop_processing = &CPlugin::StopProcessing;
    record.reset = &CPlugin::Reset;
    record.process = &CPlugin::Process;
    record.get_extension = &CPlugin::Extension;
    record.on_main_thread = &CPlugin::OnMainThread;
}

CPlugin::~CPlugin() {
    CloseEditor();
    if (effect != nullptr) {
        effect->SetListener(nullptr);
        if (active) {
            effect->SetActive(false);
        }
    }
}

CPlugin* CPlugin::From(const clap_plugin_t* plugin) {
    return plugin != nullptr ? static_cast<CPlugin*>(plugin->plugin_data) : nullptr;
}

// [UI thread]
bool CPlugin::Init(const clap_plugin_t* plugin) {
    CPlugin* self = From(plugin);
    if (self == nullptr) {
        return false;
    }
    if (self->effect != nullptr) {
        return true;
    }
    self->effect = CEffectHost::Create();
    if (self->effect == nullptr) {
        return false;
    }
    self->effect->SetListener(self);
    // Every host extension is optional: what the host lacks, the plug-in does without.
    const clap_host_t* h = self->host;
    if (h->get_extension != nullptr) {
        self->hostParams =
            static_cast<const clap_host_params_t*>(h->get_extension(h, CLAP_EXT_PARAMS));
        self->hostState =
            static_cast<const clap_host_state_t*>(h->get_extension(h, CLAP_EXT_STATE));
        self->hostGui = static_cast<const clap_host_gui_t*>(h->get_extension(h, CLAP_EXT_GUI));
        self->hostTimer = static_cast<const clap_host_timer_support_t*>(
            h->get_extension(h, CLAP_EXT_TIMER_SUPPORT));
        self->hostFd = static_cast<const clap_host_posix_fd_support_t*>(
            h->get_extension(h, CLAP_EXT_POSIX_FD_SUPPORT));
    }
    return true;
}

// [UI thread]
void CPlugin::Destroy(const clap_plugin_t* plugin) {
    delete From(plugin);
}

// [UI thread]
bool CPlugin::Activate(const clap_plugin_t* plugin, double rate, std::uint32_t /*minFrames*/,
                       std::uint32_t maxFrames) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || self->active || !std::isfinite(rate) ||
        rate <= 0.0 || maxFrames == 0) {
        return false;
    }
    self->maxFrames = static_cast<std::int32_t>(
        std::min<std::uint32_t>(maxFrames, std::numeric_limits<std::int32_t>::max()));
    self->effect->SetSampleRate(rate);
    self->effect->SetMaxBlockSize(self->maxFrames);
    self->effect->SetActive(true);
    self->active = true;
    return true;
}

// [UI thread]
void CPlugin::Deactivate(const clap_plugin_t* plugin) {
    CPlugin* self = From(plugin);
    if (self != nullptr && self->active) {
        self->effect->SetActive(false);
        self->active = false;
        self->processing = false;
    }
}

// [audio thread]
bool CPlugin::StartProcessing(const clap_plugin_t* plugin) {
    CPlugin* self = From(plugin);
    if (self == nullptr || !self->active) {
        return false;
    }
    self->processing = true;
    return true;
}

// [audio thread]
void CPlugin::StopProcessing(const clap_plugin_t* plugin) {
    if (CPlugin* self = From(plugin)) {
        self->processing = false;
    }
}

// [audio thread] The effect has no reset of its own: a VST2 host's resume does nothing more
// than keep it running, and so does this.
void CPlugin::Reset(const clap_plugin_t* /*plugin*/) {}

// [audio thread] Parameter events apply from the start of the block they arrive in.
clap_process_status CPlugin::Process(const clap_plugin_t* plugin, const clap_process_t* process) {
    CPlugin* self = From(plugin);
    if (self == nullptr || !self->active || process == nullptr) {
        return CLAP_PROCESS_ERROR;
    }
    self->ApplyEvents(process->in_events);
    const std::uint32_t frames = process->frames_count;
    if (frames > 0) {
        const clap_audio_buffer_t* in = process->audio_inputs;
        clap_audio_buffer_t* out = process->audio_outputs;
        if (process->audio_inputs_count < 1 || process->audio_outputs_count < 1 || in == nullptr ||
            out == nullptr || in->channel_count < 2 || out->channel_count < 2 ||
            in->data32 == nullptr || out->data32 == nullptr || in->data32[0] == nullptr ||
            in->data32[1] == nullptr || out->data32[0] == nullptr || out->data32[1] == nullptr) {
            self->DeliverEdits(process->out_events);
            return CLAP_PROCESS_ERROR;
        }
        // A host that passes more frames than it announced is served in announced blocks.
        for (std::uint32_t done = 0; done < frames;) {
            const auto n = static_cast<std::int32_t>(std::min<std::uint32_t>(
                frames - done, static_cast<std::uint32_t>(self->maxFrames)));
            const float* inputs[2] = {in->data32[0] + done, in->data32[1] + done};
            float* outputs[2] = {out->data32[0] + done, out->data32[1] + done};
            self->effect->Process(inputs, outputs, n);
            done += static_cast<std::uint32_t>(n);
        }
        out->constant_mask = 0;
    }
    self->DeliverEdits(process->out_events);
    return CLAP_PROCESS_CONTINUE;
}

// [any thread]
const void* CPlugin::Extension(const clap_plugin_t* /*plugin*/, const char* id) {
    if (id == nullptr) {
        return nullptr;
    }
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) {
        return &kAudioPorts;
    }
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) {
        return &kParams;
    }
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) {
        return &kState;
    }
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) {
        return &kLatency;
    }
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) {
        return &kGui;
    }
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) {
        return &kTimer;
    }
#if !defined(_WIN32)
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) {
        return &kPosixFd;
    }
#endif
    return nullptr;
}

// [UI thread] Nothing is asked for through request_callback.
void CPlugin::OnMainThread(const clap_plugin_t* /*plugin*/) {}

// ---- Audio ports --------------------------------------------------------------------------------

// [UI thread]
std::uint32_t CPlugin::PortCount(const clap_plugin_t* /*plugin*/, bool /*isInput*/) {
    return 1;
}

// [UI thread] One stereo main port each way; the output may be the input's buffer.
bool CPlugin::PortInfo(const clap_plugin_t* /*plugin*/, std::uint32_t index, bool isInput,
                       clap_audio_port_info_t* info) {
    if (index != 0 || info == nullptr) {
        return false;
    }
    std::memset(info, 0, sizeof *info);
    info->id = 0;
    CopyText(isInput ? "Main in" : "Main out", info->name, sizeof info->name);
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    return true;
}

// ---- Params -------------------------------------------------------------------------------------

// [UI thread]
std::uint32_t CPlugin::ParamCount(const clap_plugin_t* /*plugin*/) {
    return kParamCount;
}

// [UI thread]
bool CPlugin::ParamInfo(const clap_plugin_t* /*plugin*/, std::uint32_t index,
                        clap_param_info_t* info) {
    if (index >= kParamCount || info == nullptr) {
        return false;
    }
    std::memset(info, 0, sizeof *info);
    info->id = index;
    if (index == kBypassId) {
        info->flags = CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS | CLAP_PARAM_IS_AUTOMATABLE;
        CopyText("Bypass", info->name, sizeof info->name);
        info->min_value = 0.0;
        info->max_value = 1.0;
        info->default_value = 0.0;
        return true;
    }
    info->flags = CLAP_PARAM_IS_AUTOMATABLE;
    CopyText(Bands::Name(static_cast<int>(index)), info->name, sizeof info->name);
    info->min_value = Bands::kMinDb;
    info->max_value = Bands::kMaxDb;
    info->default_value = Bands::kDefaultDb;
    return true;
}

// [UI thread]
bool CPlugin::ParamValue(const clap_plugin_t* plugin, clap_id id, double* value) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || value == nullptr || id >= kParamCount) {
        return false;
    }
    const float normalised = self->effect->Parameter(static_cast<std::int32_t>(id));
    *value = id == kBypassId ? Bands::BypassOf(normalised)
                             : Bands::ToDbPrecise(static_cast<int>(id), normalised);
    return true;
}

// [UI thread] The band's text is the editor's read-out with its unit ("+6.0 dB").
bool CPlugin::ValueToText(const clap_plugin_t* /*plugin*/, clap_id id, double value, char* buffer,
                          std::uint32_t capacity) {
    if (id >= kParamCount || !std::isfinite(value)) {
        return false;
    }
    if (id == kBypassId) {
        return CopyText(value >= 0.5 ? "Out" : "In", buffer, capacity);
    }
    float normalised = 0.0f;
    if (!BandNormalised(id, value, normalised)) {
        return false;
    }
    const int band = static_cast<int>(id);
    return CopyText(Bands::Text(band, normalised) + " " + Bands::Unit(band), buffer, capacity);
}

// [UI thread] Answers dB for a band, 0 or 1 for the bypass.
bool CPlugin::TextToValue(const clap_plugin_t* /*plugin*/, clap_id id, const char* text,
                          double* value) {
    if (id >= kParamCount || text == nullptr || value == nullptr) {
        return false;
    }
    if (id == kBypassId) {
        const std::string word = Lower(text);
        if (word == "out" || word == "1" || word == "bypassed") {
            *value = 1.0;
            return true;
        }
        if (word == "in" || word == "0") {
            *value = 0.0;
            return true;
        }
        return false;
    }
    float normalised = 0.0f;
    if (!Bands::FromText(static_cast<int>(id), text, normalised)) {
        return false;
    }
    *value = Bands::ToDbPrecise(static_cast<int>(id), normalised);
    return true;
}

// [any thread] (the UI thread while inactive, the audio thread while active and not processing)
void CPlugin::Flush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                    const clap_output_events_t* out) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr) {
        return;
    }
    self->ApplyEvents(in);
    self->DeliverEdits(out);
}

void CPlugin::ApplyEvents(const clap_input_events_t* in) {
    if (in == nullptr || in->size == nullptr || in->get == nullptr) {
        return;
    }
    const std::uint32_t count = in->size(in);
    for (std::uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* header = in->get(in, i);
        if (header == nullptr || header->space_id != CLAP_CORE_EVENT_SPACE_ID ||
            header->type != CLAP_EVENT_PARAM_VALUE ||
            header->size < sizeof(clap_event_param_value_t)) {
            continue;
        }
        const auto* event = reinterpret_cast<const clap_event_param_value_t*>(header);
        ApplyValue(event->param_id, event->value);
    }
}

// [any thread] The host's own value: applied, never reported back as an edit.
void CPlugin::ApplyValue(clap_id id, double value) {
    if (effect == nullptr || !std::isfinite(value)) {
        return;
    }
    if (id == kBypassId) {
        effect->SetParameter(Bands::kInSwitch, Bands::InSwitchOf(value >= 0.5 ? 1.0f : 0.0f));
        return;
    }
    float normalised = 0.0f;
    if (IsBandId(id) && BandNormalised(id, value, normalised)) {
        effect->SetParameter(static_cast<std::int32_t>(id), normalised);
    }
}

// [audio thread] (or the UI thread, in flush) What the host cannot take now stays for next time.
void CPlugin::DeliverEdits(const clap_output_events_t* out) {
    if (out == nullptr || out->try_push == nullptr) {
        return;
    }
    CEditQueue::SEdit edit;
    while (edits.Front(edit)) {
        bool pushed = false;
        if (edit.type == CLAP_EVENT_PARAM_VALUE) {
            clap_event_param_value_t event{};
            event.header.size = sizeof event;
            event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            event.header.type = CLAP_EVENT_PARAM_VALUE;
            event.header.flags = CLAP_EVENT_IS_LIVE;
            event.param_id = edit.id;
            event.note_id = -1;
            event.port_index = -1;
            event.channel = -1;
            event.key = -1;
            event.value = edit.value;
            pushed = out->try_push(out, &event.header);
        } else {
            clap_event_param_gesture_t event{};
            event.header.size = sizeof event;
            event.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            event.header.type = edit.type;
            event.header.flags = CLAP_EVENT_IS_LIVE;
            event.param_id = edit.id;
            pushed = out->try_push(out, &event.header);
        }
        if (!pushed) {
            return;
        }
        edits.Pop();
    }
}

// ---- The user's edits ---------------------------------------------------------------------------

void CPlugin::QueueEdit(std::uint16_t type, std::int32_t index, float value) {
    if (index < 0 || index > static_cast<std::int32_t>(kBypassId)) {
        return;
    }
    CEditQueue::SEdit edit;
    edit.type = type;
    edit.id = static_cast<clap_id>(index);
    if (type == CLAP_EVENT_PARAM_VALUE) {
        edit.value =
            index == Bands::kInSwitch ? Bands::BypassOf(value) : Bands::ToDbPrecise(index, value);
    }
    edits.Push(edit);
    // The host collects them in its next process call or in a flush it schedules.
    if (hostParams != nullptr && hostParams->request_flush != nullptr) {
        hostParams->request_flush(host);
    }
    if (type == CLAP_EVENT_PARAM_GESTURE_END && hostState != nullptr &&
        hostState->mark_dirty != nullptr) {
        hostState->mark_dirty(host);
    }
}

void CPlugin::EditBegun(std::int32_t index) {
    QueueEdit(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0f);
}

void CPlugin::Edited(std::int32_t index, float value) {
    QueueEdit(CLAP_EVENT_PARAM_VALUE, index, value);
}

void CPlugin::EditEnded(std::int32_t index) {
    QueueEdit(CLAP_EVENT_PARAM_GESTURE_END, index, 0.0f);
}

bool CPlugin::ResizeRequested(std::int32_t width, std::int32_t height) {
    return width > 0 && height > 0 && hostGui != nullptr && hostGui->request_resize != nullptr &&
           hostGui->request_resize(host, static_cast<std::uint32_t>(width),
                                   static_cast<std::uint32_t>(height));
}

// ---- State --------------------------------------------------------------------------------------

// [UI thread]
bool CPlugin::SaveState(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || stream == nullptr ||
        stream->write == nullptr) {
        return false;
    }
    const std::vector<std::uint8_t> bytes = self->effect->SaveState();
    if (bytes.empty()) {
        return false;
    }
    // A stream may take fewer bytes than offered; keep writing until all are in.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::uint64_t left = bytes.size() - done;
        const std::int64_t n = stream->write(stream, bytes.data() + done, left);
        if (n <= 0 || static_cast<std::uint64_t>(n) > left) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// [UI thread] Whole and sound, or nothing changes.
bool CPlugin::LoadState(const clap_plugin_t* plugin, const clap_istream_t* stream) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || stream == nullptr ||
        stream->read == nullptr) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    for (;;) {
        const std::int64_t n = stream->read(stream, chunk, sizeof chunk);
        if (n == 0) {
            break;
        }
        if (n < 0 || static_cast<std::uint64_t>(n) > sizeof chunk ||
            bytes.size() + static_cast<std::size_t>(n) > kMaxStateBytes) {
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (!self->effect->LoadState(bytes.data(), bytes.size())) {
        return false;
    }
    if (self->hostParams != nullptr && self->hostParams->rescan != nullptr) {
        self->hostParams->rescan(self->host, CLAP_PARAM_RESCAN_VALUES);
    }
    return true;
}

// [UI thread]
std::uint32_t CPlugin::Latency(const clap_plugin_t* /*plugin*/) {
    return 0;
}

// ---- Editor -------------------------------------------------------------------------------------

// The editor embeds in the platform's own window system; it never floats.
bool CPlugin::ApiSupported(const char* api, bool floating) const {
    return !floating && api != nullptr && std::strcmp(api, kWindowApi) == 0;
}

// On Linux the editor is drawn and served from the host's run loop: it needs the host's timer
// and its watch on the display connection. Windows serves the editor's window itself.
bool CPlugin::HostServesEditor() const {
#if defined(_WIN32)
    return true;
#else
    return hostTimer != nullptr && hostTimer->register_timer != nullptr &&
           hostTimer->unregister_timer != nullptr && hostFd != nullptr &&
           hostFd->register_fd != nullptr && hostFd->unregister_fd != nullptr;
#endif
}

// [UI thread] What the plug-in can show; whether this host can serve it is create's question
// (hosts ask this while scanning, through a host record that offers no run loop).
bool CPlugin::GuiApiSupported(const clap_plugin_t* plugin, const char* api, bool floating) {
    const CPlugin* self = From(plugin);
    return self != nullptr && self->ApiSupported(api, floating);
}

// [UI thread]
bool CPlugin::GuiPreferredApi(const clap_plugin_t* plugin, const char** api, bool* floating) {
    const CPlugin* self = From(plugin);
    if (self == nullptr || api == nullptr || floating == nullptr ||
        !self->ApiSupported(kWindowApi, false)) {
        return false;
    }
    *api = kWindowApi;
    *floating = false;
    return true;
}

// [UI thread] The window itself is made by set_parent, inside the host's.
bool CPlugin::GuiCreate(const clap_plugin_t* plugin, const char* api, bool floating) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || self->guiCreated ||
        !self->ApiSupported(api, floating) || !self->HostServesEditor()) {
        return false;
    }
    self->guiCreated = true;
    return true;
}

// [UI thread]
void CPlugin::GuiDestroy(const clap_plugin_t* plugin) {
    CPlugin* self = From(plugin);
    if (self != nullptr && self->guiCreated) {
        self->CloseEditor();
        self->guiCreated = false;
    }
}

void CPlugin::CloseEditor() {
    if (eventFd >= 0 && hostFd != nullptr && hostFd->unregister_fd != nullptr) {
        hostFd->unregister_fd(host, eventFd);
    }
    if (timer != CLAP_INVALID_ID && hostTimer != nullptr &&
        hostTimer->unregister_timer != nullptr) {
        hostTimer->unregister_timer(host, timer);
    }
    eventFd = -1;
    timer = CLAP_INVALID_ID;
    if (effect != nullptr) {
        effect->CloseEditor();
    }
}

// [UI thread] 1 to 2 window pixels per layout pixel.
bool CPlugin::GuiSetScale(const clap_plugin_t* plugin, double scale) {
    CPlugin* self = From(plugin);
    if (self == nullptr || self->effect == nullptr || !std::isfinite(scale) || scale < 1.0 ||
        scale > 2.0) {
        return false;
    }
    return self->effect->SetEditorScale(static_cast<float>(scale));
}

// [UI thread]
bool CPlugin::GuiGetSize(const clap_plugin_t* plugin, std::uint32_t* width, std::uint32_t* height) {
    CPlugin* self = From(plugin);
    std::int32_t w = 0;
    std::int32_t h = 0;
    if (self == nullptr || self->effect == nullptr || width == nullptr || height == nullptr ||
        !self->effect->EditorSize(w, h)) {
        return false;
    }
    *width = static_cast<std::uint32_t>(w);
    *height = static_cast<std::uint32_t>(h);
    return true;
}

// [UI thread] The editor has one size per scale.
bool CPlugin::GuiCanResize(const clap_plugin_t* /*plugin*/) {
    return false;
}

bool CPlugin::GuiResizeHints(const clap_plugin_t* /*plugin*/, clap_gui_resize_hints_t* /*hints*/) {
    return false;
}

bool CPlugin::GuiAdjustSize(const clap_plugin_t* /*plugin*/, std::uint32_t* /*width*/,
                            std::uint32_t* /*height*/) {
    return false;
}

// [UI thread] Only the size the editor has.
bool CPlugin::GuiSetSize(const clap_plugin_t* plugin, std::uint32_t width, std::uint32_t height) {
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    return GuiGetSize(plugin, &w, &h) && w == width && h == height;
}

// [UI thread] Opens the editor inside the host's window.
bool CPlugin::GuiSetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
    CPlugin* self = From(plugin);
    if (self == nullptr || !self->guiCreated || window == nullptr || window->api == nullptr ||
        std::strcmp(window->api, kWindowApi) != 0 || self->effect->IsEditorOpen()) {
        return false;
    }
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window->x11));
#endif
    if (!self->effect->OpenEditor(parent)) {
        return false;
    }
    // The tick draws the editor on Linux and, everywhere, notices clicks on the IN switch, which
    // has no parameter of the effect's own to report them. Windows draws the editor from its
    // own timer, so there the host's tick is welcome but not needed; without it a click on IN
    // reaches the host when the editor closes.
    clap_id id = CLAP_INVALID_ID;
    const bool ticking = self->hostTimer != nullptr && self->hostTimer->register_timer != nullptr &&
                         self->hostTimer->register_timer(self->host, kEditorTickMs, &id);
    if (ticking) {
        self->timer = id;
    }
#if !defined(_WIN32)
    if (!ticking) {
        self->CloseEditor();
        return false;
    }
    const int fd = self->effect->EditorEventSource();
    if (fd >= 0) {
        if (!self->hostFd->register_fd(self->host, fd, CLAP_POSIX_FD_READ)) {
            self->CloseEditor();
            return false;
        }
        self->eventFd = fd;
    }
#endif
    return true;
}

bool CPlugin::GuiSetTransient(const clap_plugin_t* /*plugin*/, const clap_window_t* /*window*/) {
    return false;
}

void CPlugin::GuiSuggestTitle(const clap_plugin_t* /*plugin*/, const char* /*title*/) {}

// [UI thread] The embedded editor is shown and hidden with the host's window that holds it.
bool CPlugin::GuiShow(const clap_plugin_t* plugin) {
    const CPlugin* self = From(plugin);
    return self != nullptr && self->effect != nullptr && self->effect->IsEditorOpen();
}

bool CPlugin::GuiHide(const clap_plugin_t* plugin) {
    return GuiShow(plugin);
}

// [UI thread]
void CPlugin::OnTimer(const clap_plugin_t* plugin, clap_id id) {
    CPlugin* self = From(plugin);
    if (self != nullptr && self->effect != nullptr && id == self->timer && id != CLAP_INVALID_ID) {
        self->effect->IdleEditor();
    }
}

// [UI thread]
void CPlugin::OnFd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t /*flags*/) {
    CPlugin* self = From(plugin);
    if (self != nullptr && self->effect != nullptr && fd == self->eventFd && fd >= 0) {
        self->effect->IdleEditor();
    }
}

} // namespace Clap
} // namespace VLM
