// The LV2 plug-in: one hosted effect per instance. Control ports are read once per block and
// handed to the effect as a VST2 host sets parameters, only when they changed; the audio goes
// through the effect's own processReplacing, so the output has the VST2 plug-in's bits.
#include "formats/lv2/lv2instance.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace VLM {
namespace Lv2 {

namespace {

// A band's port value within the fader's range, the infinities included (NaN stays NaN).
float ClampDb(float db) {
    return db < Bands::kMinDb ? Bands::kMinDb : (db > Bands::kMaxDb ? Bands::kMaxDb : db);
}

} // namespace

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
    for (; features != nullptr && *features != nullptr; ++features) {
        if ((*features)->URI != nullptr && std::strcmp((*features)->URI, uri) == 0) {
            return (*features)->data;
        }
    }
    return nullptr;
}

bool NormalisedOf(std::uint32_t port, float value, float& normalised) {
    if (std::isnan(value)) {
        return false;
    }
    if (port == kEnabledPort) {
        normalised = value > 0.0f ? 1.0f : 0.0f;
        return true;
    }
    normalised = Bands::ToNormalised(ParameterOf(port), ClampDb(value));
    return Bands::Clamp(normalised);
}

float PortValueOf(std::uint32_t port, float normalised) {
    if (port == kEnabledPort) {
        return normalised >= 0.5f ? 1.0f : 0.0f;
    }
    return Bands::ToDb(ParameterOf(port), normalised);
}

bool ApplyPortValue(CEffectHost& host, std::uint32_t port, float value) {
    float normalised = 0.0f;
    if (port >= kControlPorts || !NormalisedOf(port, value, normalised)) {
        return false;
    }
    const std::int32_t index = ParameterOf(port);
    // A value the effect already shows stays as it is: the port's decibels may not carry every
    // bit of a value the editor or a restored state set.
    const float shown = PortValueOf(port, host.Parameter(index));
    if (shown == (port == kEnabledPort ? normalised : ClampDb(value))) {
        return false;
    }
    return host.SetParameter(index, normalised);
}

namespace {

Instance* Self(LV2_Handle handle) {
    return static_cast<Instance*>(handle);
}

// [construction] Null when the effect cannot be made; nothing leaves towards the host as an
// exception.
LV2_Handle Instantiate(const LV2_Descriptor* /*descriptor*/, double rate,
                       const char* /*bundlePath*/, const LV2_Feature* const* features) {
    try {
        auto self = std::make_unique<Instance>();
        self->host = CEffectHost::Create();
        if (!self->host) {
            return nullptr;
        }
        for (float& value : self->applied) {
            value = std::numeric_limits<float>::quiet_NaN();
        }
        self->host->SetSampleRate(rate);
        // The effect sizes nothing by the block size; it is sent because a VST2 host sends it.
        self->host->SetMaxBlockSize(4096);
        // Without a URI map there is no type for the state chunk; the ports still carry every
        // setting, so the plug-in works and only its state extension declines.
        const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
        if (map != nullptr && map->map != nullptr) {
            self->chunkType = map->map(map->handle, LV2_ATOM__Chunk);
            self->stateKey = map->map(map->handle, kStateKeyUri);
        }
        return self.release();
    } catch (...) {
        return nullptr;
    }
}

// [audio thread]
void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    Instance* self = Self(handle);
    if (port < kControlPorts) {
        self->controls[port] = static_cast<const float*>(data);
    } else if (port == kInLeftPort || port == kInRightPort) {
        self->inputs[port - kInLeftPort] = static_cast<const float*>(data);
    } else if (port == kOutLeftPort || port == kOutRightPort) {
        self->outputs[port - kOutLeftPort] = static_cast<float*>(data);
    }
}

// [UI thread] (not while processing)
void Activate(LV2_Handle handle) {
    Self(handle)->host->SetActive(true);
}

// [audio thread]
void Run(LV2_Handle handle, std::uint32_t frames) {
    Instance* self = Self(handle);
    for (std::uint32_t port = 0; port < kControlPorts; ++port) {
        if (self->controls[port] == nullptr) {
            continue;
        }
        const float value = *self->controls[port];
        // NaN never equals the last value and is never applied: the effect keeps its value.
        if (value == self->applied[port] || std::isnan(value)) {
            continue;
        }
        self->applied[port] = value;
        ApplyPortValue(*self->host, port, value);
    }
    if (frames == 0 || self->outputs[0] == nullptr || self->outputs[1] == nullptr) {
        return;
    }
    if (self->inputs[0] == nullptr || self->inputs[1] == nullptr) {
        // A host must connect every port; one that did not gets silence, not stale memory.
        std::memset(self->outputs[0], 0, frames * sizeof(float));
        std::memset(self->outputs[1], 0, frames * sizeof(float));
        return;
    }
    // One call per block as the host gives it, so the effect's per-block smoothing steps as it
    // does under a VST2 host with the same blocks.
    constexpr std::uint32_t kMaxFrames = static_cast<std::uint32_t>(INT32_MAX);
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t n = frames - done < kMaxFrames ? frames - done : kMaxFrames;
        const float* in[2] = {self->inputs[0] + done, self->inputs[1] + done};
        float* out[2] = {self->outputs[0] + done, self->outputs[1] + done};
        self->host->Process(in, out, static_cast<std::int32_t>(n));
        done += n;
    }
}

// [UI thread] (not while processing)
void Deactivate(LV2_Handle handle) {
    Self(handle)->host->SetActive(false);
}

// [UI thread]
void Cleanup(LV2_Handle handle) {
    delete Self(handle);
}

// [UI thread] The effect's state bytes, which carry every bit of the values the ports show in
// decibels.
LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      std::uint32_t /*flags*/, const LV2_Feature* const* /*features*/) {
    Instance* self = Self(handle);
    if (self->chunkType == 0 || store == nullptr) {
        return LV2_STATE_ERR_NO_FEATURE;
    }
    std::vector<std::uint8_t> bytes;
    try {
        bytes = self->host->SaveState();
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    if (bytes.empty()) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    return store(state, self->stateKey, bytes.data(), bytes.size(), self->chunkType,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// [UI thread] (not while processing) A whole, sound block of the effect's state or nothing changes.
LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, std::uint32_t /*flags*/,
                         const LV2_Feature* const* /*features*/) {
    Instance* self = Self(handle);
    if (self->chunkType == 0 || retrieve == nullptr) {
        return LV2_STATE_ERR_NO_FEATURE;
    }
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t valueFlags = 0;
    const void* data = retrieve(state, self->stateKey, &size, &type, &valueFlags);
    if (data == nullptr) {
        return LV2_STATE_ERR_NO_PROPERTY;
    }
    if (type != self->chunkType) {
        return LV2_STATE_ERR_BAD_TYPE;
    }
    try {
        return self->host->LoadState(data, size) ? LV2_STATE_SUCCESS : LV2_STATE_ERR_UNKNOWN;
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* ExtensionData(const char* uri) {
    static const LV2_State_Interface state = {Save, Restore};
    return uri != nullptr && std::strcmp(uri, LV2_STATE__interface) == 0 ? &state : nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, Instantiate, ConnectPort, Activate,
                                    Run,        Deactivate,  Cleanup,     ExtensionData};

} // namespace
} // namespace Lv2
} // namespace VLM

// The bundle's one plug-in.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &VLM::Lv2::kDescriptor : nullptr;
}
