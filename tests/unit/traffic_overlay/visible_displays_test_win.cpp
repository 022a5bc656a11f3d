#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "common/diagnostics.hpp"
#include "os/win/traffic_overlay/visible_displays_win.hpp"
#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth {
namespace {

std::vector<DisplayBounds> work_areas() {
    std::vector<DisplayBounds> displays;
    EnumDisplayMonitors(nullptr, nullptr, win::enum_monitor_proc,
                        reinterpret_cast<LPARAM>(&displays));
    return displays;
}

TEST(VisibleDisplays, ClampsOntoTheMachinesWorkAreas) {
    const std::vector<DisplayBounds> displays = work_areas();
    ASSERT_FALSE(displays.empty());
    for (const DisplayBounds& d : displays) {
        EXPECT_GT(d.width, 0);
        EXPECT_GT(d.height, 0);
    }
    std::vector<diag::Event> events;
    diag::set_sink([&](const diag::Event& e) { events.push_back(e); });
    const ScreenPoint inside{displays[0].x, displays[0].y};
    const ScreenPoint distant{1'000'000'000, -1'000'000'000};
    EXPECT_EQ(clamp_to_visible_displays(inside), inside);
    EXPECT_TRUE(events.empty());
    const ScreenPoint moved = clamp_to_visible_displays(distant);
    diag::set_sink({});
    EXPECT_EQ(moved, clamp_overlay_position(distant, displays));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].fields[0].value, "1000000000");
    EXPECT_EQ(events[0].fields[1].value, "-1000000000");
}

}  // namespace
}  // namespace vth
