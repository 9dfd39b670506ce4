#include "formats/vst3/vst3view.h"

#include "formats/vst3/vst3effect.h"

#include <cmath>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace VLM {

using namespace Vst3;

namespace {

constexpr float kMinScale = 1.0f;
constexpr float kMaxScale = 2.0f;
// The editor's redraw period, as the VST2 host's idle calls give it.
constexpr TimerInterval kIdleMs = 20;

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;

// The idle call from the host's message loop; the timer's id is the component.
VOID CALLBACK IdleTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    reinterpret_cast<CVst3Effect*>(id)->Host().IdleEditor();
}
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif

} // namespace

CVst3View::CVst3View(CVst3Effect& effect) : owner(&effect) {
    owner->addRef();
}

CVst3View::~CVst3View() {
    Close();
    if (frame != nullptr) {
        frame->release();
    }
    if (owner != nullptr) {
        owner->ViewGone(this);
        owner->release();
    }
}

tresult CVst3View::queryInterface(const TUID iid, void** obj) {
    if (obj == nullptr) {
        return kInvalidArgument;
    }
    *obj = nullptr;
    if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPlugViewIid)) {
        *obj = static_cast<IPlugView*>(this);
    } else if (SameUid(iid, kIPlugViewContentScaleSupportIid)) {
        *obj = static_cast<IPlugViewContentScaleSupport*>(this);
#if !defined(_WIN32)
    } else if (SameUid(iid, kITimerHandlerIid)) {
        *obj = static_cast<ITimerHandler*>(this);
    } else if (SameUid(iid, kIEventHandlerIid)) {
        *obj = static_cast<IEventHandler*>(this);
#endif
    } else {
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 CVst3View::addRef() {
    return references.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32 CVst3View::release() {
    const uint32 left = references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

tresult CVst3View::isPlatformTypeSupported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult CVst3View::attached(void* parent, FIDString type) {
    if (parent == nullptr || isPlatformTypeSupported(type) != kResultTrue) {
        return kInvalidArgument;
    }
    if (owner == nullptr || owner->Host().IsEditorOpen()) {
        return kResultFalse;
    }
#if defined(_WIN32)
    if (!owner->Host().OpenEditor(parent)) {
        return kResultFalse;
    }
    // The editor draws from its window's own timer; the idle call also reports the IN switch.
    parentWindow = parent;
    timerRunning = SetTimer(static_cast<HWND>(parent), reinterpret_cast<UINT_PTR>(owner),
                            static_cast<UINT>(kIdleMs), &IdleTimerProc) != 0;
    return kResultOk;
#else
    // The editor's tick and its display connection are served by the host's run loop: without
    // one the editor would never draw, so it is not opened.
    void* loop = nullptr;
    if (frame == nullptr || frame->queryInterface(kIRunLoopIid.bytes, &loop) != kResultOk ||
        loop == nullptr) {
        return kResultFalse;
    }
    runLoop = static_cast<IRunLoop*>(loop);
    // The X window id travels in the pointer's bits.
    if (!owner->Host().OpenEditor(parent)) {
        runLoop->release();
        runLoop = nullptr;
        return kResultFalse;
    }
    timerRegistered =
        runLoop->registerTimer(static_cast<ITimerHandler*>(this), kIdleMs) == kResultOk;
    const int fd = owner->Host().EditorEventSource();
    eventsRegistered = fd >= 0 && runLoop->registerEventHandler(static_cast<IEventHandler*>(this),
                                                                fd) == kResultOk;
    return kResultOk;
#endif
}

tresult CVst3View::removed() {
    Close();
    return kResultOk;
}

void CVst3View::Close() {
#if defined(_WIN32)
    if (timerRunning) {
        KillTimer(static_cast<HWND>(parentWindow), reinterpret_cast<UINT_PTR>(owner));
        timerRunning = false;
    }
    parentWindow = nullptr;
#else
    if (runLoop != nullptr) {
        if (eventsRegistered) {
            runLoop->unregisterEventHandler(static_cast<IEventHandler*>(this));
        }
        if (timerRegistered) {
            runLoop->unregisterTimer(static_cast<ITimerHandler*>(this));
        }
        eventsRegistered = false;
        timerRegistered = false;
        runLoop->release();
        runLoop = nullptr;
    }
#endif
    if (owner != nullptr) {
        owner->Host().CloseEditor();
    }
}

tresult CVst3View::onWheel(float /*distance*/) {
    // The editor's window gets the wheel from the window system itself.
    return kResultFalse;
}

tresult CVst3View::onKeyDown(char16 /*key*/, int16 /*keyCode*/, int16 /*modifiers*/) {
    return kResultFalse;
}

tresult CVst3View::onKeyUp(char16 /*key*/, int16 /*keyCode*/, int16 /*modifiers*/) {
    return kResultFalse;
}

tresult CVst3View::getSize(ViewRect* size) {
    if (size == nullptr) {
        return kInvalidArgument;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (owner == nullptr || !owner->Host().EditorSize(width, height)) {
        return kResultFalse;
    }
    *size = ViewRect{0, 0, width, height};
    return kResultOk;
}

tresult CVst3View::onSize(ViewRect* newSize) {
    // The editor has the size its scale gives; the host's rectangle is taken as told.
    return newSize != nullptr ? kResultOk : kInvalidArgument;
}

tresult CVst3View::onFocus(TBool /*state*/) {
    return kResultOk;
}

tresult CVst3View::setFrame(IPlugFrame* newFrame) {
    if (newFrame != nullptr) {
        newFrame->addRef();
    }
    if (frame != nullptr) {
        frame->release();
    }
    frame = newFrame;
    return kResultOk;
}

tresult CVst3View::canResize() {
    return kResultFalse;
}

tresult CVst3View::checkSizeConstraint(ViewRect* rect) {
    if (rect == nullptr) {
        return kInvalidArgument;
    }
    ViewRect size{};
    if (getSize(&size) != kResultOk) {
        return kResultFalse;
    }
    rect->right = rect->left + size.right;
    rect->bottom = rect->top + size.bottom;
    return kResultOk;
}

tresult CVst3View::setContentScaleFactor(ScaleFactor factor) {
    if (owner == nullptr || std::isnan(factor)) {
        return kInvalidArgument;
    }
    factor = factor < kMinScale ? kMinScale : (factor > kMaxScale ? kMaxScale : factor);
    // With the editor open the effect asks for its new size, and the frame is asked in turn.
    return owner->Host().SetEditorScale(factor) ? kResultOk : kResultFalse;
}

#if !defined(_WIN32)
void CVst3View::onTimer() {
    if (owner != nullptr) {
        owner->Host().IdleEditor();
    }
}

void CVst3View::onFDIsSet(FileDescriptor /*fd*/) {
    if (owner != nullptr) {
        owner->Host().IdleEditor();
    }
}
#endif

bool CVst3View::RequestResize(int32 width, int32 height) {
    if (frame == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    ViewRect size{0, 0, width, height};
    return frame->resizeView(this, &size) == kResultOk;
}

void CVst3View::Detach() {
    Close();
    owner = nullptr;
}

} // namespace VLM
