// The generic effect of the system: it keeps no parameter store of its own. Every parameter
// is a control of the editor object, found by its id, so the editor object lives as long as
// the effect whether or not its window is open.
#pragma once

#include "host/audioeffectx.h"

#include <atomic>
#include <memory>
#include <string>

namespace VLM {

class CVSTGUI;

class CVSTDSP : public AudioEffectX {
public:
    // Takes ownership of the editor object, which the device builds before this base exists.
    CVSTDSP(audioMasterCallback hostCallback, std::unique_ptr<CVSTGUI> controlEditor,
            const std::wstring& vendor, const std::wstring& product, const std::wstring& effect,
            VstInt32 programCount, VstInt32 paramCount);
    ~CVSTDSP() override;

    // The published operations, each forwarding to the system's own operation below; final, so
    // that a device overrides only those.
    void open() final { Open(); }                                                  // [UI thread]
    void close() final { Close(); }                                                // [UI thread]
    void suspend() final { Suspend(); }                                            // [UI thread]
    void resume() final { Resume(); }                                              // [UI thread]
    void setSampleRate(float rate) final;                                          // [UI thread]
    void setBlockSize(VstInt32 size) final;                                        // [UI thread]
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) final; // [audio thread]
    void setParameter(VstInt32 index, float value) final { SetParameter(index, value); }
    float getParameter(VstInt32 index) final { return GetParameter(index); } // [any thread]
    void setParameterAutomated(VstInt32 index, float value) final;           // [UI thread]
    bool beginEdit(VstInt32 index) final;                                    // [UI thread]
    bool endEdit(VstInt32 index) final;                                      // [UI thread]
    VstInt32 getProgram() final { return GetProgram(); }
    void setProgram(VstInt32 program) final;
    void setProgramName(char* name) final { SetProgramName(name); }
    void getProgramName(char* name) final { GetProgramName(name); }
    void getParameterLabel(VstInt32 index, char* label) final { GetParameterLabel(index, label); }
    void getParameterDisplay(VstInt32 index, char* text) final { GetParameterDisplay(index, text); }
    void getParameterName(VstInt32 index, char* text) final { GetParameterName(index, text); }
    VstInt32 getChunk(void** data, bool /*isPreset*/) final { return GetChunk(data); }
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool /*isPreset*/) final {
        return SetChunk(data, byteSize);
    }
    bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) final {
        return GetProgramNameIndexed(index, text);
    }
    VstInt32 startProcess() final { return StartProcess(); }
    VstInt32 stopProcess() final { return StopProcess(); }
    bool getEffectName(char* name) final { return GetEffectName(name); }
    bool getVendorString(char* text) final { return GetVendorString(text); }
    bool getProductString(char* text) final { return GetProductString(text); }
    VstInt32 getPlugCategory() final { return GetPlugCategory(); }
    // A host's choice of the editor's drawing scale: index kVendorScaleIndex, value
    // kVendorScaleValue, the factor in `opt`. 1 when taken, 0 for anything else. [UI thread]
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) final;

    // The system's own operations.
    // [audio thread] Works in place on the output buffers.
    virtual void Process(float** buffers, VstInt32 frames) = 0;
    virtual bool GetProductString(char* text);
    virtual bool GetVendorString(char* text);
    virtual bool GetEffectName(char* text);
    virtual VstInt32 GetPlugCategory() { return kPlugCategEffect; }
    virtual void GetParameterLabel(VstInt32 index, char* text);
    virtual void GetParameterDisplay(VstInt32 index, char* text);
    virtual void GetParameterName(VstInt32 index, char* text);
    virtual void SetParameter(VstInt32 index, float value); // [any thread]
    virtual float GetParameter(VstInt32 index);             // [any thread]
    virtual VstInt32 GetChunk(void** data);
    virtual VstInt32 SetChunk(void* data, VstInt32 byteSize);
    virtual void SetProgramName(char* /*name*/) {}
    virtual void GetProgramName(char* name);
    virtual bool GetProgramNameIndexed(VstInt32 index, char* text);
    virtual VstInt32 GetProgram() { return curProgram; }
    virtual void SetProgram(VstInt32 /*program*/) {}
    virtual void Open() {}
    virtual void Close() {}
    virtual void Suspend() {}
    virtual void Resume() {}
    virtual VstInt32 StartProcess() { return 0; }
    virtual VstInt32 StopProcess() { return 0; }
    virtual void SetSampleRate(float rate);
    virtual void SetBlockSize(VstInt32 /*size*/) {}

protected:
    std::wstring vendorName;
    std::wstring productName;
    std::wstring effectName;
    CVSTGUI* controlEditor = nullptr; // the same object as `editor`, which owns it
    // Written by the dispatcher's thread, read once per block by the audio thread.
    std::atomic<float> deviceSampleRate{44100.0f};

private:
    bool IsHostParameter(VstInt32 index) const;
};

// The program names: program 0 and every other number.
extern const char* const kDefaultProgramName;
extern const char* const kOtherProgramName;

} // namespace VLM
