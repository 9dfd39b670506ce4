// The equaliser as a VST3 component: processor and edit controller in one object (the host
// finds no separate controller class and queries the component for IEditController). It owns
// one hosted effect and translates between the VST3 calls and that effect's VST2 record, so
// that sound, state bytes and editor are the VST2 plug-in's own.
#pragma once

#include "formats/shared/effecthost.h"
#include "vst3/vst3.h"

#include <atomic>
#include <memory>

namespace VLM {

class CVst3View;

// IComponent and IEditController both have setState and getState with one signature; a class
// implementing both would answer both with one function. These shims give each pair names of
// their own.
class CVst3ComponentShim : public Vst3::IComponent {
public:
    Vst3::tresult VLM_VST3CALL setState(Vst3::IBStream* state) final {
        return ComponentSetState(state);
    }
    Vst3::tresult VLM_VST3CALL getState(Vst3::IBStream* state) final {
        return ComponentGetState(state);
    }
    virtual Vst3::tresult ComponentSetState(Vst3::IBStream* state) = 0;
    virtual Vst3::tresult ComponentGetState(Vst3::IBStream* state) = 0;

protected:
    ~CVst3ComponentShim() = default;
};

class CVst3ControllerShim : public Vst3::IEditController {
public:
    Vst3::tresult VLM_VST3CALL setState(Vst3::IBStream* state) final {
        return ControllerSetState(state);
    }
    Vst3::tresult VLM_VST3CALL getState(Vst3::IBStream* state) final {
        return ControllerGetState(state);
    }
    virtual Vst3::tresult ControllerSetState(Vst3::IBStream* state) = 0;
    virtual Vst3::tresult ControllerGetState(Vst3::IBStream* state) = 0;

protected:
    ~CVst3ControllerShim() = default;
};

// Our class id as four words (the host stores it in its projects; it never changes).
constexpr Vst3::Uid kVst3ClassId = Vst3::MakeUid(0x5E1C7A93, 0x0B2D4F68, 0x9A47C3E1, 0x6D28F05B);
// The parameter ids: the ten bands are 0..9, the bypass (the IN switch, out) follows.
constexpr Vst3::ParamID kBypassId = 10;
constexpr Vst3::int32 kParameterCount = 11;

class CVst3Effect final : public CVst3ComponentShim,
                          public Vst3::IAudioProcessor,
                          public CVst3ControllerShim,
                          private CEffectHost::Listener {
public:
    // [construction] The component with its effect; null when the effect cannot be made.
    static CVst3Effect* Create();

    // FUnknown [any thread]
    Vst3::tresult VLM_VST3CALL queryInterface(const Vst3::TUID iid, void** obj) override;
    Vst3::uint32 VLM_VST3CALL addRef() override;
    Vst3::uint32 VLM_VST3CALL release() override;

    // IPluginBase [UI thread]
    Vst3::tresult VLM_VST3CALL initialize(Vst3::FUnknown* context) override;
    Vst3::tresult VLM_VST3CALL terminate() override;

    // IComponent [UI thread]
    Vst3::tresult VLM_VST3CALL getControllerClassId(Vst3::TUID classId) override;
    Vst3::tresult VLM_VST3CALL setIoMode(Vst3::IoMode mode) override;
    Vst3::int32 VLM_VST3CALL getBusCount(Vst3::MediaType type, Vst3::BusDirection dir) override;
    Vst3::tresult VLM_VST3CALL getBusInfo(Vst3::MediaType type, Vst3::BusDirection dir,
                                          Vst3::int32 index, Vst3::BusInfo& bus) override;
    Vst3::tresult VLM_VST3CALL getRoutingInfo(Vst3::RoutingInfo& inInfo,
                                              Vst3::RoutingInfo& outInfo) override;
    Vst3::tresult VLM_VST3CALL activateBus(Vst3::MediaType type, Vst3::BusDirection dir,
                                           Vst3::int32 index, Vst3::TBool state) override;
    Vst3::tresult VLM_VST3CALL setActive(Vst3::TBool state) override;
    // The effect's state bytes: a damaged or foreign stream is refused and changes nothing.
    Vst3::tresult ComponentSetState(Vst3::IBStream* state) override;
    Vst3::tresult ComponentGetState(Vst3::IBStream* state) override;

    // IAudioProcessor
    Vst3::tresult VLM_VST3CALL setBusArrangements(Vst3::SpeakerArrangement* inputs,
                                                  Vst3::int32 numIns,
                                                  Vst3::SpeakerArrangement* outputs,
                                                  Vst3::int32 numOuts) override; // [UI thread]
    Vst3::tresult VLM_VST3CALL getBusArrangement(Vst3::BusDirection dir, Vst3::int32 index,
                                                 Vst3::SpeakerArrangement& arr) override;
    Vst3::tresult VLM_VST3CALL canProcessSampleSize(Vst3::int32 symbolicSampleSize) override;
    Vst3::uint32 VLM_VST3CALL getLatencySamples() override;
    Vst3::tresult VLM_VST3CALL setupProcessing(Vst3::ProcessSetup& setup) override; // [UI thread]
    Vst3::tresult VLM_VST3CALL setProcessing(Vst3::TBool state) override;
    Vst3::tresult VLM_VST3CALL process(Vst3::ProcessData& data) override; // [audio thread]
    Vst3::uint32 VLM_VST3CALL getTailSamples() override;

    // IEditController [UI thread]
    Vst3::tresult VLM_VST3CALL setComponentState(Vst3::IBStream* state) override;
    // The controller keeps nothing of its own: the component's state holds every value.
    Vst3::tresult ControllerSetState(Vst3::IBStream* state) override;
    Vst3::tresult ControllerGetState(Vst3::IBStream* state) override;
    Vst3::int32 VLM_VST3CALL getParameterCount() override;
    Vst3::tresult VLM_VST3CALL getParameterInfo(Vst3::int32 paramIndex,
                                                Vst3::ParameterInfo& info) override;
    Vst3::tresult VLM_VST3CALL getParamStringByValue(Vst3::ParamID id,
                                                     Vst3::ParamValue valueNormalized,
                                                     Vst3::String128 string) override;
    Vst3::tresult VLM_VST3CALL getParamValueByString(Vst3::ParamID id, Vst3::char16* string,
                                                     Vst3::ParamValue& valueNormalized) override;
    Vst3::ParamValue VLM_VST3CALL normalizedParamToPlain(Vst3::ParamID id,
                                                         Vst3::ParamValue valueNormalized) override;
    Vst3::ParamValue VLM_VST3CALL plainParamToNormalized(Vst3::ParamID id,
                                                         Vst3::ParamValue plainValue) override;
    Vst3::ParamValue VLM_VST3CALL getParamNormalized(Vst3::ParamID id) override; // [any thread]
    Vst3::tresult VLM_VST3CALL setParamNormalized(Vst3::ParamID id,
                                                  Vst3::ParamValue value) override; // [any thread]
    Vst3::tresult VLM_VST3CALL setComponentHandler(Vst3::IComponentHandler* handler) override;
    Vst3::IPlugView* VLM_VST3CALL createView(Vst3::FIDString name) override;

    // For the view. [UI thread]
    CEffectHost& Host() { return *host; }
    void ViewGone(CVst3View* view);

private:
    explicit CVst3Effect(std::unique_ptr<CEffectHost> effect);
    ~CVst3Effect() override;

    // CEffectHost::Listener: the user's edits in the editor, told to the host. [UI thread]
    void EditBegun(std::int32_t index) override;
    void Edited(std::int32_t index, float value) override;
    void EditEnded(std::int32_t index) override;
    bool ResizeRequested(std::int32_t width, std::int32_t height) override;

    // A host's value for a parameter id, applied to the effect; false for an unknown id or NaN.
    bool Apply(Vst3::ParamID id, Vst3::ParamValue value); // [any thread]
    // Every queue's last point, applied before the block is processed. [audio thread]
    void ApplyChanges(Vst3::IParameterChanges* changes);

    std::atomic<Vst3::uint32> references{1};
    std::unique_ptr<CEffectHost> host;
    Vst3::IComponentHandler* handler = nullptr;
    CVst3View* view = nullptr;
    std::atomic<bool> active{false};
    // The rate of the last setup, for the tail's length. [UI thread]
    double sampleRate = 44100.0;
    bool processing = false;
};

} // namespace VLM
