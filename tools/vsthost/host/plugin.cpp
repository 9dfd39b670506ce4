#include "host/plugin.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/claphost.h"
#include "host/module.h"
#include "host/opcode_names.h"
#include "host/vst3host.h"
#include "os/alloc_count.h"
#include "os/crashguard.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace VLM {
namespace {

constexpr std::size_t kTextBufferSize = 1024;
// Hosts hand out far smaller buffers; anything beyond this is not a state block.
constexpr VstIntPtr kMaxChunkSize = VstIntPtr{256} << 20;
constexpr VstInt32 kMaxChannels = 1024;
constexpr VstInt32 kMaxParamsOrPrograms = 1 << 20;

constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kLanguageEnglish = 1;
constexpr VstIntPtr kAutomationOff = 1;

thread_local VstIntPtr tProcessLevel = kProcessLevelUser;
std::mutex gLogMutex;

void CopyHostText(void* ptr, const char* text, std::size_t capacity) {
    if (ptr == nullptr) {
        return;
    }
    auto* out = static_cast<char*>(ptr);
    std::size_t n = std::strlen(text);
    if (n >= capacity) {
        n = capacity - 1;
    }
    std::memcpy(out, text, n);
    out[n] = '\0';
}

bool HostCanDo(const std::string& what) {
    if (what == "sizeWindow") {
        return static_cast<bool>(HostContext().sizeWindow);
    }
    return what == "startStopProcess" || what == "supplyIdle";
}

void LogCallback(VstInt32 opcode, VstInt32 index, VstIntPtr value, const std::string& canDo,
                 float opt, VstIntPtr answer) {
    std::string line;
    const char* name = HostOpcodeName(opcode);
    const std::string label = name != nullptr ? name : Format("audioMasterOpcode%d", opcode);
    switch (opcode) {
    case audioMasterAutomate:
        line = Format("%s index=%d value=%.6f", label.c_str(), index, static_cast<double>(opt));
        break;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        line = Format("%s index=%d", label.c_str(), index);
        break;
    case audioMasterCanDo:
        line = Format("%s \"%s\" answer=%lld", label.c_str(), Printable(canDo).c_str(),
                      static_cast<long long>(answer));
        break;
    default:
        line = Format("%s index=%d value=%lld opt=%g answer=%lld", label.c_str(), index,
                      static_cast<long long>(value), static_cast<double>(opt),
                      static_cast<long long>(answer));
        break;
    }
    line.push_back('\n');
    const std::lock_guard<std::mutex> lock(gLogMutex);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

} // namespace

void SetProcessLevel(VstIntPtr level) {
    tProcessLevel = level;
}

SHostContext& HostContext() {
    static SHostContext context;
    return context;
}

VstIntPtr VLM_VSTCALL HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt) {
    // The host's own work is not the plug-in's: it is never counted as its allocation.
    const Alloc::CPause pause;
    SHostContext& host = HostContext();
    if (const HostObserver observe = host.observer.load(std::memory_order_relaxed)) {
        observe(effect, opcode, index, value, ptr, opt);
    }
    std::string canDo;
    VstIntPtr answer = 0;
    switch (opcode) {
    case audioMasterVersion:
        answer = kVstVersion;
        break;
    case audioMasterGetSampleRate:
        answer = static_cast<VstIntPtr>(host.sampleRate.load(std::memory_order_relaxed));
        break;
    case audioMasterGetBlockSize:
        answer = host.blockSize.load(std::memory_order_relaxed);
        break;
    case audioMasterGetVendorString:
        CopyHostText(ptr, "Velmora", kVstMaxVendorStrLen);
        answer = 1;
        break;
    case audioMasterGetProductString:
        CopyHostText(ptr, "vsthost", kVstMaxProductStrLen);
        answer = 1;
        break;
    case audioMasterGetVendorVersion:
        answer = 1000;
        break;
    case audioMasterCanDo:
        if (ptr != nullptr) {
            canDo = FromBuffer(static_cast<const char*>(ptr), 256);
        }
        answer = HostCanDo(canDo) ? 1 : 0;
        break;
    case audioMasterGetLanguage:
        answer = kLanguageEnglish;
        break;
    case audioMasterGetAutomationState:
        answer = kAutomationOff;
        break;
    case audioMasterGetCurrentProcessLevel:
        answer = tProcessLevel;
        break;
    case audioMasterWillReplaceOrAccumulate:
        answer = 1;
        break;
    case audioMasterPinConnected:
        // 0 means connected: the tool feeds and reads two channels.
        answer = index < 2 ? 0 : 1;
        break;
    case audioMasterNeedIdle:
    case audioMasterUpdateDisplay:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        answer = 1;
        break;
    case audioMasterSizeWindow:
        if (host.sizeWindow) {
            answer = host.sizeWindow(index, static_cast<int>(value)) ? 1 : 0;
        }
        break;
    default:
        break;
    }
    if (host.logCallbacks.load(std::memory_order_relaxed)) {
        LogCallback(opcode, index, value, canDo, opt, answer);
    }
    return answer;
}

CPlugin::CPlugin(const std::string& pluginPath, const char* entryName) : path(pluginPath) {
    const std::string quoted = "'" + Printable(path) + "'";
    const std::vector<const char*> candidates =
        entryName != nullptr ? std::vector<const char*>{entryName}
                             : std::vector<const char*>{"VSTPluginMain", "main"};
    // A VST3 bundle or module: hosted behind a record of its own that the tool drives alike.
    if (Vst3Host::IsVst3Path(path)) {
        module = Module::Load(Vst3Host::ModulePath(path));
        try {
            CCallGuard guard("the VST3 module's factory");
            effect = Vst3Host::CreateEffect(module, HostCallback);
        } catch (...) {
            Unload();
            throw;
        }
        return;
    }
    module = Module::Load(path);
    if (ClapHost::IsClapPath(path)) {
        // A CLAP plug-in, behind a record that translates this class's calls into its own.
        try {
            CCallGuard guard("the CLAP entry and factory");
            effect = ClapHost::Open(module, path, HostCallback);
        } catch (...) {
            Unload();
            throw;
        }
        return;
    }
    VstPluginMainProc entry = nullptr;
    for (const char* name : candidates) {
        if ((entry = Module::Find(module, name)) != nullptr) {
            break;
        }
    }
    if (entry == nullptr) {
        Unload();
        if (entryName != nullptr) {
            throw Exceptions::HostFailure("the plug-in " + quoted + " does not export " +
                                          entryName);
        }
        throw Exceptions::HostFailure("not a VST plug-in: " + quoted +
                                      " exports neither VSTPluginMain nor main");
    }
    {
        CCallGuard guard("the entry function");
        effect = entry(HostCallback);
    }
    if (effect == nullptr) {
        Unload();
        throw Exceptions::HostFailure("the plug-in's entry function returned no effect");
    }
    // From here on a faulty record is not closed or unloaded: its entries cannot be trusted,
    // and the process ends right after the message anyway.
    auto reject = [&](const std::string& why) {
        effect = nullptr;
        module = nullptr;
        throw Exceptions::HostFailure("not a VST 2.4 effect: " + why);
    };
    if (effect->magic != kEffectMagic) {
        reject("the record's magic is " + FourCharText(effect->magic) + ", not 'VstP'");
    }
    if (effect->dispatcher == nullptr) {
        reject("the record has no dispatcher");
    }
    if (effect->numInputs < 0 || effect->numInputs > kMaxChannels || effect->numOutputs < 0 ||
        effect->numOutputs > kMaxChannels) {
        reject(Format("the record announces %d inputs and %d outputs", effect->numInputs,
                      effect->numOutputs));
    }
    if (effect->numParams < 0 || effect->numParams > kMaxParamsOrPrograms ||
        effect->numPrograms < 0 || effect->numPrograms > kMaxParamsOrPrograms) {
        reject(Format("the record announces %d parameters and %d programs", effect->numParams,
                      effect->numPrograms));
    }
}

CPlugin::~CPlugin() {
    Close();
    Unload();
}

void CPlugin::Unload() {
    if (module == nullptr) {
        return;
    }
    CCallGuard guard("unloading the library");
    Module::Unload(module);
    module = nullptr;
}

VstIntPtr CPlugin::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                            float opt) {
    CCallGuard guard(EffectOpcodeName(opcode));
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void CPlugin::Open(float sampleRate, int blockSize) {
    HostContext().sampleRate.store(sampleRate, std::memory_order_relaxed);
    HostContext().blockSize.store(blockSize, std::memory_order_relaxed);
    Dispatch(effOpen);
    opened = true;
    Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
    Dispatch(effSetBlockSize, 0, blockSize);
}

void CPlugin::Resume() {
    if (resumed || effect == nullptr) {
        return;
    }
    Dispatch(effMainsChanged, 0, 1);
    Dispatch(effStartProcess);
    resumed = true;
}

void CPlugin::Suspend() {
    if (!resumed || effect == nullptr) {
        return;
    }
    Dispatch(effStopProcess);
    Dispatch(effMainsChanged, 0, 0);
    resumed = false;
}

void CPlugin::Close() {
    if (effect == nullptr || closed) {
        return;
    }
    Suspend();
    Dispatch(effClose);
    closed = true;
    effect = nullptr;
}

bool CPlugin::RequestEditorScale(double factor) {
    return Dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr,
                    static_cast<float>(factor)) != 0;
}

std::string CPlugin::Text(VstInt32 opcode, VstInt32 index, bool* answered) {
    char buffer[kTextBufferSize] = {};
    const VstIntPtr answer = Dispatch(opcode, index, 0, buffer);
    if (answered != nullptr) {
        *answered = answer != 0;
    }
    return Printable(FromBuffer(buffer, sizeof buffer));
}

float CPlugin::GetParameter(VstInt32 index) {
    if (effect->getParameter == nullptr) {
        return 0.0f;
    }
    CCallGuard guard("getParameter");
    return effect->getParameter(effect, index);
}

void CPlugin::SetParameter(VstInt32 index, float value) {
    if (effect->setParameter == nullptr) {
        throw Exceptions::HostFailure("the plug-in's record has no setParameter entry");
    }
    CCallGuard guard("setParameter");
    effect->setParameter(effect, index, value);
}

std::vector<std::uint8_t> CPlugin::GetChunk(bool program) {
    void* data = nullptr;
    const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) {
        return {};
    }
    if (size > kMaxChunkSize) {
        throw Exceptions::HostFailure(Format("the plug-in announces a state chunk of %lld bytes",
                                             static_cast<long long>(size)));
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    CCallGuard guard("reading the state chunk");
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

void CPlugin::SetChunk(std::vector<std::uint8_t>& data, bool program) {
    Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(data.size()), data.data());
}

void CPlugin::Process(float** inputs, float** outputs, VstInt32 frames) {
    CCallGuard guard("processReplacing");
    effect->processReplacing(effect, inputs, outputs, frames);
}

} // namespace VLM
