/* Starts the helper, shows a small graph, prints what the helper reports for
 * a few seconds, and stops it.
 *   show_traffic HELPER_PATH [DATA_DIR] [SECONDS] */
#include <stdio.h>
#include <stdlib.h>

#include "vestrilon/traffic_client.h"

#ifdef _WIN32
#include <windows.h>
static int wait_event(intptr_t handle, int ms) {
    return WaitForSingleObject((HANDLE)handle, (DWORD)ms) == WAIT_OBJECT_0;
}
#else
#include <poll.h>
static int wait_event(intptr_t handle, int ms) {
    struct pollfd p = {(int)handle, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}
#endif

static void print_event(const vtc_event* e) {
    switch (e->kind) {
        case VTC_EVENT_CONNECTED:
            printf("connected integrity=%s ole=%d\n", e->integrity, e->ole_registered);
            break;
        case VTC_EVENT_STATE:
            printf("state hovering=%d x=%d y=%d\n", e->hovering, e->x, e->y);
            break;
        case VTC_EVENT_ACTION:
            printf("action %s x=%d y=%d\n", e->text, e->x, e->y);
            break;
        case VTC_EVENT_TEXT_DROPPED:
            printf("dropped %s\n", e->text);
            break;
        case VTC_EVENT_EXITED:
            printf("exited code=%d %s\n", e->exit_code, e->text);
            break;
        default:
            printf("event %d %s\n", e->kind, e->text);
    }
    fflush(stdout);
}

int main(int argc, char** argv) {
    vtc_options options = {.size = sizeof(vtc_options)};
    vtc_client* client = NULL;
    vtc_sample samples[30];
    vtc_content content = {.size = sizeof(vtc_content)};
    vtc_event event = {.size = sizeof(vtc_event)};
    vtc_version version = {.size = sizeof(vtc_version)};
    int seconds = argc > 3 ? atoi(argv[3]) : 3;
    int connected = 0;
    long left_ms;
    int i;

    if (argc < 2) {
        fprintf(stderr, "usage: show_traffic HELPER_PATH [DATA_DIR] [SECONDS]\n");
        return 2;
    }
    /* A GUI would refuse a helper older than it needs here. */
    if (vtc_helper_version(argv[1], &version) == VTC_OK) {
        printf("helper version %u.%u.%u build=%s\n", version.major, version.minor, version.patch,
               version.build_id);
    } else {
        printf("helper version unknown: %s\n", vtc_last_error(NULL));
    }
    options.helper_path = argv[1];
    options.data_dir = argc > 2 ? argv[2] : NULL;
    options.x = 40;
    options.y = 40;
    if (vtc_start(&options, &client) != VTC_OK) {
        fprintf(stderr, "cannot start the helper: %s\n", vtc_last_error(NULL));
        return 1;
    }

    for (i = 0; i < 30; ++i) {
        samples[i].t = i;
        samples[i].up = 10 + i % 7;
        samples[i].down = 300 + 20 * (i % 5);
    }
    content.title = "Connected";
    content.subtitle = "up 16 KB/s, down 380 KB/s";
    content.samples = samples;
    content.sample_count = 30;
    vtc_update_content(client, &content);
    vtc_set_visible(client, 1);

    /* Up to 20 s for the hello, then the given seconds of events. */
    for (left_ms = 20000; left_ms > 0; left_ms -= 100) {
        if (!wait_event(vtc_event_handle(client), 100)) continue;
        while (vtc_next_event(client, &event) == VTC_OK) {
            print_event(&event);
            if (event.kind == VTC_EVENT_CONNECTED && !connected) {
                connected = 1;
                left_ms = seconds * 1000L;
            }
            if (event.kind == VTC_EVENT_GAVE_UP) left_ms = 0;
        }
    }
    vtc_stop(client, 3000);
    printf("stopped\n");
    return connected ? 0 : 1;
}
