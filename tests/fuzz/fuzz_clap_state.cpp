// The CLAP plug-in's state load with any bytes, handed over in pieces of any size (the first
// byte picks the piece size, or a failing stream). A load succeeds exactly when the bytes are a
// whole, sound state of the effect; a refused load changes nothing; after a load the values are
// within their ranges and saving and loading again keeps them.
#include "formats/clap/clap.h"
#include "formats/shared/state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" const clap_plugin_entry_t clap_entry;

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_clap_state: %s\n", what);
    std::abort();
}

struct SStream {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    std::size_t piece = 1;
    bool failAtEnd = false;
    std::vector<std::uint8_t> written;
    clap_istream_t in{this, &Read};
    clap_ostream_t out{this, &Write};
    static std::int64_t VLM_CLAP_ABI Read(const clap_istream_t* s, void* buffer,
                                          std::uint64_t want) {
        auto* self = static_cast<SStream*>(s->ctx);
        std::size_t n = self->size - self->at;
        n = n < self->piece ? n : self->piece;
        n = n < want ? n : static_cast<std::size_t>(want);
        if (n == 0 && self->failAtEnd) {
            return -1;
        }
        if (n > 0) {
            std::memcpy(buffer, self->bytes + self->at, n);
        }
        self->at += n;
        return static_cast<std::int64_t>(n);
    }
    static std::int64_t VLM_CLAP_ABI Write(const clap_ostream_t* s, const void* buffer,
                                           std::uint64_t size) {
        auto* self = static_cast<SStream*>(s->ctx);
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        self->written.insert(self->written.end(), b, b + size);
        return static_cast<std::int64_t>(size);
    }
};

struct SPlugin {
    clap_host_t host{};
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_params_t* params = nullptr;

    SPlugin() {
        host.clap_version = kClapVersion;
        host.name = "fuzz";
        host.vendor = "";
        host.url = "";
        host.version = "1";
        host.get_extension = [](const clap_host_t*, const char*) -> const void* { return nullptr; };
        host.request_restart = [](const clap_host_t*) {};
        host.request_process = [](const clap_host_t*) {};
        host.request_callback = [](const clap_host_t*) {};
        if (!clap_entry.init("fuzz")) {
            Fail("the entry did not initialise");
        }
        const auto* factory = static_cast<const clap_plugin_factory_t*>(
            clap_entry.get_factory(CLAP_PLUGIN_FACTORY_ID));
        plugin = factory->create_plugin(factory, &host, "com.velmora.tarvix");
        if (plugin == nullptr || !plugin->init(plugin)) {
            Fail("the plug-in could not be made");
        }
        state =
            static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        params = static_cast<const clap_plugin_params_t*>(
            plugin->get_extension(plugin, CLAP_EXT_PARAMS));
    }

    std::vector<std::uint8_t> Save() const {
        SStream s;
        if (!state->save(plugin, &s.out)) {
            Fail("save failed");
        }
        return s.written;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SPlugin p;
    if (size == 0) {
        return 0;
    }
    SStream stream;
    stream.piece = static_cast<std::size_t>(data[0] & 0x7F) + 1;
    stream.failAtEnd = (data[0] & 0x80) != 0;
    stream.bytes = data + 1;
    stream.size = size - 1;

    const std::vector<std::uint8_t> before = p.Save();
    const bool loaded = p.state->load(p.plugin, &stream.in);
    const bool sound = !stream.failAtEnd && VLM::State::IsEffectState(stream.bytes, stream.size);
    if (loaded != sound) {
        Fail(loaded ? "a state that is not sound was taken" : "a sound state was refused");
    }
    if (!loaded) {
        if (p.Save() != before) {
            Fail("a refused state changed the plug-in's state");
        }
        return 0;
    }
    for (clap_id id = 0; id < p.params->count(p.plugin); ++id) {
        clap_param_info_t info{};
        double value = 0.0;
        if (!p.params->get_info(p.plugin, id, &info) ||
            !p.params->get_value(p.plugin, id, &value) ||
            !(value >= info.min_value && value <= info.max_value)) {
            Fail("after a load a parameter is outside its range");
        }
    }
    const std::vector<std::uint8_t> saved = p.Save();
    SStream again;
    again.bytes = saved.data();
    again.size = saved.size();
    again.piece = saved.size();
    if (!p.state->load(p.plugin, &again.in) || p.Save() != saved) {
        Fail("a saved state did not load back as it was");
    }
    return 0;
}
