// The module's factory and entry points: one class, the equaliser's component.
#include "formats/vst3/vst3effect.h"
#include "formats/vst3/vst3entry.h"

#include <cstring>

namespace VLM {

using namespace Vst3;

namespace {

constexpr const char* kVendor = "Velmora";
constexpr const char* kUrl = "https://velmora.example";
constexpr const char* kEmail = "dev@velmora.example";
constexpr const char* kName = "VLM Tarvix";
constexpr const char* kSubCategories = "Fx|EQ";
constexpr const char* kVersion = "1.0.0";
constexpr const char* kSdkVersion = "VST 3.7.0";

template <std::size_t N> void CopyText(char (&out)[N], const char* text) {
    std::strncpy(out, text, N - 1);
    out[N - 1] = '\0';
}

template <typename Info> void FillClassInfo(Info& info) {
    std::memset(&info, 0, sizeof info);
    std::memcpy(info.cid, kVst3ClassId.bytes, sizeof info.cid);
    info.cardinality = PClassInfo::kManyInstances;
    CopyText(info.category, kVstAudioEffectClass);
    CopyText(info.name, kName);
}

template <typename Info> void FillClassInfo2(Info& info) {
    FillClassInfo(info);
    info.classFlags = kDistributable;
    CopyText(info.subCategories, kSubCategories);
    CopyText(info.vendor, kVendor);
    CopyText(info.version, kVersion);
    CopyText(info.sdkVersion, kSdkVersion);
}

// Lives as long as the module: the host's counting is answered but owns nothing.
class CFactory final : public IPluginFactory2 {
public:
    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = nullptr;
        if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginFactoryIid) ||
            SameUid(iid, kIPluginFactory2Iid)) {
            *obj = this;
            return kResultOk;
        }
        return kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }

    // [any thread]
    tresult VLM_VST3CALL getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) {
            return kInvalidArgument;
        }
        std::memset(info, 0, sizeof *info);
        CopyText(info->vendor, kVendor);
        CopyText(info->url, kUrl);
        CopyText(info->email, kEmail);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32 VLM_VST3CALL countClasses() override { return 1; }
    tresult VLM_VST3CALL getClassInfo(int32 index, PClassInfo* info) override {
        if (index != 0 || info == nullptr) {
            return kInvalidArgument;
        }
        FillClassInfo(*info);
        return kResultOk;
    }
    tresult VLM_VST3CALL getClassInfo2(int32 index, PClassInfo2* info) override {
        if (index != 0 || info == nullptr) {
            return kInvalidArgument;
        }
        FillClassInfo2(*info);
        return kResultOk;
    }
    // [UI thread]
    tresult VLM_VST3CALL createInstance(FIDString cid, FIDString iid, void** obj) override {
        if (obj == nullptr) {
            return kInvalidArgument;
        }
        *obj = nullptr;
        if (iid == nullptr || !SameUid(cid, kVst3ClassId)) {
            return kNoInterface;
        }
        CVst3Effect* effect = CVst3Effect::Create();
        if (effect == nullptr) {
            return kOutOfMemory;
        }
        const tresult result = effect->queryInterface(iid, obj);
        effect->release(); // the host's reference is the one queryInterface gave
        return result;
    }
};

CFactory gFactory;

} // namespace

} // namespace VLM

extern "C" {

Vst3::IPluginFactory* VLM_VST3CALL GetPluginFactory() {
    return &VLM::gFactory;
}

#if defined(_WIN32)
bool InitDll() {
    return true;
}

bool ExitDll() {
    return true;
}
#else
bool ModuleEntry(void* /*sharedLibraryHandle*/) {
    return true;
}

bool ModuleExit() {
    return true;
}
#endif

} // extern "C"
