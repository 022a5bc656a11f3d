#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "fake_overlay_window.hpp"
#include "traffic_overlay/overlay_pass.hpp"
#include "traffic_overlay/traffic_overlay.hpp"

namespace vth {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Real threads and sleeps; the window is the scripted fake, or none at all.
OverlayServices services_with(std::shared_ptr<test::FakeWindowRecord> record) {
    return OverlayServices{
        .clamp = [](ScreenPoint p) { return ScreenPoint{std::max(p.x, 0), std::max(p.y, 0)}; },
        .open_window = [record](
                           ScreenPoint position, OverlayState& state,
                           const std::shared_ptr<OverlayCells>&) -> std::unique_ptr<OverlayWindow> {
            if (!record) return nullptr;
            {
                std::lock_guard lock(record->mutex);
                record->position = position;
            }
            return std::make_unique<test::FakeOverlayWindow>(state, record);
        },
        .now = [] { return Clock::now(); },
        .sleep = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); },
    };
}

template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds limit = 5s) {
    auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return condition();
}

TEST(TrafficOverlayHandle, FreshHandleIsIdleAtTheClampedPosition) {
    auto record = std::make_shared<test::FakeWindowRecord>();
    auto overlay = TrafficOverlay::create(-500, 20, services_with(record));
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->outer_position(), (ScreenPoint{0, 20}));
    EXPECT_TRUE(std::holds_alternative<overlay_event::Idle>(overlay->pump()));
    EXPECT_TRUE(wait_until([&] { return overlay->ole_registered(); }));
    EXPECT_FALSE(overlay->is_interacting());
    EXPECT_FALSE(overlay->is_drop_hovering());
}

TEST(TrafficOverlayHandle, ClickComesBackThroughPumpThenIdle) {
    auto record = std::make_shared<test::FakeWindowRecord>();
    auto overlay = TrafficOverlay::create(100, 100, services_with(record));
    ASSERT_TRUE(overlay);
    record->queue_input(test::press_at({150, 200}));
    record->queue_input(test::release_at(ScreenPoint{150, 200}));
    TrafficOverlayEvent event;
    ASSERT_TRUE(wait_until([&] {
        event = overlay->pump();
        return !std::holds_alternative<overlay_event::Idle>(event);
    }));
    EXPECT_EQ(event, TrafficOverlayEvent(overlay_event::Action{OverlayAction::RestoreMain}));
    EXPECT_TRUE(std::holds_alternative<overlay_event::Idle>(overlay->pump()));
}

TEST(TrafficOverlayHandle, CommandsReachTheWindowInOrder) {
    auto record = std::make_shared<test::FakeWindowRecord>();
    {
        auto overlay = TrafficOverlay::create(100, 100, services_with(record));
        ASSERT_TRUE(overlay);
        overlay->set_visible(false);
        overlay->set_position(300, 400);
        std::vector<TrafficSample> samples{{1, 2, 3}};
        overlay->update_content("title", "sub", Feedback{"ok", true}, samples, false);
        ASSERT_TRUE(wait_until([&] { return overlay->outer_position() == ScreenPoint{300, 400}; }));
        ASSERT_TRUE(wait_until([&] {
            std::lock_guard lock(record->mutex);
            return record->renders == 2;
        }));
    }
    std::lock_guard lock(record->mutex);
    EXPECT_TRUE(record->closed);
    EXPECT_TRUE(record->visible);  // the move showed it again
    EXPECT_EQ(record->drawn.back().title, "title");
    EXPECT_EQ(record->drawn.back().samples.size(), 1u);
}

TEST(TrafficOverlayHandle, WindowThatCannotBeCreatedLeavesAUsableHandle) {
    auto overlay = TrafficOverlay::create(-10, 30, services_with(nullptr));
    ASSERT_TRUE(overlay);
    overlay->set_position(1, 2);
    overlay->update_content("t", "s", std::nullopt, {}, false);
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(std::holds_alternative<overlay_event::Idle>(overlay->pump()));
    EXPECT_FALSE(overlay->ole_registered());
    EXPECT_EQ(overlay->outer_position(), (ScreenPoint{0, 30}));
    auto start = Clock::now();
    overlay.reset();
    EXPECT_LT(Clock::now() - start, 1s);
}

// A thread held in a call that never returns (a hung drag source's GetData)
// delays the handle's destruction only by the limit.
TEST(TrafficOverlayHandle, DestructionWaitsForAHeldThreadOnlySoLong) {
    auto held = std::make_shared<std::atomic<int>>(0);  // 1 inside the call, 2 released
    OverlayServices services = services_with(nullptr);
    services.open_window =
        [held](ScreenPoint, OverlayState&,
               const std::shared_ptr<OverlayCells>&) -> std::unique_ptr<OverlayWindow> {
        held->store(1);
        while (held->load() == 1) std::this_thread::sleep_for(1ms);
        return nullptr;
    };
    auto overlay = TrafficOverlay::create(0, 0, std::move(services));
    ASSERT_TRUE(overlay);
    ASSERT_TRUE(wait_until([&] { return held->load() == 1; }));
    auto start = Clock::now();
    overlay.reset();
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, overlay_join_limit);
    EXPECT_LT(waited, overlay_join_limit + 2s);
    held->store(2);  // the thread, detached, ends on its own
}

TEST(TrafficOverlayThread, ShutdownDuringADragRaisesNoDragEnded) {
    auto record = std::make_shared<test::FakeWindowRecord>();
    OverlayServices services = services_with(record);
    auto [command_tx, command_rx] = make_channel<OverlayCmd>();
    auto [event_tx, event_rx] = make_channel<TrafficOverlayEvent>();
    auto cells = std::make_shared<OverlayCells>(ScreenPoint{100, 100});
    std::thread thread([&, rx = std::move(command_rx), tx = std::move(event_tx)]() mutable {
        overlay_thread_main({{100, 100}, {100, 100}}, std::move(rx), std::move(tx), cells,
                            services);
    });
    record->queue_input(test::press_at({150, 200}));
    record->queue_input(test::move_to_cursor(ScreenPoint{190, 200}));
    EXPECT_TRUE(wait_until([&] { return cells->interacting.load(); }));
    command_tx.send(overlay_cmd::Shutdown{});
    thread.join();
    EXPECT_FALSE(event_rx.try_receive().has_value());
    EXPECT_EQ(cells->last_position(), (ScreenPoint{140, 100}));
    std::lock_guard lock(record->mutex);
    EXPECT_TRUE(record->closed);
}

}  // namespace
}  // namespace vth
