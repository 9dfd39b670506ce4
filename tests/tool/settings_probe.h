// Helpers for tests of the state-chunk handling.
#pragma once

#include "commands/commands.h"

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace VLM::Test {

inline std::vector<std::uint8_t> Records(const std::vector<std::pair<std::int32_t, float>>& r) {
    std::vector<std::uint8_t> out(r.size() * 8);
    for (std::size_t i = 0; i < r.size(); ++i) {
        std::memcpy(out.data() + 8 * i, &r[i].first, 4);
        std::memcpy(out.data() + 8 * i + 4, &r[i].second, 4);
    }
    return out;
}

} // namespace VLM::Test
