// The equaliser as a CLAP plug-in: one hosted effect (CEffectHost) behind the plug-in record and
// the extensions audio-ports, params, state, latency, gui, timer-support and posix-fd-support.
#pragma once

#include "formats/clap/clap.h"
#include "formats/shared/effecthost.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace VLM {
namespace Clap {

constexpr char kPluginId[] = "com.velmora.tarvix";
// Parameters 0..9 are the bands in dB; 10 is the IN switch, shown as the bypass.
constexpr clap_id kBypassId = 10;
constexpr std::uint32_t kParamCount = 11;
// The editor's redraw tick on hosts that serve the window through timers and descriptors.
constexpr std::uint32_t kEditorTickMs = 20;
// No state this effect writes comes near this; a stream that goes on is not its state.
constexpr std::size_t kMaxStateBytes = 64 * 1024;

// The plug-in entry's factory: one plug-in, this one.
const clap_plugin_factory_t* Factory();
const clap_plugin_descriptor_t* Descriptor();

// A single-producer, single-consumer ring of the user's edits, in the host's terms: written by
// the UI thread, read by whichever of process and flush the host calls (never both at once).
class CEditQueue {
public:
    struct SEdit {
        std::uint16_t type = 0; // CLAP_EVENT_PARAM_VALUE or a gesture
        clap_id id = 0;
        double value = 0.0;
    };
    // [UI thread] False when full: the edit is dropped (the effect has it; only the host's
    // record of it is lost).
    bool Push(const SEdit& edit);
    // [audio thread] (or the UI thread, in flush) The oldest edit, if any.
    bool Front(SEdit& edit) const;
    void Pop();

private:
    static constexpr std::uint32_t kCapacity = 1024;
    SEdit ring[kCapacity];
    std::atomic<std::uint32_t> head{0}; // next to read
    std::atomic<std::uint32_t> tail{0}; // next to write
};

class CPlugin final : public CEffectHost::Listener {
public:
    // [UI thread] From the factory; the effect is made by init.
    explicit CPlugin(const clap_host_t* host);
    ~CPlugin() override;
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    const clap_plugin_t* Record() const { return &record; }

    // CEffectHost::Listener, [UI thread]
    void EditBegun(std::int32_t index) override;
    void Edited(std::int32_t index, float value) override;
    void EditEnded(std::int32_t index) override;
    bool ResizeRequested(std::int32_t width, std::int32_t height) override;

private:
    static CPlugin* From(const clap_plugin_t* plugin);
    // The record's entries.
    static bool VLM_CLAP_ABI Init(const clap_plugin_t* plugin);
    static void VLM_CLAP_ABI Destroy(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI Activate(const clap_plugin_t* plugin, double rate,
                                      std::uint32_t minFrames, std::uint32_t maxFrames);
    static void VLM_CLAP_ABI Deactivate(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI StartProcessing(const clap_plugin_t* plugin);
    static void VLM_CLAP_ABI StopProcessing(const clap_plugin_t* plugin);
    static void VLM_CLAP_ABI Reset(const clap_plugin_t* plugin);
    static clap_process_status VLM_CLAP_ABI Process(const clap_plugin_t* plugin,
                                                    const clap_process_t* process);
    static const void* VLM_CLAP_ABI Extension(const clap_plugin_t* plugin, const char* id);
    static void VLM_CLAP_ABI OnMainThread(const clap_plugin_t* plugin);

    // Extensions.
    static std::uint32_t VLM_CLAP_ABI PortCount(const clap_plugin_t* plugin, bool isInput);
    static bool VLM_CLAP_ABI PortInfo(const clap_plugin_t* plugin, std::uint32_t index,
                                      bool isInput, clap_audio_port_info_t* info);
    static std::uint32_t VLM_CLAP_ABI ParamCount(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI ParamInfo(const clap_plugin_t* plugin, std::uint32_t index,
                                       clap_param_info_t* info);
    static bool VLM_CLAP_ABI ParamValue(const clap_plugin_t* plugin, clap_id id, double* value);
    static bool VLM_CLAP_ABI ValueToText(const clap_plugin_t* plugin, clap_id id, double value,
                                         char* buffer, std::uint32_t capacity);
    static bool VLM_CLAP_ABI TextToValue(const clap_plugin_t* plugin, clap_id id, const char* text,
                                         double* value);
    static void VLM_CLAP_ABI Flush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                                   const clap_output_events_t* out);
    static bool VLM_CLAP_ABI SaveState(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    static bool VLM_CLAP_ABI LoadState(const clap_plugin_t* plugin, const clap_istream_t* stream);
    static std::uint32_t VLM_CLAP_ABI Latency(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI GuiApiSupported(const clap_plugin_t* plugin, const char* api,
                                             bool floating);
    static bool VLM_CLAP_ABI GuiPreferredApi(const clap_plugin_t* plugin, const char** api,
                                             bool* floating);
    static bool VLM_CLAP_ABI GuiCreate(const clap_plugin_t* plugin, const char* api, bool floating);
    static void VLM_CLAP_ABI GuiDestroy(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI GuiSetScale(const clap_plugin_t* plugin, double scale);
    static bool VLM_CLAP_ABI GuiGetSize(const clap_plugin_t* plugin, std::uint32_t* width,
                                        std::uint32_t* height);
    static bool VLM_CLAP_ABI GuiCanResize(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI GuiResizeHints(const clap_plugin_t* plugin,
                                            clap_gui_resize_hints_t* hints);
    static bool VLM_CLAP_ABI GuiAdjustSize(const clap_plugin_t* plugin, std::uint32_t* width,
                                           std::uint32_t* height);
    static bool VLM_CLAP_ABI GuiSetSize(const clap_plugin_t* plugin, std::uint32_t width,
                                        std::uint32_t height);
    static bool VLM_CLAP_ABI GuiSetParent(const clap_plugin_t* plugin, const clap_window_t* window);
    static bool VLM_CLAP_ABI GuiSetTransient(const clap_plugin_t* plugin,
                                             const clap_window_t* window);
    static void VLM_CLAP_ABI GuiSuggestTitle(const clap_plugin_t* plugin, const char* title);
    static bool VLM_CLAP_ABI GuiShow(const clap_plugin_t* plugin);
    static bool VLM_CLAP_ABI GuiHide(const clap_plugin_t* plugin);
    static void VLM_CLAP_ABI OnTimer(const clap_plugin_t* plugin, clap_id timer);
    static void VLM_CLAP_ABI OnFd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);

    static const clap_plugin_audio_ports_t kAudioPorts;
    static const clap_plugin_params_t kParams;
    static const clap_plugin_state_t kState;
    static const clap_plugin_latency_t kLatency;
    static const clap_plugin_gui_t kGui;
    static const clap_plugin_timer_support_t kTimer;
    static const clap_plugin_posix_fd_support_t kPosixFd;

    bool ApiSupported(const char* api, bool floating) const;
    bool HostServesEditor() const;
    void ApplyEvents(const clap_input_events_t* in);
    void ApplyValue(clap_id id, double value);
    void DeliverEdits(const clap_output_events_t* out);
    void QueueEdit(std::uint16_t type, std::int32_t index, float value);
    void CloseEditor();

    clap_plugin_t record{};
    const clap_host_t* host = nullptr;
    const clap_host_params_t* hostParams = nullptr;
    const clap_host_state_t* hostState = nullptr;
    const clap_host_gui_t* hostGui = nullptr;
    const clap_host_timer_support_t* hostTimer = nullptr;
    const clap_host_posix_fd_support_t* hostFd = nullptr;

    std::unique_ptr<CEffectHost> effect;
    bool active = false;
    bool processing = false;
    std::int32_t maxFrames = 0;

    bool guiCreated = false;
    clap_id timer = CLAP_INVALID_ID;
    int eventFd = -1;

    CEditQueue edits;
};

} // namespace Clap
} // namespace VLM
