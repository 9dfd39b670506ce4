// A small LV2 host for the UI test: the bundle's plug-in through lilv, its UI in an X window
// of this program's own with instance-access, touch, resize and the scale option, and an
// audio loop that applies the UI's port writes before each run and sends them back to the UI
// as a host does. It prints what the UI asks of the host (touch, write, resize) and takes
// commands on standard input: "set PORT VALUE" (a change of the host's own), "quit".
// Usage: lv2_ui_host BUNDLE_DIR [--scale F]
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUri = "https://velmora.example/plugins/tarvix";
constexpr std::uint32_t kControls = 11;
constexpr std::uint32_t kBlock = 256;

std::map<std::string, LV2_URID> ids;
LV2_URID Map(LV2_URID_Map_Handle, const char* uri) {
    auto found = ids.find(uri);
    if (found != ids.end()) {
        return found->second;
    }
    const auto id = static_cast<LV2_URID>(ids.size() + 1);
    ids[uri] = id;
    return id;
}

struct Host {
    float controls[kControls] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    // Writes from the UI, applied before the next run as a host's ring buffer hands them over.
    std::vector<std::pair<std::uint32_t, float>> pending;
    Display* display = nullptr;
    Window window = 0;
};

void Write(LV2UI_Controller controller, std::uint32_t port, std::uint32_t size,
           std::uint32_t format, const void* buffer) {
    auto* host = static_cast<Host*>(controller);
    if (format != 0 || size != sizeof(float) || port >= kControls) {
        std::printf("bad write port=%u size=%u format=%u\n", port, size, format);
        return;
    }
    float value = 0.0f;
    std::memcpy(&value, buffer, sizeof value);
    std::printf("write port=%u value=%.6f\n", port, static_cast<double>(value));
    host->pending.emplace_back(port, value);
}

void Touch(LV2UI_Feature_Handle, std::uint32_t port, bool grabbed) {
    std::printf("touch port=%u grabbed=%d\n", port, grabbed ? 1 : 0);
}

int Resize(LV2UI_Feature_Handle handle, int width, int height) {
    auto* host = static_cast<Host*>(handle);
    std::printf("resize %d %d\n", width, height);
    XResizeWindow(host->display, host->window, static_cast<unsigned>(width),
                  static_cast<unsigned>(height));
    XFlush(host->display);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lv2_ui_host BUNDLE_DIR [--scale F]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    float scale = 0.0f;
    if (argc == 4 && std::strcmp(argv[2], "--scale") == 0) {
        scale = std::strtof(argv[3], nullptr);
    }
    Host host;
    host.display = XOpenDisplay(nullptr);
    if (host.display == nullptr) {
        std::fprintf(stderr, "lv2_ui_host: no X display\n");
        return 77;
    }

    LilvWorld* world = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, (std::string(argv[1]) + "/").c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world, kUri);
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    if (plugin == nullptr) {
        std::fprintf(stderr, "lv2_ui_host: no plug-in %s in %s\n", kUri, argv[1]);
        return 1;
    }
    LV2_URID_Map map{nullptr, Map};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* pluginFeatures[] = {&mapFeature, nullptr};
    LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, pluginFeatures);
    if (instance == nullptr) {
        std::fprintf(stderr, "lv2_ui_host: the plug-in did not instantiate\n");
        return 1;
    }
    std::vector<float> audio[4];
    for (std::uint32_t p = 0; p < kControls; ++p) {
        lilv_instance_connect_port(instance, p, &host.controls[p]);
    }
    for (std::uint32_t c = 0; c < 4; ++c) {
        audio[c].assign(kBlock, 0.0f);
        lilv_instance_connect_port(instance, kControls + c, audio[c].data());
    }
    lilv_instance_activate(instance);

    host.window =
        XCreateSimpleWindow(host.display, DefaultRootWindow(host.display), 0, 0, 400, 200, 0, 0, 0);
    XStoreName(host.display, host.window, "lv2 ui host");
    XMapWindow(host.display, host.window);
    XFlush(host.display);

    LilvUIs* uis = lilv_plugin_get_uis(plugin);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    lilv_free(path);
    auto* entry =
        library != nullptr
            ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))
            : nullptr;
    const LV2UI_Descriptor* descriptor = entry != nullptr ? entry(0) : nullptr;
    if (descriptor == nullptr) {
        std::fprintf(stderr, "lv2_ui_host: no UI descriptor\n");
        return 1;
    }
    LV2UI_Touch touch{&host, Touch};
    LV2UI_Resize resize{&host, Resize};
    const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0,
                                           Map(nullptr, LV2_UI__scaleFactor), sizeof(float),
                                           Map(nullptr, LV2_ATOM__Float), &scale},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    LV2_Feature accessFeature{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(instance)};
    LV2_Feature parentFeature{LV2_UI__parent,
                              reinterpret_cast<void*>(static_cast<std::uintptr_t>(host.window))};
    LV2_Feature touchFeature{LV2_UI__touch, &touch};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* uiFeatures[] = {&mapFeature,    &accessFeature,
                                       &parentFeature, &touchFeature,
                                       &resizeFeature, scale > 0.0f ? &optionsFeature : nullptr,
                                       nullptr};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle =
        descriptor->instantiate(descriptor, kUri, argv[1], Write, &host, &widget, uiFeatures);
    if (handle == nullptr) {
        std::printf("the UI did not open\n");
        return 1;
    }
    const auto* idle =
        static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    // The widget must be the editor's window, a child of ours.
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    bool isChild = false;
    if (XQueryTree(host.display, host.window, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            isChild = isChild || children[i] == reinterpret_cast<std::uintptr_t>(widget);
        }
        XFree(children);
    }
    std::printf("widget %s\n", isChild ? "is the editor, a child of the host's window"
                                       : "is not a child of the host's window");
    std::printf("ready\n");

    fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
    std::string input;
    bool running = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (running && std::chrono::steady_clock::now() < end) {
        char buffer[256];
        const ssize_t got = read(0, buffer, sizeof buffer);
        if (got > 0) {
            input.append(buffer, static_cast<std::size_t>(got));
        }
        for (std::size_t eol; (eol = input.find('\n')) != std::string::npos;) {
            const std::string line = input.substr(0, eol);
            input.erase(0, eol + 1);
            unsigned port = 0;
            float value = 0.0f;
            if (line == "quit") {
                running = false;
            } else if (std::sscanf(line.c_str(), "set %u %f", &port, &value) == 2 &&
                       port < kControls) {
                // A change of the host's own: the port, and the UI told of it.
                host.controls[port] = value;
                descriptor->port_event(handle, port, sizeof value, 0, &value);
                std::printf("set port=%u value=%.6f\n", port, static_cast<double>(value));
            }
        }
        for (const auto& [port, value] : host.pending) {
            host.controls[port] = value;
        }
        lilv_instance_run(instance, kBlock);
        // The host tells the UI the values the plug-in now runs with, its own writes included.
        for (const auto& [port, value] : host.pending) {
            descriptor->port_event(handle, port, sizeof value, 0, &value);
        }
        host.pending.clear();
        if (idle != nullptr && idle->idle(handle) != 0) {
            running = false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    descriptor->cleanup(handle);
    lilv_uis_free(uis);
    XDestroyWindow(host.display, host.window);
    XCloseDisplay(host.display);
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
    dlclose(library);
    lilv_world_free(world);
    std::printf("closed\n");
    for (std::uint32_t p = 0; p < kControls; ++p) {
        std::printf("port %u = %.6f\n", p, static_cast<double>(host.controls[p]));
    }
    return 0;
}
