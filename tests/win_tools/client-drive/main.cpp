// Usage: vth-client-drive HELPER_PATH DATA_DIR
// Starts the helper through the client DLL at 40,40 and prints every event
// as one line on stdout. Commands, one a line on stdin:
//   visible 0|1      content TITLE      kill PID (ends that process by force)
//   die (ends this process by force, as a crash would)
//   stop (or the end of stdin): stops the helper and prints "stopped".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "os/win/common/handles.hpp"
#include "vestrilon/traffic_client.h"

namespace {

std::mutex out_mutex;

void say(const std::string& line) {
    const std::lock_guard lock(out_mutex);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string describe(const vtc_event& e) {
    switch (e.kind) {
        case VTC_EVENT_CONNECTED:
            return std::string("CONNECTED integrity=") + e.integrity;
        case VTC_EVENT_STATE:
            return "STATE x=" + std::to_string(e.x) + " y=" + std::to_string(e.y);
        case VTC_EVENT_ACTION:
            return std::string("ACTION ") + e.text;
        case VTC_EVENT_EXITED:
            return "EXITED code=" + std::to_string(e.exit_code) + " " + e.text;
        case VTC_EVENT_RESTARTING:
            return "RESTARTING delay=" + std::to_string(e.delay_ms);
        case VTC_EVENT_GAVE_UP:
            return "GAVE_UP";
        default:
            return "EVENT " + std::to_string(e.kind) + " " + e.text;
    }
}

void print_events(vtc_client* client, const std::atomic<bool>& done) {
    vtc_event event{};
    event.size = sizeof event;
    while (!done) {
        if (WaitForSingleObject(reinterpret_cast<HANDLE>(vtc_event_handle(client)), 100) !=
            WAIT_OBJECT_0) {
            continue;
        }
        while (vtc_next_event(client, &event) == VTC_OK) say(describe(event));
    }
}

void kill_process(DWORD pid) {
    const vth::win::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    const bool ended = process && TerminateProcess(process.get(), 9) &&
                       WaitForSingleObject(process.get(), 10000) == WAIT_OBJECT_0;
    say((ended ? "killed " : "cannot kill ") + std::to_string(pid));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: vth-client-drive HELPER_PATH DATA_DIR\n", stderr);
        return 2;
    }
    vtc_options options{};
    options.size = sizeof options;
    options.helper_path = argv[1];
    options.data_dir = argv[2];
    options.x = 40;
    options.y = 40;
    vtc_client* client = nullptr;
    if (vtc_start(&options, &client) != VTC_OK) {
        say(std::string("START_FAILED ") + vtc_last_error(nullptr));
        return 1;
    }
    std::atomic<bool> done = false;
    std::thread events(print_events, client, std::cref(done));
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        std::string line(buffer, std::strcspn(buffer, "\r\n"));
        if (line == "stop") break;
        if (line == "die") TerminateProcess(GetCurrentProcess(), 9);
        if (line.starts_with("visible ")) vtc_set_visible(client, line.back() == '1');
        if (line.starts_with("kill ")) kill_process(std::strtoul(line.c_str() + 5, nullptr, 10));
        if (line.starts_with("content ")) {
            const std::string title = line.substr(8);
            vtc_content content{};
            content.size = sizeof content;
            content.title = title.c_str();
            content.subtitle = "restored";
            vtc_update_content(client, &content);
        }
    }
    done = true;
    events.join();
    vtc_stop(client, 5000);
    say("stopped");
    return 0;
}
