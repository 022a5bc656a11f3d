#pragma once
// A stand-in for live traffic: updateContent at a fixed rate with a moving
// two-line graph and a subtitle that names the latest rates.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "outbox.hpp"

namespace vth::peer {

// "512 B/s", "12.3 kB/s", "1.2 MB/s" (decimal units).
std::string rate_text(double bytes_per_second);

// The updateContent line for one tick: `samples` samples, the window moving
// on by one sample per tick, t in seconds at hz ticks a second.
std::string traffic_update(std::uint64_t tick, int samples, double hz);

// Sends traffic_update for tick 0, 1, … at hz until stopped or a send fails.
class TrafficStream {
  public:
    TrafficStream(Outbox& outbox, double hz, int samples);
    TrafficStream(const TrafficStream&) = delete;
    TrafficStream& operator=(const TrafficStream&) = delete;
    ~TrafficStream() { stop(); }

    void stop();
    // The send that ended the stream early; only after stop.
    const std::optional<Error>& failure() const { return failure_; }

  private:
    void run(Outbox& outbox, double hz, int samples);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::optional<Error> failure_;
    std::thread thread_;
};

}  // namespace vth::peer
