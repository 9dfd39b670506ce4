#include "commands/commands.h"

#include "common/text_format.h"
#include "host/opcode_names.h"
#include "host/plugin.h"

#include <cstdio>

namespace VLM {

int RunInfo(const SOptions& options) {
    CPlugin plugin(options.plugin);
    plugin.Open(44100.0f, options.blockSize);
    const AEffect& r = plugin.Record();

    std::printf("Plug-in: %s\n", Printable(options.plugin).c_str());
    std::printf("Effect name: %s\n", plugin.Text(effGetEffectName).c_str());
    std::printf("Vendor: %s\n", plugin.Text(effGetVendorString).c_str());
    std::printf("Product: %s\n", plugin.Text(effGetProductString).c_str());
    std::printf("Vendor version: %lld\n",
                static_cast<long long>(plugin.Dispatch(effGetVendorVersion)));
    std::printf("Unique id: %s\n", FourCharText(r.uniqueID).c_str());
    std::printf("VST version: %lld\n", static_cast<long long>(plugin.Dispatch(effGetVstVersion)));
    const VstIntPtr category = plugin.Dispatch(effGetPlugCategory);
    std::printf("Category: %s (%lld)\n", CategoryName(category).c_str(),
                static_cast<long long>(category));
    std::printf("Magic: %s\n", FourCharText(r.magic).c_str());
    std::printf("Flags: 0x%08X %s\n", static_cast<unsigned>(r.flags), FlagNames(r.flags).c_str());
    std::printf("Inputs: %d\n", r.numInputs);
    std::printf("Outputs: %d\n", r.numOutputs);
    std::printf("Parameters: %d\n", r.numParams);
    std::printf("Programs: %d\n", r.numPrograms);
    std::printf("Initial delay: %d\n", r.initialDelay);
    std::printf("Version: %d\n", r.version);

    PrintParameters(plugin);

    const VstIntPtr current = plugin.Dispatch(effGetProgram);
    for (int i = 0; i < r.numPrograms; ++i) {
        bool answered = false;
        std::string name = plugin.Text(effGetProgramNameIndexed, i, &answered);
        if (!answered) {
            // Older plug-ins only name the current program: switch, ask, switch back.
            plugin.Dispatch(effSetProgram, 0, i);
            name = plugin.Text(effGetProgramName);
            plugin.Dispatch(effSetProgram, 0, current);
        }
        std::printf("Program %d: \"%s\"%s\n", i, name.c_str(), i == current ? " (current)" : "");
    }

    if (plugin.HasChunks()) {
        for (const bool program : {false, true}) {
            std::printf("Chunk size (%s): %zu bytes\n", program ? "program" : "bank",
                        plugin.GetChunk(program).size());
        }
    } else {
        std::printf("Chunk size: none (the plug-in keeps no state chunk)\n");
    }
    plugin.Close();
    return 0;
}

} // namespace VLM
