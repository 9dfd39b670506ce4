// The LV2 UI: the effect's own editor in the host's window. It reaches the plug-in instance
// through instance-access and opens that instance's editor; the user's edits go to the host as
// port writes framed by touch, and values the host sets reach the effect without coming back.
#include "formats/lv2/lv2instance.h"

#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <X11/Xlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace VLM {
namespace Lv2 {
namespace {

// Refusals are the host's to show; a host without a log still gets the reason on stderr.
void SayRefused(const char* why) {
    std::fprintf(stderr, "VLM Tarvix: no editor: %s; the host's generic controls still work\n",
                 why);
}

// The editor's X window: the newest child of the host's window, as the host must be told it.
unsigned long EditorWindowIn(unsigned long parent) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 0;
    }
    Window root = 0;
    Window parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(display, parent, &root, &parentOfParent, &children, &count) != 0 &&
        children != nullptr) {
        if (count > 0) {
            found = children[count - 1];
        }
        XFree(children);
    }
    XCloseDisplay(display);
    return found;
}

class Ui final : public CEffectHost::Listener {
public:
    Instance* instance = nullptr;
    LV2UI_Write_Function write = nullptr;
    LV2UI_Controller controller = nullptr;
    const LV2UI_Resize* resize = nullptr;
    const LV2UI_Touch* touch = nullptr;
    LV2_URID scaleKey = 0;
    LV2_URID floatType = 0;
    // The values this UI last wrote to each port: the host sending one back is no new value.
    float written[kControlPorts];

    Ui() {
        for (float& value : written) {
            value = std::numeric_limits<float>::quiet_NaN();
        }
    }

    CEffectHost& Host() { return *instance->host; }

    // [UI thread]
    void EditBegun(std::int32_t index) override {
        if (touch != nullptr && touch->touch != nullptr && IsPort(index)) {
            touch->touch(touch->handle, static_cast<std::uint32_t>(index), true);
        }
    }
    void Edited(std::int32_t index, float value) override {
        if (write == nullptr || !IsPort(index)) {
            return;
        }
        const auto port = static_cast<std::uint32_t>(index);
        const float portValue = PortValueOf(port, value);
        written[port] = portValue;
        write(controller, port, sizeof portValue, 0, &portValue);
    }
    void EditEnded(std::int32_t index) override {
        if (touch != nullptr && touch->touch != nullptr && IsPort(index)) {
            touch->touch(touch->handle, static_cast<std::uint32_t>(index), false);
        }
    }
    bool ResizeRequested(std::int32_t width, std::int32_t height) override {
        return resize != nullptr && resize->ui_resize != nullptr &&
               resize->ui_resize(resize->handle, width, height) == 0;
    }

    // [UI thread] The scale from the host's options, when it gives one as a float.
    void TakeOptions(const LV2_Options_Option* options) {
        for (; options != nullptr && options->key != 0; ++options) {
            if (options->key == scaleKey && scaleKey != 0 && options->type == floatType &&
                options->size == sizeof(float) && options->value != nullptr) {
                float factor = 0.0f;
                std::memcpy(&factor, options->value, sizeof factor);
                if (std::isfinite(factor) && factor > 0.0f) {
                    Host().SetEditorScale(factor);
                }
            }
        }
    }

private:
    static bool IsPort(std::int32_t index) {
        return index >= 0 && static_cast<std::uint32_t>(index) < kControlPorts;
    }
};

// [UI thread]
LV2UI_Handle Instantiate(const LV2UI_Descriptor* /*descriptor*/, const char* pluginUri,
                         const char* /*bundlePath*/, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
    if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0) {
        SayRefused("the UI belongs to another plug-in");
        return nullptr;
    }
    auto* instance =
        static_cast<Instance*>(const_cast<void*>(FindFeature(features, LV2_INSTANCE_ACCESS_URI)));
    if (instance == nullptr || !instance->host) {
        SayRefused("the host does not offer instance-access");
        return nullptr;
    }
    const void* parent = FindFeature(features, LV2_UI__parent);
    if (parent == nullptr) {
        SayRefused("the host gives no parent window (ui:parent)");
        return nullptr;
    }
    if (instance->uiAttached.exchange(true)) {
        SayRefused("this instance's editor is open already");
        return nullptr;
    }
    Ui* ui = nullptr;
    try {
        ui = new Ui;
    } catch (...) {
        instance->uiAttached.store(false);
        return nullptr;
    }
    ui->instance = instance;
    ui->write = write;
    ui->controller = controller;
    ui->resize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
    ui->touch = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch));
    const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
    if (map != nullptr && map->map != nullptr) {
        ui->scaleKey = map->map(map->handle, LV2_UI__scaleFactor);
        ui->floatType = map->map(map->handle, LV2_ATOM__Float);
    }
    ui->TakeOptions(
        static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options)));

    CEffectHost& host = ui->Host();
    host.SetListener(ui);
    if (!host.OpenEditor(const_cast<void*>(parent))) {
        host.SetListener(nullptr);
        instance->uiAttached.store(false);
        delete ui;
        SayRefused("the editor window could not be opened");
        return nullptr;
    }
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (ui->resize != nullptr && ui->resize->ui_resize != nullptr &&
        host.EditorSize(width, height)) {
        ui->resize->ui_resize(ui->resize->handle, width, height);
    }
    if (widget != nullptr) {
        const unsigned long window = EditorWindowIn(reinterpret_cast<std::uintptr_t>(parent));
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(window));
    }
    return ui;
}

// [UI thread]
void Cleanup(LV2UI_Handle handle) {
    auto* ui = static_cast<Ui*>(handle);
    CEffectHost& host = ui->Host();
    host.CloseEditor();
    host.SetListener(nullptr);
    ui->instance->uiAttached.store(false);
    delete ui;
}

// [UI thread] A value the host set: the effect takes it (the DSP side may have already) and
// the fader follows; the effect never reports it back as the user's edit.
void PortEvent(LV2UI_Handle handle, std::uint32_t port, std::uint32_t size, std::uint32_t format,
               const void* buffer) {
    auto* ui = static_cast<Ui*>(handle);
    if (format != 0 || size != sizeof(float) || buffer == nullptr || port >= kControlPorts) {
        return;
    }
    float value = 0.0f;
    std::memcpy(&value, buffer, sizeof value);
    if (value == ui->written[port]) {
        // The host confirms this UI's own write; a drag may already have moved on from it.
        return;
    }
    ui->written[port] = std::numeric_limits<float>::quiet_NaN();
    ApplyPortValue(ui->Host(), port, value);
}

// [UI thread] Draws the editor and serves its window's events.
int Idle(LV2UI_Handle handle) {
    static_cast<Ui*>(handle)->Host().IdleEditor();
    return 0;
}

std::uint32_t GetOptions(LV2_Handle /*handle*/, LV2_Options_Option* /*options*/) {
    return LV2_OPTIONS_ERR_UNKNOWN;
}

// [UI thread] A new scale from the host; the editor asks for its new size through ui:resize.
std::uint32_t SetOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    static_cast<Ui*>(handle)->TakeOptions(options);
    return LV2_OPTIONS_SUCCESS;
}

const void* ExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle = {Idle};
    static const LV2_Options_Interface options = {GetOptions, SetOptions};
    if (uri == nullptr) {
        return nullptr;
    }
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) {
        return &idle;
    }
    if (std::strcmp(uri, LV2_OPTIONS__interface) == 0) {
        return &options;
    }
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {kUiUri, Instantiate, Cleanup, PortEvent, ExtensionData};

} // namespace
} // namespace Lv2
} // namespace VLM

// The bundle's one UI.
LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
    return index == 0 ? &VLM::Lv2::kDescriptor : nullptr;
}
