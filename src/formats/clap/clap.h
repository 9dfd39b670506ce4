// The CLAP 1.x interface as far as this product and its host tool use it: the entry, the plug-in
// factory, the plug-in and host records, process data and events, and the extensions audio-ports,
// params, state, latency, gui, timer-support and posix-fd-support (both sides). Written from the
// interface's public definition; names, ids, layouts and the calling convention are the
// interface's, and the layouts are asserted below for 64-bit targets.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VLM_CLAP_ABI __cdecl
#else
#define VLM_CLAP_ABI
#endif

extern "C" {

// ---- Basics -------------------------------------------------------------------------------------

typedef std::uint32_t clap_id;
static const clap_id CLAP_INVALID_ID = UINT32_MAX;

// Sizes of the text fields hosts and plug-ins fill in.
enum { CLAP_NAME_SIZE = 256, CLAP_PATH_SIZE = 1024 };

typedef struct clap_version {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t revision;
} clap_version_t;

// The interface version this code was written against.
static const clap_version_t kClapVersion = {1, 1, 8};

inline bool ClapVersionIsCompatible(const clap_version_t& v) {
    return v.major >= 1;
}

// ---- Host ---------------------------------------------------------------------------------------

typedef struct clap_host {
    clap_version_t clap_version;
    void* host_data;
    const char* name;
    const char* vendor;
    const char* url;
    const char* version;
    const void*(VLM_CLAP_ABI* get_extension)(const struct clap_host* host, const char* id);
    void(VLM_CLAP_ABI* request_restart)(const struct clap_host* host);
    void(VLM_CLAP_ABI* request_process)(const struct clap_host* host);
    void(VLM_CLAP_ABI* request_callback)(const struct clap_host* host);
} clap_host_t;

// ---- Events -------------------------------------------------------------------------------------

typedef struct clap_event_header {
    std::uint32_t size;
    std::uint32_t time;
    std::uint16_t space_id;
    std::uint16_t type;
    std::uint32_t flags;
} clap_event_header_t;

static const std::uint16_t CLAP_CORE_EVENT_SPACE_ID = 0;

enum clap_event_flags {
    CLAP_EVENT_IS_LIVE = 1 << 0,
    CLAP_EVENT_DONT_RECORD = 1 << 1,
};

enum {
    CLAP_EVENT_NOTE_ON = 0,
    CLAP_EVENT_NOTE_OFF = 1,
    CLAP_EVENT_NOTE_CHOKE = 2,
    CLAP_EVENT_NOTE_END = 3,
    CLAP_EVENT_NOTE_EXPRESSION = 4,
    CLAP_EVENT_PARAM_VALUE = 5,
    CLAP_EVENT_PARAM_MOD = 6,
    CLAP_EVENT_PARAM_GESTURE_BEGIN = 7,
    CLAP_EVENT_PARAM_GESTURE_END = 8,
    CLAP_EVENT_TRANSPORT = 9,
    CLAP_EVENT_MIDI = 10,
    CLAP_EVENT_MIDI_SYSEX = 11,
    CLAP_EVENT_MIDI2 = 12,
};

typedef struct clap_event_param_value {
    clap_event_header_t header;
    clap_id param_id;
    void* cookie;
    std::int32_t note_id;
    std::int16_t port_index;
    std::int16_t channel;
    std::int16_t key;
    double value;
} clap_event_param_value_t;

typedef struct clap_event_param_gesture {
    clap_event_header_t header;
    clap_id param_id;
} clap_event_param_gesture_t;

// Only passed along by pointer here.
typedef struct clap_event_transport clap_event_transport_t;

typedef struct clap_input_events {
    void* ctx;
    std::uint32_t(VLM_CLAP_ABI* size)(const struct clap_input_events* list);
    const clap_event_header_t*(VLM_CLAP_ABI* get)(const struct clap_input_events* list,
                                                  std::uint32_t index);
} clap_input_events_t;

typedef struct clap_output_events {
    void* ctx;
    bool(VLM_CLAP_ABI* try_push)(const struct clap_output_events* list,
                                 const clap_event_header_t* event);
} clap_output_events_t;

// ---- Audio and process --------------------------------------------------------------------------

typedef struct clap_audio_buffer {
    float** data32;
    double** data64;
    std::uint32_t channel_count;
    std::uint32_t latency;
    std::uint64_t constant_mask;
} clap_audio_buffer_t;

enum {
    CLAP_PROCESS_ERROR = 0,
    CLAP_PROCESS_CONTINUE = 1,
    CLAP_PROCESS_CONTINUE_IF_NOT_QUIET = 2,
    CLAP_PROCESS_TAIL = 3,
    CLAP_PROCESS_SLEEP = 4,
};
typedef std::int32_t clap_process_status;

typedef struct clap_process {
    std::int64_t steady_time;
    std::uint32_t frames_count;
    const clap_event_transport_t* transport;
    const clap_audio_buffer_t* audio_inputs;
    clap_audio_buffer_t* audio_outputs;
    std::uint32_t audio_inputs_count;
    std::uint32_t audio_outputs_count;
    const clap_input_events_t* in_events;
    const clap_output_events_t* out_events;
} clap_process_t;

// ---- Plug-in, factory, entry --------------------------------------------------------------------

typedef struct clap_plugin_descriptor {
    clap_version_t clap_version;
    const char* id;
    const char* name;
    const char* vendor;
    const char* url;
    const char* manual_url;
    const char* support_url;
    const char* version;
    const char* description;
    const char* const* features;
} clap_plugin_descriptor_t;

typedef struct clap_plugin {
    const clap_plugin_descriptor_t* desc;
    void* plugin_data;
    bool(VLM_CLAP_ABI* init)(const struct clap_plugin* plugin);
    void(VLM_CLAP_ABI* destroy)(const struct clap_plugin* plugin);
    bool(VLM_CLAP_ABI* activate)(const struct clap_plugin* plugin, double sample_rate,
                                 std::uint32_t min_frames_count, std::uint32_t max_frames_count);
    void(VLM_CLAP_ABI* deactivate)(const struct clap_plugin* plugin);
    bool(VLM_CLAP_ABI* start_processing)(const struct clap_plugin* plugin);
    void(VLM_CLAP_ABI* stop_processing)(const struct clap_plugin* plugin);
    void(VLM_CLAP_ABI* reset)(const struct clap_plugin* plugin);
    clap_process_status(VLM_CLAP_ABI* process)(const struct clap_plugin* plugin,
                                               const clap_process_t* process);
    const void*(VLM_CLAP_ABI* get_extension)(const struct clap_plugin* plugin, const char* id);
    void(VLM_CLAP_ABI* on_main_thread)(const struct clap_plugin* plugin);
} clap_plugin_t;

static const char CLAP_PLUGIN_FACTORY_ID[] = "clap.plugin-factory";

typedef struct clap_plugin_factory {
    std::uint32_t(VLM_CLAP_ABI* get_plugin_count)(const struct clap_plugin_factory* factory);
    const clap_plugin_descriptor_t*(VLM_CLAP_ABI* get_plugin_descriptor)(
        const struct clap_plugin_factory* factory, std::uint32_t index);
    const clap_plugin_t*(VLM_CLAP_ABI* create_plugin)(const struct clap_plugin_factory* factory,
                                                      const clap_host_t* host,
                                                      const char* plugin_id);
} clap_plugin_factory_t;

typedef struct clap_plugin_entry {
    clap_version_t clap_version;
    bool(VLM_CLAP_ABI* init)(const char* plugin_path);
    void(VLM_CLAP_ABI* deinit)(void);
    const void*(VLM_CLAP_ABI* get_factory)(const char* factory_id);
} clap_plugin_entry_t;

// ---- Extension: audio ports ---------------------------------------------------------------------

static const char CLAP_EXT_AUDIO_PORTS[] = "clap.audio-ports";
static const char CLAP_PORT_MONO[] = "mono";
static const char CLAP_PORT_STEREO[] = "stereo";

enum {
    CLAP_AUDIO_PORT_IS_MAIN = 1 << 0,
    CLAP_AUDIO_PORT_SUPPORTS_64BITS = 1 << 1,
    CLAP_AUDIO_PORT_PREFERS_64BITS = 1 << 2,
    CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE = 1 << 3,
};

typedef struct clap_audio_port_info {
    clap_id id;
    char name[CLAP_NAME_SIZE];
    std::uint32_t flags;
    std::uint32_t channel_count;
    const char* port_type;
    clap_id in_place_pair;
} clap_audio_port_info_t;

typedef struct clap_plugin_audio_ports {
    std::uint32_t(VLM_CLAP_ABI* count)(const clap_plugin_t* plugin, bool is_input);
    bool(VLM_CLAP_ABI* get)(const clap_plugin_t* plugin, std::uint32_t index, bool is_input,
                            clap_audio_port_info_t* info);
} clap_plugin_audio_ports_t;

// ---- Extension: params --------------------------------------------------------------------------

static const char CLAP_EXT_PARAMS[] = "clap.params";

enum {
    CLAP_PARAM_IS_STEPPED = 1 << 0,
    CLAP_PARAM_IS_PERIODIC = 1 << 1,
    CLAP_PARAM_IS_HIDDEN = 1 << 2,
    CLAP_PARAM_IS_READONLY = 1 << 3,
    CLAP_PARAM_IS_BYPASS = 1 << 4,
    CLAP_PARAM_IS_AUTOMATABLE = 1 << 5,
    CLAP_PARAM_IS_AUTOMATABLE_PER_NOTE_ID = 1 << 6,
    CLAP_PARAM_IS_AUTOMATABLE_PER_KEY = 1 << 7,
    CLAP_PARAM_IS_AUTOMATABLE_PER_CHANNEL = 1 << 8,
    CLAP_PARAM_IS_AUTOMATABLE_PER_PORT = 1 << 9,
    CLAP_PARAM_IS_MODULATABLE = 1 << 10,
    CLAP_PARAM_REQUIRES_PROCESS = 1 << 15,
};
typedef std::uint32_t clap_param_info_flags;

typedef struct clap_param_info {
    clap_id id;
    clap_param_info_flags flags;
    void* cookie;
    char name[CLAP_NAME_SIZE];
    char module[CLAP_PATH_SIZE];
    double min_value;
    double max_value;
    double default_value;
} clap_param_info_t;

typedef struct clap_plugin_params {
    std::uint32_t(VLM_CLAP_ABI* count)(const clap_plugin_t* plugin);
    bool(VLM_CLAP_ABI* get_info)(const clap_plugin_t* plugin, std::uint32_t param_index,
                                 clap_param_info_t* param_info);
    bool(VLM_CLAP_ABI* get_value)(const clap_plugin_t* plugin, clap_id param_id, double* out_value);
    bool(VLM_CLAP_ABI* value_to_text)(const clap_plugin_t* plugin, clap_id param_id, double value,
                                      char* out_buffer, std::uint32_t out_buffer_capacity);
    bool(VLM_CLAP_ABI* text_to_value)(const clap_plugin_t* plugin, clap_id param_id,
                                      const char* param_value_text, double* out_value);
    void(VLM_CLAP_ABI* flush)(const clap_plugin_t* plugin, const clap_input_events_t* in,
                              const clap_output_events_t* out);
} clap_plugin_params_t;

enum {
    CLAP_PARAM_RESCAN_VALUES = 1 << 0,
    CLAP_PARAM_RESCAN_TEXT = 1 << 1,
    CLAP_PARAM_RESCAN_INFO = 1 << 2,
    CLAP_PARAM_RESCAN_ALL = 1 << 3,
};
typedef std::uint32_t clap_param_rescan_flags;

enum {
    CLAP_PARAM_CLEAR_ALL = 1 << 0,
    CLAP_PARAM_CLEAR_AUTOMATIONS = 1 << 1,
    CLAP_PARAM_CLEAR_MODULATIONS = 1 << 2,
};
typedef std::uint32_t clap_param_clear_flags;

typedef struct clap_host_params {
    void(VLM_CLAP_ABI* rescan)(const clap_host_t* host, clap_param_rescan_flags flags);
    void(VLM_CLAP_ABI* clear)(const clap_host_t* host, clap_id param_id,
                              clap_param_clear_flags flags);
    void(VLM_CLAP_ABI* request_flush)(const clap_host_t* host);
} clap_host_params_t;

// ---- Extension: state ---------------------------------------------------------------------------

static const char CLAP_EXT_STATE[] = "clap.state";

typedef struct clap_istream {
    void* ctx;
    // Bytes read, 0 at the end, -1 on error.
    std::int64_t(VLM_CLAP_ABI* read)(const struct clap_istream* stream, void* buffer,
                                     std::uint64_t size);
} clap_istream_t;

typedef struct clap_ostream {
    void* ctx;
    // Bytes written, -1 on error.
    std::int64_t(VLM_CLAP_ABI* write)(const struct clap_ostream* stream, const void* buffer,
                                      std::uint64_t size);
} clap_ostream_t;

typedef struct clap_plugin_state {
    bool(VLM_CLAP_ABI* save)(const clap_plugin_t* plugin, const clap_ostream_t* stream);
    bool(VLM_CLAP_ABI* load)(const clap_plugin_t* plugin, const clap_istream_t* stream);
} clap_plugin_state_t;

typedef struct clap_host_state {
    void(VLM_CLAP_ABI* mark_dirty)(const clap_host_t* host);
} clap_host_state_t;

// ---- Extension: latency -------------------------------------------------------------------------

static const char CLAP_EXT_LATENCY[] = "clap.latency";

typedef struct clap_plugin_latency {
    std::uint32_t(VLM_CLAP_ABI* get)(const clap_plugin_t* plugin);
} clap_plugin_latency_t;

typedef struct clap_host_latency {
    void(VLM_CLAP_ABI* changed)(const clap_host_t* host);
} clap_host_latency_t;

// ---- Extension: gui -----------------------------------------------------------------------------

static const char CLAP_EXT_GUI[] = "clap.gui";
static const char CLAP_WINDOW_API_WIN32[] = "win32";
static const char CLAP_WINDOW_API_COCOA[] = "cocoa";
static const char CLAP_WINDOW_API_X11[] = "x11";
static const char CLAP_WINDOW_API_WAYLAND[] = "wayland";

typedef void* clap_hwnd;
typedef void* clap_nsview;
typedef unsigned long clap_xwnd;

typedef struct clap_window {
    const char* api;
    union {
        clap_nsview cocoa;
        clap_xwnd x11;
        clap_hwnd win32;
        void* ptr;
    };
} clap_window_t;

typedef struct clap_gui_resize_hints {
    bool can_resize_horizontally;
    bool can_resize_vertically;
    bool preserve_aspect_ratio;
    std::uint32_t aspect_ratio_width;
    std::uint32_t aspect_ratio_height;
} clap_gui_resize_hints_t;

typedef struct clap_plugin_gui {
    bool(VLM_CLAP_ABI* is_api_supported)(const clap_plugin_t* plugin, const char* api,
                                         bool is_floating);
    bool(VLM_CLAP_ABI* get_preferred_api)(const clap_plugin_t* plugin, const char** api,
                                          bool* is_floating);
    bool(VLM_CLAP_ABI* create)(const clap_plugin_t* plugin, const char* api, bool is_floating);
    void(VLM_CLAP_ABI* destroy)(const clap_plugin_t* plugin);
    bool(VLM_CLAP_ABI* set_scale)(const clap_plugin_t* plugin, double scale);
    bool(VLM_CLAP_ABI* get_size)(const clap_plugin_t* plugin, std::uint32_t* width,
                                 std::uint32_t* height);
    bool(VLM_CLAP_ABI* can_resize)(const clap_plugin_t* plugin);
    bool(VLM_CLAP_ABI* get_resize_hints)(const clap_plugin_t* plugin,
                                         clap_gui_resize_hints_t* hints);
    bool(VLM_CLAP_ABI* adjust_size)(const clap_plugin_t* plugin, std::uint32_t* width,
                                    std::uint32_t* height);
    bool(VLM_CLAP_ABI* set_size)(const clap_plugin_t* plugin, std::uint32_t width,
                                 std::uint32_t height);
    bool(VLM_CLAP_ABI* set_parent)(const clap_plugin_t* plugin, const clap_window_t* window);
    bool(VLM_CLAP_ABI* set_transient)(const clap_plugin_t* plugin, const clap_window_t* window);
    void(VLM_CLAP_ABI* suggest_title)(const clap_plugin_t* plugin, const char* title);
    bool(VLM_CLAP_ABI* show)(const clap_plugin_t* plugin);
    bool(VLM_CLAP_ABI* hide)(const clap_plugin_t* plugin);
} clap_plugin_gui_t;

typedef struct clap_host_gui {
    void(VLM_CLAP_ABI* resize_hints_changed)(const clap_host_t* host);
    bool(VLM_CLAP_ABI* request_resize)(const clap_host_t* host, std::uint32_t width,
                                       std::uint32_t height);
    bool(VLM_CLAP_ABI* request_show)(const clap_host_t* host);
    bool(VLM_CLAP_ABI* request_hide)(const clap_host_t* host);
    void(VLM_CLAP_ABI* closed)(const clap_host_t* host, bool was_destroyed);
} clap_host_gui_t;

// ---- Extension: timer support -------------------------------------------------------------------

static const char CLAP_EXT_TIMER_SUPPORT[] = "clap.timer-support";

typedef struct clap_plugin_timer_support {
    void(VLM_CLAP_ABI* on_timer)(const clap_plugin_t* plugin, clap_id timer_id);
} clap_plugin_timer_support_t;

typedef struct clap_host_timer_support {
    bool(VLM_CLAP_ABI* register_timer)(const clap_host_t* host, std::uint32_t period_ms,
                                       clap_id* timer_id);
    bool(VLM_CLAP_ABI* unregister_timer)(const clap_host_t* host, clap_id timer_id);
} clap_host_timer_support_t;

// ---- Extension: posix fd support ----------------------------------------------------------------

static const char CLAP_EXT_POSIX_FD_SUPPORT[] = "clap.posix-fd-support";

enum {
    CLAP_POSIX_FD_READ = 1 << 0,
    CLAP_POSIX_FD_WRITE = 1 << 1,
    CLAP_POSIX_FD_ERROR = 1 << 2,
};
typedef std::uint32_t clap_posix_fd_flags_t;

typedef struct clap_plugin_posix_fd_support {
    void(VLM_CLAP_ABI* on_fd)(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t flags);
} clap_plugin_posix_fd_support_t;

typedef struct clap_host_posix_fd_support {
    bool(VLM_CLAP_ABI* register_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(VLM_CLAP_ABI* modify_fd)(const clap_host_t* host, int fd, clap_posix_fd_flags_t flags);
    bool(VLM_CLAP_ABI* unregister_fd)(const clap_host_t* host, int fd);
} clap_host_posix_fd_support_t;

} // extern "C"

// ---- Layouts (64-bit targets: x86-64 Linux and Windows) -----------------------------------------

#define VLM_CLAP_LAYOUT(type, size) static_assert(sizeof(type) == (size), #type " size")
#define VLM_CLAP_OFFSET(type, field, at)                                                           \
    static_assert(offsetof(type, field) == (at), #type "." #field " offset")

static_assert(sizeof(void*) == 8, "the layouts below are those of 64-bit targets");
VLM_CLAP_LAYOUT(clap_version_t, 12);
VLM_CLAP_LAYOUT(clap_host_t, 88);
VLM_CLAP_OFFSET(clap_host_t, host_data, 16);
VLM_CLAP_OFFSET(clap_host_t, get_extension, 56);
VLM_CLAP_OFFSET(clap_host_t, request_callback, 80);
VLM_CLAP_LAYOUT(clap_event_header_t, 16);
VLM_CLAP_OFFSET(clap_event_header_t, space_id, 8);
VLM_CLAP_OFFSET(clap_event_header_t, type, 10);
VLM_CLAP_OFFSET(clap_event_header_t, flags, 12);
VLM_CLAP_LAYOUT(clap_event_param_value_t, 56);
VLM_CLAP_OFFSET(clap_event_param_value_t, param_id, 16);
VLM_CLAP_OFFSET(clap_event_param_value_t, cookie, 24);
VLM_CLAP_OFFSET(clap_event_param_value_t, note_id, 32);
VLM_CLAP_OFFSET(clap_event_param_value_t, key, 40);
VLM_CLAP_OFFSET(clap_event_param_value_t, value, 48);
VLM_CLAP_LAYOUT(clap_event_param_gesture_t, 20);
VLM_CLAP_LAYOUT(clap_input_events_t, 24);
VLM_CLAP_LAYOUT(clap_output_events_t, 16);
VLM_CLAP_LAYOUT(clap_audio_buffer_t, 32);
VLM_CLAP_OFFSET(clap_audio_buffer_t, channel_count, 16);
VLM_CLAP_OFFSET(clap_audio_buffer_t, constant_mask, 24);
VLM_CLAP_LAYOUT(clap_process_t, 64);
VLM_CLAP_OFFSET(clap_process_t, frames_count, 8);
VLM_CLAP_OFFSET(clap_process_t, transport, 16);
VLM_CLAP_OFFSET(clap_process_t, audio_inputs_count, 40);
VLM_CLAP_OFFSET(clap_process_t, audio_outputs_count, 44);
VLM_CLAP_OFFSET(clap_process_t, in_events, 48);
VLM_CLAP_OFFSET(clap_process_t, out_events, 56);
VLM_CLAP_LAYOUT(clap_plugin_descriptor_t, 88);
VLM_CLAP_OFFSET(clap_plugin_descriptor_t, id, 16);
VLM_CLAP_OFFSET(clap_plugin_descriptor_t, features, 80);
VLM_CLAP_LAYOUT(clap_plugin_t, 96);
VLM_CLAP_OFFSET(clap_plugin_t, process, 72);
VLM_CLAP_OFFSET(clap_plugin_t, on_main_thread, 88);
VLM_CLAP_LAYOUT(clap_plugin_factory_t, 24);
VLM_CLAP_LAYOUT(clap_plugin_entry_t, 40);
VLM_CLAP_OFFSET(clap_plugin_entry_t, init, 16);
VLM_CLAP_OFFSET(clap_plugin_entry_t, get_factory, 32);
VLM_CLAP_LAYOUT(clap_audio_port_info_t, 288);
VLM_CLAP_OFFSET(clap_audio_port_info_t, flags, 260);
VLM_CLAP_OFFSET(clap_audio_port_info_t, channel_count, 264);
VLM_CLAP_OFFSET(clap_audio_port_info_t, port_type, 272);
VLM_CLAP_OFFSET(clap_audio_port_info_t, in_place_pair, 280);
VLM_CLAP_LAYOUT(clap_plugin_audio_ports_t, 16);
VLM_CLAP_LAYOUT(clap_param_info_t, 1320);
VLM_CLAP_OFFSET(clap_param_info_t, cookie, 8);
VLM_CLAP_OFFSET(clap_param_info_t, name, 16);
VLM_CLAP_OFFSET(clap_param_info_t, module, 272);
VLM_CLAP_OFFSET(clap_param_info_t, min_value, 1296);
VLM_CLAP_OFFSET(clap_param_info_t, default_value, 1312);
VLM_CLAP_LAYOUT(clap_plugin_params_t, 48);
VLM_CLAP_LAYOUT(clap_host_params_t, 24);
VLM_CLAP_LAYOUT(clap_istream_t, 16);
VLM_CLAP_LAYOUT(clap_ostream_t, 16);
VLM_CLAP_LAYOUT(clap_plugin_state_t, 16);
VLM_CLAP_LAYOUT(clap_host_state_t, 8);
VLM_CLAP_LAYOUT(clap_plugin_latency_t, 8);
VLM_CLAP_LAYOUT(clap_host_latency_t, 8);
VLM_CLAP_LAYOUT(clap_window_t, 16);
VLM_CLAP_OFFSET(clap_window_t, x11, 8);
VLM_CLAP_LAYOUT(clap_gui_resize_hints_t, 12);
VLM_CLAP_OFFSET(clap_gui_resize_hints_t, aspect_ratio_width, 4);
VLM_CLAP_LAYOUT(clap_plugin_gui_t, 120);
VLM_CLAP_OFFSET(clap_plugin_gui_t, set_parent, 80);
VLM_CLAP_OFFSET(clap_plugin_gui_t, hide, 112);
VLM_CLAP_LAYOUT(clap_host_gui_t, 40);
VLM_CLAP_LAYOUT(clap_plugin_timer_support_t, 8);
VLM_CLAP_LAYOUT(clap_host_timer_support_t, 16);
VLM_CLAP_LAYOUT(clap_plugin_posix_fd_support_t, 8);
VLM_CLAP_LAYOUT(clap_host_posix_fd_support_t, 24);

#undef VLM_CLAP_LAYOUT
#undef VLM_CLAP_OFFSET
