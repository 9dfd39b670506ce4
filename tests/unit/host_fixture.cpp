#include "host_fixture.h"

#include <cstring>
#include <stdexcept>

namespace hosttest {

RecordingHost host;
Factory factory;
int TestEditor::destroyed = 0;
int PlainEffect::destroyed = 0;

VstIntPtr VLM_VSTCALL hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt) {
    host.calls.push_back({effect, opcode, index, value, ptr, opt});
    const auto answer = host.answers.find(opcode);
    return answer != host.answers.end() ? answer->second : 0;
}

void ProbeEffect::note(const std::string& entry) {
    if (throwing) {
        throw std::runtime_error("probe told to fail");
    }
    log.push_back(entry);
}

void ProbeEffect::write(char* text, const char* source) const {
    if (fillBytes > 0) {
        std::memset(text, 'x', static_cast<std::size_t>(fillBytes));
    } else {
        std::strcpy(text, source);
    }
}

void ProbeEffect::close() {
    note("close");
}
void ProbeEffect::setSampleRate(float rate) {
    note("setSampleRate " + std::to_string(rate));
    AudioEffectX::setSampleRate(rate);
}
void ProbeEffect::setBlockSize(VstInt32 size) {
    note("setBlockSize " + std::to_string(size));
    AudioEffectX::setBlockSize(size);
}
void ProbeEffect::setParameter(VstInt32 index, float value) {
    note("setParameter " + std::to_string(index) + " " + std::to_string(value));
}
float ProbeEffect::getParameter(VstInt32 index) {
    note("getParameter " + std::to_string(index));
    return 0.75f;
}
void ProbeEffect::getProgramName(char* name) {
    note("getProgramName");
    write(name, "P");
}
void ProbeEffect::getParameterLabel(VstInt32 index, char* text) {
    note("getParameterLabel " + std::to_string(index));
    write(text, "dB");
}
void ProbeEffect::getParameterDisplay(VstInt32 index, char* text) {
    note("getParameterDisplay " + std::to_string(index));
    write(text, "0.0");
}
void ProbeEffect::getParameterName(VstInt32 index, char* text) {
    note("getParameterName " + std::to_string(index));
    write(text, "Gain");
}
VstInt32 ProbeEffect::getChunk(void** data, bool isPreset) {
    static char block[16];
    note(std::string("getChunk ") + (isPreset ? "preset" : "bank"));
    *data = block;
    return 16;
}
VstInt32 ProbeEffect::setChunk(void* /*data*/, VstInt32 byteSize, bool isPreset) {
    note("setChunk " + std::to_string(byteSize) + (isPreset ? " preset" : " bank"));
    return 1;
}
bool ProbeEffect::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    note("getProgramNameIndexed " + std::to_string(category) + " " + std::to_string(index));
    write(text, "Default");
    return true;
}
bool ProbeEffect::getEffectName(char* name) {
    note("getEffectName");
    write(name, "Probe");
    return true;
}
bool ProbeEffect::getVendorString(char* text) {
    note("getVendorString");
    write(text, "V");
    return true;
}
bool ProbeEffect::getProductString(char* text) {
    note("getProductString");
    write(text, "P");
    return true;
}
VstInt32 ProbeEffect::canDo(char* text) {
    note("canDo " + std::string(text));
    return 0;
}
bool ProbeEffect::offlineNotify(VstAudioFile* /*files*/, VstInt32 numAudioFiles, bool start) {
    note("offlineNotify " + std::to_string(numAudioFiles) + (start ? " start" : " stop"));
    return false;
}
bool ProbeEffect::offlinePrepare(VstOfflineTask* offline, VstInt32 count) {
    note(std::string("offlinePrepare ") + (offline ? "task " : "null ") + std::to_string(count));
    return false;
}
bool ProbeEffect::setBypass(bool onOff) {
    note(std::string("setBypass ") + (onOff ? "on" : "off"));
    return false;
}
VstIntPtr ProbeEffect::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    note("vendorSpecific " + std::to_string(index) + " " + std::to_string(value) +
         (ptr ? " ptr " : " null ") + std::to_string(opt));
    return 0;
}
bool ProbeEffect::setPanLaw(VstInt32 type, float value) {
    note("setPanLaw " + std::to_string(type) + " " + std::to_string(value));
    return false;
}
VstInt32 ProbeEffect::startProcess() {
    note("startProcess");
    return 0;
}
VstInt32 ProbeEffect::stopProcess() {
    note("stopProcess");
    return 0;
}
VstInt32 ProbeEffect::processEvents(VstEvents* /*events*/) {
    note("processEvents");
    return 0;
}
VstInt32 ProbeEffect::getCurrentMidiProgram(VstInt32 channel, MidiProgramName* /*name*/) {
    note("getCurrentMidiProgram " + std::to_string(channel));
    return -1;
}
bool ProbeEffect::getSpeakerArrangement(VstSpeakerArrangement** input,
                                        VstSpeakerArrangement** output) {
    note("getSpeakerArrangement");
    return AudioEffectX::getSpeakerArrangement(input, output);
}
VstInt32 ProbeEffect::getNextShellPlugin(char* name) {
    note("getNextShellPlugin");
    write(name, "");
    return 0;
}

Plugin::Plugin(Build build, bool withEditor) {
    host.reset();
    factory.build = build;
    factory.withEditor = withEditor;
    e = VSTPluginMain(&hostCallback);
}

Plugin::~Plugin() {
    if (e != nullptr) {
        close();
    }
}

VstIntPtr Plugin::close() {
    const VstIntPtr answer = dispatch(effClose);
    e = nullptr;
    return answer;
}

} // namespace hosttest

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    using namespace hosttest;
    ++factory.creations;
    PlainEffect* effect = nullptr;
    switch (factory.build) {
    case Build::Plain:
        effect = new PlainEffect(audioMaster);
        break;
    case Build::Probe:
        effect = new ProbeEffect(audioMaster);
        break;
    case Build::Null:
        return nullptr;
    case Build::Throw:
        throw std::runtime_error("construction failed");
    }
    if (factory.withEditor) {
        effect->attachEditor();
    }
    return effect;
}
