// The CLAP binary's one exported symbol: the entry record that leads a host to the factory.
#include "formats/clap/clapplugin.h"

#include <cstring>

namespace {

// [UI thread] Nothing to set up for the module as a whole: every instance makes its own effect.
bool VLM_CLAP_ABI EntryInit(const char* /*pluginPath*/) {
    return true;
}

void VLM_CLAP_ABI EntryDeinit() {}

const void* VLM_CLAP_ABI EntryFactory(const char* id) {
    return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? VLM::Clap::Factory()
                                                                         : nullptr;
}

} // namespace

extern "C" {
#if defined(_WIN32)
// Exported by the module definition file.
extern const clap_plugin_entry_t clap_entry;
const clap_plugin_entry_t clap_entry = {kClapVersion, &EntryInit, &EntryDeinit, &EntryFactory};
#else
extern __attribute__((visibility("default"))) const clap_plugin_entry_t clap_entry;
const clap_plugin_entry_t clap_entry = {kClapVersion, &EntryInit, &EntryDeinit, &EntryFactory};
#endif
}
