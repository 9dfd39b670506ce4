// The published names of the interface's opcodes, flags and categories, for messages and logs.
#include "host/opcode_names.h"

#include "common/text_format.h"

namespace VLM {
namespace {

const char* const kEffectOpcodeNames[] = {"effOpen",
                                          "effClose",
                                          "effSetProgram",
                                          "effGetProgram",
                                          "effSetProgramName",
                                          "effGetProgramName",
                                          "effGetParamLabel",
                                          "effGetParamDisplay",
                                          "effGetParamName",
                                          "effGetVu",
                                          "effSetSampleRate",
                                          "effSetBlockSize",
                                          "effMainsChanged",
                                          "effEditGetRect",
                                          "effEditOpen",
                                          "effEditClose",
                                          "effEditDraw",
                                          "effEditMouse",
                                          "effEditKey",
                                          "effEditIdle",
                                          "effEditTop",
                                          "effEditSleep",
                                          "effIdentify",
                                          "effGetChunk",
                                          "effSetChunk",
                                          "effProcessEvents",
                                          "effCanBeAutomated",
                                          "effString2Parameter",
                                          "effGetNumProgramCategories",
                                          "effGetProgramNameIndexed",
                                          "effCopyProgram",
                                          "effConnectInput",
                                          "effConnectOutput",
                                          "effGetInputProperties",
                                          "effGetOutputProperties",
                                          "effGetPlugCategory",
                                          "effGetCurrentPosition",
                                          "effGetDestinationBuffer",
                                          "effOfflineNotify",
                                          "effOfflinePrepare",
                                          "effOfflineRun",
                                          "effProcessVarIo",
                                          "effSetSpeakerArrangement",
                                          "effSetBlockSizeAndSampleRate",
                                          "effSetBypass",
                                          "effGetEffectName",
                                          "effGetErrorText",
                                          "effGetVendorString",
                                          "effGetProductString",
                                          "effGetVendorVersion",
                                          "effVendorSpecific",
                                          "effCanDo",
                                          "effGetTailSize",
                                          "effIdle",
                                          "effGetIcon",
                                          "effSetViewPosition",
                                          "effGetParameterProperties",
                                          "effKeysRequired",
                                          "effGetVstVersion",
                                          "effEditKeyDown",
                                          "effEditKeyUp",
                                          "effSetEditKnobMode",
                                          "effGetMidiProgramName",
                                          "effGetCurrentMidiProgram",
                                          "effGetMidiProgramCategory",
                                          "effHasMidiProgramsChanged",
                                          "effGetMidiKeyName",
                                          "effBeginSetProgram",
                                          "effEndSetProgram",
                                          "effGetSpeakerArrangement",
                                          "effShellGetNextPlugin",
                                          "effStartProcess",
                                          "effStopProcess",
                                          "effSetTotalSampleToProcess",
                                          "effSetPanLaw",
                                          "effBeginLoadBank",
                                          "effBeginLoadProgram",
                                          "effSetProcessPrecision",
                                          "effGetNumMidiInputChannels",
                                          "effGetNumMidiOutputChannels"};
static_assert(sizeof kEffectOpcodeNames / sizeof kEffectOpcodeNames[0] ==
              effGetNumMidiOutputChannels + 1);

const char* const kHostOpcodeNames[] = {"audioMasterAutomate",
                                        "audioMasterVersion",
                                        "audioMasterCurrentId",
                                        "audioMasterIdle",
                                        "audioMasterPinConnected",
                                        "audioMasterOpcode5",
                                        "audioMasterWantMidi",
                                        "audioMasterGetTime",
                                        "audioMasterProcessEvents",
                                        "audioMasterSetTime",
                                        "audioMasterTempoAt",
                                        "audioMasterGetNumAutomatableParameters",
                                        "audioMasterGetParameterQuantization",
                                        "audioMasterIOChanged",
                                        "audioMasterNeedIdle",
                                        "audioMasterSizeWindow",
                                        "audioMasterGetSampleRate",
                                        "audioMasterGetBlockSize",
                                        "audioMasterGetInputLatency",
                                        "audioMasterGetOutputLatency",
                                        "audioMasterGetPreviousPlug",
                                        "audioMasterGetNextPlug",
                                        "audioMasterWillReplaceOrAccumulate",
                                        "audioMasterGetCurrentProcessLevel",
                                        "audioMasterGetAutomationState",
                                        "audioMasterOfflineStart",
                                        "audioMasterOfflineRead",
                                        "audioMasterOfflineWrite",
                                        "audioMasterOfflineGetCurrentPass",
                                        "audioMasterOfflineGetCurrentMetaPass",
                                        "audioMasterSetOutputSampleRate",
                                        "audioMasterGetOutputSpeakerArrangement",
                                        "audioMasterGetVendorString",
                                        "audioMasterGetProductString",
                                        "audioMasterGetVendorVersion",
                                        "audioMasterVendorSpecific",
                                        "audioMasterSetIcon",
                                        "audioMasterCanDo",
                                        "audioMasterGetLanguage",
                                        "audioMasterOpenWindow",
                                        "audioMasterCloseWindow",
                                        "audioMasterGetDirectory",
                                        "audioMasterUpdateDisplay",
                                        "audioMasterBeginEdit",
                                        "audioMasterEndEdit",
                                        "audioMasterOpenFileSelector",
                                        "audioMasterCloseFileSelector",
                                        "audioMasterEditFile",
                                        "audioMasterGetChunkFile",
                                        "audioMasterGetInputSpeakerArrangement"};
static_assert(sizeof kHostOpcodeNames / sizeof kHostOpcodeNames[0] ==
              audioMasterGetInputSpeakerArrangement + 1);

} // namespace

const char* EffectOpcodeName(VstInt32 opcode) {
    if (opcode >= 0 && opcode <= effGetNumMidiOutputChannels) {
        return kEffectOpcodeNames[opcode];
    }
    return "an unknown opcode";
}

const char* HostOpcodeName(VstInt32 opcode) {
    if (opcode >= 0 && opcode <= audioMasterGetInputSpeakerArrangement) {
        return kHostOpcodeNames[opcode];
    }
    return nullptr;
}

std::string FlagNames(VstInt32 flags) {
    static const struct {
        VstInt32 mask;
        const char* name;
    } kFlags[] = {{effFlagsHasEditor, "HasEditor"},
                  {effFlagsHasClip, "HasClip"},
                  {effFlagsHasVu, "HasVu"},
                  {effFlagsCanMono, "CanMono"},
                  {effFlagsCanReplacing, "CanReplacing"},
                  {effFlagsProgramChunks, "ProgramChunks"},
                  {effFlagsIsSynth, "IsSynth"},
                  {effFlagsNoSoundInStop, "NoSoundInStop"},
                  {effFlagsExtIsAsync, "ExtIsAsync"},
                  {effFlagsExtHasBuffer, "ExtHasBuffer"},
                  {effFlagsCanDoubleReplacing, "CanDoubleReplacing"}};
    std::string out;
    VstInt32 known = 0;
    for (const auto& f : kFlags) {
        known |= f.mask;
        if ((flags & f.mask) != 0) {
            out += out.empty() ? "" : " ";
            out += f.name;
        }
    }
    if ((flags & ~known) != 0) {
        out +=
            Format("%sunknown 0x%X", out.empty() ? "" : " ", static_cast<unsigned>(flags & ~known));
    }
    return out.empty() ? "none" : out;
}

std::string CategoryName(VstIntPtr category) {
    static const char* const kNames[] = {
        "unknown",     "effect",   "synth",       "analysis",        "mastering", "spacializer",
        "room effect", "surround", "restoration", "offline process", "shell",     "generator"};
    if (category >= 0 && category < static_cast<VstIntPtr>(sizeof kNames / sizeof kNames[0])) {
        return kNames[category];
    }
    return "unknown";
}

} // namespace VLM
