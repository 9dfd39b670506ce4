// One effect, made by the product's own creation function and hosted by a plug-in format's
// adapter exactly as a VST2 host would host it: the adapter drives it through its record and
// hears it through the callback. Behaviour, state bytes, editor and sound are therefore the
// VST2 plug-in's own; an adapter only translates between this class and its format's calls.
#pragma once

#include "formats/shared/bands.h"
#include "host/aeffect.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace VLM {

class CEffectHost {
public:
    // What the effect tells its host, in the format's terms. Parameters are the effect's
    // indices (0..9 the bands, Bands::kInSwitch the IN switch), values normalised.
    class Listener {
    public:
        virtual ~Listener() = default;
        // [UI thread] A gesture of the user's in the editor: begin, values, end.
        virtual void EditBegun(std::int32_t index) = 0;
        virtual void Edited(std::int32_t index, float value) = 0;
        virtual void EditEnded(std::int32_t index) = 0;
        // [UI thread] The editor asks for a new size in window pixels (a scale change); true
        // when the host resized its side.
        virtual bool ResizeRequested(std::int32_t /*width*/, std::int32_t /*height*/) {
            return false;
        }
    };

    // [construction] The effect, opened at 44.1 kHz; null when it cannot be made.
    static std::unique_ptr<CEffectHost> Create();
    ~CEffectHost();
    CEffectHost(const CEffectHost&) = delete;
    CEffectHost& operator=(const CEffectHost&) = delete;

    // [UI thread] Who hears the user's edits; null for nobody. Set it while the editor is closed.
    void SetListener(Listener* newListener) {
        listener.store(newListener, std::memory_order_release);
    }

    // [UI thread] (not while processing) Setup, as a VST2 host sends it; the rate is kept within
    // 1 kHz..1 MHz and non-finite rates are ignored.
    void SetSampleRate(double rate);
    void SetMaxBlockSize(std::int32_t frames);
    void SetActive(bool active);

    // [any thread] A value the host sets: clamped to 0..1 (NaN ignored; the IN switch takes
    // 0 or 1), applied to the control the editor and the engine read, and never reported back
    // to the listener as the user's edit. True when the value is new.
    bool SetParameter(std::int32_t index, float value);
    // [any thread] The value in force.
    float Parameter(std::int32_t index) const;

    // [audio thread] Two channels in and two out; the outputs may be the inputs. Blocks of
    // zero or fewer frames do nothing.
    void Process(const float* const* inputs, float* const* outputs, std::int32_t frames);

    // [UI thread] The effect's state bytes, and a load that takes a whole, sound block or
    // changes nothing (false).
    std::vector<std::uint8_t> SaveState();
    bool LoadState(const void* bytes, std::size_t size);

    // [UI thread] The editor: its size in window pixels at the current scale, opening into a
    // parent (an X11 window id or an HWND), the idle call that draws it and serves its events,
    // and closing it. The drawing scale (1..2) may be set before or while it is open.
    bool EditorSize(std::int32_t& width, std::int32_t& height);
    bool OpenEditor(void* parent);
    void IdleEditor();
    void CloseEditor();
    bool IsEditorOpen() const { return editorOpen; }
    // The file descriptor that becomes readable when the open editor has window-system events
    // to serve (then call IdleEditor); -1 when there is none (no editor, or Windows, whose
    // message loop serves the window).
    int EditorEventSource();
    bool SetEditorScale(float factor);

    AEffect* Effect() { return effect; }

private:
    explicit CEffectHost(AEffect* record);
    static VstIntPtr VLM_VSTCALL Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                          VstIntPtr value, void* ptr, float opt);
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    // The IN switch has no announced VST2 parameter, so the effect reports no edit of it; its
    // clicks are found by watching its value while the editor is open.
    void ReportSwitchClick();

    static constexpr int kParameters = Bands::kCount + 1;
    AEffect* effect = nullptr;
    // The user's edits: told of on the UI thread, but set while the audio thread may look.
    std::atomic<Listener*> listener{nullptr};
    bool editorOpen = false;
    // The last value the host set for each parameter: an automation report of exactly this
    // value is the effect echoing the host's own change, not the user's edit.
    std::atomic<float> hostValue[kParameters];
    // Host changes being applied right now, on any thread: a report that comes meanwhile is
    // their echo, even where two threads' changes raced and the value is another one's.
    std::atomic<int> hostChangesInFlight{0};
    float shownSwitch = 1.0f;
};

} // namespace VLM
