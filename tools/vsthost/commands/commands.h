// The commands of vsthost (info, render, response, editor, validate, preset save and preset
// show) and what they share.
#pragma once

#include "commands/options.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace VLM {

class CPlugin;
namespace Preset {
struct SPreset;
}

int RunInfo(const SOptions& options);
int RunRender(const SOptions& options);
int RunResponse(const SOptions& options);
int RunEditor(const SOptions& options);
int RunPresetSave(const SOptions& options);
int RunPresetShow(const SOptions& options);

// Refuses to write `output` over a file the command reads (the plug-in, the input, the
// preset of --preset) or into a directory; "-" (standard output) passes. Throws
// Exceptions::HostFailure naming `output`.
void RefuseToOverwriteInputs(const SOptions& options, const std::string& output);
// Refuses a plug-in that cannot process audio: no input, no output or no processReplacing.
void RequireAudio(const CPlugin& plugin);
// Applies the settings in order; throws on an index out of range or a missing IN record.
void ApplySettings(CPlugin& plugin, const std::vector<SSetting>& settings);
// Reads and checks the file of --preset before anything is loaded; null without one. Throws
// Exceptions::HostFailure naming the file when it is not a usable preset.
std::shared_ptr<const Preset::SPreset> ReadPresetOption(const SOptions& options);
// Loads the preset (when there is one) into the opened plug-in, then applies the settings.
void ApplyPresetAndSettings(CPlugin& plugin, const Preset::SPreset* preset,
                            const SOptions& options);
// Offset of the 8-byte state record with the given control id, or -1.
long FindStateRecord(const std::vector<std::uint8_t>& chunk, std::int32_t id);
// When `chunk` is laid out as the plug-in's own state records (8-byte records, each with an
// id the plug-in's own program or bank chunk has), refuses a value that is not a finite
// number, as a program of parameter values is refused. Throws Exceptions::HostFailure whose
// text starts with `name`. Any other chunk is opaque and passes.
void CheckStateRecords(CPlugin& plugin, const std::vector<std::uint8_t>& chunk, bool program,
                       const std::string& name);
// Prints every parameter as "Parameter I: name=... value=... display=... label=...".
void PrintParameters(CPlugin& plugin);
// Prints the bank chunk's size, its bytes and, when it is made of 8-byte records, the records.
void PrintChunk(CPlugin& plugin);

// Fixed-size planar buffers for one processReplacing call.
class CBlockBuffers {
public:
    CBlockBuffers(int inputs, int outputs, int frames);
    float** Inputs() { return inputPointers.data(); }
    float** Outputs() { return outputPointers.data(); }
    float* Input(int channel) { return inputs[static_cast<std::size_t>(channel)].data(); }
    float* Output(int channel) { return outputs[static_cast<std::size_t>(channel)].data(); }
    void ClearInputs();
    void ClearOutputs();

private:
    std::vector<std::vector<float>> inputs, outputs;
    std::vector<float*> inputPointers, outputPointers;
};

} // namespace VLM
