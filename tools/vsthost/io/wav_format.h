// The WAV container as both the reader and the writer see it: the format tags, little-endian
// fields and sample widths.
#pragma once

#include "io/audio_file.h"

#include <cstdint>
#include <cstring>

namespace VLM::WavFormat {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

inline bool IsWavHeader(const std::uint8_t* p) {
    return (std::memcmp(p, "RIFF", 4) == 0 || std::memcmp(p, "RF64", 4) == 0 ||
            std::memcmp(p, "BW64", 4) == 0) &&
           std::memcmp(p + 8, "WAVE", 4) == 0;
}

inline void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

inline void Put64(std::uint8_t* p, std::uint64_t v) {
    Put32(p, static_cast<std::uint32_t>(v));
    Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

inline int BytesPerSample(ESampleType type) {
    switch (type) {
    case ESampleType::Int8:
        return 1;
    case ESampleType::Int16:
        return 2;
    case ESampleType::Int24:
        return 3;
    case ESampleType::Int32:
    case ESampleType::Float32:
        return 4;
    case ESampleType::Float64:
        return 8;
    default:
        return 0;
    }
}

} // namespace VLM::WavFormat
