// The VST3 component as a host meets it: through the factory and the interfaces only, with
// the calls a host makes, in and out of order, with bad arguments and damaged state.
#include "formats/vst3/vst3effect.h"
#include "formats/vst3/vst3entry.h"
#include "platform_fake/fakeplatform.h"
#include "vst3/vst3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace Vst3;

constexpr Uid kOurClass = MakeUid(0x5E1C7A93, 0x0B2D4F68, 0x9A47C3E1, 0x6D28F05B);

std::string Narrow(const char16* text) {
    std::string out;
    for (; *text != 0; ++text) {
        out += static_cast<char>(*text);
    }
    return out;
}

void Widen(const char* text, char16* out) {
    for (; *text != 0; ++text) {
        *out++ = static_cast<char16>(*text);
    }
    *out = 0;
}

// A stream over bytes in memory, as hosts hand them.
class Stream final : public IBStream {
public:
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;

    tresult VLM_VST3CALL queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    tresult VLM_VST3CALL read(void* buffer, int32 n, int32* got) override {
        const std::size_t count =
            std::min<std::size_t>(static_cast<std::size_t>(n), bytes.size() - at);
        if (count > 0) {
            std::memcpy(buffer, bytes.data() + at, count);
        }
        at += count;
        *got = static_cast<int32>(count);
        return kResultOk;
    }
    tresult VLM_VST3CALL write(void* buffer, int32 n, int32* put) override {
        const auto* in = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), in, in + n);
        *put = n;
        return kResultOk;
    }
    tresult VLM_VST3CALL seek(int64, int32, int64*) override { return kNotImplemented; }
    tresult VLM_VST3CALL tell(int64* pos) override {
        *pos = static_cast<int64>(at);
        return kResultOk;
    }
};

// One queue of points for one parameter, and a block's set of them.
class Queue final : public IParamValueQueue {
public:
    ParamID id = 0;
    std::vector<std::pair<int32, ParamValue>> points;
    tresult VLM_VST3CALL queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    ParamID VLM_VST3CALL getParameterId() override { return id; }
    int32 VLM_VST3CALL getPointCount() override { return static_cast<int32>(points.size()); }
    tresult VLM_VST3CALL getPoint(int32 i, int32& offset, ParamValue& value) override {
        offset = points[static_cast<std::size_t>(i)].first;
        value = points[static_cast<std::size_t>(i)].second;
        return kResultOk;
    }
    tresult VLM_VST3CALL addPoint(int32, ParamValue, int32&) override { return kResultFalse; }
};

class Changes final : public IParameterChanges {
public:
    std::vector<Queue> queues;
    tresult VLM_VST3CALL queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 VLM_VST3CALL addRef() override { return 1; }
    uint32 VLM_VST3CALL release() override { return 1; }
    int32 VLM_VST3CALL getParameterCount() override { return static_cast<int32>(queues.size()); }
    IParamValueQueue* VLM_VST3CALL getParameterData(int32 i) override {
        return &queues[static_cast<std::size_t>(i)];
    }
    IParamValueQueue* VLM_VST3CALL addParameterData(const ParamID&, int32&) override {
        return nullptr;
    }
};

class Handler final : public IComponentHandler {
public:
    std::vector<std::string> events;
    tresult VLM_VST3CALL queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 VLM_VST3CALL addRef() override { return ++references; }
    uint32 VLM_VST3CALL release() override { return --references; }
    tresult VLM_VST3CALL beginEdit(ParamID id) override {
        events.push_back("begin " + std::to_string(id));
        return kResultOk;
    }
    tresult VLM_VST3CALL performEdit(ParamID id, ParamValue value) override {
        events.push_back("value " + std::to_string(id) + " " + std::to_string(value));
        return kResultOk;
    }
    tresult VLM_VST3CALL endEdit(ParamID id) override {
        events.push_back("end " + std::to_string(id));
        return kResultOk;
    }
    tresult VLM_VST3CALL restartComponent(int32) override { return kResultOk; }
    uint32 references = 0;
};

// A Linux host's frame with its run loop: records what the view registers and resizes.
class Frame final : public IPlugFrame, public IRunLoop {
public:
    std::vector<std::string> events;
    tresult VLM_VST3CALL queryInterface(const TUID iid, void** obj) override {
        if (SameUid(iid, kIRunLoopIid) && withRunLoop) {
            *obj = static_cast<IRunLoop*>(this);
            addRef();
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 VLM_VST3CALL addRef() override { return ++references; }
    uint32 VLM_VST3CALL release() override { return --references; }
    tresult VLM_VST3CALL resizeView(IPlugView*, ViewRect* r) override {
        events.push_back("resize " + std::to_string(r->right - r->left) + "x" +
                         std::to_string(r->bottom - r->top));
        return kResultOk;
    }
    tresult VLM_VST3CALL registerEventHandler(IEventHandler*, FileDescriptor fd) override {
        events.push_back("fd " + std::to_string(fd));
        return kResultOk;
    }
    tresult VLM_VST3CALL unregisterEventHandler(IEventHandler*) override {
        events.push_back("fd off");
        return kResultOk;
    }
    tresult VLM_VST3CALL registerTimer(ITimerHandler* handler, TimerInterval ms) override {
        timer = handler;
        events.push_back("timer " + std::to_string(ms));
        return kResultOk;
    }
    tresult VLM_VST3CALL unregisterTimer(ITimerHandler*) override {
        timer = nullptr;
        events.push_back("timer off");
        return kResultOk;
    }
    bool withRunLoop = true;
    uint32 references = 0;
    ITimerHandler* timer = nullptr;
};

class Vst3Component : public ::testing::Test {
protected:
    void SetUp() override {
        VLM::Fake::Reset();
        factory = GetPluginFactory();
        ASSERT_NE(factory, nullptr);
        void* obj = nullptr;
        ASSERT_EQ(factory->createInstance(kOurClass.bytes, kIComponentIid.bytes, &obj), kResultOk);
        component = static_cast<IComponent*>(obj);
        ASSERT_EQ(component->initialize(nullptr), kResultOk);
        ASSERT_EQ(component->queryInterface(kIAudioProcessorIid.bytes, &obj), kResultOk);
        processor = static_cast<IAudioProcessor*>(obj);
        ASSERT_EQ(component->queryInterface(kIEditControllerIid.bytes, &obj), kResultOk);
        controller = static_cast<IEditController*>(obj);
    }
    void TearDown() override {
        if (component != nullptr) {
            controller->release();
            processor->release();
            component->terminate();
            EXPECT_EQ(component->release(), 0u) << "the component outlived its last reference";
        }
    }

    void Activate(int32 block = 64) {
        ProcessSetup setup{kRealtime, kSample32, block, 48000.0};
        ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
        ASSERT_EQ(component->setActive(1), kResultOk);
        ASSERT_EQ(processor->setProcessing(1), kResultOk);
    }

    // Processes one block of `frames` from `in` (stereo, the same signal on both sides).
    tresult Process(std::vector<float>& left, std::vector<float>& right, std::vector<float>& outL,
                    std::vector<float>& outR, IParameterChanges* changes = nullptr) {
        float* ins[2] = {left.data(), right.data()};
        float* outs[2] = {outL.data(), outR.data()};
        AudioBusBuffers in{};
        in.numChannels = 2;
        in.channelBuffers32 = ins;
        AudioBusBuffers out{};
        out.numChannels = 2;
        out.channelBuffers32 = outs;
        ProcessData data{};
        data.symbolicSampleSize = kSample32;
        data.numSamples = static_cast<int32>(left.size());
        data.numInputs = 1;
        data.numOutputs = 1;
        data.inputs = &in;
        data.outputs = &out;
        data.inputParameterChanges = changes;
        return processor->process(data);
    }

    static std::vector<float> Noise(std::size_t n, unsigned seed) {
        std::vector<float> v(n);
        for (auto& x : v) {
            seed = seed * 1664525u + 1013904223u;
            x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        }
        return v;
    }

    std::vector<std::uint8_t> State() {
        Stream s;
        EXPECT_EQ(component->getState(&s), kResultOk);
        return s.bytes;
    }

    IPluginFactory* factory = nullptr;
    IComponent* component = nullptr;
    IAudioProcessor* processor = nullptr;
    IEditController* controller = nullptr;
};

TEST(Vst3Factory, AnnouncesOneEqualiserClassAndMakesNothingElse) {
    VLM::Fake::Reset();
    IPluginFactory* factory = GetPluginFactory();
    PFactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Velmora");
    ASSERT_EQ(factory->countClasses(), 1);
    void* obj = nullptr;
    ASSERT_EQ(factory->queryInterface(kIPluginFactory2Iid.bytes, &obj), kResultOk);
    auto* factory2 = static_cast<IPluginFactory2*>(obj);
    PClassInfo2 cls{};
    ASSERT_EQ(factory2->getClassInfo2(0, &cls), kResultOk);
    factory2->release();
    EXPECT_TRUE(SameUid(cls.cid, kOurClass));
    EXPECT_STREQ(cls.category, "Audio Module Class");
    EXPECT_STREQ(cls.name, "VLM Tarvix");
    EXPECT_STREQ(cls.subCategories, "Fx|EQ");
    EXPECT_STREQ(cls.vendor, "Velmora");
    EXPECT_STREQ(cls.version, "1.0.0");

    EXPECT_EQ(factory->getClassInfo(1, reinterpret_cast<PClassInfo*>(&cls)), kInvalidArgument);
    EXPECT_EQ(factory->getClassInfo(0, nullptr), kInvalidArgument);
    const Uid other = MakeUid(1, 2, 3, 4);
    obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->createInstance(other.bytes, kIComponentIid.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(factory->createInstance(kOurClass.bytes, other.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(factory->createInstance(kOurClass.bytes, kIComponentIid.bytes, nullptr),
              kInvalidArgument);
    EXPECT_EQ(factory->createInstance(nullptr, kIComponentIid.bytes, &obj), kNoInterface);
}

TEST_F(Vst3Component, InterfacesAreOneObjectCountedOnce) {
    void* obj = nullptr;
    ASSERT_EQ(processor->queryInterface(kIComponentIid.bytes, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(component));
    ASSERT_EQ(controller->queryInterface(kFUnknownIid.bytes, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(component));
    // Three references of the fixture and the two just taken.
    EXPECT_EQ(component->addRef(), 6u);
    EXPECT_EQ(component->release(), 5u);
    component->release();
    component->release();
    obj = reinterpret_cast<void*>(1);
    EXPECT_EQ(component->queryInterface(kIPlugViewIid.bytes, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_EQ(component->queryInterface(kIComponentIid.bytes, nullptr), kInvalidArgument);
    TUID controllerClass = {};
    EXPECT_EQ(component->getControllerClassId(controllerClass), kResultFalse);
}

TEST_F(Vst3Component, HasOneStereoBusEachWayAndRefusesAnyOtherLayout) {
    EXPECT_EQ(component->getBusCount(kAudio, kInput), 1);
    EXPECT_EQ(component->getBusCount(kAudio, kOutput), 1);
    EXPECT_EQ(component->getBusCount(kEvent, kInput), 0);
    EXPECT_EQ(component->getBusCount(7, kInput), 0);
    BusInfo bus{};
    ASSERT_EQ(component->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(bus.channelCount, 2);
    EXPECT_EQ(bus.busType, kMain);
    EXPECT_EQ(bus.direction, kOutput);
    EXPECT_EQ(component->getBusInfo(kAudio, kOutput, 1, bus), kInvalidArgument);
    EXPECT_EQ(component->getBusInfo(kEvent, kInput, 0, bus), kInvalidArgument);
    EXPECT_EQ(component->getBusInfo(kAudio, 5, 0, bus), kInvalidArgument);
    EXPECT_EQ(component->activateBus(kAudio, kInput, 3, 1), kInvalidArgument);

    SpeakerArrangement stereo[2] = {kStereo, kStereo};
    SpeakerArrangement mono = kSpeakerL;
    EXPECT_EQ(processor->setBusArrangements(stereo, 1, stereo + 1, 1), kResultTrue);
    EXPECT_EQ(processor->setBusArrangements(&mono, 1, stereo, 1), kResultFalse);
    EXPECT_EQ(processor->setBusArrangements(stereo, 1, &mono, 1), kResultFalse);
    EXPECT_EQ(processor->setBusArrangements(stereo, 2, stereo, 1), kResultFalse);
    EXPECT_EQ(processor->setBusArrangements(stereo, 0, stereo, 1), kResultFalse);
    EXPECT_EQ(processor->setBusArrangements(nullptr, 1, stereo, 1), kResultFalse);
    SpeakerArrangement arrangement = 0;
    ASSERT_EQ(processor->getBusArrangement(kInput, 0, arrangement), kResultOk);
    EXPECT_EQ(arrangement, kStereo);
    EXPECT_EQ(processor->getBusArrangement(kInput, 1, arrangement), kInvalidArgument);

    EXPECT_EQ(processor->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(processor->canProcessSampleSize(kSample64), kResultFalse);
    ProcessSetup doubles{kRealtime, kSample64, 64, 48000.0};
    EXPECT_EQ(processor->setupProcessing(doubles), kInvalidArgument);
    ProcessSetup badRate{kRealtime, kSample32, 64, std::nan("")};
    EXPECT_EQ(processor->setupProcessing(badRate), kInvalidArgument);
    // The bands' ring-out is announced as a tail, at the rate of the setup.
    ProcessSetup setup{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    EXPECT_EQ(processor->getTailSamples(), 12000u);
    EXPECT_EQ(processor->getLatencySamples(), 0u);
}

TEST_F(Vst3Component, ProcessesInPlaceAppliesChangesPerBlockAndRefusesBadCalls) {
    std::vector<float> left = Noise(64, 1), right = Noise(64, 2);
    std::vector<float> outL(64), outR(64);
    // Out of order: audio before activation, and setup or a new layout while active.
    EXPECT_EQ(Process(left, right, outL, outR), kNotInitialized);
    EXPECT_EQ(processor->setProcessing(1), kNotInitialized);
    Activate();
    ProcessSetup setup{kRealtime, kSample32, 64, 44100.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultFalse);
    SpeakerArrangement stereo[2] = {kStereo, kStereo};
    EXPECT_EQ(processor->setBusArrangements(stereo, 1, stereo + 1, 1), kResultFalse);

    // A zero-frame block carries changes only: the last point of each queue counts.
    Changes changes;
    changes.queues.resize(2);
    changes.queues[0].id = 2;
    changes.queues[0].points = {{0, 0.1}, {40, 0.9}};
    changes.queues[1].id = 77; // unknown: ignored
    changes.queues[1].points = {{0, 0.3}};
    std::vector<float> none;
    EXPECT_EQ(Process(none, none, none, none, &changes), kResultOk);
    EXPECT_FLOAT_EQ(static_cast<float>(controller->getParamNormalized(2)), 0.9f);

    std::vector<float> separateL(64), separateR(64);
    ASSERT_EQ(Process(left, right, separateL, separateR), kResultOk);
    EXPECT_NE(separateL, left) << "a boosted band must change the sound";

    // The same block again, in place, from a second instance with the same settings.
    void* obj = nullptr;
    ASSERT_EQ(factory->createInstance(kOurClass.bytes, kIAudioProcessorIid.bytes, &obj), kResultOk);
    auto* second = static_cast<IAudioProcessor*>(obj);
    ASSERT_EQ(second->queryInterface(kIEditControllerIid.bytes, &obj), kResultOk);
    auto* secondController = static_cast<IEditController*>(obj);
    ASSERT_EQ(second->queryInterface(kIComponentIid.bytes, &obj), kResultOk);
    auto* secondComponent = static_cast<IComponent*>(obj);
    secondController->setParamNormalized(2, 0.9);
    ProcessSetup same{kRealtime, kSample32, 64, 48000.0};
    ASSERT_EQ(second->setupProcessing(same), kResultOk);
    ASSERT_EQ(secondComponent->setActive(1), kResultOk);
    std::vector<float> inPlaceL = left, inPlaceR = right;
    float* io[2] = {inPlaceL.data(), inPlaceR.data()};
    AudioBusBuffers bus{};
    bus.numChannels = 2;
    bus.channelBuffers32 = io;
    AudioBusBuffers outBus = bus;
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numSamples = 64;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &bus;
    data.outputs = &outBus;
    ASSERT_EQ(second->process(data), kResultOk);
    EXPECT_EQ(inPlaceL, separateL);
    EXPECT_EQ(inPlaceR, separateR);

    // Bad blocks: wrong sample size, wrong channel count, missing buffers, negative length.
    data.symbolicSampleSize = kSample64;
    EXPECT_EQ(second->process(data), kInvalidArgument);
    data.symbolicSampleSize = kSample32;
    outBus.numChannels = 1;
    EXPECT_EQ(second->process(data), kInvalidArgument);
    outBus.numChannels = 2;
    bus.numChannels = 1;
    EXPECT_EQ(second->process(data), kInvalidArgument);
    bus.numChannels = 2;
    outBus.channelBuffers32 = nullptr;
    EXPECT_EQ(second->process(data), kInvalidArgument);
    data.numSamples = -5;
    EXPECT_EQ(second->process(data), kInvalidArgument);
    EXPECT_EQ(inPlaceL, separateL) << "a refused block must not touch the buffers";
    secondComponent->setActive(0);
    secondController->release();
    secondComponent->release();
    EXPECT_EQ(second->release(), 0u);

    // The bypass parameter is the IN switch out: the input passes bit for bit.
    EXPECT_EQ(controller->setParamNormalized(10, 1.0), kResultOk);
    ASSERT_EQ(Process(left, right, outL, outR), kResultOk);
    EXPECT_EQ(outL, left);
    EXPECT_EQ(outR, right);
    component->setActive(0);
}

TEST_F(Vst3Component, ParametersAreTheBandsInDecibelsAndTheBypass) {
    ASSERT_EQ(controller->getParameterCount(), 11);
    ParameterInfo info{};
    ASSERT_EQ(controller->getParameterInfo(0, info), kResultOk);
    EXPECT_EQ(info.id, 0u);
    EXPECT_EQ(Narrow(info.title), "31 Hz");
    EXPECT_EQ(Narrow(info.units), "dB");
    EXPECT_EQ(info.stepCount, 0);
    EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, 0.5);
    ASSERT_EQ(controller->getParameterInfo(10, info), kResultOk);
    EXPECT_EQ(info.id, 10u);
    EXPECT_EQ(info.stepCount, 1);
    EXPECT_NE(info.flags & ParameterInfo::kIsBypass, 0);
    EXPECT_EQ(controller->getParameterInfo(11, info), kInvalidArgument);
    EXPECT_EQ(controller->getParameterInfo(-1, info), kInvalidArgument);

    String128 text = {};
    ASSERT_EQ(controller->getParamStringByValue(5, 0.75, text), kResultOk);
    EXPECT_EQ(Narrow(text), "+6.0");
    EXPECT_EQ(controller->getParamStringByValue(11, 0.5, text), kInvalidArgument);
    EXPECT_EQ(controller->getParamStringByValue(5, std::nan(""), text), kInvalidArgument);
    ParamValue value = 0.0;
    Widen("-3 dB", text);
    ASSERT_EQ(controller->getParamValueByString(4, text, value), kResultOk);
    EXPECT_DOUBLE_EQ(controller->normalizedParamToPlain(4, value), -3.0);
    Widen("loud", text);
    EXPECT_EQ(controller->getParamValueByString(4, text, value), kResultFalse);
    EXPECT_EQ(controller->getParamValueByString(4, nullptr, value), kInvalidArgument);
    EXPECT_DOUBLE_EQ(controller->plainParamToNormalized(0, 12.0), 1.0);

    EXPECT_EQ(controller->setParamNormalized(11, 0.5), kInvalidArgument);
    EXPECT_EQ(controller->setParamNormalized(3, std::nan("")), kInvalidArgument);
    EXPECT_EQ(controller->setParamNormalized(3, 3.0), kResultOk); // clamped
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(3), 1.0);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(10), 0.0);
}

TEST_F(Vst3Component, StateRoundTripsAndDamagedOrForeignStreamsChangeNothing) {
    controller->setParamNormalized(1, 0.8);
    controller->setParamNormalized(10, 1.0);
    const std::vector<std::uint8_t> saved = State();
    ASSERT_GT(saved.size(), 8u);

    controller->setParamNormalized(1, 0.2);
    controller->setParamNormalized(10, 0.0);
    Stream in;
    in.bytes = saved;
    ASSERT_EQ(component->setState(&in), kResultOk);
    EXPECT_FLOAT_EQ(static_cast<float>(controller->getParamNormalized(1)), 0.8f);
    EXPECT_DOUBLE_EQ(controller->getParamNormalized(10), 1.0);
    EXPECT_EQ(State(), saved);
    in.at = 0;
    EXPECT_EQ(controller->setComponentState(&in), kResultOk);

    std::vector<std::vector<std::uint8_t>> damaged;
    damaged.emplace_back(saved.begin(), saved.end() - 5);   // cut short
    damaged.emplace_back(saved.begin(), saved.begin() + 6); // header cut
    damaged.push_back(saved);
    damaged.back()[0] = 'X'; // foreign tag
    damaged.push_back(saved);
    damaged.back()[4] = 0xFF; // length beyond the stream
    damaged.push_back(saved);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(damaged.back().data() + damaged.back().size() - 4, &nan, 4); // NaN value
    damaged.emplace_back();                                                  // empty
    controller->setParamNormalized(1, 0.3);
    const std::vector<std::uint8_t> before = State();
    for (const auto& bytes : damaged) {
        Stream bad;
        bad.bytes = bytes;
        EXPECT_EQ(component->setState(&bad), kResultFalse);
        bad.at = 0;
        EXPECT_EQ(controller->setComponentState(&bad), kResultFalse);
    }
    EXPECT_EQ(component->setState(nullptr), kResultFalse);
    EXPECT_EQ(component->getState(nullptr), kInvalidArgument);
    EXPECT_EQ(State(), before);
}

TEST_F(Vst3Component, UserEditsReachTheHostAndItsOwnChangesDoNot) {
    Handler handler;
    ASSERT_EQ(controller->setComponentHandler(&handler), kResultOk);
    EXPECT_EQ(handler.references, 1u);
    controller->setParamNormalized(4, 0.25); // the host's own change: no echo
    EXPECT_TRUE(handler.events.empty());

    // The editor moves the control as a drag would, through the effect's own record.
    auto* view = controller->createView("editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(controller->createView("editor"), nullptr) << "one editor per instance";
    EXPECT_EQ(controller->createView("other"), nullptr);
    EXPECT_EQ(controller->createView(nullptr), nullptr);
    EXPECT_EQ(view->isPlatformTypeSupported("X11EmbedWindowID"), kResultTrue);
    EXPECT_EQ(view->isPlatformTypeSupported("HWND"), kResultFalse);
    ViewRect size{};
    ASSERT_EQ(view->getSize(&size), kResultOk);
    EXPECT_EQ(size.right - size.left, 900);
    EXPECT_EQ(size.bottom - size.top, 258);

    // Without a run loop the editor could never draw: it is not opened.
    Frame frame;
    frame.withRunLoop = false;
    ASSERT_EQ(view->setFrame(&frame), kResultOk);
    auto* parent = reinterpret_cast<void*>(0x2A);
    EXPECT_EQ(view->attached(parent, "X11EmbedWindowID"), kResultFalse);
    frame.withRunLoop = true;
    EXPECT_EQ(view->attached(parent, "HWND"), kInvalidArgument);
    EXPECT_EQ(view->attached(nullptr, "X11EmbedWindowID"), kInvalidArgument);
    ASSERT_EQ(view->attached(parent, "X11EmbedWindowID"), kResultOk);
    ASSERT_NE(frame.timer, nullptr);
    EXPECT_EQ(frame.events, (std::vector<std::string>{"timer 20"}));

    // The user's edits, as the editor makes them through the effect's record: a band reaches
    // the host as it is, an IN switch click as the bypass (IN out is bypass on).
    auto* effect =
        static_cast<VLM::CVst3Effect*>(static_cast<VLM::CVst3ControllerShim*>(controller));
    AEffect* fx = effect->Host().Effect();
    fx->setParameter(fx, 2, 0.75f);
    fx->setParameter(fx, 10, 0.0f);
    frame.timer->onTimer(); // the tick notices the switch
    EXPECT_EQ(handler.events, (std::vector<std::string>{"value 2 0.750000", "begin 10",
                                                        "value 10 1.000000", "end 10"}));

    void* obj = nullptr;
    ASSERT_EQ(view->queryInterface(kIPlugViewContentScaleSupportIid.bytes, &obj), kResultOk);
    auto* scale = static_cast<IPlugViewContentScaleSupport*>(obj);
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultOk);
    EXPECT_EQ(frame.events.back(), "resize 1350x387");
    EXPECT_EQ(scale->setContentScaleFactor(9.0f), kResultOk); // kept within 1..2
    EXPECT_EQ(frame.events.back(), "resize 1800x516");
    scale->release();

    ASSERT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(frame.events.back(), "timer off");
    EXPECT_EQ(view->setFrame(nullptr), kResultOk);
    EXPECT_EQ(frame.references, 0u);
    EXPECT_EQ(view->release(), 0u);
    IPlugView* again = controller->createView("editor");
    ASSERT_NE(again, nullptr) << "a released view frees its place";
    EXPECT_EQ(again->release(), 0u);

    controller->setComponentHandler(nullptr);
    EXPECT_EQ(handler.references, 0u);
}

} // namespace
