/* vestrilon-traffic-client: the GUI's side of vestrilon-traffic-helper.
 *
 * Starts the helper, watches over it, and talks to it, so that a GUI in any
 * language gets the helper right in a few calls. Only C crosses this
 * boundary: no exception leaves a function, and every struct starts with its
 * own size so later versions can add fields at the end.
 *
 * Strings are UTF-8 and NUL-terminated unless a length is given. Every
 * function returns VTC_OK (0) on success or a negative status; the text of
 * the last failure is vtc_last_error().
 *
 * Threads: the library runs threads of its own but never calls into the GUI
 * from them. Events are queued; vtc_event_handle() becomes signalled while
 * one is waiting, and any one thread at a time takes them with
 * vtc_next_event(). Commands may be called from any thread. */
#ifndef VESTRILON_TRAFFIC_CLIENT_H
#define VESTRILON_TRAFFIC_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(VTC_STATIC)
#define VTC_API
#elif defined(VTC_BUILDING_DLL)
#define VTC_API __declspec(dllexport)
#else
#define VTC_API __declspec(dllimport)
#endif
#define VTC_CALL __cdecl
#else
#define VTC_API __attribute__((visibility("default")))
#define VTC_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t vtc_status;
#define VTC_OK 0
/* vtc_next_event: nothing queued. */
#define VTC_NO_EVENT 1
/* A null pointer, a size too small, a path that is not absolute. */
#define VTC_INVALID_ARGUMENT (-1)
/* The system refused a call; vtc_last_error says which and why. */
#define VTC_SYSTEM_ERROR (-2)
/* The helper could not be started, or gave up after too many restarts. */
#define VTC_HELPER_FAILED (-3)
/* Not available on this system (the version resource outside Windows). */
#define VTC_UNSUPPORTED (-4)
/* Memory ran out. */
#define VTC_OUT_OF_MEMORY (-5)

typedef struct vtc_client vtc_client;

typedef struct vtc_options {
    size_t size; /* sizeof(vtc_options) */
    /* The helper's absolute path. */
    const char* helper_path;
    /* The folder of the configuration, log and inbox files; null for
     * %LOCALAPPDATA%\Vestrilon. The helper finds it through LOCALAPPDATA, so
     * a folder given here must be named Vestrilon. */
    const char* data_dir;
    /* The overlay's first top-left corner, physical pixels of the virtual
     * screen. */
    int32_t x;
    int32_t y;
    /* Zero means the default for each of the following. */
    uint32_t hello_deadline_ms;    /* from start to hello: 15000 */
    uint32_t restart_delay_ms;     /* first wait before a restart: 500, doubling */
    uint32_t restart_delay_max_ms; /* the longest wait: 30000 */
    uint32_t restarts_per_minute;  /* more within 60 s gives up: 5 */
} vtc_options;

typedef enum vtc_event_kind {
    VTC_EVENT_NONE = 0,
    /* The helper said hello: integrity, ole_registered. Again after a restart. */
    VTC_EVENT_CONNECTED = 1,
    /* hovering, interacting, has_position, x, y. */
    VTC_EVENT_STATE = 2,
    /* text (the action's name: toggleVpn, restoreMain, hideToTray,
     * dragEnded), has_position, x, y. */
    VTC_EVENT_ACTION = 3,
    /* text: the URL or host found in what was dropped. */
    VTC_EVENT_TEXT_DROPPED = 4,
    VTC_EVENT_ADD_FROM_CLIPBOARD = 5,
    /* The helper ended or its connection was lost: exit_code (-1 when
     * unknown), text: its last "traffic helper fatal: " log line when the
     * log has one, else what the library saw ("the helper ended", "the
     * connection to the helper ended", a start or hello failure). */
    VTC_EVENT_EXITED = 6,
    /* A restart follows after delay_ms. */
    VTC_EVENT_RESTARTING = 7,
    /* Too many restarts within a minute; the helper stays down. */
    VTC_EVENT_GAVE_UP = 8
} vtc_event_kind;

typedef struct vtc_event {
    size_t size;  /* set by the caller: sizeof(vtc_event) */
    int32_t kind; /* a vtc_event_kind */
    int32_t has_position;
    int32_t x;
    int32_t y;
    int32_t hovering;
    int32_t interacting;
    int32_t ole_registered;
    int32_t exit_code;
    uint32_t delay_ms;
    /* "untrusted", "low", "medium", "high", "system" or "unknown". */
    const char* integrity;
    /* The kind's text (see above), never null. Valid until the next
     * vtc_next_event or vtc_stop on this client. */
    const char* text;
    size_t text_length;
} vtc_event;

typedef enum vtc_inbox {
    VTC_INBOX_TUNNEL_DOMAINS = 1, /* pending-tunnel-domains.txt */
    VTC_INBOX_TOGGLE_VPN = 2      /* pending-toggle-vpn.txt */
} vtc_inbox;

typedef struct vtc_sample {
    double t;
    double up;
    double down;
} vtc_sample;

typedef struct vtc_content {
    size_t size; /* sizeof(vtc_content) */
    const char* title;
    const char* subtitle;
    /* Null for none. */
    const char* feedback;
    int32_t feedback_ok;
    int32_t drop_hover;
    const vtc_sample* samples;
    size_t sample_count;
} vtc_content;

typedef struct vtc_version {
    size_t size; /* sizeof(vtc_version) */
    uint16_t major;
    uint16_t minor;
    uint16_t patch;
    uint16_t build;
    /* The helper's build id (short commit, "-dirty", or "unknown"). */
    char build_id[64];
} vtc_version;

/* Starts the helper and returns at once; VTC_EVENT_CONNECTED follows once it
 * said hello with the token written for it. On failure *client is null. */
VTC_API vtc_status VTC_CALL vtc_start(const vtc_options* options, vtc_client** client);

/* Windows: a HANDLE (an event), signalled while events are queued.
 * Elsewhere: a file descriptor, readable while events are queued. Owned by
 * the client; valid until vtc_stop. */
VTC_API intptr_t VTC_CALL vtc_event_handle(vtc_client* client);

/* Takes one event into *event (its size set by the caller); VTC_NO_EVENT when
 * none is queued. */
VTC_API vtc_status VTC_CALL vtc_next_event(vtc_client* client, vtc_event* event);

VTC_API vtc_status VTC_CALL vtc_set_visible(vtc_client* client, int visible);

/* Ignored once the user has dragged the overlay, as the helper does: the
 * user's place wins, also after a restart. */
VTC_API vtc_status VTC_CALL vtc_set_position(vtc_client* client, int32_t x, int32_t y);

/* Copies the content. At most one update leaves every 80 ms; the last one
 * given always does. */
VTC_API vtc_status VTC_CALL vtc_update_content(vtc_client* client, const vtc_content* content);

/* Sends shutdown, waits up to grace_ms for the helper to end, ends it if it
 * did not, and frees the client. Null is allowed. */
VTC_API vtc_status VTC_CALL vtc_stop(vtc_client* client, uint32_t grace_ms);

/* Calls line(context, text, length) for every line of one inbox file of
 * data_dir (null for the default folder), then removes them: lines the
 * helper appends meanwhile are neither lost nor given twice. A line is split
 * on line feeds only; text is NUL-terminated and may hold a carriage return. */
typedef void(VTC_CALL* vtc_line_callback)(void* context, const char* text, size_t length);
VTC_API vtc_status VTC_CALL vtc_drain_inbox(const char* data_dir, int32_t which,
                                            vtc_line_callback line, void* context);

/* The version and build id from the helper's version resource, read without
 * running it. */
VTC_API vtc_status VTC_CALL vtc_helper_version(const char* helper_path, vtc_version* version);

/* The last failure's text on this client, or for a null client the last
 * failure of vtc_start, vtc_drain_inbox or vtc_helper_version on this thread.
 * Valid until this thread's next call of the library. Never null. */
VTC_API const char* VTC_CALL vtc_last_error(vtc_client* client);

#ifdef __cplusplus
}
#endif

#endif
