// Loading a VST 2.4 effect binary and talking to it through its record, as a DAW does.
#pragma once

#include "host/aeffect.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace VLM {

// Sees every request of a plug-in before the host callback answers it. [any thread]
using HostObserver = void (*)(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);

// What the host callback answers from. One per process: the callback has no other way to
// find its host while the entry function is still running and the record does not exist.
struct SHostContext {
    std::atomic<float> sampleRate{44100.0f};
    std::atomic<int> blockSize{512};
    std::atomic<bool> logCallbacks{false};
    // Set by the editor window while it is open: resizes it to a client size. [UI thread]
    std::function<bool(int width, int height)> sizeWindow;
    // Set by the validator while it checks what plug-ins ask of the host.
    std::atomic<HostObserver> observer{nullptr};
};

SHostContext& HostContext();

// The process level the host callback reports for calls from this thread.
void SetProcessLevel(VstIntPtr level);
constexpr VstIntPtr kProcessLevelRealtime = 2;
constexpr VstIntPtr kProcessLevelOffline = 4;

// The host callback every loaded plug-in receives.
VstIntPtr VLM_VSTCALL HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);

// A loaded effect: the module, its record and the host's side of the lifecycle. The
// constructor loads and checks; the destructor stops processing, closes and unloads.
class CPlugin {
public:
    // `entryName` picks the exported entry function; null tries VSTPluginMain, then main.
    explicit CPlugin(const std::string& path, const char* entryName = nullptr);
    ~CPlugin();
    CPlugin(const CPlugin&) = delete;
    CPlugin& operator=(const CPlugin&) = delete;

    const AEffect& Record() const { return *effect; }
    const std::string& Path() const { return path; }
    // The loaded module: an HMODULE on Windows, a dlopen handle elsewhere.
    void* Module() const { return module; }
    // The record itself, for the validator's calls through its entries.
    AEffect* Effect() const { return effect; }

    // effOpen, effSetSampleRate, effSetBlockSize. [UI thread]
    void Open(float sampleRate, int blockSize);
    // effMainsChanged 1 and effStartProcess. [UI thread]
    void Resume();
    // effStopProcess and effMainsChanged 0, when resumed. [UI thread]
    void Suspend();
    // Suspend, then effClose; the record is gone afterwards. [UI thread]
    void Close();

    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    // effVendorSpecific 'PreS' / 'AeCs' with the factor in opt: asks the editor to draw at
    // `factor` window pixels per layout pixel. Answers whether the plug-in took it.
    // [UI thread]
    bool RequestEditorScale(double factor);
    // A text query (names, labels, display texts) into a generous, terminated buffer.
    std::string Text(VstInt32 opcode, VstInt32 index = 0, bool* answered = nullptr);

    float GetParameter(VstInt32 index);             // [any thread]
    void SetParameter(VstInt32 index, float value); // [any thread]

    bool HasChunks() const { return (effect->flags & effFlagsProgramChunks) != 0; }
    // A copy of the state chunk (bank, or program when `program`); empty when none.
    std::vector<std::uint8_t> GetChunk(bool program);
    void SetChunk(std::vector<std::uint8_t>& data, bool program);

    // processReplacing. [audio thread]
    void Process(float** inputs, float** outputs, VstInt32 frames);

    bool IsOpen() const { return opened; }
    bool IsResumed() const { return resumed; }

private:
    void Unload();

    std::string path;
    void* module = nullptr;
    AEffect* effect = nullptr;
    bool opened = false;
    bool resumed = false;
    bool closed = false;
};

} // namespace VLM
