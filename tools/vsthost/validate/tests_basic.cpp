// Levels 1 and 2, and the state tests of levels 6 and 8: what a host reads from a plug-in
// before and around processing.
#include "validate/tests.h"

#include "common/errors.h"
#include "common/text_format.h"
#include "host/opcode_names.h"
#include "host/plugin.h"
#include "validate/checks.h"
#include "validate/validator.h"

#include <clocale>
#include <cmath>
#include <memory>

namespace VLM {
namespace {

constexpr VstInt32 kKnownFlags = effFlagsHasEditor | effFlagsHasClip | effFlagsHasVu |
                                 effFlagsCanMono | effFlagsCanReplacing | effFlagsProgramChunks |
                                 effFlagsIsSynth | effFlagsNoSoundInStop | effFlagsExtIsAsync |
                                 effFlagsExtHasBuffer | effFlagsCanDoubleReplacing;
constexpr VstIntPtr kLastCategory = 11; // kPlugCategGenerator

std::vector<std::string> ReadDisplays(CPlugin& plugin) {
    std::vector<std::string> texts;
    for (VstInt32 i = 0; i < plugin.Record().numParams; ++i) {
        texts.push_back(
            ProbeText(plugin, effGetParamDisplay, i, HostTextCapacity(effGetParamDisplay)).text);
    }
    return texts;
}

// A parameter is restored when its value is within `tolerance` of the saved one, or when
// the plug-in shows it as it did: a stepped parameter set between its steps comes back as
// the step it stood for.
bool Restored(CPlugin& plugin, std::size_t index, float value, float saved,
              const std::string& savedDisplay, float tolerance) {
    if (std::fabs(value - saved) <= tolerance) {
        return true;
    }
    const std::string display = ProbeText(plugin, effGetParamDisplay, static_cast<VstInt32>(index),
                                          HostTextCapacity(effGetParamDisplay))
                                    .text;
    return !display.empty() && display == savedDisplay;
}

void CheckText(CTestContext& test, const STextCheck& c, const std::string& call) {
    test.Check(c.fault.empty(), call + ": " + c.fault);
}

std::string LocaleNow() {
    const char* all = std::setlocale(LC_ALL, nullptr);
    return all != nullptr ? all : "(none)";
}

} // namespace

void TestIdentity(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    const AEffect& r = plugin.Record();
    test.Check(r.magic == kEffectMagic, "the record's magic is " + FourCharText(r.magic));
    test.Check(r.getParameter != nullptr && r.setParameter != nullptr,
               "the record lacks the setParameter or getParameter entry");
    test.Check(r.processReplacing != nullptr, "the record has no processReplacing entry");
    test.Check((r.flags & effFlagsCanReplacing) != 0,
               "effFlagsCanReplacing is clear: VST 2.4 hosts process only through "
               "processReplacing");
    test.Check((r.flags & effFlagsCanDoubleReplacing) == 0 || r.processDoubleReplacing != nullptr,
               "effFlagsCanDoubleReplacing is set but the record has no processDoubleReplacing");
    test.Check((r.flags & ~kKnownFlags) == 0,
               Format("flags 0x%X hold bits the interface does not define",
                      static_cast<unsigned>(r.flags & ~kKnownFlags)));
    test.Check(r.numInputs + r.numOutputs > 0, "the record announces no inputs and no outputs");
    test.Check(r.initialDelay >= 0, Format("initialDelay is negative (%d)", r.initialDelay));
    test.Check(r.uniqueID != 0, "uniqueID is 0: hosts identify plug-ins by it");
    const VstIntPtr version = plugin.Dispatch(effGetVstVersion);
    test.Check(version >= kVstVersion,
               Format("effGetVstVersion answers %lld; a VST 2.4 plug-in answers %d",
                      static_cast<long long>(version), kVstVersion));
    const VstIntPtr category = plugin.Dispatch(effGetPlugCategory);
    test.Check(category >= 0 && category <= kLastCategory,
               Format("effGetPlugCategory answers %lld, not a category",
                      static_cast<long long>(category)));
    if (r.numPrograms > 0) {
        const VstIntPtr current = plugin.Dispatch(effGetProgram);
        test.Check(current >= 0 && current < r.numPrograms,
                   Format("effGetProgram answers %lld with %d programs",
                          static_cast<long long>(current), r.numPrograms));
    }
    test.Note(Format("%d in, %d out, %d parameters, %d programs, flags %s", r.numInputs,
                     r.numOutputs, r.numParams, r.numPrograms, FlagNames(r.flags).c_str()));
    plugin.Close();
}

void TestEntryPoints(CTestContext& test) {
    CPlugin first(test.PluginPath(), "VSTPluginMain");
    first.Open(44100.0f, 512);
    std::unique_ptr<CPlugin> second;
    try {
        second = std::make_unique<CPlugin>(test.PluginPath(), "main");
    } catch (const Exceptions::HostFailure& e) {
        const std::string why = e.what();
        if (why.find("does not export") == std::string::npos) {
            throw;
        }
        test.Note("VSTPluginMain only (no main for older hosts)");
        first.Close();
        return;
    }
    second->Open(48000.0f, 256);
    const AEffect& a = first.Record();
    const AEffect& b = second->Record();
    test.Check(&a != &b, "main returned the same record as VSTPluginMain: two instances share "
                         "one record");
    test.Check(a.uniqueID == b.uniqueID && a.numParams == b.numParams &&
                   a.numPrograms == b.numPrograms && a.numInputs == b.numInputs &&
                   a.numOutputs == b.numOutputs && a.flags == b.flags,
               "the instance made through main differs from the one made through VSTPluginMain");
    if (a.numParams > 0 && &a != &b) {
        // Instances are independent: a change to one is not seen in the other.
        const float before = second->GetParameter(0);
        first.SetParameter(0, before < 0.5f ? 0.9f : 0.1f);
        test.Check(second->GetParameter(0) == before,
                   "setting parameter 0 of one instance changed it in the other");
    }
    second->Close();
    first.Close();
    test.Note("VSTPluginMain and main, two instances at once");
}

void TestIdentityTexts(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    std::string seen;
    for (const VstInt32 opcode : {effGetEffectName, effGetVendorString, effGetProductString}) {
        VstIntPtr answer = 0;
        const STextCheck c = ProbeText(plugin, opcode, 0, HostTextCapacity(opcode), &answer);
        CheckText(test, c, EffectOpcodeName(opcode));
        test.Check(!(answer != 0 && c.untouched),
                   std::string(EffectOpcodeName(opcode)) + " answered 1 but wrote no text");
        seen += (seen.empty() ? "\"" : ", \"") + c.text + "\"";
    }
    test.Note(seen);
    plugin.Close();
}

void TestLocale(CTestContext& test) {
    const std::string before = LocaleNow();
    {
        CPlugin plugin(test.PluginPath());
        test.Check(LocaleNow() == before, "the entry function changed the process locale from \"" +
                                              before + "\" to \"" + LocaleNow() + "\"");
        const std::string afterEntry = LocaleNow();
        plugin.Open(44100.0f, 512);
        plugin.Resume();
        CAudioBuffers buffers(plugin.Record().numInputs, plugin.Record().numOutputs, 512);
        CRandom random(TestSeed(test.Seed(), "locale"));
        if (plugin.Record().processReplacing != nullptr) {
            buffers.Prepare(512, true, random);
            plugin.Process(buffers.Inputs(), buffers.Outputs(), 512);
        }
        test.Check(LocaleNow() == afterEntry, "opening or processing changed the process "
                                              "locale from \"" +
                                                  afterEntry + "\" to \"" + LocaleNow() + "\"");
        plugin.Close();
    }
    test.Check(LocaleNow() == before, "closing the plug-in left the process locale at \"" +
                                          LocaleNow() + "\", not \"" + before + "\"");
    test.Note("locale \"" + before + "\" kept");
}

void TestPrograms(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    const VstInt32 count = plugin.Record().numPrograms;
    if (count == 0) {
        plugin.Close();
        Stop(EOutcome::Skip, "the plug-in has no programs");
    }
    for (VstInt32 i = 0; i < count; ++i) {
        CheckText(test,
                  ProbeText(plugin, effGetProgramNameIndexed, i,
                            HostTextCapacity(effGetProgramNameIndexed)),
                  CallName(effGetProgramNameIndexed, i));
        plugin.Dispatch(effSetProgram, 0, i);
        const VstIntPtr now = plugin.Dispatch(effGetProgram);
        test.Check(now == i, Format("effSetProgram(%d) then effGetProgram answers %lld", i,
                                    static_cast<long long>(now)));
        CheckText(test,
                  ProbeText(plugin, effGetProgramName, 0, HostTextCapacity(effGetProgramName)),
                  Format("effGetProgramName in program %d", i));
    }
    plugin.Dispatch(effSetProgram, 0, 0);
    test.Note(Format("%d programs", count));
    plugin.Close();
}

void TestParameters(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    const VstInt32 count = plugin.Record().numParams;
    if (count == 0) {
        plugin.Close();
        Stop(EOutcome::Skip, "the plug-in has no parameters");
    }
    for (VstInt32 i = 0; i < count; ++i) {
        const float v = plugin.GetParameter(i);
        test.Check(v >= 0.0f && v <= 1.0f,
                   Format("getParameter(%d) answers %g, outside 0..1", i, static_cast<double>(v)));
        for (const VstInt32 op : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            CheckText(test, ProbeText(plugin, op, i, HostTextCapacity(op)), CallName(op, i));
        }
    }
    test.Note(Format("%d parameters", count));
    plugin.Close();
}

namespace {

// getChunk, then setChunk into a fresh instance: the parameters the fresh one reads back.
void CheckChunkIntoFreshInstance(CTestContext& test, CPlugin& source,
                                 const std::vector<float>& expected, bool program) {
    const std::vector<std::uint8_t> saved = source.GetChunk(program);
    const char* kind = program ? "program" : "bank";
    const std::vector<std::string> displays = ReadDisplays(source);
    if (!test.Check(!saved.empty(), Format("effGetChunk (%s) gave no state", kind))) {
        return;
    }
    CPlugin fresh(test.PluginPath());
    fresh.Open(44100.0f, 512);
    std::vector<std::uint8_t> copy = saved;
    fresh.SetChunk(copy, program);
    const std::vector<float> restored = ReadParameters(fresh);
    int wrong = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (!Restored(fresh, i, restored[i], expected[i], displays[i], 1.0e-5f)) {
            if (++wrong <= 3) {
                test.Fail(Format("%s state: parameter %zu is %g after restoring, was %g", kind, i,
                                 static_cast<double>(restored[i]),
                                 static_cast<double>(expected[i])));
            }
        }
    }
    if (wrong > 3) {
        test.Fail(Format("%s state: %d parameters in all were not restored", kind, wrong));
    }
    fresh.Close();
}

void RequireChunks(CPlugin& plugin) {
    if (!plugin.HasChunks()) {
        plugin.Close();
        Stop(EOutcome::Skip, "the plug-in keeps no state chunk (effFlagsProgramChunks clear)");
    }
}

} // namespace

void TestState(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    RequireChunks(plugin);
    CRandom random(TestSeed(test.Seed(), "state"));
    const std::vector<float> values = RandomiseParameters(plugin, random);
    CheckChunkIntoFreshInstance(test, plugin, values, false);
    CheckChunkIntoFreshInstance(test, plugin, values, true);
    test.Note(Format("bank and program state, %zu parameters", values.size()));
    plugin.Close();
}

void TestStateRestore(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    RequireChunks(plugin);
    CRandom random(TestSeed(test.Seed(), "state-restore"));
    for (int round = 0; round < 3; ++round) {
        const std::vector<float> saved = RandomiseParameters(plugin, random);
        std::vector<std::uint8_t> chunk = plugin.GetChunk(round % 2 == 1);
        const std::vector<std::string> displays = ReadDisplays(plugin);
        RandomiseParameters(plugin, random);
        plugin.SetChunk(chunk, round % 2 == 1);
        const std::vector<float> now = ReadParameters(plugin);
        for (std::size_t i = 0; i < saved.size(); ++i) {
            test.Check(Restored(plugin, i, now[i], saved[i], displays[i], 0.1f),
                       Format("round %d: parameter %zu is %g after restoring the state, saved as "
                              "%g",
                              round + 1, i, static_cast<double>(now[i]),
                              static_cast<double>(saved[i])));
        }
    }
    test.Note("3 rounds into the same instance");
    plugin.Close();
}

void TestStateResave(CTestContext& test) {
    CPlugin plugin(test.PluginPath());
    plugin.Open(44100.0f, 512);
    RequireChunks(plugin);
    CRandom random(TestSeed(test.Seed(), "state-resave"));
    RandomiseParameters(plugin, random);
    for (const bool program : {false, true}) {
        const std::vector<std::uint8_t> first = plugin.GetChunk(program);
        CPlugin fresh(test.PluginPath());
        fresh.Open(44100.0f, 512);
        std::vector<std::uint8_t> copy = first;
        fresh.SetChunk(copy, program);
        const std::vector<std::uint8_t> again = fresh.GetChunk(program);
        const char* kind = program ? "program" : "bank";
        if (again.size() != first.size()) {
            test.Fail(Format("%s state: saved %zu bytes, re-saved %zu", kind, first.size(),
                             again.size()));
        } else {
            for (std::size_t i = 0; i < first.size(); ++i) {
                if (first[i] != again[i]) {
                    test.Fail(Format("%s state: the re-saved state differs at byte %zu of %zu "
                                     "(0x%02X, was 0x%02X)",
                                     kind, i, first.size(), again[i], first[i]));
                    break;
                }
            }
        }
        fresh.Close();
    }
    test.Note("bank and program state, saved, restored and saved again");
    plugin.Close();
}

} // namespace VLM
