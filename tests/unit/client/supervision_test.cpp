#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/command_plan.hpp"
#include "client/helper_lines.hpp"
#include "client/restart_policy.hpp"

namespace vth::client {
namespace {

using namespace std::chrono_literals;

TEST(RestartPolicy, DoublesToTheCapAndGivesUpPastTheLimitPerMinute) {
    const RestartPolicy policy{500ms, 4000ms, 5};
    RestartHistory history;
    const auto t0 = Clock::now();
    // Helpers dying 10 s apart: the waits double to the cap, the sixth gives up.
    const std::vector<std::optional<Milliseconds>> rows = {500ms,  1000ms, 2000ms,
                                                           4000ms, 4000ms, std::nullopt};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(plan_restart(history, policy, t0 + i * 10s), rows[i]) << "restart " << i;
    }
    // A minute after the first, one restart is allowed again; a helper that
    // ran well starts the waits over.
    note_run(history, healthy_run);
    EXPECT_EQ(plan_restart(history, policy, t0 + 61s), 500ms);
}

TEST(CommandPlan, ContentAtMostEvery80MsTheLastAlwaysAndTheUsersPlaceWins) {
    Wanted wanted;
    wanted.visible = false;
    wanted.position = ScreenPoint{5, 6};
    wanted.dragged = ScreenPoint{77, 88};
    wanted.content = std::make_shared<command::UpdateContent>();
    EXPECT_EQ(start_place(wanted, {1, 2}), (ScreenPoint{77, 88}));

    Unsent unsent = after_hello(wanted);
    unsent.position = true;
    const auto t0 = Clock::now();
    std::optional<Clock::time_point> due;
    EXPECT_EQ(next_line(unsent, wanted, t0, due)->line,
              "{\"type\":\"setVisible\",\"visible\":false}\n");
    EXPECT_TRUE(next_line(unsent, wanted, t0, due)->content);  // no setPosition after a drag
    unsent.content = true;  // the next update, 30 ms later, waits
    EXPECT_FALSE(next_line(unsent, wanted, t0 + 30ms, due));
    EXPECT_EQ(due, t0 + content_interval);
    EXPECT_TRUE(next_line(unsent, wanted, t0 + content_interval, due)->content);
    EXPECT_FALSE(next_line(unsent, wanted, t0 + content_interval, due));
    unsent.shutdown = true;
    unsent.content = true;
    EXPECT_EQ(next_line(unsent, wanted, t0, due)->line, "{\"type\":\"shutdown\"}\n");
    EXPECT_FALSE(next_line(unsent, wanted, t0 + 1s, due));  // nothing after shutdown
}

TEST(HelperLines, SplitsJudgesAndFindsTheFatalLine) {
    LineBuffer lines(8);
    lines.add("ab\r\ncd\n0123456789");
    lines.add("xyz\nlast");
    EXPECT_EQ(lines.take(), "ab");
    EXPECT_EQ(lines.take(), "cd");
    EXPECT_EQ(lines.take(), std::nullopt);  // the overlong line is dropped whole
    lines.add("\n");
    EXPECT_EQ(lines.take(), "last");

    const std::string ours =
        R"({"type":"hello","token":"t1","integrity":"low","oleRegistered":false})";
    EXPECT_EQ(judge_first_line(ours, 0, "t1", nullptr), Verdict::ours);
    EXPECT_EQ(judge_first_line(ours, 0, "t2", nullptr), Verdict::refused);
    EXPECT_EQ(judge_first_line(R"({"type":"state"})", 0, "t1", nullptr), Verdict::refused);
    EXPECT_EQ(judge_first_line(std::nullopt, 10, "t1", nullptr), Verdict::undecided);
    EXPECT_EQ(judge_first_line(std::nullopt, hello_line_limit + 1, "t1", nullptr),
              Verdict::refused);

    EXPECT_EQ(fatal_line("SystemTime { intervals: 1 } starting\n"
                         "SystemTime { intervals: 2 } traffic helper fatal: gone (os error 2)\n"),
              "traffic helper fatal: gone (os error 2)");
    EXPECT_EQ(fatal_line("SystemTime { intervals: 2 } traffic helper fatal: x\n"
                         "SystemTime { intervals: 3 } traffic helper received shutdown\n"),
              "");
    EXPECT_EQ(fatal_line(""), "");
}

}  // namespace
}  // namespace vth::client
