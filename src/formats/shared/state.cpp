#include "formats/shared/state.h"

#include "dsp/controldesc.h"
#include "gui/vstgui.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace VLM {
namespace State {

namespace {

constexpr std::size_t kRecordSize = 8;
// As many records as the effect's chunk buffer holds: one for each control it has.
constexpr std::size_t kMaxRecords = CVSTGUI::kChunkBufferSize / kRecordSize;

std::uint32_t LittleEndian(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

bool IsEffectState(const void* bytes, std::size_t size) {
    if (bytes == nullptr || size == 0 || size % kRecordSize != 0 ||
        size > kMaxRecords * kRecordSize) {
        return false;
    }
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (std::size_t at = 0; at < size; at += kRecordSize) {
        const auto id = static_cast<std::int32_t>(LittleEndian(in + at));
        const std::uint32_t bits = LittleEndian(in + at + 4);
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        if (id < -1 || id > Controls::kInLampId || !std::isfinite(value)) {
            return false;
        }
    }
    return true;
}

} // namespace State
} // namespace VLM
