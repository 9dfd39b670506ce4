// A stand-in host and two small effects for driving the effect bases through the entry point
// and the record, the way a host does.
#pragma once

#include "host/audioeffectx.h"
#include "host/vstmain.h"

#include <map>
#include <string>
#include <vector>

namespace hosttest {

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// Records every request and answers from a table (0 for anything not in it).
struct RecordingHost {
    std::vector<HostCall> calls;
    std::map<VstInt32, VstIntPtr> answers;
    void reset() {
        calls.clear();
        answers = {{audioMasterVersion, 2400}};
    }
};
extern RecordingHost host;
VstIntPtr VLM_VSTCALL hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);

class TestEditor : public AEffEditor {
public:
    explicit TestEditor(AudioEffect* owner) : AEffEditor(owner) {}
    ~TestEditor() override { ++destroyed; }
    bool getRect(ERect** r) override {
        *r = &rect;
        return true;
    }
    bool open(void* parent) override {
        AEffEditor::open(parent);
        return true;
    }
    void close() override {
        ++closes;
        AEffEditor::close();
    }
    void idle() override { ++idles; }
    bool onKeyDown(VstKeyCode& key) override { return remember(key, "down"); }
    bool onKeyUp(VstKeyCode& key) override { return remember(key, "up"); }
    bool setKnobMode(VstInt32 mode) override {
        knobMode = mode;
        return true;
    }
    void* parent() const { return systemWindow; }

    ERect rect{0, 0, 258, 900};
    VstKeyCode lastKey{};
    std::string lastKeyEvent;
    int closes = 0;
    int idles = 0;
    VstInt32 knobMode = -1;
    static int destroyed;

private:
    bool remember(const VstKeyCode& key, const char* event) {
        lastKey = key;
        lastKeyEvent = event;
        return true;
    }
};

// The bases' own behaviour, with only the abstract processing filled in.
class PlainEffect : public AudioEffectX {
public:
    explicit PlainEffect(audioMasterCallback cb) : AudioEffectX(cb, 2, 10) {}
    ~PlainEffect() override { ++destroyed; }
    void processReplacing(float** /*inputs*/, float** outputs, VstInt32 frames) override {
        ++processCalls;
        lastFrames = frames;
        lastOutputs = outputs;
    }
    void attachEditor() { editor = new TestEditor(this); }
    TestEditor* testEditor() { return static_cast<TestEditor*>(editor); }

    int processCalls = 0;
    VstInt32 lastFrames = -1;
    float** lastOutputs = nullptr;
    static int destroyed;
};

// Overrides the plug-side operations as an effect class does and logs what the dispatcher
// passed; throws from them on request.
class ProbeEffect : public PlainEffect {
public:
    using PlainEffect::PlainEffect;

    std::vector<std::string> log;
    bool throwing = false;
    int fillBytes = 0; // when set, texts are this many 'x' with no terminator
    std::string last() const { return log.empty() ? "(no call)" : log.back(); }

    void close() override;
    void suspend() override { note("suspend"); }
    void resume() override { note("resume"); }
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 size) override;
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void setProgramName(char* name) override { note("setProgramName " + std::string(name)); }
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getPlugCategory() override { return kPlugCategEffect; }
    VstInt32 canDo(char* text) override;
    bool offlineNotify(VstAudioFile* files, VstInt32 numAudioFiles, bool start) override;
    bool offlinePrepare(VstOfflineTask* offline, VstInt32 count) override;
    bool setBypass(bool onOff) override;
    VstIntPtr vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
    bool setPanLaw(VstInt32 type, float value) override;
    VstInt32 startProcess() override;
    VstInt32 stopProcess() override;
    VstInt32 processEvents(VstEvents* events) override;
    VstInt32 getCurrentMidiProgram(VstInt32 channel, MidiProgramName* name) override;
    bool getSpeakerArrangement(VstSpeakerArrangement** input,
                               VstSpeakerArrangement** output) override;
    VstInt32 getNextShellPlugin(char* name) override;

private:
    void note(const std::string& entry);
    void write(char* text, const char* source) const;
};

// What the next createEffectInstance builds.
enum class Build { Plain, Probe, Null, Throw };
struct Factory {
    Build build = Build::Plain;
    bool withEditor = false;
    int creations = 0;
};
extern Factory factory;

// One instance, created through VSTPluginMain and closed through the record.
class Plugin {
public:
    explicit Plugin(Build build = Build::Plain, bool withEditor = false);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return e->dispatcher(e, opcode, index, value, ptr, opt);
    }
    PlainEffect& effect() {
        return *static_cast<PlainEffect*>(static_cast<AudioEffect*>(e->object));
    }
    ProbeEffect& probe() { return static_cast<ProbeEffect&>(effect()); }
    // Closes now; the instance must not be used afterwards.
    VstIntPtr close();

    AEffect* e = nullptr;
};

} // namespace hosttest
