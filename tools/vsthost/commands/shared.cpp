#include "commands/commands.h"

#include "commands/equaliser.h"
#include "common/errors.h"
#include "common/text_format.h"
#include "host/plugin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

namespace VLM {
namespace {

std::int32_t LeInt(const std::uint8_t* p) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

float LeFloat(const std::uint8_t* p) {
    const auto bits = static_cast<std::uint32_t>(LeInt(p));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void PutLeFloat(std::uint8_t* p, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

void SetInSwitch(CPlugin& plugin, const SSetting& setting) {
    if (!plugin.HasChunks()) {
        throw Exceptions::HostFailure(setting.source + ": the plug-in keeps no state chunk");
    }
    std::vector<std::uint8_t> chunk = plugin.GetChunk(false);
    const long at = FindStateRecord(chunk, Equaliser::kInSwitchId);
    if (at < 0) {
        throw Exceptions::HostFailure(Format("%s: the plug-in's state has no IN record (id %d)",
                                             setting.source.c_str(),
                                             static_cast<int>(Equaliser::kInSwitchId)));
    }
    PutLeFloat(chunk.data() + at + Equaliser::kRecordValueOffset, setting.value);
    plugin.SetChunk(chunk, false);
    // Read back: the answer to effSetChunk means different things to different plug-ins.
    const std::vector<std::uint8_t> back = plugin.GetChunk(false);
    const long again = FindStateRecord(back, Equaliser::kInSwitchId);
    if (again < 0 ||
        LeFloat(back.data() + again + Equaliser::kRecordValueOffset) != setting.value) {
        throw Exceptions::HostFailure(setting.source + ": the plug-in did not take the setting");
    }
}

} // namespace

void RequireAudio(const CPlugin& plugin) {
    const AEffect& r = plugin.Record();
    if (r.numInputs < 1 || r.numOutputs < 1) {
        throw Exceptions::HostFailure(
            Format("the plug-in has %d inputs and %d outputs; at least one of each is needed",
                   r.numInputs, r.numOutputs));
    }
    if (r.processReplacing == nullptr) {
        throw Exceptions::HostFailure("the plug-in has no processReplacing entry");
    }
}

long FindStateRecord(const std::vector<std::uint8_t>& chunk, std::int32_t id) {
    for (std::size_t at = 0; at + Equaliser::kRecordSize <= chunk.size();
         at += Equaliser::kRecordSize) {
        if (LeInt(chunk.data() + at) == id) {
            return static_cast<long>(at);
        }
    }
    return -1;
}

void CheckStateRecords(CPlugin& plugin, const std::vector<std::uint8_t>& chunk, bool program,
                       const std::string& name) {
    const std::size_t size = Equaliser::kRecordSize;
    if (chunk.empty() || chunk.size() % size != 0) {
        return;
    }
    const std::vector<std::uint8_t> own = plugin.GetChunk(program);
    if (own.empty() || own.size() % size != 0) {
        return;
    }
    std::set<std::int32_t> ids;
    for (std::size_t at = 0; at < own.size(); at += size) {
        ids.insert(LeInt(own.data() + at));
    }
    for (std::size_t at = 0; at < chunk.size(); at += size) {
        if (ids.count(LeInt(chunk.data() + at)) == 0) {
            return; // another layout: the chunk is opaque
        }
    }
    for (std::size_t at = 0; at < chunk.size(); at += size) {
        const float value = LeFloat(chunk.data() + at + Equaliser::kRecordValueOffset);
        if (!std::isfinite(value)) {
            throw Exceptions::HostFailure(
                name + Format(": its state record %zu (control %d) holds %g, not a finite number",
                              at / size, static_cast<int>(LeInt(chunk.data() + at)),
                              static_cast<double>(value)));
        }
    }
}

void ApplySettings(CPlugin& plugin, const std::vector<SSetting>& settings) {
    const int count = plugin.Record().numParams;
    for (const SSetting& s : settings) {
        if (s.kind == SSetting::EKind::InSwitch) {
            SetInSwitch(plugin, s);
            continue;
        }
        if (s.index < 0 || s.index >= count) {
            throw Exceptions::Usage(
                count == 0 ? Format("%s: parameter index %d is out of range: this plug-in has no "
                                    "parameters",
                                    s.source.c_str(), s.index)
                           : Format("%s: parameter index %d is out of range: this plug-in has "
                                    "parameters 0..%d",
                                    s.source.c_str(), s.index, count - 1));
        }
        plugin.SetParameter(s.index, s.value);
    }
}

void PrintParameters(CPlugin& plugin) {
    const int count = plugin.Record().numParams;
    for (int i = 0; i < count; ++i) {
        const std::string name = plugin.Text(effGetParamName, i);
        const float value = plugin.GetParameter(i);
        const std::string display = plugin.Text(effGetParamDisplay, i);
        const std::string label = plugin.Text(effGetParamLabel, i);
        std::printf("Parameter %d: name=\"%s\" value=%.6f display=\"%s\" label=\"%s\"\n", i,
                    name.c_str(), static_cast<double>(value), display.c_str(), label.c_str());
    }
}

void PrintChunk(CPlugin& plugin) {
    if (!plugin.HasChunks()) {
        std::printf("Chunk: none (the plug-in keeps no state chunk)\n");
        return;
    }
    const std::vector<std::uint8_t> chunk = plugin.GetChunk(false);
    std::printf("Chunk: %zu bytes\n", chunk.size());
    for (std::size_t at = 0; at < chunk.size(); at += 16) {
        std::printf("  %04zx:", at);
        for (std::size_t i = at; i < std::min(chunk.size(), at + 16); ++i) {
            std::printf(" %02x", chunk[i]);
        }
        std::printf("\n");
    }
    if (!chunk.empty() && chunk.size() % Equaliser::kRecordSize == 0) {
        for (std::size_t at = 0; at < chunk.size(); at += Equaliser::kRecordSize) {
            std::printf(
                "Chunk record %zu: id=%d value=%.6f\n", at / Equaliser::kRecordSize,
                LeInt(chunk.data() + at),
                static_cast<double>(LeFloat(chunk.data() + at + Equaliser::kRecordValueOffset)));
        }
    }
}

CBlockBuffers::CBlockBuffers(int inputCount, int outputCount, int frames)
    : inputs(static_cast<std::size_t>(inputCount),
             std::vector<float>(static_cast<std::size_t>(frames))),
      outputs(static_cast<std::size_t>(outputCount),
              std::vector<float>(static_cast<std::size_t>(frames))) {
    for (auto& b : inputs) {
        inputPointers.push_back(b.data());
    }
    for (auto& b : outputs) {
        outputPointers.push_back(b.data());
    }
}

void CBlockBuffers::ClearInputs() {
    for (auto& b : inputs) {
        std::fill(b.begin(), b.end(), 0.0f);
    }
}

void CBlockBuffers::ClearOutputs() {
    for (auto& b : outputs) {
        std::fill(b.begin(), b.end(), 0.0f);
    }
}

} // namespace VLM
