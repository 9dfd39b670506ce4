// The editor as a VST3 view: the effect's own 900 x 258 editor, opened into the host's window.
// On Linux the host's run loop serves it (a 20 ms timer and the display connection's file
// descriptor); on Windows the window's own message loop does, with a timer for the idle call.
#pragma once

#include "vst3/vst3.h"

#include <atomic>
#include <cstdint>

namespace VLM {

class CVst3Effect;

class CVst3View final : public Vst3::IPlugView,
                        public Vst3::IPlugViewContentScaleSupport
#if !defined(_WIN32)
    ,
                        public Vst3::ITimerHandler,
                        public Vst3::IEventHandler
#endif
{
public:
    // [UI thread] The view keeps the component alive until it is released.
    explicit CVst3View(CVst3Effect& owner);

    // FUnknown [UI thread]
    Vst3::tresult VLM_VST3CALL queryInterface(const Vst3::TUID iid, void** obj) override;
    Vst3::uint32 VLM_VST3CALL addRef() override;
    Vst3::uint32 VLM_VST3CALL release() override;

    // IPlugView [UI thread]
    Vst3::tresult VLM_VST3CALL isPlatformTypeSupported(Vst3::FIDString type) override;
    Vst3::tresult VLM_VST3CALL attached(void* parent, Vst3::FIDString type) override;
    Vst3::tresult VLM_VST3CALL removed() override;
    Vst3::tresult VLM_VST3CALL onWheel(float distance) override;
    Vst3::tresult VLM_VST3CALL onKeyDown(Vst3::char16 key, Vst3::int16 keyCode,
                                         Vst3::int16 modifiers) override;
    Vst3::tresult VLM_VST3CALL onKeyUp(Vst3::char16 key, Vst3::int16 keyCode,
                                       Vst3::int16 modifiers) override;
    Vst3::tresult VLM_VST3CALL getSize(Vst3::ViewRect* size) override;
    Vst3::tresult VLM_VST3CALL onSize(Vst3::ViewRect* newSize) override;
    Vst3::tresult VLM_VST3CALL onFocus(Vst3::TBool state) override;
    Vst3::tresult VLM_VST3CALL setFrame(Vst3::IPlugFrame* frame) override;
    Vst3::tresult VLM_VST3CALL canResize() override;
    Vst3::tresult VLM_VST3CALL checkSizeConstraint(Vst3::ViewRect* rect) override;

    // IPlugViewContentScaleSupport [UI thread]: the drawing scale, kept within 1..2.
    Vst3::tresult VLM_VST3CALL setContentScaleFactor(Vst3::ScaleFactor factor) override;

#if !defined(_WIN32)
    // ITimerHandler, IEventHandler [UI thread] (from the host's run loop)
    void VLM_VST3CALL onTimer() override;
    void VLM_VST3CALL onFDIsSet(Vst3::FileDescriptor fd) override;
#endif

    // The effect asks for a new size (a scale change): the frame is asked to resize. [UI thread]
    bool RequestResize(Vst3::int32 width, Vst3::int32 height);
    // The component is going away: the view closes its editor and forgets it. [UI thread]
    void Detach();

private:
    ~CVst3View();
    void Close();

    std::atomic<Vst3::uint32> references{1};
    CVst3Effect* owner;
    Vst3::IPlugFrame* frame = nullptr;
#if defined(_WIN32)
    void* parentWindow = nullptr;
    bool timerRunning = false;
#else
    Vst3::IRunLoop* runLoop = nullptr;
    bool timerRegistered = false;
    bool eventsRegistered = false;
#endif
};

} // namespace VLM
