// The LV2 bundle as a host meets it through lilv: its description, its sound against the
// effect hosted directly (as the VST2 host drives it), hostile port values and runs, its state
// saved and restored by the host, damaged state, and a UI refused without instance-access.
#include "formats/shared/bands.h"
#include "formats/shared/effecthost.h"
#include "platform_fake/fakeplatform.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUri = "https://velmora.example/plugins/tarvix";
constexpr int kBlock = 256;
constexpr std::uint32_t kEnabled = 10;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The host's URI map, as a session keeps it.
struct UridMap {
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &Map};
    LV2_URID_Unmap unmap{this, &Unmap};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
    const LV2_Feature* features[3] = {&mapFeature, &unmapFeature, nullptr};

    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto* self = static_cast<UridMap*>(handle);
        auto found = self->ids.find(uri);
        if (found != self->ids.end()) {
            return found->second;
        }
        self->uris.push_back(uri);
        return self->ids[uri] = static_cast<LV2_URID>(self->uris.size());
    }
    static const char* Unmap(LV2_URID_Unmap_Handle handle, LV2_URID id) {
        auto* self = static_cast<UridMap*>(handle);
        return id >= 1 && id <= self->uris.size() ? self->uris[id - 1].c_str() : nullptr;
    }
};

// A deterministic stereo test signal.
void Fill(std::vector<float>& left, std::vector<float>& right, int block) {
    for (int i = 0; i < kBlock; ++i) {
        const double t = block * kBlock + i;
        left[static_cast<std::size_t>(i)] =
            static_cast<float>(0.3 * std::sin(t * 0.01) + 0.2 * std::sin(t * 0.7));
        right[static_cast<std::size_t>(i)] =
            static_cast<float>(0.3 * std::sin(t * 0.05) + 0.1 * std::sin(t * 1.9));
    }
}

class World {
public:
    World() {
        world = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, VLM_LV2_BUNDLE "/");
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, kUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~World() {
        nodes.clear();
        lilv_world_free(world);
    }
    LilvNode* Uri(const char* text) { return nodes.emplace_back(lilv_new_uri(world, text)).get(); }

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;

private:
    struct Free {
        void operator()(LilvNode* node) const { lilv_node_free(node); }
    };
    std::vector<std::unique_ptr<LilvNode, Free>> nodes;
};

// One instance with its ports connected to buffers of its own.
class Instance {
public:
    Instance(World& world, double rate, const LV2_Feature* const* features) {
        instance = lilv_plugin_instantiate(world.plugin, rate, features);
        if (instance == nullptr) {
            return;
        }
        for (std::uint32_t p = 0; p < 10; ++p) {
            controls[p] = 0.0f;
        }
        controls[kEnabled] = 1.0f;
        for (std::uint32_t p = 0; p < 11; ++p) {
            lilv_instance_connect_port(instance, p, &controls[p]);
        }
        lilv_instance_connect_port(instance, 11, in[0].data());
        lilv_instance_connect_port(instance, 12, in[1].data());
        lilv_instance_connect_port(instance, 13, out[0].data());
        lilv_instance_connect_port(instance, 14, out[1].data());
    }
    ~Instance() {
        if (instance != nullptr) {
            if (active) {
                lilv_instance_deactivate(instance);
            }
            lilv_instance_free(instance);
        }
    }
    void Activate() {
        lilv_instance_activate(instance);
        active = true;
    }
    // Runs block `block` of the test signal and appends the output.
    void Run(int block, std::vector<float>& rendered, std::uint32_t frames = kBlock) {
        Fill(in[0], in[1], block);
        lilv_instance_run(instance, frames);
        for (std::uint32_t i = 0; i < frames; ++i) {
            rendered.push_back(out[0][i]);
            rendered.push_back(out[1][i]);
        }
    }
    const LV2_State_Interface* State() const {
        return static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    }

    LilvInstance* instance = nullptr;
    float controls[11] = {};
    std::vector<float> in[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
    std::vector<float> out[2] = {std::vector<float>(kBlock), std::vector<float>(kBlock)};
    bool active = false;
};

// The effect hosted directly, driven as a VST2 host drives it: the reference for the sound.
class Reference {
public:
    explicit Reference(double rate) {
        VLM::Fake::Reset();
        host = VLM::CEffectHost::Create();
        host->SetSampleRate(rate);
        host->SetMaxBlockSize(kBlock);
        host->SetActive(true);
    }
    void Run(int block, std::vector<float>& rendered) {
        std::vector<float> l(kBlock), r(kBlock);
        Fill(l, r, block);
        const float* ins[2] = {l.data(), r.data()};
        float* outs[2] = {l.data(), r.data()};
        host->Process(ins, outs, kBlock);
        for (int i = 0; i < kBlock; ++i) {
            rendered.push_back(l[static_cast<std::size_t>(i)]);
            rendered.push_back(r[static_cast<std::size_t>(i)]);
        }
    }
    std::unique_ptr<VLM::CEffectHost> host;
};

bool AllFinite(const std::vector<float>& samples) {
    for (const float s : samples) {
        if (!std::isfinite(s)) {
            return false;
        }
    }
    return true;
}

// Same bits, sample for sample (memcmp: NaN would compare unequal to itself anyway).
bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

class Lv2 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(world.plugin, nullptr) << "no plug-in " << kUri << " in " VLM_LV2_BUNDLE;
    }
    World world;
    UridMap urids;
};

TEST_F(Lv2, TheBundleDescribesTheBandsTheSwitchAndTheUi) {
    const LilvPlugin* p = world.plugin;
    ASSERT_EQ(lilv_plugin_get_num_ports(p), 15u);
    const char* symbols[10] = {"band_31hz", "band_63hz", "band_125hz", "band_250hz", "band_500hz",
                               "band_1khz", "band_2khz", "band_4khz",  "band_8khz",  "band_16khz"};
    LilvNode* unit = world.Uri(LV2_UNITS__unit);
    LilvNode* db = world.Uri(LV2_UNITS__db);
    for (std::uint32_t i = 0; i < 10; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), symbols[i]);
        LilvNode* name = lilv_port_get_name(p, port);
        EXPECT_EQ(lilv_node_as_string(name), VLM::Bands::Name(static_cast<int>(i)));
        lilv_node_free(name);
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range(p, port, &def, &min, &max);
        EXPECT_EQ(lilv_node_as_float(def), VLM::Bands::kDefaultDb);
        EXPECT_EQ(lilv_node_as_float(min), VLM::Bands::kMinDb);
        EXPECT_EQ(lilv_node_as_float(max), VLM::Bands::kMaxDb);
        lilv_node_free(def);
        lilv_node_free(min);
        lilv_node_free(max);
        LilvNodes* units = lilv_port_get_value(p, port, unit);
        EXPECT_TRUE(units != nullptr && lilv_nodes_contains(units, db)) << symbols[i];
        lilv_nodes_free(units);
    }
    const LilvPort* enabled = lilv_plugin_get_port_by_designation(p, world.Uri(LV2_CORE__InputPort),
                                                                  world.Uri(LV2_CORE__enabled));
    ASSERT_NE(enabled, nullptr);
    EXPECT_EQ(lilv_port_get_index(p, enabled), kEnabled);
    EXPECT_TRUE(lilv_port_has_property(p, enabled, world.Uri(LV2_CORE__toggled)));
    EXPECT_FALSE(lilv_plugin_has_latency(p));
    EXPECT_TRUE(lilv_plugin_has_feature(p, world.Uri(LV2_CORE__hardRTCapable)));
    EXPECT_TRUE(lilv_world_ask(world.world, lilv_plugin_get_uri(p), world.Uri(LILV_NS_RDF "type"),
                               world.Uri(LV2_CORE__MultiEQPlugin)));

    LilvUIs* uis = lilv_plugin_get_uis(p);
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    EXPECT_TRUE(lilv_ui_is_a(ui, world.Uri(LV2_UI__X11UI)));
    LilvNodes* required = lilv_world_find_nodes(world.world, lilv_ui_get_uri(ui),
                                                world.Uri(LV2_CORE__requiredFeature), nullptr);
    EXPECT_TRUE(lilv_nodes_contains(required, world.Uri(LV2_INSTANCE_ACCESS_URI)));
    EXPECT_TRUE(lilv_nodes_contains(required, world.Uri(LV2_UI__idleInterface)));
    lilv_nodes_free(required);
    lilv_uis_free(uis);
}

TEST_F(Lv2, PortsSoundAsTheVst2HostSetsTheParameters) {
    // Values in place before the first run, a port moved mid-stream, the switch out and in: the
    // output is the effect's own, block for block.
    for (const double rate : {44100.0, 96000.0}) {
        Instance lv2(world, rate, urids.features);
        ASSERT_NE(lv2.instance, nullptr);
        Reference ref(rate);
        lv2.Activate();
        lv2.controls[0] = 6.0f;
        lv2.controls[4] = -4.5f;
        ref.host->SetParameter(0, VLM::Bands::ToNormalised(0, 6.0f));
        ref.host->SetParameter(4, VLM::Bands::ToNormalised(4, -4.5f));
        std::vector<float> a, b;
        for (int block = 0; block < 40; ++block) {
            if (block == 10) {
                lv2.controls[0] = -12.0f;
                ref.host->SetParameter(0, 0.0f);
            }
            if (block == 20) {
                lv2.controls[kEnabled] = 0.0f;
                ref.host->SetParameter(VLM::Bands::kInSwitch, 0.0f);
            }
            if (block == 30) {
                lv2.controls[kEnabled] = 1.0f;
                lv2.controls[9] = 3.0f;
                ref.host->SetParameter(VLM::Bands::kInSwitch, 1.0f);
                ref.host->SetParameter(9, VLM::Bands::ToNormalised(9, 3.0f));
            }
            lv2.Run(block, a);
            ref.Run(block, b);
        }
        EXPECT_TRUE(SameBits(a, b)) << "at " << rate << " Hz";
        // The switched-out blocks pass the input through untouched.
        std::vector<float> l(kBlock), r(kBlock);
        Fill(l, r, 25);
        EXPECT_EQ(a[25 * kBlock * 2], l[0]);
    }
}

TEST_F(Lv2, HostileValuesAndRunsGiveFiniteOutputAndClampAsTheParameterDoes) {
    // Each pair: the hostile value, and the sound value it must sound like.
    struct Case {
        std::uint32_t port;
        float hostile;
        float same;
    };
    const Case cases[] = {{0, kInf, 12.0f},      {1, -kInf, -12.0f},     {2, 1e30f, 12.0f},
                          {3, -40.0f, -12.0f},   {kEnabled, 0.3f, 1.0f}, {kEnabled, -1.0f, 0.0f},
                          {kEnabled, kInf, 1.0f}};
    for (const Case& c : cases) {
        Instance a(world, 48000.0, urids.features);
        Instance b(world, 48000.0, urids.features);
        a.Activate();
        b.Activate();
        a.controls[c.port] = c.hostile;
        b.controls[c.port] = c.same;
        std::vector<float> ra, rb;
        for (int block = 0; block < 8; ++block) {
            a.Run(block, ra);
            b.Run(block, rb);
        }
        EXPECT_TRUE(SameBits(ra, rb)) << "port " << c.port << " at " << c.hostile;
    }
    {
        // NaN keeps the value in force, on every port.
        Instance a(world, 48000.0, urids.features);
        Instance b(world, 48000.0, urids.features);
        a.Activate();
        b.Activate();
        std::vector<float> ra, rb;
        for (std::uint32_t p = 0; p < 11; ++p) {
            a.controls[p] = b.controls[p] = p == kEnabled ? 1.0f : 5.0f;
        }
        for (int block = 0; block < 12; ++block) {
            if (block == 4) {
                for (float& value : a.controls) {
                    value = kNaN;
                }
            }
            a.Run(block, ra);
            b.Run(block, rb);
        }
        EXPECT_TRUE(SameBits(ra, rb)) << "NaN on the ports changed the sound";
    }
    // Run before activate, blocks of 0 frames, the rates' extremes and beyond, every port
    // hostile at once: no crash, nothing but finite samples.
    for (const double rate : {1000.0, 1000000.0, 1.0, 1e12}) {
        Instance a(world, rate, urids.features);
        ASSERT_NE(a.instance, nullptr);
        std::vector<float> rendered;
        a.Run(0, rendered, 64);
        a.Run(0, rendered, 0);
        a.Activate();
        const float hostile[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 0.0f};
        for (int block = 0; block < 24; ++block) {
            for (std::uint32_t p = 0; p < 11; ++p) {
                a.controls[p] = hostile[(static_cast<std::uint32_t>(block) + p) % 6];
            }
            a.Run(block, rendered, block % 3 == 0 ? 0 : kBlock);
        }
        EXPECT_TRUE(AllFinite(rendered)) << "at " << rate << " Hz";
    }
}

// A property store for driving the state interface as a host does.
struct Store {
    std::map<std::uint32_t, std::pair<std::uint32_t, std::vector<std::uint8_t>>> values;
    static LV2_State_Status Put(LV2_State_Handle handle, std::uint32_t key, const void* value,
                                std::size_t size, std::uint32_t type, std::uint32_t /*flags*/) {
        const auto* bytes = static_cast<const std::uint8_t*>(value);
        static_cast<Store*>(handle)->values[key] = {type, {bytes, bytes + size}};
        return LV2_STATE_SUCCESS;
    }
    static const void* Get(LV2_State_Handle handle, std::uint32_t key, std::size_t* size,
                           std::uint32_t* type, std::uint32_t* flags) {
        auto* self = static_cast<Store*>(handle);
        auto found = self->values.find(key);
        if (found == self->values.end()) {
            return nullptr;
        }
        *size = found->second.second.size();
        *type = found->second.first;
        *flags = LV2_STATE_IS_POD;
        return found->second.second.data();
    }
};

std::vector<std::uint8_t> SavedChunk(Instance& instance, UridMap& urids) {
    Store store;
    EXPECT_EQ(instance.State()->save(lilv_instance_get_handle(instance.instance), Store::Put,
                                     &store, 0, urids.features),
              LV2_STATE_SUCCESS);
    return store.values.empty() ? std::vector<std::uint8_t>{} : store.values.begin()->second.second;
}

// The records of the parameters (ids 0..10) in a state chunk; the lamp's shows the audio.
std::vector<std::uint8_t> ParameterRecords(const std::vector<std::uint8_t>& chunk) {
    std::vector<std::uint8_t> records;
    for (std::size_t at = 0; at + 8 <= chunk.size(); at += 8) {
        std::int32_t id = 0;
        std::memcpy(&id, &chunk[at], sizeof id);
        if (id >= 0 && id <= 10) {
            records.insert(records.end(), chunk.begin() + static_cast<std::ptrdiff_t>(at),
                           chunk.begin() + static_cast<std::ptrdiff_t>(at + 8));
        }
    }
    return records;
}

struct Ports {
    Instance* instance;
    UridMap* urids;
    const LilvPlugin* plugin;
    static const void* Value(const char* symbol, void* user, std::uint32_t* size,
                             std::uint32_t* type) {
        auto* self = static_cast<Ports*>(user);
        const std::uint32_t index = Index(self, symbol);
        *size = sizeof(float);
        *type = UridMap::Map(self->urids, LV2_ATOM__Float);
        return index < 11 ? &self->instance->controls[index] : nullptr;
    }
    static void Set(const char* symbol, void* user, const void* value, std::uint32_t size,
                    std::uint32_t /*type*/) {
        auto* self = static_cast<Ports*>(user);
        const std::uint32_t index = Index(self, symbol);
        if (index < 11 && size == sizeof(float)) {
            std::memcpy(&self->instance->controls[index], value, sizeof(float));
        }
    }
    static std::uint32_t Index(Ports* self, const char* symbol) {
        for (std::uint32_t i = 0; i < 11; ++i) {
            const LilvPort* port = lilv_plugin_get_port_by_index(self->plugin, i);
            if (std::strcmp(lilv_node_as_string(lilv_port_get_symbol(self->plugin, port)),
                            symbol) == 0) {
                return i;
            }
        }
        return 99;
    }
};

TEST_F(Lv2, StateTheHostSavesRestoresTheSoundExactly) {
    // A band at a value finer than its port's decibels carry (as an editor drag sets it),
    // saved and restored through lilv's own state, serialised as a session stores it.
    Reference fine(48000.0);
    fine.host->SetParameter(0, 0.6f);
    fine.host->SetParameter(3, 0.669f); // ToNormalised(ToDb(0.669f)) is not 0.669f
    fine.host->SetParameter(VLM::Bands::kInSwitch, 1.0f);
    const std::vector<std::uint8_t> chunk = fine.host->SaveState();

    Instance a(world, 48000.0, urids.features);
    a.Activate();
    Store given;
    given.values[UridMap::Map(&urids, "https://velmora.example/plugins/tarvix#state")] = {
        UridMap::Map(&urids, LV2_ATOM__Chunk), chunk};
    ASSERT_EQ(a.State()->restore(lilv_instance_get_handle(a.instance), Store::Get, &given, 0,
                                 urids.features),
              LV2_STATE_SUCCESS);
    // The host's ports show the restored values in decibels.
    a.controls[0] = VLM::Bands::ToDb(0, 0.6f);
    a.controls[3] = VLM::Bands::ToDb(3, 0.669f);
    std::vector<float> ra, rf;
    for (int block = 0; block < 4; ++block) {
        a.Run(block, ra);
        fine.Run(block, rf);
    }
    EXPECT_TRUE(SameBits(ra, rf)) << "the port's decibels overrode the finer restored value";
    const std::vector<std::uint8_t> savedA = SavedChunk(a, urids);
    EXPECT_EQ(ParameterRecords(savedA), ParameterRecords(chunk))
        << "the port's decibels overrode the finer restored value";

    Ports portsA{&a, &urids, world.plugin};
    LilvState* saved =
        lilv_state_new_from_instance(world.plugin, a.instance, &urids.map, nullptr, nullptr,
                                     nullptr, nullptr, Ports::Value, &portsA, 0, urids.features);
    ASSERT_NE(saved, nullptr);
    char* text = lilv_state_to_string(world.world, &urids.map, &urids.unmap, saved,
                                      "urn:test:state", nullptr);
    ASSERT_NE(text, nullptr);
    LilvState* loaded = lilv_state_new_from_string(world.world, &urids.map, text);
    ASSERT_NE(loaded, nullptr);

    Instance b(world, 48000.0, urids.features);
    b.Activate();
    Ports portsB{&b, &urids, world.plugin};
    lilv_state_restore(loaded, b.instance, Ports::Set, &portsB, 0, urids.features);
    EXPECT_EQ(b.controls[0], a.controls[0]);
    EXPECT_EQ(b.controls[3], a.controls[3]);
    EXPECT_EQ(SavedChunk(b, urids), savedA);
    Reference fresh(48000.0);
    fresh.host->LoadState(savedA.data(), savedA.size());
    std::vector<float> rb, rr;
    for (int block = 0; block < 4; ++block) {
        b.Run(block, rb);
        fresh.Run(block, rr);
    }
    EXPECT_TRUE(SameBits(rb, rr)) << "the restored instance sounds different";
    lilv_free(text);
    lilv_state_free(saved);
    lilv_state_free(loaded);
}

TEST_F(Lv2, DamagedOrForeignStateIsRefusedWholeAndChangesNothing) {
    Instance a(world, 48000.0, urids.features);
    a.Activate();
    a.controls[2] = 7.5f;
    std::vector<float> ignored;
    a.Run(0, ignored);
    const std::vector<std::uint8_t> before = SavedChunk(a, urids);
    ASSERT_FALSE(before.empty());

    const LV2_URID key = UridMap::Map(&urids, "https://velmora.example/plugins/tarvix#state");
    const LV2_URID chunkType = UridMap::Map(&urids, LV2_ATOM__Chunk);
    std::vector<std::uint8_t> cut(before.begin(), before.end() - 3);
    std::vector<std::uint8_t> foreignId = before;
    foreignId[0] = 0x77;
    std::vector<std::uint8_t> nanValue = before;
    const float nan = kNaN;
    std::memcpy(&nanValue[4], &nan, sizeof nan);
    std::vector<std::uint8_t> huge(1 << 20, 0);
    const std::pair<LV2_URID, std::vector<std::uint8_t>> damaged[] = {
        {chunkType, {}},       {chunkType, cut},  {chunkType, foreignId},
        {chunkType, nanValue}, {chunkType, huge}, {UridMap::Map(&urids, LV2_ATOM__String), before},
    };
    for (const auto& [type, bytes] : damaged) {
        Store store;
        store.values[key] = {type, bytes};
        EXPECT_NE(a.State()->restore(lilv_instance_get_handle(a.instance), Store::Get, &store, 0,
                                     urids.features),
                  LV2_STATE_SUCCESS)
            << bytes.size() << " bytes of type " << type;
        EXPECT_EQ(SavedChunk(a, urids), before);
    }
    Store empty;
    EXPECT_NE(a.State()->restore(lilv_instance_get_handle(a.instance), Store::Get, &empty, 0,
                                 urids.features),
              LV2_STATE_SUCCESS);
    EXPECT_EQ(SavedChunk(a, urids), before);

    // Without a URI map the ports still work and the state interface declines.
    Instance bare(world, 48000.0, nullptr);
    ASSERT_NE(bare.instance, nullptr);
    Store store;
    EXPECT_EQ(
        bare.State()->save(lilv_instance_get_handle(bare.instance), Store::Put, &store, 0, nullptr),
        LV2_STATE_ERR_NO_FEATURE);
}

TEST_F(Lv2, TheUiRefusesCleanlyWithoutInstanceAccessOrParent) {
    LilvUIs* uis = lilv_plugin_get_uis(world.plugin);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    lilv_free(path);
    lilv_uis_free(uis);
    ASSERT_NE(library, nullptr) << dlerror();
    auto* entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    const LV2UI_Descriptor* descriptor = entry(0);
    ASSERT_NE(descriptor, nullptr);
    EXPECT_EQ(entry(1), nullptr);

    Instance a(world, 48000.0, urids.features);
    LV2_Feature access{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(a.instance)};
    LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(std::uintptr_t{0x1234})};
    const LV2_Feature* noAccess[] = {&urids.mapFeature, &parent, nullptr};
    const LV2_Feature* noParent[] = {&urids.mapFeature, &access, nullptr};
    LV2UI_Widget widget = nullptr;
    EXPECT_EQ(descriptor->instantiate(descriptor, kUri, VLM_LV2_BUNDLE, nullptr, nullptr, &widget,
                                      noAccess),
              nullptr);
    EXPECT_EQ(descriptor->instantiate(descriptor, kUri, VLM_LV2_BUNDLE, nullptr, nullptr, &widget,
                                      noParent),
              nullptr);
    EXPECT_EQ(descriptor->instantiate(descriptor, kUri, VLM_LV2_BUNDLE, nullptr, nullptr, &widget,
                                      nullptr),
              nullptr);
    EXPECT_EQ(descriptor->instantiate(descriptor, "urn:another:plugin", VLM_LV2_BUNDLE, nullptr,
                                      nullptr, &widget, noParent),
              nullptr);
    dlclose(library);
}

} // namespace
