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

    // The published operations, each forwarding to the system's own operation below.
    void open() override { Open(); }                                                  // [UI thread]
    void close() override { Close(); }                                                // [UI thread]
    void suspend() override { Suspend(); }                                            // [UI thread]
    void resume() override { Resume(); }                                              // [UI thread]
    void setSampleRate(float rate) override;                                          // [UI thread]
    void setBlockSize(VstInt32 size) override;                                        // [UI thread]
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override; // [audio]
    void setParameter(VstInt32 index, float value) override { SetParameter(index, value); }
    float getParameter(VstInt32 index) override { return GetParameter(index); } // [any thread]
    void setParameterAutomated(VstInt32 index, float value) override;           // [UI thread]
    bool beginEdit(VstInt32 index) override;                                    // [UI thread]
    bool endEdit(VstInt32 index) override;                                      // [UI thread]
    VstInt32 getProgram() override { return GetProgram(); }
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override { SetProgramName(name); }
    void getProgramName(char* name) override { GetProgramName(name); }
    void getParameterLabel(VstInt32 index, char* label) override {
        GetParameterLabel(index, label);
    }
    void getParameterDisplay(VstInt32 index, char* text) override {
        GetParameterDisplay(index, text);
    }
    void getParameterName(VstInt32 index, char* text) override { GetParameterName(index, text); }
    VstInt32 getChunk(void** data, bool /*isPreset*/) override { return GetChunk(data); }
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool /*isPreset*/) override {
        return SetChunk(data, byteSize);
    }
    bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) override {
        return GetProgramNameIndexed(index, text);
    }
    VstInt32 startProcess() override { return StartProcess(); }
    VstInt32 stopProcess() override { return StopProcess(); }
    bool getEffectName(char* name) override { return GetEffectName(name); }
    bool getVendorString(char* text) override { return GetVendorString(text); }
    bool getProductString(char* text) override { return GetProductString(text); }
    VstInt32 getPlugCategory() override { return GetPlugCategory(); }
    // A host's choice of the editor's drawing scale: index kVendorScaleIndex, value
    // kVendorScaleValue, the factor in `opt`. 1 when taken, 0 for anything else. [UI thread]
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

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
