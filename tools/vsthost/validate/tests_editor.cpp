// The editor tests: opened in a window of the validator's own, alone, while audio runs,
// driven with the mouse, and opened and closed over and over.
#include "validate/tests.h"

#include "common/text_format.h"
#include "host/plugin.h"
#include "validate/audio_runner.h"
#include "validate/checks.h"
#include "validate/parent_window.h"
#include "validate/validator.h"

#include <cmath>

namespace VLM {
namespace {

constexpr int kMaxEditorSide = 8192;
// How long an editor may take to show its window before the mouse tests give up on it.
constexpr int kEditorWindowWaitMs = 10000;

struct SEditorSize {
    int width = 0;
    int height = 0;
};

// --scale: the drawing scale asked of the editor before it is sized or opened. A plug-in
// that does not take the request is no fault; the editor then keeps its own scale.
void RequestScale(CTestContext& test, CPlugin& plugin) {
    if (test.Scale() > 0.0) {
        plugin.RequestEditorScale(test.Scale());
    }
}

// Skips the test when the plug-in has no editor or there is no display to show one on.
std::unique_ptr<CParentWindow> RequireEditorWindow(CTestContext& test, CPlugin& plugin) {
    if ((plugin.Record().flags & effFlagsHasEditor) == 0) {
        Stop(EOutcome::Skip, "the plug-in has no editor");
    }
    if (test.Headless()) {
        Stop(EOutcome::Skip, "--headless: no editor tests");
    }
    RequestScale(test, plugin);
    ERect* rect = nullptr;
    plugin.Dispatch(effEditGetRect, 0, 0, &rect);
    int width = 0, height = 0;
    if (rect != nullptr && rect->right > rect->left && rect->bottom > rect->top) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    std::string why;
    auto window = CParentWindow::Create(width, height, why);
    if (!window) {
        Stop(EOutcome::Skip, why);
    }
    return window;
}

// effEditOpen into the window; answers the editor's size. The first refusal skips the test
// (the plug-in has no editor on this platform); a later one is a fault.
SEditorSize OpenEditor(CTestContext& test, CPlugin& plugin, CParentWindow& window, bool first) {
    if (plugin.Dispatch(effEditOpen, 0, 0, window.Handle()) == 0) {
        if (first) {
            Stop(EOutcome::Skip, "the editor declined to open here (effEditOpen answered 0)");
        }
        Stop(EOutcome::Fail, "effEditOpen answered 0 after the editor had opened before");
    }
    ERect* rect = nullptr;
    plugin.Dispatch(effEditGetRect, 0, 0, &rect);
    SEditorSize size;
    if (!test.Check(rect != nullptr,
                    "effEditGetRect gives no rectangle while the editor is open")) {
        return size;
    }
    size.width = rect->right - rect->left;
    size.height = rect->bottom - rect->top;
    test.Check(size.width > 0 && size.height > 0 && size.width <= kMaxEditorSide &&
                   size.height <= kMaxEditorSide,
               Format("the editor rectangle is %d x %d", size.width, size.height));
    return size;
}

void CloseEditor(CPlugin& plugin, CParentWindow& window) {
    plugin.Dispatch(effEditClose);
    window.Pump(plugin, 50);
}

} // namespace

void TestEditor(CTestContext& test) {
    auto plugin = OpenInstance(test);
    CHostWatch watch(plugin->Record().numParams);
    auto window = RequireEditorWindow(test, *plugin);
    SEditorSize size;
    for (int round = 0; round < 2; ++round) {
        size = OpenEditor(test, *plugin, *window, round == 0);
        window->Pump(*plugin, 400);
        CloseEditor(*plugin, *window);
    }
    CheckWatch(test, watch, true);
    window.reset();
    plugin->Close();
    test.Note(Format("%d x %d, opened twice", size.width, size.height));
}

void TestEditorWhileProcessing(CTestContext& test) {
    auto plugin = OpenInstance(test, 48000.0f, 256);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    auto window = RequireEditorWindow(test, *plugin);
    plugin->Resume();
    CRandom random(TestSeed(test.Seed(), "editor-processing"));
    {
        CAudioRunner audio(*plugin, 256, TestSeed(test.Seed(), "editor-processing-audio"));
        OpenEditor(test, *plugin, *window, true);
        window->Pump(*plugin, 600);
        // The host automates while the editor shows the parameters.
        for (int step = 0; step < 20; ++step) {
            for (VstInt32 i = 0; i < plugin->Record().numParams; ++i) {
                plugin->SetParameter(i, random.Unit());
            }
            window->Pump(*plugin, 25);
        }
        CloseEditor(*plugin, *window);
        OpenEditor(test, *plugin, *window, false);
        window->Pump(*plugin, 300);
        CloseEditor(*plugin, *window);
        audio.StopAfter(100);
        const std::string fault = audio.Fault();
        test.Check(fault.empty(), fault);
        test.Note(Format("%ld blocks processed meanwhile", audio.Blocks()));
    }
    CheckWatch(test, watch, true);
    window.reset();
    plugin->Close();
}

void TestEditorAutomation(CTestContext& test) {
    auto plugin = OpenInstance(test, 44100.0f, 256);
    RequireProcessing(*plugin);
    CHostWatch watch(plugin->Record().numParams);
    auto window = RequireEditorWindow(test, *plugin);
    plugin->Resume();
    std::uint64_t automations = 0;
    int delivered = 0;
    {
        CAudioRunner audio(*plugin, 256, TestSeed(test.Seed(), "editor-automation-audio"));
        const SEditorSize size = OpenEditor(test, *plugin, *window, true);
        // Mouse input needs the editor's window shown, which a loaded machine may take a while
        // to do. An editor that never shows one is found out below: no drag is delivered.
        window->WaitForEditorWindow(*plugin, size.width / 2, size.height / 2, kEditorWindowWaitMs);
        watch.ResetCounts();
        constexpr int kColumns = 24;
        constexpr int kRows = 4;
        for (int row = 0; row < kRows; ++row) {
            for (int column = 0; column < kColumns; ++column) {
                const int x = (2 * column + 1) * size.width / (2 * kColumns);
                const int y = (2 * row + 1) * size.height / (2 * kRows);
                const int dy = (row + column) % 2 == 0 ? -size.height / 6 : size.height / 6;
                delivered += window->Drag(*plugin, x, y, dy) ? 1 : 0;
                window->Pump(*plugin, 10);
            }
        }
        automations = watch.Automations();
        // What the editor reported is what the host reads back.
        for (VstInt32 i = 0; i < plugin->Record().numParams; ++i) {
            const float last = watch.LastAutomated(i);
            if (!std::isnan(last)) {
                const float now = plugin->GetParameter(i);
                test.Check(std::fabs(now - last) <= 1.0e-4f,
                           Format("the editor automated parameter %d to %g, but getParameter "
                                  "answers %g",
                                  i, static_cast<double>(last), static_cast<double>(now)));
            }
        }
        CloseEditor(*plugin, *window);
        audio.StopAfter(50);
        const std::string fault = audio.Fault();
        test.Check(fault.empty(), fault);
        if (delivered == 0) {
            CheckWatch(test, watch, true);
            window.reset();
            plugin->Close();
            if (test.FaultCount() == 0) {
                Stop(EOutcome::Skip, "the editor has no window of its own to send mouse input to");
            }
            return;
        }
    }
    CheckWatch(test, watch, true);
    window.reset();
    plugin->Close();
    if (automations == 0 && test.FaultCount() == 0) {
        Stop(EOutcome::Skip, "the editor reported no automation for the mouse input sent to it");
    }
    test.Note(Format("%llu automations from %d mouse drags, all in range",
                     static_cast<unsigned long long>(automations), delivered));
}

void TestEditorStress(CTestContext& test) {
    {
        auto plugin = OpenInstance(test);
        CHostWatch watch(plugin->Record().numParams);
        auto window = RequireEditorWindow(test, *plugin);
        for (int round = 0; round < 12; ++round) {
            OpenEditor(test, *plugin, *window, round == 0);
            window->Pump(*plugin, round % 3 == 0 ? 100 : 0);
            CloseEditor(*plugin, *window);
        }
        CheckWatch(test, watch, true);
        window.reset();
        plugin->Close();
    }
    // A host may show the editor before it has set up the audio side at all.
    CPlugin plugin(test.PluginPath());
    plugin.Dispatch(effOpen);
    RequestScale(test, plugin);
    std::string why;
    auto window = CParentWindow::Create(0, 0, why);
    if (!window) {
        Stop(EOutcome::Skip, why);
    }
    for (int round = 0; round < 3; ++round) {
        OpenEditor(test, plugin, *window, false);
        window->Pump(plugin, 100);
        CloseEditor(plugin, *window);
    }
    window.reset();
    plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    plugin.Dispatch(effSetBlockSize, 0, 512);
    if (plugin.Record().processReplacing != nullptr && plugin.Record().numOutputs > 0) {
        plugin.Resume();
        CRandom random(TestSeed(test.Seed(), "editor-stress"));
        CAudioBuffers buffers(plugin.Record().numInputs, plugin.Record().numOutputs, 512);
        buffers.Prepare(512, true, random);
        ProcessChecked(test, plugin, buffers, 512);
        const std::string fault = buffers.Judge(512, "the first block after the editor");
        test.Check(fault.empty(), fault);
    }
    plugin.Close();
    test.Note("12 times, then 3 times before any sample rate");
}

} // namespace VLM
