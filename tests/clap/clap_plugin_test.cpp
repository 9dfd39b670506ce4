// The CLAP plug-in through its interface only, as a host calls it: the entry and factory, the
// parameters and their events, the user's gestures, state, the editor's needs from the host, and
// what a careless or hostile host may do.
#include "formats/clap/clap.h"
#include "formats/clap/clapplugin.h"
#include "formats/shared/effecthost.h"
#include "platform_fake/fakeplatform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

extern "C" const clap_plugin_entry_t clap_entry;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A host whose extensions can be left out, recording what the plug-in asks of it.
struct SHost {
    explicit SHost(bool withRunLoop = true) : runLoop(withRunLoop) {
        host.clap_version = kClapVersion;
        host.host_data = this;
        host.name = "test";
        host.vendor = "";
        host.url = "";
        host.version = "1";
        host.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
            auto* self = static_cast<SHost*>(h->host_data);
            if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) {
                return &self->params;
            }
            if (self->runLoop && std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) {
                return &self->timer;
            }
            if (self->runLoop && std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) {
                return &self->fd;
            }
            return nullptr;
        };
        host.request_restart = [](const clap_host_t*) {};
        host.request_process = [](const clap_host_t*) {};
        host.request_callback = [](const clap_host_t*) {};
        params.rescan = [](const clap_host_t* h, clap_param_rescan_flags) {
            ++static_cast<SHost*>(h->host_data)->rescans;
        };
        params.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
        params.request_flush = [](const clap_host_t* h) {
            ++static_cast<SHost*>(h->host_data)->flushRequests;
        };
        timer.register_timer = [](const clap_host_t* h, std::uint32_t period, clap_id* id) {
            auto* self = static_cast<SHost*>(h->host_data);
            self->timerPeriod = period;
            *id = 7;
            ++self->timers;
            return true;
        };
        timer.unregister_timer = [](const clap_host_t* h, clap_id id) {
            --static_cast<SHost*>(h->host_data)->timers;
            return id == 7;
        };
        fd.register_fd = [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; };
        fd.modify_fd = [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; };
        fd.unregister_fd = [](const clap_host_t*, int) { return true; };
    }
    clap_host_t host{};
    clap_host_params_t params{};
    clap_host_timer_support_t timer{};
    clap_host_posix_fd_support_t fd{};
    bool runLoop;
    int rescans = 0;
    int flushRequests = 0;
    int timers = 0;
    std::uint32_t timerPeriod = 0;
};

// Event lists as a host builds them.
struct SInputs {
    std::vector<clap_event_param_value_t> events;
    clap_input_events_t list{this, &Size, &Get};
    void Value(clap_id id, double value) {
        clap_event_param_value_t e{};
        e.header.size = sizeof e;
        e.header.type = CLAP_EVENT_PARAM_VALUE;
        e.param_id = id;
        e.value = value;
        events.push_back(e);
    }
    static std::uint32_t VLM_CLAP_ABI Size(const clap_input_events_t* l) {
        return static_cast<std::uint32_t>(static_cast<SInputs*>(l->ctx)->events.size());
    }
    static const clap_event_header_t* VLM_CLAP_ABI Get(const clap_input_events_t* l,
                                                       std::uint32_t i) {
        return &static_cast<SInputs*>(l->ctx)->events[i].header;
    }
};

struct SOutputs {
    std::vector<std::string> seen;
    clap_output_events_t list{this, &Push};
    static bool VLM_CLAP_ABI Push(const clap_output_events_t* l, const clap_event_header_t* e) {
        auto* self = static_cast<SOutputs*>(l->ctx);
        const auto* gesture = reinterpret_cast<const clap_event_param_gesture_t*>(e);
        if (e->type == CLAP_EVENT_PARAM_VALUE) {
            const auto* v = reinterpret_cast<const clap_event_param_value_t*>(e);
            char text[64];
            std::snprintf(text, sizeof text, "value %u %g", v->param_id, v->value);
            self->seen.push_back(text);
        } else if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN) {
            self->seen.push_back("begin " + std::to_string(gesture->param_id));
        } else if (e->type == CLAP_EVENT_PARAM_GESTURE_END) {
            self->seen.push_back("end " + std::to_string(gesture->param_id));
        }
        return true;
    }
};

class ClapPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        VLM::Fake::Reset();
        ASSERT_TRUE(clap_entry.init("/somewhere/VLMTarvix.clap"));
        factory = static_cast<const clap_plugin_factory_t*>(
            clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override {
        for (const clap_plugin_t* p : made) {
            p->destroy(p);
        }
        clap_entry.deinit();
    }
    const clap_plugin_t* Make(SHost& host, bool init = true) {
        const clap_plugin_t* p = factory->create_plugin(factory, &host.host, VLM::Clap::kPluginId);
        EXPECT_NE(p, nullptr);
        if (p != nullptr) {
            made.push_back(p);
            if (init) {
                EXPECT_TRUE(p->init(p));
            }
        }
        return p;
    }
    template <typename T> static const T* Ext(const clap_plugin_t* p, const char* id) {
        return static_cast<const T*>(p->get_extension(p, id));
    }
    static double Value(const clap_plugin_t* p, clap_id id) {
        double v = kNaN;
        EXPECT_TRUE(Ext<clap_plugin_params_t>(p, CLAP_EXT_PARAMS)->get_value(p, id, &v));
        return v;
    }
    static std::vector<float> Render(const clap_plugin_t* p, SInputs* events) {
        std::vector<float> left(256), right(256);
        for (std::size_t i = 0; i < left.size(); ++i) {
            left[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
            right[i] = static_cast<float>(std::cos(0.3 * static_cast<double>(i)));
        }
        float* channels[2] = {left.data(), right.data()};
        clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
        SOutputs out;
        clap_process_t process{};
        process.frames_count = 256;
        process.audio_inputs = &buffer;
        process.audio_outputs = &buffer; // in place
        process.audio_inputs_count = 1;
        process.audio_outputs_count = 1;
        SInputs none;
        process.in_events = events != nullptr ? &events->list : &none.list;
        process.out_events = &out.list;
        EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_CONTINUE);
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }

    const clap_plugin_factory_t* factory = nullptr;
    std::vector<const clap_plugin_t*> made;
};

TEST_F(ClapPlugin, FactoryDescribesOneStereoEqualiser) {
    ASSERT_EQ(factory->get_plugin_count(factory), 1u);
    const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
    EXPECT_STREQ(d->id, "com.velmora.tarvix");
    EXPECT_STREQ(d->name, "VLM Tarvix");
    EXPECT_STREQ(d->vendor, "Velmora");
    EXPECT_STREQ(d->version, "1.0.0");
    std::vector<std::string> features;
    for (const char* const* f = d->features; *f != nullptr; ++f) {
        features.emplace_back(*f);
    }
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "equalizer", "stereo"}));
    EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
    SHost host;
    EXPECT_EQ(factory->create_plugin(factory, &host.host, "com.other.plugin"), nullptr);
    EXPECT_EQ(factory->create_plugin(factory, nullptr, VLM::Clap::kPluginId), nullptr);
    EXPECT_EQ(clap_entry.get_factory("clap.other-factory"), nullptr);

    const clap_plugin_t* p = Make(host);
    const auto* ports = Ext<clap_plugin_audio_ports_t>(p, CLAP_EXT_AUDIO_PORTS);
    clap_audio_port_info_t info{};
    for (const bool input : {true, false}) {
        ASSERT_EQ(ports->count(p, input), 1u);
        ASSERT_TRUE(ports->get(p, 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(info.flags & CLAP_AUDIO_PORT_IS_MAIN, CLAP_AUDIO_PORT_IS_MAIN);
        EXPECT_EQ(info.in_place_pair, 0u);
        EXPECT_FALSE(ports->get(p, 1, input, &info));
    }
    EXPECT_EQ(Ext<clap_plugin_latency_t>(p, CLAP_EXT_LATENCY)->get(p), 0u);
}

TEST_F(ClapPlugin, BandsAreDecibelsOnTheVst2LawAndTheInSwitchIsTheBypass) {
    SHost host;
    const clap_plugin_t* p = Make(host);
    const auto* params = Ext<clap_plugin_params_t>(p, CLAP_EXT_PARAMS);
    ASSERT_EQ(params->count(p), 11u);
    clap_param_info_t info{};
    ASSERT_TRUE(params->get_info(p, 2, &info));
    EXPECT_EQ(info.id, 2u);
    EXPECT_STREQ(info.name, "125 Hz");
    EXPECT_EQ(info.min_value, -12.0);
    EXPECT_EQ(info.max_value, 12.0);
    EXPECT_EQ(info.default_value, 0.0);
    EXPECT_EQ(info.flags, static_cast<clap_param_info_flags>(CLAP_PARAM_IS_AUTOMATABLE));
    ASSERT_TRUE(params->get_info(p, 10, &info));
    EXPECT_EQ(info.flags,
              static_cast<clap_param_info_flags>(CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS |
                                                 CLAP_PARAM_IS_AUTOMATABLE));
    EXPECT_EQ(info.max_value, 1.0);
    EXPECT_FALSE(params->get_info(p, 11, &info));

    char text[32];
    ASSERT_TRUE(params->value_to_text(p, 2, 6.0, text, sizeof text));
    EXPECT_STREQ(text, "+6.0 dB");
    ASSERT_TRUE(params->value_to_text(p, 2, -3.5, text, 5)); // cut to the host's buffer
    EXPECT_STREQ(text, "-3.5");
    ASSERT_TRUE(params->value_to_text(p, 10, 1.0, text, sizeof text));
    EXPECT_STREQ(text, "Out");
    double value = kNaN;
    ASSERT_TRUE(params->text_to_value(p, 4, "+6.0 dB", &value));
    EXPECT_EQ(value, 6.0);
    ASSERT_TRUE(params->text_to_value(p, 10, "out", &value));
    EXPECT_EQ(value, 1.0);
    EXPECT_FALSE(params->text_to_value(p, 4, "loud", &value));
    EXPECT_FALSE(params->text_to_value(p, 99, "1", &value));
    EXPECT_FALSE(params->value_to_text(p, 3, kNaN, text, sizeof text));
    EXPECT_FALSE(params->value_to_text(p, 99, 0.0, text, sizeof text));
    EXPECT_FALSE(params->get_value(p, 11, &value));

    // Values the host sends: applied (clamped), the IN switch as bypass; nothing comes back.
    SInputs in;
    in.Value(2, 6.0);
    in.Value(3, 40.0);
    in.Value(10, 1.0);
    in.Value(4, kNaN);
    in.Value(5, std::numeric_limits<double>::infinity());
    in.Value(77, 1.0);
    SOutputs out;
    params->flush(p, &in.list, &out.list);
    EXPECT_EQ(Value(p, 2), 6.0);
    EXPECT_EQ(Value(p, 3), 12.0);
    EXPECT_EQ(Value(p, 10), 1.0);
    EXPECT_EQ(Value(p, 4), 0.0);
    EXPECT_EQ(Value(p, 5), 0.0);
    EXPECT_TRUE(out.seen.empty());
}

TEST_F(ClapPlugin, EventsInABlockSoundAsTheVst2SettingDoes) {
    SHost host;
    const clap_plugin_t* p = Make(host);
    ASSERT_TRUE(p->activate(p, 48000.0, 1, 256));
    ASSERT_TRUE(p->start_processing(p));
    SInputs in;
    in.Value(1, 6.0);
    in.Value(7, -4.5);
    const std::vector<float> viaClap = Render(p, &in);
    EXPECT_EQ(Value(p, 7), -4.5);

    auto reference = VLM::CEffectHost::Create();
    reference->SetSampleRate(48000.0);
    reference->SetMaxBlockSize(256);
    reference->SetActive(true);
    reference->SetParameter(1, 0.75f);
    reference->SetParameter(7, 0.3125f); // -4.5 dB
    std::vector<float> left(256), right(256);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
        right[i] = static_cast<float>(std::cos(0.3 * static_cast<double>(i)));
    }
    float* io[2] = {left.data(), right.data()};
    reference->Process(io, io, 256);
    left.insert(left.end(), right.begin(), right.end());
    EXPECT_EQ(std::memcmp(viaClap.data(), left.data(), left.size() * sizeof(float)), 0)
        << "the CLAP block differs from the effect's own";
}

TEST_F(ClapPlugin, UserEditsReachTheHostAsOneGesture) {
    SHost host;
    const clap_plugin_t* p = Make(host);
    auto* plugin = static_cast<VLM::Clap::CPlugin*>(p->plugin_data);
    // The editor's relay, as a drag of fader 3 and a click on the IN switch report it.
    plugin->EditBegun(3);
    plugin->Edited(3, 0.625f);
    plugin->Edited(3, 0.75f);
    plugin->EditEnded(3);
    plugin->EditBegun(10);
    plugin->Edited(10, 0.0f);
    plugin->EditEnded(10);
    EXPECT_GE(host.flushRequests, 1);

    SOutputs out;
    Ext<clap_plugin_params_t>(p, CLAP_EXT_PARAMS)->flush(p, nullptr, &out.list);
    EXPECT_EQ(out.seen, (std::vector<std::string>{"begin 3", "value 3 3", "value 3 6", "end 3",
                                                  "begin 10", "value 10 1", "end 10"}));
    // Delivered once: the next block has nothing more to tell.
    ASSERT_TRUE(p->activate(p, 44100.0, 1, 256));
    SOutputs again;
    std::vector<float> silent(16);
    float* channels[2] = {silent.data(), silent.data()};
    clap_audio_buffer_t buffer{channels, nullptr, 2, 0, 0};
    clap_process_t process{};
    process.frames_count = 16;
    process.audio_inputs = &buffer;
    process.audio_outputs = &buffer;
    process.audio_inputs_count = 1;
    process.audio_outputs_count = 1;
    process.out_events = &again.list;
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_CONTINUE);
    EXPECT_TRUE(again.seen.empty());
}

// A stream over a byte vector that hands out or takes at most `piece` bytes per call.
struct SStream {
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    std::size_t piece = 3;
    bool failRead = false;
    clap_istream_t in{this, &Read};
    clap_ostream_t out{this, &Write};
    static std::int64_t VLM_CLAP_ABI Read(const clap_istream_t* s, void* buffer,
                                          std::uint64_t size) {
        auto* self = static_cast<SStream*>(s->ctx);
        if (self->failRead) {
            return -1;
        }
        const std::size_t n = std::min<std::size_t>(
            {static_cast<std::size_t>(size), self->piece, self->bytes.size() - self->at});
        if (n > 0) {
            std::memcpy(buffer, self->bytes.data() + self->at, n);
        }
        self->at += n;
        return static_cast<std::int64_t>(n);
    }
    static std::int64_t VLM_CLAP_ABI Write(const clap_ostream_t* s, const void* buffer,
                                           std::uint64_t size) {
        auto* self = static_cast<SStream*>(s->ctx);
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size), self->piece);
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        self->bytes.insert(self->bytes.end(), b, b + n);
        return static_cast<std::int64_t>(n);
    }
};

TEST_F(ClapPlugin, StateRoundTripsInPiecesAndDamagedStateChangesNothing) {
    SHost host;
    const clap_plugin_t* a = Make(host);
    SInputs in;
    in.Value(0, -7.5);
    in.Value(10, 1.0);
    Ext<clap_plugin_params_t>(a, CLAP_EXT_PARAMS)->flush(a, &in.list, nullptr);
    SStream saved;
    const auto* state = Ext<clap_plugin_state_t>(a, CLAP_EXT_STATE);
    ASSERT_TRUE(state->save(a, &saved.out));

    SHost otherHost;
    const clap_plugin_t* b = Make(otherHost);
    ASSERT_TRUE(state->load(b, &saved.in));
    EXPECT_EQ(Value(b, 0), -7.5);
    EXPECT_EQ(Value(b, 10), 1.0);
    EXPECT_EQ(otherHost.rescans, 1);

    const auto refused = [&](SStream& damaged, const char* what) {
        EXPECT_FALSE(state->load(b, &damaged.in)) << what;
        EXPECT_EQ(Value(b, 0), -7.5) << what;
        EXPECT_EQ(Value(b, 10), 1.0) << what;
    };
    SStream cut;
    cut.bytes.assign(saved.bytes.begin(), saved.bytes.end() - 3);
    refused(cut, "cut short");
    SStream nan;
    nan.bytes = saved.bytes;
    const float notANumber = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(nan.bytes.data() + 4, &notANumber, 4);
    refused(nan, "a value that is no number");
    SStream endless;
    endless.bytes.assign(1 << 20, 0);
    endless.piece = 4096;
    refused(endless, "longer than any state");
    SStream failing;
    failing.bytes = saved.bytes;
    failing.failRead = true;
    refused(failing, "a read error");
    SStream empty;
    refused(empty, "empty");
    EXPECT_FALSE(state->load(b, nullptr));
    EXPECT_FALSE(state->save(b, nullptr));
    EXPECT_EQ(otherHost.rescans, 1);
}

TEST_F(ClapPlugin, EditorNeedsTheHostsRunLoopOnLinuxAndNeverFloats) {
    SHost bare(false);
    const clap_plugin_t* p = Make(bare);
    const auto* gui = Ext<clap_plugin_gui_t>(p, CLAP_EXT_GUI);
    EXPECT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
    EXPECT_FALSE(gui->create(p, CLAP_WINDOW_API_X11, false)); // no timer, no descriptor watch
    clap_window_t window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = 0x400001;
    EXPECT_FALSE(gui->set_parent(p, &window));

    SHost host;
    const clap_plugin_t* q = Make(host);
    EXPECT_FALSE(gui->create(q, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->set_parent(q, &window)); // before create
    ASSERT_TRUE(gui->create(q, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->create(q, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->set_scale(q, 3.0));
    EXPECT_FALSE(gui->set_scale(q, kNaN));
    std::uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    ASSERT_TRUE(gui->get_size(q, &w1, &h1));
    ASSERT_TRUE(gui->set_scale(q, 2.0));
    ASSERT_TRUE(gui->get_size(q, &w2, &h2));
    EXPECT_EQ(w2, 2 * w1);
    EXPECT_EQ(h2, 2 * h1);
    EXPECT_FALSE(gui->can_resize(q));
    EXPECT_FALSE(gui->set_size(q, w2 + 1, h2));
    ASSERT_TRUE(gui->set_parent(q, &window));
    EXPECT_EQ(host.timers, 1);
    EXPECT_EQ(host.timerPeriod, 20u);
    Ext<clap_plugin_timer_support_t>(q, CLAP_EXT_TIMER_SUPPORT)->on_timer(q, 7);
    Ext<clap_plugin_timer_support_t>(q, CLAP_EXT_TIMER_SUPPORT)->on_timer(q, 99);
    EXPECT_FALSE(gui->set_parent(q, &window)); // already open
    gui->destroy(q);
    EXPECT_EQ(host.timers, 0);
    gui->destroy(q); // twice
}

TEST_F(ClapPlugin, CallsOutOfOrderAreRefusedWithoutHarm) {
    SHost host;
    const clap_plugin_t* p = Make(host, false);
    // Before init: no effect yet.
    EXPECT_FALSE(p->activate(p, 44100.0, 1, 512));
    EXPECT_FALSE(p->start_processing(p));
    clap_process_t process{};
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_ERROR);
    double value = 0.0;
    EXPECT_FALSE(Ext<clap_plugin_params_t>(p, CLAP_EXT_PARAMS)->get_value(p, 0, &value));
    SStream stream;
    EXPECT_FALSE(Ext<clap_plugin_state_t>(p, CLAP_EXT_STATE)->save(p, &stream.out));
    EXPECT_FALSE(Ext<clap_plugin_gui_t>(p, CLAP_EXT_GUI)->create(p, CLAP_WINDOW_API_X11, false));
    EXPECT_EQ(p->get_extension(p, "clap.no-such-thing"), nullptr);
    EXPECT_EQ(p->get_extension(p, nullptr), nullptr);

    ASSERT_TRUE(p->init(p));
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_ERROR); // not active
    EXPECT_FALSE(p->activate(p, kNaN, 1, 512));
    EXPECT_FALSE(p->activate(p, 44100.0, 1, 0));
    ASSERT_TRUE(p->activate(p, 44100.0, 1, 64));
    EXPECT_FALSE(p->activate(p, 44100.0, 1, 64));
    // No buffers, a mono buffer, a 64-bit-only buffer: an error, nothing touched.
    process.frames_count = 64;
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_ERROR);
    std::vector<float> samples(64);
    float* mono[1] = {samples.data()};
    clap_audio_buffer_t one{mono, nullptr, 1, 0, 0};
    process.audio_inputs = &one;
    process.audio_outputs = &one;
    process.audio_inputs_count = 1;
    process.audio_outputs_count = 1;
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_ERROR);
    clap_audio_buffer_t wide{nullptr, nullptr, 2, 0, 0};
    process.audio_inputs = &wide;
    process.audio_outputs = &wide;
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_ERROR);
    // More frames than announced: served in announced blocks.
    std::vector<float> left(200, 0.25f), right(200, -0.25f);
    float* channels[2] = {left.data(), right.data()};
    clap_audio_buffer_t stereo{channels, nullptr, 2, 0, 0};
    process.audio_inputs = &stereo;
    process.audio_outputs = &stereo;
    process.frames_count = 200;
    EXPECT_EQ(p->process(p, &process), CLAP_PROCESS_CONTINUE);
    for (const float v : left) {
        EXPECT_TRUE(std::isfinite(v));
    }
    p->stop_processing(p);
    p->deactivate(p);
    p->deactivate(p);
    p->reset(p);
}

} // namespace
