// The VST3 interfaces this code base implements or calls, declared from their published
// definitions: identifiers, method order, structure layouts and calling conventions. Every
// interface is an abstract class whose virtual table is the binary contract, so nothing may be
// reordered; layouts are asserted below. Used by the plug-in's adapter and by vsthost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#define VLM_VST3CALL __stdcall
#else
#define VLM_VST3CALL
#endif

namespace Vst3 {

static_assert(sizeof(void*) == 8, "the interfaces are laid out for 64-bit hosts");

using int8 = std::int8_t;
using int16 = std::int16_t;
using int32 = std::int32_t;
using int64 = std::int64_t;
using uint32 = std::uint32_t;
using uint64 = std::uint64_t;
using char8 = char;
using char16 = char16_t;
using TBool = std::uint8_t;
using tresult = std::int32_t;
using TUID = char[16];
using FIDString = const char8*;
using String128 = char16[128];
using ParamID = uint32;
using ParamValue = double;
using SampleRate = double;
using SpeakerArrangement = uint64;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using UnitID = int32;
using ScaleFactor = float;
using FileDescriptor = int;
using TimerInterval = uint64;

// Result codes. Windows builds use the COM values, so that a host sees familiar HRESULTs.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002L);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057L);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001L);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005L);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFL);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000EL);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// An identifier given as four 32-bit words. Windows lays the bytes out as a COM GUID (the
// first word and the two halves of the second little-endian); other systems keep the words
// big-endian in order. The same four words therefore name the same class on every system.
struct Uid {
    char bytes[16];
};

constexpr Uid MakeUid(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
#if defined(_WIN32)
    return Uid{{static_cast<char>(l1 & 0xFF), static_cast<char>((l1 >> 8) & 0xFF),
                static_cast<char>((l1 >> 16) & 0xFF), static_cast<char>((l1 >> 24) & 0xFF),
                static_cast<char>((l2 >> 16) & 0xFF), static_cast<char>((l2 >> 24) & 0xFF),
                static_cast<char>(l2 & 0xFF), static_cast<char>((l2 >> 8) & 0xFF),
                static_cast<char>((l3 >> 24) & 0xFF), static_cast<char>((l3 >> 16) & 0xFF),
                static_cast<char>((l3 >> 8) & 0xFF), static_cast<char>(l3 & 0xFF),
                static_cast<char>((l4 >> 24) & 0xFF), static_cast<char>((l4 >> 16) & 0xFF),
                static_cast<char>((l4 >> 8) & 0xFF), static_cast<char>(l4 & 0xFF)}};
#else
    return Uid{{static_cast<char>((l1 >> 24) & 0xFF), static_cast<char>((l1 >> 16) & 0xFF),
                static_cast<char>((l1 >> 8) & 0xFF), static_cast<char>(l1 & 0xFF),
                static_cast<char>((l2 >> 24) & 0xFF), static_cast<char>((l2 >> 16) & 0xFF),
                static_cast<char>((l2 >> 8) & 0xFF), static_cast<char>(l2 & 0xFF),
                static_cast<char>((l3 >> 24) & 0xFF), static_cast<char>((l3 >> 16) & 0xFF),
                static_cast<char>((l3 >> 8) & 0xFF), static_cast<char>(l3 & 0xFF),
                static_cast<char>((l4 >> 24) & 0xFF), static_cast<char>((l4 >> 16) & 0xFF),
                static_cast<char>((l4 >> 8) & 0xFF), static_cast<char>(l4 & 0xFF)}};
#endif
}

inline bool SameUid(const void* a, const Uid& b) {
    return a != nullptr && std::memcmp(a, b.bytes, sizeof b.bytes) == 0;
}

// ---- The base of every interface ------------------------------------------------------------

class FUnknown {
public:
    virtual tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32 VLM_VST3CALL addRef() = 0;
    virtual uint32 VLM_VST3CALL release() = 0;
};
constexpr Uid kFUnknownIid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

class IPluginBase : public FUnknown {
public:
    virtual tresult VLM_VST3CALL initialize(FUnknown* context) = 0;
    virtual tresult VLM_VST3CALL terminate() = 0;
};
constexpr Uid kIPluginBaseIid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

// ---- The module's factory ------------------------------------------------------------------

struct PFactoryInfo {
    enum : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kLicenseCheck = 1 << 1,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

struct PClassInfo {
    enum : int32 { kManyInstances = 0x7FFFFFFF };
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

// Class flags of PClassInfo2.
constexpr uint32 kDistributable = 1 << 0;
constexpr uint32 kSimpleModeSupported = 1 << 1;
// The category of an audio component class.
constexpr const char* kVstAudioEffectClass = "Audio Module Class";

class IPluginFactory : public FUnknown {
public:
    virtual tresult VLM_VST3CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 VLM_VST3CALL countClasses() = 0;
    virtual tresult VLM_VST3CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult VLM_VST3CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};
constexpr Uid kIPluginFactoryIid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);

class IPluginFactory2 : public IPluginFactory {
public:
    virtual tresult VLM_VST3CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};
constexpr Uid kIPluginFactory2Iid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

// ---- Streams ---------------------------------------------------------------------------------

class IBStream : public FUnknown {
public:
    enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
    virtual tresult VLM_VST3CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult VLM_VST3CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult VLM_VST3CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult VLM_VST3CALL tell(int64* pos) = 0;
};
constexpr Uid kIBStreamIid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

// ---- The component (the processing side) -------------------------------------------------

constexpr MediaType kAudio = 0;
constexpr MediaType kEvent = 1;
constexpr BusDirection kInput = 0;
constexpr BusDirection kOutput = 1;
constexpr BusType kMain = 0;
constexpr BusType kAux = 1;

struct BusInfo {
    enum : uint32 { kDefaultActive = 1 << 0, kIsControlVoltage = 1 << 1 };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
public:
    virtual tresult VLM_VST3CALL getControllerClassId(TUID classId) = 0;
    virtual tresult VLM_VST3CALL setIoMode(IoMode mode) = 0;
    virtual int32 VLM_VST3CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult VLM_VST3CALL getBusInfo(MediaType type, BusDirection dir, int32 index,
                                            BusInfo& bus) = 0;
    virtual tresult VLM_VST3CALL getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
    virtual tresult VLM_VST3CALL activateBus(MediaType type, BusDirection dir, int32 index,
                                             TBool state) = 0;
    virtual tresult VLM_VST3CALL setActive(TBool state) = 0;
    virtual tresult VLM_VST3CALL setState(IBStream* state) = 0;
    virtual tresult VLM_VST3CALL getState(IBStream* state) = 0;
};
constexpr Uid kIComponentIid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

// ---- Audio processing ------------------------------------------------------------------------

constexpr SpeakerArrangement kSpeakerL = 1 << 0;
constexpr SpeakerArrangement kSpeakerR = 1 << 1;
constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;

constexpr int32 kSample32 = 0;
constexpr int32 kSample64 = 1;
constexpr int32 kRealtime = 0;
constexpr int32 kPrefetch = 1;
constexpr int32 kOffline = 2;
constexpr uint32 kNoTail = 0;

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

class IParamValueQueue : public FUnknown {
public:
    virtual ParamID VLM_VST3CALL getParameterId() = 0;
    virtual int32 VLM_VST3CALL getPointCount() = 0;
    virtual tresult VLM_VST3CALL getPoint(int32 index, int32& sampleOffset, ParamValue& value) = 0;
    virtual tresult VLM_VST3CALL addPoint(int32 sampleOffset, ParamValue value, int32& index) = 0;
};

class IParameterChanges : public FUnknown {
public:
    virtual int32 VLM_VST3CALL getParameterCount() = 0;
    virtual IParamValueQueue* VLM_VST3CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* VLM_VST3CALL addParameterData(const ParamID& id, int32& index) = 0;
};

class IEventList;
struct ProcessContext;

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
public:
    virtual tresult VLM_VST3CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                    SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult VLM_VST3CALL getBusArrangement(BusDirection dir, int32 index,
                                                   SpeakerArrangement& arr) = 0;
    virtual tresult VLM_VST3CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 VLM_VST3CALL getLatencySamples() = 0;
    virtual tresult VLM_VST3CALL setupProcessing(ProcessSetup& setup) = 0;
    virtual tresult VLM_VST3CALL setProcessing(TBool state) = 0;
    virtual tresult VLM_VST3CALL process(ProcessData& data) = 0;
    virtual uint32 VLM_VST3CALL getTailSamples() = 0;
};
constexpr Uid kIAudioProcessorIid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

// ---- The edit controller -------------------------------------------------------------------

struct ParameterInfo {
    enum : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};
constexpr UnitID kRootUnitId = 0;

class IComponentHandler : public FUnknown {
public:
    virtual tresult VLM_VST3CALL beginEdit(ParamID id) = 0;
    virtual tresult VLM_VST3CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult VLM_VST3CALL endEdit(ParamID id) = 0;
    virtual tresult VLM_VST3CALL restartComponent(int32 flags) = 0;
};
constexpr Uid kIComponentHandlerIid = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);

class IPlugView;

class IEditController : public IPluginBase {
public:
    virtual tresult VLM_VST3CALL setComponentState(IBStream* state) = 0;
    virtual tresult VLM_VST3CALL setState(IBStream* state) = 0;
    virtual tresult VLM_VST3CALL getState(IBStream* state) = 0;
    virtual int32 VLM_VST3CALL getParameterCount() = 0;
    virtual tresult VLM_VST3CALL getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
    virtual tresult VLM_VST3CALL getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                       String128 string) = 0;
    virtual tresult VLM_VST3CALL getParamValueByString(ParamID id, char16* string,
                                                       ParamValue& valueNormalized) = 0;
    virtual ParamValue VLM_VST3CALL normalizedParamToPlain(ParamID id,
                                                           ParamValue valueNormalized) = 0;
    virtual ParamValue VLM_VST3CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue VLM_VST3CALL getParamNormalized(ParamID id) = 0;
    virtual tresult VLM_VST3CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult VLM_VST3CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* VLM_VST3CALL createView(FIDString name) = 0;
};
constexpr Uid kIEditControllerIid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
// The name of the editor view createView is asked for.
constexpr const char* kEditorViewName = "editor";

// ---- The editor view -----------------------------------------------------------------------

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

class IPlugFrame;

class IPlugView : public FUnknown {
public:
    virtual tresult VLM_VST3CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult VLM_VST3CALL attached(void* parent, FIDString type) = 0;
    virtual tresult VLM_VST3CALL removed() = 0;
    virtual tresult VLM_VST3CALL onWheel(float distance) = 0;
    virtual tresult VLM_VST3CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VLM_VST3CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult VLM_VST3CALL getSize(ViewRect* size) = 0;
    virtual tresult VLM_VST3CALL onSize(ViewRect* newSize) = 0;
    virtual tresult VLM_VST3CALL onFocus(TBool state) = 0;
    virtual tresult VLM_VST3CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult VLM_VST3CALL canResize() = 0;
    virtual tresult VLM_VST3CALL checkSizeConstraint(ViewRect* rect) = 0;
};
constexpr Uid kIPlugViewIid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

class IPlugFrame : public FUnknown {
public:
    virtual tresult VLM_VST3CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};
constexpr Uid kIPlugFrameIid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

class IPlugViewContentScaleSupport : public FUnknown {
public:
    virtual tresult VLM_VST3CALL setContentScaleFactor(ScaleFactor factor) = 0;
};
constexpr Uid kIPlugViewContentScaleSupportIid =
    MakeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);

// The run loop a Linux host offers through its IPlugFrame: the view's timer and the file
// descriptors it watches are served on the host's UI thread.
class IEventHandler : public FUnknown {
public:
    virtual void VLM_VST3CALL onFDIsSet(FileDescriptor fd) = 0;
};
constexpr Uid kIEventHandlerIid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

class ITimerHandler : public FUnknown {
public:
    virtual void VLM_VST3CALL onTimer() = 0;
};
constexpr Uid kITimerHandlerIid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

class IRunLoop : public FUnknown {
public:
    virtual tresult VLM_VST3CALL registerEventHandler(IEventHandler* handler,
                                                      FileDescriptor fd) = 0;
    virtual tresult VLM_VST3CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult VLM_VST3CALL registerTimer(ITimerHandler* handler,
                                               TimerInterval milliseconds) = 0;
    virtual tresult VLM_VST3CALL unregisterTimer(ITimerHandler* handler) = 0;
};
constexpr Uid kIRunLoopIid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

// ---- The module's entry points ---------------------------------------------------------------

using GetFactoryProc = IPluginFactory*(VLM_VST3CALL*)();
using ModuleEntryProc = bool (*)(void* sharedLibraryHandle);
using ModuleExitProc = bool (*)();
using InitDllProc = bool (*)();
using ExitDllProc = bool (*)();

// ---- Layouts ---------------------------------------------------------------------------------

static_assert(sizeof(TUID) == 16 && sizeof(Uid) == 16);
static_assert(sizeof(char16) == 2);
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, url) == 64 && offsetof(PFactoryInfo, email) == 320 &&
              offsetof(PFactoryInfo, flags) == 448);
static_assert(sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, cardinality) == 16 && offsetof(PClassInfo, category) == 20 &&
              offsetof(PClassInfo, name) == 52);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, classFlags) == 116 &&
              offsetof(PClassInfo2, subCategories) == 120 && offsetof(PClassInfo2, vendor) == 248 &&
              offsetof(PClassInfo2, version) == 312 && offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(sizeof(BusInfo) == 276);
static_assert(offsetof(BusInfo, channelCount) == 8 && offsetof(BusInfo, name) == 12 &&
              offsetof(BusInfo, busType) == 268 && offsetof(BusInfo, flags) == 272);
static_assert(sizeof(RoutingInfo) == 12);
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, maxSamplesPerBlock) == 8 &&
              offsetof(ProcessSetup, sampleRate) == 16);
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, silenceFlags) == 8 &&
              offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(sizeof(ProcessData) == 80);
static_assert(offsetof(ProcessData, numSamples) == 8 && offsetof(ProcessData, numOutputs) == 16 &&
              offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, outputs) == 32 &&
              offsetof(ProcessData, inputParameterChanges) == 40 &&
              offsetof(ProcessData, outputParameterChanges) == 48 &&
              offsetof(ProcessData, inputEvents) == 56 &&
              offsetof(ProcessData, outputEvents) == 64 &&
              offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, title) == 4 && offsetof(ParameterInfo, shortTitle) == 260 &&
              offsetof(ParameterInfo, units) == 516 && offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(ViewRect) == 16);
// One virtual table pointer per interface object: the host calls through it alone.
static_assert(sizeof(IAudioProcessor) == sizeof(void*) && sizeof(IPlugView) == sizeof(void*));

} // namespace Vst3
