#include "traffic.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "json/writer.hpp"

namespace vth::peer {
namespace {

// Smooth, never negative, and different enough to tell the lines apart.
double upload(double s) {
    return 1.2e6 * (0.55 + 0.45 * std::sin(s * 0.31));
}
double download(double s) {
    return 3.4e6 * (0.5 + 0.5 * std::sin(s * 0.17 + 1.0));
}

}  // namespace

std::string rate_text(double bytes_per_second) {
    char text[32];
    if (bytes_per_second < 1e3) {
        std::snprintf(text, sizeof text, "%.0f B/s", bytes_per_second);
    } else if (bytes_per_second < 1e6) {
        std::snprintf(text, sizeof text, "%.1f kB/s", bytes_per_second / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB/s", bytes_per_second / 1e6);
    }
    return text;
}

std::string traffic_update(std::uint64_t tick, int samples, double hz) {
    rapidjson::StringBuffer buffer;
    json::CompactWriter out(buffer);
    // Sample n is at n / hz seconds; tick 0 shows samples 0 … samples - 1.
    const auto last = static_cast<double>(tick) + samples - 1;
    out.StartObject();
    out.Key("type");
    out.String("updateContent");
    out.Key("title");
    out.String("Vestrilon");
    out.Key("subtitle");
    out.String("\u2191 " + rate_text(upload(last)) + " \u2193 " + rate_text(download(last)));
    out.Key("feedback");
    out.Null();
    out.Key("samples");
    out.StartArray();
    for (int i = samples - 1; i >= 0; --i) {
        const double s = last - i;
        out.StartObject();
        out.Key("t");
        out.Double(s / hz);
        out.Key("up");
        out.Double(upload(s));
        out.Key("down");
        out.Double(download(s));
        out.EndObject();
    }
    out.EndArray();
    out.Key("dropHover");
    out.Bool(false);
    out.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

TrafficStream::TrafficStream(Outbox& outbox, double hz, int samples)
    : thread_([this, &outbox, hz, samples] { run(outbox, hz, samples); }) {}

void TrafficStream::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void TrafficStream::run(Outbox& outbox, double hz, int samples) {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz));
    const auto start = Clock::now();
    for (std::uint64_t tick = 0;; ++tick) {
        {
            // Ticks keep to the start's schedule, so slow sends do not add up.
            std::unique_lock lock(mutex_);
            const auto due = start + period * static_cast<Clock::rep>(tick);
            if (wake_.wait_until(lock, due, [&] { return stopping_; })) return;
        }
        if (auto sent = outbox.send_line(traffic_update(tick, samples, hz)); !sent) {
            failure_ = sent.error();
            return;
        }
    }
}

}  // namespace vth::peer
