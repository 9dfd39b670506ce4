#include "effect/cvstdsp.h"

#include "gui/vstgui.h"
#include "platform/platform.h"
#include "widgets/widget.h"

#include <algorithm>
#include <cstring>

namespace VLM {

const char* const kDefaultProgramName = "Default";
const char* const kOtherProgramName = "Some non-Default Preset";

namespace {

constexpr VstInt32 kChunkRecordSize = 8;
constexpr std::size_t kMaxChunkRecords = CVSTGUI::kChunkBufferSize / kChunkRecordSize;

// Copies a wide text into a host buffer of `size` bytes in the system's 8-bit encoding, cut
// so that it always fits and is always terminated. A null buffer is left alone.
void CopyToHost(const std::wstring& text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return;
    }
    const std::string narrow = Platform::WideToAnsi(text);
    const std::size_t length = std::min(narrow.size(), size - 1);
    std::memcpy(buffer, narrow.data(), length);
    buffer[length] = '\0';
}

void CopyProgramName(VstInt32 program, char* buffer) {
    if (buffer == nullptr) {
        return;
    }
    const char* name = program == 0 ? kDefaultProgramName : kOtherProgramName;
    std::strncpy(buffer, name, kVstMaxProgNameLen);
    buffer[kVstMaxProgNameLen] = '\0'; // the host's buffer holds 25 bytes
}

// The chunk is little-endian whatever the machine; both targets are, so this is a copy.
void PutLittleEndian(std::uint8_t* out, std::uint32_t bits) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

std::uint32_t GetLittleEndian(const std::uint8_t* in) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
        bits |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return bits;
}

} // namespace

CVSTDSP::CVSTDSP(audioMasterCallback hostCallback, std::unique_ptr<CVSTGUI> controlEditorObject,
                 const std::wstring& vendor, const std::wstring& product,
                 const std::wstring& effect, VstInt32 programCount, VstInt32 paramCount)
    : AudioEffectX(hostCallback, programCount, paramCount), vendorName(vendor),
      productName(product), effectName(effect) {
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing(true);
    programsAreChunks(true);
    controlEditor = controlEditorObject.get();
    editor = controlEditorObject.release();
    setFlag(effFlagsHasEditor, editor != nullptr);
}

CVSTDSP::~CVSTDSP() = default;

void CVSTDSP::setSampleRate(float rate) {
    AudioEffectX::setSampleRate(rate);
    SetSampleRate(rate);
}

void CVSTDSP::setBlockSize(VstInt32 size) {
    AudioEffectX::setBlockSize(size);
    SetBlockSize(size);
}

void CVSTDSP::SetSampleRate(float rate) {
    deviceSampleRate.store(rate, std::memory_order_relaxed);
}

void CVSTDSP::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (inputs == nullptr || outputs == nullptr || frames < 0) {
        return;
    }
    const VstInt32 channels = std::min(cEffect.numInputs, cEffect.numOutputs);
    for (VstInt32 c = 0; c < channels; ++c) {
        // A host may process in place, passing the same buffer for input and output.
        if (inputs[c] != nullptr && outputs[c] != nullptr && inputs[c] != outputs[c]) {
            std::memmove(outputs[c], inputs[c], static_cast<std::size_t>(frames) * sizeof(float));
        }
    }
    for (VstInt32 c = 0; c < channels; ++c) {
        if (outputs[c] == nullptr) {
            return; // the device works on every channel; a missing one means no processing
        }
    }
    Process(outputs, frames);
}

// The IN switch and the lamp have control ids beyond the announced parameters; a host
// indexes its parameter tables with these reports, so only announced parameters are named.
bool CVSTDSP::IsHostParameter(VstInt32 index) const {
    return index >= 0 && index < cEffect.numParams;
}

void CVSTDSP::setParameterAutomated(VstInt32 index, float value) {
    // The control already holds the new value: only the host needs telling.
    if (IsHostParameter(index)) {
        callHost(audioMasterAutomate, index, 0, nullptr, value);
    }
}

bool CVSTDSP::beginEdit(VstInt32 index) {
    return IsHostParameter(index) && AudioEffectX::beginEdit(index);
}

bool CVSTDSP::endEdit(VstInt32 index) {
    return IsHostParameter(index) && AudioEffectX::endEdit(index);
}

void CVSTDSP::setProgram(VstInt32 program) {
    curProgram = program;
    SetProgram(program);
}

VstIntPtr CVSTDSP::vendorSpecific(VstInt32 index, VstIntPtr value, void*, float opt) {
    if (index != kVendorScaleIndex || value != kVendorScaleValue || controlEditor == nullptr) {
        return 0;
    }
    return controlEditor->RequestScale(opt) ? 1 : 0;
}

bool CVSTDSP::GetProductString(char* text) {
    CopyToHost(productName, text, kVstMaxProductStrLen);
    return true;
}

bool CVSTDSP::GetVendorString(char* text) {
    CopyToHost(vendorName, text, kVstMaxVendorStrLen);
    return true;
}

bool CVSTDSP::GetEffectName(char* text) {
    CopyToHost(effectName, text, kVstMaxEffectNameLen);
    return true;
}

void CVSTDSP::GetParameterLabel(VstInt32 index, char* text) {
    if (controlEditor != nullptr) {
        CopyToHost(controlEditor->GetControlUnit(index), text, kVstMaxParamStrLen);
    }
}

void CVSTDSP::GetParameterDisplay(VstInt32 index, char* text) {
    if (controlEditor != nullptr) {
        CopyToHost(controlEditor->GetControlText(index), text, kVstMaxParamStrLen);
    }
}

void CVSTDSP::GetParameterName(VstInt32 index, char* text) {
    if (controlEditor != nullptr) {
        CopyToHost(controlEditor->GetControlLabel(index), text, kVstMaxParamStrLen);
    }
}

void CVSTDSP::SetParameter(VstInt32 index, float value) {
    if (controlEditor != nullptr) {
        controlEditor->SetControlValue(index, value);
    }
}

float CVSTDSP::GetParameter(VstInt32 index) {
    return controlEditor != nullptr ? controlEditor->GetControlValue(index) : 0.0f;
}

VstInt32 CVSTDSP::GetChunk(void** data) {
    if (data == nullptr || controlEditor == nullptr) {
        return 0;
    }
    const auto& widgets = controlEditor->Widgets();
    const std::size_t records = std::min(widgets.size(), kMaxChunkRecords);
    std::uint8_t* out = controlEditor->ChunkBuffer();
    for (std::size_t i = 0; i < records; ++i) {
        const float value = widgets[i]->Value();
        std::uint32_t valueBits = 0;
        std::memcpy(&valueBits, &value, sizeof value);
        PutLittleEndian(out + i * kChunkRecordSize, static_cast<std::uint32_t>(widgets[i]->id));
        PutLittleEndian(out + i * kChunkRecordSize + 4, valueBits);
    }
    *data = out;
    return static_cast<VstInt32>(records) * kChunkRecordSize;
}

VstInt32 CVSTDSP::SetChunk(void* data, VstInt32 byteSize) {
    if (data == nullptr || byteSize <= 0 || controlEditor == nullptr) {
        return 0;
    }
    const auto* in = static_cast<const std::uint8_t*>(data);
    const VstInt32 records = byteSize / kChunkRecordSize; // a trailing partial record is ignored
    for (VstInt32 i = 0; i < records; ++i) {
        const std::uint8_t* record = in + static_cast<std::size_t>(i) * kChunkRecordSize;
        const auto id = static_cast<std::int32_t>(GetLittleEndian(record));
        const std::uint32_t valueBits = GetLittleEndian(record + 4);
        float value = 0.0f;
        std::memcpy(&value, &valueBits, sizeof value);
        controlEditor->SetControlValue(id, value);
    }
    return 1;
}

void CVSTDSP::GetProgramName(char* name) {
    CopyProgramName(curProgram, name);
}

bool CVSTDSP::GetProgramNameIndexed(VstInt32 index, char* text) {
    CopyProgramName(index, text);
    return true;
}

} // namespace VLM
