#include "formats/vst3/vst3effect.h"

#include "formats/shared/bands.h"
#include "formats/shared/state.h"
#include "formats/vst3/vst3strings.h"
#include "formats/vst3/vst3view.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace VLM {

using namespace Vst3;

namespace {

// The stream holds a tag, the length of the effect's state bytes (little-endian), then the
// bytes: a foreign stream is known by its tag and a cut one by its length.
constexpr char kStateTag[4] = {'V', 'L', 'M', '3'};
constexpr uint32 kMaxStateSize = 64 * 1024;
constexpr double kTailSeconds = 0.25;

bool ReadAll(IBStream* stream, void* buffer, int32 size) {
    auto* out = static_cast<char*>(buffer);
    int32 done = 0;
    while (done < size) {
        int32 got = 0;
        if (stream->read(out + done, size - done, &got) != kResultOk || got <= 0 ||
            got > size - done) {
            return false;
        }
        done += got;
    }
    return true;
}

bool WriteAll(IBStream* stream, const void* buffer, int32 size) {
    auto* in = static_cast<char*>(const_cast<void*>(buffer));
    int32 done = 0;
    while (done < size) {
        int32 put = 0;
        if (stream->write(in + done, size - done, &put) != kResultOk || put <= 0 ||
            put > size - done) {
            return false;
        }
        done += put;
    }
    return true;
}

// The effect's state bytes from a stream we wrote; false when the stream is not one of ours,
// is cut short or says nothing sound.
bool ReadState(IBStream* stream, std::vector<std::uint8_t>& bytes) {
    if (stream == nullptr) {
        return false;
    }
    unsigned char head[8] = {};
    if (!ReadAll(stream, head, sizeof head) || std::memcmp(head, kStateTag, 4) != 0) {
        return false;
    }
    const uint32 size = static_cast<uint32>(head[4]) | static_cast<uint32>(head[5]) << 8 |
                        static_cast<uint32>(head[6]) << 16 | static_cast<uint32>(head[7]) << 24;
    if (size == 0 || size > kMaxStateSize) {
        return false;
    }
    bytes.resize(size);
    return ReadAll(stream, bytes.data(), static_cast<int32>(size));
}

bool IsStereo(const SpeakerArrangement* arrangements, int32 count) {
    return count == 1 && arrangements != nullptr && arrangements[0] == kStereo;
}

bool IsOurBus(MediaType type, BusDirection dir, int32 index) {
    return type == kAudio && (dir == kInput || dir == kOutput) && index == 0;
}

} // namespace

CVst3Effect* CVst3Effect::Create() {
    std::unique_ptr<CEffectHost> effect = CEffectHost::Create();
    if (!effect) {
        return nullptr;
    }
    return new (std::nothrow) CVst3Effect(std::move(effect));
}

CVst3Effect::CVst3Effect(std::unique_ptr<CEffectHost> effect) : host(std::move(effect)) {
    host->SetListener(this);
}

CVst3Effect::~CVst3Effect() {
    if (view != nullptr) {
        view->Detach();
    }
    host->SetListener(nullptr);
    if (handler != nullptr) {
        handler->release();
    }
}

tresult CVst3Effect::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) {
        return kInvalidArgument;
    }
    *obj = nullptr;
    if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginBaseIid) ||
        SameUid(iid, kIComponentIid)) {
        *obj = static_cast<IComponent*>(this);
    } else if (SameUid(iid, kIAudioProcessorIid)) {
        *obj = static_cast<IAudioProcessor*>(this);
    } else if (SameUid(iid, kIEditControllerIid)) {
        *obj = static_cast<IEditController*>(this);
    } else {
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 CVst3Effect::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 CVst3Effect::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

tresult CVst3Effect::initialize(FUnknown* /*context*/) {
    return kResultOk;
}

tresult CVst3Effect::terminate() {
    if (active.load(std::memory_order_relaxed)) {
        setActive(0);
    }
    setComponentHandler(nullptr);
    return kResultOk;
}

tresult CVst3Effect::getControllerClassId(TUID /*classId*/) {
    // No separate controller: the host finds IEditController on this object.
    return kResultFalse;
}

tresult CVst3Effect::setIoMode(IoMode /*mode*/) {
    return kNotImplemented;
}

int32 CVst3Effect::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult CVst3Effect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
    if (!IsOurBus(type, dir, index)) {
        return kInvalidArgument;
    }
    std::memset(&bus, 0, sizeof bus);
    bus.mediaType = kAudio;
    bus.direction = dir;
    bus.channelCount = 2;
    CopyUtf16(bus.name, dir == kInput ? "Stereo In" : "Stereo Out");
    bus.busType = kMain;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
}

tresult CVst3Effect::getRoutingInfo(RoutingInfo& /*inInfo*/, RoutingInfo& /*outInfo*/) {
    return kNotImplemented;
}

tresult CVst3Effect::activateBus(MediaType type, BusDirection dir, int32 index, TBool /*state*/) {
    // Either bus may be switched off; process copes with a block that lacks it.
    return IsOurBus(type, dir, index) ? kResultOk : kInvalidArgument;
}

tresult CVst3Effect::setActive(TBool state) {
    const bool on = state != 0;
    if (on == active.load(std::memory_order_relaxed)) {
        return kResultOk;
    }
    host->SetActive(on);
    active.store(on, std::memory_order_relaxed);
    if (!on) {
        processing = false;
    }
    return kResultOk;
}

tresult CVst3Effect::ComponentSetState(IBStream* state) {
    std::vector<std::uint8_t> bytes;
    if (!ReadState(state, bytes)) {
        return kResultFalse;
    }
    return host->LoadState(bytes.data(), bytes.size()) ? kResultOk : kResultFalse;
}

tresult CVst3Effect::ComponentGetState(IBStream* state) {
    if (state == nullptr) {
        return kInvalidArgument;
    }
    const std::vector<std::uint8_t> bytes = host->SaveState();
    if (bytes.empty() || bytes.size() > kMaxStateSize) {
        return kInternalError;
    }
    const auto size = static_cast<uint32>(bytes.size());
    const unsigned char head[8] = {static_cast<unsigned char>(kStateTag[0]),
                                   static_cast<unsigned char>(kStateTag[1]),
                                   static_cast<unsigned char>(kStateTag[2]),
                                   static_cast<unsigned char>(kStateTag[3]),
                                   static_cast<unsigned char>(size & 0xFF),
                                   static_cast<unsigned char>((size >> 8) & 0xFF),
                                   static_cast<unsigned char>((size >> 16) & 0xFF),
                                   static_cast<unsigned char>((size >> 24) & 0xFF)};
    return WriteAll(state, head, sizeof head) &&
                   WriteAll(state, bytes.data(), static_cast<int32>(size))
               ? kResultOk
               : kResultFalse;
}

tresult CVst3Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                        SpeakerArrangement* outputs, int32 numOuts) {
    if (active.load(std::memory_order_relaxed)) {
        return kResultFalse;
    }
    return IsStereo(inputs, numIns) && IsStereo(outputs, numOuts) ? kResultTrue : kResultFalse;
}

tresult CVst3Effect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    if (!IsOurBus(kAudio, dir, index)) {
        return kInvalidArgument;
    }
    arr = kStereo;
    return kResultOk;
}

tresult CVst3Effect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 CVst3Effect::getLatencySamples() {
    const int32 delay = host->Effect()->initialDelay;
    return delay > 0 ? static_cast<uint32>(delay) : 0;
}

tresult CVst3Effect::setupProcessing(ProcessSetup& setup) {
    // The setup belongs to the inactive state; a host changing it mid-stream is refused.
    if (active.load(std::memory_order_relaxed)) {
        return kResultFalse;
    }
    if (setup.symbolicSampleSize != kSample32 || setup.maxSamplesPerBlock <= 0 ||
        !std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0) {
        return kInvalidArgument;
    }
    host->SetSampleRate(setup.sampleRate);
    host->SetMaxBlockSize(setup.maxSamplesPerBlock);
    sampleRate = setup.sampleRate;
    return kResultOk;
}

tresult CVst3Effect::setProcessing(TBool state) {
    if (!active.load(std::memory_order_relaxed)) {
        return kNotInitialized;
    }
    processing = state != 0;
    return kResultOk;
}

tresult CVst3Effect::process(ProcessData& data) {
    // Changes come first, also in a block without audio (a flush of parameters).
    ApplyChanges(data.inputParameterChanges);
    if (data.numSamples == 0) {
        return kResultOk;
    }
    if (data.numSamples < 0 || data.symbolicSampleSize != kSample32) {
        return kInvalidArgument;
    }
    if (!active.load(std::memory_order_relaxed)) {
        return kNotInitialized;
    }
    if (data.numOutputs < 1 || data.outputs == nullptr) {
        // Nothing to write to: a host that only wanted the parameters applied.
        return kResultOk;
    }
    AudioBusBuffers& out = data.outputs[0];
    if (out.numChannels != 2 || out.channelBuffers32 == nullptr ||
        out.channelBuffers32[0] == nullptr || out.channelBuffers32[1] == nullptr) {
        return kInvalidArgument;
    }
    out.silenceFlags = 0;
    float* const* outputs = out.channelBuffers32;
    const AudioBusBuffers* in = data.numInputs >= 1 ? data.inputs : nullptr;
    if (in != nullptr && in->numChannels != 0) {
        if (in->numChannels != 2 || in->channelBuffers32 == nullptr ||
            in->channelBuffers32[0] == nullptr || in->channelBuffers32[1] == nullptr) {
            return kInvalidArgument;
        }
        host->Process(in->channelBuffers32, outputs, data.numSamples);
        return kResultOk;
    }
    // No input (a host with the input bus off): the equaliser of silence, worked in place.
    const auto bytes = static_cast<std::size_t>(data.numSamples) * sizeof(float);
    std::memset(outputs[0], 0, bytes);
    std::memset(outputs[1], 0, bytes);
    host->Process(outputs, outputs, data.numSamples);
    return kResultOk;
}

uint32 CVst3Effect::getTailSamples() {
    // After the input falls silent the bands ring on: the widest (Q at most 0.86, at 63 Hz)
    // falls below -120 dB within about a tenth of a second. A host that stops processing on
    // silence keeps going for a quarter second, so that no ring-out is cut off.
    return static_cast<uint32>(std::ceil(kTailSeconds * sampleRate));
}

void CVst3Effect::ApplyChanges(IParameterChanges* changes) {
    if (changes == nullptr) {
        return;
    }
    // Per block: the value a queue ends on is the one the whole block is processed with, as
    // the effect reads its controls once per block.
    const int32 count = changes->getParameterCount();
    for (int32 i = 0; i < count; ++i) {
        IParamValueQueue* queue = changes->getParameterData(i);
        if (queue == nullptr) {
            continue;
        }
        const int32 points = queue->getPointCount();
        int32 offset = 0;
        ParamValue value = 0.0;
        if (points > 0 && queue->getPoint(points - 1, offset, value) == kResultOk) {
            Apply(queue->getParameterId(), value);
        }
    }
}

bool CVst3Effect::Apply(ParamID id, ParamValue value) {
    if (id >= static_cast<ParamID>(kParameterCount) || std::isnan(value)) {
        return false;
    }
    const auto index = static_cast<std::int32_t>(id);
    const auto normalised = static_cast<float>(value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value));
    host->SetParameter(index, id == kBypassId ? Bands::InSwitchOf(normalised) : normalised);
    return true;
}

tresult CVst3Effect::setComponentState(IBStream* state) {
    // The component is this object: its values are already the controller's. The stream is
    // still checked, so that the host learns of a damaged one.
    std::vector<std::uint8_t> bytes;
    return ReadState(state, bytes) && State::IsEffectState(bytes.data(), bytes.size())
               ? kResultOk
               : kResultFalse;
}

tresult CVst3Effect::ControllerSetState(IBStream* /*state*/) {
    return kResultOk;
}

tresult CVst3Effect::ControllerGetState(IBStream* state) {
    return state != nullptr ? kResultOk : kInvalidArgument;
}

int32 CVst3Effect::getParameterCount() {
    return kParameterCount;
}

tresult CVst3Effect::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= kParameterCount) {
        return kInvalidArgument;
    }
    std::memset(&info, 0, sizeof info);
    info.id = static_cast<ParamID>(paramIndex);
    info.unitId = kRootUnitId;
    if (paramIndex == static_cast<int32>(kBypassId)) {
        CopyUtf16(info.title, "Bypass");
        CopyUtf16(info.shortTitle, "Bypass");
        info.stepCount = 1;
        info.defaultNormalizedValue = 0.0;
        info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
        return kResultOk;
    }
    const std::string name = Bands::Name(paramIndex);
    CopyUtf16(info.title, name.c_str());
    CopyUtf16(info.shortTitle, name.c_str());
    CopyUtf16(info.units, Bands::Unit(paramIndex).c_str());
    info.stepCount = 0;
    info.defaultNormalizedValue = Bands::ToNormalised(paramIndex, Bands::kDefaultDb);
    info.flags = ParameterInfo::kCanAutomate;
    return kResultOk;
}

tresult CVst3Effect::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                           String128 string) {
    float value = static_cast<float>(valueNormalized);
    if (string == nullptr || id >= static_cast<ParamID>(kParameterCount) || !Bands::Clamp(value)) {
        return kInvalidArgument;
    }
    if (id == kBypassId) {
        CopyUtf16(string, value >= 0.5f ? "On" : "Off");
    } else {
        CopyUtf16(string, Bands::Text(static_cast<int>(id), value).c_str());
    }
    return kResultOk;
}

tresult CVst3Effect::getParamValueByString(ParamID id, char16* string,
                                           ParamValue& valueNormalized) {
    if (string == nullptr || id >= static_cast<ParamID>(kParameterCount)) {
        return kInvalidArgument;
    }
    const std::string text = Utf8Of(string, 128);
    if (id == kBypassId) {
        if (text == "On" || text == "on" || text == "1") {
            valueNormalized = 1.0;
        } else if (text == "Off" || text == "off" || text == "0") {
            valueNormalized = 0.0;
        } else {
            return kResultFalse;
        }
        return kResultOk;
    }
    float normalised = 0.0f;
    if (!Bands::FromText(static_cast<int>(id), text, normalised)) {
        return kResultFalse;
    }
    valueNormalized = normalised;
    return kResultOk;
}

ParamValue CVst3Effect::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    if (id >= kBypassId) {
        return valueNormalized;
    }
    return Bands::ToDb(static_cast<int>(id), static_cast<float>(valueNormalized));
}

ParamValue CVst3Effect::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (id >= kBypassId) {
        return plainValue;
    }
    return Bands::ToNormalised(static_cast<int>(id), static_cast<float>(plainValue));
}

ParamValue CVst3Effect::getParamNormalized(ParamID id) {
    if (id >= static_cast<ParamID>(kParameterCount)) {
        return 0.0;
    }
    const float value = host->Parameter(static_cast<std::int32_t>(id));
    return id == kBypassId ? Bands::BypassOf(value) : value;
}

tresult CVst3Effect::setParamNormalized(ParamID id, ParamValue value) {
    return Apply(id, value) ? kResultOk : kInvalidArgument;
}

tresult CVst3Effect::setComponentHandler(IComponentHandler* newHandler) {
    if (newHandler == handler) {
        return kResultOk;
    }
    if (newHandler != nullptr) {
        newHandler->addRef();
    }
    if (handler != nullptr) {
        handler->release();
    }
    handler = newHandler;
    return kResultOk;
}

IPlugView* CVst3Effect::createView(FIDString name) {
    // One editor per effect: a second view while the first lives is refused.
    if (name == nullptr || std::strcmp(name, kEditorViewName) != 0 || view != nullptr) {
        return nullptr;
    }
    view = new (std::nothrow) CVst3View(*this);
    return view;
}

void CVst3Effect::ViewGone(CVst3View* gone) {
    if (view == gone) {
        view = nullptr;
    }
}

void CVst3Effect::EditBegun(std::int32_t index) {
    if (handler != nullptr) {
        handler->beginEdit(static_cast<ParamID>(index));
    }
}

void CVst3Effect::Edited(std::int32_t index, float value) {
    if (handler != nullptr) {
        const float normalised = index == Bands::kInSwitch ? Bands::BypassOf(value) : value;
        handler->performEdit(static_cast<ParamID>(index), normalised);
    }
}

void CVst3Effect::EditEnded(std::int32_t index) {
    if (handler != nullptr) {
        handler->endEdit(static_cast<ParamID>(index));
    }
}

bool CVst3Effect::ResizeRequested(std::int32_t width, std::int32_t height) {
    return view != nullptr && view->RequestResize(width, height);
}

} // namespace VLM
