#pragma once
// Scripted stand-ins for the overlay handle and the GUI socket, recording
// what the main loop and the set-up did to them, in order, in one journal.
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "helper/overlay_control.hpp"
#include "helper/socket_stream.hpp"

namespace vth::test {

using Journal = std::shared_ptr<std::vector<std::string>>;

class FakeOverlayControl final : public OverlayControl {
  public:
    explicit FakeOverlayControl(Journal journal) : journal_(std::move(journal)) {}
    ~FakeOverlayControl() override { journal_->push_back("overlay destroyed"); }

    void set_visible(bool visible) override {
        journal_->push_back(std::string("set_visible ") + (visible ? "true" : "false"));
    }
    void set_position(std::int32_t x, std::int32_t y) override {
        journal_->push_back("set_position " + std::to_string(x) + "," + std::to_string(y));
    }
    void update_content(std::string_view title, std::string_view subtitle,
                        const std::optional<Feedback>& feedback,
                        std::span<const TrafficSample> samples, bool drop_hover) override {
        std::string entry = "update_content ";
        entry.append(title).append("|").append(subtitle).append("|");
        if (feedback) {
            entry.append(feedback->text).append(feedback->ok ? ":ok" : ":fail");
        } else {
            entry.append("-");
        }
        for (const auto& s : samples) {
            entry.append("|").append(std::to_string(s.t)).append(",");
            entry.append(std::to_string(s.up)).append(",").append(std::to_string(s.down));
        }
        if (drop_hover) entry.append("|hover");
        journal_->push_back(entry);
    }
    TrafficOverlayEvent pump() override {
        if (events.empty()) return overlay_event::Idle{};
        TrafficOverlayEvent event = std::move(events.front());
        events.pop_front();
        return event;
    }
    std::optional<ScreenPoint> outer_position() const override { return position; }
    bool is_interacting() const override { return interacting; }
    bool is_drop_hovering() const override { return hovering; }
    bool ole_registered() const override {
        if (never_registered) return false;
        return registered_after-- <= 0;
    }

    std::deque<TrafficOverlayEvent> events;
    std::optional<ScreenPoint> position = ScreenPoint{10, 20};
    bool interacting = false;
    bool hovering = false;
    mutable int registered_after = 0;  // how many checks still see false
    bool never_registered = false;

  private:
    Journal journal_;
};

// The GUI end as the helper sees it: reads come from a script, writes are
// kept (or fail from a given write on), and closing is journaled.
class FakeSocket final : public SocketStream {
  public:
    FakeSocket(Journal journal, std::string name)
        : journal_(std::move(journal)), name_(std::move(name)) {}
    ~FakeSocket() override { journal_->push_back(name_ + " closed"); }

    Result<std::size_t> read(std::span<char> buffer) override {
        if (incoming.empty() && throws_when_drained) throw std::bad_alloc();
        if (incoming.empty()) return 0;
        std::size_t n = std::min(buffer.size(), incoming.size());
        std::copy_n(incoming.begin(), n, buffer.begin());
        incoming.erase(0, n);
        return n;
    }
    Result<std::size_t> write(std::span<const char> data) override {
        if (writes_before_failure == 0)
            return fail(
                "An existing connection was forcibly closed by the remote host. (os error 10054)",
                10054);
        if (writes_before_failure > 0) --writes_before_failure;
        written.append(data.data(), data.size());
        if (copy_to) copy_to->append(data.data(), data.size());
        return data.size();
    }
    Result<void> set_no_delay() override { return step("no-delay"); }
    Result<bool> no_delay() const override { return false; }
    Result<void> set_write_timeout(std::chrono::milliseconds timeout) override {
        return step("write timeout " + std::to_string(timeout.count()));
    }
    Result<void> shut_down_write() override { return step("shut down"); }
    Result<std::unique_ptr<SocketStream>> duplicate() override {
        if (auto done = step("duplicate"); !done) return std::unexpected(done.error());
        auto copy = std::make_unique<FakeSocket>(journal_, "reader stream");
        copy->incoming = incoming_for_reader;
        copy->throws_when_drained = reader_throws_when_drained;
        return copy;
    }

    std::string incoming;
    std::string incoming_for_reader;
    bool throws_when_drained = false;  // as when memory for the next read runs out
    bool reader_throws_when_drained = false;
    std::string written;
    std::shared_ptr<std::string> copy_to;  // outlives the socket
    int writes_before_failure = -1;        // -1: never fails
    std::string failing_step;

  private:
    Result<void> step(const std::string& what) {
        journal_->push_back(what);
        if (what.starts_with(failing_step) && !failing_step.empty()) {
            return fail("The operation failed. (os error 10022)", 10022);
        }
        return {};
    }
    Journal journal_;
    std::string name_;
};

}  // namespace vth::test
