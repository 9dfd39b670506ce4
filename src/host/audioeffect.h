// The first VST 2.4 effect base: it embeds the effect record, answers the basic requests and
// turns the host's plain function calls through the record into calls on the instance.
#pragma once

#include "host/aeffect.h"
#include "host/aeffeditor.h"

#include <atomic>

class AudioEffect {
public:
    AudioEffect(audioMasterCallback hostCallback, VstInt32 programCount, VstInt32 paramCount);
    virtual ~AudioEffect();

    // The record points back at this instance, so an instance is never copied or moved.
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // [UI thread] (mostly; the host chooses) One request of the host; answers 0 to anything it
    // does not handle.
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);

    virtual void open() {}    // [UI thread]
    virtual void close() {}   // [UI thread]
    virtual void suspend() {} // [UI thread]
    virtual void resume() {}  // [UI thread]

    // [UI thread]
    virtual void setSampleRate(float rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    virtual void setBlockSize(VstInt32 size) { blockSize = size; } // [UI thread]
    // [audio thread] The entry passes only non-null buffers and sampleFrames >= 0.
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    // [audio thread] Not announced in the flags; does nothing.
    virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/,
                                        VstInt32 /*sampleFrames*/) {}

    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {} // [any thread]
    virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }   // [any thread]
    // [UI thread] An edit made on the plug-in's side: applies it, then tells the host.
    virtual void setParameterAutomated(VstInt32 index, float value);

    virtual VstInt32 getProgram() { return curProgram; }                // [UI thread]
    virtual void setProgram(VstInt32 program) { curProgram = program; } // [UI thread]
    virtual void setProgramName(char* /*name*/) {}                      // [UI thread]
    virtual void getProgramName(char* name);                            // [UI thread]

    // [UI thread] Texts of one parameter, each into a host buffer of kVstMaxParamStrLen bytes.
    // The dispatcher never passes a null buffer to these or to getProgramName.
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);

    // [UI thread] The opaque state block the host stores; data points at the plug-in's buffer.
    virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/ = false) { return 0; }
    virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/ = false) {
        return 0;
    }

    // Setters of the record's fields, meant for the constructors of derived classes.
    virtual void setUniqueID(VstInt32 id) { cEffect.uniqueID = id; }
    virtual void setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
    virtual void setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
    virtual void canProcessReplacing(bool state = true) { setFlag(effFlagsCanReplacing, state); }
    virtual void canDoubleReplacing(bool state = true) {
        setFlag(effFlagsCanDoubleReplacing, state);
    }
    virtual void programsAreChunks(bool state = true) { setFlag(effFlagsProgramChunks, state); }
    virtual void setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

    virtual AEffEditor* getEditor() { return editor; } // [any thread]
    virtual AEffect* getAeffect() { return &cEffect; } // [any thread]
    // [any thread]
    virtual float getSampleRate() { return sampleRate.load(std::memory_order_relaxed); }
    virtual VstInt32 getBlockSize() { return blockSize; } // [any thread]

    // [any thread] Requests to the host; each falls back when there is no callback.
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();

    // Number texts for a host buffer of maxLen + 1 bytes: cut at maxLen, terminated at maxLen.
    virtual void dB2string(float value, char* text, VstInt32 maxLen);
    virtual void Hz2string(float samples, char* text, VstInt32 maxLen);
    virtual void ms2string(float samples, char* text, VstInt32 maxLen);
    virtual void float2string(float value, char* text, VstInt32 maxLen);
    virtual void int2string(VstInt32 value, char* text, VstInt32 maxLen);

    // [audio thread] Accumulating processing, superseded by processReplacing; does nothing.
    virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
    virtual float getVu() { return 0.0f; }
    virtual void hasVu(bool state = true) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state = true) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state = true) { setFlag(effFlagsCanMono, state); }
    virtual void setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
    virtual void setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

protected:
    // Calls the host with this instance's record; 0 when there is no host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 flag, bool state);

    audioMasterCallback audioMaster = nullptr;
    AEffEditor* editor = nullptr;            // owned
    std::atomic<float> sampleRate{44100.0f}; // written by the UI thread, read by any
    VstInt32 blockSize = 1024;
    VstInt32 numPrograms = 0;
    VstInt32 numParams = 0;
    VstInt32 curProgram = 0;
    AEffect cEffect;

private:
    // The six entries of the record. Each finds the instance through the record's object
    // field and lets no exception reach the host.
    static VstIntPtr VLM_VSTCALL dispatchEntry(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                               VstIntPtr value, void* ptr, float opt);
    static void VLM_VSTCALL processEntry(AEffect* effect, float** inputs, float** outputs,
                                         VstInt32 sampleFrames);
    static void VLM_VSTCALL setParameterEntry(AEffect* effect, VstInt32 index, float value);
    static float VLM_VSTCALL getParameterEntry(AEffect* effect, VstInt32 index);
    static void VLM_VSTCALL processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                                  VstInt32 sampleFrames);
    static void VLM_VSTCALL processDoubleReplacingEntry(AEffect* effect, double** inputs,
                                                        double** outputs, VstInt32 sampleFrames);
};

// The device's creation operation, called by the entry point; null when construction failed.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
