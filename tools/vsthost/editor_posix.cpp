// Linux: the tool hosts no X11 window; a plug-in that can open an editor without a parent
// gets one anyway, idled until the time is up or the user interrupts.
#include "editor.h"

#include "errors.h"
#include "plugin.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace VLM {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    gInterrupted = 1;
}

} // namespace

CEditorWindow::CEditorWindow(CPlugin& effect) : plugin(effect) {
    ERect* rect = nullptr;
    plugin.Dispatch(effEditGetRect, 0, 0, &rect);
    if (rect != nullptr) {
        width = rect->right - rect->left;
        height = rect->bottom - rect->top;
    }
    if (plugin.Dispatch(effEditOpen, 0, 0, nullptr) == 0) {
        throw Exceptions::HostFailure("the plug-in has no Linux editor (effEditOpen answered 0)");
    }
    editorOpen = true;
}

CEditorWindow::~CEditorWindow() {
    if (editorOpen) {
        plugin.Dispatch(effEditClose);
    }
}

void CEditorWindow::Run(double seconds) {
    std::signal(SIGINT, OnInterrupt);
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         std::chrono::duration<double>(seconds > 0.0 ? seconds : 1.0e9));
    while (gInterrupted == 0 && std::chrono::steady_clock::now() < end) {
        plugin.Dispatch(effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::signal(SIGINT, SIG_DFL);
}

} // namespace VLM
