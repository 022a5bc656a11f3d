// Starts the helper, shows a small graph, prints what the helper reports for
// a few seconds, and stops it; the C++ wrapper's version of show_traffic.c.
//   show_traffic_cpp HELPER_PATH [DATA_DIR]
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "vestrilon/traffic_client.hpp"

namespace traffic = vestrilon::traffic;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: show_traffic_cpp HELPER_PATH [DATA_DIR]\n");
        return 2;
    }
    traffic::Options options;
    options.helper_path = argv[1];
    options.data_dir = argc > 2 ? argv[2] : "";
    options.x = options.y = 40;
    auto client = traffic::Client::start(options);
    if (!client) {
        std::fprintf(stderr, "cannot start the helper: %s\n", client.error().text.c_str());
        return 1;
    }
    std::vector<vtc_sample> samples;
    for (int i = 0; i < 30; ++i) samples.push_back({double(i), 10.0 + i % 7, 300.0 + i % 5 * 20});
    (void)client->update_content({.title = "Connected",
                                  .subtitle = "up 16 KB/s, down 380 KB/s",
                                  .feedback = std::nullopt,
                                  .samples = samples,
                                  .drop_hover = false});

    // A GUI would wait on event_handle() in its own loop; polling keeps this short.
    bool connected = false;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 5s) {
        while (auto event = client->next_event()) {
            if (event->kind == VTC_EVENT_CONNECTED) connected = true;
            std::printf("event %d %s %s\n", int(event->kind), event->integrity.c_str(),
                        event->text.c_str());
        }
        std::this_thread::sleep_for(50ms);
    }
    (void)client->stop(3s);
    std::printf("stopped\n");
    return connected ? 0 : 1;
}
