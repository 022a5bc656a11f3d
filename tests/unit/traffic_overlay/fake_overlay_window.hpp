#pragma once
// A scripted stand-in for the overlay window: input steps queued by the test
// run inside dispatch_messages on the overlay thread, through the same
// gesture functions the Win32 window procedure calls.
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "traffic_overlay/gestures.hpp"
#include "traffic_overlay/overlay_window.hpp"

namespace vth::test {

// What the fake window saw; shared with the test, guarded by its mutex.
struct FakeWindowRecord {
    std::mutex mutex;
    ScreenPoint position;
    bool visible = true;
    bool rect_fails = false;
    bool move_fails = false;
    bool drop_registered = true;
    int renders = 0;
    int failing_renders = 0;  // the next ones throw, as when memory runs out
    int moves = 0;
    int raises = 0;  // back on top of the topmost band
    int dispatches = 0;
    bool closed = false;
    std::vector<OverlayContent> drawn;
    std::deque<std::string> drops;
    std::deque<std::function<void(GestureState&, ScreenPoint&)>> input;

    void queue_input(std::function<void(GestureState&, ScreenPoint&)> step) {
        std::lock_guard lock(mutex);
        input.push_back(std::move(step));
    }
};

class FakeOverlayWindow final : public OverlayWindow {
  public:
    FakeOverlayWindow(OverlayState& state, std::shared_ptr<FakeWindowRecord> record)
        : state_(state), record_(std::move(record)) {}
    ~FakeOverlayWindow() override {
        std::lock_guard lock(record_->mutex);
        record_->closed = true;
    }

    bool drop_target_registered() const override {
        std::lock_guard lock(record_->mutex);
        return record_->drop_registered;
    }
    void show(bool visible) override {
        std::lock_guard lock(record_->mutex);
        record_->visible = visible;
    }
    void move_to(ScreenPoint position) override {
        std::lock_guard lock(record_->mutex);
        ++record_->moves;
        record_->visible = true;
        if (!record_->move_fails) record_->position = position;
    }
    void move_keeping_visibility(ScreenPoint position) override {
        std::lock_guard lock(record_->mutex);
        ++record_->moves;
        if (!record_->move_fails) record_->position = position;
    }
    void restore_topmost() override {
        std::lock_guard lock(record_->mutex);
        ++record_->raises;
    }
    void dispatch_messages() override {
        std::lock_guard lock(record_->mutex);
        ++record_->dispatches;
        while (!record_->input.empty()) {
            auto step = std::move(record_->input.front());
            record_->input.pop_front();
            step(state_.gesture, record_->position);
        }
    }
    std::optional<ScreenPoint> outer_position() const override {
        std::lock_guard lock(record_->mutex);
        if (record_->rect_fails) return std::nullopt;
        return record_->position;
    }
    std::optional<std::string> take_dropped_text() override {
        std::lock_guard lock(record_->mutex);
        if (record_->drops.empty()) return std::nullopt;
        std::string text = std::move(record_->drops.front());
        record_->drops.pop_front();
        return text;
    }
    void render(const OverlayContent& content) override {
        std::lock_guard lock(record_->mutex);
        if (record_->failing_renders > 0) {
            --record_->failing_renders;
            throw std::bad_alloc();
        }
        ++record_->renders;
        record_->drawn.push_back(content);
    }

  private:
    OverlayState& state_;
    std::shared_ptr<FakeWindowRecord> record_;
};

// Input steps as the window procedure performs them.
// A cursor of nothing is one the system could not read.
inline auto press_at(ScreenPoint cursor) {
    return [cursor](GestureState& g, ScreenPoint& window) { gesture_press(g, cursor, window); };
}
inline auto move_to_cursor(std::optional<ScreenPoint> cursor) {
    return [cursor](GestureState& g, ScreenPoint& window) {
        if (auto target = gesture_move(g, cursor)) window = *target;
    };
}
inline auto release_at(std::optional<ScreenPoint> cursor) {
    return [cursor](GestureState& g, ScreenPoint&) { gesture_release(g, cursor); };
}
inline auto double_click_at(std::optional<ScreenPoint> cursor) {
    return
        [cursor](GestureState& g, ScreenPoint& window) { gesture_double_click(g, cursor, window); };
}
inline auto right_press() {
    return [](GestureState& g, ScreenPoint&) { gesture_right_press(g); };
}
inline auto right_release() {
    return [](GestureState& g, ScreenPoint&) { gesture_right_release(g); };
}

}  // namespace vth::test
