#include "validate/tests.h"

#include "validate/validator.h"

namespace VLM {

const std::vector<STest>& ValidatorTests() {
    static const std::vector<STest> tests = {
        {"identity", 1, "record magic, entries, counts, flags, VST version and category",
         TestIdentity},
        {"entry-points", 1, "VSTPluginMain, then main, each giving an instance of its own",
         TestEntryPoints},
        {"identity-texts", 1, "effect name, vendor and product terminated within 32, 64, 64 bytes",
         TestIdentityTexts},
        {"locale", 1, "loading, opening, processing and closing leave the process locale",
         TestLocale},
        {"programs", 2, "every program: names within 24 characters, effSetProgram taken",
         TestPrograms},
        {"parameters", 2, "every parameter: value in 0..1, name, label, display within 8 bytes",
         TestParameters},
        {"state", 2, "getChunk, then setChunk into a fresh instance restores every parameter",
         TestState},
        {"editor", 2, "the editor opened and closed twice in a window of the host's", TestEditor},
        {"audio", 3, "44.1, 48, 96 kHz, blocks 64 to 1024: noise, silence, decay; clean output",
         TestAudio},
        {"automation", 3, "every parameter automated between blocks of varying size",
         TestAutomation},
        {"editor-processing", 4, "the editor opened, shown and closed while audio runs",
         TestEditorWhileProcessing},
        {"editor-automation", 5, "mouse edits in the editor while audio runs: automation in range",
         TestEditorAutomation},
        {"rate-change", 6, "sample-rate changes while processing, without a suspend",
         TestRateChange},
        {"state-restore", 6, "state restored into the same, changed instance within 0.1",
         TestStateRestore},
        {"parameter-fuzz", 6, "NaN, infinite and out-of-range parameter values", TestParameterFuzz},
        {"editor-stress", 6, "the editor opened and closed repeatedly, also before any rate",
         TestEditorStress},
        {"threads", 7, "parameters set and read on two threads while a third processes",
         TestThreads},
        {"state-resave", 8, "a restored state saved again is byte for byte the same",
         TestStateResave},
        {"large-block", 8, "blocks larger than the announced block size", TestLargeBlock},
        {"allocation", 9, "no heap allocation or release inside processReplacing", TestAllocation},
        {"dispatcher-fuzz", 10, "seeded opcodes with well-formed arguments, indices out of range",
         TestDispatcherFuzz},
    };
    return tests;
}

} // namespace VLM
