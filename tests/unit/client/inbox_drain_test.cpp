#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "client/inbox_drain.hpp"
#include "common/os.hpp"
#include "support/local_app_data.hpp"

namespace vth::client {
namespace {

// The helper's own append (open, one write with the line feed, close) against
// drains running meanwhile; every 50 lines the writer lets a drain in, so
// drains fall among the appends.
TEST(InboxDrain, DrainsDuringAThousandAppendsLoseAndDoubleNoLine) {
    constexpr int lines = 1000;
    test::LocalAppData data;
    const std::string dir = (data.value() / "Vestrilon").string();
    os::create_directories(dir);
    const std::string file = os::join_path(dir, "pending-tunnel-domains.txt");
    std::atomic<bool> written{false};
    std::atomic<int> drains{0};
    std::thread writer([&] {
        for (int i = 0; i < lines; ++i) {
            EXPECT_TRUE(os::append_to_file(file, "host" + std::to_string(i) + ".example\n"));
            const int seen = drains;
            while (i % 50 == 49 && drains == seen) std::this_thread::yield();
        }
        written = true;
    });
    std::vector<std::string> taken;
    auto take = [&](std::string_view line) { taken.emplace_back(line); };
    do {
        auto drained = drain_inbox(dir, "pending-tunnel-domains.txt", take);
        EXPECT_TRUE(drained) << drained.error().text;
        ++drains;
    } while (!written);
    writer.join();
    ASSERT_TRUE(drain_inbox(dir, "pending-tunnel-domains.txt", take));
    ASSERT_EQ(taken.size(), static_cast<std::size_t>(lines));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        ASSERT_EQ(taken[i], "host" + std::to_string(i) + ".example");
    }
}

TEST(InboxDrain, SplitsOnLineFeedsOnlyAndHandsOutWhatAnEarlierDrainLeft) {
    test::LocalAppData data;
    const std::string dir = (data.value() / "Vestrilon").string();
    os::create_directories(dir);
    const std::string live = os::join_path(dir, "pending-toggle-vpn.txt");
    ASSERT_TRUE(os::append_to_file(live + ".draining", "left\n"));
    ASSERT_TRUE(os::append_to_file(live, "foo\rbar.example\n\nlast"));
    std::vector<std::string> taken;
    ASSERT_TRUE(drain_inbox(dir, "pending-toggle-vpn.txt",
                            [&](std::string_view line) { taken.emplace_back(line); }));
    EXPECT_EQ(taken, (std::vector<std::string>{"left", "foo\rbar.example", "last"}));
    taken.clear();
    ASSERT_TRUE(drain_inbox(dir, "pending-toggle-vpn.txt",
                            [&](std::string_view line) { taken.emplace_back(line); }));
    EXPECT_TRUE(taken.empty());
}

}  // namespace
}  // namespace vth::client
