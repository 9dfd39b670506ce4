#include "formats/shared/effecthost.h"

#include "formats/shared/state.h"
#include "gui/vstgui.h"
#include "host/audioeffect.h"
#include "platform/platform.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace VLM {

namespace {

constexpr double kMinRate = 1000.0;
constexpr double kMaxRate = 1000000.0;

CEffectHost* HostOf(AEffect* effect) {
    return effect != nullptr ? reinterpret_cast<CEffectHost*>(effect->resvd1) : nullptr;
}

} // namespace

std::unique_ptr<CEffectHost> CEffectHost::Create() {
    // The product's own creation function, as the VST2 entry calls it; it reports its own
    // failures and answers null.
    AudioEffect* created = nullptr;
    try {
        created = createEffectInstance(&CEffectHost::Callback);
    } catch (...) {
        created = nullptr;
    }
    AEffect* effect = created != nullptr ? created->getAeffect() : nullptr;
    if (effect == nullptr) {
        delete created;
        return nullptr;
    }
    std::unique_ptr<CEffectHost> host(new CEffectHost(effect));
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    host->SetSampleRate(44100.0);
    return host;
}

CEffectHost::CEffectHost(AEffect* record) : effect(record) {
    // resvd1 is the host's own field of the record: it leads the callback back to this host.
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
    for (auto& value : hostValue) {
        value.store(std::numeric_limits<float>::quiet_NaN(), std::memory_order_relaxed);
    }
    shownSwitch = effect->getParameter(effect, Bands::kInSwitch);
}

CEffectHost::~CEffectHost() {
    CloseEditor();
    SetListener(nullptr);
    // effClose deletes the effect; from then on nothing may touch the record.
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

void CEffectHost::SetSampleRate(double rate) {
    if (!std::isfinite(rate)) {
        return;
    }
    rate = rate < kMinRate ? kMinRate : (rate > kMaxRate ? kMaxRate : rate);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void CEffectHost::SetMaxBlockSize(std::int32_t frames) {
    if (frames > 0) {
        effect->dispatcher(effect, effSetBlockSize, 0, frames, nullptr, 0.0f);
    }
}

void CEffectHost::SetActive(bool active) {
    effect->dispatcher(effect, effMainsChanged, 0, active ? 1 : 0, nullptr, 0.0f);
}

bool CEffectHost::SetParameter(std::int32_t index, float value) {
    if (index < 0 || index >= kParameters || !Bands::Clamp(value)) {
        return false;
    }
    if (index == Bands::kInSwitch) {
        value = value >= 0.5f ? 1.0f : 0.0f;
    }
    // Stored before the effect can echo it, so the echo is known for what it is.
    hostValue[index].store(value, std::memory_order_relaxed);
    if (effect->getParameter(effect, index) == value) {
        return false;
    }
    hostChangesInFlight.fetch_add(1, std::memory_order_acq_rel);
    effect->setParameter(effect, index, value);
    hostChangesInFlight.fetch_sub(1, std::memory_order_acq_rel);
    return true;
}

float CEffectHost::Parameter(std::int32_t index) const {
    if (index < 0 || index >= kParameters) {
        return 0.0f;
    }
    return effect->getParameter(effect, index);
}

void CEffectHost::Process(const float* const* inputs, float* const* outputs, std::int32_t frames) {
    if (frames <= 0 || inputs == nullptr || outputs == nullptr) {
        return;
    }
    // The effect copies each input to its output before it works in place, so an output that
    // is its input is fine; the record's type is not const-correct.
    effect->processReplacing(effect, const_cast<float**>(inputs), const_cast<float**>(outputs),
                             frames);
}

std::vector<std::uint8_t> CEffectHost::SaveState() {
    void* data = nullptr;
    const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
    if (data == nullptr || size <= 0) {
        return {};
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

bool CEffectHost::LoadState(const void* bytes, std::size_t size) {
    if (!State::IsEffectState(bytes, size)) {
        return false;
    }
    // The values the state brings are the host's own, like a value it sets: no echo as edits.
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (std::size_t at = 0; at < size; at += 8) {
        std::int32_t id = 0;
        float value = 0.0f;
        std::memcpy(&id, in + at, sizeof id);
        std::memcpy(&value, in + at + 4, sizeof value);
        if (id >= 0 && id < kParameters && Bands::Clamp(value)) {
            hostValue[id].store(value, std::memory_order_relaxed);
        }
    }
    std::vector<std::uint8_t> copy(in, in + size);
    hostChangesInFlight.fetch_add(1, std::memory_order_acq_rel);
    effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(size), copy.data(), 0.0f);
    hostChangesInFlight.fetch_sub(1, std::memory_order_acq_rel);
    shownSwitch = effect->getParameter(effect, Bands::kInSwitch);
    return true;
}

bool CEffectHost::EditorSize(std::int32_t& width, std::int32_t& height) {
    ERect* rect = nullptr;
    if (effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f) == 0 || rect == nullptr) {
        return false;
    }
    width = rect->right - rect->left;
    height = rect->bottom - rect->top;
    return width > 0 && height > 0;
}

bool CEffectHost::OpenEditor(void* parent) {
    if (editorOpen || parent == nullptr) {
        return false;
    }
    editorOpen = effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f) != 0;
    shownSwitch = effect->getParameter(effect, Bands::kInSwitch);
    return editorOpen;
}

void CEffectHost::IdleEditor() {
    if (editorOpen) {
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        ReportSwitchClick();
    }
}

void CEffectHost::CloseEditor() {
    if (editorOpen) {
        ReportSwitchClick();
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
        editorOpen = false;
    }
}

int CEffectHost::EditorEventSource() {
    auto* effectObject = static_cast<AudioEffect*>(effect->object);
    auto* editor = editorOpen && effectObject != nullptr
                       ? dynamic_cast<CVSTGUI*>(effectObject->getEditor())
                       : nullptr;
    return editor != nullptr ? Platform::EventSource(editor->Window()) : -1;
}

bool CEffectHost::SetEditorScale(float factor) {
    return effect->dispatcher(effect, effVendorSpecific, kVendorScaleIndex, kVendorScaleValue,
                              nullptr, factor) != 0;
}

void CEffectHost::ReportSwitchClick() {
    const float now = effect->getParameter(effect, Bands::kInSwitch);
    if (now == shownSwitch) {
        return;
    }
    shownSwitch = now;
    Listener* told = listener.load(std::memory_order_acquire);
    if (told != nullptr && now != hostValue[Bands::kInSwitch].load(std::memory_order_relaxed)) {
        told->EditBegun(Bands::kInSwitch);
        told->Edited(Bands::kInSwitch, now);
        told->EditEnded(Bands::kInSwitch);
    }
}

VstIntPtr VLM_VSTCALL CEffectHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                            VstIntPtr value, void* ptr, float opt) {
    if (CEffectHost* host = HostOf(effect)) {
        return host->Dispatch(opcode, index, value, ptr, opt);
    }
    // Before the record is handed over, the effect only asks who its host is.
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

VstIntPtr CEffectHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    if (opcode == audioMasterVersion) {
        return kVstVersion;
    }
    Listener* told = listener.load(std::memory_order_acquire);
    if (told == nullptr) {
        return 0;
    }
    switch (opcode) {
    case audioMasterAutomate:
        // The effect reports every change of a parameter, the host's own ones included; only a
        // value other than the host's last one, while no host change is under way, is the user's.
        if (Bands::IsBand(index) && opt != hostValue[index].load(std::memory_order_relaxed) &&
            hostChangesInFlight.load(std::memory_order_acquire) == 0) {
            told->Edited(index, opt);
        }
        return 0;
    case audioMasterBeginEdit:
        if (Bands::IsBand(index)) {
            told->EditBegun(index);
        }
        return 0;
    case audioMasterEndEdit:
        if (Bands::IsBand(index)) {
            told->EditEnded(index);
        }
        return 0;
    case audioMasterCanDo:
        return ptr != nullptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ? 1
                                                                                               : 0;
    case audioMasterSizeWindow:
        return told->ResizeRequested(index, static_cast<std::int32_t>(value)) ? 1 : 0;
    default:
        return 0;
    }
}

} // namespace VLM
