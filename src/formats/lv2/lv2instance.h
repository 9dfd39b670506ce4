// What the LV2 plug-in and its UI share: the URIs hosts keep in their sessions, the port
// layout, the translation between port values and the effect's parameters, and the plug-in
// instance the UI reaches through instance-access.
#pragma once

#include "formats/shared/bands.h"
#include "formats/shared/effecthost.h"

#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace VLM {
namespace Lv2 {

// Hosts store these for ever: never change them.
constexpr const char* kPluginUri = "https://velmora.example/plugins/tarvix";
constexpr const char* kUiUri = "https://velmora.example/plugins/tarvix#ui";
constexpr const char* kStateKeyUri = "https://velmora.example/plugins/tarvix#state";

// Ports 0..9 are the bands in dB, 10 the IN switch (lv2:enabled), then stereo audio.
constexpr std::uint32_t kEnabledPort = 10;
constexpr std::uint32_t kControlPorts = 11;
constexpr std::uint32_t kInLeftPort = 11;
constexpr std::uint32_t kInRightPort = 12;
constexpr std::uint32_t kOutLeftPort = 13;
constexpr std::uint32_t kOutRightPort = 14;
constexpr std::uint32_t kPortCount = 15;

// The control ports and the effect's parameters share their indices.
inline std::int32_t ParameterOf(std::uint32_t port) {
    return static_cast<std::int32_t>(port);
}

// The data of the host's feature `uri`, or null when the host does not offer it.
const void* FindFeature(const LV2_Feature* const* features, const char* uri);

// A port value in the effect's terms: a band's decibels limited to the fader's range (the
// infinities included) on the VST2 parameter's law, the switch on above zero as lv2:toggled
// says. NaN gives false: nothing to apply.
bool NormalisedOf(std::uint32_t port, float value, float& normalised);
// The port value that shows a parameter's normalised value.
float PortValueOf(std::uint32_t port, float normalised);

// One instance of the plug-in: the hosted effect and the ports the host connected.
struct Instance {
    std::unique_ptr<CEffectHost> host;
    const float* controls[kControlPorts] = {};
    const float* inputs[2] = {};
    float* outputs[2] = {};
    // The control ports' values last applied; NaN until the first run reads them.
    float applied[kControlPorts];
    LV2_URID chunkType = 0;
    LV2_URID stateKey = 0;
    // Only one UI at a time: the effect has one editor.
    std::atomic<bool> uiAttached{false};
};

// [any thread] Applies a port value to the effect unless it already shows that value (a write
// of the UI's own, or a state restored with finer values than the port carries). True when
// the value was applied.
bool ApplyPortValue(CEffectHost& host, std::uint32_t port, float value);

} // namespace Lv2
} // namespace VLM
