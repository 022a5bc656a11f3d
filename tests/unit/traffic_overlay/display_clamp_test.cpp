#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <vector>

#include "common/diagnostics.hpp"
#include "traffic_overlay/display_clamp.hpp"
#include "traffic_overlay/visible_displays.hpp"

namespace vth {
namespace {

constexpr std::int32_t max32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t min32 = std::numeric_limits<std::int32_t>::min();

const DisplayBounds full_hd{0, 0, 1920, 1040};

std::string describe(ScreenPoint p) {
    std::ostringstream text;
    text << "(" << p.x << ", " << p.y << ")";
    return text.str();
}

TEST(ClampOverlayPosition, Table) {
    struct Row {
        const char* what;
        ScreenPoint request;
        std::vector<DisplayBounds> displays;
        ScreenPoint expected;
    };
    const Row rows[] = {
        {"inside stands", {100, 200}, {full_hd}, {100, 200}},
        {"sticks out bottom right", {1800, 1000}, {full_hd}, {1712, 908}},
        {"sticks out top left", {-50, -20}, {full_hd}, {0, 0}},
        {"removed display, nearest", {2500, 300}, {full_hd}, {1712, 300}},
        {"larger overlap wins", {1900, 100}, {full_hd, {1920, 0, 1920, 1040}}, {1920, 100}},
        {"equal overlap, first wins", {1816, 100}, {full_hd, {1920, 0, 1920, 1040}}, {1712, 100}},
        {"equal distance, first wins",
         {1395, 100},
         {{0, 0, 1000, 1000}, {1999, 0, 1000, 1000}},
         {792, 100}},
        {"narrow display aligns left", {50, 100}, {{0, 0, 200, 1000}}, {0, 100}},
        {"low display aligns top", {50, 100}, {{0, 0, 1000, 120}}, {50, 0}},
        {"no displays", {-5000, 7000}, {}, {-5000, 7000}},
        {"only empty work areas", {-5000, 7000}, {{0, 0, 0, 100}, {0, 0, 100, -1}}, {-5000, 7000}},
        {"empty work area skipped", {10, 10}, {{0, 0, 0, 100}, {500, 500, 800, 600}}, {500, 500}},
        {"maximum request", {max32, max32}, {full_hd}, {1712, 908}},
        {"minimum request", {min32, min32}, {full_hd}, {0, 0}},
        {"display at the top limit", {0, 0}, {{max32 - 100, 0, 300, 1000}}, {max32 - 100, 0}},
        {"tiny display at the limit", {0, 0}, {{max32, max32, 5, 5}}, {max32, max32}},
        // The far display's squared distance exceeds the signed 64-bit range.
        {"distance beyond 64 bits",
         {min32, min32},
         {{max32 - 10, max32 - 10, 10, 10}, {0, 0, 10, 10}},
         {0, 0}},
    };
    for (const Row& row : rows) {
        const ScreenPoint got = clamp_overlay_position(row.request, row.displays);
        EXPECT_EQ(got, row.expected) << row.what << ": got " << describe(got);
    }
}

class ClampEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        diag::set_sink([this](const diag::Event& e) { events.push_back(e); });
    }
    void TearDown() override { diag::set_sink({}); }
    std::vector<diag::Event> events;
};

TEST_F(ClampEvents, RaisedOnlyWhenThePositionMoves) {
    const DisplayBounds displays[] = {full_hd};
    EXPECT_EQ(clamp_and_report({100, 200}, displays), (ScreenPoint{100, 200}));
    EXPECT_EQ(clamp_and_report({-3, 4}, {}), (ScreenPoint{-3, 4}));
    EXPECT_TRUE(events.empty());

    EXPECT_EQ(clamp_and_report({1800, -1000}, displays), (ScreenPoint{1712, 0}));
    ASSERT_EQ(events.size(), 1u);
    const diag::Event& e = events[0];
    EXPECT_EQ(e.level, diag::Level::info);
    EXPECT_EQ(e.target, "vestrilon_traffic_helper::traffic_overlay");
    EXPECT_EQ(e.message, "traffic overlay position clamped onto a visible display");
    ASSERT_EQ(e.fields.size(), 4u);
    const std::pair<const char*, const char*> fields[] = {
        {"from_x", "1800"}, {"from_y", "-1000"}, {"to_x", "1712"}, {"to_y", "0"}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(e.fields[i].name, fields[i].first);
        EXPECT_EQ(e.fields[i].value, fields[i].second) << fields[i].first;
    }
}

}  // namespace
}  // namespace vth
